#include "xanalyze/Stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace xanalyze {

using kazout::ParseFrameHeader;
using kazout::SameStream;

namespace {

constexpr size_t kChunk = 256 * 1024;

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The shared stream rules read the file through its cache.
auto Reader(const FileBytes& file) {
  return
      [&file](int64_t offset, size_t len, std::string& out) { return file.Read(offset, len, out); };
}

// A window of the file kept in memory while frames are followed through it.
class Cursor {
 public:
  explicit Cursor(const FileBytes& file) : file_(file) {}
  // At least `len` bytes at `offset`, or null when the file ends before.
  const unsigned char* At(int64_t offset, size_t len) {
    if (offset < start_ ||
        offset + static_cast<int64_t>(len) > start_ + static_cast<int64_t>(data_.size())) {
      start_ = offset;
      file_.Read(offset, std::max(kChunk, len), data_);
      if (data_.size() < len) return nullptr;
    }
    return reinterpret_cast<const unsigned char*>(data_.data()) + (offset - start_);
  }

 private:
  const FileBytes& file_;
  int64_t start_ = 0;
  std::string data_;
};

}  // namespace

size_t FileBytes::Read(int64_t offset, size_t len, std::string& out) const {
  // Never ask past the size seen at the start: that read would only answer nothing.
  if (offset < 0 || offset >= size_) {
    out.clear();
    return 0;
  }
  len = std::min<size_t>(len, static_cast<size_t>(size_ - offset));
  const int64_t cacheEnd = cacheStart_ + static_cast<int64_t>(cache_.size());
  if (offset < cacheStart_ || offset + static_cast<int64_t>(len) > cacheEnd) {
    // A short file is read whole at once; of a long one, a few pages around each place.
    constexpr int64_t kWhole = 64 * 1024;
    constexpr int64_t kBlock = 8 * 1024;
    cacheStart_ = size_ <= kWhole ? 0 : offset & ~int64_t{4095};
    const int64_t block = size_ <= kWhole ? kWhole : kBlock;
    const int64_t want = std::min<int64_t>(
        std::max<int64_t>(block, offset + static_cast<int64_t>(len) - cacheStart_),
        size_ - cacheStart_);
    cache_.resize(static_cast<size_t>(want));
    size_t got = 0;
    while (got < cache_.size()) {
      ssize_t n = ::pread(fd_, cache_.data() + got, cache_.size() - got,
                          static_cast<off_t>(cacheStart_ + static_cast<int64_t>(got)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    cache_.resize(got);
  }
  const int64_t available = cacheStart_ + static_cast<int64_t>(cache_.size()) - offset;
  const size_t n = available <= 0 ? 0 : std::min<size_t>(len, static_cast<size_t>(available));
  out.assign(n == 0 ? "" : cache_.data() + (offset - cacheStart_), n);
  return n;
}

int64_t FindStream(const FileBytes& file, int64_t from, int64_t window, FrameHeader* first) {
  return kazout::FindFrameRun(Reader(file), file.Size(), from, window, first);
}

int64_t FindStreamStart(const FileBytes& file, FrameHeader* first) {
  return kazout::FindStreamStart(Reader(file), file.Size(), first);
}

XingIndex ReadXing(const FileBytes& file, int64_t offset, const FrameHeader& h) {
  XingIndex x;
  if (h.layer != 3) return x;
  std::string buf;
  file.Read(offset, static_cast<size_t>(std::min(h.size, 512)), buf);
  int side = h.level == 1 ? (h.mode == 3 ? 17 : 32) : (h.mode == 3 ? 9 : 17);
  // Encoders differ on whether the checksum comes before the index: look at both places.
  for (int at : {4 + side, 4 + side + 2}) {
    if (static_cast<size_t>(at) + 16 > buf.size()) continue;
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data()) + at;
    if (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0) continue;
    x.present = true;
    uint32_t flags = BigEndian32(p + 4);
    const unsigned char* field = p + 8;
    if (flags & 1) {
      x.frames = BigEndian32(field);
      field += 4;
    }
    if ((flags & 2) && field + 4 <= reinterpret_cast<const unsigned char*>(buf.data()) + buf.size())
      x.bytes = BigEndian32(field);
    return x;
  }
  // The other encoders' index sits 32 bytes past the header, whatever the mode.
  if (buf.size() >= 4 + 32 + 18 && std::memcmp(buf.data() + 36, "VBRI", 4) == 0) {
    const auto* p = reinterpret_cast<const unsigned char*>(buf.data()) + 36;
    x.present = x.vbri = true;
    x.bytes = BigEndian32(p + 10);
    x.frames = BigEndian32(p + 14);
  }
  return x;
}

int64_t AudioEnd(const FileBytes& file) {
  std::string b;
  if (file.Size() >= 128 && file.Read(file.Size() - 128, 3, b) == 3 && b == "TAG")
    return file.Size() - 128;
  return file.Size();
}

FrameCount CountFrames(const FileBytes& file, int64_t offset, int64_t end) {
  FrameCount c;
  Cursor cursor(file);
  FrameHeader stream;
  bool haveStream = false;
  bool synced = true;  // false while looking for frames again after garbage
  for (int64_t pos = offset; pos + 4 <= end;) {
    const unsigned char* p = cursor.At(pos, 4);
    if (!p) break;
    FrameHeader h;
    bool usable =
        ParseFrameHeader(p, h) && (!haveStream || SameStream(stream, h)) && pos + h.size <= end;
    if (usable && !synced) {
      // After garbage a header counts only when the next one agrees with it.
      FrameHeader n;
      const unsigned char* q = pos + h.size + 4 <= end ? cursor.At(pos + h.size, 4) : nullptr;
      usable = pos + h.size == end || (q && ParseFrameHeader(q, n) && SameStream(h, n));
    }
    if (!usable) {
      synced = false;
      ++pos;
      continue;
    }
    if (!haveStream) {
      stream = h;
      haveStream = true;
    }
    synced = true;
    c.variable = c.variable || h.bitrate != stream.bitrate;
    ++c.frames;
    c.samples += h.samples;
    c.bytes += h.size;
    pos += h.size;
  }
  return c;
}

bool LooksConstant(const FileBytes& file, int64_t offset, int64_t end, const FrameHeader& first) {
  // A handful of small reads: a stream that varies its bitrate does so nearly everywhere.
  constexpr int kParts = 5;
  for (int k = 1; k < kParts; ++k) {
    int64_t at = offset + (end - offset) * k / kParts;
    FrameHeader h;
    if (FindStream(file, at, 2048, &h) < 0) return false;
    if (!SameStream(h, first) || h.bitrate != first.bitrate) return false;
  }
  return true;
}

}  // namespace xanalyze
