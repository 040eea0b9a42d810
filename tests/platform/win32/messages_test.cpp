#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "msg_protocol.h"
#include "support/TestSupport.h"
#include "win32/Messages.h"
#include "win32/Prefix.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using kaztest::PumpUntil;

// A peer program with one window; killed at the end of the test if still running.
struct Peer {
  int pid = -1;
  HWND hwnd = 0;

  bool Start(const std::vector<std::string>& extra = {"serve"}) {
    static int n = 0;
    std::string file = kaztest::Prefix() + "/peer-" + std::to_string(++n) + ".hwnd";
    std::vector<std::string> args{file};
    args.insert(args.end(), extra.begin(), extra.end());
    pid = kaztest::Spawn(kaztest::ProgramDir() + "/msg_peer", args);
    if (pid < 0) return false;
    auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      std::ifstream in(file);
      if (in >> hwnd && hwnd != 0) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  int Wait(int ms = 10000) {
    int rc = kaztest::WaitExit(pid, ms);
    pid = -1;
    return rc;
  }
  ~Peer() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      kaztest::WaitExit(pid, 5000);
    }
  }
};

TEST(Windows, HandlesAreNonZeroUniqueAndFitASignedInteger) {
  std::vector<HWND> handles;
  for (int i = 0; i < 100; ++i) {
    HWND h = CreateWindowWithProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ASSERT_NE(h, 0u);
    EXPECT_LT(h, 0x80000000u);
    handles.push_back(h);
  }
  for (HWND h : handles) EXPECT_TRUE(DestroyWindow(h));
  HWND again = CreateWindowWithProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  for (HWND h : handles) {
    EXPECT_NE(h, again) << "a destroyed window's handle came back";
    EXPECT_FALSE(IsWindow(h));
  }
  EXPECT_TRUE(IsWindow(again));
}

TEST(Windows, AnUnusablePrefixIsReportedAndWindowsStillWork) {
  // Runs in a process of its own (ctest), so this is the first use of the prefix here.
  const std::string saved = kaztest::Prefix();
  const std::string blocker = saved + "/a-file";
  kaztest::WriteFile(blocker, "not a folder");
  setenv("KAZ_PREFIX", (blocker + "/prefix").c_str(), 1);
  win32::ResetPrefixForTesting();
  testing::internal::CaptureStderr();
  HWND h = CreateWindowWithProc([](HWND, UINT, WPARAM w, LPARAM) -> LRESULT { return w; });
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_NE(h, 0u);
  EXPECT_EQ(SendMessageA(h, WM_USER, 9, 0), 9);
  EXPECT_NE(err.find("cannot use the prefix folder"), std::string::npos) << err;
  setenv("KAZ_PREFIX", saved.c_str(), 1);
}

TEST(Windows, DestroyedAndUnknownHandlesAnswerZero) {
  int calls = 0;
  HWND h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg != WM_DESTROY) ++calls;
    return 7;
  });
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 7);
  PostMessageA(h, WM_USER, 0, 0);  // dropped with the window
  DestroyWindow(h);
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 0);
  EXPECT_EQ(SendMessageA(0, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
  win32::PumpThreadMessages();
  EXPECT_EQ(calls, 1);
  // A handle no program ever had: no socket answers for it, so nothing is waited for.
  SetLastError(0);
  EXPECT_EQ(SendMessageA(0x7FFF0001u, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(IsWindow(0x7FFF0001u));
}

TEST(Windows, SubclassingReplacesTheProcedure) {
  HWND h = CreateWindowWithProc([](HWND, UINT, WPARAM w, LPARAM) -> LRESULT { return w; });
  WindowProcFn old = SetWindowProc(h, nullptr);
  SetWindowProc(h, [old](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_PASTE) return -1;  // refused
    return CallWindowProcA(old, hw, m, w, l);
  });
  EXPECT_EQ(SendMessageA(h, WM_PASTE, 5, 0), -1);
  EXPECT_EQ(SendMessageA(h, WM_USER, 5, 0), 5);
}

TEST(Queue, PostedMessagesArriveInOrderThroughTheEventLoopHook) {
  std::vector<WPARAM> seen;
  HWND h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == WM_USER) seen.push_back(w);
    return 0;
  });
  std::thread poster([h] {
    for (WPARAM i = 0; i < 500; ++i) PostMessageA(h, WM_USER, i, 0);
  });
  poster.join();
  // Everything is there: the descriptor says so, and one pump takes all of it.
  pollfd p{win32::ThreadMessageFd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 1000), 1);
  win32::PumpThreadMessages();
  ASSERT_EQ(seen.size(), 500u);
  for (WPARAM i = 0; i < 500; ++i) EXPECT_EQ(seen[i], i);
  // Nothing left: the descriptor is quiet again.
  EXPECT_EQ(poll(&p, 1, 0), 0);
}

