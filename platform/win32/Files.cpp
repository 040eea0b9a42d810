#include "win32/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "win32/Ansi.h"
#include "win32/Modules.h"
#include "win32/Sync.h"

namespace win32 {
namespace {

// Wildcards the way the platform hands a pattern to its file system: '?' becomes
// DOS_QM, a '.' before '*' or '?' becomes DOS_DOT, trailing dots and blanks are dropped,
// and a pattern that ended in a dot turns its final '*' into DOS_STAR.
constexpr char kDosStar = '<';
constexpr char kDosQm = '>';
constexpr char kDosDot = '"';

std::string FixupPattern(const std::string& pattern) {
  std::string p = pattern;
  if (p.empty()) return p;
  bool noExtension = p.back() == '.';
  while (!p.empty() && (p.back() == '.' || p.back() == ' ')) p.pop_back();
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '.' && i + 1 < p.size() && (p[i + 1] == '*' || p[i + 1] == '?'))
      p[i] = kDosDot;
    else if (p[i] == '?')
      p[i] = kDosQm;
  }
  if (noExtension && !p.empty() && p.back() == '*') p.back() = kDosStar;
  return p;
}

// The file system's name-in-expression match, by dynamic programming over (expression
// position, name position): '*' any run; DOS_STAR any run that does not pass the name's
// last dot; DOS_QM one character other than a dot, or nothing at a dot or the end;
// DOS_DOT a dot, or nothing at the end; anything else one character, case folded.
bool MatchExpression(const std::string& expr, const std::string& name) {
  const std::size_t e = expr.size(), n = name.size();
  const std::size_t lastDot = name.rfind('.');
  // ok[i][j]: expr[i..] matches name[j..]
  std::vector<char> ok((e + 1) * (n + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> char& { return ok[i * (n + 1) + j]; };
  at(e, n) = 1;
  for (std::size_t i = e; i-- > 0;) {
    for (std::size_t j = n + 1; j-- > 0;) {
      const char c = expr[i];
      const bool end = j == n;
      bool r = false;
      switch (c) {
        case '*':
          r = at(i + 1, j) || (!end && at(i, j + 1));
          break;
        case kDosStar:
          r = at(i + 1, j) ||
              (!end && (lastDot == std::string::npos || j < lastDot) && at(i, j + 1));
          break;
        case kDosQm:
          r = (end || name[j] == '.') ? at(i + 1, j) : at(i + 1, j + 1);
          break;
        case kDosDot:
          r = end ? at(i + 1, j) : (name[j] == '.' && at(i + 1, j + 1));
          break;
        default:
          r = !end && FoldAnsi(name[j]) == FoldAnsi(c) && at(i + 1, j + 1);
          break;
      }
      at(i, j) = r;
    }
  }
  return at(0, 0);
}

DWORD AttributesOf(const std::string& name, const struct stat& st) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode))
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (S_ISREG(st.st_mode))
    attributes |= FILE_ATTRIBUTE_ARCHIVE;
  else
    attributes |= FILE_ATTRIBUTE_SYSTEM;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= FILE_ATTRIBUTE_READONLY;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes;
}

// stat, or for a dangling link the link itself.
bool StatEntry(const std::string& path, struct stat& st) {
  return stat(path.c_str(), &st) == 0 || lstat(path.c_str(), &st) == 0;
}

void FillFindData(const std::string& name, const struct stat& st, WIN32_FIND_DATAA& data) {
  data = WIN32_FIND_DATAA{};
  data.dwFileAttributes = AttributesOf(name, st);
  data.ftCreationTime = FileTimeFromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  data.ftLastAccessTime = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  data.ftLastWriteTime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  if (!S_ISDIR(st.st_mode)) {
    const std::uint64_t size = std::uint64_t(st.st_size);
    data.nFileSizeHigh = DWORD(size >> 32);
    data.nFileSizeLow = DWORD(size & 0xFFFFFFFFu);
  }
  std::memcpy(data.cFileName, name.c_str(), name.size() + 1);
}

class FindSearch final : public KernelObject {
 public:
  std::mutex mutex;
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
};

bool ToLinux(LPCSTR path, std::string& linux) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DWORD error = 0;
  if (!WindowsToLinuxPath(path, linux, error)) {
    SetLastError(error);
    return false;
  }
  return true;
}

