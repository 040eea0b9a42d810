// The decks with the real engine on the null sound device: what the DJ sees while a
// generated track loads and plays.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "PlayerFixture.h"
#include "PositionLabel.h"
#include "tests/support/TestSupport.h"
#include "win32/Paths.h"

namespace {

namespace fs = std::filesystem;

class DeckTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!fs::exists(Media("short4.mp3"))) GTEST_SKIP() << "no test media";
    Application->CreateForm(frmMain);
    ASSERT_TRUE(dialogs.empty()) << dialogs[0].Text;
    frmMain->Show();
  }
  static std::string Media(const std::string& name) {
    return std::string(KAZ_TESTDATA_DIR) + "/" + name;
  }
  // The track under another name in the test's own folder.
  static std::string Copy(const std::string& media, const std::string& folder,
                          const std::string& name) {
    std::string dir = kaztest::MakeTempDir(folder);
    fs::copy_file(Media(media), dir + "/" + name);
    return dir + "/" + name;
  }
  // Seconds played, read from the deck's position label "mm:ss:ff".
  static int Seconds(TLabel* pos) { return LabelHundredths(pos) / 100; }
  bool PlayDeck1() {
    frmMain->btnPlayClick(frmMain->btnPlay1);
    return PumpUntil([] { return Deck1.PlayState == 1; }, 5000);
  }
  // A real press and release of an image button on its deck panel.
  void Press(TImageButton* b, UINT msg) {
    SendMouseForTesting(static_cast<TWinControl*>(b->Parent()), msg, b->Left() + 12, b->Top() + 12,
                        msg == WM_LBUTTONDOWN ? TShiftState{ssLeft} : TShiftState{});
  }
};

TEST_F(DeckTest, LoadedTrackShowsItsTitleTempoDurationAndTime) {
  frmMain->LoadDeck(Deck1, Copy("short4.mp3", "media", "a.b.mp3"), "128");
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "a.b");
  EXPECT_EQ(frmMain->txtBPM1->Text(), "128");
  EXPECT_EQ(frmMain->lblCurrBPM1->Caption(), "Current BPM = 128");
  ASSERT_TRUE(PlayDeck1());
  ASSERT_TRUE(PumpUntil([&] { return Seconds(frmMain->lblPos1) >= 1; }, 5000))
      << frmMain->lblPos1->Caption();
  EXPECT_EQ(frmMain->lblDur1->Caption(), "00:04");
  EXPECT_EQ(Deck1.Zik.DurSecs, 4);
  EXPECT_EQ(frmMain->lblRem1->Caption(), Format("%.2d:%.2d", 0, 4 - Seconds(frmMain->lblPos1)));
  EXPECT_GT(frmMain->prgBar1->Position(), 0);
  EXPECT_LT(frmMain->prgBar1->Position(), 1000);
  // Deck 2 was not touched.
  EXPECT_EQ(frmMain->lblPos2->Caption(), "00:00:00");

  // The end of the stream: the deck reports it and its graph returns to the bottom.
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 3 || Deck1.PlayState == 0; }, 8000));
  EXPECT_EQ(Deck1.GraphPts[0].y, 199);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(DeckTest, StopRewindsAndDarkensTheBeatLamp) {
  frmMain->LoadDeck(Deck1, Media("kick128.mp3"), "128");
  ASSERT_TRUE(PlayDeck1());
  ASSERT_TRUE(PumpUntil([&] { return Seconds(frmMain->lblPos1) >= 1; }, 5000));
  frmMain->shpBoom1->Brush()->SetColor(clRed);
  Press(frmMain->btnStop1, WM_LBUTTONDOWN);
  Press(frmMain->btnStop1, WM_LBUTTONUP);
  EXPECT_EQ(frmMain->shpBoom1->Brush()->Color(), clBlack);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 0; }, 5000));
  // The times go back at once, not at the next play.
  PumpUntil([] { return frmMain->lblPos1->Caption() == "00:00:00"; }, 5000);
  EXPECT_EQ(frmMain->lblPos1->Caption(), "00:00:00");
  EXPECT_EQ(frmMain->lblRem1->Caption(), "00:30");
  // Playing again starts from the beginning.
  ASSERT_TRUE(PlayDeck1());
  PumpUntil([&] { return frmMain->lblPos1->Caption() != "00:01:00"; }, 300);
  EXPECT_LT(Seconds(frmMain->lblPos1), 1) << frmMain->lblPos1->Caption();
}

TEST_F(DeckTest, SyncButtonPausesWhileHeldAndPlaysAfterTheReportedPause) {
  frmMain->LoadDeck(Deck1, Media("kick128.mp3"), "128");
  // A stopped deck is not started by the sync button.
  Press(frmMain->btnSync1, WM_LBUTTONDOWN);
  Press(frmMain->btnSync1, WM_LBUTTONUP);
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(Deck1.PlayState, 0);

  ASSERT_TRUE(PlayDeck1());
  Press(frmMain->btnSync1, WM_LBUTTONDOWN);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 2; }, 5000));
  Press(frmMain->btnSync1, WM_LBUTTONUP);
  EXPECT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));

  // A release before the engine reported the pause finds the deck still playing: it
  // stays paused.
  Press(frmMain->btnSync1, WM_LBUTTONDOWN);
  Press(frmMain->btnSync1, WM_LBUTTONUP);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 2; }, 5000));
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(Deck1.PlayState, 2);
}

