// The explorer on real folders of a private drive C:, with the real analyser reading the
// tempo from generated tracks: what is listed, in which order, and what "List.bpm" holds
// after each kind of scan, including folders and cache files that misbehave.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LibraryTracks.h"
#include "PlayerFixture.h"
#include "classlib/FileCtrl.h"
#include "classlib/IniFiles.h"
#include "engine/XAnalyzer.h"
#include "player/FonctionsChaine.h"
#include "player/uListFiles.h"
#include "tests/support/TestSupport.h"
#include "win32/Messages.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class ExplorerTest : public PlayerTest, protected LibraryTracks {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!MediaMade()) GTEST_SKIP() << "no test media";
    StartPlayer();
    frmMain->Show();
  }
  void Scan(const String& folder, bool rescan = false) { frmMain->ScanFolder(folder, rescan); }
  // Captions in list order, each marked with its kind.
  static Names Listed() {
    Names out;
    TListItems* items = frmMain->ListFiles->Items();
    for (Integer i = 0; i < items->Count(); ++i) {
      TListItem* e = items->Item(i);
      const char* kind = e->ImageIndex() == ExplorerFolder  ? "dir "
                         : e->ImageIndex() == ExplorerMp3   ? "mp3 "
                         : e->ImageIndex() == ExplorerUpDir ? "up "
                                                            : "msg ";
      out.push_back(kind + e->Caption());
    }
    return out;
  }
  static TListItem* Entry(const String& caption) {
    TListItems* items = frmMain->ListFiles->Items();
    for (Integer i = 0; i < items->Count(); ++i)
      if (items->Item(i)->Caption() == caption) return items->Item(i);
    return nullptr;
  }
  static String Sub(const String& caption, int i) {
    TListItem* e = Entry(caption);
    return e && e->SubItems()->Count() > i ? e->SubItems()->Strings(i) : String("<none>");
  }
  // Lets the analyser's last file be one the explorer never names, so that a scan that
  // analyses nothing leaves it standing.
  static void MarkAnalyser() { frmMain->Xanalyser->SetFileName("C:\\no such file.mp3"); }
  static bool Analysed() { return frmMain->Xanalyser->FileName() != "C:\\no such file.mp3"; }
  static bool Root() { return geteuid() == 0; }
};

TEST_F(ExplorerTest, AFolderListsUpDirThenFoldersThenTracksByName) {
  fs::create_directories(c + "/Music/b-sub");
  fs::create_directories(c + "/Music/A-sub");
  fs::create_directories(c + "/Music/.hidden");
  Track(c + "/Music/zeta.mp3");
  Track(c + "/Music/Track.MP3");
  Track(c + "/Music/alpha.mp3", false);
  kaztest::WriteFile(c + "/Music/notes.txt", "not music");
  frmMain->cboDrives->SetDrive('C');

  Scan("C:\\Music");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "dir A-sub", "dir b-sub", "mp3 alpha", "mp3 Track",
                             "mp3 zeta"}));
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  EXPECT_EQ(Sub("Track", 0), "128");
  EXPECT_EQ(Sub("Track", 1), "C:\\Music\\Track.MP3");
  EXPECT_EQ(Sub("alpha", 0), "");
  EXPECT_EQ(Sub("A-sub", 0), "");
  EXPECT_EQ(Sub("A-sub", 1), "C:\\Music\\A-sub");
  EXPECT_FALSE(frmMain->lblLoading->Visible());

  // The cache holds one pair per track, in listing order, each line ended by CR LF.
  TStringList lines;
  lines.SetText(kaztest::ReadFile(c + "/Music/List.bpm"));
  ASSERT_EQ(lines.Count(), 6);
  EXPECT_EQ(kaztest::ReadFile(c + "/Music/List.bpm"), lines.Text());
  for (Integer i = 0; i < 6; i += 2) {
    const String bpm = lines.Strings(i) == "alpha" ? "" : "128";
    EXPECT_EQ(lines.Strings(i + 1), bpm) << lines.Strings(i);
  }
  EXPECT_GE(lines.IndexOf("Track"), 0);

  // The drive's root has no way up.
  Scan("C:\\");
  EXPECT_EQ(Listed(), (Names{"dir Music"}));
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
}

