#include "support/CdImage.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "support/TestSupport.h"
#include "win32/Paths.h"

namespace kaztest {

namespace {
constexpr int kSectorsPerTrack = 75;  // one second each
}

double CdToneOf(int track) {
  return 300.0 + 150.0 * track;
}

std::string MakeCdImage(const std::string& dir, int declared) {
  std::string bin;
  bin.reserve(static_cast<size_t>(kCdTracks) * kSectorsPerTrack * 2352);
  for (int t = 1; t <= kCdTracks; ++t) {
    for (int i = 0; i < kSectorsPerTrack * 588; ++i) {
      const auto v = static_cast<int16_t>(12000 * std::sin(2 * M_PI * CdToneOf(t) * i / 44100.0));
      for (int c = 0; c < 2; ++c) {
        bin += static_cast<char>(v & 0xFF);
        bin += static_cast<char>((v >> 8) & 0xFF);
      }
    }
  }
  WriteFile(dir + "/disc.bin", bin);
  std::string cue = "FILE \"disc.bin\" BINARY\n";
  for (int t = 1; t <= declared; ++t) {
    char line[96];
    const int at = (t - 1) * kSectorsPerTrack;
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n", t,
                  at / 4500, at / 75 % 60, at % 75);
    cue += line;
  }
  WriteFile(dir + "/disc.cue", cue);
  return dir + "/disc.cue";
}

void MapDrive(char letter, const std::string& target) {
  win32::DriveTarget('C');  // makes the drive table
  const std::string link =
      Prefix() + "/dosdevices/" + static_cast<char>(letter | 0x20) + ":";
  unlink(link.c_str());
  if (symlink(target.c_str(), link.c_str()) != 0) std::perror("symlink");
}

std::vector<float> CaptureLeft(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::vector<float> left;
  for (size_t at = 44; at + 8 <= bytes.size(); at += 8) {
    float l;
    std::memcpy(&l, bytes.data() + at, 4);
    left.push_back(l);
  }
  return left;
}

double ToneStrength(const std::vector<float>& samples, size_t from, size_t count, double hz) {
  double re = 0, im = 0;
  for (size_t i = from; i < from + count && i < samples.size(); ++i) {
    re += samples[i] * std::cos(2 * M_PI * hz * static_cast<double>(i) / 44100.0);
    im += samples[i] * std::sin(2 * M_PI * hz * static_cast<double>(i) / 44100.0);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(count);
}

}  // namespace kaztest
