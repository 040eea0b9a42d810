// Explorer benchmark: the scans of a folder of 1,000 tagged MP3 files (ExplorerScanBench).
// Prints one `name value` line per figure.
#include "bench/AnalyseCostBench.h"
#include "bench/ExplorerScanBench.h"

int main() {
  ExplorerScanFigures();
  AnalyseCostFigures();
  return 0;
}
