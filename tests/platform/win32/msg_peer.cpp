// A second program for the message tests. It makes one window, writes the window's handle
// to the file named on its command line, and serves messages until told to quit.
//
//   msg_peer <handle-file> serve          answer kEcho, kWhoAmI, kQuit, kDie, kRecord...
//   msg_peer <handle-file> pingpong <hwnd> <count>
//                                          like serve, and on kStart sends <count> kEcho
//                                          messages to <hwnd> while the other side does
//                                          the same; exits 0 when every answer was right
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "win32/Messages.h"
#include "msg_protocol.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string file = argv[1];
  const std::string mode = argv[2];
  const DWORD mainTid = GetCurrentThreadId();
  int failures = 0;
  HWND other = argc > 3 ? static_cast<HWND>(std::strtoul(argv[3], nullptr, 10)) : 0;
  int count = argc > 4 ? std::atoi(argv[4]) : 0;
  long records = 0;
  bool recordsInOrder = true;

  HWND self = CreateWindowWithProc([&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (GetCurrentThreadId() != mainTid) ++failures;
    switch (msg) {
      case msgtest::kEcho:
        return static_cast<LRESULT>(w) * 2 + l;
      case msgtest::kWhoAmI:
        return getpid();
      case msgtest::kQuit:
        PostQuitMessage(failures == 0 ? 0 : 1);
        return 1;
      case msgtest::kDie:
        _exit(3);
      case msgtest::kStart:
        for (int i = 0; i < count; ++i) {
          if (SendMessageA(other, msgtest::kEcho, static_cast<WPARAM>(i), 1) != 2 * i + 1) ++failures;
        }
        return failures;
      case msgtest::kRecord:
        if (static_cast<long>(w) != records) recordsInOrder = false;
        ++records;
        return 0;
      case msgtest::kRecordCount:
        return recordsInOrder ? records : -1;
      case msgtest::kPostBack:
        PostMessageA(static_cast<HWND>(w), msgtest::kPosted, l, 0);
        return 1;
      default:
        return DefWindowProcA(h, msg, w, l);
    }
  });
  if (!self) return 4;
  {
    std::ofstream out(file + ".tmp");
    out << self << "\n";
  }
  std::rename((file + ".tmp").c_str(), file.c_str());

  MSG m;
  while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  return static_cast<int>(m.wParam);
}
