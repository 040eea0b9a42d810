// The application object of a GUI test process: made once, drawing off-screen, with every
// dialog answered by the test instead of shown, and every popup menu dismissed unless a
// test sets a tracker of its own.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "classlib/Dialogs.h"
#include "classlib/Forms.h"
#include "classlib/Menus.h"

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      // Qt wants a private runtime folder; the test's prefix gives one.
      std::string dir =
          std::string(std::getenv("KAZ_PREFIX") ? std::getenv("KAZ_PREFIX") : "/tmp") + "/runtime";
      mkdir(dir.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    Application->Initialize();
    Application->ResetForTesting();
    SetDialogAnswererForTesting([this](const TDialogRequest& r) {
      dialogs.push_back(r);
      return answer;
    });
    SetMenuTrackerForTesting([](TMenuTracking&) {});
  }
  void TearDown() override {
    // Tests of one process must not see each other's windows.
    SetCaptureControl(nullptr);
    Application->DestroyComponents();
    Application->ResetForTesting();
    SetDialogAnswererForTesting(nullptr);
    SetMenuTrackerForTesting(nullptr);
  }

  // Runs the application's message loop (Qt's events and the platform's messages) until
  // `done` answers true or `ms` milliseconds have passed.
  static bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      Application->ProcessMessages();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  static void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
  }

  // Texts of the message boxes shown so far.
  std::vector<String> BoxTexts() const {
    std::vector<String> out;
    for (auto& d : dialogs) out.push_back(d.Text);
    return out;
  }

  // A shown form of the given client size at (x, y).
  TForm* MakeForm(int w = 200, int h = 100, int x = 10, int y = 10) {
    auto* f = new TForm(Application);
    f->SetBorderStyle(bsNone);
    f->SetBounds(x, y, w, h);
    f->AfterConstruction();
    f->Show();
    return f;
  }

  std::vector<TDialogRequest> dialogs;
  TDialogAnswer answer{IDOK, true, ""};
};
