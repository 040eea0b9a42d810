// The output filter in a deck's chain: its reports reach the main window, one deck told
// from the other, at a steady rate, each when its audio is heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "BeatRule.h"
#include "EngineHarness.h"
#include "support/TestSupport.h"

using namespace kazout;

namespace {

constexpr UINT kDeckLevel = 0x500;
constexpr UINT kDeckVu = 0x501;

struct Report {
  UINT msg;
  int64_t value;
  LPARAM deck;
  int16_t left = 0, right = 0;
  int64_t atNs;
};

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    filter_ = LoadLibraryA("filter.dll");
    ASSERT_NE(filter_, nullptr);
    getHdl_ = reinterpret_cast<int (*)(HWND)>(GetProcAddress(filter_, "GetHdl"));
    ASSERT_NE(getHdl_, nullptr);
    dir_ = kaztest::MakeTempDir("capture");
    capture_ = dir_ + "/out.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
    if (filter_) FreeLibrary(filter_);
  }
  // Makes `e`'s window the main window and records what the filters send to it.
  void Listen(Engine& e) {
    getHdl_(e.Window());
    e.OnMessage = [this](UINT msg, WPARAM w, LPARAM l) {
      if (msg == kDeckLevel) reports_.push_back({msg, static_cast<int32_t>(w), l, 0, 0, NowNs()});
      if (msg == kDeckVu) {
        auto* pair = reinterpret_cast<const int16_t*>(w);
        reports_.push_back({msg, 0, l, pair[0], pair[1], NowNs()});
      }
    };
  }
  std::vector<Report> Of(UINT msg, LPARAM deck) const {
    std::vector<Report> out;
    for (const Report& r : reports_)
      if (r.msg == msg && r.deck == deck) out.push_back(r);
    return out;
  }

  HMODULE filter_ = nullptr;
  int (*getHdl_)(HWND) = nullptr;
  std::string dir_, capture_;
  std::vector<Report> reports_;
};

TEST_F(FilterTest, ReportsEachDeckSteadily) {
  setenv("KAZ_WAV_UNPACED", "1", 1);
  Engine a, b;
  ASSERT_TRUE(a.Ready() && b.Ready());
  Listen(a);
  a.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  b.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register2@filter.dll", 0);
  ASSERT_EQ(a.Open(TestData("kick128.mp3")), 30);
  ASSERT_EQ(b.Open(TestData("short4.mp3")), 4);
  size_t fa = a.Notes().size(), fb = b.Notes().size();
  a.N(XA_MSG_COMMAND_PLAY);
  b.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(a.WaitForState(XA_PLAYER_STATE_EOS, 20000, fa));
  ASSERT_TRUE(b.WaitForState(XA_PLAYER_STATE_EOS, 5000, fb));
  PumpUntil([] { return false; }, 200);  // the last reports

  auto levels1 = Of(kDeckLevel, 1), levels2 = Of(kDeckLevel, 2);
  auto vu1 = Of(kDeckVu, 0), vu2 = Of(kDeckVu, 1);
  // About 43 reports per second of audio, a VU pair with each level.
  EXPECT_NEAR(levels1.size(), 30 * 43.07, 30);
  EXPECT_NEAR(levels2.size(), 4 * 43.07, 5);
  EXPECT_EQ(vu1.size(), levels1.size());
  EXPECT_EQ(vu2.size(), levels2.size());
  EXPECT_EQ(reports_.size(), levels1.size() + levels2.size() + vu1.size() + vu2.size());
  for (const Report& r : vu1) {
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.left, 50);
    EXPECT_GE(r.right, 0);
    EXPECT_LE(r.right, 50);
  }
  // The player's beat rule finds the kicks (64 in 30 s at 128 BPM; a few to settle).
  std::vector<int32_t> values;
  for (const Report& r : levels1) values.push_back(static_cast<int32_t>(r.value));
  size_t beats = Beats(values).size();
  EXPECT_GE(beats, 58u);
  EXPECT_LE(beats, 64u);
}

TEST_F(FilterTest, ReportsWhenTheAudioIsHeard) {
  unsetenv("KAZ_WAV_UNPACED");
  Engine e;
  ASSERT_TRUE(e.Ready());
  Listen(e);
  e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  ASSERT_EQ(e.Open(TestData("short4.mp3")), 4);
  size_t from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(e.WaitForState(XA_PLAYER_STATE_EOS, 10000, from));
  PumpUntil([] { return false; }, 100);
  e.N(XA_MSG_COMMAND_OUTPUT_CLOSE);
  e.WaitFor(XA_MSG_NOTIFY_OUTPUT_STATE, 2000, from);
  Capture cap = ReadCapture(capture_);
  ASSERT_GT(cap.Frames(), 0u);
  int64_t trackStart = cap.firstNs + static_cast<int64_t>(Onset(cap) * 1e9 / cap.rate);

  auto levels = Of(kDeckLevel, 1);
  ASSERT_GT(levels.size(), 150u);
  // Report k stands for the window starting at k * 1024 frames of the track.
  std::vector<int64_t> lag;
  for (size_t k = 0; k < levels.size(); ++k)
    lag.push_back(levels[k].atNs - (trackStart + static_cast<int64_t>(k * 1024 * 1e9 / 44100)));
  std::sort(lag.begin(), lag.end());
  EXPECT_GT(lag[lag.size() / 2], -15000000);
  EXPECT_LT(lag[lag.size() / 2], 25000000);
  EXPECT_GT(lag[lag.size() / 20], -30000000) << "reports came before their audio";
}

// Deleting a player on the main window's thread while its filter is sending to that
// window must not leave the two waiting for each other.
TEST_F(FilterTest, DeletingAPlayerWhileItsFilterSendsDoesNotHang) {
  unsetenv("KAZ_WAV_UNPACED");
  auto e = std::make_unique<Engine>();
  ASSERT_TRUE(e->Ready());
  Listen(*e);
  e->OnMessage = [this](UINT msg, WPARAM, LPARAM) {
    if (msg == kDeckLevel || msg == kDeckVu) {
      reports_.push_back({msg, 0, 0, 0, 0, NowNs()});
      // A busy window: the sender is mostly waiting for it.
      timespec ts{0, 20000000};
      nanosleep(&ts, nullptr);
    }
  };
  e->SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  ASSERT_EQ(e->Open(TestData("kick128.mp3")), 30);
  e->N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(PumpUntil([&] { return reports_.size() >= 10; }, 5000));
  int64_t start = NowNs();
  e.reset();
  EXPECT_LT(NowNs() - start, 2000000000LL);
}

}  // namespace
