#include "engine/XAnalyzer.h"

TXAnalyzer::TXAnalyzer(TComponent* AOwner) : TComponent(AOwner) {
  xanalyzer_new(&handle_);
}

TXAnalyzer::~TXAnalyzer() {
  xanalyzer_delete(handle_);
}

void TXAnalyzer::SetFileName(const String& Value) {
  file_name_ = Value;
  int result = xanalyzer_process_file(handle_, file_name_.c_str(), &info_, stop_mask_, watch_dog_,
                                      max_frames_);
  // Only the low word is the status; the high one carries nothing the callers use.
  if ((static_cast<unsigned>(result) & 0xFFFFu) != 0) {
    info_.frames = 0;
    info_.duration = 0;
    info_.flags = 0;
  }
}
