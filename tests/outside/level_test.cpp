// The output filter's level measure against the player's beat detection, offline: the
// generated tracks (kicks at known times) through the meter and the graph's beat rule must
// give one step per kick, timed to the kick, up to the last one; bad input must not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "BeatRule.h"
#include "BeatScore.h"
#include "filter/LevelMeter.h"
#include "xaudio/Decoder.h"

namespace {

using namespace kazout;

constexpr int kLead = 38;  // reports each one leads the frame it is timed by

struct Measured {
  std::vector<filter::Reading> readings;
  uint32_t rate = 0, window = 0;
};

// Measures interleaved stereo frames in the engine's decoding blocks, ending the stream;
// `next` fills a block and answers its frames (0 at the end) and its rate.
template <typename Next>
Measured MeasureBlocks(Next&& next) {
  Measured m;
  filter::LevelMeter meter;
  std::vector<float> buf(1152 * 2);
  auto keep = [&](const filter::Reading& r) { m.readings.push_back(r); };
  uint32_t rate = 0;
  long n;
  while ((n = next(buf.data(), &rate)) > 0) {
    meter.SetRate(rate);
    meter.Process(buf.data(), static_cast<uint32_t>(n), keep);
  }
  meter.Finish(kLead, keep);
  m.rate = meter.Rate();
  m.window = meter.WindowFrames();
  return m;
}

// Decodes a track and measures it.
Measured Measure(const std::string& name) {
  xaudio::Decoder d;
  std::string why;
  if (d.Open(std::string(KAZ_TESTDATA_DIR) + "/" + name, &why) != XA_SUCCESS) return {};
  return MeasureBlocks([&](float* buf, uint32_t* rate) {
    *rate = d.Rate();
    return d.Read(buf, 1152, &why);
  });
}

// Measures mono samples at 44.1 kHz.
Measured MeasureSamples(const std::vector<float>& mono) {
  size_t at = 0;
  return MeasureBlocks([&](float* buf, uint32_t* rate) {
    *rate = 44100;
    long n = static_cast<long>(std::min<size_t>(1152, mono.size() - at));
    for (long i = 0; i < n; ++i) buf[2 * i] = buf[2 * i + 1] = mono[at + i];
    at += n;
    return n;
  });
}

// Adds a kick (a falling low sweep) of peak `amp` at `t` seconds, or with `click` a short
// burst of high notes, as a stick or a pick makes.
void AddHit(std::vector<float>* mono, double t, double amp, bool click = false) {
  const double rate = 44100, pi = 3.14159265358979;
  const size_t from = static_cast<size_t>(t * rate);
  double phase = 0;
  for (size_t i = 0; i < static_cast<size_t>((click ? 0.01 : 0.15) * rate); ++i) {
    if (from + i >= mono->size()) break;
    const double s = i / rate;
    phase +=
        2 * pi * (click ? 3000 + 1000 * std::sin(i * 0.37) : 50 + 70 * std::exp(-s / 0.03)) / rate;
    (*mono)[from + i] +=
        static_cast<float>(amp * std::sin(phase) * std::exp(-s / (click ? 0.003 : 0.06)));
  }
}

// When each beat the graph finds lights the lamp, in seconds of the track.
std::vector<double> Steps(const Measured& m) {
  std::vector<int32_t> levels;
  for (const auto& r : m.readings) levels.push_back(r.level);
  std::vector<double> steps;
  for (int k : Beats(levels))
    steps.push_back(static_cast<double>(m.readings[k].timedFrame - kLead * m.window) / m.rate);
  return steps;
}

TEST(LevelMeterTest, GeneratedKicksLightOnceEachInTime) {
  struct Track {
    const char* name;
    double minSingle;
  };
  // At 174 BPM a beat is shorter than the graph's look-ahead for its line: the next kick
  // can set the line over the current one.
  const Track tracks[] = {{"beats092", 0.97},
                          {"beats122", 0.97},
                          {"beats140", 0.97},
                          {"beats174", 0.90},
                          {"kick128", 0.97}};
  int kicks = 0, extra = 0;
  std::vector<double> offsets;
  for (const Track& t : tracks) {
    Measured m = Measure(std::string(t.name) + ".mp3");
    ASSERT_FALSE(m.readings.empty()) << t.name;
    // About 43 reports a second: a steady rate the graph scrolls by.
    EXPECT_NEAR(static_cast<double>(m.rate) / m.window, 43.07, 0.1) << t.name;
    KickScore s =
        ScoreKicks(ReadTimes(std::string(KAZ_TESTDATA_DIR) + "/" + t.name + ".kicks"), Steps(m));
    ASSERT_GT(s.kicks, 30) << t.name;
    EXPECT_GE(s.single, t.minSingle * s.kicks) << t.name;
    EXPECT_TRUE(s.lastLit) << t.name << ": the last kick did not light";
    kicks += s.kicks;
    extra += s.extra;
    offsets.insert(offsets.end(), s.offsetsMs.begin(), s.offsetsMs.end());
  }
  EXPECT_LE(extra, kicks / 100);
  std::vector<double> abs;
  for (double o : offsets) abs.push_back(std::fabs(o));
  EXPECT_NEAR(Percentile(offsets, 0.5), 0.0, 3.0);
  EXPECT_LE(Percentile(abs, 0.95), 12.0);
}

// Timing within a window: the reading 37 after a kick's is timed by where in its window the
// kick starts, the others by their window, so the rate and the order stay.
TEST(LevelMeterTest, ReadingsAreTimedByWhereTheirBeatStarts) {
  Measured m = Measure("beats092.mp3");
  ASSERT_GT(m.readings.size(), 100u);
  std::vector<double> kicks = ReadTimes(std::string(KAZ_TESTDATA_DIR) + "/beats092.kicks");
  int shifted = 0;
  for (size_t k = 1; k < m.readings.size(); ++k) {
    int64_t step = m.readings[k].timedFrame - m.readings[k - 1].timedFrame;
    ASSERT_GT(step, 0) << k;
    ASSERT_LT(step, 2 * m.window) << k;
    int64_t shift = m.readings[k].timedFrame - static_cast<int64_t>(k + 1) * m.window;
    ASSERT_GE(shift, 0);
    ASSERT_LT(shift, m.window);
    shifted += shift > 0;
  }
  // The kicks of beats092 fall all over their windows: the readings that time them shift.
  EXPECT_GE(shifted, static_cast<int>(kicks.size()) * 3 / 4);
}

// Nothing that is no beat makes a burst of steps, nothing sticks at the top, and a beat of
// quiet music is found as well as a loud one.
TEST(LevelMeterTest, BadInputMakesNoBurstOfSteps) {
  struct Case {
    const char* name;
    double maxStepsPerMinute;
  };
  const Case cases[] = {{"silence10", 0}, {"bass10", 6},   {"noise10", 30},
                        {"tones3", 20},   {"clip20", 160}, {"fade30", 140}};
  for (const Case& c : cases) {
    Measured m = Measure(std::string(c.name) + ".mp3");
    ASSERT_FALSE(m.readings.empty()) << c.name;
    double minutes = static_cast<double>(m.readings.size()) * m.window / m.rate / 60.0;
    EXPECT_LE(Steps(m).size(), c.maxStepsPerMinute * minutes + 0.5) << c.name;
    int top = 0;
    for (const auto& r : m.readings) {
      ASSERT_GE(r.level, 0) << c.name;
      ASSERT_LE(r.level, filter::LevelMeter::kBeatLevel) << c.name;
      top += r.level >= filter::LevelMeter::kBeatLevel * 3 / 4;
    }
    EXPECT_LE(top, static_cast<int>(m.readings.size()) / 5) << c.name << ": stuck at the top";
  }
  // A clipping track and one that fades in over 25 s still light on their kicks.
  for (const char* name : {"clip20", "fade30"}) {
    Measured m = Measure(std::string(name) + ".mp3");
    KickScore s =
        ScoreKicks(ReadTimes(std::string(KAZ_TESTDATA_DIR) + "/" + name + ".kicks"), Steps(m));
    EXPECT_GE(s.single, 0.9 * s.kicks) << name;
  }
}

// Real drummers play soft beats between loud ones, lead into a kick with a stick's click,
// and double a beat (a flam), and a mix may bury the kick under a held bass note that
// it hardly raises: the lamp steps on each beat once, at its kick.
TEST(LevelMeterTest, SoftBeatsLeadInsAndFlamsStepOncePerBeat) {
  const double beat = 0.5, seconds = 24;
  struct Case {
    const char* what;
    double soft;    // the strength of every other kick
    double leadIn;  // a click this long before each kick (0 none)
    double flam;    // a second kick this long after each kick (0 none)
    double bass;    // a held low note this many times as strong as the kicks (0 none)
  };
  for (const Case& c : {Case{"soft beats", 0.3, 0, 0, 0}, Case{"lead-ins", 1, 0.035, 0, 0},
                        Case{"flams", 1, 0, 0.1, 0}, Case{"buried kicks", 1, 0, 0, 4}}) {
    std::vector<float> mono(static_cast<size_t>(seconds * 44100));
    const double kick = c.bass > 0 ? 0.8 / c.bass : 0.5;
    for (size_t i = 0; i < mono.size(); ++i)
      mono[i] = static_cast<float>(kick * c.bass * std::sin(2 * M_PI * 55 * i / 44100.0));
    std::vector<double> kicks;
    for (int k = 0; k * beat + 1 < seconds - 1; ++k) {
      const double t = 1 + k * beat;
      kicks.push_back(t);
      AddHit(&mono, t, k % 2 ? kick * c.soft : kick);
      if (c.leadIn > 0) AddHit(&mono, t - c.leadIn, 0.05, true);
      if (c.flam > 0) AddHit(&mono, t + c.flam, kick);
    }
    std::vector<double> steps = Steps(MeasureSamples(mono));
    // Never a beat twice, not even before the beat is known.
    EXPECT_EQ(ScoreKicks(kicks, steps, 0.2).extra, 0) << c.what;
    // Every beat from the fifth second on, when the beat is known.
    std::vector<double> late(
        std::find_if(kicks.begin(), kicks.end(), [](double t) { return t > 5; }), kicks.end());
    steps.erase(steps.begin(), std::lower_bound(steps.begin(), steps.end(), late.front() - 0.2));
    KickScore s = ScoreKicks(late, steps, 0.2);
    EXPECT_GE(s.single, 0.95 * s.kicks) << c.what;
    std::vector<double> abs;
    for (double o : s.offsetsMs) abs.push_back(std::fabs(o));
    EXPECT_LE(Percentile(abs, 0.9), 15) << c.what;
  }
}

// The beat grid holds its beat through passages that would pull it off: a few seconds of
// off-beat hits in a slow beat (each weighed once, however far back the comb reaches), a
// fast beat's weak beats fading for a while (the tempo is not halved), and a fill of three
// hits to two beats, the beat's own the strongest (the tempo does not jump to 3/4 of it).
TEST(LevelMeterTest, GridHoldsItsBeatThroughPassagesThatPullItOff) {
  const double perSecond = 44100.0 / 1024;
  // Hits on the beats of `bpm`, every other one `weak`; from 20 s for `seconds` they move
  // by `shift` of a beat and the weak ones fall to `faded`, or with `threes` they come
  // three to two beats, the two off the beat `faded`.
  auto run = [&](double bpm, double shift, double weak, double faded, double seconds = 5,
                 bool threes = false) {
    const double period = 60 * perSecond / bpm;
    filter::BeatGrid grid;
    grid.Reset();
    for (int k = 0; k < 40 * perSecond; ++k) {
      const bool passage = k >= 20 * perSecond && k < (20 + seconds) * perSecond;
      const double at = k + (passage ? shift * period : 0);
      const double apart = passage && threes ? 2 * period / 3 : period;
      const long beat = std::lround(at / apart);
      const bool hit = std::fabs(at - beat * apart) < 0.5;
      const bool strong = passage && threes ? beat % 3 == 0 : beat % 2 == 0;
      const double strength = strong ? 1 : passage ? faded : weak;
      grid.Add(k, hit ? static_cast<float>(strength) : 0.02f, perSecond);
      if (k < 10 * perSecond) continue;
      ASSERT_NEAR(grid.Period(), period, 0.05 * period) << bpm << " " << k;
      // Hits in threes blur the phase by a window or two until they have passed.
      if (threes && k >= 20 * perSecond && k < (23 + seconds) * perSecond) continue;
      bool known = false;
      const double next = std::ceil(k / period) * period;
      ASSERT_GT(grid.Closeness(static_cast<int64_t>(std::lround(next)), &known), 0.5)
          << bpm << " " << k;
      ASSERT_TRUE(known);
    }
  };
  run(70, 0.5, 1, 1);
  run(150, 0, 0.5, 0.2);
  run(120, 0, 1, 0.7, 4, true);
}

// A bar whose accents fall a beat and a half apart (a tresillo over the beat) repeats
// better at one and a half beats than at one: the grid still follows the beat, which its
// whole multiples confirm.
TEST(LevelMeterTest, GridFollowsTheBeatUnderAnAccentPattern) {
  const double perSecond = 44100.0 / 1024, period = 60 * perSecond / 120;
  // Beats of the bar, and the strength of the hit on each.
  const std::pair<double, double> hits[] = {{0, 1}, {1, 0.3}, {1.5, 0.8}, {2, 0.3}, {3, 0.8}};
  filter::BeatGrid grid;
  grid.Reset();
  int followed = 0, tested = 0;
  for (int k = 0; k < 40 * perSecond; ++k) {
    float onset = 0.02f;
    const double inBar = std::fmod(k / period, 4.0);
    for (const auto& [beat, strength] : hits) {
      const double off = std::fabs(inBar - beat);
      if (std::min(off, 4 - off) * period < 0.5) onset = static_cast<float>(strength);
    }
    grid.Add(k, onset, perSecond);
    if (k < 10 * perSecond) continue;
    ++tested;
    followed += std::fabs(grid.Period() / period - 1) < 0.05;
  }
  EXPECT_GE(followed, 0.9 * tested);
}

// An intro of even notes a third of a beat apart gives the grid no clear beat: the note
// before the beat may be taken for it. Once the beat's note stands out, the grid moves to
// it within a few beats: a phase found on so few beats is held no harder than its rivals.
TEST(LevelMeterTest, GridLeavesAWrongFirstPhase) {
  const double perSecond = 44100.0 / 1024, period = 60 * perSecond / 123;
  filter::BeatGrid grid;
  grid.Reset();
  for (int k = 0; k < 12 * perSecond; ++k) {
    // Notes a third of a beat apart; the one before the beat the strongest at first.
    const double inBeat = std::fmod(k / period, 1.0) * 3;
    const long third = std::lround(inBeat) % 3;
    const bool hit = std::fabs(inBeat - std::round(inBeat)) * period / 3 < 0.5;
    const bool intro = k < 4 * perSecond;
    const double strength[3] = {intro ? 0.9 : 1.0, 0.4, intro ? 1.0 : 0.6};
    grid.Add(k, hit ? static_cast<float>(strength[third]) : 0.02f, perSecond);
    if (k < 7 * perSecond) continue;
    bool known = false;
    const double next = std::ceil(k / period) * period;
    ASSERT_GT(grid.Closeness(static_cast<int64_t>(std::lround(next)), &known), 0.5) << k;
  }
}

// A beat whose period falls between whole windows (94 BPM: 27.5) repeats at the two lags
// about it, each about half as well as notes on whole windows do at their own: the grid
// still follows it, not the softer notes at about 3/4 of it (dotted eighths).
TEST(LevelMeterTest, GridFollowsABeatBetweenWholeWindows) {
  const double perSecond = 44100.0 / 1024, period = 27.5;
  const int notes = 21;
  filter::BeatGrid grid;
  grid.Reset();
  int followed = 0, tested = 0;
  for (int k = 0; k < 30 * perSecond; ++k) {
    const bool beat = k == std::lround(std::round(k / period) * period);
    const float onset = beat ? 1.0f : k % notes == 0 ? 0.75f : 0.02f;
    grid.Add(k, onset, perSecond);
    if (k < 10 * perSecond) continue;
    ++tested;
    followed += std::fabs(grid.Period() / period - 1) < 0.05;
  }
  EXPECT_GE(followed, 0.9 * tested) << grid.Period();
}

// The period is measured to a small part of a window, so that the beats the grid foresees
// stay on the track's own over many beats: a period a tenth of a window short would put
// them a window early after ten beats, where a pick-up before the beat is taken for it.
TEST(LevelMeterTest, GridMeasuresThePeriodFinely) {
  const double perSecond = 44100.0 / 1024;
  for (const double bpm : {93.0, 104.0, 123.0}) {
    const double period = 60 * perSecond / bpm;
    filter::BeatGrid grid;
    grid.Reset();
    double worst = 0;
    for (int k = 0; k < 30 * perSecond; ++k) {
      // Each beat rises in the window it starts in, and a little in the next.
      const double into = k - std::floor(k / period) * period;
      const float onset = into < 1 ? 1.0f : into < 2 ? 0.3f : 0.02f;
      grid.Add(k, onset, perSecond);
      if (k >= 15 * perSecond) worst = std::max(worst, std::fabs(grid.Period() - period));
    }
    EXPECT_LT(worst, 0.085) << bpm;
  }
}

// A beat that only one band carries (clicks under louder bass notes at random) repeats as
// plainly as a beat, however little of the whole it makes: the grid is sure of it, so its
// soft onsets are shown.
TEST(LevelMeterTest, GridIsSureOfABeatThatOneBandCarries) {
  const double perSecond = 44100.0 / 1024, period = 60 * perSecond / 120;
  filter::BeatGrid grid;
  grid.Reset();
  uint32_t seed = 1;
  for (int k = 0; k < 30 * perSecond; ++k) {
    seed = seed * 1664525u + 1013904223u;
    const double off = std::fabs(k - std::round(k / period) * period);
    const std::array<float, filter::BeatGrid::kBands> bands = {(seed >> 24) < 24 ? 1.0f : 0.0f,
                                                               0.0f, off < 0.5 ? 0.4f : 0.0f};
    grid.Add(k, bands, perSecond);
  }
  EXPECT_NEAR(grid.Period(), period, 0.05 * period);
  EXPECT_GE(grid.Periodicity(), 0.3);  // the whole onset function: 0.05
}

TEST(LevelMeterTest, VuRangeAndLoudness) {
  const uint32_t rate = 44100;
  filter::LevelMeter m;
  m.SetRate(rate);
  std::vector<float> pcm(rate * 2);
  auto run = [&](double hz, double amp) {
    for (uint32_t i = 0; i < rate; ++i)
      pcm[i * 2] = pcm[i * 2 + 1] = static_cast<float>(amp * std::sin(2 * M_PI * hz * i / rate));
    std::vector<filter::Reading> out;
    m.Reset();
    m.Process(pcm.data(), rate, [&](const filter::Reading& r) { out.push_back(r); });
    return out.back();
  };
  filter::Reading loud = run(1000, 1.0);
  EXPECT_EQ(loud.vuLeft, 50);
  EXPECT_EQ(loud.vuRight, 50);
  filter::Reading quiet = run(1000, 0.01);  // -40 dB
  EXPECT_EQ(quiet.vuLeft, 10);
  // A steady sound is no beat, but a loud one reads higher than a quiet one.
  EXPECT_GT(loud.level, quiet.level);
  EXPECT_LT(loud.level, 16384 / 4);
  filter::Reading silence = run(1000, 0.0);
  EXPECT_EQ(silence.level, 0);
  EXPECT_EQ(silence.vuLeft, 0);
  EXPECT_EQ(silence.vuRight, 0);
}

}  // namespace
