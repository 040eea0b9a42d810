// Profile (INI) files: the platform's reading rules, writes that keep every other
// byte, and writes from two processes at once or from a process killed mid-write.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

std::string WinDirPath(const std::string& name) {
  return kaztest::Prefix() + "/windows/" + name;
}

// Makes sure the Windows directory exists before a test writes a file there by hand.
std::string PutFile(const std::string& name, const std::string& bytes) {
  win32::WindowsDirectory();
  std::string path = WinDirPath(name);
  kaztest::WriteFile(path, bytes);
  return path;
}

std::string Get(const char* section, const char* key, const char* def, const char* file,
                DWORD size = 512, DWORD* answer = nullptr) {
  std::vector<char> buf(size + 1, '#');
  DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file);
  if (answer) *answer = n;
  return std::string(buf.data(), n);
}

// A double-NUL list as its entries.
std::vector<std::string> Entries(const char* buf, DWORD n) {
  std::vector<std::string> out;
  std::string cur;
  for (DWORD i = 0; i < n; ++i) {
    if (buf[i] == '\0') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += buf[i];
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

std::string Peer() {
  return kaztest::ProgramDir() + "/ini_writer_peer";
}

// What the writer peer's file holds after its first m writes into a new file.
std::string PeerContent(const std::string& section, const std::string& prefix, int m) {
  if (m == 0) return "";
  std::string s = "[" + section + "]\r\n";
  for (int i = 0; i < m; ++i) s += prefix + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
  return s;
}

// The number of keys in `content` when it is exactly the peer's file after some writes;
// -1 when it is anything else (cut short, half written, keys missing or out of order).
int PeerPrefixLength(const std::string& content, const std::string& section,
                     const std::string& prefix) {
  if (content.empty()) return 0;
  std::size_t lines = 0;
  for (std::size_t p = content.find("\r\n"); p != std::string::npos;
       p = content.find("\r\n", p + 2))
    ++lines;
  if (lines == 0) return -1;
  int m = int(lines) - 1;
  return content == PeerContent(section, prefix, m) ? m : -1;
}

}  // namespace

TEST(Profile, BareNameLivesInWindowsDirectoryWithCrLf) {
  ASSERT_TRUE(WritePrivateProfileStringA("Handle", "kaz", "123", "Bare.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Bare.ini")), "[Handle]\r\nkaz=123\r\n");
  EXPECT_EQ(Get("Handle", "kaz", "", "Bare.ini"), "123");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(Profile, SectionsKeysAndFileNamesMatchWithoutCase) {
  ASSERT_TRUE(WritePrivateProfileStringA("Handle", "Kaz", "1", "CaseFile.ini"));
  EXPECT_EQ(Get("HANDLE", "kAZ", "", "casefile.INI"), "1");
  ASSERT_TRUE(WritePrivateProfileStringA("handle", "KAZ", "2", "CASEFILE.ini"));
  // One file, one section, one key, spelled as first written.
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("CaseFile.ini")), "[Handle]\r\nKaz=2\r\n");
  struct stat st {};
  EXPECT_NE(stat(WinDirPath("CASEFILE.ini").c_str(), &st), 0);
  // Accented letters too, down to the lock two programs making the file at once must share.
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "1", "CAF\xC9.INI"));
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "2", "Caf\xE9.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("CAF\xC3\x89.INI")), "[S]\r\nk=2\r\n");
  EXPECT_EQ(stat(WinDirPath(".caf\xC3\xA9.ini.lock").c_str(), &st), 0);
  EXPECT_NE(stat(WinDirPath(".caf\xC3\x89.ini.lock").c_str(), &st), 0);
}

TEST(Profile, MissingFileOrKeyGivesDefault) {
  EXPECT_EQ(Get("S", "K", "fallback", "NoSuchFile.ini"), "fallback");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  PutFile("Missing.ini", "[S]\r\nA=1\r\n");
  EXPECT_EQ(Get("S", "B", "dflt", "Missing.ini"), "dflt");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get("T", "A", nullptr, "Missing.ini"), "");
  EXPECT_EQ(GetPrivateProfileIntA("S", "B", 77, "Missing.ini"), 77u);
}

