// A player test: the main window made as the program makes it, off-screen, with dialogs
// answered by the test. The deck records are static state of the program, so each test
// starts them afresh.
#pragma once

#include <chrono>
#include <functional>
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

  // The splash and the main window, as the program block makes them.
  void StartPlayer() {
    frmSplash = new TfrmSplash(Application);
    frmSplash->AfterConstruction();
    frmSplash->Show();
    Application->CreateForm(frmMain);
  }

};