TEST(Queue, AHandlerThatKeepsPostingDoesNotStarveTheLoop) {
  int handled = 0;
  HWND h = 0;
  h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER) {
      ++handled;
      PostMessageA(h, WM_USER, 0, 0);
    }
    return 0;
  });
  PostMessageA(h, WM_USER, 0, 0);
  win32::PumpThreadMessages();
  EXPECT_EQ(handled, 1);
  pollfd p{win32::ThreadMessageFd(), POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 1) << "the re-posted message must keep the queue readable";
  win32::PumpThreadMessages();
  EXPECT_EQ(handled, 2);
  DestroyWindow(h);  // drops the message it posted last
}

TEST(Queue, GetMessageReturnsFalseOnQuit) {
  win32::PumpThreadMessages();
  HWND h = CreateWindowWithProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  PostMessageA(h, WM_USER, 1, 2);
  PostQuitMessage(9);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), TRUE);
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_EQ(m.lParam, 2);
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), FALSE);
  EXPECT_EQ(m.wParam, 9u);
}

TEST(Queue, TimersTickThroughTheQueueAndStopWhenKilled) {
  int ticks = 0;
  HWND h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == WM_TIMER && w == 42) ++ticks;
    return 0;
  });
  EXPECT_EQ(SetTimer(h, 42, 20, nullptr), 42u);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
  EXPECT_TRUE(KillTimer(h, 42));
  int after = ticks;
  kaztest::PumpFor(100);
  EXPECT_EQ(ticks, after);
  EXPECT_FALSE(KillTimer(h, 42));
  // A timer of a window of another thread cannot be set from here.
  HWND foreign = 0;
  std::thread t([&] {
    foreign = CreateWindowWithProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  });
  t.join();
  EXPECT_EQ(SetTimer(foreign, 1, 10, nullptr), 0u);
}

TEST(Queue, AnExceptionInAPostedMessageGoesToTheHandlerAndTheLoopGoesOn) {
  std::string reported;
  win32::SetDispatchExceptionHandler([&] {
    try {
      throw;
    } catch (const std::exception& e) {
      reported = e.what();
    }
  });
  int after = 0;
  HWND h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER) throw std::runtime_error("boom");
    if (msg == WM_USER + 1) ++after;
    return 0;
  });
  PostMessageA(h, WM_USER, 0, 0);
  PostMessageA(h, WM_USER + 1, 0, 0);
  win32::PumpThreadMessages();
  EXPECT_EQ(reported, "boom");
  EXPECT_EQ(after, 1);
  win32::SetDispatchExceptionHandler(nullptr);
}

