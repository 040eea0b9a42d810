// MPEG audio decoding: a file in, stereo float frames at the stream's own rate out, with
// the codec equalizer applied in the decoder's subbands. Player thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xaudio/xaudio.h"

struct mpg123_handle_struct;
struct soxr;

namespace xaudio {

class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Opens a Linux path. Answers XA_SUCCESS or an XA_ERROR_* code; error text in *why.
  int Open(const std::string& path, std::string* why);
  // Opens an already open descriptor (kept open by the caller until Close).
  int OpenFd(int fd, std::string* why);
  void Close();
  bool IsOpen() const { return open_; }

  // Decodes up to `maxFrames` stereo frames into `out`. Answers the number of frames, 0 at
  // the end of the stream, or a negative XA error when the stream cannot go on. Frames are
  // always at Rate(): a stream whose rate changes partway (files joined end to end) has its
  // other parts converted to the rate it opened with.
  long Read(float* out, long maxFrames, std::string* why);
  // Moves to a frame (at the stream's rate). Answers the frame reached, or < 0.
  int64_t Seek(int64_t frame);

  uint32_t Rate() const { return rate_; }
  int Channels() const { return channels_; }
  int BitrateKbps() const;
  // Length in frames; -1 when unknown.
  int64_t LengthFrames() const { return length_; }

  // Sets the equalizer from the 64-byte record (0.3 dB steps); applies from the next frame.
  void SetEqualizer(const XA_EqualizerInfo& eq);
  const XA_EqualizerInfo& Equalizer() const { return eq_; }

 private:
  // One stretch of a stream whose rate changes: from MPEG frame `frame`, `spf` samples a
  // frame at `rate`, starting at frame `at` of the stream's timeline (at Rate()).
  struct Segment {
    int64_t frame;
    int64_t at;
    uint32_t rate;
    int spf;
  };

  // The file as mpg123 reads it: from the first frame of its stream on, so that nothing
  // before it (a tag, junk) is taken for audio. Offsets are from `base`.
  struct Input {
    int fd = -1;
    int64_t base = 0;
    int64_t pos = 0;
    int64_t size = 0;
  };

  int Prepare(std::string* why);
  bool MapSegments();
  void ApplyEqualizer();
  // The converter from the rate mpg123 now gives to Rate(); none while they are equal.
  void FollowSegmentRate(uint32_t rate);
  long Convert(const float* in, long frames, bool last);

  mpg123_handle_struct* mh_ = nullptr;
  int fd_ = -1;
  bool ownFd_ = false;
  Input input_;
  bool open_ = false;
  uint32_t rate_ = 0;
  int channels_ = 0;
  int64_t length_ = -1;
  XA_EqualizerInfo eq_{};
  // Decoded frames of the last mpg123 call (converted, when converting) that did not fit
  // the caller's buffer yet.
  std::vector<float> pending_;
  long pendingFrames_ = 0;
  long pendingPos_ = 0;
  // Streams whose rate changes partway: where each rate starts, and the converter of the
  // part being decoded with what mpg123 gave it.
  std::vector<Segment> segments_;
  uint32_t segmentRate_ = 0;
  soxr* convert_ = nullptr;
  std::vector<float> raw_;
};

}  // namespace xaudio
