// Drives and paths: the system keeps Windows paths everywhere; only the platform turns them
// into Linux paths and back.
//
// Drive letters map to folders through links in `<prefix>/dosdevices`, one per letter, named
// "<letter>:" (lower case). On first use in a process the platform makes the
// missing ones among: "c:" -> the user's home folder, "z:" -> "/", and, when /dev/cdrom or
// /dev/sr0 exists and no letter points at it yet, the first free letter from "d:" -> that
// CD device. Any other link a user or test adds there is a drive too. The table is read
// afresh on every call, so a link added while a program runs counts at once.
//
// Windows paths are in the system's code page, Linux paths in UTF-8: each name is
// translated on the way, as win32/Ansi.h says, and letter case is folded as the code page
// folds it. A Linux path handed in is taken as it is, untranslated.
//
// Everything here may be called from any thread. The current directory is the process's.
#pragma once

#include <string>

#include "win32/Types.h"

namespace win32 {

// Windows path -> Linux path. Accepts:
//   "X:\a\b" or "X:/a/b" (either slash, repeated slashes, "." and ".." components; ".."
//   stops at the drive root; trailing dots and blanks of a component are dropped, as
//   they are no part of a name),
//   "X:a" (relative to the current directory when that is on drive X, else to its root),
//   "\a\b" (rooted on the current directory's drive), "a\b" (relative to the current
//   directory), "\\?\X:\a" (the long-path prefix is dropped),
//   and a Linux absolute path "/a/b", which is answered as it is.
// Each component is looked up as FindNameNoCase says; a component that is not found is
// kept as written, in UTF-8 (so new files can be named), and so is everything after it.
// Fails (false, `error` set, `linux` untouched) with ERROR_PATH_NOT_FOUND for an empty path,
// a UNC or device path ("\\server\share", "\\.\x"), a drive that is not a letter, an
// unmapped letter, an unusable prefix, or a relative path when the current directory is
// on no drive; with ERROR_NOT_READY for a path inside a CD drive whose disc is not mounted.
// The root of a CD drive answers its device path.
bool WindowsToLinuxPath(const std::string& win, std::string& linux, DWORD& error);
// As WindowsToLinuxPath, with the Windows folder `folder` in place of the current directory
// (what a name typed in a file dialog names in the folder the dialog shows): "a\b" lies
// in it, "\a" on its drive, "X:a" in it when it is on drive X. A folder on no drive fails
// every relative path.
bool WindowsToLinuxPathFrom(const std::string& folder, const std::string& win, std::string& linux,
                            DWORD& error);

// Linux path -> Windows path: the drive whose folder is the longest prefix of the path
// (compared as given and with links resolved), "Z:\..." for the rest when z: is "/"; each
// name below the drive's folder as the system sees it (win32/Ansi.h).
// A relative path is taken from the current directory; "." and ".." are resolved. Answers
// "" when no drive covers the path (z: removed) or the prefix is unusable.
std::string LinuxToWindowsPath(const std::string& linux);

// The Windows directory, `<prefix>/windows`, and the system directory,
// `<prefix>/windows/system32`, as Linux paths (made when missing); "" when the prefix is
// unusable.
std::string WindowsDirectory();
std::string SystemDirectory();

// The link target of a drive letter ('A'..'Z', either case) exactly as stored, e.g. the
// home folder or "/dev/sr0"; "" when the letter is not mapped. For the CD audio layer.
std::string DriveTarget(char letter);

// --- Helpers for the platform's own sources ------------------------------------------

// Comparison without regard to the code page's letter case, the way Windows file names
// compare.
bool EqualsNoCase(const std::string& a, const std::string& b);
// Finds the entry of the Linux folder `dir` that the system names `name` (in its code
// page): the name's UTF-8 spelling when that exists, else the entry shown as exactly
// `name`, else one shown as `name` without regard to case (among several, the first in byte
// order). `found` is the entry's Linux name, or when there is none (false) the UTF-8
// spelling a new file of that name gets.
bool FindNameNoCase(const std::string& dir, const std::string& name, std::string& found);
// Whether a Windows path names the root of a drive ("C:\", "C:\Music\..", "\" when the
// current directory is on a drive). A Linux path is a root only when it is "/".
bool IsDriveRootPath(const std::string& win);
// Maps errno after a failed call on `linuxPath` to the platform's error code.
// ENOENT becomes ERROR_FILE_NOT_FOUND when the parent folder exists, else
// ERROR_PATH_NOT_FOUND.
DWORD ErrorFromErrno(int err, const std::string& linuxPath);

}  // namespace win32
