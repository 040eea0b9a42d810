// Render throughput of a deck's chain: decoding with the equalizer on, speed change, and the
// output filter's measuring, on a three-minute track, as fast as the machine allows.
// Prints "name value" lines:
//   decode_x_realtime       libmpg123 decoding alone
//   chain_x_realtime        the whole chain at 1020 per mille
//   chain_1000_x_realtime   the whole chain at normal speed (resampler bypassed)
//   chain_1000_cost_vs_decode   the cost of the latter relative to decoding alone
//
//   bench_engine [file.mp3]
#include <time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "win32/Modules.h"
#include "xaudio/Decoder.h"
#include "xaudio/Speed.h"
#include "xaudio/xaudio_modules.h"

namespace {

double Seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Result {
  double seconds = 0;  // wall time
  double audio = 0;    // seconds of stream rendered
};

Result Decode(const std::string& path) {
  xaudio::Decoder d;
  std::string why;
  Result r;
  if (d.Open(path, &why) != XA_SUCCESS) return r;
  std::vector<float> buf(2304 * 2);
  long n, total = 0;
  double t0 = Seconds();
  while ((n = d.Read(buf.data(), 2304, &why)) > 0) total += n;
  r.seconds = Seconds() - t0;
  r.audio = static_cast<double>(total) / d.Rate();
  return r;
}

Result Chain(const std::string& path, int perMille, XA_FilterModule* filter) {
  xaudio::Decoder d;
  xaudio::Speed speed;
  std::string why;
  Result r;
  XA_EqualizerInfo eq{};
  for (int b = 0; b < 32; ++b) eq.left[b] = eq.right[b] = static_cast<int8_t>(b % 5 - 2);
  d.SetEqualizer(eq);
  if (d.Open(path, &why) != XA_SUCCESS) return r;
  void* instance = filter ? filter->open(nullptr) : nullptr;
  std::vector<float> in(2304 * 2), out(1024 * 2);
  double t0 = Seconds();
  speed.Configure(d.Rate(), 44100, perMille);
  speed.Reset(0);
  bool ended = false;
  double lastIn = 0;
  for (;;) {
    while (!ended && speed.Buffered() < 2200) {
      long n = d.Read(in.data(), 2304, &why);
      if (n <= 0) {
        ended = true;
        break;
      }
      // As in the engine: the filter measures the decoded audio, before the speed stage.
      if (instance) filter->process(instance, in.data(), static_cast<uint32_t>(n), d.Rate(), 0);
      speed.Push(in.data(), static_cast<size_t>(n));
    }
    double a, b;
    size_t n = speed.Pull(out.data(), 1024, &a, &b, ended);
    if (n == 0) {
      if (ended) break;
      continue;
    }
    lastIn = b;
  }
  r.seconds = Seconds() - t0;
  r.audio = lastIn / d.Rate();
  if (instance) filter->close(instance);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : std::string(KAZ_TESTDATA_DIR) + "/bench180.mp3";
  XA_FilterModule table{};
  table.size = sizeof(table);
  XA_FilterModule* filter = nullptr;
  HMODULE lib = LoadLibraryA(KAZ_BIN_DIR "/filter.dll");
  if (lib) {
    auto reg = reinterpret_cast<XA_FilterModuleRegisterFn>(
        GetProcAddress(lib, "output_filter_module_register1"));
    if (reg && reg(&table) == 0) filter = &table;
  }
  if (!filter) std::fprintf(stderr, "filter.dll not found: the chain runs without it\n");

  Result decode = Decode(path);
  if (decode.audio <= 0) {
    std::fprintf(stderr, "cannot decode %s\n", path.c_str());
    return 1;
  }
  Result chain = Chain(path, 1020, filter);
  Result normal = Chain(path, 1000, filter);
  std::printf("track_seconds %.1f\n", decode.audio);
  std::printf("decode_x_realtime %.0f\n", decode.audio / decode.seconds);
  std::printf("chain_x_realtime %.0f\n", chain.audio / chain.seconds);
  std::printf("chain_1000_x_realtime %.0f\n", normal.audio / normal.seconds);
  std::printf("chain_1000_cost_vs_decode %.2f\n", normal.seconds / decode.seconds);
  if (lib) FreeLibrary(lib);
  return 0;
}
