#include "win32/Services.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "win32/Paths.h"
#include "win32/Prefix.h"
#include "win32/Sync.h"

namespace win32 {
namespace {

constexpr std::size_t kMaxNameLength = 256;
constexpr char kSuffix[] = ".service";

// Rights that a user without administrator rights cannot get on the manager.
constexpr DWORD kAdminManagerRights = SC_MANAGER_CREATE_SERVICE | SC_MANAGER_LOCK |
                                      SC_MANAGER_MODIFY_BOOT_CONFIG | DELETE | WRITE_DAC |
                                      WRITE_OWNER;

struct Record {
  std::string name;
  std::string display;
  std::string binary;
  std::string group;
  std::string account;
  std::vector<std::string> dependencies;
  DWORD type = 0;
  DWORD start = 0;
  DWORD error = 0;
  DWORD tag = 0;
  DWORD state = SERVICE_STOPPED;
  bool started = false;
  bool deleted = false;
  std::uint64_t id = 0;
  std::map<long, long> handles;  // pid -> handles that process holds
};

class ManagerObject final : public KernelObject {
 public:
  explicit ManagerObject(DWORD access) : access(access) {}
  const DWORD access;
};

class ServiceObject final : public KernelObject {
 public:
  ServiceObject(std::string key, std::uint64_t id, DWORD access)
      : key(std::move(key)), id(id), access(access) {}
  const std::string key;
  const std::uint64_t id;
  const DWORD access;
};

// Serialises the threads of this process; the file lock serialises the programs (one
// process's threads would share the lock otherwise).
std::mutex g_mutex;

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string KeyOf(const std::string& name) {
  std::string key = name;
  for (char& c : key) c = LowerAscii(c);
  return key;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return KeyOf(a) == KeyOf(b);
}

bool ValidName(LPCSTR name) {
  if (!name || !*name) return false;
  const std::size_t n = std::strlen(name);
  return n <= kMaxNameLength && !std::strpbrk(name, "/\\");
}

// --- Record text --------------------------------------------------------------------

std::string Encode(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c == '%' || c == ',' || c == 0x7F) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Decode(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexDigit(s[i + 1]);
      const int lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += char(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// Digits only; anything else (or overflow) reads as `fallback`.
std::uint64_t Number(const std::string& s, std::uint64_t fallback) {
  if (s.empty() || s.size() > 20) return fallback;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return fallback;
    const std::uint64_t next = v * 10 + std::uint64_t(c - '0');
    if (next / 10 != v) return fallback;
    v = next;
  }
  return v;
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t comma = s.find(',', pos);
    if (comma == std::string::npos) comma = s.size();
    if (comma > pos) items.push_back(s.substr(pos, comma - pos));
    pos = comma + 1;
  }
  return items;
}

std::string Format(const Record& r) {
  std::string deps;
  for (const auto& d : r.dependencies) deps += (deps.empty() ? "" : ",") + Encode(d);
  std::string handles;
  for (const auto& [pid, count] : r.handles)
    handles += (handles.empty() ? "" : ",") + std::to_string(pid) + ":" + std::to_string(count);
  return "name=" + Encode(r.name) + "\ndisplay=" + Encode(r.display) +
         "\nbinary=" + Encode(r.binary) + "\ngroup=" + Encode(r.group) +
         "\naccount=" + Encode(r.account) + "\ndependencies=" + deps +
         "\ntype=" + std::to_string(r.type) + "\nstart=" + std::to_string(r.start) +
         "\nerror=" + std::to_string(r.error) + "\ntag=" + std::to_string(r.tag) +
         "\nstate=" + std::to_string(r.state) + "\nstarted=" + (r.started ? "1" : "0") +
         "\ndeleted=" + (r.deleted ? "1" : "0") + "\nid=" + std::to_string(r.id) +
         "\nhandles=" + handles + "\n";
}

// Lenient: unknown keys and malformed lines are skipped, bad numbers keep their defaults.
// Only a record without a valid name is no record.
bool Parse(const std::string& text, Record& r) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    const std::pair<const char*, std::string*> texts[] = {{"name", &r.name},
                                                          {"display", &r.display},
                                                          {"binary", &r.binary},
                                                          {"group", &r.group},
                                                          {"account", &r.account}};
    const std::pair<const char*, DWORD*> numbers[] = {{"type", &r.type},
                                                      {"start", &r.start},
                                                      {"error", &r.error},
                                                      {"tag", &r.tag},
                                                      {"state", &r.state}};
    for (const auto& [k, field] : texts)
      if (key == k) *field = Decode(value);
    for (const auto& [k, field] : numbers) {
      if (key != k) continue;
      const std::uint64_t v = Number(value, *field);
      if (v <= 0xFFFFFFFFu) *field = DWORD(v);
    }
    if (key == "dependencies") {
      r.dependencies.clear();
      for (const auto& d : SplitList(value)) r.dependencies.push_back(Decode(d));
    } else if (key == "started") {
      r.started = value == "1";
    } else if (key == "deleted") {
      r.deleted = value == "1";
    } else if (key == "id") {
      r.id = Number(value, 0);
    } else if (key == "handles") {
      r.handles.clear();
      for (const auto& item : SplitList(value)) {
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) continue;
        const std::uint64_t pid = Number(item.substr(0, colon), 0);
        const std::uint64_t count = Number(item.substr(colon + 1), 0);
        if (pid == 0 || pid > 0x7FFFFFFF || count == 0 || count > 0x7FFFFFFF) continue;
        r.handles[long(pid)] += long(count);
        if (r.handles[long(pid)] > 0x7FFFFFFF) r.handles[long(pid)] = 0x7FFFFFFF;
      }
    }
  }
  return ValidName(r.name.c_str());
}

