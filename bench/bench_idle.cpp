// The player at rest and at work: the real program started with its settings' defaults,
// then the share of one core it uses. At rest: no track (and nothing in its folder to list),
// over ten seconds, drawing off-screen. At work: two decks playing on the null sink over
// twenty seconds, on a virtual display, with the level graph and the VU meters drawing as a
// user sees them; the tracks are dragged onto the decks and started with the pointer.
// Prints `name value` lines.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PlayerWindow.h"
#include "support/TestSupport.h"

namespace {

using kaztest::Shell;
using kaztest::kDeck1X, kaztest::kDeck2X, kaztest::kDeckY, kaztest::kExplorerRow0,
    kaztest::kExplorerX, kaztest::kPlay1X, kaztest::kPlay2X, kaztest::kPlayY, kaztest::kRowHeight;
namespace fs = std::filesystem;

using namespace std::chrono_literals;

// User and system time of a process so far, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  // Fields after the command (which may hold blanks) start past its closing parenthesis.
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::vector<std::string> fields;
  for (std::string s; rest >> s;) fields.push_back(s);
  // utime and stime are fields 14 and 15 of the line, 12 and 13 after the command.
  return fields.size() > 12 ? std::stol(fields[11]) + std::stol(fields[12]) : -1;
}

// Asks a spawned program to end and waits for it.
void Stop(int pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  kaztest::WaitExit(pid, 10000);
}

// A fresh prefix whose drive C: is a folder holding `tracks` (copies of one file).
struct Prefix {
  std::string dir;
  explicit Prefix(const std::vector<std::string>& tracks, const std::string& source = "") {
    char name[] = "/tmp/kaz-bench-idle-XXXXXX";
    if (!mkdtemp(name)) return;
    dir = name;
    const std::string music = dir + "/home";
    std::error_code ec;
    fs::create_directories(music, ec);
    fs::create_directories(dir + "/dosdevices", ec);
    fs::create_directories(dir + "/windows", ec);
    fs::create_directory_symlink(music, dir + "/dosdevices/c:", ec);
    if (ec) dir.clear();
    for (const auto& t : tracks) fs::copy_file(source, music + "/" + t, ec);
    const std::string runtime = dir + "/runtime";
    fs::create_directory(runtime, ec);
    fs::permissions(runtime, fs::perms::owner_all, ec);
    setenv("KAZ_PREFIX", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ~Prefix() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }
};

// The share of a core, in percent, the program used over `span`, or -1.
double Percent(pid_t pid, std::chrono::seconds span) {
  const long before = CpuTicks(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(span);
  const long after = CpuTicks(pid);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (before < 0 || after < 0) return -1;
  const double cpu = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return 100.0 * cpu / seconds;
}

std::string Player() { return std::string(KAZ_BIN_DIR) + "/kazpro"; }

// Drive C: is an empty folder, so the explorer's first listing has nothing to analyse.
double IdlePercent() {
  Prefix prefix({});
  if (prefix.dir.empty()) return -1;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const int pid = kaztest::Spawn(Player(), {}, true);
  if (pid <= 0) return -1;
  // Start-up (splash, engines, the first listing) is over well within this.
  std::this_thread::sleep_for(4s);
  const double percent = Percent(pid, 10s);
  Stop(pid);
  return percent;
}

// A virtual display of its own; answers its server's process and sets DISPLAY.
pid_t StartDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const int pid = kaztest::Spawn("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0",
                                          "1024x768x24", "-nolisten", "tcp"}, true);
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (pid <= 0 || number.empty()) {
    Stop(pid);
    return -1;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return pid;
}

double TwoDecksPercent() {
  const std::string track = std::string(KAZ_TESTDATA_DIR) + "/bench180.mp3";
  if (access(track.c_str(), R_OK) != 0) return -1;
  Prefix prefix({"a.mp3", "b.mp3"}, track);
  if (prefix.dir.empty()) return -1;
  const pid_t display = StartDisplay();
  if (display <= 0) return -1;
  unsetenv("QT_QPA_PLATFORM");
  const int pid = kaztest::Spawn(Player(), {}, true);
  double percent = -1;
  const std::string id = kaztest::FindWindow("^KAZ$");
  if (pid > 0 && !id.empty()) {
    std::this_thread::sleep_for(3s);  // the splash leaves
    int ox = 0, oy = 0;
    kaztest::WindowOrigin(id, ox, oy);
    auto at = [&](int x, int y) { return kaztest::At(ox, oy, x, y); };
    auto drag = [&](int x, int y, int tx, int ty) { kaztest::Drag(ox, oy, x, y, tx, ty, "0.5"); };
    // The root of C: lists the two tracks, a then b.
    drag(kExplorerX, kExplorerRow0, kDeck1X, kDeckY);
    drag(kExplorerX, kExplorerRow0 + kRowHeight, kDeck2X, kDeckY);
    Shell("xdotool mousemove " + at(kPlay1X, kPlayY) + " click 1 mousemove " +
          at(kPlay2X, kPlayY) + " click 1 mousemove 1000 760");
    if (const char* keep = std::getenv("KAZ_BENCH_SHOT"))
      Shell("import -window root " + std::string(keep));
    std::this_thread::sleep_for(2s);
    percent = Percent(pid, 20s);
  }
  Stop(pid);
  Stop(display);
  return percent;
}

}  // namespace

int main() {
  const double idle = IdlePercent();
  if (idle < 0) return 1;
  std::printf("idle_cpu_percent %.2f\n", idle);
  std::fflush(stdout);
  const double two = TwoDecksPercent();
  if (two < 0) return 1;
  std::printf("two_decks_cpu_percent %.2f\n", two);
  return 0;
}
