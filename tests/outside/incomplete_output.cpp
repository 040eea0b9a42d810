// An output module that fills only part of its table: enough to list devices and open a
// voice, but no way to write to it.
#include "xaudio/xaudio_modules.h"

namespace {
int Count() {
  return 1;
}
void* Open(int, uint32_t*) {
  static int voice;
  return &voice;
}
}  // namespace

extern "C" __attribute__((visibility("default"))) int incomplete_register(XA_OutputModule* m) {
  m->name = "incomplete";
  m->description = "an output module without its voice entries";
  m->device_count = &Count;
  m->voice_open = &Open;
  return 0;
}
