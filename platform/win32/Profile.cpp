#include "win32/Profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "win32/Ansi.h"
#include "win32/Files.h"
#include "win32/Paths.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// --- The file as lines -----------------------------------------------------------------

enum class Kind { kBlank, kSection, kKey, kComment, kOther };

struct Line {
  std::string text;  // without its line end
  std::string eol;   // "\r\n", "\n", "\r" or "" (last line without an end)
  Kind kind = Kind::kOther;
  std::string name;   // section or key name, trimmed
  std::string value;  // key value, trimmed
};

void Classify(Line& line) {
  line.name.clear();
  line.value.clear();
  const std::string t = Trim(line.text);
  if (t.empty()) {
    line.kind = Kind::kBlank;
    return;
  }
  if (t[0] == '[') {
    std::size_t close = t.rfind(']');
    if (close != std::string::npos) {
      line.kind = Kind::kSection;
      line.name = Trim(t.substr(1, close - 1));
      return;
    }
  }
  if (t[0] == ';') {
    line.kind = Kind::kComment;
    return;
  }
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) {
    line.kind = Kind::kOther;
    return;
  }
  line.kind = Kind::kKey;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
}

std::vector<Line> Parse(const std::string& bytes) {
  std::vector<Line> lines;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    std::size_t j = i;
    while (j < n && bytes[j] != '\r' && bytes[j] != '\n') ++j;
    Line line;
    line.text = bytes.substr(i, j - i);
    if (j == n) {
      i = n;
    } else if (bytes[j] == '\r' && j + 1 < n && bytes[j + 1] == '\n') {
      line.eol = "\r\n";
      i = j + 2;
    } else {
      line.eol = std::string(1, bytes[j]);
      i = j + 1;
    }
    Classify(line);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Serialize(const std::vector<Line>& lines) {
  std::size_t total = 0;
  for (const auto& l : lines) total += l.text.size() + l.eol.size();
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l.text;
    out += l.eol;
  }
  return out;
}

std::string LineEnd(const std::vector<Line>& lines) {
  for (const auto& l : lines)
    if (!l.eol.empty()) return l.eol;
  return "\r\n";
}

constexpr std::size_t kNone = std::size_t(-1);

bool SectionIs(const Line& l, const std::string& name) {
  return l.kind == Kind::kSection && !l.name.empty() && win32::EqualsNoCase(l.name, name);
}

std::size_t FindSection(const std::vector<Line>& lines, const std::string& name,
                        std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (SectionIs(lines[i], name)) return i;
  return kNone;
}

// One past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && lines[i].kind != Kind::kSection) ++i;
  return i;
}

std::size_t FindKey(const std::vector<Line>& lines, std::size_t header, const std::string& key) {
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines[i].kind == Kind::kKey && win32::EqualsNoCase(lines[i].name, key)) return i;
  return kNone;
}

// --- Files -----------------------------------------------------------------------------

bool ReadAll(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, std::size_t(n));
  }
  close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += std::size_t(w);
  }
  return true;
}

// The Linux path of a profile file name; false with `error` when it cannot be had.
bool ProfilePath(LPCSTR fileName, std::string& path, DWORD& error) {
  std::string name = fileName ? fileName : "win.ini";
  if (name.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  const bool bare =
      name.find_first_of("\\/") == std::string::npos && !(name.size() >= 2 && name[1] == ':');
  if (!bare) return win32::WindowsToLinuxPath(name, path, error);
  std::string dir = win32::WindowsDirectory();
  if (dir.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  std::string found;
  win32::FindNameNoCase(dir, name, found);
  path = dir + "/" + found;
  return true;
}

// Reads and parses a profile; `exists` tells whether there was a file.
std::vector<Line> Load(const std::string& path, bool& exists) {
  std::string bytes;
  exists = ReadAll(path, bytes);
  return exists ? Parse(bytes) : std::vector<Line>{};
}

// Runs `change` on the file's lines under the file's lock and, when it changed them,
// replaces the file atomically. Sets the last error and answers false on failure.
bool Modify(const std::string& path, const std::function<bool(std::vector<Line>&)>& change) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = path.substr(slash + 1);
  // One lock per name whatever its letter case, in the code page as names are looked up, so
  // "kaz_pro.ini" and "KAZ_PRO.INI" written at once by two programs cannot become two files.
  std::string lowered = win32::AnsiFileName(name);
  for (char& c : lowered) c = win32::LowerAnsi(c);
  lowered = win32::AnsiToUtf8(lowered);
  const std::string base = (dir == "/" ? "" : dir) + "/.";
  const std::string lockPath = base + lowered + ".lock";
  int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) {
    int err = errno;
    SetLastError(err == ENOENT ? ERROR_PATH_NOT_FOUND : win32::ErrorFromErrno(err, lockPath));
    return false;
  }
  while (flock(lockFd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(lockFd);
      SetLastError(ERROR_LOCK_VIOLATION);
      return false;
    }
  }

  // Under the lock: the name as it is now (another program may have made the file), the
  // file itself when the name is a link, and its current content.
  std::string target;
  {
    std::string found;
    const bool there = win32::FindNameNoCase(dir, win32::AnsiFileName(name), found);
    target = (dir == "/" ? "" : dir) + "/" + (there ? found : name);
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      if (char* real = realpath(target.c_str(), nullptr)) {
        target = real;
        std::free(real);
      }
    }
  }
  bool exists = false;
  std::vector<Line> lines = Load(target, exists);
  if (!change(lines)) {
    close(lockFd);
    SetLastError(ERROR_SUCCESS);
    return true;
  }
  const std::string bytes = Serialize(lines);

  const std::size_t targetSlash = target.find_last_of('/');
  const std::string targetDir = targetSlash == 0 ? "" : target.substr(0, targetSlash);
  const std::string tmpPath = targetDir + "/." + lowered + ".tmp";
  struct stat old {};
  const bool hadFile = stat(target.c_str(), &old) == 0;
  // A temp file left by a writer that was killed is simply replaced; only the lock holder
  // ever touches it.
  unlink(tmpPath.c_str());
  int out = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    int err = errno;
    close(lockFd);
    SetLastError(win32::ErrorFromErrno(err, tmpPath));
    return false;
  }
  if (hadFile) fchmod(out, old.st_mode & 07777);
  bool ok = WriteAll(out, bytes);
  int err = ok ? 0 : errno;
  if (ok && fsync(out) != 0) {
    ok = false;
    err = errno;
  }
  if (close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(tmpPath.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) unlink(tmpPath.c_str());
  close(lockFd);
  if (!ok) {
    SetLastError(err ? win32::ErrorFromErrno(err, target) : ERROR_WRITE_FAULT);
    return false;
  }
  SetLastError(ERROR_SUCCESS);
  return true;
}

