// Private-profile (INI) files with the platform's reading rules, and writes that
// two programs can make at the same moment.
//
// File names: a bare name (no '\', '/' or drive) lives in the Windows directory,
// `<prefix>/windows` ("KAZ_PRO.ini"); a null name means "win.ini" there; anything else is a
// path (win32/Paths.h). File names, sections and keys match without regard to (ASCII)
// case.
//
// Reading: a line "[name]" starts a section (the name is what stands between '[' and the
// last ']', trimmed); a line "key=value" in a section is a key (key and value trimmed of
// blanks: space, tab, CR, LF, VT, FF, ^Z). Lines before the first section, lines starting
// with ';', lines without '=' and blank lines are not keys. Lines end with CR LF, LF or CR,
// mixed as they come. When a section or key occurs twice, the first one counts. Any bytes
// may occur; nothing read from a file can make a read fail.
//
// Writing changes only the lines it must: a changed key's line becomes "key=value" (the
// key spelled as it was), a new key goes after the last non-blank line of its section, a
// new section ("[section]" and its key) at the end of the file; every other line stays
// byte for byte. New lines take the file's line end (that of its first line; CR LF for a
// new file). Each write is taken under an exclusive flock of a lock file beside the INI
// file (".<name in lower case>.lock"), reads the file afresh under that lock, writes the
// whole new file beside it (".<name>.tmp"), fsyncs it and renames it over the INI file. So
// two processes writing different keys of one file at the same moment lose nothing, and a
// writer killed at any moment leaves either the old file or the new one. Reads take no
// lock: the rename makes every read see one whole version.
//
// Everything here may be called from any thread.
#pragma once

#include "win32/Types.h"

// section null: the section names; key null: the keys of the section (the default when it
// has none). Lists are NUL-separated and end with an extra NUL; when they do not fit with a
// byte to spare they are cut, end with two NULs, and the answer is size - 2. A value loses
// the quotes that enclose it ('...' or "...") and is cut to size - 1 bytes (the answer is
// then size - 1). The default loses trailing blanks. An empty key answers 0 and "".
// GetLastError: ERROR_FILE_NOT_FOUND when the file or key is missing (the default is
// copied), ERROR_MORE_DATA when the answer was cut, ERROR_PATH_NOT_FOUND when the file name
// cannot be translated.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName);
// The value read as an integer: leading blanks, an optional sign, then decimal digits, or
// hexadecimal after "0x"; reading stops at the first other character; no digits give 0; the
// result wraps modulo 2^32 ("-1" is 0xFFFFFFFF). A missing or empty value gives the default.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
// key null deletes the section (every section of that name), value null deletes the key
// (every line of it in the section that reads use). A write that changes nothing writes
// nothing. All of section, key and value null "flushes" (there is no cache) and answers
// TRUE. FALSE with ERROR_INVALID_PARAMETER for a null section otherwise, or the file
// system's error (ERROR_PATH_NOT_FOUND when the folder is missing, ERROR_ACCESS_DENIED...).
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);

// The section names (as GetPrivateProfileStringA with a null section).
DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName);
// The lines of a section as "key=value" entries (and lines without '=' as they are), in a
// NUL-separated list with the same cutting rule; 0 and "" when there is no such section.
DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName);

// The same on "win.ini" in the Windows directory.
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size);
UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue);
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value);