TEST_F(ExplorerTest, EmptyFoldersAndRoots) {
  fs::create_directories(c + "/OnlyDirs/inner");
  fs::create_directories(c + "/Empty");
  const std::string d = MapDrive('d', "drive_d");
  frmMain->cboDrives->BuildList();
  frmMain->cboDrives->SetDrive('C');

  Scan("C:\\OnlyDirs\\");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "dir inner"}));
  Scan("C:\\Empty\\");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "msg No MP3 file found."}));
  EXPECT_FALSE(fs::exists(c + "/Empty/List.bpm"));

  // A drive chosen in the box scans its root, which has no way up.
  frmMain->cboDrives->SetDrive('D');
  frmMain->cboDrivesClick(frmMain->cboDrives);
  EXPECT_EQ(Listed(), (Names{"msg No MP3 file found."}));
  EXPECT_EQ(frmMain->CurrentFolder, "D:\\");

  // A folder that is not there lists like an empty one and still becomes current.
  Scan("C:\\Gone");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "msg No MP3 file found."}));
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Gone\\");
}

TEST_F(ExplorerTest, GoingUpAndIntoFolders) {
  fs::create_directories(c + "/Music/House");
  Track(c + "/Music/House/a.mp3");
  frmMain->cboDrives->SetDrive('C');
  Scan("C:\\Music\\House\\");

  // The way up, chosen by a real double click on its row.
  TListView* list = frmMain->ListFiles;
  const TRect up = list->Items()->Item(0)->DisplayRect(drBounds);
  SendMouseForTesting(list, WM_LBUTTONDOWN, 40, up.Top + 2, {ssLeft});
  SendMouseForTesting(list, WM_LBUTTONUP, 40, up.Top + 2);
  SendMouseForTesting(list, WM_LBUTTONDBLCLK, 40, up.Top + 2, {ssLeft});
  SendMouseForTesting(list, WM_LBUTTONUP, 40, up.Top + 2);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "dir House"}));

  frmMain->GoUpFolder();
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
  frmMain->GoUpFolder();
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
  EXPECT_EQ(Listed(), (Names{"dir Music"}));

  // Into a folder; a track or nothing selected does nothing.
  list->SetSelected(Entry("Music"));
  frmMain->ListFilesDblClick(list);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  list->SetSelected(nullptr);
  frmMain->ListFilesDblClick(list);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  Scan("C:\\Music\\House");
  list->SetSelected(Entry("a"));
  frmMain->ListFilesDblClick(list);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\House\\");
}

TEST_F(ExplorerTest, TheCacheSparesTheAnalyserUntilARescan) {
  Track(c + "/Set/one.mp3");
  Track(c + "/Set/two.mp3", false);
  Track(c + "/Set/three.mp3");
  Scan("C:\\Set");
  const std::string first = kaztest::ReadFile(c + "/Set/List.bpm");
  ASSERT_FALSE(first.empty());

  // A second scan reads every tempo from the cache and writes the same lines again.
  MarkAnalyser();
  Scan("C:\\Set");
  EXPECT_FALSE(Analysed());
  EXPECT_EQ(kaztest::ReadFile(c + "/Set/List.bpm"), first);
  EXPECT_EQ(Sub("one", 0), "128");
  EXPECT_EQ(Sub("two", 0), "");

  // A track that left keeps its pair through ordinary scans; a new one is analysed and
  // appended.
  fs::remove(c + "/Set/three.mp3");
  Track(c + "/Set/four.mp3");
  Scan("C:\\Set");
  EXPECT_TRUE(Analysed());
  EXPECT_EQ(kaztest::ReadFile(c + "/Set/List.bpm"), first + "four\r\n128\r\n");
  EXPECT_EQ(Entry("three"), nullptr);

  // A rescan analyses every track and keeps only those present.
  MarkAnalyser();
  frmMain->btnRescanClick(frmMain->btnRescan);
  EXPECT_TRUE(Analysed());
  TStringList lines;
  lines.SetText(kaztest::ReadFile(c + "/Set/List.bpm"));
  EXPECT_EQ(lines.Count(), 6);
  EXPECT_EQ(lines.IndexOf("three"), -1);

  // A rescan of a folder whose tracks are all gone leaves the old cache as it was.
  const std::string before = kaztest::ReadFile(c + "/Set/List.bpm");
  for (const char* n : {"one", "two", "four"}) fs::remove(c + "/Set/" + n + ".mp3");
  frmMain->btnRescanClick(frmMain->btnRescan);
  EXPECT_EQ(kaztest::ReadFile(c + "/Set/List.bpm"), before);
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "msg No MP3 file found."}));
}

