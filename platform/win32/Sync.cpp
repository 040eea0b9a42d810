#include "win32/Sync.h"

#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

namespace win32 {
namespace {

// Handle values: multiples of 4 from 0x1000 upward, as kernel handles always are; never
// reused, so a stale handle can never reach a newer object.
std::mutex g_registryMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> g_registry;
std::uintptr_t g_nextHandle = 0x1000;

std::uintptr_t Key(HANDLE h) {
  return reinterpret_cast<std::uintptr_t>(h);
}

class Event final : public Waitable {
 public:
  Event(bool manualReset, bool signalled, int fd) : manual_(manualReset), fd_(fd) {
    if (signalled) Set();
  }
  ~Event() override { close(fd_); }

  int WaitFd() const override { return fd_; }

  bool TryAcquire() override {
    std::lock_guard lock(mutex_);
    if (!signalled_) return false;
    if (!manual_) Clear();
    return true;
  }

  void Set() {
    std::lock_guard lock(mutex_);
    if (signalled_) return;
    signalled_ = true;
    // The counter goes from 0 to 1 only on this transition, so it never exceeds 1.
    const std::uint64_t one = 1;
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    if (signalled_) Clear();
  }

 private:
  // Called with mutex_ held.
  void Clear() {
    signalled_ = false;
    std::uint64_t value = 0;
    while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
  }

  std::mutex mutex_;
  const bool manual_;
  bool signalled_ = false;
  const int fd_;
};

std::uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
}

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    std::lock_guard lock(g_registryMutex);
    std::uintptr_t value = g_nextHandle;
    g_registry.emplace(value, std::move(object));
    g_nextHandle += 4;
    return reinterpret_cast<HANDLE>(value);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  std::lock_guard lock(g_registryMutex);
  auto it = g_registry.find(Key(handle));
  return it == g_registry.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> UnregisterHandleIf(HANDLE handle,
                                                 bool (*accept)(const KernelObject&)) {
  std::shared_ptr<KernelObject> removed;
  {
    std::lock_guard lock(g_registryMutex);
    auto it = g_registry.find(Key(handle));
    if (it == g_registry.end() || !accept(*it->second)) return nullptr;
    removed = std::move(it->second);
    g_registry.erase(it);
  }
  // The object dies here, outside the registry's lock, unless a waiter still holds it.
  return removed;
}

int EventFd(HANDLE hEvent) {
  auto event = LookupHandleAs<Event>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  return event->WaitFd();
}

}  // namespace win32

using win32::Event;

HANDLE CreateEventA(void* /*security*/, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (name && *name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == EMFILE || errno == ENFILE ? ERROR_NOT_ENOUGH_QUOTA
                                                    : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::shared_ptr<Event> event;
  try {
    event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE, fd);
  } catch (const std::bad_alloc&) {
    close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = win32::RegisterHandle(std::move(event));
  if (h) SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL SetEvent(HANDLE hEvent) {
  auto event = win32::LookupHandleAs<Event>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto event = win32::LookupHandleAs<Event>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD ms) {
  // Holding the shared pointer keeps the object (and its descriptor) alive for the whole
  // wait, even if another thread closes the handle meanwhile.
  auto object = win32::LookupHandleAs<win32::Waitable>(hHandle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (object->TryAcquire()) return WAIT_OBJECT_0;
  if (ms == 0) return WAIT_TIMEOUT;

  const bool forever = ms == INFINITE;
  const std::uint64_t deadline = win32::MonotonicMs() + ms;
  pollfd pfd{object->WaitFd(), POLLIN, 0};
  for (;;) {
    int timeout = -1;
    if (!forever) {
      std::uint64_t now = win32::MonotonicMs();
      if (now >= deadline) return object->TryAcquire() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
      std::uint64_t left = deadline - now;
      timeout = left > std::uint64_t(INT_MAX) ? INT_MAX : int(left);
    }
    pfd.revents = 0;
    int n = poll(&pfd, 1, timeout);
    if (n < 0 && errno != EINTR) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    // Readable or not, the state under the object's lock decides; an auto-reset event may
    // have gone to another waiter between the wake-up and this check.
    if (object->TryAcquire()) return WAIT_OBJECT_0;
  }
}

BOOL CloseHandle(HANDLE hObject) {
  auto accept = [](const win32::KernelObject& o) { return o.ClosedByCloseHandle(); };
  if (!win32::UnregisterHandleIf(hObject, accept)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetTickCount() {
  return static_cast<DWORD>(win32::MonotonicMs());
}

void Sleep(DWORD ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  if (ms == INFINITE) {
    for (;;) pause();
  }
  timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec rem{};
  while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}
