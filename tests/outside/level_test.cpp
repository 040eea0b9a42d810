// The output filter's level measure against the player's beat detection: on a dance
// pattern, the level stream must make the graph peak once per kick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "BeatRule.h"
#include "filter/LevelMeter.h"
#include "xaudio/Decoder.h"

namespace {

std::vector<float> DecodeAll(const std::string& path, uint32_t* rate) {
  xaudio::Decoder d;
  std::string why;
  std::vector<float> all;
  if (d.Open(path, &why) != XA_SUCCESS) return all;
  std::vector<float> buf(4096 * 2);
  long n;
  while ((n = d.Read(buf.data(), 4096, &why)) > 0)
    all.insert(all.end(), buf.begin(), buf.begin() + n * 2);
  *rate = d.Rate();
  return all;
}

std::vector<filter::Reading> Measure(const std::vector<float>& pcm, uint32_t rate) {
  filter::LevelMeter m;
  m.SetRate(rate);
  std::vector<filter::Reading> out;
  for (size_t at = 0; at < pcm.size() / 2; at += 1000) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(1000, pcm.size() / 2 - at));
    m.Process(pcm.data() + at * 2, n, [&](const filter::Reading& r) { out.push_back(r); });
  }
  return out;
}

TEST(LevelMeterTest, OneBeatPerKickOfADancePattern) {
  uint32_t rate = 0;
  std::vector<float> pcm = DecodeAll(std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3", &rate);
  ASSERT_EQ(rate, 44100u);
  auto levels = Measure(pcm, rate);
  // About 43 reports a second: a steady rate the graph scrolls by.
  EXPECT_NEAR(levels.size() / 30.0, 43.0, 0.5);
  std::vector<int32_t> values;
  for (const auto& r : levels) values.push_back(r.level);
  std::vector<int> beats = kazout::Beats(values);
  // 64 kicks in 30 s at 128 BPM; the graph needs the first few to settle.
  EXPECT_GE(beats.size(), 58u);
  EXPECT_LE(beats.size(), 64u);
  double perBeat = 60.0 / 128 * levels.size() / 30.0;
  int off = 0;
  for (size_t i = 1; i < beats.size(); ++i)
    if (std::fabs((beats[i] - beats[i - 1]) - perBeat) > 2) ++off;
  EXPECT_EQ(off, 0) << "beats not one per kick";

  // The kick stands well above everything between the kicks.
  std::vector<int32_t> sorted;
  for (const auto& r : levels) sorted.push_back(r.level);
  std::sort(sorted.begin(), sorted.end());
  int32_t peak = sorted.back(), high = sorted[sorted.size() * 95 / 100],
          median = sorted[sorted.size() / 2];
  printf(
      "levels: peak %d, 95%% %d, median %d, mean %u\n", peak, high, median,
      static_cast<unsigned>(std::accumulate(sorted.begin(), sorted.end(), 0ull) / sorted.size()));
  EXPECT_GT(peak, 16384);
  EXPECT_GT(high, 4 * median);
}

TEST(LevelMeterTest, ScaleAndVuRange) {
  const uint32_t rate = 44100;
  filter::LevelMeter m;
  m.SetRate(rate);
  std::vector<float> pcm(rate * 2);
  std::vector<filter::Reading> out;
  auto run = [&](double hz, double amp) {
    for (uint32_t i = 0; i < rate; ++i)
      pcm[i * 2] = pcm[i * 2 + 1] = static_cast<float>(amp * std::sin(2 * M_PI * hz * i / rate));
    out.clear();
    m.Reset();
    m.Process(pcm.data(), rate, [&](const filter::Reading& r) { out.push_back(r); });
    return out.back();
  };
  // A full-scale bass tone reads four times the graph's reference; a hi-hat tone nothing.
  filter::Reading bass = run(60, 1.0);
  EXPECT_NEAR(bass.level, 65536, 65536 * 0.12);
  EXPECT_EQ(bass.vuLeft, 50);
  EXPECT_EQ(bass.vuRight, 50);
  EXPECT_LT(run(8000, 1.0).level, 50);
  filter::Reading quiet = run(1000, 0.01);  // -40 dB
  EXPECT_EQ(quiet.vuLeft, 10);
  filter::Reading silence = run(1000, 0.0);
  EXPECT_EQ(silence.level, 0);
  EXPECT_EQ(silence.vuLeft, 0);
  EXPECT_EQ(silence.vuRight, 0);
}

}  // namespace
