// "filter.dll": each deck's output filter measures the sound that passes and reports it to
// the player's main window. It sees the audio about a second before it is heard and times
// each report by the engine's prediction of when its audio is heard (see XA_FilterModule):
// report k goes out kReportLead report periods (as heard, at the current speed) before
// the frame it is timed by is heard. At the end of a stream the filter sends the reports
// it held back and kReportLead silent ones, so the last beat reaches the sound line.
// Reports are delivered on the main window's thread, and one whose audio a command given
// there (a seek, a pause, a stop) has dropped never arrives after that command.
#pragma once

#include "win32/Types.h"
#include "xaudio/xaudio_modules.h"

// WParam: the level (16384 is the graph's reference); LParam: 1 deck 1, 2 deck 2.
constexpr UINT WM_DECK_LEVEL = 0x500;
// WParam: address of two int16 values, left then right, 0..50, valid until the message
// returns; LParam: 0 deck 1, 1 deck 2.
constexpr UINT WM_DECK_VU = 0x501;

// The main window's level graph tests for a beat at its sound line, which stands 37 points
// behind the graph's newest point, one point per report.
constexpr int kSoundLinePoints = 37;
// How many report periods each report goes out before the frame it is timed by is heard:
// the sound line's points, and one more because that frame is the start of the window
// after the report's own (shifted to where the beat it will reveal starts, see
// LevelMeter). So the point under the sound line is the window being heard, the beat lamp
// and the lights change as a kick is heard, and the VU meters, which show the pair sent 38
// messages earlier, show the pair of the window being heard.
constexpr int kReportLead = kSoundLinePoints + 1;

extern "C" {
// The main window that receives the reports; called once at start.
int GetHdl(HWND mainWindow);
int output_filter_module_register1(XA_FilterModule* module);
int output_filter_module_register2(XA_FilterModule* module);
}
