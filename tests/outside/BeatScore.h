// Scores lamp steps against the beats of a track: exact kicks of a generated track, or a
// reference beat tracker's beats of real music. Times are seconds on one clock.
#pragma once

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace kazout {

// One number a line, as the generator's kick lists and the reference tracker print them.
inline std::vector<double> ReadTimes(const std::string& path) {
  std::vector<double> out;
  std::ifstream in(path);
  double t;
  while (in >> t) out.push_back(t);
  return out;
}

struct KickScore {
  int kicks = 0;
  int single = 0;  // kicks with exactly one step near them
  int extra = 0;   // steps near no kick, and a kick's second and later steps
  bool lastLit = false;
  std::vector<double> offsetsMs;  // of each single step from its kick
};

// A step belongs to a kick when it lies within `nearS` of it.
inline KickScore ScoreKicks(const std::vector<double>& kicks, const std::vector<double>& steps,
                            double nearS = 0.1) {
  KickScore s;
  s.kicks = static_cast<int>(kicks.size());
  std::vector<int> owner(steps.size(), -1);
  for (size_t i = 0; i < kicks.size(); ++i) {
    int count = 0;
    double offset = 0;
    for (size_t j = 0; j < steps.size(); ++j) {
      double d = steps[j] - kicks[i];
      if (std::fabs(d) > nearS) continue;
      if (owner[j] == -1) owner[j] = static_cast<int>(i);
      ++count;
      offset = d;
    }
    if (count == 1) {
      ++s.single;
      s.offsetsMs.push_back(offset * 1000);
    }
    if (count > 1) s.extra += count - 1;
    if (i + 1 == kicks.size()) s.lastLit = count >= 1;
  }
  for (int o : owner) s.extra += o == -1;
  return s;
}

inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size())));
  return v[std::min(v.size() - 1, i > 0 ? i - 1 : 0)];
}

struct RealScore {
  double minutes = 0;
  int beats = 0, lit = 0;   // reference beats, and those with a step within `nearS`
  int steps = 0, near = 0;  // steps, and those within `nearS` of a reference beat
  int doubles = 0;          // steps less than `doubleS` after the step before

  double StepsPerMinute() const { return minutes > 0 ? steps / minutes : 0; }
  // A track's tempo: the gaps between its first and last reference beat.
  double BeatsPerMinute() const { return minutes > 0 ? (beats - 1) / minutes : 0; }
  // The share of steps within `nearS` of a reference beat.
  double OnBeat() const { return steps ? static_cast<double>(near) / steps : 0; }
  // The share of reference beats with a step within `nearS`.
  double Lit() const { return beats ? static_cast<double>(lit) / beats : 0; }
  double DoublesPerMinute() const { return minutes > 0 ? doubles / minutes : 0; }

  RealScore& operator+=(const RealScore& o) {
    minutes += o.minutes;
    beats += o.beats;
    lit += o.lit;
    steps += o.steps;
    near += o.near;
    doubles += o.doubles;
    return *this;
  }
};

// Over the span from the first to the last reference beat.
inline RealScore ScoreReal(const std::vector<double>& reference, const std::vector<double>& steps,
                           double nearS = 0.07, double doubleS = 0.15) {
  RealScore s;
  if (reference.size() < 2) return s;
  double from = reference.front(), to = reference.back();
  s.minutes = (to - from) / 60.0;
  auto nearest = [](const std::vector<double>& v, double t) {
    auto it = std::lower_bound(v.begin(), v.end(), t);
    double d = 1e9;
    if (it != v.end()) d = std::min(d, *it - t);
    if (it != v.begin()) d = std::min(d, t - *(it - 1));
    return d;
  };
  std::vector<double> inside;
  for (double t : steps)
    if (t >= from - nearS && t <= to + nearS) inside.push_back(t);
  for (size_t i = 0; i < inside.size(); ++i) {
    s.near += nearest(reference, inside[i]) <= nearS;
    s.doubles += i > 0 && inside[i] - inside[i - 1] < doubleS;
  }
  for (double t : reference) s.lit += nearest(inside, t) <= nearS;
  s.steps = static_cast<int>(inside.size());
  s.beats = static_cast<int>(reference.size());
  return s;
}

}  // namespace kazout
