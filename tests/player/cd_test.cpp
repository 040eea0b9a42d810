// The CD AUDIO panel on a disc image of twelve tracks, heard through the capture sink; the
// microphone's box over mixers described in the prefix.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "PlayerFixture.h"
#include "classlib/ComCtrls.h"
#include "support/CdImage.h"
#include "support/TestSupport.h"
#include "win32/Display.h"
#include "win32/Mci.h"
#include "win32/Profile.h"

namespace {

// The modes asked of the platform's display call, which stands in here for the one that
// needs an X server offering them (the platform's own test covers that).
std::vector<std::pair<DEVMODEA, DWORD>> g_modesAsked;

}  // namespace

LONG ChangeDisplaySettingsA(DEVMODEA* lpDevMode, DWORD dwFlags) {
  g_modesAsked.push_back({*lpDevMode, dwFlags});
  return DISP_CHANGE_BADMODE;
}

namespace {

class CdTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    dir_ = kaztest::MakeTempDir("cd");
    capture_ = dir_ + "/heard.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
    setenv("KAZ_WAV_UNPACED", "1", 1);
  }
  void TearDown() override {
    PlayerTest::TearDown();
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
    std::remove((kaztest::Prefix() + "/mixer.ini").c_str());
  }
  std::vector<std::string> Tracks() const {
    std::vector<std::string> out;
    for (Integer i = 0; i < frmMain->lstTracks->Count(); ++i)
      out.push_back(frmMain->lstTracks->Items()->Strings(i));
    return out;
  }
  std::string dir_, capture_;
};

TEST_F(CdTest, ListsTheTracksAndPlaysOneIntoTheNext) {
  kaztest::MapDrive('E', kaztest::MakeCdImage(dir_));
  StartPlayer();
  frmMain->LoadCdDrive('E');
  const auto tracks = Tracks();
  ASSERT_EQ(tracks.size(), 12u);
  EXPECT_EQ(tracks.front(), "Piste 1");
  EXPECT_EQ(tracks.back(), "Piste 12");

  frmMain->lstTracks->SetItemIndex(2);
  frmMain->lstTracksDblClick(frmMain->lstTracks);
  EXPECT_EQ(frmMain->CDPlayer->Mode(), mpPlaying);
  ASSERT_TRUE(PumpUntil([&] {
    MCI_STATUS_PARMS p{};
    p.dwItem = MCI_STATUS_CURRENT_TRACK;
    mciSendCommandA(frmMain->CDPlayer->DeviceID(), MCI_STATUS, MCI_STATUS_ITEM,
                    reinterpret_cast<DWORD_PTR>(&p));
    return p.dwReturn >= 5;
  }, 10000));
  // Choosing a drive again closes the device first, which ends the playing.
  const MCIDEVICEID first = frmMain->CDPlayer->DeviceID();
  frmMain->LoadCdDrive('E');
  MCI_STATUS_PARMS p{};
  p.dwItem = MCI_STATUS_MODE;
  EXPECT_EQ(mciSendCommandA(first, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p)),
            MCIERR_INVALID_DEVICE_ID);
  frmMain->CloseCD();

  const std::vector<float> left = kaztest::CaptureLeft(capture_);
  ASSERT_GT(left.size(), 2u * 44100);
  EXPECT_GT(kaztest::ToneStrength(left, 4410, 22050, kaztest::CdToneOf(3)), 0.2);
  EXPECT_GT(kaztest::ToneStrength(left, 44100 + 4410, 22050, kaztest::CdToneOf(4)), 0.2);
}

// A disc that cannot be read past the middle of track 5 stops there; an ejected one plays
// nothing at all.
TEST_F(CdTest, AnUnreadableOrEjectedDiscStopsThePlaying) {
  kaztest::MapDrive('E', kaztest::MakeCdImage(dir_));
  StartPlayer();
  frmMain->LoadCdDrive('E');
  ASSERT_EQ(truncate((dir_ + "/disc.bin").c_str(), (4 * 75 + 37) * 2352), 0);
  frmMain->lstTracks->SetItemIndex(2);
  frmMain->lstTracksDblClick(nullptr);
  ASSERT_TRUE(PumpUntil([&] { return frmMain->CDPlayer->Mode() == mpStopped; }, 10000));
  MCI_STATUS_PARMS p{};
  p.dwItem = MCI_STATUS_CURRENT_TRACK;
  mciSendCommandA(frmMain->CDPlayer->DeviceID(), MCI_STATUS, MCI_STATUS_ITEM,
                  reinterpret_cast<DWORD_PTR>(&p));
  EXPECT_EQ(p.dwReturn, 5u);

  frmMain->CDPlayer->Eject();
  EXPECT_EQ(frmMain->CDPlayer->Mode(), mpNotReady);
  frmMain->lstTracksDblClick(nullptr);
  EXPECT_EQ(frmMain->CDPlayer->Mode(), mpNotReady);
  frmMain->CDPlayer->Play();
  EXPECT_EQ(frmMain->CDPlayer->Error(), MCIERR_DEVICE_NOT_READY);
}

