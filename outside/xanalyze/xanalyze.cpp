#include "xanalyze/xanalyze.h"

#include <new>
#include <string>

#include "win32/Paths.h"
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
  auto* a = static_cast<xanalyze::Analyzer*>(analyzer);
  // Names come as Windows paths; a Linux path is taken as it is.
  std::string path = filename ? filename : "";
  if (!path.empty() && path[0] != '/') {
    std::string linux;
    DWORD error = 0;
    if (!win32::WindowsToLinuxPath(path, linux, error)) {
      a->ProcessFile("", info);  // clears the record and the texts of the last file
      return XA_ANALYZER_ERROR_NO_SUCH_FILE;
    }
    path = linux;
  }
  return a->ProcessFile(path.c_str(), info);
}

int xanalyzer_delete(void* analyzer) {
  delete static_cast<xanalyze::Analyzer*>(analyzer);
  return XA_ANALYZER_SUCCESS;
}
}
