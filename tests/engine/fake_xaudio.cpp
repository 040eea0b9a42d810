// A test engine: answers like the real one, logs each call with its arguments, and can be
// built to fail in one way (FAKE_XAUDIO_VERSION, FAKE_XAUDIO_NO_SEND_III,
// FAKE_XAUDIO_NEW_FAILS).
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "FakeXaudio.h"
#include "win32/Messages.h"
#include "xaudio/xaudio.h"

#ifndef FAKE_XAUDIO_VERSION
// 3.8, with noise outside the version bytes that the caller must mask away.
#define FAKE_XAUDIO_VERSION 0xA5FF030811UL
#endif

namespace {

int player_object;
void** player_field = nullptr;
HWND* window_field = nullptr;
int priority = 50;

void Log(const char* fmt, ...) {
  char line[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  fake_xaudio_log(line);
}

void CheckPlayer(void* player) {
  if (player != &player_object) Log("wrong player %p", player);
}

std::string Text(const char* s) {
  return s ? "[" + std::string(s) + "]" : "null";
}

__attribute__((constructor)) void Loaded() {
  Log("load");
}
__attribute__((destructor)) void Unloaded() {
  Log("unload");
}

}  // namespace

extern "C" {

int player_new(void** player, HWND* window) {
  Log("new window=%s", *window != 0 && IsWindow(*window) ? "ok" : "none");
  player_field = player;
  window_field = window;
  fake_xaudio_started(player, window);
  *player = &player_object;
#ifdef FAKE_XAUDIO_NEW_FAILS
  return XA_FAILURE;
#else
  return XA_SUCCESS;
#endif
}

int player_delete(void* player) {
  CheckPlayer(player);
  Log("delete field=%s window=%s", *player_field ? "set" : "empty",
      IsWindow(*window_field) ? "alive" : "gone");
  // A notification arriving during the deletion must find no player to decode it.
  XA_Message m{};
  m.code = XA_MSG_NOTIFY_EXITED;
  SendMessageA(*window_field, XA_WM_NOTIFY, reinterpret_cast<WPARAM>(&m), kStagedRecord);
  Log("delete end");
  return 0;
}

int player_set_priority(void* player, int value) {
  CheckPlayer(player);
  Log("priority set %d", value);
  priority = value;
  return 0;
}

int player_get_priority(void* player) {
  CheckPlayer(player);
  Log("priority get");
  return priority;
}

const char* xaudio_error_string(int code) {
  Log("error_string %d", code);
  static std::string text;
  if (code == 999) return nullptr;
  text = "text of " + std::to_string(code);
  return text.c_str();
}

unsigned long xaudio_get_version(int which) {
  Log("version %d", which);
  return FAKE_XAUDIO_VERSION;
}

int control_message_send_N(void* player, int code) {
  CheckPlayer(player);
  Log("N %d", code);
  return 1000 + code;
}

int control_message_send_P(void* player, int code, const void* p) {
  CheckPlayer(player);
  Log("P %d %p", code, p);
  return 1000 + code;
}

int control_message_send_S(void* player, int code, const char* s) {
  CheckPlayer(player);
  Log("S %d %s", code, Text(s).c_str());
  return 1000 + code;
}

int control_message_send_SS(void* player, int code, const char* s1, const char* s2) {
  CheckPlayer(player);
  Log("SS %d %s %s", code, Text(s1).c_str(), Text(s2).c_str());
  return 1000 + code;
}

int control_message_send_SI(void* player, int code, const char* s, int i) {
  CheckPlayer(player);
  Log("SI %d %s %d", code, Text(s).c_str(), i);
  return 1000 + code;
}

int control_message_send_IPI(void* player, int code, int i1, const void* p, int i2) {
  CheckPlayer(player);
  Log("IPI %d %d %p %d", code, i1, p, i2);
  return 1000 + code;
}

int control_message_send_I(void* player, int code, int i) {
  CheckPlayer(player);
  Log("I %d %d", code, i);
  return 1000 + code;
}

int control_message_send_II(void* player, int code, int i1, int i2) {
  CheckPlayer(player);
  Log("II %d %d %d", code, i1, i2);
  return 1000 + code;
}

#ifndef FAKE_XAUDIO_NO_SEND_III
int control_message_send_III(void* player, int code, int i1, int i2, int i3) {
  CheckPlayer(player);
  Log("III %d %d %d %d", code, i1, i2, i3);
  return 1000 + code;
}
#endif

int control_message_send_IIII(void* player, int code, int i1, int i2, int i3, int i4) {
  CheckPlayer(player);
  Log("IIII %d %d %d %d %d", code, i1, i2, i3, i4);
  return 1000 + code;
}

int control_win32_params_to_message(void* player, XA_Message* message, UINT msg, WPARAM wParam,
                                    LPARAM lParam) {
  CheckPlayer(player);
  unsigned char zero[sizeof(XA_Message)] = {};
  Log("decode %#x zero=%d", msg, std::memcmp(message, zero, sizeof zero) == 0 ? 1 : 0);
  if (lParam != kStagedRecord || wParam == 0) return 1;
  std::memcpy(message, reinterpret_cast<const XA_Message*>(wParam), sizeof(XA_Message));
  return 0;
}

}  // extern "C"
