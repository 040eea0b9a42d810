#include "xaudio/Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "common/MpegStream.h"

namespace xaudio {

namespace {

// Frames asked of mpg123 at a time (four MPEG-1 layer III frames).
constexpr long kReadFrames = 4608;
// The most a converted part can grow: 8 kHz parts in a 48 kHz stream.
constexpr long kMaxGrowth = 6;

void InitLibraryOnce() {
  // mpg123_init is a no-op on current versions but still required by older ones; it must
  // not race with handle creation on another player's thread.
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

// Up to `len` bytes at `offset` of a file; the count read (0 at its end or on an error, which
// then stays in *error).
size_t ReadAt(int fd, int64_t offset, size_t len, std::string& out, int* error) {
  out.resize(len);
  size_t got = 0;
  while (got < len) {
    const ssize_t n = ::pread(fd, out.data() + got, len - got, static_cast<off_t>(offset) + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) *error = errno;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return got;
}

}  // namespace

Decoder::Decoder()
    : pending_(static_cast<size_t>(kReadFrames * kMaxGrowth + 1024) * 2),
      raw_(static_cast<size_t>(kReadFrames) * 2) {
  InitLibraryOnce();
  int err = 0;
  mh_ = mpg123_new(nullptr, &err);
  if (mh_) {
    mpg123_param(mh_, MPG123_FLAGS,
                 MPG123_FORCE_FLOAT | MPG123_FORCE_STEREO | MPG123_QUIET | MPG123_GAPLESS |
                     MPG123_SKIP_ID3V2,
                 0.0);
    // Garbage between frames of any length is skipped rather than ending the stream. A
    // search without a limit finds "frames" in anything, so it never decides where a stream
    // starts: mpg123 reads the file from the first frame that OpenFd found on.
    mpg123_param(mh_, MPG123_RESYNC_LIMIT, -1, 0.0);
    mpg123_replace_reader_handle(
        mh_,
        [](void* in, void* buf, size_t len) -> mpg123_ssize_t {
          auto* input = static_cast<Input*>(in);
          for (;;) {
            const ssize_t n = ::pread(input->fd, buf, len, input->base + input->pos);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) input->pos += n;
            return n;
          }
        },
        [](void* in, off_t offset, int whence) -> off_t {
          auto* input = static_cast<Input*>(in);
          const int64_t from = whence == SEEK_SET   ? 0
                               : whence == SEEK_CUR ? input->pos
                               : whence == SEEK_END ? input->size - input->base
                                                    : -1;
          if (from < 0 || from + offset < 0) {
            errno = EINVAL;
            return -1;
          }
          input->pos = from + offset;
          return static_cast<off_t>(input->pos);
        },
        nullptr);
    mpg123_format_none(mh_);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
      mpg123_format(mh_, rates[i], MPG123_STEREO, MPG123_ENC_FLOAT_32);
  }
}

Decoder::~Decoder() {
  Close();
  if (mh_) mpg123_delete(mh_);
}

int Decoder::Open(const std::string& path, std::string* why) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *why = std::strerror(errno);
    return errno == ENOENT ? XA_ERROR_NO_SUCH_FILE : XA_ERROR_OPEN_FAILED;
  }
  int rc = OpenFd(fd, why);
  if (rc == XA_SUCCESS) {
    ownFd_ = true;
  } else {
    ::close(fd);
  }
  return rc;
}

int Decoder::OpenFd(int fd, std::string* why) {
  Close();
  if (!mh_) {
    *why = "no decoder";
    return XA_ERROR_OUT_OF_MEMORY;
  }
  struct stat st {};
  int error = ::fstat(fd, &st) == 0 ? 0 : errno;
  const int64_t start = error ? -1
                              : kazout::FindStreamStart(
                                    [&](int64_t offset, size_t len, std::string& out) {
                                      return ReadAt(fd, offset, len, out, &error);
                                    },
                                    st.st_size, nullptr);
  if (error) {
    *why = std::string("cannot read it (") + std::strerror(error) + ")";
    return XA_ERROR_OPEN_FAILED;
  }
  if (start < 0) {
    *why = "not an MPEG audio stream";
    return XA_ERROR_INVALID_STREAM;
  }
  input_ = Input{fd, start, 0, st.st_size};
  if (mpg123_open_handle(mh_, &input_) != MPG123_OK) {
    *why = std::string("cannot read it (") + mpg123_strerror(mh_) + ")";
    return XA_ERROR_OPEN_FAILED;
  }
  fd_ = fd;
  ownFd_ = false;
  int rc = Prepare(why);
  if (rc != XA_SUCCESS) {
    mpg123_close(mh_);
    fd_ = -1;
    return rc;
  }
  open_ = true;
  ApplyEqualizer();
  return XA_SUCCESS;
}

