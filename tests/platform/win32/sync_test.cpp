// Events, waits, handles, the tick counter. Time-outs are checked from below only; an
// upper bound would fail on a loaded machine.
#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "win32/Win32.h"

namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

// Waits (in real time) until `done` holds or two seconds passed.
template <class F>
bool Eventually(F done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

TEST(Sync, AutoResetEventIsTakenByOneWait) {
  HANDLE e = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(e));
  EXPECT_TRUE(SetEvent(e));  // setting a set event changes nothing
  EXPECT_EQ(WaitForSingleObject(e, 10), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(e));
  EXPECT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(e));
}

TEST(Sync, ManualResetEventStaysSetUntilReset) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(e));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(e));
}

TEST(Sync, WaitTimesOutAfterItsTime) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 60), WAIT_TIMEOUT);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(59));
  CloseHandle(e);
}

TEST(Sync, SetEventFromAnotherThreadEndsAnInfiniteWait) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<DWORD> result{0xDEAD};
  std::thread waiter([&] { result = WaitForSingleObject(e, INFINITE); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(result.load(), 0xDEADu);
  EXPECT_TRUE(SetEvent(e));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // the waiter took it
  CloseHandle(e);
}

TEST(Sync, EachSetOfAnAutoResetEventReleasesExactlyOneWaiter) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  constexpr int kWaiters = 4;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e, INFINITE) == WAIT_OBJECT_0) ++released;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(released.load(), 0);
  for (int i = 1; i <= kWaiters; ++i) {
    EXPECT_TRUE(SetEvent(e));
    EXPECT_TRUE(Eventually([&] { return released.load() >= i; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    EXPECT_EQ(released.load(), i) << "one SetEvent released more than one waiter";
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Sync, ManualResetReleasesEveryWaiter) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(e, 5000) == WAIT_OBJECT_0) ++released;
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(SetEvent(e));
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 4);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CloseHandle(e);
}

TEST(Sync, ThreadsHammeringOneAutoResetEventNeverDoubleTake) {
  // Many sets and many takers: every successful wait consumed one set that happened while
  // the event was clear, so takes never exceed sets.
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> taken{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> takers;
  for (int i = 0; i < 3; ++i) {
    takers.emplace_back([&] {
      while (!stop) {
        if (WaitForSingleObject(e, 5) == WAIT_OBJECT_0) ++taken;
      }
    });
  }
  int sets = 0;
  for (int i = 0; i < 300; ++i) {
    if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (WaitForSingleObject(e, 0) == WAIT_OBJECT_0) ++taken;  // take a pending one ourselves
    SetEvent(e);
    ++sets;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  stop = true;
  for (auto& t : takers) t.join();
  if (WaitForSingleObject(e, 0) == WAIT_OBJECT_0) ++taken;
  EXPECT_LE(taken.load(), sets);
  EXPECT_GT(taken.load(), 0);
  CloseHandle(e);
}

TEST(Sync, EventFdIsReadableExactlyWhileSignalled) {
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int fd = win32::EventFd(manual);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(Readable(fd));
  SetEvent(manual);
  EXPECT_TRUE(Readable(fd));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(Readable(fd));
  ResetEvent(manual);
  EXPECT_FALSE(Readable(fd));

  HANDLE autoReset = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  int afd = win32::EventFd(autoReset);
  ASSERT_GE(afd, 0);
  EXPECT_NE(afd, fd);
  EXPECT_TRUE(Readable(afd));
  EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(Readable(afd));

  // A loop that polls the descriptor wakes when another thread sets the event.
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SetEvent(autoReset);
  });
  pollfd p{afd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 5000), 1);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(Readable(afd));

  EXPECT_EQ(win32::EventFd(nullptr), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(manual);
  CloseHandle(autoReset);
  EXPECT_EQ(win32::EventFd(manual), -1);
}

TEST(Sync, BadHandlesAreErrorCodes) {
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_NE(e, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ResetEvent(e));
  for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                     reinterpret_cast<HANDLE>(0x4), reinterpret_cast<HANDLE>(0xfffff0)}) {
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(bad));
  }
  // Handles are never reused.
  HANDLE next = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_NE(next, e);
  CloseHandle(next);
}

TEST(Sync, ClosingWhileAnotherThreadWaitsDoesNotPullTheEventAway) {
  HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> result{0xDEAD};
  std::atomic<bool> waiting{false};
  std::thread waiter([&] {
    waiting = true;
    result = WaitForSingleObject(e, 100);
  });
  ASSERT_TRUE(Eventually([&] { return waiting.load(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(CloseHandle(e));
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST(Sync, NamedEventsAreNotSupported) {
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "Global\\KazBeat"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  HANDLE e = CreateEventA(nullptr, FALSE, FALSE, "");
  EXPECT_NE(e, nullptr);
  CloseHandle(e);
}

TEST(Sync, TickCountFollowsSleep) {
  DWORD t0 = GetTickCount();
  Sleep(30);
  DWORD t1 = GetTickCount();
  EXPECT_GE(DWORD(t1 - t0), 30u);
  EXPECT_LT(DWORD(t1 - t0), 10000u);
  Sleep(0);
}
