// A deck's position label read back as the time heard.
#pragma once

#include <string>

#include "player/uMain.h"

// Hundredths of a second the label shows ("mm:ss:ff"), or -1 while it shows no time.
inline int LabelHundredths(const TLabel* pos) {
  const String& c = pos->Caption();
  if (c.size() < 8) return -1;
  return (std::stoi(c.substr(0, 2)) * 60 + std::stoi(c.substr(3, 2))) * 100 +
         std::stoi(c.substr(6, 2));
}
