// INI files: defaults for whatever is missing or unreadable, and what writes leave behind.
#include <gtest/gtest.h>

#include "classlib/IniFiles.h"
#include "support/TestSupport.h"
#include "win32/Paths.h"

namespace {

std::string IniPath(const std::string& name) {
  return win32::WindowsDirectory() + "/" + name;
}

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefaults) {
  TIniFile none("NOFILE.ini");
  EXPECT_EQ(none.ReadString("Browse", "LastDir", "C:"), "C:");
  EXPECT_EQ(none.ReadInteger("Mix", "Start", 20), 20);
  EXPECT_TRUE(none.ReadBool("Setup", "VuMeters", true));
  EXPECT_FALSE(none.SectionExists("Mix"));

  kaztest::WriteFile(IniPath("KAZ_PRO.ini"),
                     "[Mix]\r\nStart=abc\r\nLength=\r\nSeek=12x\r\nMethod= 2 \r\nAutoMix=2\r\n"
                     "TurnTable=0\r\nHex=$1F\r\n[Browse]\r\nLastDir=\r\n");
  TIniFile ini("kaz_pro.INI");  // file, section and key names ignore case
  EXPECT_EQ(ini.ReadInteger("Mix", "Start", 20), 20);
  EXPECT_EQ(ini.ReadInteger("Mix", "Length", 10), 10);
  EXPECT_EQ(ini.ReadInteger("Mix", "Seek", 5), 5);
  EXPECT_EQ(ini.ReadInteger("mix", "METHOD", 1), 2);
  EXPECT_EQ(ini.ReadInteger("Mix", "Hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Graph", "BoomMethod", 1), 1);
  EXPECT_TRUE(ini.ReadBool("Mix", "AutoMix", false));  // any integer but 0
  EXPECT_FALSE(ini.ReadBool("Mix", "TurnTable", true));
  EXPECT_TRUE(ini.ReadBool("Mix", "Start", true));  // unreadable: the default
  // A key that is there with nothing after "=" reads as empty text, not as the default.
  EXPECT_EQ(ini.ReadString("Browse", "LastDir", "C:"), "");
  EXPECT_EQ(ini.ReadString("Browse", "Missing", "C:"), "C:");
  EXPECT_EQ(ini.ReadFloat("Mix", "Method", 0), 2);
  EXPECT_EQ(ini.ReadFloat("Mix", "Start", 1.5), 1.5);
}

TEST(IniFile, WritesIntegersBooleansAndText) {
  TIniFile ini("Spots.ini");
  ini.WriteInteger("Handle", "KAZ", 123456);
  ini.WriteBool("Setup", "PreL", true);
  ini.WriteBool("Setup", "ASound", false);
  ini.WriteString("Browse", "LastDir", "C:\\Music\\House\\");
  ini.WriteFloat("Tempo", "BPM", 127.5);
  EXPECT_EQ(kaztest::ReadFile(IniPath("Spots.ini")),
            "[Handle]\r\nKAZ=123456\r\n[Setup]\r\nPreL=1\r\nASound=0\r\n"
            "[Browse]\r\nLastDir=C:\\Music\\House\\\r\n[Tempo]\r\nBPM=127.5\r\n");
  EXPECT_EQ(ini.ReadInteger("Handle", "KAZ", 0), 123456);
  EXPECT_TRUE(ini.ReadBool("Setup", "PreL", false));
  EXPECT_EQ(ini.ReadFloat("Tempo", "BPM", 0), 127.5);
}

TEST(IniFile, SectionsKeysAndErasing) {
  TIniFile ini("List.ini");
  ini.WriteString("A", "one", "1");
  ini.WriteString("A", "two", "2");
  ini.WriteString("B", "three", "3");
  TStringList list;
  ini.ReadSections(&list);
  EXPECT_EQ(list.CommaText(), "A,B");
  ini.ReadSection("a", &list);
  EXPECT_EQ(list.CommaText(), "one,two");
  EXPECT_TRUE(ini.ValueExists("A", "TWO"));
  EXPECT_FALSE(ini.ValueExists("A", "three"));
  ini.DeleteKey("A", "one");
  ini.DeleteKey("A", "never");
  ini.ReadSection("A", &list);
  EXPECT_EQ(list.CommaText(), "two");
  ini.EraseSection("A");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_TRUE(ini.SectionExists("B"));
}

TEST(IniFile, LongValuesComeBackWhole) {
  TIniFile ini("Long.ini");
  String value(10000, 'x');
  value += "end";
  ini.WriteString("S", "K", value);
  EXPECT_EQ(ini.ReadString("S", "K", ""), value);
  for (int i = 0; i < 600; ++i) ini.WriteInteger("Many", "Key" + IntToStr(i), i);
  TStringList keys;
  ini.ReadSection("Many", &keys);
  EXPECT_EQ(keys.Count(), 600);
  EXPECT_EQ(keys.Strings(599), "Key599");
}

TEST(IniFile, RefusedWritesRaise) {
  TIniFile ini("Z:\\no\\such\\folder\\x.ini");
  EXPECT_THROW(ini.WriteString("S", "K", "v"), EIniFileException);
  try {
    ini.WriteInteger("S", "K", 1);
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to Z:\\no\\such\\folder\\x.ini");
  }
}

}  // namespace
