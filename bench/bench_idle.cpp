// The player at rest: the real program started with no track (and nothing in its folder to
// list) with its settings' defaults, then the share of one core it uses over ten seconds.
// Prints a `name value` line.
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

extern char** environ;

namespace {

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

// Runs the program in a fresh prefix and answers the share of a core it used at rest, in
// percent, or -1.
double IdlePercent() {
  char dir[] = "/tmp/kaz-bench-idle-XXXXXX";
  if (!mkdtemp(dir)) return -1;
  const std::string prefix = dir;
  const std::string music = prefix + "/home";
  mkdir(music.c_str(), 0755);
  mkdir((prefix + "/dosdevices").c_str(), 0755);
  mkdir((prefix + "/windows").c_str(), 0755);
  // Drive C: is an empty folder, so the explorer's first listing has nothing to analyse.
  if (symlink(music.c_str(), (prefix + "/dosdevices/c:").c_str()) != 0) return -1;
  setenv("KAZ_PREFIX", prefix.c_str(), 1);
  const std::string runtime = prefix + "/runtime";
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  std::string program = std::string(KAZ_BIN_DIR) + "/kazpro";
  char* argv[] = {program.data(), nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, environ) != 0) return -1;
  // Start-up (splash, engines, the first listing) is over well within this.
  std::this_thread::sleep_for(std::chrono::seconds(4));
  const long before = CpuTicks(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const long after = CpuTicks(pid);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  std::system(("rm -rf '" + prefix + "'").c_str());
  if (before < 0 || after < 0) return -1;
  const double cpu = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return 100.0 * cpu / seconds;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const double defaults = IdlePercent();
  if (defaults < 0) return 1;
  std::printf("idle_cpu_percent %.2f\n", defaults);
  return 0;
}
