// "filter.dll": each deck's output filter measures the sound that passes and reports it to
// the player's main window, each report at the moment its audio is heard.
#pragma once

#include "win32/Types.h"
#include "xaudio/xaudio_modules.h"

// WParam: the level (16384 is the graph's reference); LParam: 1 deck 1, 2 deck 2.
constexpr UINT WM_DECK_LEVEL = 0x500;
// WParam: address of two int16 values, left then right, 0..50, valid until the message
// returns; LParam: 0 deck 1, 1 deck 2.
constexpr UINT WM_DECK_VU = 0x501;

extern "C" {
// The main window that receives the reports; called once at start.
int GetHdl(HWND mainWindow);
int output_filter_module_register1(XA_FilterModule* module);
int output_filter_module_register2(XA_FilterModule* module);
}
