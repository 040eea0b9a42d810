// The engine's C entry points. A player handle is a Player; every sender copies what it
// needs (texts, the equalizer record) before it returns, since the caller's data lives
// only for the call.
#include "xaudio/xaudio.h"

#include <cstring>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <unordered_set>

#include "xaudio/Player.h"

using xaudio::Command;
using xaudio::Player;

namespace {

// The players alive now. A handle is used only while it is registered, so a deleted or
// made-up handle is answered with an error and never read through. Calls on a player hold
// the registry shared, so that a delete waits until every call already under way is done.
std::shared_mutex g_playersMutex;
std::unordered_set<const void*> g_players;

// A registered player, with the registry held shared while the caller uses it.
class LivePlayer {
 public:
  explicit LivePlayer(void* handle) : lock_(g_playersMutex) {
    if (handle && g_players.count(handle)) player_ = static_cast<Player*>(handle);
  }
  Player* operator->() const { return player_; }
  explicit operator bool() const { return player_ != nullptr; }

 private:
  std::shared_lock<std::shared_mutex> lock_;
  Player* player_ = nullptr;
};

int SendCommand(void* p, Command c) {
  LivePlayer player(p);
  if (!player) return XA_ERROR_INVALID_PLAYER;
  return player->Send(std::move(c));
}

std::string Text(const char* s) {
  return s ? std::string(s) : std::string();
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int player_new(void** player, HWND* hwndAddress) {
  if (!player || !hwndAddress) return XA_ERROR_INVALID_PARAMETERS;
  *player = nullptr;
  auto* p = new (std::nothrow) Player(hwndAddress);
  if (!p) return XA_ERROR_OUT_OF_MEMORY;
  {
    std::unique_lock<std::shared_mutex> lock(g_playersMutex);
    g_players.insert(p);
  }
  *player = p;
  return XA_SUCCESS;
}

__attribute__((visibility("default"))) int player_delete(void* player) {
  {
    std::unique_lock<std::shared_mutex> lock(g_playersMutex);
    if (!player || g_players.erase(player) == 0) return XA_ERROR_INVALID_PLAYER;
  }
  // Outside the registry's lock: the player's thread may still post notifications, and
  // other players go on being served while this one winds down.
  delete static_cast<Player*>(player);
  return XA_SUCCESS;
}

__attribute__((visibility("default"))) int player_set_priority(void* player, int priority) {
  LivePlayer p(player);
  if (!p) return XA_ERROR_INVALID_PLAYER;
  p->SetPriority(priority);
  return XA_SUCCESS;
}

__attribute__((visibility("default"))) int player_get_priority(void* player) {
  LivePlayer p(player);
  return p ? p->Priority() : XA_ERROR_INVALID_PLAYER;
}

__attribute__((visibility("default"))) const char* xaudio_error_string(int code) {
  switch (code) {
    case XA_SUCCESS:
      return "success";
    case XA_FAILURE:
      return "failure";
    case XA_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case XA_ERROR_INVALID_PARAMETERS:
      return "invalid parameters";
    case XA_ERROR_NOT_SUPPORTED:
      return "not supported";
    case XA_ERROR_NO_SUCH_FILE:
      return "no such file";
    case XA_ERROR_OPEN_FAILED:
      return "open failed";
    case XA_ERROR_INVALID_STREAM:
      return "invalid stream";
    case XA_ERROR_NO_INPUT:
      return "no input";
    case XA_ERROR_NO_OUTPUT:
      return "no output";
    case XA_ERROR_NO_SUCH_MODULE:
      return "no such module";
    case XA_ERROR_NO_SUCH_DEVICE:
      return "no such device";
    case XA_ERROR_TOO_MANY_FILTERS:
      return "too many filters";
    case XA_ERROR_INVALID_PLAYER:
      return "invalid player";
    case XA_ERROR_DECODE:
      return "decoding error";
    default:
      return "unknown error";
  }
}

__attribute__((visibility("default"))) unsigned long xaudio_get_version(int /*which*/) {
  return (static_cast<unsigned long>(XA_VERSION_MAJOR) << 16) | (XA_VERSION_MINOR << 8);
}

__attribute__((visibility("default"))) int control_message_send_N(void* player, int code) {
  return SendCommand(player, Command(code));
}

__attribute__((visibility("default"))) int control_message_send_P(void* player, int code,
                                                                  const void* p) {
  Command c(code);
  if (code == XA_MSG_SET_CODEC_EQUALIZER && p) {
    std::memcpy(&c.equalizer, p, sizeof(XA_EqualizerInfo));
    c.hasEqualizer = true;
  }
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_S(void* player, int code,
                                                                  const char* s) {
  Command c(code);
  c.s1 = Text(s);
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_SS(void* player, int code,
                                                                   const char* s1, const char* s2) {
  Command c(code);
  c.s1 = Text(s1);
  c.s2 = Text(s2);
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_SI(void* player, int code,
                                                                   const char* s, int i) {
  Command c(code);
  c.s1 = Text(s);
  c.i1 = i;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_IPI(void* player, int code, int i1,
                                                                    const void* /*p*/, int i2) {
  // The data of a module message is not kept: no module of ours takes messages.
  Command c(code);
  c.i1 = i1;
  c.i2 = i2;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_I(void* player, int code, int i) {
  Command c(code);
  c.i1 = i;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_II(void* player, int code, int i1,
                                                                   int i2) {
  Command c(code);
  c.i1 = i1;
  c.i2 = i2;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_III(void* player, int code, int i1,
                                                                    int i2, int i3) {
  Command c(code);
  c.i1 = i1;
  c.i2 = i2;
  c.i3 = i3;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_message_send_IIII(void* player, int code, int i1,
                                                                     int i2, int i3, int i4) {
  Command c(code);
  c.i1 = i1;
  c.i2 = i2;
  c.i3 = i3;
  c.i4 = i4;
  return SendCommand(player, std::move(c));
}

__attribute__((visibility("default"))) int control_win32_params_to_message(void* player,
                                                                           XA_Message* message,
                                                                           UINT msg, WPARAM wParam,
                                                                           LPARAM lParam) {
  LivePlayer p(player);
  if (!p) return XA_ERROR_INVALID_PLAYER;
  return p->Decode(message, msg, wParam, lParam);
}

}  // extern "C"
