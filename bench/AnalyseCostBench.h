// The file analyser's cost figures of bench_explorer (see AnalyseCostBench.cpp).
#pragma once

// Times the analyser against a bare mpg123 open and tag read of the same files and prints
// the figures. Needs kaz_drumsynth and lame.
void AnalyseCostFigures();
