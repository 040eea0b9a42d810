// TThread over std::thread, with cooperative suspension (see Classes.h).
//
// The suspension request is an eventfd that is readable while a pause is asked for, so a
// thread waiting on a platform event can be woken by a pause as well (poll on both).
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "classlib/Classes.h"
#include "win32/Sync.h"

namespace {

// Nice offsets from the process's own level, in the order of TThreadPriority. The
// platform's priority levels (-15, -2, -1, 0, 1, 2, 15) have no direct counterpart in nice
// values; what matters is their order and that normal means unchanged.
constexpr int kNiceOffset[] = {19, 10, 5, 0, -5, -10, -20};

void DrainFd(int fd) {
  eventfd_t value;
  while (eventfd_read(fd, &value) == 0) {
  }
}

}  // namespace

TThread::TThread(bool CreateSuspended) {
  // The first thread to make a worker is the GUI thread, unless the application said so.
  if (MainThreadID() == 0) SetMainThreadID();
  suspend_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ended_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (suspend_fd_ < 0 || ended_fd_ < 0) {
    String reason = std::strerror(errno);
    if (suspend_fd_ >= 0) close(suspend_fd_);
    if (ended_fd_ >= 0) close(ended_fd_);
    throw EThread("Thread creation error: %s", reason);
  }
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, 0);
  base_nice_ = errno == 0 ? nice : 0;
  suspended_ = CreateSuspended;
  if (CreateSuspended) SignalSuspendFd(true);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::exception& e) {
    close(suspend_fd_);
    close(ended_fd_);
    throw EThread("Thread creation error: %s", e.what());
  }
  // ThreadID and Handle are valid as soon as the constructor returns, as callers expect.
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait(lock, [this] { return running_id_known_; });
}

TThread::~TThread() {
  if (OnOwnThread()) {
    // FreeOnTerminate: the thread is deleting its own object on its way out.
    thread_.detach();
  } else if (thread_.joinable()) {
    bool never_started;
    bool ended;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      never_started = !started_;
      if (never_started) cancelled_ = true;
      ended = ended_;
    }
    cv_.notify_all();
    if (!never_started && !ended) {
      Terminate();
      Resume();
      WaitFor();
    }
    thread_.join();
  }
  close(suspend_fd_);
  close(ended_fd_);
}

void TThread::Run() {
  os_tid_ = static_cast<int>(GetCurrentThreadId());
  thread_id_ = GetCurrentThreadId();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_id_known_ = true;
  }
  cv_.notify_all();
  if (priority_.load() != tpNormal) ApplyPriority();

  bool cancelled;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return started_ || cancelled_; });
    cancelled = cancelled_;
  }
  bool free_self = false;
  if (!cancelled) {
    try {
      Execute();
    } catch (...) {
      fatal_exception_ = std::current_exception();
    }
    finished_ = true;
    free_self = free_on_terminate_.load();
    try {
      DoTerminate();
    } catch (...) {
      // OnTerminate's own errors were reported on the GUI thread; a lost GUI thread is not
      // worth more than the end of this one.
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
  }
  eventfd_write(ended_fd_, 1);
  cv_.notify_all();
  if (free_self) delete this;
}

void TThread::AfterConstruction() {
  Start();
}

// Resume and Start notify under the lock: a thread that frees itself at its end could
// otherwise be gone before the notification touches it.
void TThread::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_ || started_ || cancelled_) return;
  started_ = true;
  cv_.notify_all();
}

void TThread::SignalSuspendFd(bool Paused) {
  if (Paused) {
    eventfd_write(suspend_fd_, 1);
  } else {
    DrainFd(suspend_fd_);
  }
}

void TThread::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!suspended_) return;
  suspended_ = false;
  if (!cancelled_) started_ = true;
  SignalSuspendFd(false);
  cv_.notify_all();
}

void TThread::Suspend() {
  const bool own = OnOwnThread();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (suspended_) return;
    suspended_ = true;
    ++pause_generation_;
    SignalSuspendFd(true);
  }
  // A thread that pauses itself stops right here, before Suspend returns.
  if (own) CheckSuspended();
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return suspended_;
}

void TThread::SetSuspended(bool Value) {
  if (Value) {
    Suspend();
  } else {
    Resume();
  }
}

void TThread::Terminate() {
  terminated_ = true;
}

bool TThread::OnOwnThread() const {
  return os_tid_.load() == static_cast<int>(GetCurrentThreadId());
}

HANDLE TThread::Handle() const {
  return reinterpret_cast<HANDLE>(
      static_cast<std::uintptr_t>(const_cast<std::thread&>(thread_).native_handle()));
}

Integer TThread::WaitFor() {
  if (OnOwnThread()) throw EThread("A thread cannot wait for itself");
  if (IsMainThread()) {
    // Serve the worker's Synchronize calls while waiting, or a worker handing over a call
    // and the GUI thread waiting for that worker would wait for each other for ever.
    auto ended = [this] {
      std::lock_guard<std::mutex> lock(mutex_);
      return ended_;
    };
    // Asked again under the lock after each return: the wait may end on the descriptor
    // alone, and the lock is what orders the thread's last steps before our next ones.
    while (!ended()) win32::WaitServingSentMessages(ended, INFINITE, ended_fd_);
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return ended_; });
  }
  return return_value_.load();
}

void TThread::SetPriority(TThreadPriority Value) {
  priority_ = Value;
  if (os_tid_.load() != 0) ApplyPriority();
}

void TThread::ApplyPriority() {
  int nice = base_nice_ + kNiceOffset[priority_.load()];
  if (nice < -20) nice = -20;
  if (nice > 19) nice = 19;
  // Raising the priority needs a right most users lack; the value is then only kept.
  setpriority(PRIO_PROCESS, static_cast<id_t>(os_tid_.load()), nice);
}

bool TThread::CheckSuspended() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!suspended_) return false;
  cv_.wait(lock, [this] { return !suspended_; });
  return true;
}

void TThread::Synchronize(const std::function<void()>& Method) {
  if (IsMainThread() || MainThreadID() == 0) {
    Method();
    return;
  }
  CheckSuspended();
  bool ran = win32::CallOnThread(MainThreadID(), [this, &Method] {
    try {
      Method();
    } catch (...) {
      HandleExceptionNow(this);
    }
  });
  if (!ran) throw EThread("Cannot call the main thread");
  CheckSuspended();
}

DWORD TThread::SuspendableWait(HANDLE Event, DWORD Milliseconds) {
  Cardinal generation;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    generation = pause_generation_;
  }
  auto paused_since = [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    return pause_generation_ != generation;
  };
  if (CheckSuspended()) return WAIT_SUSPENDED;
  int event_fd = win32::EventFd(Event);
  if (event_fd < 0) return WAIT_FAILED;

  using Clock = std::chrono::steady_clock;
  const bool forever = Milliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : Milliseconds);
  for (;;) {
    int timeout = -1;
    if (!forever) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd fds[2] = {{event_fd, POLLIN, 0}, {suspend_fd_, POLLIN, 0}};
    int r = poll(fds, 2, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      return WAIT_FAILED;
    }
    // A pause wins over the event: the caller must not act on a wait that a pause cut
    // short. The generation also catches a pause that was already lifted again.
    if ((fds[1].revents & POLLIN) || paused_since()) {
      CheckSuspended();
      return WAIT_SUSPENDED;
    }
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) {
      DWORD w = WaitForSingleObject(Event, 0);
      if (w != WAIT_TIMEOUT) return w;
      continue;  // another waiter took the signal
    }
    if (r == 0 && !forever && Clock::now() >= deadline) return WAIT_TIMEOUT;
  }
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}