TEST(Threads, SendFromAWorkerRunsOnTheOwnerThreadAndReturnsTheResult) {
  const DWORD mainTid = GetCurrentThreadId();
  std::atomic<int> wrongThread{0};
  HWND h = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (GetCurrentThreadId() != mainTid) ++wrongThread;
    return msg == WM_USER ? static_cast<LRESULT>(w) + 1000 : 0;
  });
  std::atomic<bool> done{false};
  std::atomic<int> wrongResult{0};
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      if (SendMessageA(h, WM_USER, static_cast<WPARAM>(i), 0) != i + 1000) ++wrongResult;
    }
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }, 20000));
  worker.join();
  EXPECT_EQ(wrongThread, 0);
  EXPECT_EQ(wrongResult, 0);
}

TEST(Threads, TwoThreadsSendingToEachOtherNeverDeadlock) {
  // Each thread owns a window and sends to the other's while the other sends to it.
  std::atomic<HWND> a{0}, b{0};
  std::atomic<int> errors{0};
  auto body = [&](std::atomic<HWND>& mine, std::atomic<HWND>& theirs) {
    const DWORD tid = GetCurrentThreadId();
    mine = CreateWindowWithProc([&, tid](HWND, UINT, WPARAM w, LPARAM) -> LRESULT {
      if (GetCurrentThreadId() != tid) ++errors;
      return static_cast<LRESULT>(w) * 3;
    });
    while (!theirs) std::this_thread::yield();
    for (int i = 0; i < 3000; ++i) {
      if (SendMessageA(theirs, WM_USER, static_cast<WPARAM>(i), 0) != 3 * i) ++errors;
    }
    // Keep serving until the other side is done with us too.
    win32::WaitServingSentMessages([] { return false; }, 300, -1);
  };
  std::thread t1(body, std::ref(a), std::ref(b));
  std::thread t2(body, std::ref(b), std::ref(a));
  t1.join();
  t2.join();
  EXPECT_EQ(errors, 0);
}

TEST(Threads, CallOnThreadRunsThereAndAThreadThatEndedAnswersFalse) {
  const DWORD mainTid = GetCurrentThreadId();
  win32::ThreadMessageFd();  // the main thread has a queue
  std::atomic<bool> done{false};
  DWORD ranOn = 0;
  std::thread worker([&] {
    EXPECT_TRUE(win32::CallOnThread(mainTid, [&] { ranOn = GetCurrentThreadId(); }));
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(ranOn, mainTid);

  DWORD ended = 0;
  std::thread shortLived([&] {
    win32::ThreadMessageFd();
    ended = GetCurrentThreadId();
  });
  shortLived.join();
  EXPECT_FALSE(win32::CallOnThread(ended, [] { FAIL() << "ran on an ended thread"; }));
}

TEST(Threads, SendToAThreadThatEndsWithoutAnsweringReturnsZero) {
  std::atomic<HWND> h{0};
  std::atomic<bool> release{false};
  std::thread owner([&] {
    h = CreateWindowWithProc([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
    while (!release) std::this_thread::sleep_for(1ms);
    // Ends without ever pumping: a waiting sender must be let go.
  });
  while (!h) std::this_thread::yield();
  std::thread releaser([&] {
    std::this_thread::sleep_for(50ms);
    release = true;
  });
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 0);
  owner.join();
  releaser.join();
}

TEST(Processes, SendAndPostReachAnotherProgram) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  EXPECT_TRUE(IsWindow(peer.hwnd));
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kEcho, 20, 3), 43);
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kWhoAmI, 0, 0), peer.pid);
  DWORD pid = 0;
  GetWindowThreadProcessId(peer.hwnd, &pid);
  EXPECT_EQ(static_cast<int>(pid), peer.pid);

  // The peer posts back to a window of ours.
  LPARAM got = 0;
  HWND mine = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    if (msg == msgtest::kPosted) got = static_cast<LPARAM>(w);
    return 0;
  });
  EXPECT_TRUE(PostMessageA(peer.hwnd, msgtest::kPostBack, mine, 77));
  ASSERT_TRUE(PumpUntil([&] { return got == 77; }));

  // A handle of the peer that is not a window.
  EXPECT_FALSE(IsWindow(peer.hwnd + 1));
  EXPECT_EQ(SendMessageA(peer.hwnd + 1, msgtest::kEcho, 1, 1), 0);

  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kQuit, 0, 0), 1);
  EXPECT_EQ(peer.Wait(), 0);
}

