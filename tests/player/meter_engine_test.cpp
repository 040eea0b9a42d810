// The meters and the equalizer with the real engine and output filter: the VU bars of a
// playing deck, and a 1 kHz tone played on deck 1 into the WAV capture, once per setting
// of the equalizer panel, its level measured in each take.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "PlayerFixture.h"
#include "outside/EngineHarness.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

class MeterEngineTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!fs::exists(kazout::TestData("tone1k.mp3")) || !fs::exists(kazout::TestData("kick128.mp3")))
      GTEST_SKIP() << "no test media";
    dir_ = kaztest::MakeTempDir("eq");
    // The environment may change only while no engine thread reads it: every take goes
    // to one file, set before the engine starts.
    if (takes_) {
      setenv("KAZ_WAV_CAPTURE", (dir_ + "/take.wav").c_str(), 1);
      setenv("KAZ_WAV_UNPACED", "1", 1);
    }
    Application->CreateForm(frmMain);
    ASSERT_TRUE(dialogs.empty()) << dialogs[0].Text;
    frmMain->Show();
  }
  void TearDown() override {
    PlayerTest::TearDown();
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
  }

  // Moves one of deck 1's band thumbs to an end of its track, as the mouse does.
  void BandTo(int slider, bool top) {
    TImage* thumb = frmMain->imgSldrEQ[slider];
    const int x = thumb->Left() + 7, y = thumb->Top() + 5;
    SendMouseForTesting(frmMain->pnlEQ, WM_LBUTTONDOWN, x, y, {ssLeft});
    SendMouseForTesting(frmMain->pnlEQ, WM_MOUSEMOVE, x, y + (top ? -300 : 300), {ssLeft});
    SendMouseForTesting(frmMain->pnlEQ, WM_LBUTTONUP, x, y);
  }
  // Levels in the middle second of a take (away from the decoder's and encoder's edges):
  // the tone, and the encoder's faint noise at 3 kHz, which lies in the engine's band 4.
  struct Levels {
    double tone = -1;
    double noise3k = -1;
  };
  // Plays the tone to its end into a take of its own.
  Levels Take(const std::string& name) {
    const std::string path = dir_ + "/take.wav";
    frmMain->LoadDeck(Deck1, kazout::TestData("tone1k.mp3"), "");
    frmMain->btnPlayClick(frmMain->btnPlay1);
    EXPECT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000)) << name;
    EXPECT_TRUE(PumpUntil([] { return Deck1.PlayState == 3; }, 20000)) << name;
    // Closing the output ends the take; the next one may then record elsewhere.
    frmMain->Xaudio1->OutputClose();
    PumpUntil([] { return false; }, 300);
    const kazout::Capture c = kazout::ReadCapture(path);
    const size_t onset = kazout::Onset(c);
    EXPECT_GT(c.Frames(), onset + 2 * c.rate) << name;
    if (c.Frames() < onset + 2 * c.rate || c.rate == 0) return {};
    const size_t from = onset + c.rate / 2;
    return {kazout::ToneLevel(c, 0, from, c.rate, 1000),
            kazout::ToneLevel(c, 0, from, c.rate, 3000)};
  }

  std::string dir_;
  bool takes_ = false;  // every play goes to a take, as fast as it can
};

class EqTakeTest : public MeterEngineTest {
 protected:
  EqTakeTest() { takes_ = true; }
};

TEST_F(MeterEngineTest, BarsFollowAPlayingDeckAndDropWhenItStops) {
  frmMain->sldRefreshVU->SetValue(70);
  frmMain->chkVuMeters->SetChecked(true);
  frmMain->LoadDeck(Deck1, kazout::TestData("kick128.mp3"), "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  // Kicks: the bars rise and fall with them.
  std::set<Integer> seen;
  PumpUntil(
      [&] {
        seen.insert(frmMain->prgVUL1->Position());
        seen.insert(frmMain->prgVUR1->Position());
        return seen.size() >= 5 && *seen.rbegin() > 10;
      },
      10000);
  EXPECT_GE(seen.size(), 5u);
  EXPECT_GT(*seen.rbegin(), 10);
  EXPECT_GE(*seen.begin(), 0);
  EXPECT_LE(*seen.rbegin(), 50);
  // Deck 2 plays nothing: its bars stay where the window put them.
  EXPECT_EQ(frmMain->prgVUL2->Position(), 50);

  frmMain->btnStopClick(frmMain->btnStop1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 0; }, 5000));
  PumpUntil([] { return frmMain->prgVUL1->Position() == 0 && frmMain->prgVUR1->Position() == 0; });
  EXPECT_EQ(frmMain->prgVUL1->Position(), 0);
  EXPECT_EQ(frmMain->prgVUR1->Position(), 0);
}

TEST_F(EqTakeTest, TheBandHolding1kHzIsHeardAndTheOthersLeaveItAlone) {
  const Levels flatTake = Take("flat");
  const double flat = flatTake.tone;
  ASSERT_GT(flat, 0.05);

  // s1 holds the engine's band 1 (about 690 to 1380 Hz). At the top it is raised by 40
  // steps, at the bottom lowered by 40: 24 dB apart.
  BandTo(1, true);
  const double raised = Take("raised").tone;
  BandTo(1, false);
  const double lowered = Take("lowered").tone;
  EXPECT_LT(lowered * 4, raised) << "raised " << raised << ", lowered " << lowered;
  EXPECT_LT(lowered, flat * 0.5);
  EXPECT_GT(raised, flat * 1.5);

  // Back to the middle (0), and every other band lowered as far as it goes.
  PlaceVSlider(frmMain->imgSldEQ[0], frmMain->imgSldrEQ[1], 0, 40, -40);
  for (int s : {0, 2, 3, 4, 5, 6, 7, 8, 9}) BandTo(s, false);
  const Levels others = Take("others");
  EXPECT_NEAR(others.tone / flat, 1.0, 0.05) << "flat " << flat << ", others " << others.tone;
  // They were applied all the same: what little sound band 4 carries is 12 dB down.
  EXPECT_LT(others.noise3k, flatTake.noise3k * 0.5)
      << "flat " << flatTake.noise3k << ", others " << others.noise3k;
}

}  // namespace
