#include "filter/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace filter {

void LevelMeter::SetRate(uint32_t rate) {
  if (rate == rate_ || rate == 0) return;
  rate_ = rate;
  window_ = std::max<uint32_t>(64, static_cast<uint32_t>(std::lround(rate * 0.02322)));
  // Butterworth low-pass at 150 Hz (bilinear transform).
  const double pi = 3.14159265358979323846;
  double w = std::tan(pi * 150.0 / rate);
  double q = 1.0 / std::sqrt(2.0);
  double norm = 1.0 / (1.0 + w / q + w * w);
  b0_ = w * w * norm;
  b1_ = 2.0 * b0_;
  b2_ = b0_;
  a1_ = 2.0 * (w * w - 1.0) * norm;
  a2_ = (1.0 - w / q + w * w) * norm;
  Reset();
}

void LevelMeter::Reset() {
  z1_ = z2_ = 0;
  filled_ = 0;
  sumLow_ = sumLeft_ = sumRight_ = 0;
}

void LevelMeter::Finish(Reading* r) const {
  double n = static_cast<double>(window_);
  double level = sumLow_ / n * kLevelScale;
  r->level = static_cast<int32_t>(std::min(level, 2147483647.0));
  auto vu = [n](double sum) {
    double rms = std::sqrt(sum / n);
    if (rms <= 1e-9) return int16_t{0};
    double db = 20.0 * std::log10(rms * std::sqrt(2.0));
    return static_cast<int16_t>(std::clamp<long>(std::lround(50.0 + db), 0, 50));
  };
  r->vuLeft = vu(sumLeft_);
  r->vuRight = vu(sumRight_);
}

}  // namespace filter
