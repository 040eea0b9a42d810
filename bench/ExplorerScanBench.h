// The explorer's scan figures of bench_explorer (see ExplorerScanBench.cpp).
#pragma once

// Makes a folder of 1,000 tagged MP3 files in a private prefix, scans it twice with the
// player's window and prints the figures. Needs kaz_drumsynth and lame.
void ExplorerScanFigures();
