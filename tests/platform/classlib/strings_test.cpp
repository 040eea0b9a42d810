// String lists, text helpers and file names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "classlib/Classes.h"
#include "support/TestSupport.h"

namespace {

std::vector<String> Lines(const TStrings& list) {
  std::vector<String> out;
  for (Integer i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
  return out;
}

using V = std::vector<String>;

TEST(StringListText, LineBreaksOnReadingAndWriting) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(Lines(list), (V{"a", "b", "c", "d"}));
  list.SetText("last line without break");
  EXPECT_EQ(Lines(list), (V{"last line without break"}));
  list.SetText("one\r\n");
  EXPECT_EQ(Lines(list), (V{"one"}));
  list.SetText("a\n\rb\r\n\r\nc");  // LF CR is two breaks; CR LF is one
  EXPECT_EQ(Lines(list), (V{"a", "", "b", "", "c"}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  list.SetText("x\ny");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringListFiles, BinaryBytesSurviveALoadAndSave) {
  std::string dir = kaztest::MakeTempDir("strings");
  std::string path = dir + "/bytes.txt";
  std::string line1;
  for (int c = 0; c < 256; ++c) {
    if (c != '\r' && c != '\n') line1 += static_cast<char>(c);
  }
  kaztest::WriteFile(path, line1 + "\r\nsecond\nthird");
  TStringList list;
  list.LoadFromFile(path);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(0), line1);  // NUL and high bytes included
  EXPECT_EQ(list.Strings(2), "third");
  list.SaveToFile(path);
  EXPECT_EQ(kaztest::ReadFile(path), line1 + "\r\nsecond\r\nthird\r\n");
}

TEST(StringListFiles, WindowsPathsGoThroughTheDriveMap) {
  std::string dir = kaztest::MakeTempDir("drive");
  std::string links = kaztest::Prefix() + "/dosdevices";
  mkdir(links.c_str(), 0755);
  ASSERT_EQ(symlink(dir.c_str(), (links + "/t:").c_str()), 0);
  mkdir((dir + "/Lists").c_str(), 0755);
  TStringList list;
  list.Add("House");
  list.SaveToFile("T:\\Lists\\list.txt");
  EXPECT_EQ(kaztest::ReadFile(dir + "/Lists/list.txt"), "House\r\n");
  TStringList back;
  back.LoadFromFile("t:\\LISTS\\list.txt");  // letter case of folders is loose
  EXPECT_EQ(Lines(back), (V{"House"}));
  EXPECT_TRUE(FileExists("T:\\Lists\\list.txt"));
  EXPECT_TRUE(DirectoryExists("T:\\Lists"));
  EXPECT_FALSE(FileExists("T:\\Lists"));
  EXPECT_FALSE(FileExists("T:\\Lists\\none.txt"));
}

TEST(StringListFiles, FailuresNameTheFile) {
  std::string dir = kaztest::MakeTempDir("fail");
  TStringList list;
  try {
    list.LoadFromFile(dir + "/missing.txt");
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + dir + "/missing.txt");
  }
  try {
    list.SaveToFile(dir + "/no/such/folder.txt");
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file " + dir + "/no/such/folder.txt");
  }
  EXPECT_THROW(list.LoadFromFile("Q:\\unmapped\\x.txt"), EFOpenError);
  EXPECT_THROW(list.LoadFromFile(dir), EFOpenError);  // a folder is no file
  EXPECT_THROW(list.SaveToFile(dir), EFCreateError);
}

TEST(StringList, IndexOfAndSortIgnoreCase) {
  TStringList list;
  list.SetText("beta\nAlpha\ngamma\nalpha");
  EXPECT_EQ(list.IndexOf("ALPHA"), 1);
  EXPECT_EQ(list.IndexOf("Gamma"), 2);
  EXPECT_EQ(list.IndexOf("delta"), -1);
  list.Sort();
  EXPECT_EQ(Lines(list), (V{"Alpha", "alpha", "beta", "gamma"}));

  TStringList sorted;
  sorted.SetSorted(true);
  sorted.Add("b");
  sorted.Add("C");
  sorted.Add("a");
  EXPECT_EQ(sorted.Add("B"), 1);  // duplicates ignored by default: the existing index
  EXPECT_EQ(Lines(sorted), (V{"a", "b", "C"}));
  EXPECT_EQ(sorted.IndexOf("c"), 2);
  EXPECT_THROW(sorted.Insert(0, "x"), EListError);
  sorted.SetDuplicates(dupError);
  EXPECT_THROW(sorted.Add("A"), EListError);
  sorted.SetDuplicates(dupAccept);
  sorted.Add("A");
  EXPECT_EQ(Lines(sorted), (V{"a", "A", "b", "C"}));
}

TEST(StringList, BadIndexesRaiseListIndexErrors) {
  TStringList list;
  list.Add("one");
  list.Add("two");
  try {
    list.Strings(5);
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (5)");
  }
  EXPECT_THROW(list.SetStrings(2, "x"), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(3, "x"), EListError);
  EXPECT_THROW(list.Objects(2), EListError);
  list.Insert(2, "three");  // at the end is fine
  EXPECT_EQ(list.Count(), 3);
}

TEST(StringList, ChangeEventsAreHeldBackWhileUpdating) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.Add("a");
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.BeginUpdate();
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changes, 1);
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  list.SetText("x\ny");
  EXPECT_EQ(changes, 3);
}