TEST_F(DeckTest, ClickInTheMiddleOfThePositionBarSeeksHalfway) {
  frmMain->LoadDeck(Deck1, Media("kick128.mp3"), "128");
  ASSERT_TRUE(PlayDeck1());
  SendMouseForTesting(frmMain->pnlPlayer1, WM_LBUTTONDOWN, frmMain->prgBar1->Left() + 110,
                      frmMain->prgBar1->Top() + 5, {ssLeft});
  SendMouseForTesting(frmMain->pnlPlayer1, WM_LBUTTONUP, frmMain->prgBar1->Left() + 110,
                      frmMain->prgBar1->Top() + 5);
  // The track is 30 s long: halfway is 15 s, far beyond what plays meanwhile.
  ASSERT_TRUE(PumpUntil([&] { return Seconds(frmMain->lblPos1) >= 14; }, 3000))
      << frmMain->lblPos1->Caption();
  EXPECT_GE(frmMain->prgBar1->Position(), 480);
  EXPECT_LE(frmMain->prgBar1->Position(), 600);
}

// Bytes, an empty file, a text, a sound and a picture named ".mp3", loaded over a playing
// track: the deck keeps the new title and BPM but shows no times of the track before it,
// and the engine's reason is said once, at the load. A truncated file plays what it holds.
TEST_F(DeckTest, UndecodableFileKeepsItsTitleAndHangsNothing) {
  frmMain->LoadDeck(Deck2, Media("kick128.mp3"), "128");
  frmMain->btnPlayClick(frmMain->btnPlay2);
  ASSERT_TRUE(PumpUntil([] { return Seconds(frmMain->lblPos2) >= 1; }, 5000));
  ASSERT_EQ(frmMain->lblDur2->Caption(), "00:30");
  std::string dir = kaztest::MakeTempDir("bad");
  for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"broken", std::string(20000, '\x5A')},
           {"empty", ""},
           {"text", "Not music.\r\n"},
           {"wave", kaztest::ReadFile(Media("wave.mp3"))},
           {"flac", kaztest::ReadFile(Media("flac.mp3"))},
           {"vorbis", kaztest::ReadFile(Media("vorbis.mp3"))},
           {"picture", kaztest::ReadFile(Media("picture.mp3"))}}) {
    SCOPED_TRACE(name);
    kaztest::WriteFile(dir + "/" + name + ".mp3", bytes);
    const size_t said = dialogs.size();
    frmMain->LoadDeck(Deck2, dir + "/" + name + ".mp3", "140");
    ASSERT_TRUE(PumpUntil([&] { return dialogs.size() > said; }, 5000)) << "nothing said";
    frmMain->btnPlayClick(frmMain->btnPlay2);
    PumpUntil([] { return false; }, 300);
    ASSERT_EQ(dialogs.size(), said + 1);
    EXPECT_NE(dialogs.back().Text.find(name + ".mp3: not an MPEG audio stream"), String::npos)
        << dialogs.back().Text;
    EXPECT_EQ(frmMain->lblTitle2->Caption(), name);
    EXPECT_EQ(frmMain->txtBPM2->Text(), "140");
    for (TLabel* l : {frmMain->lblDur2, frmMain->lblPos2, frmMain->lblRem2})
      EXPECT_EQ(l->Caption(), "") << l->Name();
    EXPECT_NE(Deck2.PlayState, 1);
  }

  const std::string good = kaztest::ReadFile(Media("short4.mp3"));
  kaztest::WriteFile(dir + "/cut.mp3", good.substr(0, good.size() / 2));
  const size_t said = dialogs.size();
  frmMain->LoadDeck(Deck2, dir + "/cut.mp3", "128");
  frmMain->btnPlayClick(frmMain->btnPlay2);
  EXPECT_TRUE(PumpUntil([] { return Deck2.PlayState == 3; }, 8000));
  EXPECT_GE(Seconds(frmMain->lblPos2), 1);
  EXPECT_EQ(dialogs.size(), said);
}

TEST_F(DeckTest, PathWithNonAsciiLettersPlays) {
  // The system holds paths in its code page, as the explorer lists them; the file system's
  // names are UTF-8.
  const String path =
      win32::LinuxToWindowsPath(Copy("short4.mp3", "M\xC3\xBCsik \xC3\x9F" "eta", "\xC3\x91" "and\xC3\xBA \xE2\x80\x93 \xC3\xA9t\xC3\xA9.mp3"));
  EXPECT_NE(path.find("-M\xFCsik \xDF" "eta"), String::npos) << path;
  frmMain->LoadDeck(Deck1, path, "");
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "\xD1" "and\xFA \x96 \xE9t\xE9");  // Ñandú – été
  ASSERT_TRUE(PlayDeck1());
  EXPECT_TRUE(PumpUntil([&] { return Seconds(frmMain->lblPos1) >= 1; }, 5000));

  // A name the code page cannot hold plays under the name shown for it.
  const String other = win32::LinuxToWindowsPath(
      Copy("short4.mp3", "intl", "\xD0\x94\xD0\xBE\xD0\xBC.mp3"));  // Дом
  EXPECT_EQ(other.substr(other.rfind('\\') + 1, 4), "___~") << other;
  frmMain->LoadDeck(Deck2, other, "");
  frmMain->btnPlayClick(frmMain->btnPlay2);
  EXPECT_TRUE(PumpUntil([&] { return Seconds(frmMain->lblPos2) >= 1; }, 5000));
  EXPECT_EQ(frmMain->lblDur2->Caption(), "00:04");
  EXPECT_TRUE(dialogs.empty());
}

}  // namespace