TEST_F(ExplorerTest, CacheLinesThatLookLikeOtherThings) {
  // A track named like a tempo finds its own pair, not the name of the track after some
  // pair whose tempo it equals; a name without its tempo line (the file's last line) is
  // analysed again and the pairs stay in step.
  Track(c + "/Odd/128.mp3");
  Track(c + "/Odd/Zed.mp3");
  Track(c + "/Odd/last.mp3");
  kaztest::WriteFile(c + "/Odd/List.bpm", "Zed\r\n128\r\n128\r\n99\r\nLAST");
  Scan("C:\\Odd");
  EXPECT_EQ(Sub("128", 0), "99");
  EXPECT_EQ(Sub("Zed", 0), "128");
  EXPECT_EQ(Sub("last", 0), "128");  // from its tag: the dangling name line was dropped
  EXPECT_EQ(kaztest::ReadFile(c + "/Odd/List.bpm"), "Zed\r\n128\r\n128\r\n99\r\nlast\r\n128\r\n");

  // Letter case does not matter to the lookup; lone CR and LF end lines too.
  kaztest::WriteFile(c + "/Odd/List.bpm", "ZED\n140\r128\r\n99\nLAST\r\n100\r\n");
  MarkAnalyser();
  Scan("C:\\Odd");
  EXPECT_FALSE(Analysed());
  EXPECT_EQ(Sub("Zed", 0), "140");
  EXPECT_EQ(Sub("last", 0), "100");
}

TEST_F(ExplorerTest, BadCacheFilesNeverStopTheListing) {
  Track(c + "/Bad/a.mp3");
  // Binary bytes: whatever pairs they make are kept, the track is listed with its tempo.
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
  kaztest::WriteFile(c + "/Bad/List.bpm", binary);
  Scan("C:\\Bad");
  EXPECT_EQ(Sub("a", 0), "128");
  EXPECT_NE(kaztest::ReadFile(c + "/Bad/List.bpm").find("a\r\n128\r\n"), std::string::npos);

  // Too large to be a cache: listed from the tags, the file left exactly as it was.
  const std::string huge(TBpmList::MaxFileSize + 1, 'x');
  kaztest::WriteFile(c + "/Bad/List.bpm", huge);
  Scan("C:\\Bad");
  EXPECT_EQ(Sub("a", 0), "128");
  EXPECT_EQ(fs::file_size(c + "/Bad/List.bpm"), huge.size());

  // A folder named like the cache: listed, nothing written or removed.
  fs::remove(c + "/Bad/List.bpm");
  fs::create_directories(c + "/Bad/List.bpm");
  Scan("C:\\Bad");
  EXPECT_EQ(Sub("a", 0), "128");
  EXPECT_TRUE(fs::is_directory(c + "/Bad/List.bpm"));
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(ExplorerTest, AFolderThatTakesNoCacheIsStillListed) {
  Track(c + "/RO/a.mp3");
  fs::create_directories(c + "/RO/sub");
  // A file of the user's named like a scratch copy of the cache is left alone, and the
  // scan leaves nothing of its own but the cache.
  kaztest::WriteFile(c + "/RO/List.bpm.tmp", "mine");
  Scan("C:\\RO");
  EXPECT_EQ(kaztest::ReadFile(c + "/RO/List.bpm.tmp"), "mine");
  EXPECT_EQ(kaztest::ReadFile(c + "/RO/List.bpm"), "a\r\n128\r\n");
  EXPECT_EQ(NamesIn(c + "/RO"), (Names{"List.bpm", "List.bpm.tmp", "a.mp3", "sub"}));

  // A cache the user made read-only is read but never replaced: the folder is listed in
  // full, then the cache that could not take the new track is reported.
  kaztest::WriteFile(c + "/RO/List.bpm", "a\r\n77\r\n");
  Track(c + "/RO/b.mp3");
  chmod((c + "/RO/List.bpm").c_str(), 0444);
  Scan("C:\\RO");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "dir sub", "mp3 a", "mp3 b"}));
  EXPECT_EQ(Sub("a", 0), "77");
  EXPECT_EQ(Sub("b", 0), "128");
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\RO\\");
  EXPECT_EQ(kaztest::ReadFile(c + "/RO/List.bpm"), "a\r\n77\r\n");
  EXPECT_EQ(NamesIn(c + "/RO"), (Names{"List.bpm", "List.bpm.tmp", "a.mp3", "b.mp3", "sub"}));
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(dialogs[0].Text.find("Cannot create file C:\\RO\\List.bpm"), String::npos)
      << dialogs[0].Text;
  chmod((c + "/RO/List.bpm").c_str(), 0644);
}