TEST(Profile, ValuesAreTrimmedAndLoseEnclosingQuotes) {
  PutFile("Trim.ini",
          "[S]\r\n"
          "  Spaced  =   two words \t\r\n"
          "DQ=\"  kept blanks  \"\r\n"
          "SQ='single'\r\n"
          "Mixed=\"not closed'\r\n"
          "Lone=\"\r\n"
          "Empty=\r\n");
  EXPECT_EQ(Get("S", "Spaced", "", "Trim.ini"), "two words");
  EXPECT_EQ(Get("  S ", " spaced ", "", "Trim.ini"), "two words");
  EXPECT_EQ(Get("S", "DQ", "", "Trim.ini"), "  kept blanks  ");
  EXPECT_EQ(Get("S", "SQ", "", "Trim.ini"), "single");
  EXPECT_EQ(Get("S", "Mixed", "", "Trim.ini"), "\"not closed'");
  EXPECT_EQ(Get("S", "Lone", "", "Trim.ini"), "\"");
  EXPECT_EQ(Get("S", "Empty", "dflt", "Trim.ini"), "");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(Profile, DefaultLosesTrailingBlanksAndEmptyKeyAnswersNothing) {
  DWORD n = 0;
  EXPECT_EQ(Get("S", "none", "x   ", "Defaults.ini", 512, &n), "x");
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(Get("S", "none", "  x   ", "Defaults.ini", 512, &n), "  x");
  EXPECT_EQ(n, 3u);
  PutFile("Defaults.ini", "[S]\r\nA=1\r\n");
  EXPECT_EQ(Get("S", "", "x", "Defaults.ini", 512, &n), "");
  EXPECT_EQ(n, 0u);
}

TEST(Profile, ValueIsCutToSizeMinusOne) {
  PutFile("Cut.ini", "[S]\r\nK=abcdef\r\n");
  char buf[8] = "#######";
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buf, 4, "Cut.ini"), 3u);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(buf[4], '#');
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buf, 7, "Cut.ini"), 6u);
  EXPECT_STREQ(buf, "abcdef");
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buf, 1, "Cut.ini"), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST(Profile, SectionNamesAsDoubleNulListCutToSizeMinusTwo) {
  PutFile("Sections.ini", "[section1]\r\n[section2]\r\n[section3]\r\n");
  char buf[64];
  // The platform's figures: 27 when there is room, 26 when the list fits exactly,
  // 25 when it is one byte short; always two NULs at the end.
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, 29, "Sections.ini");
  EXPECT_EQ(n, 27u);
  EXPECT_EQ(buf[n - 1], '\0');
  EXPECT_EQ(buf[n], '\0');
  EXPECT_EQ(Entries(buf, n), (std::vector<std::string>{"section1", "section2", "section3"}));
  n = GetPrivateProfileSectionNamesA(buf, 28, "Sections.ini");
  EXPECT_EQ(n, 26u);
  EXPECT_EQ(buf[n], '\0');
  EXPECT_EQ(buf[n + 1], '\0');
  n = GetPrivateProfileStringA(nullptr, "ignored", "", buf, 27, "Sections.ini");
  EXPECT_EQ(n, 25u);
  EXPECT_EQ(buf[n], '\0');
  EXPECT_EQ(buf[n + 1], '\0');
  EXPECT_EQ(std::string(buf + 18), "section");
  // No file: an empty list.
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf, 10, "NoSections.ini"), 0u);
  EXPECT_EQ(buf[0], '\0');
}

TEST(Profile, KeyListSkipsCommentsAndLinesWithoutEquals) {
  PutFile("Keys.ini", "[s]\r\nname1=val1\r\nname2=\r\nname3\r\n;name5=comment\r\nname4=val4\r\n");
  char buf[100];
  DWORD n = GetPrivateProfileStringA("s", nullptr, "", buf, sizeof buf, "Keys.ini");
  EXPECT_EQ(n, 18u);
  EXPECT_EQ(Entries(buf, n), (std::vector<std::string>{"name1", "name2", "name4"}));
  n = GetPrivateProfileStringA("s", nullptr, "", buf, 10, "Keys.ini");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(buf[8], '\0');
  EXPECT_EQ(buf[9], '\0');
  // A section without keys answers the default.
  PutFile("NoKeys.ini", "[empty]\r\n; nothing\r\n");
  EXPECT_EQ(Get("empty", nullptr, "dflt", "NoKeys.ini"), "dflt");
  n = GetPrivateProfileSectionA("s", buf, sizeof buf, "Keys.ini");
  EXPECT_EQ(Entries(buf, n),
            (std::vector<std::string>{"name1=val1", "name2=", "name3", "name4=val4"}));
}

