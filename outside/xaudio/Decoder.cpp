#include "xaudio/Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

namespace xaudio {

namespace {

void InitLibraryOnce() {
  // mpg123_init is a no-op on current versions but still required by older ones; it must
  // not race with handle creation on another player's thread.
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

Decoder::Decoder() {
  InitLibraryOnce();
  int err = 0;
  mh_ = mpg123_new(nullptr, &err);
  if (mh_) {
    mpg123_param(mh_, MPG123_FLAGS,
                 MPG123_FORCE_FLOAT | MPG123_FORCE_STEREO | MPG123_QUIET | MPG123_GAPLESS |
                     MPG123_SKIP_ID3V2,
                 0.0);
    // Garbage between frames of any length is skipped rather than ending the stream.
    mpg123_param(mh_, MPG123_RESYNC_LIMIT, -1, 0.0);
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
    *why = std::string("Cannot open ") + path + ": " + std::strerror(errno);
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
    *why = "Decoder unavailable";
    return XA_ERROR_OUT_OF_MEMORY;
  }
  if (mpg123_open_fd(mh_, fd) != MPG123_OK) {
    *why = std::string("Cannot read stream: ") + mpg123_strerror(mh_);
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
    *why = std::string("Not an MPEG audio stream: ") + mpg123_strerror(mh_);
    return XA_ERROR_INVALID_STREAM;
  }
  rate_ = static_cast<uint32_t>(rate);
  struct mpg123_frameinfo info {};
  channels_ = (mpg123_info(mh_, &info) == MPG123_OK && info.mode == MPG123_M_MONO) ? 1 : 2;
  // A full scan makes both the duration and seeking exact, also for VBR files without an
  // index; it costs one pass over the frame headers.
  mpg123_scan(mh_);
  off_t len = mpg123_length(mh_);
  length_ = len > 0 ? static_cast<int64_t>(len) : -1;
  pendingFrames_ = pendingPos_ = 0;
  return XA_SUCCESS;
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
}

long Decoder::Read(float* out, long maxFrames, std::string* why) {
  if (!open_) return XA_ERROR_NO_INPUT;
  long done = 0;
  while (done < maxFrames) {
    if (pendingPos_ < pendingFrames_) {
      long n = std::min(maxFrames - done, pendingFrames_ - pendingPos_);
      std::memcpy(out + done * 2, pending_ + pendingPos_ * 2, sizeof(float) * 2 * n);
      pendingPos_ += n;
      done += n;
      continue;
    }
    size_t bytes = 0;
    int rc = mpg123_read(mh_, reinterpret_cast<unsigned char*>(pending_), sizeof(pending_), &bytes);
    pendingFrames_ = static_cast<long>(bytes / (2 * sizeof(float)));
    pendingPos_ = 0;
    if (rc == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      if (mpg123_getformat(mh_, &rate, &channels, &encoding) == MPG123_OK && rate > 0) {
        // A rate change ends the read so that the caller can adapt before using new frames.
        if (static_cast<uint32_t>(rate) != rate_) {
          rate_ = static_cast<uint32_t>(rate);
          if (done > 0 || pendingFrames_ > 0) break;
        }
      }
      continue;
    }
    if (rc == MPG123_DONE) {
      if (bytes > 0) continue;  // the last frames come with the end
      break;
    }
    if (rc != MPG123_OK) {
      if (bytes > 0) continue;
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
  off_t r = mpg123_seek(mh_, static_cast<off_t>(std::max<int64_t>(0, frame)), SEEK_SET);
  if (r < 0) return XA_FAILURE;
  return static_cast<int64_t>(r);
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
