// Start-up with no engine library beside the program.
#include <gtest/gtest.h>

#include <filesystem>

#include "PlayerFixture.h"
#include "tests/support/TestSupport.h"
#include "player/uAbout.h"
#include "player/uID3Tag.h"

namespace {

using NoEngineTest = PlayerTest;

TEST_F(NoEngineTest, LoadErrorIsShownAndTheWindowStillOpens) {
  // The user's settings were never read, so the close must leave them as they are.
  const std::string windows = kaztest::Prefix() + "/windows";
  std::filesystem::create_directories(windows);
  const std::string stored = "[Mix]\r\nStart=33\r\n[Browse]\r\nLastDir=C:\\Music\\\r\n";
  kaztest::WriteFile(windows + "/KAZ_PRO.ini", stored);

  std::vector<String> steps;
  SplashProgressObserverForTesting = [&](const String& text, Integer) { steps.push_back(text); };
  StartPlayer();
  Application->CreateForm(frmID3Tag);
  Application->CreateForm(frmAbout);
  ASSERT_NE(frmMain, nullptr);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, dkMessageBox);
  EXPECT_EQ(dialogs[0].Text, "Cannot Load Xaudio DLL (xaudio.dll)");
  // The first engine command failed: the remaining steps were skipped.
  EXPECT_EQ(steps, std::vector<String>{"Loading XAudio ..."});
  EXPECT_NE(frmID3Tag, nullptr);
  EXPECT_NE(frmAbout, nullptr);

  frmMain->Show();
  Application->ProcessMessages();
  EXPECT_TRUE(frmMain->Showing());
  EXPECT_EQ(frmMain->ClientWidth(), 800);
  EXPECT_EQ(frmMain->ClientHeight(), 600);

  // The decks were never filled; their buttons report the missing engine or do nothing.
  frmMain->btnStopClick(frmMain->btnStop1);
  frmMain->btnSyncMouseDown(frmMain->btnSync2, mbLeft, {ssLeft}, 1, 1);
  frmMain->btnSyncMouseUp(frmMain->btnSync2, mbLeft, {}, 1, 1);
  frmMain->LoadDeck(Deck1, "/nowhere/x.mp3", "");
  EXPECT_EQ(dialogs.size(), 1u);

  frmMain->Close();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(kaztest::ReadFile(windows + "/KAZ_PRO.ini"), stored);
}

}  // namespace
