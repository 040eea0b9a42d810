// Mixing and speed with the real engine: an automatic mix between two playing decks on the
// null sound device, and a deck at pitch 1024 measured against the clock of the capture
// sink, which plays in real time as the null device does.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "PlayerFixture.h"
#include "outside/EngineHarness.h"
#include "classlib/ComCtrls.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string Media(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

int Seconds(TLabel* pos) {
  const String& c = pos->Caption();
  return std::stoi(c.substr(0, 2)) * 60 + std::stoi(c.substr(3, 2));
}

class MixEngineTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!fs::exists(Media("kick128.mp3")) || !fs::exists(Media("tone60.mp3")))
      GTEST_SKIP() << "no test media";
  }
  void TearDown() override {
    PlayerTest::TearDown();
    unsetenv("KAZ_WAV_CAPTURE");
  }
  void Start() {
    Application->CreateForm(frmMain);
    ASSERT_TRUE(dialogs.empty()) << dialogs[0].Text;
    frmMain->Show();
  }
  // Auto-mix on with these settings, `incoming` (`seconds` long) on deck 2, and deck 1
  // playing kick128 (30 s) from `at` thousandths until the mix starts.
  void PlayIntoAutoMix(int start, int length, int seek, const std::string& incoming, int seconds,
                       int at) {
    frmMain->chkAutoMix->SetChecked(true);
    frmMain->spnAMixStart->SetValue(start);
    frmMain->spnAMixLength->SetValue(length);
    frmMain->spnASeek->SetValue(seek);
    frmMain->LoadDeck(Deck2, Media(incoming), "");
    frmMain->LoadDeck(Deck1, Media("kick128.mp3"), "128");
    frmMain->btnPlayClick(frmMain->btnPlay1);
    ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1 && Deck1.Zik.DurSecs == 30; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return Deck2.Zik.DurSecs == seconds; }, 5000));
    frmMain->Xaudio1->InputSeek(at, 1000);
    ASSERT_TRUE(PumpUntil([] { return MixRunning != 0; }, 8000)) << frmMain->lblPos1->Caption();
  }
};

TEST_F(MixEngineTest, AutoMixStartsTheOtherDeckFadesAndLoadsTheNextEntry) {
  Start();
  auto* list = new TListView(frmMain);
  list->SetParent(frmMain->pnlBrowse);
  Deck1.PlayList = list;
  const std::string dir = kaztest::MakeTempDir("automix");
  fs::copy_file(Media("short4.mp3"), dir + "/after.mp3");
  TListItem* entry = list->Items()->Add();
  entry->SetCaption("after");
  entry->SubItems()->Add("128");
  entry->SubItems()->Add(dir + "/after.mp3");

  // Close to the end: the mix starts 3 s before it, at 27 s.
  ASSERT_NO_FATAL_FAILURE(PlayIntoAutoMix(3, 2, 5, "tone60.mp3", 60, 800));
  EXPECT_EQ(Seconds(frmMain->lblPos1), 27);
  EXPECT_EQ(EndingDeck, &Deck1);

  // Deck 2 plays from 5 s on while the fader moves over; then deck 1 is stopped and takes
  // the next entry of its playlist.
  ASSERT_TRUE(PumpUntil([] { return Deck2.PlayState == 1; }, 3000));
  ASSERT_TRUE(PumpUntil([] { return MixRunning == 0; }, 8000));
  EXPECT_GE(Seconds(frmMain->lblPos2), 5);
  EXPECT_LE(Seconds(frmMain->lblPos2), 12);
  EXPECT_EQ(frmMain->imgSldrVol->Left() - frmMain->imgSldVol->Left(), 210);
  EXPECT_EQ(frmMain->lblVol2->Caption(), "100 %");
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "after");
  EXPECT_EQ(list->Items()->Count(), 0);
  PumpFor(300);
  EXPECT_NE(Deck1.PlayState, 1);
  EXPECT_EQ(Deck2.PlayState, 1);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(MixEngineTest, AnIncomingTrackThatEndsDuringTheFadeLeavesTheOutgoingDeckPlaying) {
  Start();
  // The mix starts at 22 s; deck 2's 4 s end long before the 10 s fade would.
  ASSERT_NO_FATAL_FAILURE(PlayIntoAutoMix(8, 10, 0, "short4.mp3", 4, 700));
  ASSERT_TRUE(PumpUntil([] { return MixRunning == 0; }, 15000));
  EXPECT_EQ(Deck2.PlayState, 3);
  EXPECT_EQ(Deck1.PlayState, 1);
  EXPECT_EQ(frmMain->imgSldrVol->Left(), frmMain->imgSldVol->Left());
  EXPECT_EQ(frmMain->lblVol1->Caption(), "100 %");
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "kick128");
  EXPECT_TRUE(dialogs.empty());
}

