// Modules: libraries loaded at run time by name, over dlopen.
//
// The system names its libraries the Windows way ("xaudio.dll"); the build
// puts shared objects with exactly those names beside the programs. A bare name resolves
// only beside the program file (the folder of /proc/self/exe), then in its "lib" folder,
// the file name matched without regard to (ASCII) case; a name without an extension gets
// ".dll" (a trailing dot means "no extension, add none"). A
// name with a folder (a Windows path, or a Linux path starting with '/') is loaded from
// there. Nothing else is searched: never the system's library path.
//
// Loading a module that is loaded already answers the same handle and counts one more
// reference; FreeLibrary unloads it when the count drops to 0. Handles are entries of the
// kernel-object registry (win32/Sync.h): a freed or made-up handle is an error code.
//
// Everything here may be called from any thread.
#pragma once

#include <string>

#include "win32/Types.h"

// 0 on failure: ERROR_MOD_NOT_FOUND (no such file, or a library it needs is missing),
// ERROR_BAD_FORMAT (not a loadable library), ERROR_PROC_NOT_FOUND (it needs a function
// that nothing provides), ERROR_INVALID_PARAMETER (null name).
HMODULE LoadLibraryA(LPCSTR name);
// A function or variable that the module itself defines (not one of the libraries it
// uses). Null with ERROR_PROC_NOT_FOUND when it has none by that name (ordinals, names
// below 0x10000, are not supported), ERROR_INVALID_HANDLE when `module` is not a loaded
// module.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// FALSE with ERROR_INVALID_HANDLE when `module` is not a loaded module.
BOOL FreeLibrary(HMODULE module);

namespace win32 {

// The Linux path of a loaded module's file; false when `module` is not one.
bool ModuleFilePath(HMODULE module, std::string& path);

// The dynamic loader's message for the calling thread's last failed LoadLibraryA, for
// error reports and tests ("" after a success).
std::string LastLoadLibraryError();

}  // namespace win32