TEST(StringList, ObjectsValuesAndCommaText) {
  TStringList list;
  TStringList other;
  list.AddObject("x", &other);
  EXPECT_EQ(list.Objects(0), &other);
  EXPECT_EQ(list.IndexOfObject(&other), 0);
  list.Clear();
  list.SetValues("Key", "1");
  list.SetValues("key", "2");
  EXPECT_EQ(Lines(list), (V{"key=2"}));  // one line, spelled as last written
  EXPECT_EQ(list.Values("KEY"), "2");
  EXPECT_EQ(list.Names(0), "key");
  list.SetValues("Key", "");
  EXPECT_EQ(list.Count(), 0);
  list.SetCommaText("a, \"b c\",\"say \"\"hi\"\"\",,d");
  EXPECT_EQ(Lines(list), (V{"a", "b c", "say \"hi\"", "", "d"}));
  EXPECT_EQ(list.CommaText(), "a,\"b c\",\"say \"\"hi\"\"\",,d");
  list.SetText("\n");
  EXPECT_EQ(list.CommaText(), "\"\"");  // a single empty line must not read back as none
  TStringList copy;
  copy.Assign(&list);
  EXPECT_TRUE(copy.Equals(list));
}

TEST(TextHelpers, CopyPosDeleteInsertTrim) {
  EXPECT_EQ(Copy("BPM=128", 5, 100), "128");
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 4, 1), "");
  EXPECT_EQ(Pos("=", "BPM=128"), 4);
  EXPECT_EQ(Pos("x", "BPM"), 0);
  String s = "abcdef";
  Delete(s, 2, 3);
  EXPECT_EQ(s, "aef");
  Insert("XY", s, 2);
  EXPECT_EQ(s, "aXYef");
  EXPECT_EQ(Trim("  a b \t"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(UpperCase("mix 1"), "MIX 1");
  EXPECT_EQ(LowerCase("MIX \xC9"), "mix \xC9");  // ASCII letters only
  EXPECT_EQ(AnsiLowerCase("MIX \xC9\x8A"), "mix \xE9\x9A");
  EXPECT_EQ(AnsiUpperCase("caf\xE9 \xFF\xF7"), "CAF\xC9 \x9F\xF7");
}

TEST(TextHelpers, Comparisons) {
  EXPECT_EQ(AnsiCompareText("House", "HOUSE"), 0);
  EXPECT_LT(AnsiCompareText("a", "B"), 0);
  EXPECT_LT(AnsiCompareText("ab", "abc"), 0);
  // Accented letters of the code page: their own case, and sorted with the plain letter.
  EXPECT_EQ(AnsiCompareText("Caf\xE9", "CAF\xC9"), 0);
  EXPECT_LT(AnsiCompareText("\xC9t\xE9", "Fa"), 0);
  EXPECT_GT(AnsiCompareText("\xC9t\xE9", "Ete"), 0);
  EXPECT_LT(AnsiCompareText("M\xFC" "de", "Musik"), 0);
  EXPECT_LT(lstrcmpA("\xE9t\xE9", "\xC9t\xE9"), 0);
  EXPECT_TRUE(SameText("Track.MP3", "track.mp3"));
  EXPECT_LT(CompareStr("B", "a"), 0);
  // Letter case only breaks ties, lower case first.
  EXPECT_LT(lstrcmpA("abc", "Abc"), 0);
  EXPECT_LT(lstrcmpA("Abc", "abd"), 0);
  EXPECT_LT(lstrcmpA("B", "c"), 0);
  EXPECT_EQ(lstrcmpA("same", "same"), 0);
  EXPECT_GT(lstrcmpA("b", "A"), 0);
}

TEST(FileNames, SplitAtBackslashSlashAndDriveColon) {
  String f = "C:\\Music\\House\\track.mp3";
  EXPECT_EQ(ExtractFileName(f), "track.mp3");
  EXPECT_EQ(ExtractFilePath(f), "C:\\Music\\House\\");
  EXPECT_EQ(ExtractFileDir(f), "C:\\Music\\House");
  EXPECT_EQ(ExtractFileExt(f), ".mp3");
  EXPECT_EQ(ChangeFileExt(f, ".bpm"), "C:\\Music\\House\\track.bpm");
  EXPECT_EQ(ExtractFileDrive(f), "C:");
  EXPECT_EQ(ExtractFileDir("C:\\track.mp3"), "C:\\");
  EXPECT_EQ(ExtractFileName("C:track.mp3"), "track.mp3");
  EXPECT_EQ(ExtractFilePath("C:track.mp3"), "C:");
  EXPECT_EQ(ExtractFileName("/home/dj/a.mp3"), "a.mp3");
  EXPECT_EQ(ExtractFileExt("C:\\a.b\\file"), "");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\file", ".plx"), "C:\\a.b\\file.plx");
  EXPECT_EQ(ExtractFileName("track"), "track");
  EXPECT_EQ(ExtractFilePath("track"), "");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Music"), "C:\\Music\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Music\\"), "C:\\Music\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\Music\\"), "C:\\Music");
}

}  // namespace