struct Report {
  double sinkSeconds;  // of the track heard, on the sink's clock, from its first frame
  double position;     // the engine's timecode
};

TEST_F(MixEngineTest, PitchOf1024PlaysAMinuteIn5859Seconds) {
  const std::string capture = kaztest::Prefix() + "/speed.wav";
  setenv("KAZ_WAV_CAPTURE", capture.c_str(), 1);
  Start();
  std::vector<std::pair<long long, double>> reports;
  auto shown = frmMain->Xaudio1->OnNotifyInputTimecode;
  frmMain->Xaudio1->OnNotifyInputTimecode = [&](TObject* s, Byte h, Byte m, Byte sec, Byte f) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // The times of the track as it plays (a load and a stop tell theirs too).
    if (Deck1.PlayState == 1)
      reports.emplace_back(now.tv_sec * 1000000000LL + now.tv_nsec, m * 60 + sec + f / 100.0);
    shown(s, h, m, sec, f);
  };
  frmMain->LoadDeck(Deck1, Media("tone60.mp3"), "128");
  frmMain->SetPitch(Deck1, 1024);
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 3 || Deck1.PlayState == 0; }, 90000));
  PumpFor(300);
  frmMain->Xaudio1->Stop();
  PumpFor(300);

  // What the sink played: the tone from its first to its last sounding frame, without the
  // dropouts of a machine that stalled the player.
  const kazout::Capture take = kazout::ReadCapture(capture);
  const size_t first = kazout::Onset(take, 0.01f);
  ASSERT_LT(first, take.Frames());
  std::vector<size_t> heardAt = kazout::HeardFrames(take, first);
  while (!heardAt.empty() && std::fabs(take.L(heardAt.back())) <= 0.01f) heardAt.pop_back();
  const double rate = take.rate;
  ASSERT_GT(rate, 0);
  const double heard = heardAt.size() / rate;
  EXPECT_NEAR(heard, 60.0 * 1000 / 1024, 0.586) << "heard " << heard << " s";
  RecordProperty("heard_ms", static_cast<int>(heard * 1000));

  // The positions the engine reported run 1.024 times as fast as the sink's clock plays
  // the track: the slope of position over the time heard, fitted over the whole track.
  std::vector<Report> r;
  for (auto& [ns, pos] : reports) {
    const double at = (ns - take.firstNs) * 1e-9 * rate;
    const auto before = std::lower_bound(heardAt.begin(), heardAt.end(), at) - heardAt.begin();
    r.push_back({before / rate, pos});
  }
  ASSERT_GT(r.size(), 50u);
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Report& p : r) {
    sx += p.sinkSeconds;
    sy += p.position;
    sxx += p.sinkSeconds * p.sinkSeconds;
    sxy += p.sinkSeconds * p.position;
  }
  const double n = static_cast<double>(r.size());
  const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  EXPECT_NEAR(slope, 1.024, 0.01024);
  RecordProperty("position_slope_ppm", static_cast<int>(slope * 1e6));
  EXPECT_GE(r.back().position, 58.0);
}

}  // namespace
