#include "support/PlayerWindow.h"

#include <sstream>

#include "support/TestSupport.h"

namespace kaztest {

std::string FindWindow(const std::string& pattern) {
  std::string id = Shell("timeout 20 xdotool search --sync --onlyvisible --name '" + pattern +
                         "' 2>/dev/null | head -1");
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return id;
}

void WindowOrigin(const std::string& id, int& ox, int& oy) {
  std::istringstream in(Shell("xdotool getwindowgeometry --shell " + id));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("X=", 0) == 0) ox = std::stoi(line.substr(2));
    if (line.rfind("Y=", 0) == 0) oy = std::stoi(line.substr(2));
  }
}

std::string At(int ox, int oy, int x, int y) {
  return std::to_string(ox + x) + " " + std::to_string(oy + y);
}

void Drag(int ox, int oy, int x, int y, int tx, int ty, const std::string& settle) {
  auto at = [&](int px, int py) { return At(ox, oy, px, py); };
  Shell("xdotool mousemove " + at(x, y) + " mousedown 1 sleep 0.1 mousemove " +
        at(x + 12, y + 4) + " sleep 0.1 mousemove " + at((x + tx) / 2, (y + ty) / 2) +
        " sleep 0.1 mousemove " + at(tx, ty) + " sleep 0.2 mouseup 1 sleep " + settle);
}

}  // namespace kaztest
