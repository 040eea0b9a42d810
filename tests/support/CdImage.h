// Audio CDs for tests: a disc image of short tracks, each a tone of its own so that what is
// heard tells which track played, mapped to a drive letter of the test's prefix; and the
// reading of what a capture sink heard.
#pragma once

#include <string>
#include <vector>

namespace kaztest {

constexpr int kCdTracks = 12;

// The tone of track t (1-based), in Hz.
double CdToneOf(int track);
// disc.bin and disc.cue in `dir`, the sheet naming `declared` of the twelve one-second
// tracks; answers the .cue path.
std::string MakeCdImage(const std::string& dir, int declared = kCdTracks);
// Points drive `letter` of the prefix at `target` (a disc image, a folder...).
void MapDrive(char letter, const std::string& target);

// The left channel of a float stereo WAV file as the capture sink writes it.
std::vector<float> CaptureLeft(const std::string& path);
// The strength of a tone of `hz` in `count` samples from `from` (a 44.1 kHz signal).
double ToneStrength(const std::vector<float>& samples, size_t from, size_t count, double hz);

}  // namespace kaztest
