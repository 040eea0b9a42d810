// "DLPortIO.dll" through its entry points: the virtual port's lines and state, bytes of
// wider writes, the log's size cap, several programs writing at once, and the note about
// the parallel port device.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "dlportio/dlportio.h"
#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

namespace fs = std::filesystem;

struct Line {
  std::uint64_t ns = 0;
  unsigned port = 0;
  unsigned byte = 0;
};

std::string PortDir() {
  return kaztest::Prefix() + "/" + kDlPortFolder;
}

// Whether `s` is `n` characters (any number when n is 0) out of `allowed`.
bool Made(const std::string& s, std::size_t n, const char* allowed) {
  return !s.empty() && (n == 0 || s.size() == n) &&
         s.find_first_not_of(allowed) == std::string::npos;
}

// Every line of a log file; a malformed line fails the test.
std::vector<Line> Lines(const std::string& name) {
  std::vector<Line> lines;
  std::istringstream in(kaztest::ReadFile(PortDir() + "/" + name));
  std::string text;
  while (std::getline(in, text)) {
    const std::size_t a = text.find(' ');
    const std::size_t b = a == std::string::npos ? a : text.find(' ', a + 1);
    const bool ok = b != std::string::npos && Made(text.substr(0, a), 0, "0123456789") &&
                    Made(text.substr(a + 1, b - a - 1), 4, "0123456789abcdef") &&
                    Made(text.substr(b + 1), 2, "0123456789abcdef");
    EXPECT_TRUE(ok) << "malformed line: " << text;
    if (!ok) continue;
    lines.push_back({std::stoull(text.substr(0, a)),
                     unsigned(std::stoul(text.substr(a + 1, 4), nullptr, 16)),
                     unsigned(std::stoul(text.substr(b + 1), nullptr, 16))});
  }
  return lines;
}

// Runs a command and answers what it wrote (standard output and error).
std::string RunCapturing(const std::string& command) {
  return kaztest::Shell(command + " 2>&1");
}

std::string Peer() {
  return kaztest::ProgramDir() + "/dlportio_peer";
}

class DlPortIO : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    fs::remove_all(PortDir(), ec);
    lib_ = LoadLibraryA("DLPortIO.dll");
    ASSERT_NE(lib_, nullptr) << win32::LastLoadLibraryError();
  }
  void TearDown() override { FreeLibrary(lib_); }

  // The header's declaration gives only the type (decltype does not use the function, so
  // the test does not link the library it loads).
  template <class F>
  F* Entry(const char* name) {
    return reinterpret_cast<F*>(GetProcAddress(lib_, name));
  }
#define ENTRY(name) Entry<decltype(name)>(#name)

  HMODULE lib_ = nullptr;
};

TEST_F(DlPortIO, WritesAreMirroredByteByByte) {
  auto writeByte = ENTRY(DlPortWritePortUchar);
  auto writeWord = ENTRY(DlPortWritePortUshort);
  auto writeLong = ENTRY(DlPortWritePortUlong);
  auto writeBytes = ENTRY(DlPortWritePortBufferUchar);
  auto readByte = ENTRY(DlPortReadPortUchar);
  auto readWord = ENTRY(DlPortReadPortUshort);
  auto readLong = ENTRY(DlPortReadPortUlong);
  auto readWords = ENTRY(DlPortReadPortBufferUshort);
  ASSERT_TRUE(writeByte && writeWord && writeLong && writeBytes && readByte && readWord &&
              readLong && readWords);

  EXPECT_EQ(readByte(0x300), 0xFF) << "a port nobody wrote reads as an empty bus";
  writeByte(kLpt1Data, 0x80);
  writeWord(0x300, 0x1234);      // low byte to 0x300, high byte to 0x301
  writeLong(0x310, 0xA1B2C3D4);  // four bytes, lowest first
  const BYTE burst[] = {1, 2, 3};
  writeBytes(kLpt1Data, burst, 3);  // all on the same port

  const std::vector<Line> lines = Lines(kDlPortLogName);
  const std::vector<std::pair<unsigned, unsigned>> expected = {
      {0x378, 0x80}, {0x300, 0x34}, {0x301, 0x12}, {0x310, 0xD4}, {0x311, 0xC3},
      {0x312, 0xB2}, {0x313, 0xA1}, {0x378, 1},    {0x378, 2},    {0x378, 3}};
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].port, expected[i].first) << i;
    EXPECT_EQ(lines[i].byte, expected[i].second) << i;
    if (i > 0) {
      EXPECT_GE(lines[i].ns, lines[i - 1].ns) << i;
    }
  }
  EXPECT_EQ(kaztest::ReadFile(PortDir() + "/" + kDlPortStateName), "03\n");

  EXPECT_EQ(readByte(kLpt1Data), 3);
  EXPECT_EQ(readWord(0x300), 0x1234);
  EXPECT_EQ(readLong(0x310), 0xA1B2C3D4u);
  WORD words[2] = {};
  readWords(0x300, words, 2);
  EXPECT_EQ(words[0], 0x1234);
  EXPECT_EQ(words[1], 0x1234);

  // The data register is one register for every program: another one's byte is read back.
  ASSERT_EQ(std::system((Peer() + " 0x378 1 0x5a 2>/dev/null").c_str()), 0);
  EXPECT_EQ(readByte(kLpt1Data), 0x5A);
}

