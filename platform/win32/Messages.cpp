// Windows, thread queues and message delivery within and between processes.
//
// Handles. A handle is (block << 14) | index. A block is a range of 16383 handles that
// belongs to one thread of one process; blocks are numbered by a counter in the prefix, so
// handles are unique among the programs that share a prefix and never reused while their
// program runs. Each block is also the name of an abstract Unix-domain socket on which its
// thread listens: a handle alone says where to send. An abstract socket disappears with its
// process, so a send to the window of an ended program fails at connect, at once.
//
// Queues. Each thread that makes windows or waits for answers has a queue with three kinds
// of work: sent items (calls handed over from other threads of the process), posted
// messages, and timers; plus the sockets of its blocks and the connections accepted on
// them. Everything it may have to do is registered in one epoll descriptor, which the
// event loop watches. The descriptors of the sent and posted lists are readable exactly
// while their list is not empty, so readiness never gets lost between a wake-up and a pump.
#include "win32/Messages.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "win32/Prefix.h"

namespace {

constexpr unsigned kIndexBits = 14;
constexpr UINT kIndexMask = (1u << kIndexBits) - 1;
constexpr UINT kMaxBlock = (1u << (31 - kIndexBits)) - 1;  // keeps handles below 2^31
constexpr UINT kMinTimerMs = 10;

// A program that has not answered a request in this time counts as hung: the request
// answers 0, and later requests to the same thread of it answer 0 at once until it
// answers again. Short enough that a GUI thread sending to a stopped program stalls once,
// briefly; long enough that a busy program is not taken for a hung one.
constexpr DWORD kHungTimeoutMs = 1500;

// Most posts one thread holds for one thread of another program that is not reading
// them; a post beyond that fails (the usual bound of a message queue).
constexpr std::size_t kMaxPostBacklog = 10000;

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------------------
// Wire format between processes. Both sides are this library, on one machine.

enum WireKind : std::uint32_t {
  kSend = 1,
  kPost = 2,
  kIsWindow = 3,
  kShow = 4,
  kBringToTop = 5,
  kSetPos = 6,
  kGetRect = 7,
  kIsVisible = 8,
  kGetPid = 9,
};

struct WireRequest {
  std::uint32_t kind;
  std::uint32_t hwnd;
  std::uint32_t msg;
  std::uint32_t flags;
  std::uint64_t wParam;
  std::int64_t lParam;
  std::int32_t args[4];
};

struct WireReply {
  std::int64_t result;
  std::uint32_t ok;
  std::uint32_t pad;
  std::int32_t args[4];
};

static_assert(sizeof(WireRequest) == 48);
static_assert(sizeof(WireReply) == 32);

// ---------------------------------------------------------------------------------------

struct ThreadQueue;

struct WindowRec {
  HWND hwnd = 0;
  std::shared_ptr<ThreadQueue> queue;  // the owner thread's queue
  WindowProcFn proc;                   // owner thread only
  WindowHost* host = nullptr;          // owner thread only
};

struct SentItem {
  std::function<LRESULT()> call;
  LRESULT result = 0;
  std::atomic<bool> done{false};
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT ms;
  TIMERPROC proc;
  Clock::time_point due;
};

struct OutConn {
  int fd;
  UINT block;
  bool busy;
};

// Posts to one thread of another program travel on a connection of their own, never
// waiting: what the socket does not take at once waits here, in order, and goes out as the
// socket drains (the connection is watched for writability meanwhile).
struct PostChannel {
  int fd = -1;
  std::deque<WireRequest> backlog;
  bool watched = false;
};

// Epoll data: the tag in the high half, a descriptor (or for kTagPostOut, a block) in the
// low half.
enum FdTag : std::uint32_t {
  kTagSent = 1,
  kTagPosted,
  kTagTimer,
  kTagListener,
  kTagConn,
  kTagPostOut
};

struct ThreadQueue {
  DWORD tid = 0;
  int epfd = -1;
  int sentFd = -1;    // readable while `sent` is not empty
  int postedFd = -1;  // readable while `posted` is not empty
  int replyFd = -1;   // written when an item this thread sent has been answered
  int timerFd = -1;

  std::mutex mutex;  // guards the fields up to `alive`
  std::deque<std::shared_ptr<SentItem>> sent;
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
  bool alive = true;

