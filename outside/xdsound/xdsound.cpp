// The output module table of "xdsound.dll".
#include "xdsound/xdsound.h"

#include <cstring>
#include <string>

#include "xdsound/Device.h"

namespace {

using xdsound::Voice;

Voice* V(void* voice) {
  return static_cast<Voice*>(voice);
}

void CopyText(const std::string& from, char* to, size_t size) {
  if (!to || size == 0) return;
  size_t n = std::min(from.size(), size - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

int DeviceCountEntry() {
  return xdsound::DeviceCount();
}

int DeviceInfoEntry(int index, char* name, size_t nameSize, char* description,
                    size_t descriptionSize) {
  std::string n, d;
  if (!xdsound::DeviceInfo(index, &n, &d)) return -1;
  CopyText(n, name, nameSize);
  CopyText(d, description, descriptionSize);
  return 0;
}

void* VoiceOpen(int device, uint32_t* rate) {
  Voice* v = xdsound::OpenVoice(device);
  if (v && rate) *rate = v->Owner()->Rate();
  return v;
}

void VoiceClose(void* voice) {
  xdsound::CloseVoice(V(voice));
}
uint32_t VoiceWritable(void* voice) {
  return V(voice)->Writable();
}
uint32_t VoiceTargetFill(void* voice) {
  return V(voice)->Owner()->TargetFill();
}
uint32_t VoiceWrite(void* voice, const float* frames, uint32_t count) {
  return V(voice)->Write(frames, count);
}
void VoiceFlush(void* voice) {
  V(voice)->Flush();
}
uint64_t VoiceWritten(void* voice) {
  return V(voice)->Written();
}
uint64_t VoiceHeard(void* voice) {
  return V(voice)->Heard();
}
int64_t VoiceFrameTime(void* voice, uint64_t frame) {
  return V(voice)->FrameTime(frame);
}
void VoiceSetGains(void* voice, float ll, float rl, float lr, float rr) {
  V(voice)->SetGains(ll, rl, lr, rr);
}
void VoiceSetActive(void* voice, int active) {
  V(voice)->SetActive(active != 0);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int dsound_output_module_register(
    XA_OutputModule* module) {
  if (!module || module->size < sizeof(XA_OutputModule)) return -1;
  module->name = "dsound";
  module->description = "DirectSound output";
  module->device_count = &DeviceCountEntry;
  module->device_info = &DeviceInfoEntry;
  module->voice_open = &VoiceOpen;
  module->voice_close = &VoiceClose;
  module->voice_writable = &VoiceWritable;
  module->voice_target_fill = &VoiceTargetFill;
  module->voice_write = &VoiceWrite;
  module->voice_flush = &VoiceFlush;
  module->voice_written = &VoiceWritten;
  module->voice_heard = &VoiceHeard;
  module->voice_frame_time = &VoiceFrameTime;
  module->voice_set_gains = &VoiceSetGains;
  module->voice_set_active = &VoiceSetActive;
  return 0;
}

// For tests and tools: how often a voice or a sound card ran dry since the library was
// loaded.
extern "C" __attribute__((visibility("default"))) uint64_t dsound_underrun_count(void) {
  return xdsound::UnderrunCount();
}