TEST(Profile, IntegersAsThePlatformReadsThem) {
  PutFile("Ints.ini",
          "[I]\r\nneg=-1\r\nplus=+1\r\nwrap=4294967296\r\nwrap1=4294967297\r\n"
          "negwrap=-4294967297\r\ntail=42A94967297\r\nlead=B4294967297\r\nhex=0x1F\r\n"
          "hex2=0XfF\r\nblank=   17\r\nempty=\r\nquoted=\"12\"\r\nzero=0\r\n");
  auto i = [](const char* key, INT def = -5) {
    return GetPrivateProfileIntA("I", key, def, "Ints.ini");
  };
  EXPECT_EQ(i("neg"), 4294967295u);
  EXPECT_EQ(i("plus"), 1u);
  EXPECT_EQ(i("wrap"), 0u);
  EXPECT_EQ(i("wrap1"), 1u);
  EXPECT_EQ(i("negwrap"), 4294967295u);
  EXPECT_EQ(i("tail"), 42u);
  EXPECT_EQ(i("lead"), 0u);
  EXPECT_EQ(i("hex"), 31u);
  EXPECT_EQ(i("hex2"), 255u);
  EXPECT_EQ(i("blank"), 17u);
  EXPECT_EQ(i("empty", 9), 9u);
  EXPECT_EQ(i("missing", 9), 9u);
  EXPECT_EQ(i("quoted"), 12u);
  EXPECT_EQ(i("zero", 9), 0u);
}

