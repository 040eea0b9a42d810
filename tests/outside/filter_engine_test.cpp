// The output filter in a deck's chain: its reports reach the main window, one deck told
// from the other, at a steady rate, each when its audio is heard.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "BeatRule.h"
#include "EngineHarness.h"
#include "filter/filter.h"
#include "support/TestSupport.h"

using namespace kazout;

namespace {

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
    ASSERT_TRUE(filter_.Loaded());
    dir_ = kaztest::MakeTempDir("capture");
    capture_ = dir_ + "/out.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
    unsetenv("KAZ_WAV_SPEEDUP");
  }
  // The table of one of the library's two filter modules (1 or 2), filled by its entry.
  void Bind(int deck, XA_FilterModule* table) {
    auto reg = reinterpret_cast<XA_FilterModuleRegisterFn>(
        GetProcAddress(filter_.module, deck == 1 ? "output_filter_module_register1"
                                                 : "output_filter_module_register2"));
    ASSERT_NE(reg, nullptr);
    *table = XA_FilterModule{};
    table->size = sizeof(*table);
    ASSERT_EQ(reg(table), 0);
  }
  // A window of the test's own, made the main window, counting the level reports it gets.
  HWND CountLevelsInto(int* levels) {
    HWND window = CreateWindowWithProc([levels](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
      *levels += msg == WM_DECK_LEVEL;
      return 0;
    });
    filter_.ReportTo(window);
    return window;
  }
  // Makes `e`'s window the main window and records what the filters send to it.
  void Listen(Engine& e) {
    filter_.ReportTo(e.Window());
    e.OnMessage = [this](UINT msg, WPARAM w, LPARAM l) {
      if (msg == WM_DECK_LEVEL)
        reports_.push_back({msg, static_cast<int32_t>(w), l, 0, 0, NowNs()});
      if (msg == WM_DECK_VU) {
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

  std::vector<int64_t> LeadErrors(int pitch);

  FilterLibrary filter_;
  std::string dir_, capture_;
  std::vector<Report> reports_;
};

TEST_F(FilterTest, ReportsEachDeckSteadily) {
  // Faster than real time, but no faster than the reports can be taken: a sink that races
  // ahead leaves the sender behind, which then drops what it has not sent.
  setenv("KAZ_WAV_UNPACED", "1", 1);
  setenv("KAZ_WAV_SPEEDUP", kazout::kReportSpeedup, 1);
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
  // The last reports, which follow the end, and each one's VU pair.
  PumpUntil([&] {
    const size_t l1 = Of(WM_DECK_LEVEL, 1).size(), l2 = Of(WM_DECK_LEVEL, 2).size();
    return l1 >= static_cast<size_t>(30 * 43.07) + kReportLead &&
           l2 >= static_cast<size_t>(4 * 43.07) + kReportLead && Of(WM_DECK_VU, 0).size() == l1 &&
           Of(WM_DECK_VU, 1).size() == l2;
  });

  auto levels1 = Of(WM_DECK_LEVEL, 1), levels2 = Of(WM_DECK_LEVEL, 2);
  auto vu1 = Of(WM_DECK_VU, 0), vu2 = Of(WM_DECK_VU, 1);
  // About 43 reports per second of audio, a VU pair with each level, and after the end
  // the silent ones that carry the last beat to the graph's test point.
  EXPECT_NEAR(levels1.size(), 30 * 43.07 + kReportLead, 30);
  EXPECT_NEAR(levels2.size(), 4 * 43.07 + kReportLead, 5);
  EXPECT_EQ(vu1.size(), levels1.size());
  EXPECT_EQ(vu2.size(), levels2.size());
  EXPECT_EQ(reports_.size(), levels1.size() + levels2.size() + vu1.size() + vu2.size());
  for (const Report& r : vu1) {
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.left, 50);
    EXPECT_GE(r.right, 0);
    EXPECT_LE(r.right, 50);
  }
  // The player's beat rule finds the kicks (64 in 30 s at 128 BPM; the first to settle),
  // the last one too.
  std::vector<int32_t> values;
  for (const Report& r : levels1) values.push_back(static_cast<int32_t>(r.value));
  std::vector<int> beats = Beats(values);
  EXPECT_GE(beats.size(), 62u);
  EXPECT_LE(beats.size(), 64u);
  ASSERT_FALSE(beats.empty());
  EXPECT_GT(beats.back(), static_cast<int>(levels1.size()) - kReportLead - 2);
}

// Report k stands for the window of the track's frames k * 1024 to (k + 1) * 1024; it goes
// out kReportLead windows (as heard) before the window after it is heard (a report that
// reveals a beat 37 reports on goes out later by up to a window), so that the graph's beat
// test sees each level as its window is heard, dropouts included. Answers the sorted
// differences between each report's arrival and that moment, in ns, leaving out the first
// reports, which are due before the track starts and go out at once, and those a dropout
// came between.
std::vector<int64_t> FilterTest::LeadErrors(int pitch) {
  unsetenv("KAZ_WAV_UNPACED");
  std::vector<int64_t> errors;
  Engine e;
  EXPECT_TRUE(e.Ready());
  Listen(e);
  e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  e.SI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.PITCH", pitch);
  EXPECT_EQ(e.Open(TestData("short4.mp3")), 4);
  size_t from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  EXPECT_TRUE(e.WaitForState(XA_PLAYER_STATE_EOS, 10000, from));
  PumpUntil([] { return false; }, 100);
  e.N(XA_MSG_COMMAND_OUTPUT_CLOSE);
  e.WaitFor(XA_MSG_NOTIFY_OUTPUT_STATE, 2000, from);
  Capture cap = ReadCapture(capture_);
  EXPECT_GT(cap.Frames(), 0u);
  if (cap.Frames() == 0) return errors;
  const std::vector<size_t> heard = HeardFrames(cap, Onset(cap));
  EXPECT_FALSE(heard.empty());
  if (heard.empty()) return errors;

  auto levels = Of(WM_DECK_LEVEL, 1);
  EXPECT_GT(levels.size(), 150u);
  const double window = 1024 / (pitch / 1000.0);  // frames of the capture
  for (size_t k = kReportLead + 2; k < levels.size(); ++k) {
    const auto at = static_cast<size_t>((static_cast<double>(k) + 1 - kReportLead) * window);
    // The last reports are due after the take has ended.
    const size_t frame = at < heard.size() ? heard[at] : heard.back() + at + 1 - heard.size();
    const int64_t due = cap.firstNs + static_cast<int64_t>(frame * 1e9 / cap.rate);
    const double sent = (levels[k].atNs - cap.firstNs) * 1e-9 * cap.rate;
    if (DropoutBetween(heard, sent, static_cast<double>(frame))) continue;
    errors.push_back(levels[k].atNs - due);
  }
  std::sort(errors.begin(), errors.end());
  return errors;
}

TEST_F(FilterTest, ReportsLeadTheirAudioByTheSoundLine) {
  for (int pitch : {1000, 1050}) {
    reports_.clear();
    std::vector<int64_t> errors = LeadErrors(pitch);
    ASSERT_FALSE(errors.empty());
    int64_t median = errors[errors.size() / 2];
    EXPECT_GT(median, -15000000) << "pitch " << pitch;
    EXPECT_LT(median, 15000000) << "pitch " << pitch;
    EXPECT_GT(errors[errors.size() / 20], -30000000) << "pitch " << pitch << ": reports too early";
    EXPECT_LT(errors[errors.size() * 19 / 20], 40000000) << "pitch " << pitch << ": reports late";
    std::printf("pitch %d: median %+.2f ms\n", pitch, median / 1e6);
  }
}

// What the engine hands over but was never heard is never reported: the audio a second
// ahead of the listener is dropped with a pause or a stop, and so are its reports.
TEST_F(FilterTest, PauseAndStopDropTheReportsNotSent) {
  unsetenv("KAZ_WAV_UNPACED");
  Engine e;
  ASSERT_TRUE(e.Ready());
  Listen(e);
  e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  ASSERT_EQ(e.Open(TestData("kick128.mp3")), 30);
  for (int command : {XA_MSG_COMMAND_PAUSE, XA_MSG_COMMAND_STOP}) {
    size_t from = e.Notes().size();
    e.N(XA_MSG_COMMAND_PLAY);
    ASSERT_TRUE(e.WaitForState(XA_PLAYER_STATE_PLAYING, 2000, from));
    ASSERT_TRUE(PumpUntil([&] { return Of(WM_DECK_LEVEL, 1).size() >= 80; }, 5000));
    from = e.Notes().size();
    e.N(command);
    int state = command == XA_MSG_COMMAND_PAUSE ? XA_PLAYER_STATE_PAUSED : XA_PLAYER_STATE_STOPPED;
    ASSERT_TRUE(e.WaitForState(state, 2000, from));
    int64_t at = e.Notes().back().atNs;
    PumpUntil([] { return false; }, 400);
    size_t after = 0;
    for (const Report& r : Of(WM_DECK_LEVEL, 1)) after += r.atNs > at;
    // Not even one that was on its way when the command was given.
    EXPECT_EQ(after, 0u) << "command " << command;
    reports_.clear();
  }
}

// A report already handed over to the window's thread when that thread seeks or pauses
// (the sender waiting there for it to be served) is of audio not heard then: it never
// arrives after the command, however late the thread serves it. The window has a thread of
// its own, which gives the commands as the player's window does and has nothing else to
// serve, so the report waiting there is seen without serving it.
TEST_F(FilterTest, AReportOnItsWayWhenTheWindowSeeksOrPausesNeverArrivesAfterIt) {
  unsetenv("KAZ_WAV_UNPACED");
  for (int command : {XA_MSG_COMMAND_SEEK, XA_MSG_COMMAND_PAUSE}) {
    SCOPED_TRACE(command == XA_MSG_COMMAND_SEEK ? "seek" : "pause");
    Engine e;
    ASSERT_TRUE(e.Ready());
    e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
    ASSERT_EQ(e.Open(TestData("kick128.mp3")), 30);
    std::vector<int32_t> levels;
    size_t pairs = 0, atCommand = 0;
    bool held = false;
    std::atomic<bool> reporting{false}, carriedOut{false};
    std::thread thread([&] {
      HWND window = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_DECK_LEVEL) levels.push_back(static_cast<int32_t>(w));
        pairs += msg == WM_DECK_VU;
        return 0;
      });
      filter_.ReportTo(window);
      reporting = true;
      win32::WaitServingSentMessages([&] { return levels.size() >= 60 && pairs == levels.size(); },
                                     10000);
      pollfd next{win32::ThreadMessageFd(), POLLIN, 0};
      held = poll(&next, 1, 5000) == 1;
      atCommand = levels.size();
      if (command == XA_MSG_COMMAND_SEEK)
        e.II(XA_MSG_COMMAND_SEEK, 0, 1000);
      else
        e.N(XA_MSG_COMMAND_PAUSE);
      e.I(XA_MSG_COMMAND_PING, 1);
      while (!carriedOut) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      // The track again from its start, or (paused) nothing more.
      if (command == XA_MSG_COMMAND_SEEK)
        win32::WaitServingSentMessages([&] { return levels.size() >= atCommand + 40; }, 5000);
      else
        win32::PumpThreadMessages();
      DestroyWindow(window);
    });
    ASSERT_TRUE(PumpUntil([&] { return reporting.load(); }, 5000));
    e.N(XA_MSG_COMMAND_PLAY);
    // The player has carried the command out, and dropped the audio to come, while the
    // report waited.
    EXPECT_TRUE(e.WaitFor(XA_MSG_NOTIFY_PONG, 15000));
    carriedOut = true;
    thread.join();
    ASSERT_TRUE(held) << "no report on its way";
    if (command == XA_MSG_COMMAND_SEEK) {
      ASSERT_GE(levels.size(), atCommand + 40);
      EXPECT_TRUE(std::equal(levels.begin(), levels.begin() + 40, levels.begin() + atCommand))
          << "the first report after the seek is " << levels[atCommand] << ", the track's first "
          << levels[0];
    } else {
      EXPECT_EQ(levels.size(), atCommand);
    }
  }
}

