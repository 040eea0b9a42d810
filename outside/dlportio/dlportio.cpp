#include "dlportio/dlportio.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/Clock.h"
#include "win32/Prefix.h"

namespace {

// An I/O port address: the bus has 16 address lines.
using PortAddress = std::uint16_t;

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// The first parallel port through ppdev, opened at the first write that needs it and kept
// for the whole run. Taking it never waits: a claim waits for as long as another program
// holds the port, on the thread that writes the lamps. So the port is locked first (flock,
// which every program of ours asks for), and claimed only when the kernel shows no one
// active on it. The claim is not exclusive: a printer driver that is loaded but idle (lp)
// shares the port with the lamps, as it would with any other program.
class Parport {
 public:
  ~Parport() {
    if (fd_ >= 0) {
      ioctl(fd_, PPRELEASE);
      close(fd_);
    }
  }

  // Called with the library's mutex held.
  void Write(PortAddress port, BYTE value) {
    if (port != kLpt1Data && port != kLpt1Control) return;
    if (!tried_) Open();
    if (fd_ < 0) return;
    unsigned char byte = value;
    if (ioctl(fd_, port == kLpt1Data ? PPWDATA : PPWCONTROL, &byte) != 0) {
      Note("cannot be written to", errno);
      ioctl(fd_, PPRELEASE);
      close(fd_);
      fd_ = -1;
    }
  }

 private:
  void Open() {
    tried_ = true;
    const char* named = std::getenv(kDlPortDeviceVariable);
    device_ = named && *named ? named : kDlPortDevice;
    fd_ = open(device_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
      Note("cannot be opened", errno);
      return;
    }
    int err = 0;
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      err = EBUSY;
    } else if (HeldByAnother()) {
      err = EBUSY;
    } else if (ioctl(fd_, PPCLAIM) != 0) {
      err = errno;
    }
    if (err == 0) return;
    if (err == EBUSY) {
      Note("is busy: another program has it");
    } else {
      Note("cannot be claimed", err);
    }
    close(fd_);
    fd_ = -1;
  }

  // The kernel names the device that has claimed a port in
  // /proc/sys/dev/parport/<port>/devices/active, "none" while no one has; a device it
  // does not describe (a stand-in) is taken as free.
  bool HeldByAnother() const {
    const std::string port = device_.substr(device_.rfind('/') + 1);
    const std::string path = "/proc/sys/dev/parport/" + port + "/devices/active";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[64] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    return n > 0 && std::strncmp(text, "none", 4) != 0;
  }

  void Note(const char* what, int err = 0) const {
    std::fprintf(stderr, "DLPortIO: the parallel port %s %s%s%s%s; this program writes to the "
                 "virtual port only\n",
                 device_.c_str(), what, err ? " (" : "", err ? std::strerror(err) : "",
                 err ? ")" : "");
  }

  bool tried_ = false;
  int fd_ = -1;
  std::string device_;
};

// The virtual port files of the prefix.
class VirtualPort {
 public:
  ~VirtualPort() {
    if (logFd_ >= 0) close(logFd_);
  }