TEST(Profile, NewKeysGoAtTheEndOfTheirSectionNewSectionsAtTheEnd) {
  PutFile("Order.ini", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("A", "z", "3", "Order.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("C", "w", "4", "Order.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("A", "X", "changed", "Order.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Order.ini")),
            "[A]\r\nx=changed\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
}

TEST(Profile, DeleteKeyAndSection) {
  PutFile("Delete.ini", "; head\r\n[A]\r\nx=1\r\nX=dup\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\nq=4\r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "x", nullptr, "Delete.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Delete.ini")),
            "; head\r\n[A]\r\ny=2\r\n[B]\r\nz=3\r\n[a]\r\nq=4\r\n");
  EXPECT_EQ(Get("A", "x", "gone", "Delete.ini"), "gone");
  ASSERT_TRUE(WritePrivateProfileStringA("A", nullptr, nullptr, "Delete.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Delete.ini")), "; head\r\n[B]\r\nz=3\r\n");
  EXPECT_EQ(Get("A", "y", "gone", "Delete.ini"), "gone");
  // Deleting what is not there succeeds and changes nothing.
  ASSERT_TRUE(WritePrivateProfileStringA("Nope", nullptr, nullptr, "Delete.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("B", "nope", nullptr, "Delete.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Delete.ini")), "; head\r\n[B]\r\nz=3\r\n");
  // Deleting in a file that does not exist makes no file.
  ASSERT_TRUE(WritePrivateProfileStringA("B", "z", nullptr, "NeverMade.ini"));
  struct stat st {};
  EXPECT_NE(stat(WinDirPath("NeverMade.ini").c_str(), &st), 0);
}

TEST(Profile, MalformedInputReadsAndSurvivesWritesByteForByte) {
  const std::string longValue(100 * 1024, 'v');
  const std::string longJunk(100 * 1024, 'j');
  const std::string binaryKey("\x01\x02\xff\xfe", 4);
  const std::string part1 = std::string("orphan=before any section\r\n") +
                            "; comment = not a key\n" + "[Main]\r" +  // a lone CR ends this line
                            "Key1 =  spaced value  \r\n" + "no equals sign here\n" + binaryKey +
                            "=" + std::string("bin\0ary", 7) + "\r\n" + "\r\n" +
                            "Quoted=\"  in quotes  \"\n";
  const std::string part2 = std::string("\r\n") + "[Binary\xff]\r\n" + "Long=" + longValue +
                            "\r\n" + longJunk + "\n" + "[Last]\r\n" +
                            "Tail=end";  // no line end at all
  const std::string original = part1 + part2;
  PutFile("Malformed.ini", original);

  EXPECT_EQ(Get("Main", "key1", "", "Malformed.ini"), "spaced value");
  EXPECT_EQ(Get("Main", "Quoted", "", "Malformed.ini"), "  in quotes  ");
  EXPECT_EQ(Get("Main", binaryKey.c_str(), "", "Malformed.ini"), "bin");
  EXPECT_EQ(Get("Main", "orphan", "none", "Malformed.ini"), "none");
  EXPECT_EQ(Get("Main", "no equals sign here", "none", "Malformed.ini"), "none");
  EXPECT_EQ(Get("Last", "Tail", "", "Malformed.ini"), "end");
  EXPECT_EQ(Get("Binary\xff", "long", "", "Malformed.ini", 200 * 1024), longValue);
  char buf[256];
  DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, "Malformed.ini");
  EXPECT_EQ(Entries(buf, n), (std::vector<std::string>{"Main", "Binary\xff", "Last"}));
  n = GetPrivateProfileStringA("main", nullptr, "", buf, sizeof buf, "Malformed.ini");
  EXPECT_EQ(Entries(buf, n), (std::vector<std::string>{"Key1", binaryKey, "Quoted"}));

  // A new key of [Main] lands after its last line; the file's first line end (CR LF) is
  // the one new lines get. Everything else stays as it was.
  ASSERT_TRUE(WritePrivateProfileStringA("Main", "Added", "1", "Malformed.ini"));
  std::string expected = part1 + "Added=1\r\n" + part2;
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Malformed.ini")), expected);

  // The last line has no line end: changing it keeps that; appending after it gives it one.
  ASSERT_TRUE(WritePrivateProfileStringA("Last", "Tail", "changed", "Malformed.ini"));
  expected = expected.substr(0, expected.size() - 3) + "changed";
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Malformed.ini")), expected);
  ASSERT_TRUE(WritePrivateProfileStringA("Fresh", "New", "x", "Malformed.ini"));
  expected += "\r\n[Fresh]\r\nNew=x\r\n";
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Malformed.ini")), expected);
  EXPECT_EQ(Get("Binary\xff", "Long", "", "Malformed.ini", 200 * 1024), longValue);
}

TEST(Profile, LineEndsOfTheFileAreKept) {
  PutFile("Lf.ini", "[S]\nA=1\n");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "B", "2", "Lf.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("T", "C", "3", "Lf.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Lf.ini")), "[S]\nA=1\nB=2\n[T]\nC=3\n");
  PutFile("Cr.ini", "[S]\rA=1\r");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "B", "2", "Cr.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Cr.ini")), "[S]\rA=1\rB=2\r");
  EXPECT_EQ(Get("S", "A", "", "Cr.ini"), "1");
}

TEST(Profile, UnchangedValueWritesNothing) {
  PutFile("Same.ini", "[S]\r\nK =  5 \r\n");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "5", "Same.ini"));
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("Same.ini")), "[S]\r\nK =  5 \r\n");
}

TEST(Profile, PathsOtherThanBareNames) {
  const std::string dir = kaztest::MakeTempDir("profile-paths");
  ASSERT_FALSE(dir.empty());
  const std::string linuxFile = dir + "/Linux.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "linux", linuxFile.c_str()));
  EXPECT_EQ(kaztest::ReadFile(linuxFile), "[S]\r\nK=linux\r\n");

  const std::string winFile = win32::LinuxToWindowsPath(dir) + "\\Win.INI";
  ASSERT_EQ(winFile.substr(0, 3), "Z:\\");
  ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "windows", winFile.c_str()));
  EXPECT_EQ(kaztest::ReadFile(dir + "/Win.INI"), "[S]\r\nK=windows\r\n");
  EXPECT_EQ(Get("S", "K", "", (win32::LinuxToWindowsPath(dir) + "/win.ini").c_str()), "windows");

  EXPECT_FALSE(
      WritePrivateProfileStringA("S", "K", "v", (winFile + "\\..\\nofolder\\x.ini").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "v", "Q:\\unmapped\\x.ini"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Get("S", "K", "dflt", "Q:\\unmapped\\x.ini"), "dflt");
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "K", "v", "Bare.ini"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, "Bare.ini"));
}

