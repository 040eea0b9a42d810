// Drives, path translation, folder listings and the small file functions.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "win32/Prefix.h"
#include "win32/Win32.h"

namespace {

std::string DosDevices() {
  return kaztest::Prefix() + "/dosdevices";
}

std::string Real(const std::string& path) {
  char* r = realpath(path.c_str(), nullptr);
  std::string s = r ? r : "";
  std::free(r);
  return s;
}

void Touch(const std::string& path, const std::string& bytes = "") {
  kaztest::WriteFile(path, bytes);
}

// Maps drive M: to a fresh folder of the test's prefix for as long as the fixture lives,
// and puts the current directory back afterwards.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetLogicalDrives();  // makes the standard links
    root_ = kaztest::MakeTempDir("drive-m");
    ASSERT_FALSE(root_.empty());
    link_ = DosDevices() + "/m:";
    unlink(link_.c_str());
    ASSERT_EQ(symlink(root_.c_str(), link_.c_str()), 0);
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
  }
  void TearDown() override {
    if (!cwd_.empty()) chdir(cwd_.c_str());
    unlink(link_.c_str());
  }

  std::string ToLinux(const std::string& win) {
    std::string linux = "<untouched>";
    DWORD error = 0;
    if (!win32::WindowsToLinuxPath(win, linux, error))
      return "error " + std::to_string(error) + " " + linux;
    return linux;
  }

  std::string root_, link_, cwd_;
};

struct Found {
  std::map<std::string, WIN32_FIND_DATAA> entries;
  std::vector<std::string> order;
  DWORD firstError = 0;
  DWORD endError = 0;
};

Found List(const std::string& pattern) {
  Found f;
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    f.firstError = GetLastError();
    return f;
  }
  do {
    f.entries[data.cFileName] = data;
    f.order.push_back(data.cFileName);
  } while (FindNextFileA(h, &data));
  f.endError = GetLastError();
  EXPECT_TRUE(FindClose(h));
  return f;
}