// --- Answers into the caller's buffer ----------------------------------------------------

// A value: enclosing quotes dropped, cut at an embedded NUL and to size - 1 bytes.
DWORD CopyValue(std::string value, LPSTR buffer, DWORD size, bool& cut) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  value = value.substr(0, std::strlen(value.c_str()));
  std::size_t n = value.size();
  cut = n > size - 1;
  if (cut) n = size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return DWORD(n);
}

// A NUL-separated list ending in an extra NUL. A list that does not fit with a byte to spare
// is cut: the last entry shortened, two NULs at the end, answer size - 2 (the answer also
// when the list fitted exactly).
DWORD CopyList(const std::vector<std::string>& entries, LPSTR buffer, DWORD size, bool& cut) {
  cut = false;
  if (size == 1) {
    buffer[0] = '\0';
    cut = !entries.empty();
    return 0;
  }
  std::size_t room = size - 1;
  char* p = buffer;
  for (const auto& full : entries) {
    const std::string entry = full.substr(0, std::strlen(full.c_str()));
    const std::size_t need = entry.size() + 1;
    if (need >= room) {
      std::memcpy(p, entry.data(), room - 1);
      p += room - 1;
      *p++ = '\0';
      *p = '\0';
      cut = true;
      return size - 2;
    }
    std::memcpy(p, entry.c_str(), need);
    p += need;
    room -= need;
  }
  *p = '\0';
  return DWORD(p - buffer);
}

