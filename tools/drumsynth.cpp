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

struct Options {
  std::string out;
  double bpm = 128, seconds = 30;
  int rate = 44100, channels = 2;
  std::vector<double> tones;
  bool noiseOnly = false;
  double gain = 1.0, fadeIn = 0, breakFrom = -1, breakTo = -1, swing = 0.5;
  std::string kicksPath;
};

std::vector<double> NumberList(const std::string& list) {
  std::vector<double> out;
  for (size_t p = 0; p < list.size();) {
    size_t q = list.find(',', p);
    out.push_back(std::atof(list.substr(p, q - p).c_str()));
    p = q == std::string::npos ? list.size() : q + 1;
  }
  return out;
}

// False, with a message, for an option it does not know or values that make no track.
bool Parse(int argc, char** argv, Options& o) {
  o.out = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : "0"; };
    if (a == "--bpm") {
      o.bpm = std::atof(next());
    } else if (a == "--seconds") {
      o.seconds = std::atof(next());
    } else if (a == "--rate") {
      o.rate = std::atoi(next());
    } else if (a == "--mono") {
      o.channels = 1;
    } else if (a == "--noise") {
      o.noiseOnly = true;
    } else if (a == "--gain") {
      o.gain = std::atof(next());
    } else if (a == "--fade-in") {
      o.fadeIn = std::atof(next());
    } else if (a == "--swing") {
      o.swing = std::atof(next());
    } else if (a == "--kicks") {
      o.kicksPath = next();
    } else if (a == "--breakdown") {
      const std::vector<double> span = NumberList(next());
      o.breakFrom = span.empty() ? 0 : span[0];
      o.breakTo = span.size() < 2 ? -1 : span[1];
    } else if (a == "--tones") {
      o.tones = NumberList(next());
    } else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return false;
    }
  }
  return o.bpm > 0 && o.seconds > 0 && o.rate > 0 && o.swing > 0 && o.swing < 1;
}

void WriteHeader(std::FILE* f, const Options& o, long frames) {
  uint32_t dataBytes = static_cast<uint32_t>(frames * o.channels * 2);
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1);
  Put16(f, static_cast<uint16_t>(o.channels));
  Put32(f, static_cast<uint32_t>(o.rate));
  Put32(f, static_cast<uint32_t>(o.rate * o.channels * 2));
  Put16(f, static_cast<uint16_t>(o.channels * 2));
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, dataBytes);
}

// The dance pattern, one frame at a time, with the state its voices carry from frame to
// frame; the time of each kick goes to `kicks` when given.
class Pattern {
 public:
  Pattern(const Options& o, std::FILE* kicks) : o_(o), beat_(60.0 / o.bpm), kicks_(kicks) {}

  void Frame(double t, double white, double* l, double* r) {
    long beatIndex = static_cast<long>(t / beat_);
    double inBeat = t - static_cast<double>(beatIndex) * beat_;
    double at = static_cast<double>(beatIndex) * beat_;
    bool kickOn = !(at >= o_.breakFrom && at < o_.breakTo);
    if (kicks_ && kickOn && beatIndex != lastKick_) {
      std::fprintf(kicks_, "%.6f\n", static_cast<double>(beatIndex) * beat_);
      lastKick_ = beatIndex;
    }
    // Kick: a pitch sweep from 150 Hz down to 50 Hz with a fast decay.
    double kf = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
    kickPhase_ += 2 * kPi * kf / o_.rate;
    if (inBeat < 1.0 / o_.rate) kickPhase_ = 0;
    double kick = kickOn ? 0.9 * std::sin(kickPhase_) * std::exp(-inBeat * 12.0) : 0.0;
    // Hats on the off-beat: high-passed noise, short.
    double hp = white - hatState_;
    hatState_ = white;
    double offBeat = std::fmod(t + beat_ * (1 - o_.swing), beat_);
    double hat = 0.15 * hp * std::exp(-offBeat * 60.0);
    // Bass on the off-beat eighths, between the kicks.
    bool second = inBeat >= beat_ * o_.swing;
    double inEighth = second ? inBeat - beat_ * o_.swing : inBeat;
    long eighth = beatIndex * 2 + (second ? 1 : 0);
    double bass = 0;
    if (second) {
      bassPhase_ += 2 * kPi * kBassNotes[(eighth / 2) % 8] / o_.rate;
      bass = 0.25 * std::sin(bassPhase_) * std::min(1.0, inEighth * 200.0) *
             std::exp(-inEighth * 4.0);
    }
    // A soft pad holds the breakdown together, as it would in a real track.
    double pad = 0;
    if (t >= o_.breakFrom && t < o_.breakTo) {
      double edge = std::min({1.0, (t - o_.breakFrom) * 10, (o_.breakTo - t) * 10});
      pad = 0.03 * edge *
            (std::sin(2 * kPi * 220 * t) + std::sin(2 * kPi * 277.2 * t) +
             std::sin(2 * kPi * 329.6 * t));
    }
    *l = kick + bass + hat * 0.8 + pad;
    *r = kick + bass + hat * 1.2 + pad;
  }

 private:
  // Bass notes (Hz) over two bars of eighths; the kick is on the even eighths.
  static constexpr double kBassNotes[8] = {55.0, 55.0, 65.41, 55.0, 73.42, 55.0, 65.41, 49.0};
  const Options& o_;
  const double beat_;
  std::FILE* kicks_;
  double hatState_ = 0, kickPhase_ = 0, bassPhase_ = 0;
  long lastKick_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s OUT.wav [--bpm N] [--seconds N] [--rate N] [--mono] [--tones F,...]\n",
                 argv[0]);
    return 2;
  }
  Options o;
  if (!Parse(argc, argv, o)) return 2;
  const long frames = static_cast<long>(o.seconds * o.rate);
  std::FILE* f = std::fopen(o.out.c_str(), "wb");
  if (!f) {
    std::perror(o.out.c_str());
    return 1;
  }
  WriteHeader(f, o, frames);
  std::FILE* kicks = o.kicksPath.empty() ? nullptr : std::fopen(o.kicksPath.c_str(), "w");
  if (!o.kicksPath.empty() && !kicks) {
    std::perror(o.kicksPath.c_str());
    return 1;
  }
  Pattern pattern(o, kicks);
  uint32_t noise = 12345;  // LCG: the same hats every run
  for (long n = 0; n < frames; ++n) {
    double t = static_cast<double>(n) / o.rate;
    double l = 0, r = 0;
    noise = noise * 1664525u + 1013904223u;
    double white = (static_cast<double>(noise >> 8) / 8388608.0) - 1.0;
    if (!o.tones.empty()) {
      for (double hz : o.tones) l += 0.3 * std::sin(2 * kPi * hz * t);
      r = l;
    } else if (o.noiseOnly) {
      l = r = 0.3 * white;
    } else {
      pattern.Frame(t, white, &l, &r);
    }
    double g = o.gain * (o.fadeIn > 0 ? std::min(1.0, t / o.fadeIn) : 1.0);
    l *= g;
    r *= g;
    auto s16 = [](double v) {
      v = std::max(-1.0, std::min(1.0, v));
      return static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767.0)));
    };
    if (o.channels == 1) {
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
