#include "win32/Paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "win32/Ansi.h"
#include "win32/Files.h"
#include "win32/Prefix.h"

namespace win32 {
namespace {

bool IsSep(char c) {
  return c == '\\' || c == '/';
}
// "/a/b": a Linux path, which the platform takes as it is ("//x" is a Windows UNC path).
bool IsLinuxPath(const std::string& path) {
  return !path.empty() && path[0] == '/' && !(path.size() >= 2 && IsSep(path[1]));
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string DosDevicesDir() {
  const std::string& prefix = PrefixDir();
  if (prefix.empty()) return {};
  return prefix + "/dosdevices";
}

std::string LinkPath(const std::string& dosdevices, char letter) {
  return dosdevices + "/" + LowerAnsi(letter) + ":";
}

std::string ReadLink(const std::string& path) {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink(path.c_str(), buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), std::size_t(n));
}

std::string RealPath(const std::string& path) {
  char* r = realpath(path.c_str(), nullptr);
  if (!r) return {};
  std::string s(r);
  std::free(r);
  return s;
}

// Lexical normalisation of an absolute Linux path: no "//", ".", "..", trailing slash.
std::string NormalizeLinux(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '/') ++i;
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

std::string CurrentDirLinux() {
  std::vector<char> buf(PATH_MAX + 1);
  if (!getcwd(buf.data(), buf.size())) return {};
  return buf.data();
}

// Makes the standard drive links that are missing. Done once per process and prefix.
void EnsureDrives(const std::string& dosdevices) {
  static std::mutex mutex;
  static std::string doneFor;
  std::lock_guard lock(mutex);
  if (doneFor == dosdevices) return;
  if (mkdir(dosdevices.c_str(), 0755) != 0 && errno != EEXIST) return;
  struct stat st {};
  auto missing = [&](char letter) { return lstat(LinkPath(dosdevices, letter).c_str(), &st) != 0; };
  // Another program of the user may make the same link at the same moment; whoever comes
  // second gets EEXIST, and both see the same link.
  if (missing('c')) {
    std::string home = HomeFolder();
    if (!home.empty()) symlink(home.c_str(), LinkPath(dosdevices, 'c').c_str());
  }
  if (missing('z')) symlink("/", LinkPath(dosdevices, 'z').c_str());

  std::string device;
  for (const char* candidate : {"/dev/cdrom", "/dev/sr0"}) {
    if (stat(candidate, &st) == 0 && S_ISBLK(st.st_mode)) {
      device = candidate;
      break;
    }
  }
  if (!device.empty()) {
    struct stat dev {};
    stat(device.c_str(), &dev);
    bool mapped = false;
    char freeLetter = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
      std::string link = LinkPath(dosdevices, letter);
      struct stat target {};
      if (stat(link.c_str(), &target) == 0 && S_ISBLK(target.st_mode) &&
          target.st_rdev == dev.st_rdev) {
        mapped = true;
        break;
      }
      if (letter >= 'd' && !freeLetter && lstat(link.c_str(), &target) != 0) freeLetter = letter;
    }
    if (!mapped && freeLetter) symlink(device.c_str(), LinkPath(dosdevices, freeLetter).c_str());
  }
  doneFor = dosdevices;
}

// The dosdevices folder with the standard links made; "" when the prefix is unusable.
std::string Drives() {
  std::string dir = DosDevicesDir();
  if (!dir.empty()) EnsureDrives(dir);
  return dir;
}

// A drive's target as an absolute path (a relative link is taken from the dosdevices
// folder, as the kernel would).
std::string AbsoluteTarget(const std::string& dosdevices, char letter) {
  std::string target = ReadLink(LinkPath(dosdevices, letter));
  if (target.empty()) return {};
  if (target[0] != '/') target = dosdevices + "/" + target;
  return NormalizeLinux(target);
}

// The type of a drive whose link points at a folder: network file systems are remote,
// memory file systems a RAM disk, everything else fixed.
UINT FolderDriveType(const std::string& folder) {
  struct statfs fs {};
  if (statfs(folder.c_str(), &fs) != 0) return DRIVE_FIXED;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x73757245:  // Coda
    case 0x5346414F:  // AFS
    case 0x00C36400:  // Ceph
    case 0x01021997:  // 9P (shared folders of virtual machines)
      return DRIVE_REMOTE;
    case 0x01021994:  // tmpfs
    case 0x858458F6:  // ramfs
      return DRIVE_RAMDISK;
    default:
      return DRIVE_FIXED;
  }
}

