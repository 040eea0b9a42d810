// Round trips of SendMessage between programs and between threads, beside the bare
// request and reply over a Unix-domain socket pair that bounds what any transport here can
// do. Prints one `name value` line per figure.
//
// Where the scheduler puts the two sides decides the figures more than any code does: on
// one core a round trip costs a few microseconds, across cores the wake-up alone costs tens.
// Left alone, the kernel picks one or the other from run to run. So every pair of sides is
// pinned the same way: the sender on the first CPU, the receiver on the second.
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "win32/Messages.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 20000;
constexpr int kWarmup = 500;
constexpr UINT kEcho = WM_USER + 1;
constexpr UINT kQuit = WM_USER + 2;

void PinTo(int cpu) {
  if (cpu < 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

int g_senderCpu = -1;
int g_receiverCpu = -1;

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

void Report(const char* name, const std::vector<double>& us) {
  std::printf("%s_p50_us %.2f\n", name, Percentile(us, 0.50));
  std::printf("%s_p99_us %.2f\n", name, Percentile(us, 0.99));
  std::printf("%s_max_us %.2f\n", name, Percentile(us, 1.0));
}

template <typename Fn>
std::vector<double> Measure(Fn roundTrip) {
  for (int i = 0; i < kWarmup; ++i) roundTrip(i);
  std::vector<double> us;
  us.reserve(kRounds);
  for (int i = 0; i < kRounds; ++i) {
    auto t0 = Clock::now();
    roundTrip(i);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  return us;
}

LRESULT EchoProc(HWND, UINT msg, WPARAM w, LPARAM) {
  if (msg == kEcho) return static_cast<LRESULT>(w) + 1;
  if (msg == kQuit) PostQuitMessage(0);
  return 0;
}

int Child(const char* file, int cpu) {
  PinTo(cpu);
  HWND h = CreateWindowWithProc(EchoProc);
  {
    std::ofstream out(std::string(file) + ".tmp");
    out << h << "\n";
  }
  std::rename((std::string(file) + ".tmp").c_str(), file);
  MSG m;
  while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  return 0;
}

std::vector<double> CrossProcess(const char* self) {
  std::string file = "/tmp/bench_messages." + std::to_string(getpid()) + ".hwnd";
  pid_t pid = fork();
  if (pid == 0) {
    std::string cpu = std::to_string(g_receiverCpu);
    execl(self, self, "child", file.c_str(), cpu.c_str(), nullptr);
    _exit(127);
  }
  HWND h = 0;
  for (int i = 0; i < 5000 && h == 0; ++i) {
    std::ifstream in(file);
    if (!(in >> h)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::remove(file.c_str());
  if (h == 0) {
    std::fprintf(stderr, "bench_messages: the child program did not start\n");
    std::exit(1);
  }
  int errors = 0;
  auto us = Measure([&](int i) {
    if (SendMessageA(h, kEcho, static_cast<WPARAM>(i), 0) != i + 1) ++errors;
  });
  SendMessageA(h, kQuit, 0, 0);
  waitpid(pid, nullptr, 0);
  if (errors) std::fprintf(stderr, "bench_messages: %d wrong answers\n", errors);
  return us;
}

std::vector<double> CrossThread() {
  HWND h = CreateWindowWithProc(EchoProc);
  std::vector<double> us;
  PinTo(g_receiverCpu);
  std::thread worker([&] {
    PinTo(g_senderCpu);
    us = Measure([&](int i) { SendMessageA(h, kEcho, static_cast<WPARAM>(i), 0); });
    PostMessageA(h, kQuit, 0, 0);
  });
  MSG m;
  while (GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  worker.join();
  PinTo(g_senderCpu);
  DestroyWindow(h);
  return us;
}

std::vector<double> RawSocket() {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) std::exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    PinTo(g_receiverCpu);
    close(sv[0]);
    char buf[48];
    for (;;) {
      ssize_t n = recv(sv[1], buf, sizeof buf, 0);
      if (n <= 0) _exit(0);
      if (send(sv[1], buf, 32, MSG_NOSIGNAL) != 32) _exit(0);
    }
  }
  close(sv[1]);
  char req[48] = {}, rep[32];
  auto us = Measure([&](int) {
    if (send(sv[0], req, sizeof req, MSG_NOSIGNAL) != sizeof req ||
        recv(sv[0], rep, sizeof rep, 0) != sizeof rep) {
      std::exit(1);
    }
  });
  close(sv[0]);
  waitpid(pid, nullptr, 0);
  return us;
}

// Starts the echo program and answers its window (0 when it did not start).
HWND StartChild(const char* self, pid_t& pid) {
  std::string file = "/tmp/bench_messages." + std::to_string(getpid()) + ".hwnd";
  pid = fork();
  if (pid == 0) {
    execl(self, self, "child", file.c_str(), "-1", nullptr);
    _exit(127);
  }
  HWND h = 0;
  for (int i = 0; i < 5000 && h == 0; ++i) {
    std::ifstream in(file);
    if (!(in >> h)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::remove(file.c_str());
  return h;
}

// A program stopped with SIGSTOP: how long the first send to it takes (until it counts as
// hung), how long the following ones take, and whether posting to it ever waits (a
// watchdog resumes it after 10 s should a post wait that long).
void HungPeer(const char* self) {
  pid_t pid;
  HWND h = StartChild(self, pid);
  if (h == 0 || SendMessageA(h, kEcho, 1, 0) != 2) {
    std::fprintf(stderr, "bench_messages: the child program did not start\n");
    std::exit(1);
  }
  kill(pid, SIGSTOP);
  auto t0 = Clock::now();
  SendMessageA(h, kEcho, 1, 0);
  double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  std::vector<double> next;
  for (int i = 0; i < 1000; ++i) {
    t0 = Clock::now();
    SendMessageA(h, kEcho, 1, 0);
    next.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::atomic<bool> posting{true}, blocked{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && posting; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (posting) {
      blocked = true;
      kill(pid, SIGCONT);
    }
  });
  for (int i = 0; i < 20000; ++i) {
    if (!PostMessageA(h, kEcho, static_cast<WPARAM>(i), 0)) break;
  }
  posting = false;
  watchdog.join();
  kill(pid, SIGCONT);
  std::printf("hung_peer_send_first_ms %.1f\n", firstMs);
  std::printf("hung_peer_send_next_us %.2f\n", Percentile(next, 0.5));
  std::printf("hung_peer_send_next_max_us %.2f\n", Percentile(next, 1.0));
  std::printf("post_to_hung_peer_blocks %d\n", blocked ? 1 : 0);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  // Once it has ended, its window answers from the missing socket.
  std::vector<double> dead;
  for (int i = 0; i < 1000; ++i) {
    t0 = Clock::now();
    SendMessageA(h, kEcho, 1, 0);
    dead.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::printf("ended_peer_send_us %.2f\n", Percentile(dead, 0.5));
}

void RunSet(const std::string& prefix, int senderCpu, int receiverCpu, const char* self) {
  g_senderCpu = senderCpu;
  g_receiverCpu = receiverCpu;
  PinTo(g_senderCpu);
  // The baseline first and last, so that a machine whose speed drifts shows it.
  auto raw = RawSocket();
  auto xproc = CrossProcess(self);
  auto xthread = CrossThread();
  auto raw2 = RawSocket();
  raw.insert(raw.end(), raw2.begin(), raw2.end());
  Report((prefix + "raw_socket").c_str(), raw);
  Report((prefix + "xproc_send").c_str(), xproc);
  Report((prefix + "xthread_send").c_str(), xthread);
  std::printf("%sxproc_over_raw_p50 %.2f\n", prefix.c_str(),
              Percentile(xproc, 0.5) / Percentile(raw, 0.5));
  std::printf("%sxproc_over_raw_p99 %.2f\n", prefix.c_str(),
              Percentile(xproc, 0.99) / Percentile(raw, 0.99));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "child") return Child(argv[2], std::atoi(argv[3]));
  if (!std::getenv("KAZ_PREFIX")) {
    char tmpl[] = "/tmp/bench-prefix-XXXXXX";
    if (char* d = mkdtemp(tmpl)) setenv("KAZ_PREFIX", d, 1);
  }
  std::printf("rounds %d\n", kRounds);
  // Across two cores: the figures the targets are about. Then both sides on one core.
  bool twoCpus = sysconf(_SC_NPROCESSORS_ONLN) >= 2;
  RunSet("", 0, twoCpus ? 1 : 0, argv[0]);
  RunSet("samecore_", 0, 0, argv[0]);
  HungPeer(argv[0]);
  return 0;
}
