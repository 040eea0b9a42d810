// CD audio through the media control commands, on a disc image made by the test: twelve
// short tracks, each a tone of its own, so the capture tells which track played.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/CdImage.h"
#include "support/TestSupport.h"
#include "win32/Mci.h"
#include "win32/Paths.h"

namespace {

using kaztest::CdToneOf;
using kaztest::MakeCdImage;
using kaztest::MapDrive;

std::string ErrorText(MCIERROR e) {
  char text[256];
  mciGetErrorStringA(e, text, sizeof text);
  return text;
}

MCIDEVICEID Open(const char* element, MCIERROR* error) {
  MCI_OPEN_PARMSA p{};
  p.lpstrDeviceType = "CDAudio";
  p.lpstrElementName = element;
  *error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_OPEN_SHAREABLE,
                           reinterpret_cast<DWORD_PTR>(&p));
  return p.wDeviceID;
}

DWORD Status(MCIDEVICEID id, DWORD item, DWORD track = 0) {
  MCI_STATUS_PARMS p{};
  p.dwItem = item;
  p.dwTrack = track;
  const DWORD flags = MCI_STATUS_ITEM | (track ? MCI_TRACK : 0);
  EXPECT_EQ(mciSendCommandA(id, MCI_STATUS, flags, reinterpret_cast<DWORD_PTR>(&p)), 0u);
  return static_cast<DWORD>(p.dwReturn);
}

class MciTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = kaztest::MakeTempDir("cd");
    capture_ = dir_ + "/heard.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
    setenv("KAZ_WAV_UNPACED", "1", 1);
  }
  void TearDown() override {
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
  }
  std::string dir_, capture_;
};

TEST_F(MciTest, ListsTheTracksAndPlaysFromOneOnIntoTheNext) {
  MapDrive('E', MakeCdImage(dir_));
  MCIERROR e = 0;
  const MCIDEVICEID id = Open("E", &e);
  ASSERT_EQ(e, 0u) << ErrorText(e);
  EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 12u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  // MSF positions count the two seconds before the first track.
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION, 1), 2u << 8);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION, 3), 4u << 8);

  MCI_SEEK_PARMS seek{};
  seek.dwTo = Status(id, MCI_STATUS_POSITION, 3);
  ASSERT_EQ(mciSendCommandA(id, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek)), 0u);
  MCI_PLAY_PARMS play{};
  MCI_PLAY_PARMS* none = nullptr;
  ASSERT_EQ(mciSendCommandA(id, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(none)), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
  ASSERT_TRUE(kaztest::PumpUntil([&] { return Status(id, MCI_STATUS_CURRENT_TRACK) >= 5; }, 10000));
  ASSERT_EQ(mciSendCommandA(id, MCI_STOP, 0, reinterpret_cast<DWORD_PTR>(&play)), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
  EXPECT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);

  const std::vector<float> left = kaztest::CaptureLeft(capture_);
  ASSERT_GT(left.size(), 2u * 44100);
  // Track 3's tone first, then track 4's: the disc plays on.
  EXPECT_GT(kaztest::ToneStrength(left, 4410, 22050, CdToneOf(3)), 0.2);
  EXPECT_LT(kaztest::ToneStrength(left, 4410, 22050, CdToneOf(4)), 0.02);
  EXPECT_GT(kaztest::ToneStrength(left, 44100 + 4410, 22050, CdToneOf(4)), 0.2);
  EXPECT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, 0), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(MciTest, TimeFormatsPauseAndTheDoor) {
  MapDrive('E', MakeCdImage(dir_));
  MCIERROR e = 0;
  const MCIDEVICEID id = Open("e:", &e);
  ASSERT_EQ(e, 0u);
  MCI_SET_PARMS set{};
  set.dwTimeFormat = MCI_FORMAT_TMSF;
  ASSERT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION, 7), 7u);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, 7), 1u << 8);  // one second
  set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  ASSERT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_POSITION, 7), 6000u);
  EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 12000u);
  set.dwTimeFormat = 77;
  EXPECT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)),
            MCIERR_BAD_TIME_FORMAT);

  MCI_PLAY_PARMS play{};
  play.dwFrom = 10000;
  ASSERT_EQ(mciSendCommandA(id, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)), 0u);
  ASSERT_EQ(mciSendCommandA(id, MCI_PAUSE, 0, 0), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PAUSE);
  EXPECT_GE(Status(id, MCI_STATUS_POSITION), 10000u);
  // A disc image has no door: the disc is gone for the device all the same.
  ASSERT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_DOOR_OPEN, reinterpret_cast<DWORD_PTR>(&set)), 0u);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_NOT_READY);
  MCI_SEEK_PARMS seek{};
  seek.dwTo = 1000;
  EXPECT_EQ(mciSendCommandA(id, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek)),
            MCIERR_DEVICE_NOT_READY);
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_NOT_READY);
  EXPECT_EQ(mciSendCommandA(id, MCI_PLAY, 0, 0), MCIERR_DEVICE_NOT_READY);
  mciSendCommandA(id, MCI_CLOSE, 0, 0);
}

TEST_F(MciTest, DrivesWithoutADiscAreRefusedWithTheirReason) {
  MCIERROR e = 0;
  // A folder is no CD drive; a letter that names nothing is not one either.
  MapDrive('F', dir_);
  Open("F", &e);
  EXPECT_EQ(e, MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(ErrorText(e), "The specified device is not open or is not recognized by MCI.");
  Open("Q", &e);
  EXPECT_EQ(e, MCIERR_INVALID_DEVICE_NAME);
  // A file that is no disc, and an image whose sheet names no track.
  kaztest::WriteFile(dir_ + "/junk.cue", std::string(5000, '\x7f'));
  MapDrive('G', dir_ + "/junk.cue");
  Open("G", &e);
  EXPECT_EQ(e, MCIERR_DEVICE_NOT_READY);
  EXPECT_EQ(ErrorText(e), "The device is not ready.");
  MapDrive('H', MakeCdImage(dir_, 0));
  Open("H", &e);
  EXPECT_NE(e, 0u);
  MCI_OPEN_PARMSA p{};
  p.lpstrDeviceType = "waveaudio";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&p)),
            MCIERR_INVALID_DEVICE_NAME);
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, 0), MCIERR_NULL_PARAMETER_BLOCK);
}

// A sheet that names more tracks than its data holds, and a truncated image.
TEST_F(MciTest, AnImageThatLiesAboutItsTracksPlaysWhatItHas) {
  const std::string cue = MakeCdImage(dir_);
  std::string bin = kaztest::ReadFile(dir_ + "/disc.bin");
  kaztest::WriteFile(dir_ + "/disc.bin", bin.substr(0, bin.size() / 3 + 1000));
  MapDrive('E', cue);
  MCIERROR e = 0;
  const MCIDEVICEID id = Open("E", &e);
  if (e != 0) {
    EXPECT_EQ(e, MCIERR_DEVICE_NOT_READY);
    return;
  }
  const DWORD tracks = Status(id, MCI_STATUS_NUMBER_OF_TRACKS);
  EXPECT_GE(tracks, 1u);
  MCI_PLAY_PARMS play{};
  play.dwFrom = Status(id, MCI_STATUS_POSITION, tracks);
  EXPECT_EQ(mciSendCommandA(id, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)), 0u);
  EXPECT_TRUE(kaztest::PumpUntil([&] { return Status(id, MCI_STATUS_MODE) == MCI_MODE_STOP; }, 5000));
  mciSendCommandA(id, MCI_CLOSE, 0, 0);
}

}  // namespace
