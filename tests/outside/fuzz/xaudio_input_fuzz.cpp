// libFuzzer target for the engine's input path: any bytes as an MPEG audio file, decoded,
// sought and resampled as a deck would.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xaudio/Decoder.h"
#include "xaudio/Speed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = memfd_create("fuzz.mp3", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  lseek(fd, 0, SEEK_SET);
  {
    xaudio::Decoder decoder;
    xaudio::Speed speed;
    std::string why;
    if (decoder.OpenFd(fd, &why) == XA_SUCCESS) {
      XA_EqualizerInfo eq{};
      eq.left[3] = -40;
      eq.right[30] = 90;
      decoder.SetEqualizer(eq);
      speed.Configure(decoder.Rate(), 44100, 1020);
      speed.Reset(0);
      std::vector<float> in(2304 * 2), out(1024 * 2);
      for (int round = 0; round < 2; ++round) {
        long total = 0;
        for (int i = 0; i < 200; ++i) {
          long n = decoder.Read(in.data(), 2304, &why);
          if (n <= 0) break;
          total += n;
          speed.Configure(decoder.Rate(), 44100, 1020);
          speed.Push(in.data(), static_cast<size_t>(n));
          double a, b;
          while (speed.Pull(out.data(), 1024, &a, &b, false) > 0) {
          }
        }
        if (decoder.LengthFrames() > 0) decoder.Seek(decoder.LengthFrames() / 2);
        speed.Reset(0);
        (void)total;
      }
    }
  }
  close(fd);
  return 0;
}
