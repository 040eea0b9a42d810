#include "xanalyze/xanalyze.h"

#include <new>

#include "xanalyze/Analyzer.h"

extern "C" {

int xanalyzer_new(void** analyzer) {
  if (!analyzer) return XA_ANALYZER_ERROR_INVALID_PARAMETERS;
  *analyzer = new (std::nothrow) xanalyze::Analyzer();
  return *analyzer ? XA_ANALYZER_SUCCESS : XA_ANALYZER_ERROR_OUT_OF_MEMORY;
}

// StopMask, WatchDog and MaxFrames are accepted and not used: the analysis reads frame
// headers and tags only, never decodes, and ends on its own.
int xanalyzer_process_file(void* analyzer, const char* filename, XA_AnalyzerFileInfo* info, int32_t,
                           int32_t, int32_t) {
  if (!analyzer) {
    if (info) *info = XA_AnalyzerFileInfo{};
    return XA_ANALYZER_ERROR_INVALID_PARAMETERS;
  }
  return static_cast<xanalyze::Analyzer*>(analyzer)->ProcessFile(filename, info);
}

int xanalyzer_delete(void* analyzer) {
  delete static_cast<xanalyze::Analyzer*>(analyzer);
  return XA_ANALYZER_SUCCESS;
}
}
