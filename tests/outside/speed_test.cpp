// The speed stage: untouched frames at normal speed, the right length at other speeds,
// no click when the speed changes or the bypass is entered or left, and positions that name
// the input each frame sounds like (the resampler has a filter delay to allow for).
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

// Pulls as the player does: decodes (pushes) until Buffered() covers twice the block, then
// pulls; a pull that gives nothing before the end would stall the player. Pushes come in
// the 576 frames of a low-rate MPEG frame.
struct Pulled {
  std::vector<float> out;
  std::vector<double> starts, ends;
  std::vector<size_t> counts;
  int stalls = 0;
};

template <typename Change>
Pulled PullLikePlayer(xaudio::Speed& s, const std::vector<float>& in, size_t block, Change change) {
  Pulled r;
  std::vector<float> buf(block * 2);
  size_t pushed = 0, frames = in.size() / 2;
  for (int k = 0; k < 1000000; ++k) {
    change(k);
    while (pushed < frames && s.Buffered() < block * 2 + 64) {
      size_t n = std::min<size_t>(576, frames - pushed);
      s.Push(in.data() + pushed * 2, n);
      pushed += n;
    }
    double a = 0, b = 0;
    size_t n = s.Pull(buf.data(), block, &a, &b, pushed == frames);
    if (n == 0) {
      if (pushed == frames) break;
      ++r.stalls;
      continue;
    }
    r.starts.push_back(a);
    r.ends.push_back(b);
    r.counts.push_back(n);
    r.out.insert(r.out.end(), buf.begin(), buf.begin() + n * 2);
  }
  return r;
}

TEST(SpeedTest, PositionsNameTheInputHeard) {
  // A slow sine read back at the positions given out: off by a frame would show as 0.007.
  const int schedule[] = {1000, 1020, 1060, 1000, 940, 1000, 1100, 2500, 1000, 970};
  for (uint32_t rate : {44100u, 22050u, 48000u}) {
    for (size_t block : {64u, 1024u}) {
      xaudio::Speed s;
      s.Configure(rate, 44100, 1000);
      s.Reset(0);
      const double hz = 100;
      auto in = Sine(rate * 6, hz, 0.5, rate);
      int every = static_cast<int>(rate * 6 / 10 / block);
      Pulled r = PullLikePlayer(s, in, block, [&](int k) {
        if (k % every == 0 && k / every < 10) s.Configure(rate, 44100, schedule[k / every]);
      });
      EXPECT_EQ(r.stalls, 0) << rate << " " << block;
      double worst = 0, chain = 0;
      size_t frame = 0;
      for (size_t b = 0; b < r.counts.size(); ++b) {
        double step = (r.ends[b] - r.starts[b]) / r.counts[b];
        if (b > 0) chain = std::max(chain, std::fabs(r.starts[b] - r.ends[b - 1]));
        // While the speed ramps the step is not even within a block; check the steady ones.
        bool steady =
            b > 0 && std::fabs(step - (r.ends[b - 1] - r.starts[b - 1]) / r.counts[b - 1]) < 1e-9;
        for (size_t i = 0; steady && i < r.counts[b]; ++i) {
          double p = r.starts[b] + step * i;
          double want = 0.5 * std::sin(2 * M_PI * hz * p / rate);
          worst = std::max(worst, std::fabs(r.out[(frame + i) * 2] - want));
        }
        frame += r.counts[b];
      }
      EXPECT_LT(worst, 0.005) << rate << " " << block;
      EXPECT_LT(chain, 1.0) << rate << " " << block;
    }
  }
}

TEST(SpeedTest, LeavingTheBypassLinesUpWithTheUntouchedFrames) {
  // A 5 kHz sine moves up to 0.36 per frame: the first resampled frame must be the very next
  // input frame, not one shifted by the resampler's delay.
  for (int pitch : {1001, 1100, 900}) {
    xaudio::Speed s;
    s.Configure(44100, 44100, 1000);
    s.Reset(0);
    auto in = Sine(44100, 5000, 0.5);
    bool switched = false;
    size_t switchFrame = 0;
    Pulled r = PullLikePlayer(s, in, 256, [&](int k) {
      if (k == 20) {
        switchFrame = 20 * 256;
        s.Configure(44100, 44100, pitch);
        switched = !s.Bypassing();
      }
    });
    ASSERT_TRUE(switched);
    ASSERT_GT(r.out.size() / 2, switchFrame + 4);
    EXPECT_NEAR(r.starts[20], static_cast<double>(switchFrame), 0.05) << pitch;
    for (size_t i = 0; i < 3; ++i)
      EXPECT_NEAR(r.out[(switchFrame + i) * 2], in[(switchFrame + i) * 2], 0.03)
          << pitch << " " << i;
  }
}

TEST(SpeedTest, LongRunsAtChangingSpeedsDoNotDrift) {
  // Half a minute with the speed moved every 20 ms, then held: the positions still name
  // what is heard, and the last one is the end of the input.
  xaudio::Speed s;
  s.Configure(44100, 44100, 1000);
  s.Reset(0);
  const double hz = 100;
  auto in = Sine(44100 * 32, hz, 0.5);
  unsigned seed = 7;
  Pulled r = PullLikePlayer(s, in, 882, [&](int k) {
    seed = seed * 1103515245 + 12345;
    int pitch = k < 1500 ? 900 + static_cast<int>((seed >> 16) % 201) : 1030;
    s.Configure(44100, 44100, pitch);
  });
  EXPECT_EQ(r.stalls, 0);
  double worst = 0;
  size_t frame = r.out.size() / 2 - r.counts.back() - r.counts[r.counts.size() - 2];
  for (size_t b = r.counts.size() - 2; b + 1 < r.counts.size(); ++b) {
    double step = (r.ends[b] - r.starts[b]) / r.counts[b];
    EXPECT_NEAR(step, 1.03, 1e-9);
    for (size_t i = 0; i < r.counts[b]; ++i) {
      double want = 0.5 * std::sin(2 * M_PI * hz * (r.starts[b] + step * i) / 44100);
      worst = std::max(worst, std::fabs(r.out[(frame + i) * 2] - want));
    }
    frame += r.counts[b];
  }
  EXPECT_LT(worst, 0.005);
  EXPECT_NEAR(r.ends.back(), 44100.0 * 32, 4.0);
}

TEST(SpeedTest, BackToNormalRightAfterAStartStaysInsideTheInput) {
  // Started at another speed and set back at once, with tiny pulls: the output's first
  // frames stand for input just before the start, which the cross-fade must not read.
  for (size_t block : {1u, 2u, 3u}) {
    xaudio::Speed s;
    s.Configure(44100, 44100, 1050);
    s.Reset(1000);
    auto in = Sine(4096, 440, 0.5);
    s.Push(in.data(), 4096);
    s.Configure(44100, 44100, 1000);
    std::vector<float> out(block * 2);
    double a = 0, b = 0, last = 0;
    size_t total = 0;
    for (int k = 0; k < 10000; ++k) {
      size_t n = s.Pull(out.data(), block, &a, &b, true);
      if (n == 0) break;
      total += n;
      last = b;
    }
    EXPECT_TRUE(s.Bypassing()) << block;
    EXPECT_NEAR(last, 1000.0 + 4096, 2.0) << block;
    EXPECT_NEAR(static_cast<double>(total), 4096.0, 4.0) << block;
  }
}

}  // namespace
