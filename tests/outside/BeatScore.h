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

// Real music is scored from 5 s on (every tracker needs a few seconds to lock), a beat
// counting as found within 70 ms.
inline constexpr double kScoredFromS = 5.0;
inline constexpr double kFoundWithinS = 0.07;
// Steps closer than this to the step before give a beat twice.
inline constexpr double kDoubleWithinS = 0.15;
// Less scored than this (a jingle of a few seconds) says nothing of a tracker.
inline constexpr double kShortestScoredS = 5.0;

struct RealScore {
  double minutes = 0;        // from 5 s to the reference's last beat
  int beats = 0, found = 0;  // reference beats, and those with a step within 70 ms
  int steps = 0, near = 0;   // steps, and those within 70 ms of a reference beat
  int doubles = 0;           // steps less than 150 ms after the step before

  bool TooShort() const { return minutes * 60 < kShortestScoredS; }
  double StepsPerMinute() const { return minutes > 0 ? steps / minutes : 0; }
  double BeatsPerMinute() const { return minutes > 0 ? beats / minutes : 0; }
  double DoublesPerMinute() const { return minutes > 0 ? doubles / minutes : 0; }
  // The share of the reference beats that a step found.
  double Recall() const { return beats ? static_cast<double>(found) / beats : 0; }
  // The share of the steps that found a reference beat.
  double Precision() const { return steps ? static_cast<double>(near) / steps : 0; }
  double F() const {
    double r = Recall(), p = Precision();
    return r + p > 0 ? 2 * r * p / (r + p) : 0;
  }

  // Pooled: the counts add up, so the rates weigh every beat and step alike.
  RealScore& operator+=(const RealScore& o) {
    minutes += o.minutes;
    beats += o.beats;
    found += o.found;
    steps += o.steps;
    near += o.near;
    doubles += o.doubles;
    return *this;
  }
};

// Steps against the reference's beats (or another tracker's beats as the steps).
inline RealScore ScoreReal(const std::vector<double>& reference, const std::vector<double>& steps) {
  RealScore s;
  std::vector<double> beats, inside;
  for (double t : reference)
    if (t >= kScoredFromS) beats.push_back(t);
  if (beats.empty()) return s;
  s.minutes = (beats.back() - kScoredFromS) / 60.0;
  for (double t : steps)
    if (t >= kScoredFromS) inside.push_back(t);
  auto nearest = [](const std::vector<double>& v, double t) {
    auto it = std::lower_bound(v.begin(), v.end(), t);
    double d = 1e9;
    if (it != v.end()) d = std::min(d, *it - t);
    if (it != v.begin()) d = std::min(d, t - *(it - 1));
    return d;
  };
  for (size_t i = 0; i < inside.size(); ++i) {
    s.near += nearest(beats, inside[i]) <= kFoundWithinS;
    s.doubles += i > 0 && inside[i] - inside[i - 1] < kDoubleWithinS;
  }
  for (double t : beats) s.found += nearest(inside, t) <= kFoundWithinS;
  s.steps = static_cast<int>(inside.size());
  s.beats = static_cast<int>(beats.size());
  return s;
}

// A track's tempo by the reference: its median beat-to-beat time, from 5 s on.
inline double ReferenceBpm(const std::vector<double>& reference) {
  std::vector<double> gaps;
  for (size_t i = 1; i < reference.size(); ++i)
    if (reference[i - 1] >= kScoredFromS) gaps.push_back(reference[i] - reference[i - 1]);
  double median = Percentile(gaps, 0.5);
  return median > 0 ? 60 / median : 0;
}

}  // namespace kazout
