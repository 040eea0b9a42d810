// What the test engines (fake_xaudio.cpp) and the test program share. The test engines
// log every call into a buffer of the test program, so the log survives their unloading,
// and decode whatever record the test hands them.
#pragma once

#include "win32/Types.h"

// A message whose lParam is this and whose wParam points to an XA_Message is decoded into
// a copy of that record; every other message is refused.
constexpr LPARAM kStagedRecord = 0x5EED;

// Provided by the test program.
extern "C" {
// One line of the call log.
void fake_xaudio_log(const char* line);
// Called by player_new with the addresses the component handed over.
void fake_xaudio_started(void** player, HWND* window);
}