int Decoder::Prepare(std::string* why) {
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mh_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
    *why = "not an MPEG audio stream";
    return XA_ERROR_INVALID_STREAM;
  }
  rate_ = static_cast<uint32_t>(rate);
  segmentRate_ = rate_;
  struct mpg123_frameinfo info {};
  channels_ = (mpg123_info(mh_, &info) == MPG123_OK && info.mode == MPG123_M_MONO) ? 1 : 2;
  // A full scan makes both the duration and seeking exact, also for VBR files without an
  // index; it costs one pass over the frame headers.
  mpg123_scan(mh_);
  off_t len = mpg123_length(mh_);
  length_ = len > 0 ? static_cast<int64_t>(len) : -1;
  pendingFrames_ = pendingPos_ = 0;
  // mpg123 counts samples, whatever their rate: a stream joined from parts of different
  // rates has more frames than its sample count accounts for at the first rate, and only
  // then are its parts mapped (another pass over the headers).
  const off_t frames = mpg123_framelength(mh_);
  const int spf = mpg123_spf(mh_);
  if (frames > 0 && spf > 0 && len > 0 && frames * spf > len + 3 * spf && MapSegments()) {
    length_ = segments_.back().at;
  }
  return XA_SUCCESS;
}

bool Decoder::MapSegments() {
  segments_.clear();
  int64_t frame = 0;
  double at = 0;
  uint32_t last = 0;
  for (;;) {
    const int rc = mpg123_framebyframe_next(mh_);
    if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) break;
    struct mpg123_frameinfo info {};
    const int spf = mpg123_spf(mh_);
    if (mpg123_info(mh_, &info) != MPG123_OK || info.rate <= 0 || spf <= 0) break;
    const auto rate = static_cast<uint32_t>(info.rate);
    if (rate != last || spf != segments_.back().spf)
      segments_.push_back({frame, std::llround(at), rate, spf});
    last = rate;
    at += static_cast<double>(spf) * rate_ / rate;
    ++frame;
  }
  mpg123_seek(mh_, 0, SEEK_SET);
  bool mixed = false;
  for (const Segment& seg : segments_) mixed = mixed || seg.rate != rate_;
  if (!mixed) {
    segments_.clear();
    return false;
  }
  // The end, as a segment of its own, closes the map.
  segments_.push_back({frame, std::llround(at), last, segments_.back().spf});
  return true;
}

void Decoder::Close() {
  if (open_ || fd_ >= 0) {
    if (mh_) mpg123_close(mh_);
    if (ownFd_ && fd_ >= 0) ::close(fd_);
  }
  fd_ = -1;
  ownFd_ = false;
  open_ = false;
  rate_ = 0;
  channels_ = 0;
  length_ = -1;
  pendingFrames_ = pendingPos_ = 0;
  segments_.clear();
  FollowSegmentRate(0);
}

void Decoder::FollowSegmentRate(uint32_t rate) {
  if (convert_) soxr_delete(convert_);
  convert_ = nullptr;
  segmentRate_ = rate;
  if (rate == 0 || rate == rate_) return;
  soxr_error_t err = nullptr;
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  convert_ = soxr_create(rate, rate_, 2, &err, nullptr, &quality, nullptr);
  if (err) {
    if (convert_) soxr_delete(convert_);
    convert_ = nullptr;
  }
}

long Decoder::Convert(const float* in, long frames, bool last) {
  if (!convert_) return 0;
  size_t used = 0, made = 0;
  const size_t room = pending_.size() / 2 - static_cast<size_t>(pendingFrames_);
  soxr_process(convert_, last ? nullptr : in, last ? 0 : static_cast<size_t>(frames), &used,
               &pending_[static_cast<size_t>(pendingFrames_) * 2], room, &made);
  return static_cast<long>(made);
}