  // Owner thread only.
  std::vector<UINT> blocks;
  std::vector<int> listeners;
  std::unordered_map<int, std::uint64_t> conns;  // accepted connections and their serials
  std::uint64_t nextConnSerial = 1;
  std::vector<OutConn> outConns;        // connections to other programs' blocks
  std::unordered_map<UINT, PostChannel> postChannels;  // by block
  // Blocks that did not answer in time, each with the connection whose answer is late.
  std::unordered_map<UINT, int> hung;
  std::vector<Timer> timers;
  UINT nextIndex = kIndexMask + 1;  // forces a block on the first window
  UINT_PTR nextThreadTimerId = 1;
};

// Process-wide state. Deliberately never destroyed: engine threads may still post while
// the program exits.
struct Registry {
  std::mutex mutex;
  std::unordered_map<HWND, std::shared_ptr<WindowRec>> windows;
  std::unordered_map<UINT, std::weak_ptr<ThreadQueue>> blocks;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> threads;
  std::mutex handlerMutex;
  std::function<void()> exceptionHandler;
};

Registry& Reg() {
  static Registry* r = new Registry;
  return *r;
}

// Asked for every message delivered: kept per thread rather than asked of the kernel (and
// forgotten in a forked child, whose only thread has an id of its own).
thread_local DWORD t_tid = 0;
DWORD CurrentTid() {
  if (t_tid == 0) {
    static const bool forgetInChild = pthread_atfork(nullptr, nullptr, [] { t_tid = 0; }) == 0;
    (void)forgetInChild;
    t_tid = static_cast<DWORD>(syscall(SYS_gettid));
  }
  return t_tid;
}

DWORD TickMs() {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

std::uint64_t Fnv1a(const std::string& s) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// The abstract socket address of a block, private to this user and this prefix.
socklen_t BlockAddress(UINT block, sockaddr_un& addr) {
  static const std::string base = [] {
    char buf[96];
    std::snprintf(buf, sizeof buf, "kaz-win/%u/%016llx/", static_cast<unsigned>(getuid()),
                  static_cast<unsigned long long>(Fnv1a(win32::PrefixDir())));
    return std::string(buf);
  }();
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::string name = base + std::to_string(block);
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

void EpollAdd(ThreadQueue& q, int fd, FdTag tag) {
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = (std::uint64_t(tag) << 32) | std::uint32_t(fd);
  epoll_ctl(q.epfd, EPOLL_CTL_ADD, fd, &ev);
}

void SetReadable(int fd) {
  std::uint64_t one = 1;
  ssize_t r = write(fd, &one, sizeof one);
  (void)r;
}

void Drain(int fd) {
  std::uint64_t v;
  ssize_t r = read(fd, &v, sizeof v);
  (void)r;
}

void ReportDispatchException() {
  std::function<void()> handler;
  {
    std::lock_guard lock(Reg().handlerMutex);
    handler = Reg().exceptionHandler;
  }
  if (handler) {
    try {
      handler();
      return;
    } catch (...) {
    }
  }
  try {
    throw;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kazpro: unhandled exception in a message handler: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "kazpro: unhandled exception in a message handler\n");
  }
}

// ---------------------------------------------------------------------------------------
// The calling thread's queue.

void ShutdownQueue(ThreadQueue& q);

struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (queue) ShutdownQueue(*queue);
  }
};

thread_local QueueHolder t_holder;

std::shared_ptr<ThreadQueue> MakeQueue() {
  auto q = std::make_shared<ThreadQueue>();
  q->tid = CurrentTid();
  q->epfd = epoll_create1(EPOLL_CLOEXEC);
  q->sentFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  q->postedFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  q->replyFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  q->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  if (q->epfd < 0 || q->sentFd < 0 || q->postedFd < 0 || q->replyFd < 0 || q->timerFd < 0) {
    std::fprintf(stderr, "kazpro: cannot make a message queue: %s\n", std::strerror(errno));
  }
  EpollAdd(*q, q->sentFd, kTagSent);
  EpollAdd(*q, q->postedFd, kTagPosted);
  EpollAdd(*q, q->timerFd, kTagTimer);
  std::lock_guard lock(Reg().mutex);
  Reg().threads[q->tid] = q;
  return q;
}

ThreadQueue& Q() {
  if (!t_holder.queue) t_holder.queue = MakeQueue();
  return *t_holder.queue;
}

std::shared_ptr<ThreadQueue> QShared() {
  Q();
  return t_holder.queue;
}

void CompleteItem(SentItem& item, LRESULT result) {
  item.result = result;
  item.done.store(true, std::memory_order_release);
  if (item.sender) SetReadable(item.sender->replyFd);
}

void ShutdownQueue(ThreadQueue& q) {
  std::deque<std::shared_ptr<SentItem>> pending;
  {
    std::lock_guard lock(q.mutex);
    q.alive = false;
    pending.swap(q.sent);
    q.posted.clear();
  }
  for (auto& item : pending) CompleteItem(*item, 0);
  {
    std::lock_guard lock(Reg().mutex);
    auto& windows = Reg().windows;
    for (auto it = windows.begin(); it != windows.end();) {
      if (it->second->queue.get() == &q) {
        it = windows.erase(it);
      } else {
        ++it;
      }
    }
    for (UINT b : q.blocks) Reg().blocks.erase(b);
    Reg().threads.erase(q.tid);
  }
  for (int fd : q.listeners) close(fd);
  for (auto& [fd, _] : q.conns) close(fd);
  for (auto& c : q.outConns) close(c.fd);
  for (auto& [block, ch] : q.postChannels) close(ch.fd);
  q.listeners.clear();
  q.conns.clear();
  q.outConns.clear();
  q.postChannels.clear();
  q.hung.clear();
  for (int fd : {q.epfd, q.sentFd, q.postedFd, q.replyFd, q.timerFd}) {
    if (fd >= 0) close(fd);
  }
  q.epfd = q.sentFd = q.postedFd = q.replyFd = q.timerFd = -1;
}