// The filter on its own, told when its audio is heard: a speed change re-times the reports
// not sent yet, and a reset drops them.
TEST_F(FilterTest, SpeedChangesRetimeTheReportsNotSent) {
  XA_FilterModule table{};
  Bind(1, &table);
  if (HasFatalFailure()) return;
  ASSERT_NE(table.timing, nullptr);
  std::vector<int64_t> arrivals;
  HWND window = CreateWindowWithProc([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_DECK_LEVEL) arrivals.push_back(NowNs());
    return 0;
  });
  filter_.ReportTo(window);
  void* filter = table.open(nullptr);

  constexpr uint32_t kWindows = 100, kWindow = 1024, kRate = 44100;
  std::vector<float> tone(kWindows * kWindow * 2);
  for (size_t i = 0; i < tone.size() / 2; ++i)
    tone[i * 2] = tone[i * 2 + 1] = 0.5f * static_cast<float>(std::sin(i * 2 * M_PI * 60 / kRate));
  // Heard from 1.2 s on at normal speed; then, before the first report is due, the speed
  // doubles, and the same audio is heard twice as fast from the same moment.
  int64_t start = NowNs() + 1200000000LL;
  table.timing(filter, start, 1000);
  table.process(filter, tone.data(), kWindows * kWindow, kRate, start);
  table.timing(filter, start + static_cast<int64_t>(kWindows * kWindow * 1e9 / (2 * kRate)), 2000);
  // Without the end of the stream the filter holds its last two windows back.
  PumpUntil([&] { return arrivals.size() >= kWindows - 2; }, 3000);
  EXPECT_EQ(arrivals.size(), kWindows - 2);
  const double windowNs = kWindow * 1e9 / (2 * kRate);
  std::vector<int64_t> errors;
  for (size_t k = kReportLead + 1; k < arrivals.size(); ++k)
    errors.push_back(arrivals[k] -
                     (start + static_cast<int64_t>((k + 1 - kReportLead) * windowNs)));
  std::sort(errors.begin(), errors.end());
  if (!errors.empty()) {
    EXPECT_GT(errors.front(), -2000000) << "a report came before its time";
    EXPECT_LT(errors[errors.size() / 2], 5000000);
  }

  // Audio a second ahead that will never be heard: nothing of it is reported.
  arrivals.clear();
  table.process(filter, tone.data(), kWindows * kWindow, kRate, NowNs() + 1200000000LL);
  table.reset(filter);
  PumpUntil([] { return false; }, 1000);
  EXPECT_TRUE(arrivals.empty());
  table.close(filter);
  DestroyWindow(window);
}

