// The speed stage: untouched frames at normal speed, the right length at other speeds,
// and no click when the speed changes or the bypass is entered or left.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "xaudio/Speed.h"

namespace {

std::vector<float> Sine(size_t frames, double hz, double amp, uint32_t rate = 44100) {
  std::vector<float> v(frames * 2);
  for (size_t i = 0; i < frames; ++i)
    v[i * 2] = v[i * 2 + 1] = static_cast<float>(amp * std::sin(2 * M_PI * hz * i / rate));
  return v;
}

// Runs the whole input through, pulling blocks; `change` may reconfigure before each block.
template <typename Change>
std::vector<float> PullAll(xaudio::Speed& s, const std::vector<float>& in, Change change,
                           std::vector<double>* starts = nullptr,
                           std::vector<double>* ends = nullptr) {
  std::vector<float> out, block(256 * 2);
  size_t pushed = 0, frames = in.size() / 2;
  for (int k = 0; k < 100000; ++k) {
    change(k);
    while (pushed < frames && s.Buffered() < 2048) {
      size_t n = std::min<size_t>(1152, frames - pushed);
      s.Push(in.data() + pushed * 2, n);
      pushed += n;
    }
    double a = 0, b = 0;
    size_t n = s.Pull(block.data(), 256, &a, &b, pushed == frames);
    if (n == 0 && pushed == frames) break;
    if (starts) starts->push_back(a), ends->push_back(b);
    out.insert(out.end(), block.begin(), block.begin() + n * 2);
  }
  return out;
}

TEST(SpeedTest, NormalSpeedPassesFramesUntouched) {
  xaudio::Speed s;
  s.Configure(44100, 44100, 1000);
  s.Reset(0);
  auto in = Sine(44100, 440, 0.5);
  auto out = PullAll(s, in, [](int) {});
  EXPECT_TRUE(s.Bypassing());
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(out, in);
}

TEST(SpeedTest, LengthFollowsSpeedAndRates) {
  auto in = Sine(88200, 440, 0.5);
  for (int pitch : {900, 1050, 1100}) {
    xaudio::Speed s;
    s.Configure(44100, 44100, pitch);
    s.Reset(0);
    auto out = PullAll(s, in, [](int) {});
    EXPECT_NEAR(out.size() / 2.0, 88200.0 * 1000 / pitch, 4) << pitch;
  }
  xaudio::Speed s;
  s.Configure(22050, 44100, 1000);
  s.Reset(0);
  auto out = PullAll(s, Sine(22050, 440, 0.5, 22050), [](int) {});
  EXPECT_NEAR(out.size() / 2.0, 44100.0, 4);
  EXPECT_FALSE(s.Bypassing());
}

TEST(SpeedTest, SpeedChangesAndTheBypassAreClickFree) {
  xaudio::Speed s;
  s.Configure(44100, 44100, 1000);
  s.Reset(0);
  auto in = Sine(44100 * 4, 440, 0.5);
  const int schedule[] = {1000, 1020, 1060, 1000, 1000, 940, 1000, 1100, 1000};
  bool bypassAgain = false;
  std::vector<double> starts, ends;
  auto out = PullAll(
      s, in,
      [&](int k) {
        if (k % 60 == 0 && k / 60 < 9) s.Configure(44100, 44100, schedule[k / 60]);
        if (k > 8 * 60 + 10) bypassAgain = bypassAgain || s.Bypassing();
      },
      &starts, &ends);
  EXPECT_TRUE(bypassAgain);
  // A 440 Hz sine of 0.5 moves at most 0.035 per frame even at 110 %; a click jumps.
  double worst = 0;
  for (size_t i = 1; i < out.size() / 2; ++i)
    worst = std::max(worst, static_cast<double>(std::fabs(out[i * 2] - out[i * 2 - 2])));
  EXPECT_LT(worst, 0.045);
  // The input positions the blocks stand for follow on without a jump.
  for (size_t i = 1; i < starts.size(); ++i) EXPECT_NEAR(starts[i], ends[i - 1], 1.0) << i;
  EXPECT_NEAR(ends.back(), 44100.0 * 4, 2.0);
}

}  // namespace