TEST(Processes, TwoProgramsSendingToEachOtherAtOnceNeverDeadlock) {
  const DWORD mainTid = GetCurrentThreadId();
  int wrongThread = 0;
  HWND mine = CreateWindowWithProc([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    if (GetCurrentThreadId() != mainTid) ++wrongThread;
    return msg == msgtest::kEcho ? static_cast<LRESULT>(w) * 2 + l : 0;
  });
  constexpr int kCount = 2000;
  for (int round = 0; round < 3; ++round) {
    Peer peer;
    ASSERT_TRUE(peer.Start({"pingpong", std::to_string(mine), std::to_string(kCount)}));
    // Post the start so that the peer begins sending while we send too.
    PostMessageA(peer.hwnd, msgtest::kStart, 0, 0);
    int wrong = 0;
    for (int i = 0; i < kCount; ++i) {
      if (SendMessageA(peer.hwnd, msgtest::kEcho, static_cast<WPARAM>(i), 1) != 2 * i + 1) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    // The peer's own sends may still be under way: serve them until it has quit.
    EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kQuit, 0, 0), 1);
    int rc = -1;
    ASSERT_TRUE(PumpUntil([&] { return (rc = kaztest::TryWait(peer.pid)) != -1; }, 20000));
    peer.pid = -1;
    EXPECT_EQ(rc, 0) << "the peer saw wrong answers or ran a handler off its main thread";
  }
  EXPECT_EQ(wrongThread, 0);
}

TEST(Processes, AKilledProgramsWindowAnswersZeroAtOnce) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  HWND h = peer.hwnd;
  EXPECT_EQ(SendMessageA(h, msgtest::kEcho, 1, 0), 2);  // a cached connection exists now
  kill(peer.pid, SIGKILL);
  peer.Wait();
  // Gone, not hung: the answer comes from the missing socket, never from a time-out
  // (bench_messages measures how soon).
  SetLastError(0);
  EXPECT_EQ(SendMessageA(h, msgtest::kEcho, 1, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(SendMessageA(h, msgtest::kEcho, 1, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessageA(h, msgtest::kEcho, 1, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

// Stops a peer program (SIGSTOP) for the life of the object. Should a call under test wait
// for the stopped program, the watchdog resumes it after a long while so that the test
// ends and reports the wait (`Fired`) instead of hanging.
class Stopped {
 public:
  explicit Stopped(int pid) : pid_(pid) {
    kill(pid_, SIGSTOP);
    watchdog_ = std::thread([this] {
      std::unique_lock lock(mutex_);
      if (!wake_.wait_for(lock, 30s, [this] { return resumed_; })) {
        fired_ = true;
        kill(pid_, SIGCONT);
      }
    });
  }
  ~Stopped() { Resume(); }
  void Resume() {
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return;
      resumed_ = true;
    }
    wake_.notify_all();
    watchdog_.join();
    kill(pid_, SIGCONT);
  }
  bool Fired() const { return fired_; }

 private:
  int pid_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool resumed_ = false;
  std::atomic<bool> fired_{false};
  std::thread watchdog_;
};

TEST(HungPrograms, PostsToAStoppedProgramNeverWaitAreBoundedAndArriveInOrder) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  ASSERT_EQ(SendMessageA(peer.hwnd, msgtest::kRecordCount, 0, 0), 0);
  Stopped stop(peer.pid);
  // Far more than the socket holds; the backlog's bound ends the run.
  long accepted = 0;
  DWORD error = 0;
  for (long i = 0; i < 30000; ++i) {
    if (!PostMessageA(peer.hwnd, msgtest::kRecord, static_cast<WPARAM>(i), 0)) {
      error = GetLastError();
      break;
    }
    ++accepted;
  }
  EXPECT_FALSE(stop.Fired()) << "a post waited for the stopped program";
  EXPECT_GT(accepted, 10000);
  EXPECT_LT(accepted, 30000) << "the posts held for a stopped program have no bound";
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_QUOTA);
  stop.Resume();
  // Only our event loop turns from here on: the held posts go out as the socket drains.
  long got = 0;
  EXPECT_TRUE(PumpUntil(
      [&] { return (got = SendMessageA(peer.hwnd, msgtest::kRecordCount, 0, 0)) == accepted; },
      30000));
  EXPECT_EQ(got, accepted) << "-1: the posts arrived out of order";
  EXPECT_TRUE(PostMessageA(peer.hwnd, msgtest::kRecord, static_cast<WPARAM>(accepted), 0));
  EXPECT_TRUE(PumpUntil(
      [&] { return SendMessageA(peer.hwnd, msgtest::kRecordCount, 0, 0) == accepted + 1; }));
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kQuit, 0, 0), 1);
  EXPECT_EQ(peer.Wait(), 0);
}

