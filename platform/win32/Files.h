// Files, folders, drives, the Windows and system directories, the program's file name and
// the version of the platform, with the platform's names, records and error
// codes. Paths are Windows paths, translated as win32/Paths.h says (a Linux absolute path
// "/..." is accepted as it is).
//
// When the prefix is unusable, everything that needs the drive table fails with
// ERROR_PATH_NOT_FOUND (GetDriveTypeA answers DRIVE_UNKNOWN).
//
// Everything here may be called from any thread.
#pragma once

#include <string>

#include "win32/Paths.h"
#include "win32/Types.h"

// Error codes of this area that Types.h does not list.
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_DIRECTORY = 267;

// File attributes.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;  // no write permission bit at all
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;    // name starts with '.' (not "."/"..")
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;    // devices, pipes, sockets
constexpr DWORD FILE_ATTRIBUTE_VOLUME = 0x00000008;    // never set here
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;  // every regular file
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;   // only alone; not produced here
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Drive types (GetDriveTypeA).
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// Platform ids and product types (GetVersionExA).
constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;

// 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;  // the status-change time (Linux keeps no creation time)
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];  // always empty: there are no short names here
};

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;  // set by the caller to sizeof(OSVERSIONINFOA), 148
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};

struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;  // sizeof(OSVERSIONINFOEXA), 156
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};

static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(WIN32_FIND_DATAA) == 320);
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OSVERSIONINFOEXA) == 156);

// Lists a folder: `pattern` is a folder path followed by a name that may hold '*' and '?'
// ("C:\Music\*.mp3"). Names are given and matched as the system sees them (win32/Ansi.h),
// without regard to letter case, by these rules: "*.*" matches every name, dotted or not; "*." matches names without a
// dot; '?' matches one character but none at a dot or at the end ("a?.txt" finds "a.txt").
// "." and ".." come first in a folder that is not a drive root when the pattern matches
// them. Names that cannot be written as Windows names (holding '\', or MAX_PATH bytes and
// longer as shown) are skipped.
// Errors: ERROR_PATH_NOT_FOUND (folder missing, not a folder, or untranslatable),
// ERROR_FILE_NOT_FOUND (no name matches, or nothing after the last separator),
// ERROR_ACCESS_DENIED (folder not readable). Answers INVALID_HANDLE_VALUE on failure.
// The whole folder is read at FindFirstFileA; later changes are not seen.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
// FALSE with ERROR_NO_MORE_FILES after the last entry; ERROR_INVALID_HANDLE for a handle
// that is not an open search.
BOOL FindNextFileA(HANDLE hFind, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE hFind);

// Attributes as FindFirstFileA gives them; INVALID_FILE_ATTRIBUTES with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when there is nothing there.
DWORD GetFileAttributesA(LPCSTR path);
// Deletes a file. A folder or a read-only file gives ERROR_ACCESS_DENIED.
BOOL DeleteFileA(LPCSTR path);
// Makes one folder (the parent must exist); ERROR_ALREADY_EXISTS when something is there.
// `security` is ignored.
BOOL CreateDirectoryA(LPCSTR path, void* security);
// Deletes an empty folder (ERROR_DIR_NOT_EMPTY otherwise).
BOOL RemoveDirectoryA(LPCSTR path);
// Copies a file's bytes, permissions and last write time. With failIfExists an existing
// destination gives ERROR_FILE_EXISTS. The destination appears whole (written beside it,
// then renamed into place).
BOOL CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists);
// Renames or moves a file or folder; ERROR_ALREADY_EXISTS when the destination exists.
// A file moved to another file system is copied and then deleted.
BOOL MoveFileA(LPCSTR existing, LPCSTR newName);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
// MoveFileA with choices. MOVEFILE_REPLACE_EXISTING puts the file in the place of an
// existing one in one step (readers see the old file or the new one, never a mix); a
// destination that is a folder or a read-only file is not replaced (ERROR_ACCESS_DENIED).
// MOVEFILE_WRITE_THROUGH returns once the file and its new name are on the disk.
// MOVEFILE_COPY_ALLOWED lets a move to another file system copy and delete.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
// A new, empty file in `path` named `prefix` (its first three characters), a number in
// hexadecimal and ".TMP", created where no file of that name was (never an existing one);
// its full name goes to `buffer` (MAX_PATH characters). Answers the number, 0 on failure
// with the error of the folder (missing, not a folder, not writable). A non-zero `unique`
// only makes the name, creating nothing.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer);

// Bit n set for each mapped drive letter 'A' + n whose target is present.
DWORD GetLogicalDrives();
// `root` is "X:\", "X:" or "X" (null: the current directory's drive). A link to a block
// device is DRIVE_CDROM; to a folder: DRIVE_REMOTE on a network file system,
// DRIVE_RAMDISK on tmpfs/ramfs, else DRIVE_FIXED. DRIVE_NO_ROOT_DIR for an unmapped
// letter, a missing target or any other root text.
UINT GetDriveTypeA(LPCSTR root);

// The Windows directory and the system directory as Windows paths. On success the length
// without the NUL; when the buffer is too small, the size needed including the NUL (the
// buffer untouched); 0 on failure.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
// Same buffer rule. The current directory is the process's (chdir).
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);

// The program's file (module 0, from /proc/self/exe) or a module's file (a handle from
// LoadLibraryA), as a Windows path. Answers the length copied without the NUL. When the
// buffer is too small the path is cut to size - 1 bytes and NUL-terminated, the answer is
// `size` and GetLastError ERROR_INSUFFICIENT_BUFFER (the later platforms' safer rule).
// An unknown module gives 0 and ERROR_MOD_NOT_FOUND.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// NT 5.1 build 2600 ("Service Pack 3"). dwOSVersionInfoSize must be the size of
// OSVERSIONINFOA or OSVERSIONINFOEXA; anything else gives FALSE and
// ERROR_INSUFFICIENT_BUFFER.
BOOL GetVersionExA(OSVERSIONINFOA* info);

namespace win32 {

// The wildcard match of one name that FindFirstFileA uses.
bool MatchesFilePattern(const std::string& pattern, const std::string& name);

// Unix time (seconds, nanoseconds) as a FILETIME.
FILETIME FileTimeFromUnix(std::int64_t seconds, long nanoseconds);

}  // namespace win32
