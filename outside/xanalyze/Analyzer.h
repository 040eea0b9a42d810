// One analyser: an mpg123 handle kept from file to file, and the texts of the last file,
// which the caller's record points into.
#pragma once

#include <string>

#include "xanalyze/xanalyze.h"

struct mpg123_handle_struct;

namespace xanalyze {

class Analyzer {
 public:
  Analyzer();
  ~Analyzer();
  Analyzer(const Analyzer&) = delete;
  Analyzer& operator=(const Analyzer&) = delete;

  // Fills `info` from an open file, which stays open and is read only. The record is cleared
  // first; on failure it keeps what was read before the failure (the tag texts of a file
  // whose stream is broken, for instance). Answers an XA_AnalyzerStatus.
  int ProcessFd(int fd, XA_AnalyzerFileInfo* info);
  // The same from a Linux path; XA_ANALYZER_ERROR_NO_SUCH_FILE when nothing is there.
  int ProcessFile(const char* path, XA_AnalyzerFileInfo* info);

 private:
  void Clear(XA_AnalyzerFileInfo* info);
  int ReadStream(int fd, XA_AnalyzerFileInfo* info);
  void ReadTexts(XA_AnalyzerFileInfo* info);

  mpg123_handle_struct* mh_ = nullptr;
  std::string title_, artist_, album_, year_, comment_;
};

}  // namespace xanalyze
