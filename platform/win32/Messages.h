// Windows and window messages: same thread, other thread, other process.
//
// A window belongs to the thread that made it. Its procedure always runs on that thread:
// SendMessage from the same thread is a direct call; from another thread of the process
// the call is handed to the owner's queue and the sender waits; from another process it
// travels over a Unix-domain socket and the sender waits for the answer. While a sender
// waits it still serves messages sent to its own thread's windows, so two threads or two
// programs that send to each other at the same moment never deadlock. A handle that never
// existed, a destroyed window, or a window whose process has ended answers 0 at once.
//
// Another program may stop answering (stopped, or stuck in a handler). A send or window
// operation that it has not answered within a short time (well under two seconds) answers
// 0 with GetLastError ERROR_TIMEOUT, and its window counts as hung: later requests from the
// same thread to that program's thread answer 0 at once, and IsWindow still answers TRUE,
// until its answer to the abandoned request arrives, which shows that it serves again (the
// abandoned message is handled then; its answer is dropped). PostMessage to another program
// never waits: what its socket does not take is held, in order, and passed on by the
// sending thread's message pump as the socket drains; once 10,000 posts are held for it,
// PostMessage fails with ERROR_NOT_ENOUGH_QUOTA.
//
// Each thread that makes windows (or waits for messages) has one queue. Its readiness is
// one file descriptor, so an event loop can watch it and call PumpThreadMessages when it
// becomes readable.
#pragma once

#include <functional>

#include "win32/Types.h"

// Message numbers.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_MENUSELECT = 0x011F;
constexpr UINT WM_MENUCHAR = 0x0120;
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_CUT = 0x0300;
constexpr UINT WM_COPY = 0x0301;
constexpr UINT WM_PASTE = 0x0302;
constexpr UINT WM_CLEAR = 0x0303;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// WM_HELP carries a pointer to this in LParam (same process only).
constexpr int HELPINFO_WINDOW = 1;
constexpr int HELPINFO_MENUITEM = 2;
struct HELPINFO {
  UINT cbSize = sizeof(HELPINFO);
  int iContextType = 0;
  int iCtrlId = 0;           // for a menu: the highlighted item's command, 0 for none
  UINT_PTR hItemHandle = 0;  // for a menu: the menu handle given to TrackPopupMenu
  DWORD_PTR dwContextId = 0;
  POINT MousePos{};
};

// PeekMessage options.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// SetWindowPos.
constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_BOTTOM = 1;
constexpr HWND HWND_TOPMOST = 0xFFFFFFFFu;    // (HWND)-1
constexpr HWND HWND_NOTOPMOST = 0xFFFFFFFEu;  // (HWND)-2
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// What a window procedure is here: any callable. The class library binds methods of its
// components to it.
using WindowProcFn = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// The on-screen side of a window, supplied by whoever shows it (the class library). A
// window without a host is a message-only window. Called on the window's own thread only;
// requests from other threads or programs are carried there first.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual bool HostShowWindow(int cmdShow) = 0;
  virtual bool HostBringToTop() = 0;
  virtual bool HostSetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) = 0;
  virtual bool HostGetWindowRect(RECT& rect) = 0;
  virtual bool HostIsVisible() = 0;
};

// Makes a window of the calling thread. `host` may be null (message-only window); it must
// outlive the window. Returns 0 when no handle can be had (GetLastError tells why).
HWND CreateWindowWithProc(WindowProcFn proc, WindowHost* host = nullptr);
// Replaces a window's procedure (subclassing); answers the previous one, or an empty
// function when the window is not one of the calling thread's.
WindowProcFn SetWindowProc(HWND hWnd, WindowProcFn proc);
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
// The thread that owns a window of this process (0 for windows of other processes).
DWORD GetWindowThreadId(HWND hWnd);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// The process that owns a window, of this or another program; 0 when unknown.
DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD processId);

LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessage(HWND h, UINT m, WPARAM w, LPARAM l) { return SendMessageA(h, m, w, l); }
inline BOOL PostMessage(HWND h, UINT m, WPARAM w, LPARAM l) { return PostMessageA(h, m, w, l); }
inline LRESULT DefWindowProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }
// Calls the given window procedure with the message (none: answers 0).
LRESULT CallWindowProcA(const WindowProcFn& proc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Window placement, for windows of any thread or program.
BOOL ShowWindow(HWND hWnd, int cmdShow);
BOOL BringWindowToTop(HWND hWnd);
BOOL SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND hWnd, RECT* rect);
BOOL IsWindowVisible(HWND hWnd);

// The calling thread's queue.
BOOL PeekMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// Waits for a posted message; answers FALSE for WM_QUIT, -1 on error.
BOOL GetMessageA(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax);
LRESULT DispatchMessageA(const MSG* msg);
BOOL TranslateMessage(const MSG* msg);
void PostQuitMessage(int exitCode);
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);

UINT_PTR SetTimer(HWND hWnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hWnd, UINT_PTR id);

// Hooks for the event loop that serves a thread (the class library's, over Qt).
namespace win32 {

// The descriptor that becomes readable whenever the calling thread has something to
// dispatch: a sent or posted message, a due timer, a connection from another program.
// Makes the thread's queue on first use. Stays valid until the thread ends.
int ThreadMessageFd();

// Dispatches everything ready on the calling thread's queue at the time of the call:
// incoming sent messages, posted messages, due timers. Never blocks. Answers false when a
// WM_QUIT was taken from the queue (its exit code in *exitCode when given).
bool PumpThreadMessages(int* exitCode = nullptr);

// Serves messages sent to the calling thread's windows (never posted ones) for at most
// `timeoutMs` (INFINITE: until `ready` answers true). `ready` is asked after each wake-up.
// For waits on the GUI thread that another thread or program may be sending to.
bool WaitServingSentMessages(const std::function<bool()>& ready, DWORD timeoutMs,
                             int extraFd = -1);

// Runs `call` on the thread `threadId` the way a sent message runs there (served by that
// thread's message pump and by its WaitServingSentMessages), and waits for it to return,
// serving messages sent to the calling thread meanwhile. A call to the calling thread's own
// id runs directly. Answers false, without running the call, when that thread has no
// message queue or has ended. An exception thrown by `call` goes to the dispatch exception
// handler on the target thread. Any thread may call this.
bool CallOnThread(DWORD threadId, const std::function<void()>& call);

// Called inside a catch block when a window procedure run by the message layer (a posted
// message, a message sent from another thread or program, a timer) throws. Without a
// handler the exception is reported on standard error and the message answers 0.
void SetDispatchExceptionHandler(std::function<void()> handler);

}  // namespace win32