std::vector<std::string> Names(const Found& f) {
  std::vector<std::string> names = f.order;
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(FilesTest, StandardDrivesAreMadeOnFirstUse) {
  char target[PATH_MAX] = {};
  ASSERT_GT(readlink((DosDevices() + "/c:").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), std::string(std::getenv("HOME")));
  std::memset(target, 0, sizeof target);
  ASSERT_GT(readlink((DosDevices() + "/z:").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), "/");
  EXPECT_EQ(win32::DriveTarget('z'), "/");

  DWORD drives = GetLogicalDrives();
  EXPECT_TRUE(drives & (1u << ('C' - 'A')));
  EXPECT_TRUE(drives & (1u << ('M' - 'A')));
  EXPECT_TRUE(drives & (1u << ('Z' - 'A')));
  EXPECT_FALSE(drives & (1u << ('Q' - 'A')));

  for (const char* root : {"C:\\", "z:", "M", "m:/"}) {
    UINT type = GetDriveTypeA(root);
    EXPECT_TRUE(type == DRIVE_FIXED || type == DRIVE_REMOTE || type == DRIVE_RAMDISK)
        << root << " " << type;
  }
  EXPECT_EQ(GetDriveTypeA("Q:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("C:\\Windows\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeA("1:\\"), DRIVE_NO_ROOT_DIR);
}

TEST_F(FilesTest, LinkToBlockDeviceIsCdDrive) {
  std::string device;
  if (DIR* d = opendir("/dev")) {
    while (dirent* e = readdir(d)) {
      struct stat st {};
      std::string p = std::string("/dev/") + e->d_name;
      if (stat(p.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        device = p;
        break;
      }
    }
    closedir(d);
  }
  if (device.empty()) GTEST_SKIP() << "no block device in /dev";
  const std::string link = DosDevices() + "/k:";
  unlink(link.c_str());
  ASSERT_EQ(symlink(device.c_str(), link.c_str()), 0);
  EXPECT_EQ(GetDriveTypeA("K:\\"), DRIVE_CDROM);
  EXPECT_EQ(ToLinux("K:\\"), device);
  unlink(link.c_str());
}

TEST_F(FilesTest, WindowsPathsFindFilesWithoutRegardToCase) {
  ASSERT_EQ(mkdir((root_ + "/Music").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root_ + "/Music/House").c_str(), 0755), 0);
  Touch(root_ + "/Music/House/Track.MP3");
  const std::string track = root_ + "/Music/House/Track.MP3";

  EXPECT_EQ(ToLinux("M:\\Music\\House\\Track.MP3"), track);
  EXPECT_EQ(ToLinux("m:\\music\\HOUSE\\track.mp3"), track);
  EXPECT_EQ(ToLinux("M:/Music//House/./../House/Track.MP3"), track);
  EXPECT_EQ(ToLinux("M:\\..\\..\\Music\\..\\..\\music"), root_ + "/Music");
  EXPECT_EQ(ToLinux("M:\\Music.\\House \\"), root_ + "/Music/House");
  EXPECT_EQ(ToLinux("M:\\"), root_);
  EXPECT_EQ(ToLinux("\\\\?\\M:\\music"), root_ + "/Music");
  // What does not exist yet is kept as written, and so is everything below it.
  EXPECT_EQ(ToLinux("M:\\music\\New Folder\\house\\x.txt"),
            root_ + "/Music/New Folder/house/x.txt");

  // An exact spelling wins; among case variants the first in byte order.
  ASSERT_EQ(mkdir((root_ + "/Case").c_str(), 0755), 0);
  Touch(root_ + "/Case/abc");
  Touch(root_ + "/Case/ABC");
  EXPECT_EQ(ToLinux("M:\\Case\\abc"), root_ + "/Case/abc");
  EXPECT_EQ(ToLinux("M:\\Case\\Abc"), root_ + "/Case/ABC");

  // A Linux path is taken as it is.
  EXPECT_EQ(ToLinux("/etc/../etc/Passwd"), "/etc/../etc/Passwd");
}

TEST_F(FilesTest, UnmappedUncAndGarbagePathsAreNotFound) {
  for (const char* bad : {"Q:\\music\\x.mp3", "q:", "\\\\server\\share\\x", "//server/share",
                          "\\\\.\\COM1", "\\\\?\\UNC\\server\\x", "", "1:\\x", "::", "ab:\\x"}) {
    EXPECT_EQ(ToLinux(bad), "error 3 <untouched>") << "'" << bad << "'";
  }
  EXPECT_EQ(GetFileAttributesA("Q:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  WIN32_FIND_DATAA data{};
  EXPECT_EQ(FindFirstFileA("Q:\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesTest, RelativePathsUseTheCurrentDirectory) {
  ASSERT_EQ(mkdir((root_ + "/Music").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((root_ + "/Music/House").c_str(), 0755), 0);
  ASSERT_TRUE(SetCurrentDirectoryA("m:\\MUSIC"));
  char buf[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  EXPECT_EQ(std::string(buf, n), "M:\\Music");
  EXPECT_EQ(GetCurrentDirectoryA(3, buf), n + 1);
  EXPECT_EQ(ToLinux("house\\x.mp3"), root_ + "/Music/House/x.mp3");
  EXPECT_EQ(ToLinux("..\\Music"), root_ + "/Music");
  EXPECT_EQ(ToLinux("\\Music"), root_ + "/Music");
  EXPECT_EQ(ToLinux("M:house"), root_ + "/Music/House");
  EXPECT_EQ(ToLinux("Z:tmp"), "/tmp");
  EXPECT_EQ(win32::LinuxToWindowsPath("House"), "M:\\Music\\House");

  EXPECT_FALSE(SetCurrentDirectoryA("M:\\NoSuchFolder"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  Touch(root_ + "/file.txt");
  EXPECT_FALSE(SetCurrentDirectoryA("M:\\file.txt"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
}

TEST_F(FilesTest, LinuxPathsBecomeWindowsPathsOfTheLongestDrive) {
  ASSERT_EQ(mkdir((root_ + "/Music").c_str(), 0755), 0);
  EXPECT_EQ(win32::LinuxToWindowsPath(root_), "M:\\");
  EXPECT_EQ(win32::LinuxToWindowsPath(root_ + "/Music/./../Music/House"), "M:\\Music\\House");
  EXPECT_EQ(win32::LinuxToWindowsPath(Real(root_) + "/Music"), "M:\\Music");
  EXPECT_EQ(win32::LinuxToWindowsPath("/"), "Z:\\");
  EXPECT_EQ(win32::LinuxToWindowsPath("/usr//bin/"), "Z:\\usr\\bin");
  EXPECT_EQ(win32::LinuxToWindowsPath(std::getenv("HOME")), "C:\\");
  // A sibling whose name merely starts like the drive's folder is not on that drive.
  EXPECT_EQ(win32::LinuxToWindowsPath(root_ + "x").substr(0, 3), "Z:\\");
}

// The file system holds UTF-8 names, the system sees them in its code page (1252). A name
// the code page cannot hold shows in a form that still finds its file.
TEST_F(FilesTest, NamesOutsideAsciiShowInTheCodePageAndFindTheirFiles) {
  const std::string dir = root_ + "/D\xC3\xBCsseldorf";  // Düsseldorf
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  const std::string french = "Caf\xC3\xA9 \xC3\xA9t\xC3\xA9.mp3";         // Café été
  const std::string german = "Gr\xC3\xB6\xC3\x9F" "e \xC3\x9C" "ber.mp3";  // Größe Über
  const std::string russian = "\xD0\x94\xD0\xBE\xD0\xBC.mp3";               // Дом
  const std::string russian2 = "\xD0\x94\xD1\x8B\xD0\xBC.mp3";              // Дым
  const std::string legacy = "Caf\xE9.mp3";  // bytes of a Windows disk: not UTF-8
  for (const auto& name : {french, german, russian, russian2, legacy}) Touch(dir + "/" + name);

  Found f = List("M:\\D\xFCsseldorf\\*.mp3");
  ASSERT_EQ(f.order.size(), 5u);
  EXPECT_TRUE(f.entries.count("Caf\xE9 \xE9t\xE9.mp3"));
  EXPECT_TRUE(f.entries.count("Gr\xF6\xDF" "e \xDC" "ber.mp3"));
  std::vector<std::string> tagged;
  for (const auto& name : f.order)
    if (name.find('~') != std::string::npos) tagged.push_back(name);
  ASSERT_EQ(tagged.size(), 3u) << "each name the code page cannot hold is listed";
  std::sort(tagged.begin(), tagged.end());
  EXPECT_EQ(tagged[0].substr(0, 4), "Caf\xE9");
  EXPECT_EQ(tagged[1].substr(0, 4), "___~");
  EXPECT_EQ(tagged[2].substr(0, 4), "___~");
  EXPECT_NE(tagged[1], tagged[2]);
  // Lists keep the shown name from run to run, so its mark may never change.
  EXPECT_TRUE(f.entries.count("___~67D4.mp3")) << "Дом.mp3";

  // Every listed name leads back to its own file, and the file's path back to that name.
  std::vector<std::string> reached;
  for (const auto& name : f.order) {
    const std::string win = "M:\\D\xFCsseldorf\\" + name;
    const std::string linux = ToLinux(win);
    EXPECT_EQ(win32::LinuxToWindowsPath(linux), win);
    EXPECT_EQ(GetFileAttributesA(win.c_str()), FILE_ATTRIBUTE_ARCHIVE) << name;
    reached.push_back(linux.substr(dir.size() + 1));
  }
  std::sort(reached.begin(), reached.end());
  std::vector<std::string> all = {french, german, russian, russian2, legacy};
  std::sort(all.begin(), all.end());
  EXPECT_EQ(reached, all);
  // Accented letters compare without regard to case as the platform compares them.
  EXPECT_EQ(ToLinux("m:\\D\xDCSSELDORF\\CAF\xC9 \xC9T\xC9.MP3"), dir + "/" + french);
  EXPECT_EQ(List("M:\\d\xFCsseldorf\\*\xC9T\xC9*").order.size(), 1u);

  // New names are made in UTF-8.
  EXPECT_TRUE(MoveFileA(("M:\\D\xFCsseldorf\\" + tagged[1]).c_str(), "M:\\D\xFCsseldorf\\Stra\xDF" "e.mp3"));
  struct stat st {};
  EXPECT_EQ(stat((dir + "/Stra\xC3\x9F" "e.mp3").c_str(), &st), 0);
  EXPECT_TRUE(DeleteFileA("M:\\D\xFCsseldorf\\Stra\xDF" "e.mp3"));
  EXPECT_EQ(List("M:\\D\xFCsseldorf\\*.mp3").order.size(), 4u);
}

TEST(FilePattern, PlatformWildcardRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.mp3", "Track.MP3", true},
      {"*.mp3", "a.b.mp3", true},
      {"*.mp3", "track.mp3x", false},
      {"*.mp3", "mp3", false},
      {"*.*", "README", true},
      {"*.*", ".hidden", true},
      {"*.*", "a.b.c", true},
      {"*", "anything.at.all", true},
      {"*.", "README", true},
      {"*.", "notes.txt", false},
      {"a?.txt", "a.txt", true},
      {"a?.txt", "ab.txt", true},
      {"a?.txt", "abc.txt", false},
      {"???", "ab", true},
      {"?", "ab", false},
      {"track.mp3", "TRACK.Mp3", true},
      {"track.mp3", "track.mp", false},
      {"*.m?3", "x.mp3", true},
      {"*.m?3", "x.m3", false},
      {"*.?*", "x", true},
      {"*mp3", "x.MP3", true},
      {"t*k.mp3", "Track.mp3", true},
      {"*.*", ".", true},
      {"*", "..", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(win32::MatchesFilePattern(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST_F(FilesTest, FindFirstFileListsWithThePlatformsRules) {
  const std::string dir = root_ + "/Find";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/Sub").c_str(), 0755), 0);
  Touch(dir + "/Track.MP3", std::string(5000, 'x'));
  Touch(dir + "/other.mp3");
  Touch(dir + "/a.b.mp3");
  Touch(dir + "/notes.txt");
  Touch(dir + "/README");
  Touch(dir + "/.hidden");

  Found mp3 = List("M:\\Find\\*.mp3");
  EXPECT_EQ(Names(mp3), (std::vector<std::string>{"Track.MP3", "a.b.mp3", "other.mp3"}));
  EXPECT_EQ(mp3.endError, ERROR_NO_MORE_FILES);

  Found all = List("m:/find/*.*");
  EXPECT_EQ(Names(all),
            (std::vector<std::string>{".", "..", ".hidden", "README", "Sub", "Track.MP3", "a.b.mp3",
                                      "notes.txt", "other.mp3"}));
  ASSERT_GE(all.order.size(), 2u);
  EXPECT_EQ(all.order[0], ".");
  EXPECT_EQ(all.order[1], "..");

  EXPECT_EQ(Names(List("M:\\Find\\*.")), (std::vector<std::string>{"README", "Sub"}));
  EXPECT_EQ(Names(List("M:\\Find\\?EADME")), (std::vector<std::string>{"README"}));
  EXPECT_EQ(Names(List("M:\\Find\\track.mp3")), (std::vector<std::string>{"Track.MP3"}));

  EXPECT_EQ(List("M:\\Find\\*.wav").firstError, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(List("M:\\Find\\").firstError, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(List("M:\\Nope\\*").firstError, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(List("M:\\Find\\notes.txt\\*").firstError, ERROR_PATH_NOT_FOUND);

  // The root of a drive has no "." and "..".
  Found top = List("M:\\*");
  EXPECT_EQ(Names(top), (std::vector<std::string>{"Find"}));

  // A pattern without a folder lists the current directory.
  ASSERT_TRUE(SetCurrentDirectoryA("M:\\Find"));
  EXPECT_EQ(Names(List("*.txt")), (std::vector<std::string>{"notes.txt"}));
}

TEST_F(FilesTest, FindDataCarriesAttributesSizeAndTime) {
  const std::string dir = root_ + "/Attr";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/Sub").c_str(), 0755), 0);
  Touch(dir + "/Track.MP3", std::string(5000, 'x'));
  Touch(dir + "/.hidden");
  Touch(dir + "/readonly.txt");
  ASSERT_EQ(chmod((dir + "/readonly.txt").c_str(), 0444), 0);
  timespec times[2] = {{981158400, 0}, {981158400, 500}};  // 2001-02-03 00:00:00 UTC
  ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/Track.MP3").c_str(), times, 0), 0);

  Found f = List("M:\\Attr\\*");
  ASSERT_EQ(f.entries.size(), 6u);
  const auto& track = f.entries["Track.MP3"];
  EXPECT_EQ(track.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(track.nFileSizeHigh, 0u);
  EXPECT_EQ(track.nFileSizeLow, 5000u);
  // 2001-02-03 in FILETIME units: (981158400 + 11644473600) * 10^7 + 5.
  const std::uint64_t expected = (981158400ull + 11644473600ull) * 10000000ull + 5ull;
  EXPECT_EQ(track.ftLastWriteTime.dwLowDateTime, DWORD(expected & 0xFFFFFFFFu));
  EXPECT_EQ(track.ftLastWriteTime.dwHighDateTime, DWORD(expected >> 32));
  EXPECT_EQ(track.cAlternateFileName[0], '\0');

  EXPECT_EQ(f.entries[".hidden"].dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(f.entries["Sub"].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(f.entries["."].dwFileAttributes & ~FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(f.entries[".."].dwFileAttributes & ~FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(f.entries["readonly.txt"].dwFileAttributes,
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(GetFileAttributesA("M:\\attr\\.HIDDEN"),
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(GetFileAttributesA("M:\\Attr\\sub"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("M:\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("M:\\Attr\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("M:\\NoFolder\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesTest, FindHandlesAreChecked) {
  Touch(root_ + "/one");
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA("M:\\*", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CloseHandle(h));  // a search is closed by FindClose only
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindNextFileA(h, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindClose(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindClose(nullptr));
  EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(0xdead0)));
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(FindClose(event));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_TRUE(CloseHandle(event));
}

TEST_F(FilesTest, WindowsAndSystemDirectories) {
  char buf[MAX_PATH];
  UINT n = GetWindowsDirectoryA(buf, sizeof buf);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(buf));
  EXPECT_EQ(ToLinux(buf), kaztest::Prefix() + "/windows");
  struct stat st {};
  EXPECT_EQ(stat((kaztest::Prefix() + "/windows").c_str(), &st), 0);
  char small[4] = "###";
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), n + 1);
  EXPECT_STREQ(small, "###");

  n = GetSystemDirectoryA(buf, sizeof buf);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(ToLinux(buf), kaztest::Prefix() + "/windows/system32");
  EXPECT_EQ(stat((kaztest::Prefix() + "/windows/system32").c_str(), &st), 0);
  EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), n + 1);
}

TEST(Files, ModuleFileNameOfTheProgram) {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(buf));
  std::string linux;
  DWORD error = 0;
  ASSERT_TRUE(win32::WindowsToLinuxPath(buf, linux, error));
  EXPECT_EQ(Real(linux), Real("/proc/self/exe"));

  char small[6];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 6u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), std::string(buf, 5));

  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x777770), buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Files, VersionIsNt51) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 2600u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);

  OSVERSIONINFOEXA ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)));
  EXPECT_EQ(ex.dwPlatformId, 2u);
  EXPECT_EQ(ex.wServicePackMajor, 3u);

  OSVERSIONINFOA wrong{};
  wrong.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(&wrong));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(FilesTest, CreateCopyMoveDelete) {
  EXPECT_TRUE(CreateDirectoryA("M:\\Ops", nullptr));
  EXPECT_FALSE(CreateDirectoryA("m:\\ops", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("M:\\NoParent\\Child", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  Touch(root_ + "/Ops/Source.txt", "payload");
  EXPECT_TRUE(CopyFileA("M:\\ops\\source.TXT", "M:\\Ops\\Copy.txt", TRUE));
  EXPECT_EQ(kaztest::ReadFile(root_ + "/Ops/Copy.txt"), "payload");
  EXPECT_FALSE(CopyFileA("M:\\Ops\\Source.txt", "M:\\Ops\\Copy.txt", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  Touch(root_ + "/Ops/Source.txt", "second");
  EXPECT_TRUE(CopyFileA("M:\\Ops\\Source.txt", "M:\\Ops\\Copy.txt", FALSE));
  EXPECT_EQ(kaztest::ReadFile(root_ + "/Ops/Copy.txt"), "second");
  EXPECT_FALSE(CopyFileA("M:\\Ops\\Missing.txt", "M:\\Ops\\Other.txt", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Scratch files of free names, and a replacing move that spares a read-only file.
  char temp[MAX_PATH], other[MAX_PATH];
  ASSERT_NE(GetTempFileNameA("M:\\Ops", "kaz", 0, temp), 0u);
  ASSERT_NE(GetTempFileNameA("M:\\Ops\\", "kaz", 0, other), 0u);
  EXPECT_STRNE(temp, other);
  EXPECT_EQ(std::string(temp).rfind("M:\\Ops\\kaz", 0), 0u) << temp;
  EXPECT_NE(GetFileAttributesA(other), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(
      MoveFileExA(temp, "M:\\Ops\\Copy.txt", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(kaztest::ReadFile(root_ + "/Ops/Copy.txt"), "");
  chmod((root_ + "/Ops/Copy.txt").c_str(), 0444);
  EXPECT_FALSE(MoveFileExA(other, "M:\\Ops\\Copy.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  chmod((root_ + "/Ops/Copy.txt").c_str(), 0644);
  EXPECT_TRUE(DeleteFileA(other));
  EXPECT_EQ(GetTempFileNameA("M:\\Ops\\Copy.txt", "kaz", 0, temp), 0u);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_FALSE(MoveFileA("M:\\Ops\\Source.txt", "M:\\Ops\\Copy.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileA("M:\\Ops\\Source.txt", "M:\\Ops\\Moved.txt"));
  EXPECT_EQ(GetFileAttributesA("M:\\Ops\\Source.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(kaztest::ReadFile(root_ + "/Ops/Moved.txt"), "second");

  EXPECT_FALSE(DeleteFileA("M:\\Ops"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteFileA("M:\\Ops\\moved.txt"));
  EXPECT_FALSE(DeleteFileA("M:\\Ops\\Moved.txt"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("M:\\Ops"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(DeleteFileA("M:\\Ops\\Copy.txt"));
  EXPECT_TRUE(RemoveDirectoryA("M:\\Ops"));
  // Deleting the folder must not have deleted a file elsewhere.
  EXPECT_EQ(GetFileAttributesA("M:\\"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Files, UnusablePrefixFailsWithErrorCodes) {
  const std::string saved = kaztest::Prefix();
  const std::string blocker = saved + "/blocker-file";
  kaztest::WriteFile(blocker, "not a folder");
  struct Restore {
    std::string prefix;
    ~Restore() {
      setenv("KAZ_PREFIX", prefix.c_str(), 1);
      win32::ResetPrefixForTesting();
    }
  } restore{saved};
  setenv("KAZ_PREFIX", (blocker + "/sub").c_str(), 1);
  win32::ResetPrefixForTesting();

  char buf[64];
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "dflt", buf, sizeof buf, "x.ini"), 4u);
  EXPECT_STREQ(buf, "dflt");
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "v", "x.ini"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  WIN32_FIND_DATAA data{};
  EXPECT_EQ(FindFirstFileA("C:\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetSystemDirectoryA(buf, sizeof buf), 0u);
  EXPECT_EQ(GetLogicalDrives(), 0u);
  EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_UNKNOWN);
  EXPECT_EQ(win32::LinuxToWindowsPath("/tmp"), "");
  std::string linux;
  DWORD error = 0;
  EXPECT_FALSE(win32::WindowsToLinuxPath("C:\\x", linux, error));
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, sizeof buf), 0u);
}
