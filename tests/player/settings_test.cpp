// The settings file: what a start reads from "KAZ_PRO.ini" and applies to the controls,
// what a close writes back, and the file shared with the light controller (the real
// BeamExe, and the stand-in that closes at the same moment as the player). Bad files: the
// player starts with what it can read and still shuts down when the file cannot be written.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <random>

#include "LightsPeer.h"
#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "classlib/Menus.h"
#include "win32/Profile.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Values = std::map<std::string, std::string>;

// Every key the player writes, as "Section/Key".
const char* const kPlayerKeys[][2] = {
    {"Handle", "KAZ"},       {"Mix", "AutoMix"},     {"Mix", "Start"},
    {"Mix", "Length"},       {"Mix", "Seek"},        {"Mix", "Method"},
    {"Graph", "SoundLine"},  {"Graph", "BoomLine1"}, {"Graph", "BoomLine2"},
    {"Graph", "BoomMethod"}, {"Sound Card", "#1"},   {"Sound Card", "#2"},
    {"Setup", "VuMeters"},   {"Setup", "VURefresh"}, {"Setup", "ASound"},
    {"Setup", "PreL"},       {"Setup", "TurnTable"}, {"Setup", "DynamicPitchBend"},
    {"Browse", "LastDir"}};

// What a close writes when nothing was stored and nothing changed.
const Values kDefaultsWritten = {
    {"Handle/KAZ", "0"},       {"Mix/AutoMix", "0"},      {"Mix/Start", "20"},
    {"Mix/Length", "10"},      {"Mix/Seek", "5"},         {"Mix/Method", "1"},
    {"Graph/SoundLine", "0"},  {"Graph/BoomLine1", "0"},  {"Graph/BoomLine2", "0"},
    {"Graph/BoomMethod", "1"}, {"Sound Card/#1", "0"},    {"Sound Card/#2", "0"},
    {"Setup/VuMeters", "1"},   {"Setup/VURefresh", "70"}, {"Setup/ASound", "0"},
    {"Setup/PreL", "0"},       {"Setup/TurnTable", "0"},  {"Setup/DynamicPitchBend", "1"},
    {"Browse/LastDir", "C:\\"}};

// A run with every setting away from its default.
const Values kChanged = {{"Handle/KAZ", "0"},
                         {"Mix/AutoMix", "1"},
                         {"Mix/Start", "33"},
                         {"Mix/Length", "7"},
                         {"Mix/Seek", "12"},
                         {"Mix/Method", "2"},
                         {"Graph/SoundLine", "1"},
                         {"Graph/BoomLine1", "0"},
                         {"Graph/BoomLine2", "1"},
                         {"Graph/BoomMethod", "2"},
                         {"Sound Card/#1", "2"},
                         {"Sound Card/#2", "1"},
                         {"Setup/VuMeters", "0"},
                         {"Setup/VURefresh", "40"},
                         {"Setup/ASound", "1"},
                         {"Setup/PreL", "0"},
                         {"Setup/TurnTable", "1"},
                         {"Setup/DynamicPitchBend", "0"},
                         {"Browse/LastDir", "C:\\Music\\"}};

// The same as a file, with the light controller's key.
std::string ChangedFile() {
  std::string text = "[Handle]\r\nSPOTS=4242\r\n";
  std::string section;
  for (const auto& key : kPlayerKeys) {
    if (std::string(key[0]) == "Handle") continue;
    if (section != key[0]) text += "[" + (section = key[0]) + "]\r\n";
    text += std::string(key[1]) + "=" + kChanged.at(section + "/" + key[1]) + "\r\n";
  }
  return text;
}

class SettingsTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    rec.reset();
    windows = kaztest::Prefix() + "/windows";
    fs::create_directories(windows);
    std::error_code ec;
    fs::remove(File(), ec);
    fs::create_directories(kaztest::Prefix() + "/drive_c/Music");
  }
  void TearDown() override {
    SetMenuTrackerForTesting(nullptr);
    if (lights > 0) {
      kill(lights, SIGTERM);
      kaztest::WaitExit(lights, 5000);
    }
    PlayerTest::TearDown();
  }

  std::string File() const { return windows + "/KAZ_PRO.ini"; }
  static std::string Key(const char* Section, const char* Name) {
    char buf[512];
    GetPrivateProfileStringA(Section, Name, "<none>", buf, sizeof buf, "KAZ_PRO.ini");
    return buf;
  }
  static Values Written() {
    Values out;
    for (const auto& key : kPlayerKeys)
      out[std::string(key[0]) + "/" + key[1]] = Key(key[0], key[1]);
    return out;
  }
  // The player made, shown and then closed as the user closes it.
  void Start() {
    StartPlayer();
    frmMain->Show();
  }
  void Close() {
    rec.clear();
    frmMain->Close();
    EXPECT_TRUE(Application->Terminated());
  }
  static void Report(const String& Description) {
    frmMain->Xaudio1NotifyOutputDeviceInfo(frmMain->Xaudio1, 1, 0, 0, "dsound", Description);
  }
  static void ChooseCard(TSpeedButton* Button, int Item) {
    SetMenuTrackerForTesting([&](TMenuTracking& m) { m.Choose(Item); });
    frmMain->btnSC1Click(Button);
    Application->ProcessMessages();
    SetMenuTrackerForTesting([](TMenuTracking&) {});
  }
  std::vector<std::string> Dialogs() const {
    std::vector<std::string> out;
    for (const auto& d : dialogs) out.push_back(d.Text);
    return out;
  }

  Recorder rec;
  std::string windows;
  int lights = -1;
};