  // Appends one line per byte and, when the data register is written, its new state.
  // Called with the library's mutex held; takes the prefix's lock for the files.
  void Write(PortAddress port, const BYTE* bytes, std::size_t count) {
    if (!Ready()) return;
    int lockFd = open((dir_ + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0 && errno == ENOENT) {
      // Someone cleared the folder away: make it again rather than go quiet.
      win32::PrefixSubdir(kDlPortFolder);
      lockFd = open((dir_ + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    }
    if (lockFd < 0) return;
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::string lines;
    char line[48];
    for (std::size_t i = 0; i < count; ++i) {
      const int n = std::snprintf(line, sizeof line, "%llu %04x %02x\n",
                                  static_cast<unsigned long long>(kazout::MonotonicNs()),
                                  unsigned(port), unsigned(bytes[i]));
      lines.append(line, std::size_t(n));
      if (lines.size() >= kChunk) {
        Append(lines);
        lines.clear();
      }
    }
    if (!lines.empty()) Append(lines);
    if (port == kLpt1Data && count > 0) WriteState(bytes[count - 1]);
    close(lockFd);  // releases the lock
  }

  // The data register's byte from the state file; false when there is none.
  bool ReadData(BYTE& value) {
    if (!Ready()) return false;
    const int fd = open((dir_ + "/" + kDlPortStateName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char text[8] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n < 2) return false;
    unsigned v = 0;
    for (int i = 0; i < 2; ++i) {
      const char c = text[i];
      int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0) return false;
      v = v * 16 + unsigned(d);
    }
    value = BYTE(v);
    return true;
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;

  bool Ready() {
    if (!tried_) {
      tried_ = true;
      dir_ = win32::PrefixSubdir(kDlPortFolder);
      if (dir_.empty())
        std::fprintf(stderr, "DLPortIO: no virtual port: the prefix folder cannot be used\n");
    }
    return !dir_.empty();
  }

  // Appends under the lock, reopening the log when another program rotated it and rotating
  // it when this chunk would take it past the limit.
  void Append(const std::string& lines) {
    const std::string path = dir_ + "/" + kDlPortLogName;
    struct stat onDisk {};
    struct stat mine {};
    const bool exists = stat(path.c_str(), &onDisk) == 0;
    if (logFd_ >= 0 && (!exists || fstat(logFd_, &mine) != 0 || mine.st_ino != onDisk.st_ino ||
                        mine.st_dev != onDisk.st_dev)) {
      close(logFd_);
      logFd_ = -1;
    }
    if (exists && onDisk.st_size > 0 &&
        std::uint64_t(onDisk.st_size) + lines.size() > kDlPortLogLimit) {
      rename(path.c_str(), (dir_ + "/" + kDlPortOldLogName).c_str());
      if (logFd_ >= 0) close(logFd_);
      logFd_ = -1;
    }
    if (logFd_ < 0) logFd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd_ >= 0) WriteAll(logFd_, lines.data(), lines.size());
  }

  void WriteState(BYTE value) {
    const std::string path = dir_ + "/" + kDlPortStateName;
    const std::string tmp = dir_ + "/." + kDlPortStateName + ".tmp";
    char text[4];
    std::snprintf(text, sizeof text, "%02x\n", unsigned(value));
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const bool ok = WriteAll(fd, text, 3);
    if (close(fd) == 0 && ok)
      rename(tmp.c_str(), path.c_str());
    else
      unlink(tmp.c_str());
  }

  bool tried_ = false;
  std::string dir_;
  int logFd_ = -1;
};

struct State {
  std::mutex mutex;
  Parport parport;
  VirtualPort virtualPort;
  BYTE written[0x10000] = {};
  bool everWritten[0x10000] = {};
};

State& Library() {
  static State state;
  return state;
}

// `count` bytes to one port: hardware first, then the mirror.
void WriteBytes(ULONG port, const BYTE* bytes, std::size_t count) {
  State& s = Library();
  const PortAddress p = PortAddress(port & 0xFFFF);
  std::lock_guard lock(s.mutex);
  for (std::size_t i = 0; i < count; ++i) {
    s.parport.Write(p, bytes[i]);
    s.written[p] = bytes[i];
    s.everWritten[p] = true;
  }
  s.virtualPort.Write(p, bytes, count);
}

BYTE ReadByte(ULONG port) {
  State& s = Library();
  const PortAddress p = PortAddress(port & 0xFFFF);
  std::lock_guard lock(s.mutex);
  BYTE value = 0xFF;
  if (p == kLpt1Data && s.virtualPort.ReadData(value)) return value;
  return s.everWritten[p] ? s.written[p] : BYTE(0xFF);
}

// A value of `width` bytes to consecutive ports, lowest byte first.
void WriteWide(ULONG port, ULONG value, int width) {
  for (int i = 0; i < width; ++i) {
    const BYTE b = BYTE(value >> (8 * i));
    WriteBytes(port + ULONG(i), &b, 1);
  }
}

ULONG ReadWide(ULONG port, int width) {
  ULONG value = 0;
  for (int i = 0; i < width; ++i) value |= ULONG(ReadByte(port + ULONG(i))) << (8 * i);
  return value;
}

}  // namespace

extern "C" {

BYTE DlPortReadPortUchar(ULONG Port) {
  return ReadByte(Port);
}
WORD DlPortReadPortUshort(ULONG Port) {
  return WORD(ReadWide(Port, 2));
}
ULONG DlPortReadPortUlong(ULONG Port) {
  return ReadWide(Port, 4);
}

void DlPortWritePortUchar(ULONG Port, BYTE Value) {
  WriteBytes(Port, &Value, 1);
}
void DlPortWritePortUshort(ULONG Port, WORD Value) {
  WriteWide(Port, Value, 2);
}
void DlPortWritePortUlong(ULONG Port, ULONG Value) {
  WriteWide(Port, Value, 4);
}

void DlPortReadPortBufferUchar(ULONG Port, BYTE* Buffer, ULONG Count) {
  if (!Buffer) return;
  for (ULONG i = 0; i < Count; ++i) Buffer[i] = ReadByte(Port);
}

void DlPortReadPortBufferUshort(ULONG Port, WORD* Buffer, ULONG Count) {
  if (!Buffer) return;
  for (ULONG i = 0; i < Count; ++i) Buffer[i] = WORD(ReadWide(Port, 2));
}

void DlPortReadPortBufferUlong(ULONG Port, ULONG* Buffer, ULONG Count) {
  if (!Buffer) return;
  for (ULONG i = 0; i < Count; ++i) Buffer[i] = ReadWide(Port, 4);
}

void DlPortWritePortBufferUchar(ULONG Port, const BYTE* Buffer, ULONG Count) {
  if (Buffer) WriteBytes(Port, Buffer, Count);
}

void DlPortWritePortBufferUshort(ULONG Port, const WORD* Buffer, ULONG Count) {
  if (!Buffer) return;
  for (ULONG i = 0; i < Count; ++i) WriteWide(Port, Buffer[i], 2);
}

void DlPortWritePortBufferUlong(ULONG Port, const ULONG* Buffer, ULONG Count) {
  if (!Buffer) return;
  for (ULONG i = 0; i < Count; ++i) WriteWide(Port, Buffer[i], 4);
}

}  // extern "C"
