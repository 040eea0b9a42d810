// End to end inside the player: a generated 128 BPM track plays on deck 1 through the real
// engine (null sound device) and the real output filter; the beats reach a stand-in light
// controller in another program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "LightsPeer.h"
#include "PlayerFixture.h"
#include "filter/filter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kBeatSeconds = 60.0 / 128;
// The filter's reporting window, and the graph points between the newest and the test point.
constexpr double kLevelSeconds = 0.02322;
constexpr int kTestPointLag = 65 - 28;

class BeatTest : public PlayerTest {};

TEST_F(BeatTest, EveryKickLightsTheLampOnceAndSendsOneBeat) {
  const std::string track = std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3";
  if (!std::filesystem::exists(track)) GTEST_SKIP() << "no test media";
  std::remove((kaztest::Prefix() + "/windows/KAZ_PRO.ini").c_str());
  LightsPeer lights;
  ASSERT_TRUE(lights.Start("spots", &PumpUntil));
  Application->CreateForm(frmMain);
  ASSERT_TRUE(dialogs.empty()) << dialogs[0].Text;
  ASSERT_EQ(LightWindow, lights.Window());
  frmMain->Show();

  // Watch deck 1's lamp around the window's own handler.
  int levels = 0, lightings = 0;
  std::vector<Clock::time_point> arrivals;
  arrivals.reserve(1000);
  frmMain->SetMessageHandler(WM_DECK_LEVEL, [&](TMessage& m) {
    const bool wasLit = frmMain->shpBoom1->Brush()->Color() == clRed;
    frmMain->WMDeckLevel(m);
    if (m.LParam != 1) return;
    ++levels;
    arrivals.push_back(Clock::now());
    if (!wasLit && frmMain->shpBoom1->Brush()->Color() == clRed) ++lightings;
  });

  frmMain->LoadDeck(Deck1, track, "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  const int wanted = static_cast<int>(12.0 / kLevelSeconds);
  ASSERT_TRUE(PumpUntil([&] { return levels >= wanted; }, 17000)) << levels << " levels";
  frmMain->Xaudio1->Stop();
  const int measured = levels;

  // The kicks whose levels have reached the test point; the one at the edge may or may
  // not have.
  const double seconds = (measured - kTestPointLag) * kLevelSeconds;
  const int kicks = static_cast<int>(std::ceil(seconds / kBeatSeconds));
  const std::vector<std::string> log = lights.Log();
  const int beats = static_cast<int>(std::count(log.begin(), log.end(), "beat"));
  EXPECT_GE(beats, std::floor(kicks * 0.95) - 1) << kicks << " kicks";
  EXPECT_LE(beats, std::ceil(kicks * 1.05) + 1) << kicks << " kicks";
  EXPECT_EQ(lightings, beats);

  // Neither the engine nor the window stalled: the levels kept their pace. A moment the
  // whole machine stalls shows as one long gap, so the gaps are judged by a percentile.
  std::vector<double> gaps;
  for (std::size_t i = 1; i < arrivals.size(); ++i)
    gaps.push_back(std::chrono::duration<double>(arrivals[i] - arrivals[i - 1]).count());
  ASSERT_FALSE(gaps.empty());
  std::sort(gaps.begin(), gaps.end());
  EXPECT_LT(gaps[gaps.size() * 99 / 100], 4 * kLevelSeconds);
  const double span = std::chrono::duration<double>(arrivals.back() - arrivals.front()).count();
  EXPECT_NEAR(span, (arrivals.size() - 1) * kLevelSeconds, 1.5);
  EXPECT_TRUE(dialogs.empty());
}

}  // namespace
