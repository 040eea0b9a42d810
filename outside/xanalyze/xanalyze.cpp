#include "xanalyze/xanalyze.h"

#include <cstring>

extern "C" {

int xanalyzer_new(void** analyzer) {
  if (analyzer) *analyzer = nullptr;
  return 0;
}

int xanalyzer_process_file(void*, const char*, XA_AnalyzerFileInfo* info, int32_t, int32_t,
                           int32_t) {
  if (info) std::memset(info, 0, sizeof(*info));
  return XA_ANALYZER_ERROR_INVALID_STREAM;
}

int xanalyzer_delete(void*) { return 0; }
}
