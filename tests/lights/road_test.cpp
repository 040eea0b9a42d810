// The road of a track: the player (in this process, on a capture sink that plays in real
// time) plays a generated track on deck 1, its beats go to a real BeamExe of the same
// prefix, powered and in auto mode, and the lamp byte on the virtual port changes as each
// kick is heard. The moment a kick is heard comes from the capture: the generator lists
// the kicks' times in the track, the track starts with a kick, and the capture says when
// its first frame played. The generated set spans the tempos of dance music, CBR and VBR,
// mono 22 kHz, a breakdown and swing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dlportio/dlportio.h"
#include "outside/BeatScore.h"
#include "outside/EngineHarness.h"
#include "PlayerWithLights.h"
#include "player/PositionLabel.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

struct TTrack {
  const char* Name;
  double MinSingle;  // share of the kicks that must give exactly one step
};

class Road : public PlayerWithLights, public ::testing::WithParamInterface<TTrack> {
 protected:
  std::string Track() const override { return GetParam().Name; }
};

struct TPortChange {
  long long Ns;
  int Byte;
};

// How far the lamp may come from its kick, as a median: the sanitizers' checks slow every
// thread and process on the way from the kick to the lamp.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double kMedianBoundMs = 6.0;
#else
constexpr double kMedianBoundMs = 3.0;
#endif

// A thread's time spent waiting for a core (ns) and its count of turns on one, from
// /proc's schedstat.
std::pair<double, double> WaitsForACore(const std::string& schedstat) {
  std::istringstream in(kaztest::ReadFile(schedstat));
  double onCore = 0, waited = 0, turns = 0;
  in >> onCore >> waited >> turns;
  return {waited, turns};
}

// The lit steps on the lamp port: every write of a byte other than 0 that differs from the
// byte before it (the flash's darkening in between is not a step).
std::vector<TPortChange> LampSteps() {
  std::vector<TPortChange> out;
  std::istringstream in(kaztest::ReadFile(kaztest::Prefix() + "/port/" + kDlPortLogName));
  std::string ns, port, byte;
  int last = -1;
  while (in >> ns >> port >> byte) {
    if (port != "0378") continue;
    const int b = std::stoi(byte, nullptr, 16);
    if (b != 0 && b != last) out.push_back({std::stoll(ns), b});
    last = b;
  }
  return out;
}

TEST_P(Road, EachKickHeardChangesTheLampsOnceInTime) {
  const TTrack track = GetParam();
  const std::string media = std::string(KAZ_TESTDATA_DIR) + "/" + track.Name;
  StartPlayerAndLights();
  if (HasFatalFailure()) return;

  // How long the windows a beat passes through waited for a core, each time they woke: on a
  // machine whose every core is busy the lamps can be no more punctual than that.
  const std::string guiStat = "/proc/thread-self/schedstat";
  const std::string lightsStat =
      "/proc/" + std::to_string(lights_) + "/task/" + std::to_string(lights_) + "/schedstat";
  const auto gui0 = WaitsForACore(guiStat), lights0 = WaitsForACore(lightsStat);
  frmMain->LoadDeck(Deck1, media + ".mp3", "");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  // The whole track, to its last kick.
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 3; }, 60000)) << "the track did not end";
  const auto meanMs = [](std::pair<double, double> from, std::pair<double, double> to) {
    return to.second > from.second ? (to.first - from.first) / (to.second - from.second) / 1e6
                                   : 0.0;
  };
  const double waitMs =
      meanMs(gui0, WaitsForACore(guiStat)) + meanMs(lights0, WaitsForACore(lightsStat));

  // When each kick was heard, from the capture.
  const kazout::Capture take = kazout::ReadCapture(capture_);
  const size_t start = kazout::Onset(take, 0.02f);
  ASSERT_LT(start, take.Frames()) << "nothing was heard";
  const double rate = take.rate;
  const std::vector<size_t> heardAt = kazout::HeardFrames(take, start);
  std::vector<double> kicks;  // seconds after the capture's first frame
  for (double t : kazout::ReadTimes(media + ".kicks")) {
    const auto at = static_cast<size_t>(t * rate);
    if (at < heardAt.size()) kicks.push_back(static_cast<double>(heardAt[at]) / rate);
  }
  ASSERT_GE(kicks.size(), 30u);
  // The last kick's step may still be on its way.
  PumpUntil(
      [&] {
        const auto all = LampSteps();
        return !all.empty() && all.back().Ns - take.firstNs >= (kicks.back() - 0.1) * 1e9;
      },
      3000);
  // After a dropout the lamps may step early for as long as it lasted: the kicks heard
  // around it, and the steps that may be theirs, are left out.
  std::vector<std::pair<double, double>> broken;
  for (const auto& [from, to] : kazout::Dropouts(heardAt))
    broken.push_back({from / rate - 0.1, to / rate + (to - from) / rate + 0.1});
  const auto excused = [&](double t) {
    return std::any_of(broken.begin(), broken.end(),
                       [t](const auto& w) { return t >= w.first && t < w.second; });
  };
  const size_t allKicks = kicks.size();
  std::erase_if(kicks, excused);

  std::vector<double> steps;
  for (const TPortChange& c : LampSteps()) {
    const double t = static_cast<double>(c.Ns - take.firstNs) / 1e9;
    if (!excused(t)) steps.push_back(t);
  }
  const kazout::KickScore score = kazout::ScoreKicks(kicks, steps);
  if (std::getenv("KAZ_ROAD_VERBOSE"))
    for (double o : score.offsetsMs) std::printf("kick %+.2f ms\n", o);
  const double single = static_cast<double>(score.single) / score.kicks;
  ASSERT_FALSE(score.offsetsMs.empty()) << "no lamp step near any kick; " << steps.size()
                                        << " steps for " << kicks.size() << " kicks";
  std::vector<double> abs_ms;
  for (double o : score.offsetsMs) abs_ms.push_back(std::fabs(o));
  const double median = kazout::Percentile(score.offsetsMs, 0.5);
  const double p95 = kazout::Percentile(abs_ms, 0.95);
  RecordProperty("kicks", score.kicks);
  RecordProperty("median_us", static_cast<int>(median * 1000));
  RecordProperty("p95_us", static_cast<int>(p95 * 1000));
  std::printf(
      "road %s: %d kicks, %zu steps, %.1f %% one step, %d extra, median %+.2f ms, "
      "p95 %.2f ms; the windows waited %.3f ms for a core each time; %zu kicks by dropouts\n",
      track.Name, score.kicks, steps.size(), single * 100, score.extra, median, p95, waitMs,
      allKicks - kicks.size());
  // As many kicks may miss their one step as the share allows of the whole track.
  EXPECT_LE(score.kicks - score.single, (1 - track.MinSingle) * allKicks) << single;
  EXPECT_LE(score.extra, score.kicks / 100 + 1);
  EXPECT_TRUE(score.lastLit) << "the last kick did not light";
  // A wait's tail runs to many times its mean, so twenty times it is allowed on top; on an
  // idle machine the mean is a few hundredths of a millisecond, with every core busy a few
  // tenths.
  EXPECT_LE(std::fabs(median), kMedianBoundMs + 3 * waitMs);
  EXPECT_LE(p95, 4 * kMedianBoundMs + 20 * waitMs);
}

