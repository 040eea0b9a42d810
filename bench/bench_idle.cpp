// The player at rest and at work: the real program started with its settings' defaults,
// then the share of one core it uses. At rest: no track (and nothing in its folder to list),
// over ten seconds, drawing off-screen. At work: two decks playing on the null sink over
// twenty seconds, on a virtual display, with the level graph and the VU meters drawing as a
// user sees them; the tracks are dragged onto the decks and started with the pointer.
// Prints `name value` lines.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

extern char** environ;

namespace {

using kaztest::Shell;

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

pid_t Spawn(const std::vector<std::string>& args, int out = -1) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  if (out >= 0) posix_spawn_file_actions_adddup2(&quiet, out, 1);
  pid_t pid = 0;
  const int r = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  return r == 0 ? pid : -1;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// A fresh prefix whose drive C: is a folder holding `tracks` (copies of one file).
struct Prefix {
  std::string dir;
  explicit Prefix(const std::vector<std::string>& tracks, const std::string& source = "") {
    char name[] = "/tmp/kaz-bench-idle-XXXXXX";
    if (!mkdtemp(name)) return;
    dir = name;
    const std::string music = dir + "/home";
    mkdir(music.c_str(), 0755);
    mkdir((dir + "/dosdevices").c_str(), 0755);
    mkdir((dir + "/windows").c_str(), 0755);
    if (symlink(music.c_str(), (dir + "/dosdevices/c:").c_str()) != 0) dir.clear();
    for (const auto& t : tracks)
      std::system(("cp '" + source + "' '" + music + "/" + t + "'").c_str());
    const std::string runtime = dir + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("KAZ_PREFIX", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  ~Prefix() {
    if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
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
  const pid_t pid = Spawn({Player()});
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
  const pid_t pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                           "1024x768x24", "-nolisten", "tcp"});
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

// Where the window's parts are, in its client coordinates (the window has no frame).
constexpr int kRowHeight = 17;
constexpr int kExplorerX = 126 + 6 + 40, kExplorerRow0 = 433 + 32 + 2 + kRowHeight / 2;
constexpr int kDeck1X = 8 + 130, kDeck2X = 532 + 130, kDeckY = 40 + 220;
constexpr int kPlay1X = 8 + 16 + 12, kPlay2X = 532 + 16 + 12, kPlayY = 40 + 106 + 12;

double TwoDecksPercent() {
  const std::string track = std::string(KAZ_TESTDATA_DIR) + "/bench180.mp3";
  if (access(track.c_str(), R_OK) != 0) return -1;
  Prefix prefix({"a.mp3", "b.mp3"}, track);
  if (prefix.dir.empty()) return -1;
  const pid_t display = StartDisplay();
  if (display <= 0) return -1;
  unsetenv("QT_QPA_PLATFORM");
  const pid_t pid = Spawn({Player()});
  double percent = -1;
  const std::string id = Shell(
      "timeout 20 xdotool search --sync --onlyvisible --name '^KAZ$' 2>/dev/null | head -1");
  if (pid > 0 && !id.empty()) {
    std::this_thread::sleep_for(3s);  // the splash leaves
    int ox = 0, oy = 0;
    std::istringstream in(Shell("xdotool getwindowgeometry --shell " + id));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("X=", 0) == 0) ox = std::stoi(line.substr(2));
      if (line.rfind("Y=", 0) == 0) oy = std::stoi(line.substr(2));
    }
    auto at = [&](int x, int y) { return std::to_string(ox + x) + " " + std::to_string(oy + y); };
    auto drag = [&](int x, int y, int tx, int ty) {
      Shell("xdotool mousemove " + at(x, y) + " mousedown 1 sleep 0.1 mousemove " +
            at(x + 12, y + 4) + " sleep 0.1 mousemove " + at((x + tx) / 2, (y + ty) / 2) +
            " sleep 0.1 mousemove " + at(tx, ty) + " sleep 0.2 mouseup 1 sleep 0.5");
    };
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
