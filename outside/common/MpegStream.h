// Where the MPEG audio stream of a file starts, decided from its bytes alone: the engine
// plays from there and the analyser measures from there, so a file that one of them takes
// for no stream the other does too. A WAV, an Ogg, a FLAC or a picture holds bytes that can
// pass for a frame header here and there, and mpg123 would decode them as full-scale
// noise: a stream counts only where several frames follow one another, each where the one
// before it ends.
//
// Files are read through a callable `size_t read(int64_t offset, size_t len, std::string&
// out)` that answers the bytes at `offset` (fewer at the end of the file).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kazout {

// One decoded frame header.
struct FrameHeader {
  int level = 0;      // 1 (MPEG 1), 2 (MPEG 2), 3 (MPEG 2.5)
  int layer = 0;      // 1..3
  int bitrate = 0;    // kbit/s
  int frequency = 0;  // Hz
  int mode = 0;       // 0 stereo, 1 joint, 2 dual, 3 mono
  bool crc = false;
  int size = 0;     // bytes, padding included
  int samples = 0;  // per frame
  // The average frame size at this bitrate, padding spread evenly.
  double AverageSize() const { return bitrate * 1000.0 / 8.0 * samples / frequency; }
};

// Past the largest frame (1,729 bytes): room to read the header after any frame.
inline constexpr size_t kMaxFrameBytes = 2048;
// Headers in a row that make a stream. Two that agree turn up by chance in sound and in
// compressed data; four in a row practically never.
inline constexpr int kStreamRunFrames = 4;
// How far past the tag the first frame may start; junk beyond this is not an MPEG file.
inline constexpr int64_t kFirstFrameWindow = 64 * 1024;

// False for anything that is not a usable header (free format included).
inline bool ParseFrameHeader(const unsigned char* p, FrameHeader& h) {
  // kbit/s by [MPEG 1 or not][layer - 1][index]; index 0 (free format) and 15 are unusable.
  static constexpr int kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  // Hz by [level - 1][index].
  static constexpr int kFrequencies[3][3] = {
      {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int version = (p[1] >> 3) & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  const int layerBits = (p[1] >> 1) & 3;
  const int bitrateIndex = p[2] >> 4;
  const int frequencyIndex = (p[2] >> 2) & 3;
  if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
      frequencyIndex == 3)
    return false;
  h.level = version == 3 ? 1 : version == 2 ? 2 : 3;
  h.layer = 4 - layerBits;
  h.crc = (p[1] & 1) == 0;
  h.bitrate = kBitrates[h.level == 1 ? 0 : 1][h.layer - 1][bitrateIndex];
  h.frequency = kFrequencies[h.level - 1][frequencyIndex];
  h.mode = p[3] >> 6;
  const int padding = (p[2] >> 1) & 1;
  const int rate = h.bitrate * 1000;
  if (h.layer == 1) {
    h.samples = 384;
    h.size = (12 * rate / h.frequency + padding) * 4;
  } else {
    h.samples = (h.layer == 3 && h.level != 1) ? 576 : 1152;
    h.size = h.samples / 8 * rate / h.frequency + padding;
  }
  return true;
}

// Frames of one stream keep their version, layer and rate (a joined file changes them only
// where its parts meet).
inline bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.level == b.level && a.layer == b.layer && a.frequency == b.frequency;
}

// The size of an ID3v2 tag whose header is at p (0 when there is none), header and footer
// included.
inline int64_t Id3v2TagSize(const unsigned char* p, size_t n) {
  if (n < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
  if (p[3] == 0xFF || p[4] == 0xFF || ((p[6] | p[7] | p[8] | p[9]) & 0x80)) return 0;
  const int64_t size = (int64_t{p[6]} << 21) | (int64_t{p[7]} << 14) | (int64_t{p[8]} << 7) | p[9];
  return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

// Whether a stream starts at `at` of a file of `size` bytes: kStreamRunFrames headers that
// agree, each where the frame before it ends. A shorter stream counts when its last frame
// ends the file, or meets the ID3v1 tag that does.
template <typename Read>
bool StreamRunAt(Read&& read, int64_t size, int64_t at, FrameHeader* first) {
  std::string buf;
  FrameHeader head;
  int64_t pos = at;
  for (int k = 0; k < kStreamRunFrames; ++k) {
    FrameHeader h;
    const size_t got = read(pos, 4, buf);
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data());
    if (got < 4 || !ParseFrameHeader(p, h) || (k > 0 && !SameStream(head, h))) {
      const bool tagged = pos + 128 == size && got >= 3 && std::memcmp(p, "TAG", 3) == 0;
      if (k == 0 || (pos != size && !tagged)) return false;
      break;
    }
    if (k == 0) head = h;
    pos += h.size;
  }
  if (first) *first = head;
  return true;
}

// The first stream that starts within `window` bytes from `from`; its offset, or -1.
template <typename Read>
int64_t FindFrameRun(Read&& read, int64_t size, int64_t from, int64_t window, FrameHeader* first) {
  if (from < 0 || window <= 0) return -1;
  // Streams nearly always start right where they are looked for: read a little at a time.
  constexpr int64_t kStep = 4096;
  std::string buf;
  for (int64_t base = from; base < from + window && base < size; base += kStep) {
    const size_t span = static_cast<size_t>(std::min(kStep, from + window - base));
    const size_t got = read(base, span + kMaxFrameBytes, buf);
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data());
    const size_t last = std::min(span, got);
    for (size_t i = 0; i < last && i + 4 <= got; ++i) {
      // Jump to the next byte that can start a header.
      const void* sync = std::memchr(p + i, 0xFF, last - i);
      if (!sync) break;
      i = static_cast<size_t>(static_cast<const unsigned char*>(sync) - p);
      FrameHeader h, n;
      if (i + 4 > got || !ParseFrameHeader(p + i, h)) continue;
      // Most false headers fail on the second one, which is already at hand.
      const size_t next = i + static_cast<size_t>(h.size);
      if (next + 4 <= got && !(ParseFrameHeader(p + next, n) && SameStream(h, n))) continue;
      if (StreamRunAt(read, size, base + static_cast<int64_t>(i), first))
        return base + static_cast<int64_t>(i);
    }
  }
  return -1;
}

// Where the stream of a file starts: past its ID3v2 tags (taggers may each put one in
// front) and a little junk. Answers the offset of the first frame, or -1 when the file
// holds no MPEG audio stream.
template <typename Read>
int64_t FindStreamStart(Read&& read, int64_t size, FrameHeader* first) {
  std::string head;
  int64_t from = 0;
  for (int64_t tag = 1; tag > 0; from += tag) {
    if (from >= size) return -1;  // tags and nothing else, or a tag that claims too much
    read(from, 10, head);
    tag = Id3v2TagSize(reinterpret_cast<const unsigned char*>(head.data()), head.size());
  }
  return FindFrameRun(read, size, from, kFirstFrameWindow, first);
}

}  // namespace kazout
