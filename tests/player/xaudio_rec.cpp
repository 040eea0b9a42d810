// A stand-in engine library that plays nothing and records every call the player makes,
// in order, so a test can compare the player's commands with what it expects. Players are
// numbered in the order they start. Tests read the record through rec_log and add their
// own marks with rec_note.
#include <cstdint>
#include <cstdio>
#include <string>

#include "xaudio/xaudio.h"

namespace {

std::string g_log;
int g_players = 0;

int Id(void* player) {
  return player ? *static_cast<int*>(player) : 0;
}

void Line(void* player, int code, const std::string& args) {
  g_log += std::to_string(Id(player)) + " " + std::to_string(code) + args + "\n";
}

std::string Text(const char* s) {
  return s ? " " + std::string(s) : " (null)";
}

std::string Num(int i) {
  return " " + std::to_string(i);
}

}  // namespace

extern "C" {

const char* rec_log() {
  return g_log.c_str();
}
void rec_note(const char* text) {
  g_log += std::string(text) + "\n";
}
void rec_clear() {
  g_log.clear();
}
// Also numbers the next players from 1 again.
void rec_reset() {
  g_log.clear();
  g_players = 0;
}

int player_new(void** player, HWND*) {
  *player = new int(++g_players);
  g_log += "new " + std::to_string(g_players) + "\n";
  return 0;
}
int player_delete(void* player) {
  delete static_cast<int*>(player);
  return 0;
}
int player_set_priority(void* player, int priority) {
  g_log += std::to_string(Id(player)) + " priority" + Num(priority) + "\n";
  return 0;
}
int player_get_priority(void*) {
  return 0;
}
const char* xaudio_error_string(int) {
  return "recorded";
}
unsigned long xaudio_get_version(int) {
  return (XA_VERSION_MAJOR << 16) | (XA_VERSION_MINOR << 8);
}
int control_message_send_N(void* p, int code) {
  Line(p, code, "");
  return 0;
}
int control_message_send_P(void* p, int code, const void* data) {
  // An equalizer record is logged by value: its 64 signed bytes.
  if (code == XA_MSG_SET_CODEC_EQUALIZER && data) {
    std::string bytes;
    for (int8_t b : static_cast<const XA_EqualizerInfo*>(data)->left) bytes += Num(b);
    for (int8_t b : static_cast<const XA_EqualizerInfo*>(data)->right) bytes += Num(b);
    Line(p, code, bytes);
    return 0;
  }
  Line(p, code, " pointer");
  return 0;
}
int control_message_send_S(void* p, int code, const char* s) {
  Line(p, code, Text(s));
  return 0;
}
int control_message_send_SS(void* p, int code, const char* s1, const char* s2) {
  Line(p, code, Text(s1) + Text(s2));
  return 0;
}
int control_message_send_SI(void* p, int code, const char* s, int i) {
  Line(p, code, Text(s) + Num(i));
  return 0;
}
int control_message_send_IPI(void* p, int code, int i1, const void*, int i2) {
  Line(p, code, Num(i1) + " pointer" + Num(i2));
  return 0;
}
int control_message_send_I(void* p, int code, int i) {
  Line(p, code, Num(i));
  return 0;
}
int control_message_send_II(void* p, int code, int i1, int i2) {
  Line(p, code, Num(i1) + Num(i2));
  return 0;
}
int control_message_send_III(void* p, int code, int i1, int i2, int i3) {
  Line(p, code, Num(i1) + Num(i2) + Num(i3));
  return 0;
}
int control_message_send_IIII(void* p, int code, int i1, int i2, int i3, int i4) {
  Line(p, code, Num(i1) + Num(i2) + Num(i3) + Num(i4));
  return 0;
}
int control_win32_params_to_message(void*, XA_Message*, UINT, WPARAM, LPARAM) {
  return XA_FAILURE;
}
}
