// The light controller and a player as two programs of one prefix, started as a user
// starts them, in either order: the link completes through the "Handle" keys, and the
// player's beats step the lamps on the virtual port. The player is stood in for by
// player_peer; the real player is used where it is built.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dlportio/dlportio.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& done, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class Link : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string runtime = kaztest::Prefix() + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::error_code ec;
    fs::remove_all(kaztest::Prefix() + "/windows", ec);
    fs::remove_all(kaztest::Prefix() + "/port", ec);
    fs::remove_all(kaztest::Prefix() + "/services", ec);
    dir_ = kaztest::MakeTempDir("peer");
  }
  void TearDown() override {
    for (int pid : pids_) {
      if (kaztest::TryWait(pid) == -1) kill(pid, SIGTERM);
      kaztest::WaitExit(pid, 5000);
    }
  }

  int Start(const std::string& program, const std::vector<std::string>& args = {}) {
    const int pid = kaztest::Spawn(kaztest::ProgramDir() + "/" + program, args);
    EXPECT_GT(pid, 0) << program;
    pids_.push_back(pid);
    return pid;
  }
  int StartPeer(int beats) {
    const int pid = Start("player_peer", {dir_, std::to_string(beats)});
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(dir_ + "/handle"); }, 10000));
    return pid;
  }
  static int Key(const char* Section, const char* Key) {
    return static_cast<int>(GetPrivateProfileIntA(Section, Key, 0, "KAZ_PRO.ini"));
  }
  bool Logged(const std::string& line) const {
    std::istringstream in(kaztest::ReadFile(dir_ + "/log"));
    for (std::string l; std::getline(in, l);)
      if (l == line) return true;
    return false;
  }
  int Beats() const {
    std::istringstream in(kaztest::ReadFile(dir_ + "/log"));
    int n = 0;
    for (std::string l; std::getline(in, l);) n += l.rfind("beat ", 0) == 0;
    return n;
  }
  static std::vector<int> PortBytes() {
    std::vector<int> out;
    std::istringstream in(kaztest::ReadFile(kaztest::Prefix() + "/port/" + kDlPortLogName));
    std::string ns, port, byte;
    while (in >> ns >> port >> byte)
      if (port == "0378") out.push_back(std::stoi(byte, nullptr, 16));
    return out;
  }
  std::vector<long long> BeatTimes() const {
    std::vector<long long> out;
    std::istringstream in(kaztest::ReadFile(dir_ + "/log"));
    for (std::string l; std::getline(in, l);)
      if (l.rfind("beat ", 0) == 0) out.push_back(std::stoll(l.substr(5)));
    return out;
  }
  static std::vector<long long> LitTimes() {
    std::vector<long long> out;
    std::istringstream in(kaztest::ReadFile(kaztest::Prefix() + "/port/" + kDlPortLogName));
    std::string ns, port, byte;
    while (in >> ns >> port >> byte)
      if (port == "0378" && byte != "00") out.push_back(std::stoll(ns));
    return out;
  }
  // The lit bytes in order, the flash's darkening left out.
  static std::vector<int> LitBytes() {
    std::vector<int> out;
    for (int b : PortBytes())
      if (b != 0) out.push_back(b);
    return out;
  }

  std::string dir_;
  std::vector<int> pids_;
};