// Where a block device is mounted, from /proc/mounts; "" when it is not.
std::string MountPointOf(const std::string& device) {
  struct stat dev {};
  if (stat(device.c_str(), &dev) != 0) return {};
  std::ifstream mounts("/proc/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string source, where;
    if (!(fields >> source >> where)) continue;
    struct stat st {};
    if (source.empty() || source[0] != '/' || stat(source.c_str(), &st) != 0) continue;
    if (!S_ISBLK(st.st_mode) || st.st_rdev != dev.st_rdev) continue;
    // /proc/mounts writes blanks and a few other bytes as "\ooo" (octal).
    std::string unescaped;
    for (std::size_t i = 0; i < where.size(); ++i) {
      if (where[i] == '\\' && i + 3 < where.size()) {
        const char* d = where.c_str() + i + 1;
        if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' &&
            d[2] <= '7') {
          unescaped += char((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0'));
          i += 3;
          continue;
        }
      }
      unescaped += where[i];
    }
    return unescaped;
  }
  return {};
}

}  // namespace

bool FindNameNoCase(const std::string& dir, const std::string& name, std::string& found) {
  struct stat st {};
  found = AnsiToUtf8(name);
  if (lstat(((dir == "/" ? "" : dir) + "/" + found).c_str(), &st) == 0) return true;
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  // The name as shown: the same bytes first, then the same letters in another case; among
  // several, the first in byte order, so every program picks the same file.
  std::string exact, loose;
  while (dirent* e = readdir(d)) {
    std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    const std::string shown = AnsiFileName(entry);
    if (shown == name) {
      if (exact.empty() || entry < exact) exact = entry;
    } else if (EqualsNoCase(shown, name) && (loose.empty() || entry < loose)) {
      loose = entry;
    }
  }
  closedir(d);
  if (exact.empty() && loose.empty()) return false;
  found = exact.empty() ? loose : exact;
  return true;
}

namespace {

// A parsed Windows path: drive letter (upper case) and the components below its root.
struct WinPath {
  char drive = 0;
  std::vector<std::string> parts;
};

void AppendComponents(const std::string& text, std::vector<std::string>& parts) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSep(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !IsSep(text[j])) ++j;
    std::string part = text.substr(i, j - i);
    i = j;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // Trailing dots and blanks of a component are not part of its name.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) continue;
    parts.push_back(std::move(part));
  }
}

bool ParseWindowsPath(const std::string& winPath, WinPath& out, const WinPath* base = nullptr);

// The current directory as a parsed Windows path.
bool CurrentWinPath(WinPath& out) {
  std::string cwd = LinuxToWindowsPath(CurrentDirLinux());
  if (cwd.empty()) return false;
  return ParseWindowsPath(cwd, out);
}