// A stream whose rate changes partway (joined files): the reports of the second part are
// timed by when it is heard, not sent at once.
TEST_F(FilterTest, ARateChangeKeepsTheReportsTimed) {
  XA_FilterModule table{};
  Bind(1, &table);
  if (HasFatalFailure()) return;
  int levels = 0;
  HWND window = CountLevelsInto(&levels);
  void* filter = table.open(nullptr);
  std::vector<float> first(44100 * 2, 0.1f), second(22050 * 2, 0.1f);
  // One second at 44.1 kHz heard from now on, then one at 22.05 kHz right after it.
  int64_t start = NowNs();
  table.timing(filter, start, 1000);
  table.process(filter, first.data(), 44100, 44100, start);
  table.process(filter, second.data(), 22050, 22050, start + 1000000000LL);
  table.process(filter, second.data(), 0, 22050, start + 2000000000LL);
  // By 0.4 s the first part's 43 reports are due and about a dozen of the second's.
  PumpUntil([&] { return NowNs() >= start + 400000000LL; }, 1000);
  EXPECT_LE(levels, 70) << "the second part's reports went out at once";
  PumpUntil([&] { return levels >= 43 + 43 + kReportLead - 2; }, 3000);
  EXPECT_GE(levels, 43 + 43 + kReportLead - 2);
  table.reset(filter);
  PumpUntil([] { return false; }, 50);
  table.close(filter);
  DestroyWindow(window);
}