void FinishRead(bool found, bool cut) {
  SetLastError(cut ? ERROR_MORE_DATA : found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
}

std::vector<std::string> SectionNames(const std::vector<Line>& lines) {
  std::vector<std::string> names;
  for (const auto& l : lines)
    if (l.kind == Kind::kSection && !l.name.empty()) names.push_back(l.name);
  return names;
}

std::uint32_t ParseProfileInt(const char* s) {
  while (*s && static_cast<unsigned char>(*s) <= ' ') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  std::uint32_t value = 0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    for (s += 2;; ++s) {
      int d = (*s >= '0' && *s <= '9')   ? *s - '0'
              : (*s >= 'a' && *s <= 'f') ? *s - 'a' + 10
              : (*s >= 'A' && *s <= 'F') ? *s - 'A' + 10
                                         : -1;
      if (d < 0) break;
      value = value * 16u + std::uint32_t(d);
    }
  } else {
    for (; *s >= '0' && *s <= '9'; ++s) value = value * 10u + std::uint32_t(*s - '0');
  }
  return negative ? 0u - value : value;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string def = defaultValue ? defaultValue : "";
  while (!def.empty() && (def.back() == ' ' || def.back() == '\t')) def.pop_back();
  bool cut = false;

  std::string path;
  DWORD error = 0;
  if (!ProfilePath(fileName, path, error)) {
    DWORD n = CopyValue(def, buffer, size, cut);
    SetLastError(error);
    return n;
  }
  bool exists = false;
  const std::vector<Line> lines = Load(path, exists);

  if (!section) {
    std::vector<std::string> names = SectionNames(lines);
    DWORD n = CopyList(names, buffer, size, cut);
    FinishRead(exists, cut);
    return n;
  }
  if (key) {
    if (!*key) {
      buffer[0] = '\0';
      FinishRead(false, false);
      return 0;
    }
    const std::size_t header = FindSection(lines, Trim(section));
    const std::size_t at = header == kNone ? kNone : FindKey(lines, header, Trim(key));
    DWORD n = CopyValue(at == kNone ? def : lines[at].value, buffer, size, cut);
    FinishRead(at != kNone, cut);
    return n;
  }
  const std::string name = Trim(section);
  if (name.empty()) {
    buffer[0] = '\0';
    FinishRead(false, false);
    return 0;
  }
  std::vector<std::string> keys;
  if (std::size_t header = FindSection(lines, name); header != kNone) {
    const std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i)
      if (lines[i].kind == Kind::kKey && !lines[i].name.empty()) keys.push_back(lines[i].name);
  }
  if (keys.empty()) {
    DWORD n = CopyValue(def, buffer, size, cut);
    FinishRead(false, cut);
    return n;
  }
  DWORD n = CopyList(keys, buffer, size, cut);
  FinishRead(true, cut);
  return n;
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
  char buffer[30];
  if (GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, fileName) == 0)
    return static_cast<UINT>(defaultValue);
  return ParseProfileInt(buffer);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (!section && !key && !value) return TRUE;  // "flush": nothing is cached here
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path;
  DWORD error = 0;
  if (!ProfilePath(fileName, path, error)) {
    SetLastError(error);
    return FALSE;
  }
  const std::string sectionName = Trim(section);

  if (!key) {
    return Modify(path,
                  [&](std::vector<Line>& lines) {
                    bool changed = false;
                    for (std::size_t h = FindSection(lines, sectionName); h != kNone;
                         h = FindSection(lines, sectionName, h)) {
                      lines.erase(lines.begin() + std::ptrdiff_t(h),
                                  lines.begin() + std::ptrdiff_t(SectionEnd(lines, h)));
                      changed = true;
                    }
                    return changed;
                  })
               ? TRUE
               : FALSE;
  }
  const std::string keyName = Trim(key);
  if (!value) {
    return Modify(path,
                  [&](std::vector<Line>& lines) {
                    const std::size_t h = FindSection(lines, sectionName);
                    if (h == kNone) return false;
                    bool changed = false;
                    for (std::size_t at = FindKey(lines, h, keyName); at != kNone;
                         at = FindKey(lines, h, keyName)) {
                      lines.erase(lines.begin() + std::ptrdiff_t(at));
                      changed = true;
                    }
                    return changed;
                  })
               ? TRUE
               : FALSE;
  }
  const std::string newValue = value;
  return Modify(path,
                [&](std::vector<Line>& lines) {
                  const std::string eol = LineEnd(lines);
                  auto terminate = [&](std::size_t i) {
                    if (lines[i].eol.empty()) lines[i].eol = eol;
                  };
                  Line entry;
                  entry.text = keyName + "=" + newValue;
                  entry.eol = eol;
                  Classify(entry);

                  const std::size_t h = FindSection(lines, sectionName);
                  if (h == kNone) {
                    if (!lines.empty()) terminate(lines.size() - 1);
                    Line header;
                    header.text = "[" + sectionName + "]";
                    header.eol = eol;
                    Classify(header);
                    lines.push_back(std::move(header));
                    lines.push_back(std::move(entry));
                    return true;
                  }
                  if (const std::size_t at = FindKey(lines, h, keyName); at != kNone) {
                    if (lines[at].value == Trim(newValue)) return false;
                    lines[at].text = lines[at].name + "=" + newValue;
                    Classify(lines[at]);
                    return true;
                  }
                  std::size_t last = h;
                  const std::size_t end = SectionEnd(lines, h);
                  for (std::size_t i = h + 1; i < end; ++i)
                    if (lines[i].kind != Kind::kBlank) last = i;
                  terminate(last);
                  lines.insert(lines.begin() + std::ptrdiff_t(last + 1), std::move(entry));
                  return true;
                })
             ? TRUE
             : FALSE;
}

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) {
  return GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, size, fileName);
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
  if (!section || !buffer || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path;
  DWORD error = 0;
  if (!ProfilePath(fileName, path, error)) {
    buffer[0] = '\0';
    SetLastError(error);
    return 0;
  }
  bool exists = false;
  const std::vector<Line> lines = Load(path, exists);
  std::vector<std::string> entries;
  const std::size_t h = FindSection(lines, Trim(section));
  if (h != kNone) {
    const std::size_t end = SectionEnd(lines, h);
    for (std::size_t i = h + 1; i < end; ++i) {
      if (lines[i].kind == Kind::kKey && !lines[i].name.empty())
        entries.push_back(lines[i].name + "=" + lines[i].value);
      else if (lines[i].kind == Kind::kOther)
        entries.push_back(Trim(lines[i].text));
    }
  }
  bool cut = false;
  DWORD n = CopyList(entries, buffer, size, cut);
  FinishRead(h != kNone, cut);
  return n;
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, "win.ini");
}

UINT GetProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue) {
  return GetPrivateProfileIntA(section, key, defaultValue, "win.ini");
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value) {
  return WritePrivateProfileStringA(section, key, value, "win.ini");
}
