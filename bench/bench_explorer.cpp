// Explorer benchmark: the scans of a folder of 1,000 tagged MP3 files (ExplorerScanBench).
// Prints one `name value` line per figure.
#include "bench/ExplorerScanBench.h"

int main() {
  ExplorerScanFigures();
  return 0;
}
