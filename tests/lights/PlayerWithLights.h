// The player in this process, on a capture sink that plays in real time (into the prefix's
// "heard.wav"), beside a real BeamExe of the same prefix that the test starts. After each
// test the light controller is resumed (should the test have stopped it) and ended.
#pragma once

#include <signal.h>

#include <filesystem>
#include <string>

#include "platform/classlib/GuiFixture.h"
#include "player/uMain.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

class PlayerWithLights : public GuiTest {
 protected:
  // The test track's name, without ".mp3"; a test whose track was not made is skipped.
  virtual std::string Track() const = 0;

  void SetUp() override {
    if (!std::filesystem::exists(std::string(KAZ_TESTDATA_DIR) + "/" + Track() + ".mp3"))
      GTEST_SKIP() << "no test media";
    capture_ = kaztest::Prefix() + "/heard.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
    GuiTest::SetUp();
    std::filesystem::create_directories(kaztest::Prefix() + "/windows");
    std::error_code ec;
    std::filesystem::remove_all(kaztest::Prefix() + "/port", ec);
  }
  void TearDown() override {
    if (lights_ > 0) {
      kill(lights_, SIGCONT);
      kill(lights_, SIGTERM);
      kaztest::WaitExit(lights_, 5000);
    }
    GuiTest::TearDown();
    frmMain = nullptr;
    unsetenv("KAZ_WAV_CAPTURE");
  }

  // The player's window, and the light controller as a user starts it beside the running
  // player, powered from the last run; finding the player puts it in auto mode.
  void StartPlayerAndLights() {
    Application->CreateForm(frmMain);
    frmMain->Show();
    ASSERT_NE(GetPrivateProfileIntA("Handle", "KAZ", 0, "KAZ_PRO.ini"), 0u);
    kaztest::WriteFile(kaztest::Prefix() + "/windows/Spots.ini", "[Parameters]\r\nPower=1\r\n");
    lights_ = kaztest::Spawn(kaztest::ProgramDir() + "/BeamExe", {});
    ASSERT_GT(lights_, 0);
    ASSERT_TRUE(PumpUntil([] { return LightWindow != 0; }, 10000)) << "no WM_LIGHTS_ATTACH";
  }

  std::string capture_;
  int lights_ = -1;
};