TEST(Profile, WinIniVariants) {
  ASSERT_TRUE(WriteProfileStringA("Desktop", "Wallpaper", "none"));
  char buf[32];
  EXPECT_EQ(GetProfileStringA("desktop", "wallpaper", "", buf, sizeof buf), 4u);
  EXPECT_STREQ(buf, "none");
  EXPECT_EQ(GetProfileIntA("Desktop", "Missing", 3), 3u);
  EXPECT_EQ(kaztest::ReadFile(WinDirPath("win.ini")), "[Desktop]\r\nWallpaper=none\r\n");
}

TEST(Profile, ThreadsWritingOneFileLoseNothing) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        std::string key = "t" + std::to_string(t) + "k" + std::to_string(i);
        WritePrivateProfileStringA("Threads", key.c_str(), "x", "Threads.ini");
      }
    });
  }
  for (auto& t : threads) t.join();
  std::vector<char> buf(8192);
  DWORD n = GetPrivateProfileStringA("Threads", nullptr, "", buf.data(), DWORD(buf.size()),
                                     "Threads.ini");
  EXPECT_EQ(Entries(buf.data(), n).size(), 100u);
}

TEST(Profile, TwoProcessesWritingOneFileAtOnceLoseNothing) {
  const std::string go = kaztest::Prefix() + "/go-two-writers";
  unlink(go.c_str());
  unlink(WinDirPath("Shared.ini").c_str());
  int a = kaztest::Spawn(Peer(), {"Shared.ini", "Both", "a", "500", go});
  int b = kaztest::Spawn(Peer(), {"Shared.ini", "Both", "b", "500", go});
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  kaztest::WriteFile(go, "go");
  EXPECT_EQ(kaztest::WaitExit(a, 120000), 0);
  EXPECT_EQ(kaztest::WaitExit(b, 120000), 0);

  std::vector<char> buf(64 * 1024);
  DWORD n =
      GetPrivateProfileStringA("Both", nullptr, "", buf.data(), DWORD(buf.size()), "Shared.ini");
  std::vector<std::string> keys = Entries(buf.data(), n);
  EXPECT_EQ(keys.size(), 1000u);
  EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 1000u);
  for (int i = 0; i < 500; ++i) {
    for (const char* p : {"a", "b"}) {
      std::string key = p + std::to_string(i);
      ASSERT_EQ(Get("Both", key.c_str(), "missing", "Shared.ini"), "v" + std::to_string(i)) << key;
    }
  }
}

TEST(Profile, WriterKilledMidRunLeavesAWholeFile) {
  // Each round lets a writer run, watching every version of the file it produces, then kills
  // it at a slightly different moment. Every version seen, and the one left behind, must be
  // exactly the file after some number of its writes.
  for (int round = 0; round < 5; ++round) {
    const std::string name = "Kill" + std::to_string(round) + ".ini";
    const std::string path = WinDirPath(name);
    unlink(path.c_str());
    int pid = kaztest::Spawn(Peer(), {name, "Kill", "k", "-1"});
    ASSERT_GT(pid, 0);
    // The peer writes for ever: whatever happens below, it must not outlive the round.
    struct KillOnExit {
      int pid;
      ~KillOnExit() {
        if (pid > 0) {
          kill(pid, SIGKILL);
          kaztest::WaitExit(pid, 10000);
        }
      }
    } guard{pid};
    const int target = 20 + 15 * round;
    int seen = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen < target && std::chrono::steady_clock::now() < deadline) {
      int m = PeerPrefixLength(kaztest::ReadFile(path), "Kill", "k");
      ASSERT_GE(m, 0) << "a reader saw a partial file in round " << round;
      ASSERT_GE(m, seen);
      seen = m;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
    kill(pid, SIGKILL);
    EXPECT_EQ(kaztest::WaitExit(pid, 10000), 128 + SIGKILL);
    guard.pid = -1;
    ASSERT_GE(seen, target) << "the writer made no progress";

    const std::string left = kaztest::ReadFile(path);
    const int m = PeerPrefixLength(left, "Kill", "k");
    ASSERT_GE(m, seen) << "round " << round << " left:\n" << left.substr(0, 400);
    // The next writer finds the file whole and the lock free.
    ASSERT_TRUE(WritePrivateProfileStringA("Kill", "after", "ok", name.c_str()));
    EXPECT_EQ(kaztest::ReadFile(path), PeerContent("Kill", "k", m) + "after=ok\r\n");
  }
}
