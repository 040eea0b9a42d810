// A light controller that stops answering in the middle of a played track: the player (in
// this process, on a capture sink that plays in real time) sends each beat to a real
// BeamExe, which is stopped with SIGSTOP for a while and then resumed. The DJ's player must
// go on: its GUI thread may stall once, briefly, while it finds the light controller hung,
// the level graph keeps its pace, and once the light controller runs again the beats light
// its lamps again.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "dlportio/dlportio.h"
#include "filter/filter.h"
#include "PlayerWithLights.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The filter's reporting period.
constexpr double kLevelSeconds = 0.02322;

class HungLights : public PlayerWithLights {
 protected:
  std::string Track() const override { return "kick128"; }
};

long long MonotonicNs(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// Lit steps of the lamps (a non-zero byte that differs from the one before) from `fromNs`.
int LampStepsSince(long long fromNs) {
  std::istringstream in(kaztest::ReadFile(kaztest::Prefix() + "/port/" + kDlPortLogName));
  std::string ns, port, byte;
  int last = -1, steps = 0;
  while (in >> ns >> port >> byte) {
    if (port != "0378") continue;
    const int b = std::stoi(byte, nullptr, 16);
    if (b != 0 && b != last && std::stoll(ns) >= fromNs) ++steps;
    last = b;
  }
  return steps;
}

TEST_F(HungLights, AStoppedLightControllerNeitherFreezesThePlayerNorLosesItsBeatsForGood) {
  Application->CreateForm(frmMain);
  frmMain->Show();
  kaztest::WriteFile(kaztest::Prefix() + "/windows/Spots.ini", "[Parameters]\r\nPower=1\r\n");
  lights_ = kaztest::Spawn(kaztest::ProgramDir() + "/BeamExe", {});
  ASSERT_GT(lights_, 0);
  ASSERT_TRUE(PumpUntil([] { return LightWindow != 0; }, 10000)) << "no WM_LIGHTS_ATTACH";

  // Time the window's level handler: it is where the GUI thread sends each beat.
  int levels = 0;
  int stalls = 0;           // handler runs longer than a tenth of a second
  double stalledSeconds = 0;  // their total
  frmMain->SetMessageHandler(WM_DECK_LEVEL, [&](TMessage& m) {
    const auto t0 = Clock::now();
    frmMain->WMDeckLevel(m);
    const double took = std::chrono::duration<double>(Clock::now() - t0).count();
    if (m.LParam == 1) ++levels;
    if (took > 0.1) {
      ++stalls;
      stalledSeconds += took;
    }
  });

  frmMain->LoadDeck(Deck1, std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3", "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return LampStepsSince(0) > 0; }, 10000))
      << "the beats did not reach the lamps to begin with";

  kill(lights_, SIGSTOP);
  const auto stopped = Clock::now();
  const int levelsBefore = levels;
  PumpFor(6000);
  const double stoppedSeconds = std::chrono::duration<double>(Clock::now() - stopped).count();
  const int levelsWhileStopped = levels - levelsBefore;
  kill(lights_, SIGCONT);
  const auto resumed = Clock::now();
  PumpFor(6000);
  frmMain->Xaudio1->Stop();

  // After a second to settle, the lamps step on the kicks again (about two a second).
  const int stepsAfter = LampStepsSince(MonotonicNs(resumed + std::chrono::seconds(1)));
  std::printf("hung lights: %d stalls, %.3f s stalled in all, %d levels in %.1f s stopped, "
              "%d lamp steps after resuming\n",
              stalls, stalledSeconds, levelsWhileStopped, stoppedSeconds, stepsAfter);
  RecordProperty("stalls", stalls);
  RecordProperty("stalled_ms", static_cast<int>(stalledSeconds * 1000));
  EXPECT_LE(stalls, 2);
  EXPECT_LT(stalledSeconds, 2.5) << "the player's GUI thread waited for the stopped program";
  EXPECT_GE(levelsWhileStopped, static_cast<int>(0.6 * stoppedSeconds / kLevelSeconds))
      << "the level graph did not go on";
  EXPECT_GE(stepsAfter, 4) << "the beats did not reach the lamps after resuming";
  EXPECT_TRUE(IsWindow(LightWindow));
}

}  // namespace