// A relative path is taken from `base`, or from the current directory when there is none.
bool ParseWindowsPath(const std::string& winPath, WinPath& out, const WinPath* base) {
  auto from = [base](WinPath& start) {
    if (!base) return CurrentWinPath(start);
    start = *base;
    return start.drive != 0;
  };
  std::string path = winPath;
  if (path.size() >= 4 && IsSep(path[0]) && IsSep(path[1]) && path[2] == '?' && IsSep(path[3])) {
    // "\\?\X:\..." only; "\\?\UNC\..." and device names are not files of a drive.
    path = path.substr(4);
    if (path.size() < 2 || path[1] != ':') return false;
  }
  if (path.empty()) return false;
  if (path.size() >= 2 && IsSep(path[0]) && IsSep(path[1])) return false;  // UNC, device
  if (path.size() >= 2 && path[1] == ':') {
    if (!IsLetter(path[0])) return false;
    out.drive = FoldAnsi(path[0]);
    std::string rest = path.substr(2);
    if (rest.empty() || !IsSep(rest[0])) {
      WinPath cwd;
      if (from(cwd) && cwd.drive == out.drive) out.parts = cwd.parts;
    }
    AppendComponents(rest, out.parts);
    return true;
  }
  if (path.find(':') != std::string::npos && path.find(':') < path.find_first_of("\\/"))
    return false;  // "1:\x", "ab:\x": not a drive
  WinPath cwd;
  if (!from(cwd)) return false;
  out.drive = cwd.drive;
  if (!IsSep(path[0])) out.parts = cwd.parts;
  AppendComponents(path, out.parts);
  return true;
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAnsi(a[i]) != FoldAnsi(b[i])) return false;
  return true;
}

