#include "xanalyze/Analyzer.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include "xanalyze/Stream.h"
#include "xanalyze/Tags.h"

namespace xanalyze {

namespace {

uint32_t Clamp32(int64_t v) {
  if (v < 0) return 0;
  return v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                  : static_cast<uint32_t>(v);
}

// Whether `frames` frames can fill `bytes` bytes at a bitrate MPEG audio has at all (8 to
// 448 kbit/s, with room for padding and trailing tags).
bool Plausible(int64_t frames, int64_t bytes, const FrameHeader& first) {
  const double seconds = static_cast<double>(frames) * first.samples / first.frequency;
  const double kbps = bytes * 8.0 / 1000.0 / seconds;
  return kbps >= 7.0 && kbps <= 500.0;
}

}  // namespace

Analyzer::Analyzer() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int err = 0;
  mh_ = mpg123_new(nullptr, &err);
  if (mh_) {
    // No decoding happens here; the handle only finds the first frame and reads the tags.
    mpg123_param(mh_, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
  }
}

Analyzer::~Analyzer() {
  if (mh_) mpg123_delete(mh_);
}

void Analyzer::Clear(XA_AnalyzerFileInfo* info) {
  *info = XA_AnalyzerFileInfo{};
  info->genre = 255;
  title_.clear();
  artist_.clear();
  album_.clear();
  year_.clear();
  comment_.clear();
}

int Analyzer::ProcessFile(const char* path, XA_AnalyzerFileInfo* info) {
  if (!info) return XA_ANALYZER_ERROR_INVALID_PARAMETERS;
  Clear(info);
  if (!path || !*path) return XA_ANALYZER_ERROR_INVALID_PARAMETERS;
  // Non-blocking, so that a named pipe given as a file cannot hang the caller.
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? XA_ANALYZER_ERROR_NO_SUCH_FILE
                                                 : XA_ANALYZER_ERROR_OPEN_FAILED;
  int status = ProcessFd(fd, info);
  ::close(fd);
  return status;
}

int Analyzer::ProcessFd(int fd, XA_AnalyzerFileInfo* info) {
  if (!info) return XA_ANALYZER_ERROR_INVALID_PARAMETERS;
  Clear(info);
  if (!mh_) return XA_ANALYZER_ERROR_OUT_OF_MEMORY;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return XA_ANALYZER_ERROR_OPEN_FAILED;
  int status = ReadStream(fd, info);
  ReadTexts(info);
  mpg123_close(mh_);
  return status;
}

int Analyzer::ReadStream(int fd, XA_AnalyzerFileInfo* info) {
  struct stat st {};
  ::fstat(fd, &st);
  FileBytes file(fd, st.st_size);
  ::lseek(fd, 0, SEEK_SET);
  // Opening reads the ID3v1 tag; the ID3v2 tag is read on the way to the first frame.
  if (mpg123_open_fd(mh_, fd) != MPG123_OK) return XA_ANALYZER_ERROR_OPEN_FAILED;

  FrameHeader first;
  const int64_t start = FindStreamStart(file, &first);
  if (start < 0) return XA_ANALYZER_ERROR_INVALID_STREAM;
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(mh_, &rate, &channels, &encoding) != MPG123_OK)
    return XA_ANALYZER_ERROR_INVALID_STREAM;

  info->level = static_cast<uint32_t>(first.level);
  info->layer = static_cast<uint32_t>(first.layer);
  info->bitrate = static_cast<uint32_t>(first.bitrate);
  info->frequency = static_cast<uint32_t>(first.frequency);
  info->mode = static_cast<uint32_t>(first.mode);
  info->channels = first.mode == XA_ANALYZER_MODE_MONO ? 1 : 2;

  int64_t end = AudioEnd(file);
  int64_t frames = 0, samples = 0;
  bool variable = false, exact = false;
  XingIndex xing = ReadXing(file, start, first);
  // A file cut short still carries the index of the whole stream, and a damaged index may
  // claim anything: then count what is there.
  bool truncated = xing.bytes > 0 && end - start + first.size < xing.bytes;
  if (xing.present && xing.frames > 0 && !truncated && Plausible(xing.frames, end - start, first)) {
    frames = xing.frames;
    // lame's index also gives the encoder's delay and padding, which mpg123 takes off.
    off_t length = xing.vbri ? 0 : mpg123_length(mh_);
    samples = length > 0 ? length : frames * first.samples;
    exact = true;
    struct mpg123_frameinfo fi {};
    variable = xing.vbri || (mpg123_info(mh_, &fi) == MPG123_OK && fi.vbr != MPG123_CBR);
  } else if (!xing.present && LooksConstant(file, start, end, first)) {
    frames = static_cast<int64_t>((end - start + 1) / first.AverageSize());
    samples = frames * first.samples;
  } else {
    FrameCount count = CountFrames(file, start, end);
    frames = count.frames - (xing.present ? 1 : 0);  // the index frame holds no audio
    samples = count.samples - (xing.present ? first.samples : 0);
    variable = count.variable;
    exact = true;
  }
  if (frames <= 0 || samples <= 0) return XA_ANALYZER_ERROR_INVALID_STREAM;
  int64_t ms = samples * 1000 / first.frequency;
  info->frames = Clamp32(frames);
  info->duration = Clamp32(ms);
  if (variable && ms > 0) info->bitrate = Clamp32((end - start) * 8 / ms);
  info->flags = (variable ? XA_ANALYZER_FLAG_VBR : 0u) | (exact ? XA_ANALYZER_FLAG_EXACT : 0u);
  return XA_ANALYZER_SUCCESS;
}

void Analyzer::ReadTexts(XA_AnalyzerFileInfo* info) {
  mpg123_id3v1* v1 = nullptr;
  mpg123_id3v2* v2 = nullptr;
  if (mpg123_id3(mh_, &v1, &v2) != MPG123_OK) return;
  TagTexts t = ReadTags(v1, v2);
  title_ = std::move(t.title);
  artist_ = std::move(t.artist);
  album_ = std::move(t.album);
  year_ = std::move(t.year);
  comment_ = std::move(t.comment);
  // A field the tags leave empty reads as no text at all.
  auto ptr = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
  info->title = ptr(title_);
  info->artist = ptr(artist_);
  info->album = ptr(album_);
  info->year = ptr(year_);
  info->comment = ptr(comment_);
  info->genre = t.genre;
  info->flags |= (t.v1 ? XA_ANALYZER_FLAG_ID3V1 : 0u) | (t.v2 ? XA_ANALYZER_FLAG_ID3V2 : 0u);
}

}  // namespace xanalyze