// Takes the next block number from the prefix's counter and starts listening on it. A
// number whose socket is still bound (a running program got it before the counter wrapped)
// is skipped.
bool AddBlock(ThreadQueue& q) {
  static std::mutex allocMutex;
  std::lock_guard allocLock(allocMutex);
  std::string runDir = win32::PrefixSubdir("run");
  int counterFd = -1;
  UINT next = 0;
  if (!runDir.empty()) {
    counterFd = open((runDir + "/window-blocks").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  }
  if (counterFd >= 0) {
    flock(counterFd, LOCK_EX);
    char buf[32] = {};
    ssize_t n = pread(counterFd, buf, sizeof buf - 1, 0);
    if (n > 0) next = static_cast<UINT>(std::strtoul(buf, nullptr, 10));
  } else {
    // No usable prefix: numbers from the process id keep programs apart well enough.
    static UINT fallback = 0;
    if (fallback == 0) fallback = (static_cast<UINT>(getpid()) * 7919u) % kMaxBlock;
    next = fallback++;
  }
  bool ok = false;
  for (UINT attempt = 0; attempt < 1000 && !ok; ++attempt) {
    next = next % kMaxBlock + 1;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    sockaddr_un addr;
    socklen_t len = BlockAddress(next, addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 128) == 0) {
      q.listeners.push_back(fd);
      q.blocks.push_back(next);
      EpollAdd(q, fd, kTagListener);
      ok = true;
    } else {
      close(fd);
      if (errno != EADDRINUSE) break;
    }
  }
  if (counterFd >= 0) {
    if (ok) {
      std::string text = std::to_string(next) + "\n";
      if (ftruncate(counterFd, 0) == 0) {
        ssize_t w = pwrite(counterFd, text.data(), text.size(), 0);
        (void)w;
      }
    }
    flock(counterFd, LOCK_UN);
    close(counterFd);
  }
  if (!ok) {
    std::fprintf(stderr, "kazpro: cannot open a window socket: %s\n", std::strerror(errno));
    return false;
  }
  std::lock_guard lock(Reg().mutex);
  Reg().blocks[q.blocks.back()] = t_holder.queue;
  return true;
}

UINT BlockOf(HWND h) { return h >> kIndexBits; }

std::shared_ptr<WindowRec> FindWindow(HWND h) {
  std::lock_guard lock(Reg().mutex);
  auto it = Reg().windows.find(h);
  return it == Reg().windows.end() ? nullptr : it->second;
}

// True when the handle's block belongs to a thread of this process (alive or not, as far
// as the registry still knows it).
bool IsLocalBlock(HWND h) {
  std::lock_guard lock(Reg().mutex);
  return Reg().blocks.count(BlockOf(h)) != 0;
}

LRESULT InvokeProc(const std::shared_ptr<WindowRec>& rec, UINT msg, WPARAM w, LPARAM l) {
  // The procedure may replace itself or destroy the window while it runs: call a copy.
  WindowProcFn proc = rec->proc;
  if (!proc) return 0;
  return proc(rec->hwnd, msg, w, l);
}

LRESULT InvokeProcCatching(const std::shared_ptr<WindowRec>& rec, UINT msg, WPARAM w, LPARAM l) {
  try {
    return InvokeProc(rec, msg, w, l);
  } catch (...) {
    ReportDispatchException();
    return 0;
  }
}

// ---------------------------------------------------------------------------------------
// Serving what other threads and programs hand to this thread.

void ServeSentItems(ThreadQueue& q) {
  for (;;) {
    std::shared_ptr<SentItem> item;
    {
      std::lock_guard lock(q.mutex);
      if (q.sent.empty()) return;
      item = std::move(q.sent.front());
      q.sent.pop_front();
      if (q.sent.empty()) Drain(q.sentFd);
    }
    LRESULT result = 0;
    try {
      result = item->call();
    } catch (...) {
      ReportDispatchException();
    }
    CompleteItem(*item, result);
  }
}

void EnqueuePosted(ThreadQueue& q, const MSG& m) {
  std::lock_guard lock(q.mutex);
  if (!q.alive) return;
  if (q.posted.empty()) SetReadable(q.postedFd);
  q.posted.push_back(m);
}

// Runs a window operation on the window's own thread (the caller's when it owns it).
template <typename Fn>
LRESULT RunOnOwner(const std::shared_ptr<WindowRec>& rec, Fn fn);

LRESULT DoWindowOp(const std::shared_ptr<WindowRec>& rec, const WireRequest& req,
                   WireReply& rep) {
  WindowHost* host = rec->host;
  switch (req.kind) {
    case kIsWindow:
      return 1;
    case kGetPid:
      return getpid();
    case kShow:
      return host ? host->HostShowWindow(req.args[0]) : 0;
    case kBringToTop:
      return host ? host->HostBringToTop() : 0;
    case kSetPos:
      return host ? host->HostSetWindowPos(static_cast<HWND>(req.wParam), req.args[0],
                                           req.args[1], req.args[2], req.args[3], req.msg)
                  : 0;
    case kGetRect: {
      RECT r;
      if (!host || !host->HostGetWindowRect(r)) return 0;
      rep.args[0] = r.left;
      rep.args[1] = r.top;
      rep.args[2] = r.right;
      rep.args[3] = r.bottom;
      return 1;
    }
    case kIsVisible:
      return host ? host->HostIsVisible() : 0;
    default:
      return 0;
  }
}

void CloseConn(ThreadQueue& q, int fd) {
  epoll_ctl(q.epfd, EPOLL_CTL_DEL, fd, nullptr);
  close(fd);
  q.conns.erase(fd);
}