DWORD ErrorFromErrno(int err, const std::string& linuxPath) {
  switch (err) {
    case ENOENT: {
      std::string parent = linuxPath.substr(0, linuxPath.find_last_of('/'));
      if (parent.empty()) parent = "/";
      struct stat st {};
      return (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? ERROR_FILE_NOT_FOUND
                                                                     : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_WRITE_FAULT;
  }
}

bool IsDriveRootPath(const std::string& win) {
  if (IsLinuxPath(win)) return NormalizeLinux(win) == "/";
  WinPath parsed;
  return ParseWindowsPath(win, parsed) && parsed.parts.empty();
}

std::string DriveTarget(char letter) {
  if (!IsLetter(letter)) return {};
  std::string dir = Drives();
  if (dir.empty()) return {};
  return ReadLink(LinkPath(dir, letter));
}

namespace {

bool ToLinuxPath(const std::string& win, const WinPath* base, std::string& linux, DWORD& error) {
  if (IsLinuxPath(win)) {
    linux = win;
    return true;
  }
  std::string dir = Drives();
  WinPath parsed;
  if (dir.empty() || !ParseWindowsPath(win, parsed, base)) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  std::string target = AbsoluteTarget(dir, parsed.drive);
  if (target.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  struct stat st {};
  if (stat(target.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    if (parsed.parts.empty()) {
      linux = target;
      return true;
    }
    target = MountPointOf(target);
    if (target.empty()) {
      error = ERROR_NOT_READY;
      return false;
    }
  }
  std::string result = target;
  bool exists = true;
  for (const auto& part : parsed.parts) {
    std::string found;
    if (exists)
      exists = FindNameNoCase(result, part, found);
    else
      found = AnsiToUtf8(part);
    result = (result == "/" ? "" : result) + "/" + found;
  }
  linux = result;
  return true;
}

}  // namespace

bool WindowsToLinuxPath(const std::string& win, std::string& linux, DWORD& error) {
  return ToLinuxPath(win, nullptr, linux, error);
}

bool WindowsToLinuxPathFrom(const std::string& folder, const std::string& win, std::string& linux,
                            DWORD& error) {
  // A folder on no drive leaves relative paths nowhere to start from.
  WinPath base;
  if (!ParseWindowsPath(folder, base)) base = WinPath{};
  return ToLinuxPath(win, &base, linux, error);
}

std::string LinuxToWindowsPath(const std::string& linuxPath) {
  std::string dir = Drives();
  if (dir.empty() || linuxPath.empty()) return {};
  std::string path = linuxPath;
  if (path[0] != '/') {
    std::string cwd = CurrentDirLinux();
    if (cwd.empty()) return {};
    path = cwd + "/" + path;
  }
  path = NormalizeLinux(path);

  char bestLetter = 0;
  std::size_t bestLength = 0;
  auto consider = [&](char letter, const std::string& target) {
    if (target.empty()) return;
    bool covers = target == "/" || path == target ||
                  (path.size() > target.size() && path.compare(0, target.size(), target) == 0 &&
                   path[target.size()] == '/');
    std::size_t length = target == "/" ? 0 : target.size();
    if (covers && (!bestLetter || length > bestLength)) {
      bestLetter = letter;
      bestLength = length;
    }
  };
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string target = AbsoluteTarget(dir, letter);
    if (target.empty()) continue;
    struct stat st {};
    if (stat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    consider(letter, target);
    std::string real = RealPath(target);
    if (real != target) consider(letter, real);
  }
  if (!bestLetter) return {};
  std::string win(1, bestLetter);
  win += ':';
  for (std::size_t i = bestLength + 1; i < path.size();) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    win += '\\' + AnsiFileName(std::string_view(path).substr(i, j - i));
    i = j + 1;
  }
  return win.size() == 2 ? win + '\\' : win;
}

std::string WindowsDirectory() {
  return PrefixSubdir("windows");
}

std::string SystemDirectory() {
  return PrefixSubdir("windows/system32");
}

}  // namespace win32

// --- Drives and directories of the platform's interface -------------------------------

namespace {

// The platform's rule for a string answered into a caller's buffer: the length
// without the NUL when it fits, else the size needed including the NUL (buffer untouched).
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
  if (buffer && size > text.size()) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return UINT(text.size());
  }
  return UINT(text.size() + 1);
}

UINT DirectoryAnswer(const std::string& linuxDir, LPSTR buffer, UINT size) {
  if (linuxDir.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::string win = win32::LinuxToWindowsPath(linuxDir);
  if (win.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  return CopyOut(win, buffer, size);
}

// "X", "X:", "X:\" -> the letter (upper case); 0 for anything else.
char RootLetter(LPCSTR root) {
  std::string r = root;
  if (r.empty() || !win32::IsLetter(r[0])) return 0;
  if (r.size() == 1 || (r.size() == 2 && r[1] == ':') ||
      (r.size() == 3 && r[1] == ':' && win32::IsSep(r[2])))
    return win32::FoldAnsi(r[0]);
  return 0;
}

}  // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return DirectoryAnswer(win32::WindowsDirectory(), buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  return DirectoryAnswer(win32::SystemDirectory(), buffer, size);
}

DWORD GetLogicalDrives() {
  std::string dir = win32::Drives();
  if (dir.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  DWORD mask = 0;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    struct stat st {};
    if (stat(win32::LinkPath(dir, letter).c_str(), &st) == 0) mask |= DWORD(1) << (letter - 'a');
  }
  SetLastError(ERROR_SUCCESS);
  return mask;
}

UINT GetDriveTypeA(LPCSTR root) {
  std::string dir = win32::Drives();
  if (dir.empty()) return DRIVE_UNKNOWN;
  char letter = 0;
  if (!root) {
    std::string cwd = win32::LinuxToWindowsPath(win32::CurrentDirLinux());
    if (cwd.empty()) return DRIVE_NO_ROOT_DIR;
    letter = cwd[0];
  } else {
    letter = RootLetter(root);
  }
  if (!letter) return DRIVE_NO_ROOT_DIR;
  std::string target = win32::AbsoluteTarget(dir, letter);
  if (target.empty()) return DRIVE_NO_ROOT_DIR;
  struct stat st {};
  if (stat(target.c_str(), &st) != 0) return DRIVE_NO_ROOT_DIR;
  if (S_ISBLK(st.st_mode)) return DRIVE_CDROM;
  if (!S_ISDIR(st.st_mode)) return DRIVE_UNKNOWN;
  return win32::FolderDriveType(target);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  std::string cwd = win32::CurrentDirLinux();
  if (cwd.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::string win = win32::LinuxToWindowsPath(cwd);
  if (win.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  return CopyOut(win, buffer, size);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string linux;
  DWORD error = 0;
  if (!win32::WindowsToLinuxPath(path, linux, error)) {
    SetLastError(error);
    return FALSE;
  }
  struct stat st {};
  if (stat(linux.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (chdir(linux.c_str()) != 0) {
    SetLastError(win32::ErrorFromErrno(errno, linux));
    return FALSE;
  }
  return TRUE;
}
