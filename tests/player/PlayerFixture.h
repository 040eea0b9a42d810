// A player test: the main window made as the program makes it, off-screen, with dialogs
// answered by the test. The deck records are static state of the program, so each test
// starts them afresh.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/classlib/GuiFixture.h"
#include "player/uMain.h"
#include "player/uSplash.h"

class PlayerTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Deck1 = TXPlayer{};
    Deck2 = TXPlayer{};
    CurrentDeck = nullptr;
    Closing = 0;
    SliderGrab = {};
    AutoMix = 0;
    MixStart = 0;
    LightWindow = 0;
    DragOrigin = {};
    SoundLine = 0;
    BoomMethod = 1;
    BPMOrder = 0;
    MapDrive('c', "drive_c");
    CardIndex1 = 0;
    CardIndex2 = 0;
    AlwaysHeadphones = 0;
  }
  void TearDown() override {
    SplashProgressObserverForTesting = nullptr;
    GuiTest::TearDown();
    frmMain = nullptr;
    frmSplash = nullptr;
  }

  // Points a drive letter at a fresh folder of the test's prefix, so the explorer (which
  // scans C: at start) never reads or writes the user's home. Answers the folder.
  static std::string MapDrive(char letter, const std::string& name) {
    namespace fs = std::filesystem;
    const std::string prefix = std::getenv("KAZ_PREFIX");
    const std::string dir = prefix + "/" + name;
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    fs::create_directories(prefix + "/dosdevices");
    const std::string link = prefix + "/dosdevices/" + std::string(1, letter) + ":";
    fs::remove(link, ec);
    fs::create_directory_symlink(dir, link);
    return dir;
  }

  // The splash and the main window, as the program block makes them.
  void StartPlayer() {
    frmSplash = new TfrmSplash(Application);
    frmSplash->AfterConstruction();
    frmSplash->Show();
    Application->CreateForm(frmMain);
  }

};
