// The stand-in light controller (lights_peer), started as a second program: its window,
// and the log of what reached it.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "win32/Messages.h"

class LightsPeer {
 public:
  LightsPeer() : dir_(kaztest::MakeTempDir("lights")) {}
  ~LightsPeer() { Quit(); }

  // Starts it ("spots": it leaves its handle for the player; "attach": it finds the
  // player's and attaches) and waits, with `wait` serving messages, until its window is
  // there.
  bool Start(const std::string& mode,
             const std::function<bool(const std::function<bool()>&, int)>& wait) {
    pid_ = kaztest::Spawn(KAZ_LIGHTS_PEER, {dir_, mode});
    if (pid_ <= 0) return false;
    return wait(
        [&] {
          std::ifstream in(dir_ + "/handle");
          return static_cast<bool>(in >> window_);
        },
        5000);
  }
  HWND Window() const { return window_; }
  std::vector<std::string> Log() const {
    std::vector<std::string> out;
    std::ifstream in(dir_ + "/log");
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
  // Ends it; answers its exit status (0 when it ran well), or -1 when it never started.
  int Quit() {
    return QuitWhile([] {});
  }
  // Asks it to end, runs `meanwhile` while it is ending, then waits for it to be gone.
  int QuitWhile(const std::function<void()>& meanwhile) {
    if (pid_ <= 0) return -1;
    SendMessageA(window_, WM_USER + 3, 0, 0);
    meanwhile();
    int status = kaztest::WaitExit(pid_, 5000);
    pid_ = -1;
    return status;
  }

 private:
  std::string dir_;
  int pid_ = -1;
  HWND window_ = 0;
};
