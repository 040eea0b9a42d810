// Kernel objects: the handle registry, events, waits, the tick counter and Sleep.
//
// Every kernel-object handle the platform hands out (events, find handles, modules) is an
// entry of one registry. A handle is an opaque number, never an address: it is never 0 or
// INVALID_HANDLE_VALUE and never reused while the process runs, so a stale or made-up
// handle is an error code (ERROR_INVALID_HANDLE), never a crash. Each kind of object is
// only accepted by its own functions: CloseHandle refuses a find handle or a module, and
// FindClose and FreeLibrary refuse an event.
//
// Everything here may be called from any thread.
#pragma once

#include <memory>

#include "win32/Types.h"

// Creates an event. `security` is ignored. Only unnamed events are supported: a non-null,
// non-empty `name` fails with ERROR_NOT_SUPPORTED (events are never shared between
// processes here; the programs talk by window messages).
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// Waits until the object is signalled (WAIT_OBJECT_0), `ms` milliseconds have passed
// (WAIT_TIMEOUT; INFINITE waits for ever) or the handle is not a waitable object
// (WAIT_FAILED, GetLastError ERROR_INVALID_HANDLE). Taking an auto-reset event resets it,
// so one SetEvent releases exactly one waiter. Closing a handle that another thread waits
// on does not free the object under that waiter; the waiter still needs a SetEvent.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD ms);

// Closes an event (or another waitable kernel object). FALSE with ERROR_INVALID_HANDLE for
// anything else: 0, INVALID_HANDLE_VALUE, a closed handle, a find handle, a module.
BOOL CloseHandle(HANDLE hObject);

// Milliseconds of the monotonic clock (CLOCK_MONOTONIC), wrapping every 49.7 days.
DWORD GetTickCount();
// Sleeps at least `ms` milliseconds; Sleep(0) yields; Sleep(INFINITE) never returns.
void Sleep(DWORD ms);

namespace win32 {

// A file descriptor that is readable exactly while the event is signalled: it becomes
// readable at SetEvent and stops being readable at ResetEvent or when a wait takes an
// auto-reset event. Lets a message loop wait on an event and its queue at once: poll the
// descriptor, and when it is readable call WaitForSingleObject(hEvent, 0) to take the
// signal (another thread may have taken an auto-reset event in between; then that wait
// answers WAIT_TIMEOUT). Never read or write the descriptor yourself. It belongs to the
// event and is closed when the event is closed (and no wait still uses it). Answers -1,
// with ERROR_INVALID_HANDLE, when the handle is not an event.
int EventFd(HANDLE hEvent);

// --- The registry, for the platform's own sources -----------------------------------

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Whether CloseHandle may close it (events, threads). Find handles and modules have
  // their own closing functions.
  virtual bool ClosedByCloseHandle() const { return false; }
};

// An object that WaitForSingleObject can wait on.
class Waitable : public KernelObject {
 public:
  bool ClosedByCloseHandle() const override { return true; }
  // Readable while the object is signalled (it may stay readable for a moment after
  // another waiter took the signal; TryAcquire decides).
  virtual int WaitFd() const = 0;
  // Takes the signal when the object is signalled (resetting an auto-reset object), under
  // the object's own lock. Answers whether it was signalled.
  virtual bool TryAcquire() = 0;
};

// Registers an object; answers its new handle (0 with ERROR_NOT_ENOUGH_MEMORY when it
// cannot be stored).
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes a handle when its object is a T; answers the object (null, and nothing removed,
// when the handle is unknown or of another kind).
std::shared_ptr<KernelObject> UnregisterHandleIf(HANDLE handle,
                                                 bool (*accept)(const KernelObject&));
template <class T>
std::shared_ptr<T> UnregisterHandleAs(HANDLE handle) {
  auto accept = [](const KernelObject& o) { return dynamic_cast<const T*>(&o) != nullptr; };
  return std::static_pointer_cast<T>(UnregisterHandleIf(handle, accept));
}

}  // namespace win32
