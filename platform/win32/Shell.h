// Opening documents, mail addresses and web pages with whatever the desktop opens them
// with (xdg-open), as the shell's "open" verb does.
#pragma once

#include "win32/Types.h"

// Starts the desktop's opener for `File` and returns at once, without waiting for it.
// Only the "open" verb (or none) is known. Answers a value above 32 when the opener was
// started; otherwise 2 (no such file: a Windows path that names nothing), 31 (no opener
// for the verb) or 8 (the opener could not be started).
// The opener is xdg-open, or the program named by KAZ_SHELL_OPEN for tests and tools.
HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                        LPCSTR lpDirectory, INT nShowCmd);