// Handles one request waiting on an accepted connection, if there is one.
void ServeConnection(ThreadQueue& q, int fd) {
  WireRequest req;
  ssize_t n = recv(fd, &req, sizeof req, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n != static_cast<ssize_t>(sizeof req)) {
    CloseConn(q, fd);
    return;
  }
  std::shared_ptr<WindowRec> rec = FindWindow(req.hwnd);
  if (rec && rec->queue.get() != &q) rec = nullptr;  // not this thread's: refuse
  if (req.kind == kPost) {
    if (rec) {
      MSG m;
      m.hwnd = req.hwnd;
      m.message = req.msg;
      m.wParam = req.wParam;
      m.lParam = req.lParam;
      m.time = 0;
      EnqueuePosted(q, m);
    }
    return;
  }
  const std::uint64_t serial = q.conns[fd];
  WireReply rep{};
  if (rec) {
    rep.ok = 1;
    if (req.kind == kSend) {
      rep.result = InvokeProcCatching(rec, req.msg, req.wParam, req.lParam);
    } else {
      try {
        rep.result = DoWindowOp(rec, req, rep);
      } catch (...) {
        ReportDispatchException();
      }
    }
  }
  // A nested wait may have closed the connection while the handler ran (its program
  // ended), and the descriptor may even have been reused for a newcomer: answer only the
  // connection that asked.
  auto it = q.conns.find(fd);
  if (it == q.conns.end() || it->second != serial) return;
  if (send(fd, &rep, sizeof rep, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof rep)) {
    CloseConn(q, fd);
  }
}

void AcceptConnections(ThreadQueue& q, int listener) {
  for (;;) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid()) {
      close(fd);  // only programs of the same user may talk to our windows
      continue;
    }
    q.conns[fd] = q.nextConnSerial++;
    EpollAdd(q, fd, kTagConn);
  }
}

void FlushPostChannel(ThreadQueue& q, UINT block);

// Serves sent items, new connections and requests of other programs that are ready now,
// and passes on posts held for programs whose sockets have drained. Posted messages and
// timers are left alone: the callers go on to those themselves.
void ServeReady(ThreadQueue& q) {
  epoll_event evs[32];
  int n = epoll_wait(q.epfd, evs, 32, 0);
  for (int i = 0; i < n; ++i) {
    auto tag = static_cast<FdTag>(evs[i].data.u64 >> 32);
    int fd = static_cast<int>(evs[i].data.u64 & 0xFFFFFFFFu);
    switch (tag) {
      case kTagSent:
        ServeSentItems(q);
        break;
      case kTagListener:
        AcceptConnections(q, fd);
        break;
      case kTagConn:
        if (q.conns.count(fd)) ServeConnection(q, fd);
        break;
      case kTagPostOut:
        FlushPostChannel(q, static_cast<UINT>(fd));
        break;
      default:
        break;
    }
  }
}

// Waits until `ready` answers true (or extraFd becomes readable, or the time runs out),
// serving only what may be served while waiting for an answer: items sent by other
// threads and requests of other programs. Answers false on time-out.
bool WaitLoop(ThreadQueue& q, const std::function<bool()>& ready, DWORD timeoutMs,
              int extraFd) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<pollfd> fds;
  for (;;) {
    if (ready && ready()) return true;
    fds.clear();
    if (extraFd >= 0) fds.push_back({extraFd, POLLIN, 0});
    fds.push_back({q.replyFd, POLLIN, 0});
    fds.push_back({q.sentFd, POLLIN, 0});
    for (int fd : q.listeners) fds.push_back({fd, POLLIN, 0});
    for (auto& [fd, _] : q.conns) fds.push_back({fd, POLLIN, 0});
    int wait = -1;
    if (timeoutMs != INFINITE) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ready && ready();
      wait = static_cast<int>(std::min<long long>(left.count() + 1, 1 << 30));
    }
    int r = poll(fds.data(), fds.size(), wait);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) continue;
    std::size_t i = 0;
    if (extraFd >= 0) {
      if (fds[i].revents) return true;
      ++i;
    }
    if (fds[i++].revents) Drain(q.replyFd);
    if (fds[i++].revents) ServeSentItems(q);
    std::vector<std::pair<int, bool>> ready_fds;  // (fd, is listener)
    for (std::size_t k = 0; k < q.listeners.size(); ++k, ++i) {
      if (fds[i].revents) ready_fds.push_back({fds[i].fd, true});
    }
    for (; i < fds.size(); ++i) {
      if (fds[i].revents) ready_fds.push_back({fds[i].fd, false});
    }
    for (auto [fd, listener] : ready_fds) {
      if (listener) {
        AcceptConnections(q, fd);
      } else if (q.conns.count(fd)) {
        ServeConnection(q, fd);
      }
    }
  }
}

// Hands a call to another thread of this process and waits for its result.
LRESULT CallOnQueue(const std::shared_ptr<ThreadQueue>& target, std::function<LRESULT()> call,
                    bool* delivered = nullptr) {
  ThreadQueue& self = Q();
  auto item = std::make_shared<SentItem>();
  item->call = std::move(call);
  item->sender = QShared();
  {
    std::lock_guard lock(target->mutex);
    if (!target->alive) {
      if (delivered) *delivered = false;
      return 0;
    }
    if (target->sent.empty()) SetReadable(target->sentFd);
    target->sent.push_back(item);
  }
  if (delivered) *delivered = true;
  WaitLoop(self, [&] { return item->done.load(std::memory_order_acquire); }, INFINITE, -1);
  return item->result;
}