TEST_F(CdTest, ADriveWithoutADiscIsReportedAndTheListStays) {
  kaztest::MapDrive('E', kaztest::MakeCdImage(dir_));
  kaztest::MapDrive('F', dir_);
  StartPlayer();
  // No device open yet: a double click says so.
  frmMain->lstTracks->Items()->Add("Piste 1");
  frmMain->lstTracks->SetItemIndex(0);
  EXPECT_THROW(frmMain->lstTracksDblClick(nullptr), EMCIDeviceError);

  frmMain->LoadCdDrive('E');
  try {
    frmMain->LoadCdDrive('F');
    FAIL() << "a folder opened as a CD";
  } catch (const EMCIDeviceError& e) {
    EXPECT_EQ(e.Message(), "The specified device is not open or is not recognized by MCI.");
  }
  EXPECT_EQ(Tracks().size(), 12u);
  EXPECT_EQ(frmMain->CDPlayer->DeviceID(), 0u);
  try {
    frmMain->lstTracksDblClick(nullptr);
    FAIL() << "played without a device";
  } catch (const EMCIDeviceError& e) {
    EXPECT_EQ(e.Message(), "No MCI device open");
  }
}

// The microphone is the line called "Microphone", else "Micro", else line 0; the box is
// ticked when that line is audible and each click writes the line's mute.
TEST_F(CdTest, TheMicrophoneBoxFollowsItsLine) {
  const std::string file = kaztest::Prefix() + "/mixer.ini";
  auto mixer = [&](const char* second, int muted) {
    kaztest::WriteFile(file, std::string("[Mixer]\nCount=1\n[Mixer0]\nName=Card\nDestinations=1\n"
                                         "[Mixer0.0]\nName=Volume Control\nSources=2\n"
                                         "[Mixer0.0.0]\nName=Line In\nControls=1\n"
                                         "[Mixer0.0.0.C0]\nType=MUTE\nValues=0\n"
                                         "[Mixer0.0.1]\nName=") +
                                 second + "\nControls=1\n[Mixer0.0.1.C0]\nType=MUTE\nValues=" +
                                 std::to_string(muted) + "\n");
  };
  auto value = [&](const char* section) {
    char buf[32];
    GetPrivateProfileStringA(section, "Values", "", buf, sizeof buf, file.c_str());
    return std::string(buf);
  };
  mixer("Micro", 0);
  StartPlayer();
  EXPECT_EQ(frmMain->MicroLine, 1);
  EXPECT_TRUE(frmMain->chkMicro->Checked());
  frmMain->chkMicro->SetChecked(false);
  EXPECT_EQ(value("Mixer0.0.1.C0"), "1");
  frmMain->chkMicro->SetChecked(true);
  EXPECT_EQ(value("Mixer0.0.1.C0"), "0");

  mixer("Mic In", 1);
  EXPECT_EQ(frmMain->FindMixerLine("Microphone"), 0);
  frmMain->AudioMixer->SetMixerId(0);
  frmMain->InitMicrophone();
  EXPECT_EQ(frmMain->MicroLine, 0);
  EXPECT_TRUE(frmMain->chkMicro->Checked());  // line 0, "Line In", is audible

  // A microphone whose mute cannot be read starts unticked, as it does with no mixer.
  kaztest::WriteFile(file, "[Mixer]\nCount=1\n[Mixer0]\nName=Card\nDestinations=1\n"
                           "[Mixer0.0]\nName=Volume Control\nSources=1\n"
                           "[Mixer0.0.0]\nName=Microphone\nControls=0\n");
  frmMain->AudioMixer->SetMixerId(0);
  frmMain->InitMicrophone();
  EXPECT_FALSE(frmMain->chkMicro->Checked());
  kaztest::WriteFile(file, "[Mixer]\nCount=0\n");  // whatever sound cards the machine has
  frmMain->AudioMixer->SetMixerId(0);
  frmMain->chkMicro->SetChecked(true);
  frmMain->InitMicrophone();
  EXPECT_FALSE(frmMain->chkMicro->Checked());
}

TEST_F(CdTest, DisplayButtonsAskForTheirModeAndFailQuietly) {
  StartPlayer();
  g_modesAsked.clear();
  frmMain->Button4Click(frmMain->Button4);
  frmMain->Button3Click(frmMain->Button3);
  // A temporary change to the button's size at 75 Hz; the screen lacks it, and nothing
  // says so.
  ASSERT_EQ(g_modesAsked.size(), 2u);
  for (int i : {0, 1}) {
    DEVMODEA mode{};
    mode.dmSize = 156;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    mode.dmPelsWidth = i == 0 ? 1152 : 1024;
    mode.dmPelsHeight = i == 0 ? 864 : 768;
    mode.dmDisplayFrequency = 75;
    EXPECT_EQ(std::memcmp(&g_modesAsked[i].first, &mode, sizeof mode), 0) << mode.dmPelsWidth;
    EXPECT_EQ(g_modesAsked[i].second, 0u);
  }
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(CdTest, TheSamplesListPlaysAndDeletesItsEntries) {
  StartPlayer();
  TListItem* item = frmMain->lstSamples->Items()->Add();
  item->SetCaption("kick");
  item->SubItems()->Add("0:01");
  item->SubItems()->Add(dir_ + "/kick.wav");
  item->SetSelected(true);
  // The "player" of the test leaves the file it was given behind.
  setenv("KAZ_SHELL_OPEN", "touch", 1);
  frmMain->lstSamplesDblClick(nullptr);
  unsetenv("KAZ_SHELL_OPEN");
  EXPECT_TRUE(PumpUntil([&] { return access((dir_ + "/kick.wav").c_str(), F_OK) == 0; }, 5000));
  Word key = 46;
  frmMain->lstSamplesKeyDown(nullptr, key, {});
  EXPECT_EQ(frmMain->lstSamples->Items()->Count(), 0);
}

}  // namespace