TEST(HungPrograms, ASendToAStoppedProgramGivesUpOnceThenAnswersAtOnceUntilItServesAgain) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  ASSERT_EQ(SendMessageA(peer.hwnd, msgtest::kEcho, 1, 0), 2);
  HWND mine = CreateWindowWithProc([](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
    return msg == msgtest::kEcho ? static_cast<LRESULT>(w) + 1 : 0;
  });
  Stopped stop(peer.pid);

  // A worker sends to our window while we wait for the stopped program: the wait serves it.
  std::atomic<bool> workerStarted{false};
  LRESULT workerGot = 0;
  std::thread worker([&] {
    workerStarted = true;
    workerGot = SendMessageA(mine, msgtest::kEcho, 41, 0);
  });
  while (!workerStarted) std::this_thread::yield();
  SetLastError(0);
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kEcho, 1000, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
  worker.join();
  EXPECT_EQ(workerGot, 42) << "the wait for the stopped program did not serve our window";

  // Marked hung: many more sends, each of which would cost the whole wait again, end long
  // before the watchdog. The window still exists.
  for (int i = 0; i < 100; ++i) EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kEcho, 5, 0), 0);
  EXPECT_TRUE(IsWindow(peer.hwnd));
  EXPECT_FALSE(stop.Fired()) << "sends to a hung window waited each time";

  stop.Resume();
  // Once it serves again, sends answer again, each with its own answer: the late answer to
  // the abandoned send (2000) is never taken for a later one.
  LRESULT got = 0;
  EXPECT_TRUE(PumpUntil([&] { return (got = SendMessageA(peer.hwnd, msgtest::kEcho, 7, 0)) != 0; }));
  EXPECT_EQ(got, 14);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kEcho, i, 1), 2 * i + 1);
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kQuit, 0, 0), 1);
  EXPECT_EQ(peer.Wait(), 0);
  DestroyWindow(mine);
}

TEST(HungPrograms, AHungProgramThatEndsAnswersZeroAtOnce) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  HWND h = peer.hwnd;
  {
    Stopped stop(peer.pid);
    EXPECT_EQ(SendMessageA(h, msgtest::kEcho, 1, 0), 0);
    EXPECT_TRUE(PostMessageA(h, msgtest::kRecord, 0, 0));
    kill(peer.pid, SIGKILL);
    peer.Wait();
  }
  EXPECT_EQ(SendMessageA(h, msgtest::kEcho, 1, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessageA(h, msgtest::kRecord, 1, 0));
}

TEST(Processes, AProgramEndingInsideTheHandlerReleasesTheSender) {
  Peer peer;
  ASSERT_TRUE(peer.Start());
  EXPECT_EQ(SendMessageA(peer.hwnd, msgtest::kDie, 0, 0), 0);
  EXPECT_EQ(peer.Wait(), 3);
}

}  // namespace
