// Message numbers shared by the message tests and their peer program.
#pragma once

#include "win32/Messages.h"

namespace msgtest {
constexpr UINT kEcho = WM_USER + 1;      // answers wParam * 2 + lParam
constexpr UINT kWhoAmI = WM_USER + 2;    // answers the process id
constexpr UINT kQuit = WM_USER + 3;      // ends the peer's loop
constexpr UINT kDie = WM_USER + 4;       // the peer ends inside the handler
constexpr UINT kStart = WM_USER + 5;     // the peer starts sending kEcho back
constexpr UINT kPostBack = WM_USER + 6;  // the peer posts kPosted(lParam) to window wParam
constexpr UINT kPosted = WM_USER + 7;
constexpr UINT kRecord = WM_USER + 8;       // posted with 0, 1, 2, ... in wParam
constexpr UINT kRecordCount = WM_USER + 9;  // answers how many kRecord came, -1 if out of order
}  // namespace msgtest
