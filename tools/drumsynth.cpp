// Writes a deterministic dance pattern (or plain tones, or noise) as a 16-bit WAV file, the
// raw material of the test and benchmark MP3s: a kick on every beat, closed hats on the
// off-beats, a bass line on the eighths between the kicks.
//
//   kaz_drumsynth OUT.wav [--bpm 128] [--seconds 30] [--rate 44100] [--mono]
//                         [--tones F1,F2,...] [--noise] [--gain G] [--fade-in S]
//                         [--breakdown FROM,TO] [--swing R] [--kicks KICKS.txt]
//
// --breakdown leaves the kicks out from FROM to TO seconds (hats and bass play on, over a
// soft pad);
// --swing moves the off-beat eighths (hats, bass) to R of the beat (0.5 straight);
// --gain scales everything before the 16-bit clip (above 1 the track clips);
// --fade-in raises the volume linearly from silence over S seconds;
// --kicks writes the time of every kick, in seconds, one a line.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

void Put16(std::FILE* f, uint16_t v) {
  unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}
void Put32(std::FILE* f, uint32_t v) {
  for (int i = 0; i < 4; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s OUT.wav [--bpm N] [--seconds N] [--rate N] [--mono] [--tones F,...]\n",
                 argv[0]);
    return 2;
  }
  std::string out = argv[1];
  double bpm = 128, seconds = 30;
  int rate = 44100, channels = 2;
  std::vector<double> tones;
  bool noiseOnly = false;
  double gain = 1.0, fadeIn = 0, breakFrom = -1, breakTo = -1, swing = 0.5;
  std::string kicksPath;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (a == "--bpm")
      bpm = std::atof(next());
    else if (a == "--seconds")
      seconds = std::atof(next());
    else if (a == "--rate")
      rate = std::atoi(next());
    else if (a == "--mono")
      channels = 1;
    else if (a == "--noise")
      noiseOnly = true;
    else if (a == "--gain")
      gain = std::atof(next());
    else if (a == "--fade-in")
      fadeIn = std::atof(next());
    else if (a == "--swing")
      swing = std::atof(next());
    else if (a == "--kicks")
      kicksPath = next();
    else if (a == "--breakdown") {
      std::string span = next();
      breakFrom = std::atof(span.c_str());
      size_t comma = span.find(',');
      breakTo = comma == std::string::npos ? -1 : std::atof(span.c_str() + comma + 1);
    } else if (a == "--tones") {
      std::string list = next();
      for (size_t p = 0; p < list.size();) {
        size_t q = list.find(',', p);
        tones.push_back(std::atof(list.substr(p, q - p).c_str()));
        p = q == std::string::npos ? list.size() : q + 1;
      }
    } else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (bpm <= 0 || seconds <= 0 || rate <= 0 || swing <= 0 || swing >= 1) return 2;
  const long frames = static_cast<long>(seconds * rate);
  const double beat = 60.0 / bpm;
  // Bass notes (Hz) over two bars of eighths; the kick is on the even eighths.
  const double bassNotes[8] = {55.0, 55.0, 65.41, 55.0, 73.42, 55.0, 65.41, 49.0};

  std::FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) {
    std::perror(out.c_str());
    return 1;
  }
  uint32_t dataBytes = static_cast<uint32_t>(frames * channels * 2);
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1);
  Put16(f, static_cast<uint16_t>(channels));
  Put32(f, static_cast<uint32_t>(rate));
  Put32(f, static_cast<uint32_t>(rate * channels * 2));
  Put16(f, static_cast<uint16_t>(channels * 2));
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, dataBytes);

  std::FILE* kicks = kicksPath.empty() ? nullptr : std::fopen(kicksPath.c_str(), "w");
  if (!kicksPath.empty() && !kicks) {
    std::perror(kicksPath.c_str());
    return 1;
  }
  auto inBreak = [&](long beatIndex) {
    double at = static_cast<double>(beatIndex) * beat;
    return at >= breakFrom && at < breakTo;
  };
  uint32_t noise = 12345;  // LCG: the same hats every run
  double hatState = 0;
  double kickPhase = 0, bassPhase = 0;
  long lastKick = -1;
  for (long n = 0; n < frames; ++n) {
    double t = static_cast<double>(n) / rate;
    double l = 0, r = 0;
    noise = noise * 1664525u + 1013904223u;
    double white = (static_cast<double>(noise >> 8) / 8388608.0) - 1.0;
    if (!tones.empty()) {
      for (double hz : tones) l += 0.3 * std::sin(2 * kPi * hz * t);
      r = l;
    } else if (noiseOnly) {
      l = r = 0.3 * white;
    } else {
      long beatIndex = static_cast<long>(t / beat);
      double inBeat = t - static_cast<double>(beatIndex) * beat;
      bool kickOn = !inBreak(beatIndex);
      if (kicks && kickOn && beatIndex != lastKick) {
        std::fprintf(kicks, "%.6f\n", static_cast<double>(beatIndex) * beat);
        lastKick = beatIndex;
      }
      // Kick: a pitch sweep from 150 Hz down to 50 Hz with a fast decay.
      double kf = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
      kickPhase += 2 * kPi * kf / rate;
      if (inBeat < 1.0 / rate) kickPhase = 0;
      double kick = kickOn ? 0.9 * std::sin(kickPhase) * std::exp(-inBeat * 12.0) : 0.0;
      // Hats on the off-beat: high-passed noise, short.
      double hp = white - hatState;
      hatState = white;
      double offBeat = std::fmod(t + beat * (1 - swing), beat);
      double hat = 0.15 * hp * std::exp(-offBeat * 60.0);
      // Bass on the off-beat eighths, between the kicks.
      bool second = inBeat >= beat * swing;
      double inEighth = second ? inBeat - beat * swing : inBeat;
      long eighth = beatIndex * 2 + (second ? 1 : 0);
      double bass = 0;
      if (second) {
        bassPhase += 2 * kPi * bassNotes[(eighth / 2) % 8] / rate;
        bass = 0.25 * std::sin(bassPhase) * std::min(1.0, inEighth * 200.0) *
               std::exp(-inEighth * 4.0);
      }
      // A soft pad holds the breakdown together, as it would in a real track.
      double pad = 0;
      if (t >= breakFrom && t < breakTo) {
        double edge = std::min({1.0, (t - breakFrom) * 10, (breakTo - t) * 10});
        pad = 0.03 * edge *
              (std::sin(2 * kPi * 220 * t) + std::sin(2 * kPi * 277.2 * t) +
               std::sin(2 * kPi * 329.6 * t));
      }
      l = kick + bass + hat * 0.8 + pad;
      r = kick + bass + hat * 1.2 + pad;
    }
    double g = gain * (fadeIn > 0 ? std::min(1.0, t / fadeIn) : 1.0);
    l *= g;
    r *= g;
    auto s16 = [](double v) {
      v = std::max(-1.0, std::min(1.0, v));
      return static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0)));
    };
    if (channels == 1) {
      Put16(f, s16(0.5 * (l + r)));
    } else {
      Put16(f, s16(l));
      Put16(f, s16(r));
    }
  }
  std::fclose(f);
  if (kicks) std::fclose(kicks);
  return 0;
}
