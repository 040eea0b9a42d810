// One voice mixed on a device, period by period, as a sound card's callback asks for them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/TestSupport.h"
#include "xdsound/Device.h"

namespace {

using xdsound::Device;
using xdsound::Voice;

class TestDevice : public Device {
 public:
  bool Start() override { return true; }
  void Stop() override {}
  std::vector<float> Period(uint32_t frames) {
    std::vector<float> out(frames * 2);
    Render(out.data(), frames, 0);
    return out;
  }
};

void Feed(Voice& v, uint32_t frames) {
  std::vector<float> ones(frames * 2, 1.0f);
  ASSERT_EQ(v.Write(ones.data(), frames), frames);
}

TEST(VoiceTest, AStarvedPeriodIsCountedAndTheGainRampGoesOnAfterIt) {
  TestDevice device;
  Voice voice(&device, 4096);
  ASSERT_TRUE(device.Attach(&voice));
  voice.SetActive(true);
  Feed(voice, 512);
  device.Period(512);
  EXPECT_EQ(voice.Underruns(), 0u);
  const uint64_t before = xdsound::UnderrunCount();

  // The volume goes down over a period of 512 frames, but only half of them are there.
  voice.SetGains(0, 0, 0, 0);
  Feed(voice, 256);
  std::vector<float> starved = device.Period(512);
  EXPECT_EQ(voice.Underruns(), 1u);
  EXPECT_EQ(xdsound::UnderrunCount(), before + 1);
  EXPECT_NEAR(starved[255 * 2], 0.5f, 0.01f);
  EXPECT_EQ(starved[256 * 2], 0.0f);  // nothing to play

  // The next audio starts where the ramp stopped, not at the new gain.
  Feed(voice, 512);
  std::vector<float> resumed = device.Period(512);
  EXPECT_NEAR(resumed[0], 0.5f, 0.01f);
  EXPECT_LT(resumed[511 * 2], 0.01f);
  EXPECT_EQ(voice.Underruns(), 1u);

  // A voice with nothing more to come is not starved by an empty period.
  voice.SetActive(false);
  device.Period(512);
  EXPECT_EQ(voice.Underruns(), 1u);
  device.Detach(&voice);
}

TEST(VoiceTest, GainsSetBeforeTheFirstFrameApplyFromThatFrame) {
  TestDevice device;
  Voice voice(&device, 4096);
  ASSERT_TRUE(device.Attach(&voice));
  voice.SetActive(true);
  device.Period(512);  // periods with nothing to play yet
  // The right side alone, as for a deck on the main side of a split output.
  voice.SetGains(0, 0, 0, 1);
  device.Period(512);
  Feed(voice, 512);
  std::vector<float> first = device.Period(512);
  EXPECT_EQ(first[0], 0.0f);
  EXPECT_EQ(first[1], 1.0f);
  float left = 0;
  for (uint32_t i = 0; i < 512; ++i) left += first[i * 2];
  EXPECT_EQ(left, 0.0f);
  device.Detach(&voice);
}

// An unpaced capture sink looks at its voices between mixes to learn how much it may take:
// a voice closed meanwhile must outlive that look (the sanitizer builds see it freed under
// the sink otherwise).
TEST(VoiceTest, AVoiceClosedWhileTheSinkLooksAtItOutlivesTheLook) {
  setenv("KAZ_WAV_CAPTURE", (kaztest::MakeTempDir("unpaced") + "/out.wav").c_str(), 1);
  setenv("KAZ_WAV_UNPACED", "1", 1);
  // Active voices with nothing queued: the sink looks at them all, again and again. The
  // voice closed and opened again is the first it looks at, so that the look goes on over
  // the others while it is closed.
  Voice* first = xdsound::OpenVoice(0);
  ASSERT_NE(first, nullptr);
  std::vector<Voice*> kept;
  for (int i = 1; i < Device::kMaxVoices; ++i) {
    kept.push_back(xdsound::OpenVoice(0));
    ASSERT_NE(kept.back(), nullptr);
    kept.back()->SetActive(true);
  }
  for (int i = 0; i < 2000; ++i) {
    xdsound::CloseVoice(first);
    first = xdsound::OpenVoice(0);
    ASSERT_NE(first, nullptr);
    first->SetActive(true);
  }
  kept.push_back(first);
  for (Voice* v : kept) xdsound::CloseVoice(v);
  unsetenv("KAZ_WAV_CAPTURE");
  unsetenv("KAZ_WAV_UNPACED");
}

}  // namespace
