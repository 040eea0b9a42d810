// Where the decks are heard, what deck 1's loop does at its end and how auto-sync waits
// for the beats, with the real engine: the routing on capture devices (device N records
// what a sound card N would have played), the loop and auto-sync on the null sound device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "PlayerFixture.h"
#include "outside/EngineHarness.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using kazout::Capture;
using kazout::ReadCapture;
using kazout::ToneLevel;

std::string Media(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

class RoutingEngineTest : public PlayerTest {
 protected:
  void TearDown() override {
    PlayerTest::TearDown();
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
  }
  // The player as it starts, its devices listed. With a capture path, devices 0 to 2 record
  // as fast as the decks play.
  void Start(const std::string& capture) {
    for (auto* m : {"tones3.mp3", "tone1k.mp3", "kick205.mp3", "kick128.mp3"})
      if (!fs::exists(Media(m))) GTEST_SKIP() << "no test media";
    if (!capture.empty()) {
      setenv("KAZ_WAV_CAPTURE", capture.c_str(), 1);
      setenv("KAZ_WAV_UNPACED", "1", 1);
    }
    Application->CreateForm(frmMain);
    ASSERT_TRUE(dialogs.empty()) << dialogs[0].Text;
    frmMain->Show();
    frmMain->pnlSetup->BringToFront();
    ASSERT_TRUE(PumpUntil([] { return frmMain->CardList->Count() >= 2; }, 5000));
    // Each deck's ends and output closes, counted as the engines report them: a deck's
    // state still says "ended" after a take until its engine has answered the next load.
    for (TXaudioPlayer* x : {frmMain->Xaudio1, frmMain->Xaudio2}) {
      const int deck = x == frmMain->Xaudio2;
      x->OnNotifyPlayerState = [this, deck, form = x->OnNotifyPlayerState](TObject* s, Integer st) {
        ends_[deck] += st == XA_PLAYER_STATE_EOS;
        form(s, st);
      };
      x->OnNotifyOutputState = [this](TObject*, Integer st) { closes_ += st == 0; };
    }
  }
  // A click of the user on a windowed control, or on a button inside its parent.
  static void Click(TWinControl* c) {
    SendMouseForTesting(c, WM_LBUTTONDOWN, 4, 4, {ssLeft});
    SendMouseForTesting(c, WM_LBUTTONUP, 4, 4);
  }
  static void Click(TControl* b) {
    auto* parent = static_cast<TWinControl*>(b->Parent());
    SendMouseForTesting(parent, WM_LBUTTONDOWN, b->Left() + 6, b->Top() + 6, {ssLeft});
    SendMouseForTesting(parent, WM_LBUTTONUP, b->Left() + 6, b->Top() + 6);
  }
  // Picks entry `item` of the device menu that the card button opens.
  void ChooseCard(TSpeedButton* button, int item) {
    SetMenuTrackerForTesting([item](TMenuTracking& m) { m.Choose(item); });
    Click(static_cast<TControl*>(button));
    Application->ProcessMessages();
    SetMenuTrackerForTesting([](TMenuTracking&) {});
  }
  // Deck 1 plays the 300 Hz and 5 kHz tones, deck 2 a 1 kHz tone at full level, to the
  // end; then both outputs close, which ends the takes.
  void PlayBothToTheEnd() {
    PlaceVSlider(Deck2.VolTrack, Deck2.VolThumb, 0, 100, 0);
    frmMain->LoadDeck(Deck1, Media("tones3.mp3"), "");
    frmMain->LoadDeck(Deck2, Media("tone1k.mp3"), "");
    const int ends[2] = {ends_[0], ends_[1]}, closes = closes_;
    frmMain->btnPlayClick(frmMain->btnPlay1);
    frmMain->btnPlayClick(frmMain->btnPlay2);
    ASSERT_TRUE(PumpUntil([&] { return ends_[0] > ends[0] && ends_[1] > ends[1]; }, 15000));
    for (TXaudioPlayer* x : {frmMain->Xaudio1, frmMain->Xaudio2}) x->OutputClose();
    ASSERT_TRUE(PumpUntil([&] { return closes_ == closes + 2; }, 5000));
  }
  // How loud each deck's tone is on one side of a take.
  static double Deck1On(const Capture& c, int side) {
    return ToneLevel(c, side, 0, c.Frames(), 300);
  }
  static double Deck2On(const Capture& c, int side) {
    return ToneLevel(c, side, 0, c.Frames(), 1000);
  }
  static constexpr double kHeard = 0.02, kSilent = 0.0005;
  static constexpr int kHeadphones = 0, kMain = 1;
  int ends_[2] = {0, 0}, closes_ = 0;
};

TEST_F(RoutingEngineTest, TwoCardsRecordEachDeckApart) {
  const std::string dir = kaztest::MakeTempDir("cards");
  Start(dir + "/out.wav");
  ASSERT_TRUE(PumpUntil([] { return frmMain->CardList->Count() == 3; }, 5000));
  EXPECT_EQ(frmMain->CardList->Strings(1), "WAV capture 1");
  Click(static_cast<TWinControl*>(frmMain->chk2SC));
  ASSERT_TRUE(frmMain->chk2SC->Checked());
  ChooseCard(frmMain->btnSC1, 0);
  ChooseCard(frmMain->btnSC2, 1);
  EXPECT_EQ(frmMain->lblSC1->Caption(), "WAV capture 1");
  EXPECT_EQ(frmMain->lblSC2->Caption(), "WAV capture 2");
  PlayBothToTheEnd();

  Capture one = ReadCapture(dir + "/out.wav.1.wav"), two = ReadCapture(dir + "/out.wav.2.wav");
  ASSERT_GT(one.Frames(), 44100u * 2);
  ASSERT_GT(two.Frames(), 44100u * 2);
  for (int side : {0, 1}) {
    EXPECT_GT(Deck1On(one, side), kHeard);
    EXPECT_LT(Deck2On(one, side), kSilent);
    EXPECT_GT(Deck2On(two, side), kHeard);
    EXPECT_LT(Deck1On(two, side), kSilent);
  }
  // The default card heard nothing.
  EXPECT_EQ(ReadCapture(dir + "/out.wav").Frames(), 0u);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(RoutingEngineTest, PreListenedDeckOnlyInTheHeadphonesTheOtherOnlyOnTheMainSide) {
  const std::string dir = kaztest::MakeTempDir("prel");
  Start(dir + "/out.wav");
  Click(static_cast<TWinControl*>(frmMain->chkPreL));
  ASSERT_TRUE(frmMain->btnPreL1->Visible());
  Click(static_cast<TControl*>(frmMain->btnPreL1));
  ASSERT_NE(frmMain->btnPreL1->Tag(), 0);
  PlayBothToTheEnd();
  Capture take = ReadCapture(dir + "/out.wav");
  ASSERT_GT(take.Frames(), 44100u * 2);
  EXPECT_GT(Deck1On(take, kHeadphones), kHeard);
  EXPECT_LT(Deck2On(take, kHeadphones), kSilent);
  EXPECT_GT(Deck2On(take, kMain), kHeard);
  EXPECT_LT(Deck1On(take, kMain), kSilent);

  // "Always plays in headphones": the main output joins the pre-listened deck there.
  setenv("KAZ_WAV_CAPTURE", (dir + "/always.wav").c_str(), 1);
  Click(static_cast<TWinControl*>(frmMain->chkASound));
  ASSERT_NE(AlwaysHeadphones, 0);
  PlayBothToTheEnd();
  take = ReadCapture(dir + "/always.wav");
  ASSERT_GT(take.Frames(), 44100u * 2);
  EXPECT_GT(Deck1On(take, kHeadphones), kHeard);
  EXPECT_GT(Deck2On(take, kHeadphones), kHeard);
  EXPECT_GT(Deck2On(take, kMain), kHeard);
  EXPECT_LT(Deck1On(take, kMain), kSilent);
  EXPECT_TRUE(dialogs.empty());
}

// The loop and auto-sync on the null device, in real time.
class LoopEngineTest : public RoutingEngineTest {
 protected:
  void SetUp() override {
    RoutingEngineTest::SetUp();
    Start("");
  }
  // Every timecode deck 1 reports, in hundredths, as the form gets it.
  void WatchTimecodes() {
    frmMain->Xaudio1->OnNotifyInputTimecode = [this](TObject* Sender, Byte H, Byte M, Byte S,
                                                     Byte F) {
      frmMain->XaudioNotifyInputTimecode(Sender, H, M, S, F);
      times.push_back((M * 60 + S) * 100 + F);
    };
  }
  bool Reported(int t) const { return std::find(times.begin(), times.end(), t) != times.end(); }
  std::vector<int> times;
};

TEST_F(LoopEngineTest, FullRepeatGoesBackToTheStartAtTheTracksEnd) {
  WatchTimecodes();
  frmMain->LoadDeck(Deck1, Media("kick205.mp3"), "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1 && Deck1.Zik.DurSecs != 0; }, 5000));
  ASSERT_EQ(Deck1.Zik.DurSecs, 205);
  frmMain->popFullRepeatClick(frmMain->popFullRepeat1);
  EXPECT_EQ(Deck1.LoopEM * 60 + Deck1.LoopES, 205);
  // Three seconds before the end.
  frmMain->Xaudio1->InputSeek(20200, 20500);
  ASSERT_TRUE(PumpUntil([&] { return Reported(20500); }, 8000));
  times.clear();
  // It plays on from the start.
  ASSERT_TRUE(PumpUntil([&] { return !times.empty() && times.back() >= 50; }, 5000));
  EXPECT_LT(times.front(), 20) << times.front();
  EXPECT_EQ(Deck1.PlayState, 1);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(LoopEngineTest, LoopStartAndAnEndTheEngineNeverReports) {
  WatchTimecodes();
  frmMain->LoadDeck(Deck1, Media("kick205.mp3"), "128");
  // Timecodes come every second hundredth: an odd end is never met.
  frmMain->txtLoopSM1->SetText("01");
  frmMain->txtLoopSS1->SetText("30");
  frmMain->txtLoopSF1->SetText("50");
  frmMain->txtLoopES1->SetText("01");
  frmMain->txtLoopEF1->SetText("01");
  frmMain->popLLoopClick(frmMain->popLLoop1);
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([&] { return Reported(150); }, 5000));
  EXPECT_LT(*std::max_element(times.begin(), times.end()), 200);

  // The same end made even is met, and the deck goes on from 01:30:50.
  frmMain->txtLoopEF1->SetText("00");
  frmMain->Xaudio1->InputSeek(50, 20500);
  times.clear();
  ASSERT_TRUE(PumpUntil([&] { return Reported(9100); }, 5000));
  const auto jump = std::find(times.begin(), times.end(), 9050);
  ASSERT_NE(jump, times.end());
  ASSERT_NE(jump, times.begin());
  // Straight from the end (or a timecode or two heard while the seek was on its way).
  EXPECT_GE(jump[-1], 100);
  EXPECT_LE(jump[-1], 110);
  EXPECT_TRUE(std::all_of(jump, times.end(), [](int t) { return t >= 9050; }));
  EXPECT_EQ(Deck1.PlayState, 1);
}

TEST_F(LoopEngineTest, AutoSyncPausesDeckOneOnItsBeatAndStartsItOnDeckTwosBeat) {
  frmMain->LoadDeck(Deck1, Media("kick128.mp3"), "128");
  frmMain->LoadDeck(Deck2, Media("kick128.mp3"), "128");
  // What each lamp showed when deck 1's pause and start were sent, and the newest time
  // of each deck in hundredths.
  int pausedOn = -1, startedOn = -1;
  int last[2] = {-1, -1};
  for (TXaudioPlayer* x : {frmMain->Xaudio1, frmMain->Xaudio2}) {
    x->OnNotifyInputTimecode = [&](TObject* Sender, Byte H, Byte M, Byte S, Byte F) {
      const Integer paused = Deck1.SyncPaused, armed = Deck1.AutoSync;
      const bool lit1 = frmMain->shpBoom1->Brush()->Color() == clRed;
      const bool lit2 = frmMain->shpBoom2->Brush()->Color() == clRed;
      frmMain->XaudioNotifyInputTimecode(Sender, H, M, S, F);
      if (!paused && Deck1.SyncPaused) pausedOn = (Sender == frmMain->Xaudio1) * 10 + lit1;
      if (armed && !Deck1.AutoSync) startedOn = (Sender == frmMain->Xaudio2) * 10 + lit2;
      last[Sender == frmMain->Xaudio2] = (M * 60 + S) * 100 + F;
    };
  }
  // How far apart the two decks' kicks are, in hundredths (a beat is 46.875).
  auto apart = [&] {
    const double d = std::fmod(std::fabs(last[1] - last[0]), 46.875);
    return std::min(d, 46.875 - d);
  };
  frmMain->btnPlayClick(frmMain->btnPlay2);
  ASSERT_TRUE(PumpUntil([] { return Deck2.PlayState == 1; }, 5000));
  // Deck 1 starts about half a beat after deck 2.
  PumpFor(230);
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  PumpFor(1500);
  const double before = apart();
  frmMain->btnAutoSyncClick(frmMain->btnAutoSync);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 2; }, 3000));
  EXPECT_EQ(pausedOn, 11);  // deck 1's timecode, deck 1's lamp lit
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 3000));
  EXPECT_EQ(startedOn, 11);  // deck 2's timecode, deck 2's lamp lit
  EXPECT_EQ(Deck1.AutoSync, 0);
  EXPECT_EQ(Deck1.SyncPaused, 0);
  EXPECT_EQ(frmMain->btnAutoSync->Font()->Color(), clRed);
  PumpFor(500);
  std::printf("kicks apart before %.1f, after %.1f hundredths\n", before, apart());
  EXPECT_GT(before, 10.0);
  EXPECT_LT(apart(), 8.0);
  EXPECT_TRUE(dialogs.empty());
}

}  // namespace