template <typename Fn>
LRESULT RunOnOwner(const std::shared_ptr<WindowRec>& rec, Fn fn) {
  if (rec->queue->tid == CurrentTid()) return fn();
  return CallOnQueue(rec->queue, [rec, fn]() -> LRESULT {
    // The window may have gone while the call waited in the queue.
    if (!FindWindow(rec->hwnd)) return 0;
    return fn();
  });
}

// ---------------------------------------------------------------------------------------
// Talking to other programs.

// Connects to a block's socket without waiting: a program too stopped to accept (its
// queue of connections full) is not waited for either. Answers -1 when it cannot be done.
int ConnectBlock(UINT block) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un addr;
  socklen_t len = BlockAddress(block, addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

void DropOutConn(ThreadQueue& q, int fd) {
  close(fd);
  q.outConns.erase(std::remove_if(q.outConns.begin(), q.outConns.end(),
                                  [fd](const OutConn& c) { return c.fd == fd; }),
                   q.outConns.end());
}

// Whether a block that did not answer in time is still silent. Its late answer is the
// sign that it serves its queue again (or its hang-up, that it has ended): that answer is
// read and thrown away, and its connection closed, so that it can never be taken for the
// answer to a later request. One poll without waiting, so asking costs microseconds.
bool StillHung(ThreadQueue& q, UINT block) {
  auto it = q.hung.find(block);
  if (it == q.hung.end()) return false;
  pollfd p{it->second, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0 || p.revents == 0) return true;
  WireReply late;
  ssize_t n = recv(it->second, &late, sizeof late, MSG_DONTWAIT);
  (void)n;
  DropOutConn(q, it->second);
  q.hung.erase(it);
  return false;
}

// Notes that the request on `fd` was not answered in time. Its connection stays open
// (and out of use) so that the late answer shows when the program serves again.
void MarkHung(ThreadQueue& q, UINT block, int fd) {
  if (q.hung.count(block)) {
    DropOutConn(q, fd);  // a nested request found it hung first; one witness is enough
    return;
  }
  q.hung[block] = fd;
}

enum class Remote { kAnswered, kGone, kHung };

// Sends a request (not a post) to the program that owns the handle's block and waits for
// the answer while serving this thread's own incoming messages, for kHungTimeoutMs at most.
Remote RemoteCall(const WireRequest& req, WireReply& rep) {
  ThreadQueue& q = Q();
  UINT block = BlockOf(req.hwnd);
  if (StillHung(q, block)) return Remote::kHung;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = -1;
    bool fresh = false;
    for (auto& c : q.outConns) {
      if (c.block == block && !c.busy) {
        fd = c.fd;
        break;
      }
    }
    if (fd < 0) {
      fd = ConnectBlock(block);
      if (fd < 0) return errno == EAGAIN ? Remote::kHung : Remote::kGone;
      q.outConns.push_back({fd, block, false});
      fresh = true;
    }
    // A connection carries one request at a time, so its socket always has room.
    if (send(fd, &req, sizeof req, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof req)) {
      DropOutConn(q, fd);
      if (fresh) return Remote::kGone;
      continue;  // a cached connection went stale: try once on a new one
    }
    auto mark = [&](bool busy) {
      for (auto& c : q.outConns) {
        if (c.fd == fd) c.busy = busy;
      }
    };
    mark(true);
    if (!WaitLoop(q, nullptr, kHungTimeoutMs, fd)) {
      MarkHung(q, block, fd);
      return Remote::kHung;
    }
    ssize_t n = recv(fd, &rep, sizeof rep, MSG_DONTWAIT);
    if (n != static_cast<ssize_t>(sizeof rep)) {
      DropOutConn(q, fd);
      return Remote::kGone;
    }
    mark(false);
    return Remote::kAnswered;
  }
  return Remote::kGone;
}

// ---------------------------------------------------------------------------------------
// Posts to other programs.

void WatchPostChannel(ThreadQueue& q, UINT block, PostChannel& ch, bool watch) {
  if (watch == ch.watched) return;
  epoll_event ev{};
  ev.events = EPOLLOUT;
  ev.data.u64 = (std::uint64_t(kTagPostOut) << 32) | block;
  epoll_ctl(q.epfd, watch ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, ch.fd, &ev);
  ch.watched = watch;
}

void ClosePostChannel(ThreadQueue& q, UINT block) {
  auto it = q.postChannels.find(block);
  if (it == q.postChannels.end()) return;
  WatchPostChannel(q, block, it->second, false);
  close(it->second.fd);
  q.postChannels.erase(it);
}

