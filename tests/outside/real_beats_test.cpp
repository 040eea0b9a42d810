// Real music through the engine and the output filter (on the capture sink, unpaced), and
// the graph's beat rule over the levels it reports: the steps follow the music's beats as
// a strong offline beat tracker finds them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "BeatRule.h"
#include "BeatScore.h"
#include "EngineHarness.h"
#include "RealMusic.h"
#include "filter/filter.h"
#include "support/TestSupport.h"

using namespace kazout;

namespace {

class RealBeats : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(filter_.Loaded());
    dir_ = kaztest::MakeTempDir("capture");
    setenv("KAZ_WAV_CAPTURE", (dir_ + "/out.wav").c_str(), 1);
    setenv("KAZ_WAV_UNPACED", "1", 1);
    setenv("KAZ_WAV_SPEEDUP", kReportSpeedup, 1);
  }
  void TearDown() override {
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
    unsetenv("KAZ_WAV_SPEEDUP");
  }

  // The levels deck 1's filter reports while the track plays to its end.
  std::vector<int32_t> Levels(const std::string& mp3) {
    std::vector<int32_t> levels;
    Engine e;
    EXPECT_TRUE(e.Ready());
    filter_.ReportTo(e.Window());
    e.OnMessage = [&](UINT msg, WPARAM w, LPARAM l) {
      if (msg == WM_DECK_LEVEL && l == 1) levels.push_back(static_cast<int32_t>(w));
    };
    e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
    seconds_ = e.Open(mp3);
    EXPECT_GT(seconds_, 0);
    size_t from = e.Notes().size();
    e.N(XA_MSG_COMMAND_PLAY);
    EXPECT_TRUE(e.WaitForState(XA_PLAYER_STATE_EOS, 60000, from));
    PumpUntil([] { return false; }, 300);
    return levels;
  }

  FilterLibrary filter_;
  std::string dir_;
  int seconds_ = 0;  // of the track last played
};

TEST_F(RealBeats, StepsFollowTheBeatsOfMusicWithASteadyBeat) {
  std::vector<RealTrack> tracks = PrepareRealTracks(std::string(KAZ_TESTDATA_DIR) + "/real");
  if (tracks.empty()) {
    const std::string missing = MissingForRealMusic();
    GTEST_SKIP() << "no real music: " << (missing.empty() ? "not made" : missing + " missing");
  }
  // The lamps' F against the reference, as they score now less a margin: a grid that locks
  // off the beat, at another tempo, or steps twice falls well below.
  const std::map<std::string, double> floors = {
      {"calmrace-ks", 0.78}, {"freezingpoint", 0.92}, {"race1-jt", 0.95}};
  for (const RealTrack& t : tracks) {
    std::vector<int32_t> levels = Levels(t.mp3);
    // None lost on the way (a sender a second behind drops what it has left).
    ASSERT_NEAR(static_cast<double>(levels.size()), seconds_ * 44100 / 1024 + kReportLead, 50)
        << t.name;
    // Report m is timed by the window after it, less the 38 reports of the lead; within that
    // window where its beat starts, which the messages do not say: take its middle.
    const double window = 1024.0 / 44100;
    std::vector<double> steps;
    for (int m : Beats(levels)) steps.push_back((m + 1.5 - kReportLead) * window);
    RealScore s = ScoreReal(ReadTimes(t.reference), steps);
    double ratio = s.StepsPerMinute() / s.BeatsPerMinute();
    std::printf(
        "%s: %.1f steps a minute for %.1f beats (%.2f), recall %.2f, precision %.2f, F %.2f\n",
        t.name.c_str(), s.StepsPerMinute(), s.BeatsPerMinute(), ratio, s.Recall(), s.Precision(),
        s.F());
    EXPECT_GE(ratio, 0.6) << t.name;
    EXPECT_LE(ratio, 1.1) << t.name;
    EXPECT_GE(s.F(), floors.at(t.name)) << t.name;
  }
}

}  // namespace
