// The player's main window on a virtual display, driven with xdotool: where its parts are,
// and the pointer's moves over them.
#pragma once

#include <string>

namespace kaztest {

// Where the window's parts are, in its client coordinates (the window has no frame).
constexpr int kRowHeight = 17;
constexpr int kExplorerX = 126 + 6 + 40, kExplorerRow0 = 433 + 32 + 2 + kRowHeight / 2;
constexpr int kDeck1X = 8 + 130, kDeck2X = 532 + 130, kDeckY = 40 + 220;
constexpr int kPlay1X = 8 + 16 + 12, kPlay2X = 532 + 16 + 12, kPlayY = 40 + 106 + 12;

// The id of the first visible window whose name matches `pattern`, waiting up to 20 s for
// it to show; "" when none did.
std::string FindWindow(const std::string& pattern);
// The screen place (ox, oy) of window `id`'s client origin.
void WindowOrigin(const std::string& id, int& ox, int& oy);
// (x, y) of a window whose origin is at (ox, oy), as xdotool's screen coordinates.
std::string At(int ox, int oy, int x, int y);
// A press on (x, y), a move past the drag threshold, a move to (tx, ty), a release, then
// `settle` seconds (as xdotool's sleep takes them) for the window to answer.
void Drag(int ox, int oy, int x, int y, int tx, int ty, const std::string& settle);

}  // namespace kaztest