// Writes the held posts, oldest first, until the socket takes no more; watches the socket
// while some are left. Answers false when the program has gone.
bool WriteBacklog(ThreadQueue& q, UINT block, PostChannel& ch) {
  while (!ch.backlog.empty()) {
    ssize_t n = send(ch.fd, &ch.backlog.front(), sizeof(WireRequest), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n == static_cast<ssize_t>(sizeof(WireRequest))) {
      ch.backlog.pop_front();
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    return false;
  }
  WatchPostChannel(q, block, ch, !ch.backlog.empty());
  return true;
}

// The socket of a channel with held posts has drained: pass them on. Posts held for a
// program that has ended are dropped with its channel.
void FlushPostChannel(ThreadQueue& q, UINT block) {
  auto it = q.postChannels.find(block);
  if (it == q.postChannels.end()) return;
  if (!WriteBacklog(q, block, it->second)) ClosePostChannel(q, block);
}

// Posts to a window of another program without ever waiting. Answers FALSE when that
// program cannot be reached, or when it has left kMaxPostBacklog posts of this thread
// unread.
BOOL RemotePost(const WireRequest& req) {
  ThreadQueue& q = Q();
  UINT block = BlockOf(req.hwnd);
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto it = q.postChannels.find(block);
    bool fresh = false;
    if (it == q.postChannels.end()) {
      int fd = ConnectBlock(block);
      if (fd < 0) {
        SetLastError(errno == EAGAIN ? ERROR_NOT_ENOUGH_QUOTA : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
      }
      it = q.postChannels.emplace(block, PostChannel{}).first;
      it->second.fd = fd;
      fresh = true;
    }
    PostChannel& ch = it->second;
    if (ch.backlog.size() >= kMaxPostBacklog && WriteBacklog(q, block, ch) &&
        ch.backlog.size() >= kMaxPostBacklog) {
      SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return FALSE;
    }
    ch.backlog.push_back(req);
    if (WriteBacklog(q, block, ch)) return TRUE;
    ClosePostChannel(q, block);
    if (fresh) break;
    // A cached channel went stale (its program ended): try once on a new one.
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

WireRequest MakeRequest(WireKind kind, HWND h) {
  WireRequest req{};
  req.kind = kind;
  req.hwnd = h;
  return req;
}

// A request (a sent message or a window operation) to a window of another program.
LRESULT RemoteOp(const WireRequest& req, WireReply* out = nullptr) {
  WireReply rep{};
  switch (RemoteCall(req, rep)) {
    case Remote::kHung:
      // A hung window still exists: its program's socket is there, only silent.
      SetLastError(ERROR_TIMEOUT);
      return req.kind == kIsWindow ? 1 : 0;
    case Remote::kGone:
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    case Remote::kAnswered:
      break;
  }
  if (!rep.ok) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (out) *out = rep;
  return rep.result;
}

// A window operation on any window: the host on the owner thread here, or a request to
// the owning program.
LRESULT WindowOp(HWND h, WireRequest req, WireReply* out = nullptr) {
  if (auto rec = FindWindow(h)) {
    WireReply rep{};
    LRESULT r = RunOnOwner(rec, [rec, req, &rep]() { return DoWindowOp(rec, req, rep); });
    if (out) *out = rep;
    return r;
  }
  if (h == 0 || IsLocalBlock(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return RemoteOp(req, out);
}

// ---------------------------------------------------------------------------------------
// Timers.

void ArmTimerFd(ThreadQueue& q) {
  itimerspec spec{};
  if (!q.timers.empty()) {
    auto next = std::min_element(q.timers.begin(), q.timers.end(),
                                 [](const Timer& a, const Timer& b) { return a.due < b.due; })
                    ->due;
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next.time_since_epoch()).count();
    if (ns <= 0) ns = 1;
    spec.it_value.tv_sec = ns / 1000000000;
    spec.it_value.tv_nsec = ns % 1000000000;
  }
  // steady_clock is CLOCK_MONOTONIC on Linux, so its epoch is the timerfd's.
  timerfd_settime(q.timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

// Takes one due timer (matching the filter) as a WM_TIMER message and re-arms it from now.
bool TakeDueTimer(ThreadQueue& q, HWND filter, MSG& m) {
  auto now = Clock::now();
  for (auto& t : q.timers) {
    if (t.due > now) continue;
    if (filter && t.hwnd != filter) continue;
    m = MSG{};
    m.hwnd = t.hwnd;
    m.message = WM_TIMER;
    m.wParam = t.id;
    m.lParam = static_cast<LPARAM>(reinterpret_cast<std::intptr_t>(t.proc));
    m.time = TickMs();
    t.due = now + std::chrono::milliseconds(t.ms);
    ArmTimerFd(q);
    return true;
  }
  return false;
}

bool Matches(const MSG& m, HWND hWnd, UINT lo, UINT hi) {
  if (hWnd && m.hwnd != hWnd) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

bool TakePosted(ThreadQueue& q, MSG* out, HWND hWnd, UINT lo, UINT hi, bool remove) {
  std::lock_guard lock(q.mutex);
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!Matches(*it, hWnd, lo, hi)) continue;
    if (out) *out = *it;
    if (remove) {
      q.posted.erase(it);
      if (q.posted.empty() && !q.quit) Drain(q.postedFd);
    }
    return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Public functions.

DWORD GetCurrentThreadId() { return CurrentTid(); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HWND CreateWindowWithProc(WindowProcFn proc, WindowHost* host) {
  ThreadQueue& q = Q();
  if (q.nextIndex > kIndexMask) {
    if (!AddBlock(q)) {
      SetLastError(ERROR_NOT_ENOUGH_QUOTA);
      return 0;
    }
    q.nextIndex = 1;
  }
  HWND h = (q.blocks.back() << kIndexBits) | q.nextIndex++;
  auto rec = std::make_shared<WindowRec>();
  rec->hwnd = h;
  rec->queue = QShared();
  rec->proc = std::move(proc);
  rec->host = host;
  std::lock_guard lock(Reg().mutex);
  Reg().windows[h] = rec;
  return h;
}

WindowProcFn SetWindowProc(HWND hWnd, WindowProcFn proc) {
  auto rec = FindWindow(hWnd);
  if (!rec || rec->queue->tid != CurrentTid()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return {};
  }
  WindowProcFn old = std::move(rec->proc);
  rec->proc = std::move(proc);
  return old;
}

BOOL DestroyWindow(HWND hWnd) {
  auto rec = FindWindow(hWnd);
  if (!rec) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (rec->queue->tid != CurrentTid()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ThreadQueue& q = *rec->queue;
  auto& timers = q.timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [hWnd](const Timer& t) { return t.hwnd == hWnd; }),
               timers.end());
  ArmTimerFd(q);
  InvokeProcCatching(rec, WM_DESTROY, 0, 0);
  {
    std::lock_guard lock(Reg().mutex);
    Reg().windows.erase(hWnd);
  }
  {
    std::lock_guard lock(q.mutex);
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(),
                                  [hWnd](const MSG& m) { return m.hwnd == hWnd; }),
                   q.posted.end());
    if (q.posted.empty()) Drain(q.postedFd);
  }
  rec->proc = nullptr;
  rec->host = nullptr;
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  if (hWnd == 0) return FALSE;
  if (FindWindow(hWnd)) return TRUE;
  if (IsLocalBlock(hWnd)) return FALSE;
  return WindowOp(hWnd, MakeRequest(kIsWindow, hWnd)) != 0;
}

DWORD GetWindowThreadId(HWND hWnd) {
  auto rec = FindWindow(hWnd);
  return rec ? rec->queue->tid : 0;
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD processId) {
  if (auto rec = FindWindow(hWnd)) {
    if (processId) *processId = GetCurrentProcessId();
    return rec->queue->tid;
  }
  DWORD pid = 0;
  if (hWnd && !IsLocalBlock(hWnd)) pid = static_cast<DWORD>(WindowOp(hWnd, MakeRequest(kGetPid, hWnd)));
  if (processId) *processId = pid;
  return 0;
}

LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd == 0) return 0;
  if (auto rec = FindWindow(hWnd)) {
    if (rec->queue->tid == CurrentTid()) return InvokeProc(rec, msg, wParam, lParam);
    return CallOnQueue(rec->queue, [rec, msg, wParam, lParam]() -> LRESULT {
      if (!FindWindow(rec->hwnd)) return 0;
      return InvokeProc(rec, msg, wParam, lParam);
    });
  }
  if (IsLocalBlock(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  WireRequest req = MakeRequest(kSend, hWnd);
  req.msg = msg;
  req.wParam = wParam;
  req.lParam = lParam;
  return RemoteOp(req);
}

BOOL PostMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m;
  m.hwnd = hWnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = TickMs();
  if (hWnd == 0) {
    EnqueuePosted(Q(), m);
    return TRUE;
  }
  if (auto rec = FindWindow(hWnd)) {
    EnqueuePosted(*rec->queue, m);
    return TRUE;
  }
  if (IsLocalBlock(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  WireRequest req = MakeRequest(kPost, hWnd);
  req.msg = msg;
  req.wParam = wParam;
  req.lParam = lParam;
  return RemotePost(req);
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard lock(Reg().mutex);
    auto it = Reg().threads.find(threadId);
    if (it != Reg().threads.end()) q = it->second.lock();
  }
  if (!q) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  MSG m;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = TickMs();
  EnqueuePosted(*q, m);
  return TRUE;
}

LRESULT DefWindowProcA(HWND hWnd, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}

LRESULT CallWindowProcA(const WindowProcFn& proc, HWND hWnd, UINT msg, WPARAM wParam,
                        LPARAM lParam) {
  return proc ? proc(hWnd, msg, wParam, lParam) : 0;
}

BOOL ShowWindow(HWND hWnd, int cmdShow) {
  WireRequest req = MakeRequest(kShow, hWnd);
  req.args[0] = cmdShow;
  return WindowOp(hWnd, req) != 0;
}

BOOL BringWindowToTop(HWND hWnd) { return WindowOp(hWnd, MakeRequest(kBringToTop, hWnd)) != 0; }

BOOL SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  WireRequest req = MakeRequest(kSetPos, hWnd);
  req.wParam = insertAfter;
  req.msg = flags;
  req.args[0] = x;
  req.args[1] = y;
  req.args[2] = cx;
  req.args[3] = cy;
  return WindowOp(hWnd, req) != 0;
}

BOOL GetWindowRect(HWND hWnd, RECT* rect) {
  WireReply rep{};
  if (!WindowOp(hWnd, MakeRequest(kGetRect, hWnd), &rep)) return FALSE;
  if (rect) {
    rect->left = rep.args[0];
    rect->top = rep.args[1];
    rect->right = rep.args[2];
    rect->bottom = rep.args[3];
  }
  return TRUE;
}

BOOL IsWindowVisible(HWND hWnd) { return WindowOp(hWnd, MakeRequest(kIsVisible, hWnd)) != 0; }

BOOL PeekMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  ThreadQueue& q = Q();
  ServeReady(q);
  bool remove = (removeMsg & PM_REMOVE) != 0;
  if (TakePosted(q, msg, hWnd, filterMin, filterMax, remove)) return TRUE;
  {
    std::lock_guard lock(q.mutex);
    if (q.quit && hWnd == 0) {
      if (msg) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(q.quitCode);
      }
      if (remove) {
        q.quit = false;
        if (q.posted.empty()) Drain(q.postedFd);
      }
      return TRUE;
    }
  }
  MSG t;
  if ((filterMin == 0 && filterMax == 0) || (WM_TIMER >= filterMin && WM_TIMER <= filterMax)) {
    if (remove ? TakeDueTimer(q, hWnd, t) : false) {
      if (msg) *msg = t;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  ThreadQueue& q = Q();
  for (;;) {
    if (PeekMessageA(msg, hWnd, filterMin, filterMax, PM_REMOVE)) {
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    epoll_event ev;
    int r = epoll_wait(q.epfd, &ev, 1, -1);
    if (r < 0 && errno != EINTR) return -1;
    if (r > 0) {
      std::uint64_t expirations;
      ssize_t n = read(q.timerFd, &expirations, sizeof expirations);
      (void)n;
    }
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    auto proc = reinterpret_cast<TIMERPROC>(static_cast<std::intptr_t>(msg->lParam));
    try {
      proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    } catch (...) {
      ReportDispatchException();
    }
    return 0;
  }
  auto rec = FindWindow(msg->hwnd);
  if (!rec || rec->queue->tid != CurrentTid()) return 0;
  return InvokeProcCatching(rec, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& q = Q();
  std::lock_guard lock(q.mutex);
  q.quit = true;
  q.quitCode = exitCode;
  // Wake the loop: the quit flag has no descriptor of its own, so it borrows the posted
  // list's until it is taken.
  if (q.posted.empty()) SetReadable(q.postedFd);
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  ThreadQueue& q = Q();
  if (hWnd != 0) {
    auto rec = FindWindow(hWnd);
    if (!rec || rec->queue.get() != &q) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
  } else {
    id = q.nextThreadTimerId++;
  }
  UINT ms = std::max(elapseMs, kMinTimerMs);
  auto due = Clock::now() + std::chrono::milliseconds(ms);
  auto it = std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) {
    return t.hwnd == hWnd && t.id == id;
  });
  if (it != q.timers.end()) {
    *it = Timer{hWnd, id, ms, proc, due};
  } else {
    q.timers.push_back(Timer{hWnd, id, ms, proc, due});
  }
  ArmTimerFd(q);
  return hWnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR id) {
  ThreadQueue& q = Q();
  auto it = std::find_if(q.timers.begin(), q.timers.end(),
                         [&](const Timer& t) { return t.hwnd == hWnd && t.id == id; });
  if (it == q.timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  q.timers.erase(it);
  ArmTimerFd(q);
  return TRUE;
}

namespace win32 {

int ThreadMessageFd() { return Q().epfd; }

bool PumpThreadMessages(int* exitCode) {
  ThreadQueue& q = Q();
  ServeReady(q);
  // Only what is posted now: a handler that keeps posting must not starve the event loop.
  std::size_t count;
  {
    std::lock_guard lock(q.mutex);
    count = q.posted.size();
  }
  MSG m;
  for (std::size_t i = 0; i < count; ++i) {
    if (!TakePosted(q, &m, 0, 0, 0, true)) break;
    DispatchMessageA(&m);
  }
  {
    std::lock_guard lock(q.mutex);
    if (q.quit) {
      q.quit = false;
      if (q.posted.empty()) Drain(q.postedFd);
      if (exitCode) *exitCode = q.quitCode;
      return false;
    }
  }
  // Without timers the timer descriptor is disarmed and cannot be what woke the loop:
  // a turn for a message then costs no timer calls.
  if (q.timers.empty()) return true;
  std::uint64_t expirations;
  ssize_t n = read(q.timerFd, &expirations, sizeof expirations);
  (void)n;
  // Each due timer once per pump; a late timer is not made up.
  std::size_t timers = q.timers.size();
  for (std::size_t i = 0; i < timers && TakeDueTimer(q, 0, m); ++i) DispatchMessageA(&m);
  ArmTimerFd(q);
  return true;
}

bool WaitServingSentMessages(const std::function<bool()>& ready, DWORD timeoutMs, int extraFd) {
  return WaitLoop(Q(), ready, timeoutMs, extraFd);
}

bool CallOnThread(DWORD threadId, const std::function<void()>& call) {
  if (threadId == CurrentTid()) {
    call();
    return true;
  }
  std::shared_ptr<ThreadQueue> target;
  {
    std::lock_guard lock(Reg().mutex);
    auto it = Reg().threads.find(threadId);
    if (it != Reg().threads.end()) target = it->second.lock();
  }
  if (!target) return false;
  bool delivered = false;
  CallOnQueue(
      target,
      [&call]() -> LRESULT {
        call();
        return 0;
      },
      &delivered);
  return delivered;
}

void SetDispatchExceptionHandler(std::function<void()> handler) {
  std::lock_guard lock(Reg().handlerMutex);
  Reg().exceptionHandler = std::move(handler);
}

}  // namespace win32