TEST_F(ExplorerTest, FoldersWithoutPermission) {
  if (Root()) GTEST_SKIP() << "permissions do not hold for root";
  Track(c + "/Locked/a.mp3");
  Track(c + "/Shut/a.mp3");
  kaztest::WriteFile(c + "/Shut/List.bpm", "a\r\n99\r\n");
  chmod((c + "/Locked").c_str(), 0);
  chmod((c + "/Shut").c_str(), 0555);
  chmod((c + "/Shut/List.bpm").c_str(), 0);
  Scan("C:\\Locked");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "msg No MP3 file found."}));
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Locked\\");
  // An unreadable cache in a read-only folder: the tracks come from their tags.
  Scan("C:\\Shut");
  EXPECT_EQ(Sub("a", 0), "128");
  chmod((c + "/Locked").c_str(), 0755);
  chmod((c + "/Shut").c_str(), 0755);
  chmod((c + "/Shut/List.bpm").c_str(), 0644);
  EXPECT_EQ(kaztest::ReadFile(c + "/Shut/List.bpm"), "a\r\n99\r\n");
  EXPECT_TRUE(dialogs.empty());

  // A read-only folder without a cache is listed, then reported as taking none.
  Track(c + "/Bare/a.mp3");
  chmod((c + "/Bare").c_str(), 0555);
  Scan("C:\\Bare");
  chmod((c + "/Bare").c_str(), 0755);
  EXPECT_EQ(Sub("a", 0), "128");
  EXPECT_EQ(NamesIn(c + "/Bare"), (Names{"a.mp3"}));
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(dialogs[0].Text.find("Cannot create file C:\\Bare\\List.bpm"), String::npos);
}

TEST_F(ExplorerTest, NamesOutsideTheCodePageRoundTrip) {
  // On disk the names are UTF-8; the explorer and "List.bpm" hold them in the code page.
  Track(c + "/Intl/Caf\xc3\xa9 \xc3\xa9t\xc3\xa9.mp3");              // Café été
  Track(c + "/Intl/M\xc3\xbc" "de Stra\xc3\x9f" "e.mp3");              // Müde Straße
  Track(c + "/Intl/\xd0\x94\xd0\xbe\xd0\xbc \xe2\x99\xab.mp3");  // Дом ♫
  Scan("C:\\Intl");
  const String french = "Caf\xe9 \xe9t\xe9", german = "M\xfc" "de Stra\xdf" "e";
  String other;  // shown with '_' for what the code page lacks, and a mark of its own
  for (const auto& e : Listed())
    if (e.rfind("mp3 ___ _~", 0) == 0) other = e.substr(4);
  ASSERT_EQ(other.size(), 10u) << ::testing::PrintToString(Listed());
  for (const String& caption : {french, german, other}) {
    ASSERT_NE(Entry(caption), nullptr) << caption;
    EXPECT_EQ(Sub(caption, 0), "128") << caption;  // the analyser opened the file
    EXPECT_EQ(Sub(caption, 1), "C:\\Intl\\" + caption + ".mp3");
  }
  MarkAnalyser();
  Scan("C:\\Intl");
  EXPECT_FALSE(Analysed());
  EXPECT_EQ(Sub(other, 0), "128");
  TStringList cache;
  cache.SetText(kaztest::ReadFile(c + "/Intl/List.bpm"));
  ASSERT_EQ(cache.Count(), 6);
  for (const String& caption : {french, german, other}) {
    const Integer i = cache.IndexOf(caption);
    ASSERT_TRUE(i >= 0 && i % 2 == 0) << caption;
    EXPECT_EQ(cache.Strings(i + 1), "128");
  }
  // A name with a line break cannot be a line of the cache: it is listed, analysed at each
  // scan, and the cache keeps its pairs.
  Track(c + "/Intl/two\nlines.mp3");
  Scan("C:\\Intl");
  EXPECT_EQ(Sub("two\nlines", 0), "128");
  EXPECT_EQ(kaztest::ReadFile(c + "/Intl/List.bpm"), cache.Text());

  // The cache matches names without regard to the case of accented letters either.
  kaztest::WriteFile(c + "/Intl/List.bpm", "CAF\xc9 \xc9T\xc9\r\n99\r\n");
  Scan("C:\\Intl");
  EXPECT_EQ(Sub(french, 0), "99");
}

