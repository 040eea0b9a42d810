// A second program that stands in for the player: one window whose handle it leaves under
// "Handle"/"KAZ" of "KAZ_PRO.ini", as the player does at its start, and that sends the light
// controller a beat every 469 ms (128 BPM) once it knows the light controller's window.
//
//   player_peer <folder> <beats>
//
// It learns the light controller's window either from "Handle"/"spots" at its own start
// (a light controller that started first), then pings it as a surveyor would to prove the
// handle reaches it, or from WM_LIGHTS_ATTACH (one that starts after it). It logs to
// <folder>/log ("spots <h>", "attach <h>", "pong", "beat <monotonic ns>" before each beat is
// sent and "taken <monotonic ns>" once it was answered), writes its handle
// to <folder>/handle once ready, and ends on kQuit or after 30 s.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "win32/Messages.h"
#include "win32/Profile.h"

namespace {

// The message numbers, written out as the player knows them.
constexpr UINT kBeat = 0x8D2;
constexpr UINT kAttach = 0x8D3;
constexpr UINT kPing = 0x125A;
constexpr UINT kQuit = WM_USER + 3;
constexpr UINT_PTR kBeatTimer = 1;
constexpr UINT_PTR kEndTimer = 2;

std::FILE* g_log = nullptr;
HWND g_self = 0;
HWND g_lights = 0;
int g_beats_left = 0;

void Log(const std::string& line) {
  std::fputs((line + "\n").c_str(), g_log);
  std::fflush(g_log);
}

long long NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void StartBeats() {
  SetTimer(g_self, kBeatTimer, 469, nullptr);
}

LRESULT Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case kAttach:
      g_lights = static_cast<HWND>(w);
      Log("attach " + std::to_string(g_lights));
      StartBeats();
      return 0;
    case kPing:
      Log("pong");
      return 0;
    case WM_TIMER:
      if (w == kEndTimer) {
        PostQuitMessage(0);
      } else if (g_lights && g_beats_left > 0) {
        --g_beats_left;
        Log("beat " + std::to_string(NowNs()));
        SendMessageA(g_lights, kBeat, 0, 0);
        Log("taken " + std::to_string(NowNs()));
      }
      return 0;
    case kQuit:
      PostQuitMessage(0);
      return 1;
    default:
      return DefWindowProcA(h, msg, w, l);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dir = argv[1];
  g_beats_left = std::atoi(argv[2]);
  g_log = std::fopen((dir + "/log").c_str(), "a");
  if (!g_log) return 3;

  g_self = CreateWindowWithProc(Proc);
  if (!g_self) return 4;
  WritePrivateProfileStringA("Handle", "KAZ", std::to_string(g_self).c_str(), "KAZ_PRO.ini");
  g_lights = static_cast<HWND>(GetPrivateProfileIntA("Handle", "SPOTS", 0, "KAZ_PRO.ini"));
  if (g_lights) {
    Log("spots " + std::to_string(g_lights));
    SendMessageA(g_lights, kPing, g_self, 0);
    StartBeats();
  }
  SetTimer(g_self, kEndTimer, 30000, nullptr);
  {
    std::ofstream out(dir + "/handle.tmp");
    out << g_self << "\n";
  }
  std::rename((dir + "/handle.tmp").c_str(), (dir + "/handle").c_str());

  MSG m;
  while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  WritePrivateProfileStringA("Handle", "KAZ", "0", "KAZ_PRO.ini");
  std::fclose(g_log);
  return 0;
}
