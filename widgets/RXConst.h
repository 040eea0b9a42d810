// The widget kit's own cursors, drawn by the skin tool and put into the screen's cursor
// table when the program starts.
#pragma once

#include "classlib/Controls.h"

constexpr TCursor crHand = 14000;      // "RX_HANDCUR": a hand with a raised pointing finger
constexpr TCursor crDragHand = 14001;  // "RX_DRAGCUR": an open hand

// Loads both cursors from the program's pictures into the screen's table. A program that
// carries neither picture gets an EResNotFound.
void InstallRxCursors();