// At 174 BPM a beat is shorter than the graph's look-ahead for its line (17 points): the
// next kick can set the line over the current one.
INSTANTIATE_TEST_SUITE_P(GeneratedSet, Road,
                         ::testing::Values(TTrack{"beats092", 0.97}, TTrack{"beats122", 0.97},
                                           TTrack{"beats140", 0.97}, TTrack{"beats174", 0.90}),
                         [](const auto& info) { return std::string(info.param.Name); });

class RoadResets : public PlayerWithLights {
 protected:
  std::string Track() const override { return "kick128"; }
};

// Hundredths of a second of deck 1's track heard, as its time label shows them.
int HeardHundredths() {
  return LabelHundredths(frmMain->lblPos1);
}

// A seek, a pause and the loop's wrap each make the filter report the audio to come
// afresh: the lamps step for each kick heard, none for a kick skipped and none twice. Each
// jump is made between two kicks (a beat is 46.875 hundredths), so each kick of the track
// is heard whole or not at all.
TEST_F(RoadResets, TheLampsStepOnceForEachKickHeardAcrossSeeksPausesAndLoops) {
  StartPlayerAndLights();
  if (HasFatalFailure()) return;
  const std::vector<double> track =
      kazout::ReadTimes(std::string(KAZ_TESTDATA_DIR) + "/kick128.kicks");
  ASSERT_GE(track.size(), 44u);
  std::vector<std::pair<int, int>> heard;  // stretches of the track heard, in hundredths
  auto playUntil = [&](int from, int until) {
    EXPECT_TRUE(PumpUntil([&] { return HeardHundredths() >= until; }, 10000)) << until;
    heard.push_back({from, HeardHundredths()});
  };

  frmMain->LoadDeck(Deck1, std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3", "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  // Kicks 0 to 7, then a click at 112 of the bar's 220 pixels: 509 of 1000, 15.27 s.
  playUntil(0, 352);
  frmMain->prgBarMouseDown(frmMain->prgBar1, mbLeft, {ssLeft}, 112, 5);
  ASSERT_TRUE(
      PumpUntil([] { return HeardHundredths() >= 1527 && HeardHundredths() < 1600; }, 3000));
  // Kicks 33 to 36; paused for a second, then on from there.
  playUntil(1527, 1712);
  frmMain->btnPauseClick(frmMain->btnPause1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 2; }, 3000));
  PumpFor(1000);
  const int resumed = HeardHundredths();
  frmMain->btnPlayClick(frmMain->btnPlay1);
  // Kicks 37 to 42, and back to 18.52 s at 19.92 s once; then kicks 40 to 43 again.
  Deck1.LoopSM = 0, Deck1.LoopSS = 18, Deck1.LoopSF = 52;
  Deck1.LoopEM = 0, Deck1.LoopES = 19, Deck1.LoopEF = 92;
  Deck1.LoopOn = -1;
  int last = resumed;
  ASSERT_TRUE(PumpUntil(
      [&] {
        const int now = HeardHundredths();
        if (now < last) return true;
        last = now;
        return false;
      },
      5000))
      << "the loop did not wrap";
  Deck1.LoopOn = 0;
  heard.push_back({resumed, 1992});
  playUntil(1852, 2040);
  frmMain->btnStopClick(frmMain->btnStop1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 0; }, 3000));
  PumpFor(300);

  int kicks = 0;
  for (const auto& [from, until] : heard)
    for (double t : track) kicks += t * 100 >= from - 1 && t * 100 <= until;
  const auto steps = static_cast<int>(LampSteps().size());
  std::printf("%d kicks heard, %d lamp steps\n", kicks, steps);
  EXPECT_EQ(kicks, 22);
  // The first kick of the track may go to settling the beat line.
  EXPECT_LE(steps, kicks);
  EXPECT_GE(steps, kicks - 1);
}

}  // namespace