// Copies a file's bytes to a new file beside `to`, then renames it into place. Keeps the
// source's permission bits and times.
bool CopyContents(const std::string& from, const std::string& to, bool failIfExists) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetLastError(ErrorFromErrno(errno, from));
    return false;
  }
  struct stat st {};
  fstat(in, &st);
  if (S_ISDIR(st.st_mode)) {
    close(in);
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  std::string dir = to.substr(0, to.find_last_of('/'));
  if (dir.empty()) dir = "/";
  std::string tmpl = dir + "/.kazcopy-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int out = mkostemp(name.data(), O_CLOEXEC);
  if (out < 0) {
    int err = errno;
    close(in);
    SetLastError(ErrorFromErrno(err, to));
    return false;
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  int err = 0;
  for (;;) {
    ssize_t n = read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      err = errno;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buf.data() + done, std::size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        ok = false;
        err = errno;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  close(in);
  if (ok) {
    fchmod(out, st.st_mode & 07777);
    timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out, times);
    if (fsync(out) != 0) {
      ok = false;
      err = errno;
    }
  }
  close(out);
  if (ok) {
    if (failIfExists) {
      // link() refuses an existing destination, so the check and the placing are one step.
      if (link(name.data(), to.c_str()) != 0) {
        ok = false;
        err = errno;
      }
      unlink(name.data());
      if (!ok) {
        SetLastError(err == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(err, to));
        return false;
      }
      return true;
    }
    if (rename(name.data(), to.c_str()) != 0) {
      ok = false;
      err = errno;
    }
  }
  if (!ok) {
    unlink(name.data());
    SetLastError(ErrorFromErrno(err, to));
    return false;
  }
  return true;
}

}  // namespace

bool MatchesFilePattern(const std::string& pattern, const std::string& name) {
  return MatchExpression(FixupPattern(pattern), name);
}