bool ProcessAlive(long pid) {
  if (pid == long(getpid())) return true;
  return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// Fresh from the system for every service: a forked program must not repeat its parent's.
std::uint64_t NewId() {
  std::random_device device;
  std::uint64_t id = 0;
  while (id == 0) id = (std::uint64_t(device()) << 32) ^ device();
  return id;
}

// --- The database --------------------------------------------------------------------

// The database folder, locked for one program's change while this object lives.
class Database {
 public:
  Database() : guard_(g_mutex) {
    dir_ = PrefixSubdir("services");
    if (dir_.empty()) return;
    fd_ = open((dir_ + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~Database() {
    if (fd_ >= 0) close(fd_);  // releases the lock
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // False (with ERROR_DATABASE_DOES_NOT_EXIST set) when the folder cannot be used.
  bool Usable() const {
    if (fd_ >= 0) return true;
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return false;
  }

  const std::string& Dir() const { return dir_; }

  // Reads a service. A service that is marked for deletion, stopped and held by no living
  // program is gone: its file is removed here, whoever marked it.
  bool Read(const std::string& key, Record& r) {
    std::string text;
    if (!ReadText(Path(key), text) || !Parse(text, r) || KeyOf(r.name) != key) return false;
    bool changed = false;
    for (auto it = r.handles.begin(); it != r.handles.end();) {
      if (ProcessAlive(it->first)) {
        ++it;
      } else {
        it = r.handles.erase(it);
        changed = true;
      }
    }
    if (r.deleted && r.state == SERVICE_STOPPED && r.handles.empty()) {
      unlink(Path(key).c_str());
      return false;
    }
    if (changed) Write(r);
    return true;
  }

  // Every service, for name clashes and tags.
  std::vector<Record> ReadAll() {
    std::vector<Record> all;
    DIR* d = opendir(dir_.c_str());
    if (!d) return all;
    std::vector<std::string> keys;
    while (dirent* e = readdir(d)) {
      const std::string file = e->d_name;
      const std::size_t n = sizeof kSuffix - 1;
      if (file.size() > n && file[0] != '.' && file.compare(file.size() - n, n, kSuffix) == 0)
        keys.push_back(file.substr(0, file.size() - n));
    }
    closedir(d);
    for (const auto& key : keys) {
      Record r;
      if (Read(key, r)) all.push_back(std::move(r));
    }
    return all;
  }

  // Replaces the record atomically. False with the last error set.
  bool Write(const Record& r) {
    const std::string key = KeyOf(r.name);
    const std::string tmp = dir_ + "/." + key + ".tmp";
    const std::string bytes = Format(r);
    unlink(tmp.c_str());
    int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
      SetLastError(ErrorFromErrno(errno, tmp));
      return false;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
      const ssize_t n = write(out, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        ok = false;
      else
        done += std::size_t(n);
    }
    if (ok && fsync(out) != 0) ok = false;
    if (close(out) != 0) ok = false;
    if (ok && rename(tmp.c_str(), Path(key).c_str()) != 0) ok = false;
    if (!ok) {
      unlink(tmp.c_str());
      SetLastError(ERROR_WRITE_FAULT);
    }
    return ok;
  }

  void Remove(const std::string& key) { unlink(Path(key).c_str()); }

 private:
  std::string Path(const std::string& key) const { return dir_ + "/" + key + kSuffix; }

  static bool ReadText(const std::string& path, std::string& text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[4096];
    bool ok = true;
    for (;;) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      text.append(buf, std::size_t(n));
      if (text.size() > (1u << 20)) {  // no record is this big: not ours
        ok = false;
        break;
      }
    }
    close(fd);
    return ok;
  }

  std::lock_guard<std::mutex> guard_;
  std::string dir_;
  int fd_ = -1;
};

bool MayCreateServices(const std::string& dir) {
  int fd = open((dir + "/policy").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  std::string text;
  char buf[1024];
  ssize_t n;
  while (text.size() < 65536 && ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)))
    if (n > 0) text.append(buf, std::size_t(n));
  close(fd);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line;
    for (char c : text.substr(pos, end - pos))
      if (c != ' ' && c != '\t' && c != '\r') line += LowerAscii(c);
    if (line == "create=deny") return false;
    pos = end + 1;
  }
  return true;
}

// The Linux path of a driver's file: a Windows path, "\SystemRoot\..." or "\??\X:\...", or
// a path relative to the Windows directory: the forms a driver's image path may take.
bool DriverFile(const std::string& binary, std::string& linux) {
  std::string path = binary;
  DWORD error = 0;
  auto startsWith = [&](const char* head) {
    const std::size_t n = std::strlen(head);
    return path.size() >= n && EqualNoCase(path.substr(0, n), head);
  };
  if (startsWith("\\??\\")) path = path.substr(4);
  if (startsWith("\\SystemRoot\\")) {
    path = path.substr(std::strlen("\\SystemRoot\\"));
  } else if (path.size() >= 2 && path[1] == ':') {
    return WindowsToLinuxPath(path, linux, error);
  } else if (!path.empty() && (path[0] == '/' || path[0] == '\\')) {
    return WindowsToLinuxPath(path, linux, error);
  }
  const std::string windows = WindowsDirectory();
  if (windows.empty()) return false;
  const std::string windowsWin = LinuxToWindowsPath(windows);
  if (windowsWin.empty()) return false;
  return WindowsToLinuxPath(windowsWin + "\\" + path, linux, error);
}

SERVICE_STATUS StatusOf(const Record& r) {
  SERVICE_STATUS s{};
  s.dwServiceType = r.type;
  s.dwCurrentState = r.state;
  s.dwControlsAccepted = r.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  s.dwWin32ExitCode =
      r.state == SERVICE_STOPPED && !r.started ? ERROR_SERVICE_NEVER_STARTED : ERROR_SUCCESS;
  return s;
}

// Opens a handle to a service that `db` has read, counting it in the record.
SC_HANDLE OpenHandle(Database& db, Record& r, DWORD access) {
  r.handles[long(getpid())] += 1;
  if (!db.Write(r)) return nullptr;
  SC_HANDLE h = RegisterHandle(std::make_shared<ServiceObject>(KeyOf(r.name), r.id, access));
  if (!h) {
    const DWORD err = GetLastError();
    if (--r.handles[long(getpid())] <= 0) r.handles.erase(long(getpid()));
    db.Write(r);
    SetLastError(err);
  }
  return h;
}

// The service behind a handle with the rights asked for, read under the caller's lock.
// False with the error set.
bool Resolve(Database& db, SC_HANDLE handle, DWORD rights, Record& r,
             std::shared_ptr<ServiceObject>* objectOut = nullptr) {
  auto object = LookupHandleAs<ServiceObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if ((object->access & rights) != rights) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (!db.Usable()) return false;
  if (!db.Read(object->key, r) || r.id != object->id) {
    // Removed behind the manager's back.
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return false;
  }
  if (objectOut) *objectOut = std::move(object);
  return true;
}

}  // namespace

}  // namespace win32

