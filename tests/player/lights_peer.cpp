// A second program that stands in for the light controller: one window that writes every
// message the player sends it as a line of a log file, flushed before the message
// returns, so a test reads exactly what arrived and in which order.
//
//   lights_peer <folder> spots    leaves its handle under "Handle"/"spots" of "KAZ_PRO.ini",
//                                 as a light controller started before the player does, and
//                                 writes 0 there when it ends, as a light controller closing
//   lights_peer <folder> attach   waits for the player's handle under "Handle"/"KAZ" and
//                                 sends it WM_LIGHTS_ATTACH, as one started after it does
//
// It writes its handle to <folder>/handle once ready, logs to <folder>/log ("beat",
// "show 1", "move 236 434", "top") and ends on kQuit.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "win32/Messages.h"
#include "win32/Profile.h"

namespace {

// The light controller's message numbers, written out as it knows them.
constexpr UINT kBeat = 0x8D2;
constexpr UINT kAttach = 0x8D3;
constexpr UINT kShow = 0x8D5;
constexpr UINT kMove = 0x8D6;
constexpr UINT kQuit = WM_USER + 3;

std::FILE* g_log = nullptr;

void Log(const std::string& line) {
  std::fputs((line + "\n").c_str(), g_log);
  std::fflush(g_log);
}

// Only being brought to the top is of interest; the window is never really shown.
class Host : public WindowHost {
 public:
  bool HostShowWindow(int) override { return true; }
  bool HostBringToTop() override {
    Log("top");
    return true;
  }
  bool HostSetWindowPos(HWND, int, int, int, int, UINT) override { return true; }
  bool HostGetWindowRect(RECT&) override { return true; }
  bool HostIsVisible() override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dir = argv[1];
  const std::string mode = argv[2];
  g_log = std::fopen((dir + "/log").c_str(), "a");
  if (!g_log) return 3;

  Host host;
  HWND self = CreateWindowWithProc(
      [](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        switch (msg) {
          case kBeat:
            Log("beat");
            return 0;
          case kShow:
            Log("show " + std::to_string(static_cast<int>(w)));
            return 0;
          case kMove:
            Log("move " + std::to_string(static_cast<int>(w)) + " " +
                std::to_string(static_cast<int>(l)));
            return 0;
          case kQuit:
            PostQuitMessage(0);
            return 1;
          default:
            return DefWindowProcA(h, msg, w, l);
        }
      },
      &host);
  if (!self) return 4;

  const std::string handle = std::to_string(self);
  if (mode == "spots") {
    WritePrivateProfileStringA("Handle", "spots", handle.c_str(), "KAZ_PRO.ini");
  } else if (mode == "attach") {
    HWND kaz = 0;
    for (int i = 0; i < 500 && !kaz; ++i) {
      kaz = static_cast<HWND>(GetPrivateProfileIntA("Handle", "KAZ", 0, "KAZ_PRO.ini"));
      if (!kaz) usleep(10000);
    }
    if (!kaz) return 5;
    SendMessageA(kaz, kAttach, self, 0);
  }
  {
    std::ofstream out(dir + "/handle.tmp");
    out << handle << "\n";
  }
  std::rename((dir + "/handle.tmp").c_str(), (dir + "/handle").c_str());

  MSG m;
  while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  if (mode == "spots") WritePrivateProfileStringA("Handle", "spots", "0", "KAZ_PRO.ini");
  std::fclose(g_log);
  return 0;
}