TEST_F(Link, PlayerFirstThenLightsTheLinkCompletesAndBeatsStepTheLamps) {
  fs::create_directories(kaztest::Prefix() + "/windows");
  kaztest::WriteFile(kaztest::Prefix() + "/windows/Spots.ini", "[Parameters]\r\nPower=1\r\n");
  StartPeer(6);
  const int peer = Key("Handle", "KAZ");
  ASSERT_NE(peer, 0);
  Start("BeamExe");
  ASSERT_TRUE(WaitUntil([] { return Key("Handle", "spots") != 0; }, 10000));
  const int lights = Key("Handle", "spots");
  ASSERT_TRUE(WaitUntil([&] { return Logged("attach " + std::to_string(lights)); }, 10000));
  ASSERT_TRUE(WaitUntil([&] { return Beats() == 6; }, 10000));
  // Auto mode: the steps come from the beats alone, one step per beat.
  ASSERT_TRUE(WaitUntil([] { return LitBytes().size() >= 6; }, 2000));
  EXPECT_EQ(LitBytes(), (std::vector<int>{0x22, 0x44, 0x88, 0x22, 0x44, 0x88}));
  // Each step is written while the player still waits for its beat to be taken.
  const std::vector<long long> sent = BeatTimes();
  const std::vector<long long> lit = LitTimes();
  ASSERT_EQ(sent.size(), lit.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_GT(lit[i], sent[i]);
    EXPECT_LT(lit[i] - sent[i], 100000000LL) << "beat " << i;
  }
}

TEST_F(Link, LightsFirstThenPlayerThePlayerFindsTheLights) {
  Start("BeamExe");
  ASSERT_TRUE(WaitUntil([] { return Key("Handle", "spots") != 0; }, 10000));
  const int lights = Key("Handle", "spots");
  StartPeer(3);
  EXPECT_TRUE(Logged("spots " + std::to_string(lights)));
  // The light controller answers a ping sent through the handle the player read.
  EXPECT_TRUE(WaitUntil([&] { return Logged("pong"); }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return Beats() == 3; }, 10000));
  // Started without a player, the lights are not in auto mode and beats change nothing
  // until the user switches it on.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(PortBytes(), std::vector<int>{0});
}

// The player hides the lights and then ends: the lights show themselves again rather than
// run on with no window anyone can reach.
TEST_F(Link, LightsHiddenByAPlayerThatEndsShowThemselvesAgain) {
  constexpr UINT kShow = 0x8D5;
  constexpr UINT kQuit = WM_USER + 3;
  Start("BeamExe");
  ASSERT_TRUE(WaitUntil([] { return Key("Handle", "spots") != 0; }, 10000));
  const HWND lights = static_cast<HWND>(Key("Handle", "spots"));
  const int peer = StartPeer(0);
  const HWND player = static_cast<HWND>(Key("Handle", "KAZ"));
  ASSERT_NE(player, 0u);
  ASSERT_TRUE(IsWindowVisible(lights));
  // What the player's "-" sends.
  SendMessageA(lights, kShow, 0, 0);
  EXPECT_FALSE(IsWindowVisible(lights));
  // While the player runs the lights stay where it put them.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(IsWindowVisible(lights));
  SendMessageA(player, kQuit, 0, 0);
  EXPECT_EQ(kaztest::WaitExit(peer, 5000), 0);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(lights) != FALSE; }, 10000));
}

TEST_F(Link, WithTheRealPlayerEitherOrderLeavesBothHandles) {
  if (!fs::exists(kaztest::ProgramDir() + "/kazpro")) GTEST_SKIP() << "kazpro is not built";
  for (bool player_first : {true, false}) {
    SCOPED_TRACE(player_first ? "player first" : "lights first");
    fs::remove_all(kaztest::Prefix() + "/windows");
    if (player_first) {
      Start("kazpro");
      ASSERT_TRUE(WaitUntil([] { return Key("Handle", "KAZ") != 0; }, 15000));
      Start("BeamExe");
    } else {
      Start("BeamExe");
      ASSERT_TRUE(WaitUntil([] { return Key("Handle", "spots") != 0; }, 10000));
      Start("kazpro");
    }
    ASSERT_TRUE(
        WaitUntil([] { return Key("Handle", "KAZ") != 0 && Key("Handle", "spots") != 0; }, 15000));
    for (int pid : pids_) kill(pid, SIGTERM);
    for (int pid : pids_) kaztest::WaitExit(pid, 5000);
    pids_.clear();
  }
}

}  // namespace