FILETIME FileTimeFromUnix(std::int64_t seconds, long nanoseconds) {
  constexpr std::int64_t kEpochDifference = 11644473600LL;  // 1601 -> 1970, seconds
  std::int64_t ticks = (seconds + kEpochDifference) * 10000000LL + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = DWORD(std::uint64_t(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = DWORD(std::uint64_t(ticks) >> 32);
  return ft;
}

}  // namespace win32

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string text = pattern;
  const std::size_t sep = text.find_last_of("\\/");
  std::string folder, mask;
  if (sep == std::string::npos) {
    // "X:*.mp3" lists the drive's current folder; "*.mp3" the current directory.
    if (text.size() >= 2 && text[1] == ':') {
      folder = text.substr(0, 2);
      mask = text.substr(2);
    } else {
      folder = ".";
      mask = text;
    }
  } else {
    folder = text.substr(0, sep + 1);
    mask = text.substr(sep + 1);
  }
  std::string linuxFolder;
  DWORD error = 0;
  if (!win32::WindowsToLinuxPath(folder, linuxFolder, error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (stat(linuxFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (mask.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  DIR* dir = opendir(linuxFolder.c_str());
  if (!dir) {
    SetLastError(win32::ErrorFromErrno(errno, linuxFolder));
    return INVALID_HANDLE_VALUE;
  }
  // "." and ".." first, as Windows file systems list them; the rest in
  // the order the folder gives.
  std::vector<std::string> names, others;
  bool dot = false, dotdot = false;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == ".")
      dot = true;
    else if (name == "..")
      dotdot = true;
    else
      others.push_back(std::move(name));
  }
  closedir(dir);
  if (dot) names.emplace_back(".");
  if (dotdot) names.emplace_back("..");
  names.insert(names.end(), others.begin(), others.end());

  const bool root = win32::IsDriveRootPath(folder);
  auto search = std::make_shared<win32::FindSearch>();
  const std::string base = linuxFolder == "/" ? "" : linuxFolder;
  for (const auto& name : names) {
    if ((name == "." || name == "..") && root) continue;
    const std::string shown = win32::AnsiFileName(name);
    if (shown.size() >= MAX_PATH || shown.find('\\') != std::string::npos) continue;
    if (!win32::MatchesFilePattern(mask, shown)) continue;
    struct stat entry {};
    if (!win32::StatEntry(base + "/" + name, entry)) continue;  // vanished meanwhile
    WIN32_FIND_DATAA found;
    win32::FillFindData(shown, entry, found);
    search->entries.push_back(found);
  }
  if (search->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = search->entries[0];
  search->next = 1;
  HANDLE h = win32::RegisterHandle(search);
  if (!h) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return h;
}

BOOL FindNextFileA(HANDLE hFind, WIN32_FIND_DATAA* data) {
  auto search = win32::LookupHandleAs<win32::FindSearch>(hFind);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(search->mutex);
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE hFind) {
  if (!win32::UnregisterHandleAs<win32::FindSearch>(hFind)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
  std::string linux;
  if (!win32::ToLinux(path, linux)) return INVALID_FILE_ATTRIBUTES;
  struct stat st {};
  if (!win32::StatEntry(linux, st)) {
    SetLastError(win32::ErrorFromErrno(errno, linux));
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string name = linux.substr(linux.find_last_of('/') + 1);
  return win32::AttributesOf(name, st);
}

BOOL DeleteFileA(LPCSTR path) {
  std::string linux;
  if (!win32::ToLinux(path, linux)) return FALSE;
  struct stat st {};
  if (lstat(linux.c_str(), &st) != 0) {
    SetLastError(win32::ErrorFromErrno(errno, linux));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) ||
      (S_ISREG(st.st_mode) && !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(linux.c_str()) != 0) {
    SetLastError(win32::ErrorFromErrno(errno, linux));
    return FALSE;
  }
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, void* /*security*/) {
  std::string linux;
  if (!win32::ToLinux(path, linux)) return FALSE;
  if (mkdir(linux.c_str(), 0777) != 0) {
    int err = errno;
    SetLastError(err == ENOENT ? ERROR_PATH_NOT_FOUND : win32::ErrorFromErrno(err, linux));
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
  std::string linux;
  if (!win32::ToLinux(path, linux)) return FALSE;
  if (rmdir(linux.c_str()) != 0) {
    int err = errno;
    SetLastError(err == ENOTDIR  ? ERROR_DIRECTORY
                 : err == EEXIST ? ERROR_DIR_NOT_EMPTY
                                 : win32::ErrorFromErrno(err, linux));
    return FALSE;
  }
  return TRUE;
}

BOOL CopyFileA(LPCSTR existing, LPCSTR newName, BOOL failIfExists) {
  std::string from, to;
  if (!win32::ToLinux(existing, from) || !win32::ToLinux(newName, to)) return FALSE;
  return win32::CopyContents(from, to, failIfExists != FALSE) ? TRUE : FALSE;
}

BOOL MoveFileA(LPCSTR existing, LPCSTR newName) {
  return MoveFileExA(existing, newName, MOVEFILE_COPY_ALLOWED);
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  std::string from, to;
  if (!win32::ToLinux(existing, from) || !win32::ToLinux(newName, to)) return FALSE;
  struct stat st {};
  if (lstat(from.c_str(), &st) != 0) {
    SetLastError(win32::ErrorFromErrno(errno, from));
    return FALSE;
  }
  // A move that only changes the letter case of a name is a rename onto itself here.
  struct stat dest {};
  if (lstat(to.c_str(), &dest) == 0 && !(dest.st_dev == st.st_dev && dest.st_ino == st.st_ino)) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(dest.st_mode) || S_ISDIR(st.st_mode) ||
        (S_ISREG(dest.st_mode) && !(dest.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  const bool through = flags & MOVEFILE_WRITE_THROUGH;
  const auto sync = [](const std::string& path, int mode) {
    const int fd = open(path.c_str(), mode | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
  };
  if (through && S_ISREG(st.st_mode) && !sync(from, O_RDONLY)) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (rename(from.c_str(), to.c_str()) == 0) {
    if (through)
      sync(to.substr(0, std::max<std::size_t>(1, to.find_last_of('/'))), O_RDONLY | O_DIRECTORY);
    return TRUE;
  }
  const int err = errno;
  if (err == EXDEV && S_ISREG(st.st_mode) && (flags & MOVEFILE_COPY_ALLOWED)) {
    if (!win32::CopyContents(from, to, !(flags & MOVEFILE_REPLACE_EXISTING))) return FALSE;
    if (unlink(from.c_str()) != 0) {
      SetLastError(win32::ErrorFromErrno(errno, from));
      return FALSE;
    }
    return TRUE;
  }
  SetLastError(win32::ErrorFromErrno(err, to));
  return FALSE;
}

UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR buffer) {
  if (!path || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string folder = path;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  folder += std::string(prefix ? prefix : "").substr(0, 3);
  const auto nameOf = [&](UINT n) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", n);
    return folder + hex + ".TMP";
  };
  const auto give = [&](const std::string& name, UINT n) -> UINT {
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_INVALID_NAME);
      return 0;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return n;
  };
  if (unique != 0) return give(nameOf(unique & 0xFFFF), unique & 0xFFFF);
  // The numbers are tried from one that differs between programs and moments, so that
  // two writers in one folder rarely meet; a name that is taken is never touched.
  const UINT start = static_cast<UINT>(getpid()) * 7919u + GetTickCount();
  for (UINT i = 0; i < 0xFFFF; ++i) {
    const UINT n = (start + i) % 0xFFFF + 1;
    const std::string name = nameOf(n);
    if (name.size() >= MAX_PATH) return give(name, 0);
    std::string linux;
    if (!win32::ToLinux(name.c_str(), linux)) return 0;
    const int fd = open(linux.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      return give(name, n);
    }
    if (errno != EEXIST) {
      const int err = errno;
      SetLastError(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                   : win32::ErrorFromErrno(err, linux));
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  std::string linux;
  if (!module) {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    linux.assign(buf.data(), std::size_t(n));
  } else if (!win32::ModuleFilePath(module, linux)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  std::string win = win32::LinuxToWindowsPath(linux);
  if (win.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (win.size() >= size) {
    std::memcpy(buffer, win.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, win.c_str(), win.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return DWORD(win.size());
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "Service Pack 3");
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
    ex->wServicePackMajor = 3;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0x0100;  // VER_SUITE_SINGLEUSERTS, as a home desktop answers
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}