TEST_F(DlPortIO, LogIsCappedWithoutLosingLinesAtTheCut) {
  auto writeBytes = ENTRY(DlPortWritePortBufferUchar);
  ASSERT_NE(writeBytes, nullptr);
  // Enough lines to fill the log about two and a half times.
  std::vector<BYTE> bytes(120000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = BYTE(i);
  writeBytes(0x0280, bytes.data(), ULONG(bytes.size()));

  const std::uintmax_t current = fs::file_size(PortDir() + "/" + kDlPortLogName);
  const std::uintmax_t old = fs::file_size(PortDir() + "/" + kDlPortOldLogName);
  EXPECT_LE(current, kDlPortLogLimit);
  EXPECT_LE(old, kDlPortLogLimit);
  EXPECT_GT(old, kDlPortLogLimit / 2);

  // The two files are one unbroken run of the newest bytes.
  std::vector<Line> lines = Lines(kDlPortOldLogName);
  const std::vector<Line> newer = Lines(kDlPortLogName);
  lines.insert(lines.end(), newer.begin(), newer.end());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().byte, unsigned(BYTE(bytes.size() - 1)));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].byte, (lines[i - 1].byte + 1) & 0xFF) << "line lost at " << i;
    ASSERT_GE(lines[i].ns, lines[i - 1].ns);
  }
  EXPECT_EQ(fs::exists(PortDir() + "/" + kDlPortStateName), false)
      << "only the data register has a state file";
}

TEST_F(DlPortIO, ProgramsWritingAtOnceKeepWholeOrderedLines) {
  constexpr int kEach = 5000;
  std::FILE* a = popen((Peer() + " 0x201 " + std::to_string(kEach)).c_str(), "r");
  std::FILE* b = popen((Peer() + " 0x202 " + std::to_string(kEach)).c_str(), "r");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(pclose(a), 0);
  EXPECT_EQ(pclose(b), 0);

  const std::vector<Line> lines = Lines(kDlPortLogName);
  ASSERT_EQ(lines.size(), std::size_t(2 * kEach));
  unsigned next[2] = {0, 0};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_TRUE(lines[i].port == 0x201 || lines[i].port == 0x202);
    unsigned& expected = next[lines[i].port - 0x201];
    ASSERT_EQ(lines[i].byte, expected & 0xFF) << "each program's bytes in its order";
    ++expected;
    if (i > 0) {
      ASSERT_GE(lines[i].ns, lines[i - 1].ns) << "time stamps in file order";
    }
  }
}

// How many notes a program wrote.
std::size_t Notes(const std::string& out) {
  std::size_t notes = 0;
  for (std::size_t at = out.find("DLPortIO:"); at != std::string::npos;
       at = out.find("DLPortIO:", at + 1))
    ++notes;
  return notes;
}

TEST_F(DlPortIO, AbsentOrBusyParallelPortIsNotedOnce) {
  const std::string dir = kaztest::MakeTempDir("parport");
  setenv(kDlPortDeviceVariable, (dir + "/absent").c_str(), 1);
  std::string out = RunCapturing(Peer() + " 0x378 5");
  EXPECT_EQ(Notes(out), 1u) << out;
  EXPECT_EQ(Lines(kDlPortLogName).size(), 5u) << "the virtual port still gets every byte";

  // Another program has the port: the writes go on at once, to the virtual port.
  const std::string port = dir + "/parport";
  kaztest::WriteFile(port, "");
  const int held = open(port.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  setenv(kDlPortDeviceVariable, port.c_str(), 1);
  out = RunCapturing(Peer() + " 0x378 5");
  close(held);
  unsetenv(kDlPortDeviceVariable);
  EXPECT_EQ(Notes(out), 1u) << out;
  EXPECT_NE(out.find("busy"), std::string::npos) << out;
  EXPECT_EQ(Lines(kDlPortLogName).size(), 10u);
}

TEST_F(DlPortIO, ParallelPortDeviceIsUsedWhenThere) {
  if (!fs::exists(kDlPortDevice)) GTEST_SKIP() << "no " << kDlPortDevice << " on this machine";
  const int fd = open(kDlPortDevice, O_RDWR | O_CLOEXEC);
  const bool usable = fd >= 0;
  if (fd >= 0) close(fd);
  const std::string out = RunCapturing(Peer() + " 0x378 3 0");
  if (usable) {
    EXPECT_EQ(out.find("DLPortIO:"), std::string::npos) << out;
  } else {
    EXPECT_EQ(out.find("DLPortIO:"), out.rfind("DLPortIO:")) << "noted once: " << out;
    EXPECT_NE(out.find("DLPortIO:"), std::string::npos) << out;
  }
  EXPECT_EQ(Lines(kDlPortLogName).size(), 3u);
}

}  // namespace
