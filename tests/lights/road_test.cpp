// The road of one track: the player (in this process, on a capture sink that plays in real
// time) plays a generated 128 BPM track on deck 1, its beats go to a real BeamExe of the
// same prefix, powered and in auto mode, and the lamp byte on the virtual port changes as
// each kick is heard. The moment a kick is heard comes from the capture: the track starts
// with a kick and has one every 60/128 s, and the capture says when its first frame played.
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
#include <vector>

#include "dlportio/dlportio.h"
#include "platform/classlib/GuiFixture.h"
#include "player/uMain.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

class Road : public GuiTest {
 protected:
  void SetUp() override {
    if (!fs::exists(std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3"))
      GTEST_SKIP() << "no test media";
    capture_ = kaztest::Prefix() + "/heard.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
    GuiTest::SetUp();
    fs::create_directories(kaztest::Prefix() + "/windows");
    std::error_code ec;
    fs::remove_all(kaztest::Prefix() + "/port", ec);
  }
  void TearDown() override {
    if (lights_ > 0) {
      kill(lights_, SIGTERM);
      kaztest::WaitExit(lights_, 5000);
    }
    GuiTest::TearDown();
    frmMain = nullptr;
    unsetenv("KAZ_WAV_CAPTURE");
  }

  std::string capture_;
  int lights_ = -1;
};

struct TPortChange {
  long long Ns;
  int Byte;
};

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

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
  return v[std::min(i, v.size() - 1)];
}

TEST_F(Road, EachKickHeardChangesTheLampsInTime) {
  Application->CreateForm(frmMain);
  frmMain->Show();
  ASSERT_NE(GetPrivateProfileIntA("Handle", "KAZ", 0, "KAZ_PRO.ini"), 0u);

  // The light controller as a user starts it beside the running player, powered from the
  // last run; finding the player puts it in auto mode.
  kaztest::WriteFile(kaztest::Prefix() + "/windows/Spots.ini", "[Parameters]\r\nPower=1\r\n");
  lights_ = kaztest::Spawn(kaztest::ProgramDir() + "/BeamExe", {});
  ASSERT_GT(lights_, 0);
  ASSERT_TRUE(PumpUntil([] { return LightWindow != 0; }, 10000)) << "no WM_LIGHTS_ATTACH";

  frmMain->LoadDeck(Deck1, std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3", "128");
  frmMain->btnPlayClick(frmMain->btnPlay1);
  ASSERT_TRUE(PumpUntil([] { return Deck1.PlayState == 1; }, 5000));
  // The whole 30-s track, so that the graph's warm-up (its first kicks) stays under 5 % of
  // them, and not past its end, where no kick is heard.
  PumpUntil([] { return false; }, 29800);
  frmMain->Xaudio1->Stop();
  PumpUntil([] { return false; }, 300);

  // When each kick was heard, from the capture.
  const std::string json = kaztest::ReadFile(capture_ + ".json");
  const auto field = [&](const char* key) {
    const size_t at = json.find(key);
    EXPECT_NE(at, std::string::npos) << key;
    return std::stoll(json.substr(json.find(':', at) + 1));
  };
  const long long first_ns = field("\"first_frame_monotonic_ns\"");
  const double rate = static_cast<double>(field("\"rate\""));
  const std::string wav = kaztest::ReadFile(capture_);
  ASSERT_GT(wav.size(), 44u);
  const size_t frames = (wav.size() - 44) / 8;
  const auto silent = [&](size_t i) {
    float s[2];
    std::memcpy(s, wav.data() + 44 + i * 8, sizeof s);
    return s[0] == 0.0f && s[1] == 0.0f;
  };
  size_t start = frames;
  for (size_t i = 0; i < frames && start == frames; ++i) {
    float s[2];
    std::memcpy(s, wav.data() + 44 + i * 8, sizeof s);
    if (std::fabs(s[0]) > 0.02f || std::fabs(s[1]) > 0.02f) start = i;
  }
  ASSERT_LT(start, frames) << "nothing was heard";
  // Where each frame of the track was heard. The drum pattern never has a stretch of exact
  // digital silence, so one in the middle is a dropout (this machine stalled the whole
  // process for a moment): the track resumes after it, later than the tempo alone says.
  constexpr size_t kDropoutFrames = 16;
  std::vector<size_t> heardAt;  // capture frame of each track frame from `start`
  heardAt.reserve(frames - start);
  for (size_t i = start; i < frames;) {
    size_t j = i;
    while (j < frames && silent(j)) ++j;
    if (j - i >= kDropoutFrames && j < frames) {
      i = j;  // a dropout: no track frame was heard in it
      continue;
    }
    for (; i < j; ++i) heardAt.push_back(i);
    if (i < frames) heardAt.push_back(i++);
  }
  const double beat_frames = rate * 60.0 / 128.0;
  std::vector<long long> kicks;
  for (double f = 0; f + beat_frames < static_cast<double>(heardAt.size()); f += beat_frames)
    kicks.push_back(first_ns +
                    static_cast<long long>(heardAt[static_cast<size_t>(f)] * 1e9 / rate));
  ASSERT_GE(kicks.size(), 20u);

  // Each kick's step: the nearest lamp change within half a beat.
  const std::vector<TPortChange> steps = LampSteps();
  std::vector<double> offsets_ms;
  for (long long k : kicks) {
    double best = 1e9;
    for (const TPortChange& c : steps) {
      const double d = static_cast<double>(c.Ns - k) / 1e6;
      if (std::fabs(d) < std::fabs(best)) best = d;
    }
    if (std::getenv("KAZ_ROAD_VERBOSE")) std::printf("kick %+.2f ms\n", best);
    if (std::fabs(best) < 234.0) offsets_ms.push_back(best);
  }
  const double hit = static_cast<double>(offsets_ms.size()) / static_cast<double>(kicks.size());
  ASSERT_FALSE(offsets_ms.empty()) << "no lamp step near any kick; " << steps.size()
                                   << " steps for " << kicks.size() << " kicks";
  std::vector<double> abs_ms;
  for (double o : offsets_ms) abs_ms.push_back(std::fabs(o));
  const double median = Percentile(offsets_ms, 0.5);
  const double p95 = Percentile(abs_ms, 0.95);
  const double worst = *std::max_element(abs_ms.begin(), abs_ms.end());
  RecordProperty("kicks", static_cast<int>(kicks.size()));
  RecordProperty("median_us", static_cast<int>(median * 1000));
  RecordProperty("p95_us", static_cast<int>(p95 * 1000));
  RecordProperty("worst_us", static_cast<int>(worst * 1000));
  std::printf(
      "road: %zu kicks, %zu steps, %.1f %% changed, median %+.2f ms, p95 %.2f ms, "
      "worst %.2f ms\n",
      kicks.size(), steps.size(), hit * 100, median, p95, worst);
  EXPECT_GE(hit, 0.95);
  EXPECT_LE(std::fabs(median), 10.0);
  EXPECT_LE(p95, 30.0);
}

}  // namespace
