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

#include "support/TestSupport.h"
#include "win32/Mci.h"
#include "win32/Paths.h"

namespace {

constexpr int kTracks = 12;
constexpr int kSectorsPerTrack = 75;  // one second each

double ToneOf(int track) {
  return 300.0 + 150.0 * track;
}

// disc.bin/disc.cue in `dir`; `declared` tracks are named in the cue sheet.
std::string MakeDisc(const std::string& dir, int declared = kTracks) {
  std::string bin;
  for (int t = 1; t <= kTracks; ++t) {
    for (int i = 0; i < kSectorsPerTrack * 588; ++i) {
      const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * ToneOf(t) * i / 44100.0));
      for (int c = 0; c < 2; ++c) {
        bin += static_cast<char>(v & 0xFF);
        bin += static_cast<char>((v >> 8) & 0xFF);
      }
    }
  }
  kaztest::WriteFile(dir + "/disc.bin", bin);
  std::string cue = "FILE \"disc.bin\" BINARY\n";
  for (int t = 1; t <= declared; ++t) {
    char line[96];
    const int at = (t - 1) * kSectorsPerTrack;
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n", t,
                  at / 4500, at / 75 % 60, at % 75);
    cue += line;
  }
  kaztest::WriteFile(dir + "/disc.cue", cue);
  return dir + "/disc.cue";
}

void MapDrive(char letter, const std::string& target) {
  win32::DriveTarget('C');  // makes the drive table
  const std::string link = kaztest::Prefix() + "/dosdevices/" + static_cast<char>(letter | 0x20) + ":";
  unlink(link.c_str());
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
}

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

// The strength of a tone in a stretch of a float stereo WAV's left channel.
double Tone(const std::vector<float>& left, size_t from, size_t count, double hz) {
  double re = 0, im = 0;
  for (size_t i = from; i < from + count && i < left.size(); ++i) {
    re += left[i] * std::cos(2 * M_PI * hz * i / 44100.0);
    im += left[i] * std::sin(2 * M_PI * hz * i / 44100.0);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(count);
}

std::vector<float> LeftOfCapture(const std::string& path) {
  const std::string bytes = kaztest::ReadFile(path);
  std::vector<float> left;
  for (size_t at = 44; at + 8 <= bytes.size(); at += 8) {
    float l;
    std::memcpy(&l, bytes.data() + at, 4);
    left.push_back(l);
  }
  return left;
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
  MapDrive('E', MakeDisc(dir_));
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

  const std::vector<float> left = LeftOfCapture(capture_);
  ASSERT_GT(left.size(), 2u * 44100);
  // Track 3's tone first, then track 4's: the disc plays on.
  EXPECT_GT(Tone(left, 4410, 22050, ToneOf(3)), 0.2);
  EXPECT_LT(Tone(left, 4410, 22050, ToneOf(4)), 0.02);
  EXPECT_GT(Tone(left, 44100 + 4410, 22050, ToneOf(4)), 0.2);
  EXPECT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, 0), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(MciTest, TimeFormatsPauseAndTheDoor) {
  MapDrive('E', MakeDisc(dir_));
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
  EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_OPEN);
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
  MapDrive('H', MakeDisc(dir_, 0));
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
  const std::string cue = MakeDisc(dir_);
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
