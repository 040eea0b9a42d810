// The player's level graph and beat rule, as a test's yardstick for the output filter's
// level stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kazout {

// The player's level graph and beat test, with the main window's graph box (top 53,
// height 146), detection method 1 and no forced line; answers the message indexes at
// which a beat goes out.
inline std::vector<int> Beats(const std::vector<int32_t>& levels) {
  const int top = 53, height = 146, bottom = top + height;
  int y[66], marks[66];
  std::fill(y, y + 66, bottom);
  std::fill(marks, marks + 66, -1);
  int lineY = top + height / 2;
  uint32_t total = 0, count = 0;
  bool lamp = false;
  std::vector<int> beats;
  for (size_t k = 0; k < levels.size(); ++k) {
    int32_t level = levels[k];
    ++count;
    for (int i = 1; i < 66; ++i) y[i - 1] = y[i], marks[i - 1] = marks[i];
    int p = std::max(0, *std::max_element(y, y + 66));
    int32_t ls =
        static_cast<int32_t>(static_cast<uint32_t>(level) * static_cast<uint32_t>(p)) / 16384;
    total += static_cast<uint32_t>(level);
    uint32_t a = total / count;
    int32_t as = static_cast<int32_t>(a * static_cast<uint32_t>(p)) / 16384;
    int e = 3 * ls > 4 * as ? ls : ls / 3;
    e = std::min(e, height);
    y[65] = (2 * (bottom - e) + y[64]) / 3;
    int oldLineY = lineY;
    auto pass = [&](int v) { return 2 * (bottom - as) > 3 * v; };
    bool candidate = y[63] > y[64] && y[64] < y[65];
    marks[65] = candidate && pass(y[64]) ? y[64] : -1;
    int last = -1;
    for (int i = 28; i <= 45; ++i)
      if (marks[i] != -1 && pass(marks[i])) last = marks[i];
    lineY = last == -1 ? std::max(oldLineY, top) : std::min(last + 30, bottom);
    if (y[28] < lineY) {
      if (!lamp) beats.push_back(static_cast<int>(k));
      lamp = true;
    } else {
      lamp = false;
    }
  }
  return beats;
}

}  // namespace kazout