constexpr UINT WM_TEST_SCAN = WM_USER + 900;

TEST_F(ExplorerTest, AScanAskedForDuringAScanReplacesIt) {
  for (int i = 0; i < 5; ++i) Track(c + "/First/t" + std::to_string(i) + ".mp3");
  Track(c + "/Second/s.mp3");
  // Handled among the messages the running scan lets through, as a user's double click
  // would be.
  int requests = 0;
  frmMain->SetMessageHandler(WM_TEST_SCAN, [&](TMessage&) {
    ++requests;
    frmMain->ScanFolder("C:\\Second", false);
  });
  PostMessage(frmMain->Handle(), WM_TEST_SCAN, 0, 0);
  Scan("C:\\First");
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "mp3 s"}));
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Second\\");
  EXPECT_FALSE(frmMain->lblLoading->Visible());
  Scan("C:\\First");
  EXPECT_EQ(Listed().size(), 6u);

  // "Rescan Files" pressed during a scan rescans the folder being scanned.
  Scan("C:\\Second");
  frmMain->SetMessageHandler(WM_TEST_SCAN, [&](TMessage&) {
    ++requests;
    frmMain->btnRescanClick(frmMain->btnRescan);
  });
  PostMessage(frmMain->Handle(), WM_TEST_SCAN, 0, 0);
  Scan("C:\\First");
  EXPECT_EQ(requests, 2);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\First\\");
  EXPECT_EQ(Listed().size(), 6u);
}

TEST_F(ExplorerTest, TheStoredFolderIsScannedAtStartAndSavedAtClose) {
  Track(c + "/Stored/x.mp3");
  frmMain->OpenExplorer("   ");
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
  EXPECT_EQ(frmMain->cboDrives->Drive(), 'C');
  frmMain->OpenExplorer("C:\\Stored\\");
  EXPECT_EQ(Listed(), (Names{"up .. [ UP DIR ]", "mp3 x"}));
  frmMain->SaveSettings();
  TIniFile ini("KAZ_PRO.ini");
  EXPECT_EQ(ini.ReadString("Browse", "LastDir", ""), "C:\\Stored\\");
}

TEST_F(ExplorerTest, RowsAreDrawnDarkBlueWhenSelected) {
  Track(c + "/Draw/a.mp3");
  Track(c + "/Draw/b.mp3");
  Scan("C:\\Draw");
  TListView* list = frmMain->ListFiles;
  list->SetFocus();
  list->SetSelected(Entry("a"));
  const TRect sel = Entry("a")->DisplayRect(drLabel);
  const TRect other = Entry("b")->DisplayRect(drLabel);
  // Beyond the caption, inside both columns' width: the row's background.
  const Integer x = 300;
  EXPECT_EQ(SurfacePixelForTesting(list, x, sel.Top + 2), TColor(0x400A00));
  EXPECT_EQ(SurfacePixelForTesting(list, x, other.Top + 2), clBlack);
  // The tempo is written in the BPM column, in the selected row's light blue.
  const Integer w0 = list->Columns()->Items(0)->Width();
  bool tempo = false;
  for (Integer px = w0 + 2; px < w0 + 30 && !tempo; ++px)
    for (Integer py = sel.Top; py < sel.Bottom && !tempo; ++py)
      tempo = SurfacePixelForTesting(list, px, py) == TColor(0xFFB9AE);
  EXPECT_TRUE(tempo);
  // Left of the fill, the track's picture.
  bool icon = false;
  for (Integer px = 4; px < 20 && !icon; ++px)
    for (Integer py = other.Top; py < other.Bottom && !icon; ++py)
      icon = SurfacePixelForTesting(list, px, py) != clBlack;
  EXPECT_TRUE(icon);
}

TEST(StringRoutines, WhatFollowsASeparator) {
  EXPECT_EQ(StrAfter("\\", "a\\b\\c"), "b\\c");
  EXPECT_EQ(StrAfterLast("\\", "a\\b\\c"), "c");
  EXPECT_EQ(StrAfterLast("\\", "abc"), "");
  EXPECT_EQ(StrAfter("\\", "abc"), "");
  EXPECT_EQ(StrAfterLast("\\", "C:\\Music\\"), "");
  EXPECT_EQ(StrAfter("::", "a::b::c"), "b::c");
}

}  // namespace