TEST_F(SettingsTest, NoFileGivesEveryDefaultAndTheCloseWritesThemAll) {
  Start();
  EXPECT_EQ(LightWindow, 0u);
  EXPECT_FALSE(frmMain->chkAutoMix->Checked());
  EXPECT_EQ(AutoMix, 0);
  EXPECT_EQ(frmMain->spnAMixStart->GetIntegerValue(), 20);
  EXPECT_EQ(frmMain->spnAMixLength->GetIntegerValue(), 10);
  EXPECT_EQ(frmMain->spnASeek->GetIntegerValue(), 5);
  EXPECT_EQ(frmMain->spnAMethod->GetIntegerValue(), 1);
  EXPECT_EQ((std::vector<Integer>{MixStart, MixLength, MixSeek, MixMethod}),
            (std::vector<Integer>{20, 10, 5, 1}));
  EXPECT_FALSE(frmMain->popSoundLine->Checked());
  EXPECT_EQ(Deck1.BoomLine, 0);
  EXPECT_EQ(Deck2.BoomLine, 0);
  EXPECT_EQ(BoomMethod, 1);
  EXPECT_TRUE(frmMain->popBDetect1->Checked() && frmMain->popBDetect1->Default());
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
  EXPECT_EQ(frmMain->cboDrives->Drive(), 'C');
  EXPECT_EQ(CardIndex1, 0);
  EXPECT_EQ(CardIndex2, 0);
  EXPECT_TRUE(frmMain->chkVuMeters->Checked());
  // On, but at rest until a deck plays; written back as on all the same.
  EXPECT_FALSE(frmMain->tmrVU->Enabled());
  EXPECT_EQ(frmMain->sldRefreshVU->Value(), 70);
  EXPECT_EQ(frmMain->tmrVU->Interval(), 30);
  EXPECT_EQ(AlwaysHeadphones, 0);
  EXPECT_FALSE(frmMain->chkASound->Checked());
  EXPECT_FALSE(frmMain->chkPreL->Checked());
  EXPECT_FALSE(frmMain->chk2SC->Checked());
  EXPECT_FALSE(frmMain->btnSC1->Enabled());
  EXPECT_TRUE(frmMain->chkDPitchBend->Checked());
  EXPECT_FALSE(frmMain->spnSPitchBend->Enabled());
  // The player's window is where the light controller will look for it.
  EXPECT_EQ(Key("Handle", "KAZ"), std::to_string(frmMain->Handle()));

  Close();
  EXPECT_EQ(Written(), kDefaultsWritten);
  EXPECT_FALSE(frmMain->tmrVU->Enabled());
  EXPECT_EQ(rec.Lines(), (Lines{"1 6", "2 6"}));
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(SettingsTest, EverySettingChangedThroughTheControlsIsWrittenAtClose) {
  Start();
  frmMain->chkAutoMix->SetChecked(true);
  frmMain->spnAMixStart->SetValue(33);
  frmMain->spnAMixLength->SetValue(7);
  frmMain->spnASeek->SetValue(12);
  frmMain->spnAMethod->SetValue(2);
  frmMain->popSoundLine->Click();
  frmMain->btnGraphOptionsClick(frmMain->btnGraphOptions2);
  frmMain->popBoomLine->Click();
  frmMain->popBDetect2->Click();
  for (const char* card : {"DirectSound:Primary", "DirectSound:Card A", "DirectSound:Card B"})
    Report(card);
  frmMain->chk2SC->SetChecked(true);
  ChooseCard(frmMain->btnSC1, 1);
  ChooseCard(frmMain->btnSC2, 0);
  frmMain->chkVuMeters->SetChecked(false);
  frmMain->sldRefreshVU->SetValue(40);
  frmMain->chkASound->SetChecked(true);
  frmMain->chkSPitchBend->SetChecked(true);
  frmMain->ScanFolder("C:\\Music", false);

  Close();
  EXPECT_EQ(Written(), kChanged);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(SettingsTest, StoredSettingsAreAppliedAndWrittenBackUnchanged) {
  kaztest::WriteFile(File(), ChangedFile());
  Start();
  EXPECT_EQ(LightWindow, static_cast<HWND>(4242));
  EXPECT_TRUE(frmMain->chkAutoMix->Checked());
  EXPECT_EQ(AutoMix, -1);
  EXPECT_EQ(frmMain->spnAMixStart->GetIntegerValue(), 33);
  EXPECT_EQ(frmMain->spnAMixLength->GetIntegerValue(), 7);
  EXPECT_EQ(frmMain->spnASeek->GetIntegerValue(), 12);
  EXPECT_EQ(frmMain->spnAMethod->GetIntegerValue(), 2);
  EXPECT_EQ((std::vector<Integer>{MixStart, MixLength, MixSeek, MixMethod}),
            (std::vector<Integer>{33, 7, 12, 2}));
  EXPECT_TRUE(frmMain->popSoundLine->Checked());
  EXPECT_EQ(SoundLine, -1);
  EXPECT_EQ(Deck1.BoomLine, 0);
  EXPECT_EQ(Deck2.BoomLine, -1);
  EXPECT_TRUE(frmMain->popBDetect2->Checked() && frmMain->popBDetect2->Default());
  EXPECT_FALSE(frmMain->popBDetect1->Checked() || frmMain->popBDetect1->Default());
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  EXPECT_EQ(CardIndex1, 2);
  EXPECT_EQ(CardIndex2, 1);
  EXPECT_FALSE(frmMain->chkVuMeters->Checked());
  EXPECT_FALSE(frmMain->tmrVU->Enabled());
  EXPECT_EQ(frmMain->sldRefreshVU->Value(), 40);
  EXPECT_EQ(AlwaysHeadphones, -1);
  EXPECT_TRUE(frmMain->chkASound->Checked());
  EXPECT_FALSE(frmMain->chkPreL->Checked());
  EXPECT_TRUE(frmMain->chk2SC->Checked());
  EXPECT_TRUE(frmMain->btnSC1->Enabled());
  EXPECT_FALSE(frmMain->chkDPitchBend->Checked());
  EXPECT_TRUE(frmMain->chkSPitchBend->Checked());

  Close();
  EXPECT_EQ(Written(), kChanged);
  EXPECT_EQ(Key("Handle", "SPOTS"), "4242");
}

TEST_F(SettingsTest, ValuesThatDoNotReadOrFitGiveTheDefaultOrTheNearestTheControlsShow) {
  kaztest::WriteFile(File(),
                     "[Mix]\r\nAutoMix=yes\r\nStart=abc\r\nLength=999\r\nSeek=-4\r\nMethod=5\r\n"
                     "[Graph]\r\nBoomMethod=7\r\n[Setup]\r\nVuMeters=on\r\nVURefresh=500\r\n"
                     "[Browse]\r\nLastDir=   \r\n");
  Start();
  EXPECT_FALSE(frmMain->chkAutoMix->Checked());
  EXPECT_EQ(frmMain->spnAMixStart->GetIntegerValue(), 20);
  // What the spin edits show is what the mix uses, also where they had to bring it in range.
  EXPECT_EQ(frmMain->spnAMixLength->GetIntegerValue(), 60);
  EXPECT_EQ(frmMain->spnASeek->GetIntegerValue(), 0);
  EXPECT_EQ(frmMain->spnAMethod->GetIntegerValue(), 2);
  EXPECT_EQ((std::vector<Integer>{MixStart, MixLength, MixSeek, MixMethod}),
            (std::vector<Integer>{20, 60, 0, 2}));
  EXPECT_TRUE(frmMain->popBDetect2->Checked());
  EXPECT_TRUE(frmMain->chkVuMeters->Checked());
  EXPECT_EQ(frmMain->sldRefreshVU->Value(), 90);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\");
  EXPECT_EQ(frmMain->cboDrives->Drive(), 'C');
  Close();
  EXPECT_EQ(Key("Mix", "Start"), "20");
  EXPECT_EQ(Key("Mix", "Length"), "60");
  EXPECT_EQ(Key("Browse", "LastDir"), "C:\\");
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(SettingsTest, BadFilesGiveWhatCanBeReadAndTakeTheSave) {
  std::mt19937 random(14);
  std::string binary(64 * 1024, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  std::string huge;
  for (int i = 0; huge.size() < 8u * 1024 * 1024; ++i)
    huge += "[Junk" + std::to_string(i % 7) + "]\r\nkey" + std::to_string(i) + "=" +
            std::string(200, 'x') + "\r\n";
  const std::pair<const char*, std::string> files[] = {
      {"binary", binary + "\r\n[Mix]\r\nStart=33\r\n" + binary},
      {"huge", huge + "[Mix]\r\nStart=33\r\n"},
      // The first section and the first key of a name count.
      {"duplicated",
       "[Mix]\r\nStart=33\r\nStart=44\r\n[Setup]\r\nVURefresh=50\r\n"
       "[mix]\r\nStart=55\r\nLength=8\r\n"},
      // A stored folder on no drive, with bytes no path has.
      {"no such folder", "[Browse]\r\nLastDir=Q:\\Gone\\\xff\x01\r\n[Mix]\r\nStart=33\r\n"}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    kaztest::WriteFile(File(), bytes);
    Start();
    EXPECT_EQ(frmMain->spnAMixStart->GetIntegerValue(), 33);
    EXPECT_EQ(MixStart, 33);
    EXPECT_EQ(MixLength, 10);
    frmMain->spnAMixStart->SetValue(34);
    const String folder = frmMain->CurrentFolder;
    Close();
    Values expected = kDefaultsWritten;
    expected["Mix/Start"] = "34";
    expected["Browse/LastDir"] = folder;
    if (std::string(name) == "duplicated") expected["Setup/VURefresh"] = "50";
    EXPECT_EQ(Written(), expected);
    EXPECT_TRUE(dialogs.empty());
    const std::string after = kaztest::ReadFile(File());
    if (std::string(name) == "binary" || std::string(name) == "huge") {
      // What is not the player's stays as it was.
      EXPECT_EQ(after.compare(0, bytes.size() / 2, bytes, 0, bytes.size() / 2), 0);
    }
    // The next file starts a new run of the program.
    PlayerTest::TearDown();
    PlayerTest::SetUp();
    rec.reset();
  }
}

TEST_F(SettingsTest, AFileThatCannotBeWrittenIsReportedAtCloseAndTheDecksStillStop) {
  const std::string stored = ChangedFile();
  kaztest::WriteFile(File(), stored);
  // A folder the user may not write to. Permissions do not hold back the superuser, so a
  // folder also stands where a writer takes the file's lock: no write can begin.
  const std::string lock = windows + "/.kaz_pro.ini.lock";
  std::error_code ec;
  fs::remove(lock, ec);
  fs::create_directory(lock);
  chmod(windows.c_str(), 0555);

  Start();
  // What could be read is applied; the start itself reports nothing.
  EXPECT_EQ(MixStart, 33);
  EXPECT_EQ(frmMain->CurrentFolder, "C:\\Music\\");
  EXPECT_TRUE(dialogs.empty());

  Close();
  chmod(windows.c_str(), 0755);
  fs::remove(lock, ec);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(dialogs[0].Text.find("KAZ_PRO.ini"), String::npos) << dialogs[0].Text;
  EXPECT_TRUE(dialogs[0].Flags & MB_ICONSTOP);
  EXPECT_EQ(rec.Lines(), (Lines{"1 6", "2 6"}));
  EXPECT_FALSE(frmMain->tmrVU->Enabled());
  EXPECT_FALSE(frmMain->tmrTrans->Enabled());
  EXPECT_EQ(kaztest::ReadFile(File()), stored);
}

TEST_F(SettingsTest, TheLightControllersKeysAndThePlayersSurviveEachOther) {
  const std::string beam = std::string(KAZ_BIN_DIR) + "/BeamExe";
  if (!fs::exists(beam)) GTEST_SKIP() << "BeamExe is not built";
  // A key of the light controller's that the player never writes.
  kaztest::WriteFile(File(), "[Handle]\r\nsurveyor=777\r\n");
  lights = kaztest::Spawn(beam, {});
  ASSERT_GT(lights, 0);
  ASSERT_TRUE(PumpUntil([] { return Key("Handle", "spots") != "<none>"; }, 15000));
  const std::string spots = Key("Handle", "spots");

  Start();
  EXPECT_EQ(std::to_string(LightWindow), spots);
  frmMain->spnAMixStart->SetValue(44);
  Close();
  EXPECT_EQ(Key("Handle", "spots"), spots);
  EXPECT_EQ(Key("Handle", "surveyor"), "777");
  Values expected = kDefaultsWritten;
  expected["Mix/Start"] = "44";
  EXPECT_EQ(Written(), expected);

  // The light controller's next start writes its own key and nothing else.
  kill(lights, SIGTERM);
  kaztest::WaitExit(lights, 5000);
  WritePrivateProfileStringA("Handle", "spots", "0", "KAZ_PRO.ini");
  lights = kaztest::Spawn(beam, {});
  ASSERT_GT(lights, 0);
  ASSERT_TRUE(PumpUntil([] { return Key("Handle", "spots") != "0"; }, 15000));
  EXPECT_EQ(Written(), expected);
  EXPECT_EQ(Key("Handle", "surveyor"), "777");
}

TEST_F(SettingsTest, PlayerAndLightControllerClosingAtOnceKeepEachOthersKeys) {
  LightsPeer peer;
  ASSERT_TRUE(peer.Start("spots", &PumpUntil));
  Start();
  ASSERT_EQ(LightWindow, peer.Window());
  frmMain->spnASeek->SetValue(9);
  // The light controller writes its key while the player writes all of its own.
  EXPECT_EQ(peer.QuitWhile([&] { Close(); }), 0);
  EXPECT_EQ(Key("Handle", "spots"), "0");
  Values expected = kDefaultsWritten;
  expected["Mix/Seek"] = "9";
  EXPECT_EQ(Written(), expected);
}

}  // namespace