// Voluntary context switches of this process's threads named `name`; -1 for none.
long SwitchesOf(const std::string& name) {
  long total = -1;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string line;
    if (!std::getline(comm, line) || line != name) continue;
    std::ifstream status(task.path() / "status");
    while (std::getline(status, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        total = std::max(total, 0L) + std::stol(line.substr(24));
  }
  return total;
}

// A filter with nothing to send sleeps until the audio side hands it something: an idle
// deck wakes nobody.
TEST_F(FilterTest, AnIdleFilterSleepsUntilItHasSomethingToSend) {
  XA_FilterModule table{};
  Bind(2, &table);
  if (HasFatalFailure()) return;
  int levels = 0;
  HWND window = CountLevelsInto(&levels);
  void* filter = table.open(nullptr);
  PumpUntil([] { return false; }, 50);  // the sender starts and settles
  long before = SwitchesOf("kaz levels 2");
  ASSERT_GE(before, 0) << "no sender thread";
  PumpUntil([] { return false; }, 400);
  // Polling every 2 ms would have switched about 200 times.
  EXPECT_LE(SwitchesOf("kaz levels 2") - before, 2);

  // Audio heard at once, and the end of the stream: every reading goes out.
  std::vector<float> tone(44100 * 2);
  for (size_t i = 0; i < tone.size() / 2; ++i)
    tone[i * 2] = tone[i * 2 + 1] = 0.5f * static_cast<float>(std::sin(i * 2 * M_PI * 60 / 44100));
  int64_t now = NowNs();
  table.timing(filter, now, 1000);
  table.process(filter, tone.data(), 44100, 44100, now);
  table.process(filter, tone.data(), 0, 44100, now + 1000000000LL);
  // 43 whole windows, the part of one, and the silent ones after the end.
  PumpUntil([&] { return levels >= 44 + kReportLead; }, 3000);
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(levels, 44 + kReportLead);
  table.reset(filter);
  PumpUntil([] { return false; }, 50);  // one may have been on its way
  table.close(filter);
  DestroyWindow(window);
}

// Deleting a player on the main window's thread while its filter is sending to that
// window must not leave the two waiting for each other, even when the player could not
// make its wake-up descriptor.
TEST_F(FilterTest, DeletingAPlayerWhileItsFilterSendsDoesNotHang) {
  unsetenv("KAZ_WAV_UNPACED");
  for (bool descriptors : {true, false}) {
    SCOPED_TRACE(descriptors ? "with descriptors" : "out of descriptors");
    auto e = std::make_unique<Engine>();
    ASSERT_TRUE(e->Ready());
    if (!descriptors) e->RenewPlayerWithoutDescriptors();
    ASSERT_TRUE(e->Ready());
    Listen(*e);
    e->OnMessage = [this](UINT msg, WPARAM, LPARAM) {
      if (msg == WM_DECK_LEVEL || msg == WM_DECK_VU) {
        reports_.push_back({msg, 0, 0, 0, 0, NowNs()});
        // A busy window: the sender is mostly waiting for it.
        timespec ts{0, 20000000};
        nanosleep(&ts, nullptr);
      }
    };
    e->SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
    ASSERT_EQ(e->Open(TestData("kick128.mp3")), 30);
    e->N(XA_MSG_COMMAND_PLAY);
    reports_.clear();
    ASSERT_TRUE(PumpUntil([&] { return reports_.size() >= 10; }, 5000));
    int64_t start = NowNs();
    e.reset();
    EXPECT_LT(NowNs() - start, 2000000000LL);
  }
}

}  // namespace