long Decoder::Read(float* out, long maxFrames, std::string* why) {
  if (!open_) return XA_ERROR_NO_INPUT;
  long done = 0;
  while (done < maxFrames) {
    if (pendingPos_ < pendingFrames_) {
      long n = std::min(maxFrames - done, pendingFrames_ - pendingPos_);
      std::memcpy(out + done * 2, &pending_[static_cast<size_t>(pendingPos_) * 2],
                  sizeof(float) * 2 * n);
      pendingPos_ += n;
      done += n;
      continue;
    }
    // A part at another rate is decoded aside and converted into the pending frames.
    float* into = convert_ ? raw_.data() : pending_.data();
    size_t bytes = 0;
    int rc = mpg123_read(mh_, reinterpret_cast<unsigned char*>(into),
                         sizeof(float) * 2 * kReadFrames, &bytes);
    const long got = static_cast<long>(bytes / (2 * sizeof(float)));
    pendingPos_ = 0;
    pendingFrames_ = convert_ ? 0 : got;
    if (convert_) pendingFrames_ = Convert(raw_.data(), got, false);
    if (rc == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      if (mpg123_getformat(mh_, &rate, &channels, &encoding) == MPG123_OK && rate > 0 &&
          static_cast<uint32_t>(rate) != segmentRate_) {
        // The old part's converter still holds its last frames.
        if (convert_) pendingFrames_ += Convert(nullptr, 0, true);
        FollowSegmentRate(static_cast<uint32_t>(rate));
      }
      continue;
    }
    if (rc == MPG123_DONE) {
      if (convert_) {
        pendingFrames_ += Convert(nullptr, 0, true);
        FollowSegmentRate(rate_);
      }
      if (pendingFrames_ > 0) continue;  // the last frames come with the end
      break;
    }
    if (rc != MPG123_OK) {
      if (pendingFrames_ > 0) continue;
      if (done > 0) break;  // report the error on the next call
      *why = std::string("Decoding failed: ") + mpg123_strerror(mh_);
      return XA_ERROR_DECODE;
    }
    if (bytes == 0) break;
  }
  return done;
}

int64_t Decoder::Seek(int64_t frame) {
  if (!open_) return XA_ERROR_NO_INPUT;
  pendingFrames_ = pendingPos_ = 0;
  frame = std::max<int64_t>(0, frame);
  if (segments_.empty()) {
    FollowSegmentRate(rate_);
    off_t r = mpg123_seek(mh_, static_cast<off_t>(frame), SEEK_SET);
    if (r < 0) return XA_FAILURE;
    return static_cast<int64_t>(r);
  }
  // mpg123's sample offsets assume one rate; a joined stream is sought by MPEG frame, to
  // the start of the frame that holds the position.
  auto seg = segments_.begin();
  while (seg + 2 < segments_.end() && (seg + 1)->at <= frame) ++seg;
  const double samplesPerFrame = static_cast<double>(seg->spf) * rate_ / seg->rate;
  const int64_t target =
      std::min<int64_t>(seg->frame + static_cast<int64_t>((frame - seg->at) / samplesPerFrame),
                        (seg + 1)->frame);
  off_t r = mpg123_seek_frame(mh_, static_cast<off_t>(target), SEEK_SET);
  if (r < 0) return XA_FAILURE;
  FollowSegmentRate(seg->rate);
  return seg->at + std::llround(static_cast<double>(r - seg->frame) * samplesPerFrame);
}

int Decoder::BitrateKbps() const {
  struct mpg123_frameinfo info {};
  if (!open_ || mpg123_info(mh_, &info) != MPG123_OK) return 0;
  return info.bitrate;
}

void Decoder::SetEqualizer(const XA_EqualizerInfo& eq) {
  eq_ = eq;
  ApplyEqualizer();
}

void Decoder::ApplyEqualizer() {
  if (!mh_) return;
  for (int band = 0; band < 32; ++band) {
    mpg123_eq(mh_, MPG123_LEFT, band, std::pow(10.0, eq_.left[band] * XA_EQ_DB_PER_STEP / 20.0));
    mpg123_eq(mh_, MPG123_RIGHT, band, std::pow(10.0, eq_.right[band] * XA_EQ_DB_PER_STEP / 20.0));
  }
}

}  // namespace xaudio
