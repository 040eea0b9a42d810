// The MPEG audio frames of a file, read from their headers: where the stream starts, whether
// it carries a Xing/Info index, and how many frames it holds when it has none.
//
// Everything reads through a FileBytes, so a file that shrinks while it is read only ends
// the stream early.
#pragma once

#include <cstdint>
#include <string>

#include "common/MpegStream.h"

namespace xanalyze {

// Positioned reads of an open file descriptor. The analysis looks at a few small places of
// a file, most of them near each other: reads are served from one cached block of the
// file, so that a short file is read once.
class FileBytes {
 public:
  FileBytes(int fd, int64_t size) : fd_(fd), size_(size) {}
  int64_t Size() const { return size_; }
  // Up to `len` bytes at `offset` into `out` (fewer at the end of the file); the count read.
  size_t Read(int64_t offset, size_t len, std::string& out) const;

 private:
  int fd_;
  int64_t size_;
  mutable int64_t cacheStart_ = 0;
  mutable std::string cache_;
};

using kazout::FrameHeader;

// The start of a stream (see kazout::StreamRunAt) within `window` bytes from `from`; answers
// the offset or -1.
int64_t FindStream(const FileBytes& file, int64_t from, int64_t window, FrameHeader* first);

// The index in the first frame, when it has one: lame's Xing/Info, or a VBRI.
struct XingIndex {
  bool present = false;
  bool vbri = false;
  int64_t frames = -1;  // -1 when the index does not say
  int64_t bytes = -1;
};
XingIndex ReadXing(const FileBytes& file, int64_t offset, const FrameHeader& h);

// Where the stream of the file starts (see kazout::FindStreamStart), or -1.
int64_t FindStreamStart(const FileBytes& file, FrameHeader* first);
// Where the audio ends: before an ID3v1 tag, when there is one.
int64_t AudioEnd(const FileBytes& file);

// Counts frames from `offset` to `end`, following frame sizes and finding the stream again
// after garbage. A frame that runs past `end` does not count.
struct FrameCount {
  int64_t frames = 0;
  int64_t samples = 0;
  int64_t bytes = 0;
  bool variable = false;  // frames of different bitrates were seen
};
FrameCount CountFrames(const FileBytes& file, int64_t offset, int64_t end);

// Whether headers spread over the file all have the first frame's bitrate; a cheap test for
// a constant bitrate stream that carries no index.
bool LooksConstant(const FileBytes& file, int64_t offset, int64_t end, const FrameHeader& first);

}  // namespace xanalyze