using namespace win32;

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD desiredAccess) {
  if (machine && *machine && std::strcmp(machine, "\\\\.") != 0) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (database && !EqualNoCase(database, SERVICES_ACTIVE_DATABASEA)) {
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return nullptr;
  }
  {
    Database db;
    if (!db.Usable()) return nullptr;
    if ((desiredAccess & kAdminManagerRights) != 0 && !MayCreateServices(db.Dir())) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  return RegisterHandle(std::make_shared<ManagerObject>(desiredAccess));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
  if (!LookupHandleAs<ManagerObject>(manager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!ValidName(serviceName)) {
    SetLastError(serviceName && *serviceName ? ERROR_SERVICE_DOES_NOT_EXIST : ERROR_INVALID_NAME);
    return nullptr;
  }
  Database db;
  if (!db.Usable()) return nullptr;
  Record r;
  if (!db.Read(KeyOf(serviceName), r)) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return OpenHandle(db, r, desiredAccess);
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR /*password: never stored*/) {
  auto mgr = LookupHandleAs<ManagerObject>(manager);
  if (!mgr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((mgr->access & SC_MANAGER_CREATE_SERVICE) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!ValidName(serviceName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const bool driver =
      serviceType == SERVICE_KERNEL_DRIVER || serviceType == SERVICE_FILE_SYSTEM_DRIVER;
  const DWORD processTypes = SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS;
  if (!driver && (serviceType & processTypes) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!driver) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  const bool hasGroup = loadOrderGroup && *loadOrderGroup;
  if (startType > SERVICE_DISABLED || errorControl > SERVICE_ERROR_CRITICAL || !binaryPath ||
      !*binaryPath || (tagId && !hasGroup)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }

  Record r;
  r.name = serviceName;
  r.display = displayName && *displayName ? displayName : serviceName;
  r.binary = binaryPath;
  r.group = hasGroup ? loadOrderGroup : "";
  r.account = serviceStartName ? serviceStartName : "";
  // A list of names each ended by a NUL, the list ended by an empty name.
  for (LPCSTR d = dependencies; d && *d; d += std::strlen(d) + 1) r.dependencies.push_back(d);
  r.type = serviceType;
  r.start = startType;
  r.error = errorControl;

  Database db;
  if (!db.Usable()) return nullptr;
  r.id = NewId();
  Record existing;
  if (db.Read(KeyOf(r.name), existing)) {
    SetLastError(existing.deleted ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  DWORD maxTag = 0;
  for (const Record& other : db.ReadAll()) {
    if (EqualNoCase(other.display, r.display) || EqualNoCase(other.name, r.display) ||
        EqualNoCase(other.display, r.name)) {
      SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
      return nullptr;
    }
    if (hasGroup && EqualNoCase(other.group, r.group) && other.tag > maxTag) maxTag = other.tag;
  }
  if (tagId) r.tag = maxTag + 1;
  SC_HANDLE h = OpenHandle(db, r, desiredAccess);
  if (!h) {
    db.Remove(KeyOf(r.name));
    return nullptr;
  }
  if (tagId) *tagId = r.tag;
  return h;
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  Database db;
  Record r;
  if (!Resolve(db, service, SERVICE_QUERY_STATUS, r)) return FALSE;
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *status = StatusOf(r);
  return TRUE;
}

BOOL StartServiceA(SC_HANDLE service, DWORD /*numArgs*/, LPCSTR* /*args*/) {
  Database db;
  Record r;
  if (!Resolve(db, service, SERVICE_START, r)) return FALSE;
  DWORD error = ERROR_SUCCESS;
  std::string file;
  struct stat st {};
  if (r.deleted)
    error = ERROR_SERVICE_MARKED_FOR_DELETE;
  else if (r.state != SERVICE_STOPPED)
    error = ERROR_SERVICE_ALREADY_RUNNING;
  else if (r.start == SERVICE_DISABLED)
    error = ERROR_SERVICE_DISABLED;
  else if (!DriverFile(r.binary, file) || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    error = ERROR_FILE_NOT_FOUND;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  r.state = SERVICE_RUNNING;
  r.started = true;
  return db.Write(r) ? TRUE : FALSE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  DWORD rights = 0;
  if (control == SERVICE_CONTROL_STOP)
    rights = SERVICE_STOP;
  else if (control == SERVICE_CONTROL_INTERROGATE)
    rights = SERVICE_INTERROGATE;
  Database db;
  Record r;
  if (!Resolve(db, service, rights, r)) return FALSE;
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD error = ERROR_SUCCESS;
  if (rights == 0)
    error = ERROR_INVALID_SERVICE_CONTROL;
  else if (r.state == SERVICE_STOPPED)
    error = ERROR_SERVICE_NOT_ACTIVE;
  else if (r.state != SERVICE_RUNNING)
    error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  if (error == ERROR_SUCCESS && control == SERVICE_CONTROL_STOP) {
    r.state = SERVICE_STOPPED;
    if (!db.Write(r)) return FALSE;
  }
  *status = StatusOf(r);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
  Database db;
  Record r;
  if (!Resolve(db, service, DELETE, r)) return FALSE;
  if (r.deleted) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  r.deleted = true;
  return db.Write(r) ? TRUE : FALSE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  auto accept = [](const KernelObject& o) {
    return dynamic_cast<const ManagerObject*>(&o) || dynamic_cast<const ServiceObject*>(&o);
  };
  auto object = UnregisterHandleIf(handle, accept);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto service = std::dynamic_pointer_cast<ServiceObject>(object);
  if (!service) return TRUE;
  Database db;
  Record r;
  // The handle is closed whatever happens to the record: a service removed behind the
  // manager's back, or an unusable prefix, is nothing to count down.
  if (!db.Usable() || !db.Read(service->key, r) || r.id != service->id) return TRUE;
  auto it = r.handles.find(long(getpid()));
  if (it != r.handles.end() && --it->second <= 0) r.handles.erase(it);
  if (r.deleted && r.state == SERVICE_STOPPED && r.handles.empty()) {
    db.Remove(service->key);
    return TRUE;
  }
  db.Write(r);
  return TRUE;
}
