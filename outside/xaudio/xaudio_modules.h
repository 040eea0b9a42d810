// The engine's module interfaces: output modules (where decoded audio is played) and
// output filters (what sees the audio on its way out). A module is named "entry@file": the
// engine loads the file and calls the entry with a table for the module to fill; the entry
// answers 0 when the table is filled.
//
// Audio is always interleaved stereo 32-bit float. Times are CLOCK_MONOTONIC nanoseconds.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// A voice: one player's stream on one output device. The player thread is its only
// producer; the device is its only consumer.
struct XA_OutputModule {
  // Set by the engine before the entry is called: the size of the table it expects.
  uint32_t size;
  const char* name;
  const char* description;

  // Devices of the module. Any thread.
  int (*device_count)(void);
  // Writes the device's name and description (NUL-terminated, cut to fit). 0 when it exists.
  int (*device_info)(int index, char* name, size_t nameSize, char* description,
                     size_t descriptionSize);

  // Opens a voice on a device; null when that cannot be done. *rate receives the device's
  // frame rate, which every frame written to the voice must have.
  void* (*voice_open)(int device, uint32_t* rate);
  void (*voice_close)(void* voice);

  // Producer side, called on the player's thread only.
  // Frames that can be written now without overwriting unplayed ones.
  uint32_t (*voice_writable)(void* voice);
  // How many frames the producer should keep queued: enough to ride out its wake-ups,
  // few enough that changes are heard soon.
  uint32_t (*voice_target_fill)(void* voice);
  // Queues frames; answers how many were taken (at most voice_writable).
  uint32_t (*voice_write)(void* voice, const float* frames, uint32_t count);
  // Drops every queued frame that the device has not taken yet; on return the voice's
  // played count equals its written count.
  void (*voice_flush)(void* voice);
  // Frames written so far (the index the next written frame gets).
  uint64_t (*voice_written)(void* voice);
  // Frames heard so far: every frame below this index has reached the listener (frames
  // dropped by a flush count as heard).
  uint64_t (*voice_heard)(void* voice);
  // The time at which frame `frame` of the voice is (or was) heard, estimated from the
  // device's clock assuming the voice is never starved.
  int64_t (*voice_frame_time)(void* voice, uint64_t frame);
  // The mixing matrix applied on the device: left out = ll*left + rl*right, right out =
  // lr*left + rr*right. Changes are ramped over one device period.
  void (*voice_set_gains)(void* voice, float ll, float rl, float lr, float rr);
  // Whether the player has audio to come. A sink that runs faster than real time waits
  // for active voices instead of playing silence for them.
  void (*voice_set_active)(void* voice, int active);
};

// The player an output filter sits in, as the filter may ask it. A filter that reports to a
// window delivers on the window's thread, which is the thread that gives the player its
// commands (seek, pause, stop, a new input): asked there, just before it delivers, this
// tells whether a command that thread has given may still drop the audio being reported.
struct XA_FilterHost {
  void* player;
  // Any thread: non-zero while a command given to the player has not been carried out yet.
  // Each command is counted as given on the caller's thread before it is queued, and as
  // carried out on the player thread once it has had its effect, so an answer of 0 means
  // that every command the asking thread gave before is carried out, and that what those
  // commands did (a reset of the filter among them) is seen by that thread from then on.
  int (*commands_pending)(void* player);
};

// An output filter instance sits in one player's chain where the decoded (and equalized)
// audio enters the lookahead: at the stream's rate, before the speed change, about a second
// before it is heard. The engine keeps the speed change after the lookahead so that pitch
// and volume changes are still heard at once; the filter thus knows the audio well ahead of
// the listener and has to time what it does by the predictions the engine gives it.
//
// The timing rule: with each block the engine predicts when its first frame will be heard,
// from the voice's heard position, the audio queued on the voice, the lookahead ahead of
// the block and the current speed, which it gives through `timing`. A speed change moves
// every frame still in the lookahead, so the engine gives `timing` again when it happens.
// The latest prediction (of a block or of `timing`) holds for every frame not heard yet:
// when it says frame m (counted from the last reset) is heard at t at s per mille, frame n
// is heard at t + (n - m) * 1000 / (rate * s) seconds. A sink that is not paced hears
// everything as it is given: its predictions are the moment they are made.
struct XA_FilterModule {
  uint32_t size;
  const char* name;
  // The player the instance sits in, valid until it is closed; null for an instance
  // that no player hosts (nothing is ever pending for it).
  void* (*open)(const XA_FilterHost* host);
  void (*close)(void* instance);
  // Player thread: a block of decoded PCM that will be played, `count` frames at `rate` (the
  // stream's), whose first frame is predicted to be heard at `heardNs` at the speed last
  // given by `timing`. The filter may change the samples in place: the change is heard.
  // A block of no frames marks the end of the stream: no audio follows until a reset.
  void (*process)(void* instance, float* frames, uint32_t count, uint32_t rate, int64_t heardNs);
  // Player thread: audio handed over and not heard yet will never be heard (stop, pause,
  // seek, a new input); forget it. Frames count from 0 again after it.
  void (*reset)(void* instance);
  // Player thread: the audio plays at `speedPerMille` from now on, and the frame after the
  // last one handed over is predicted to be heard at `nextHeardNs`. Called before the first
  // block after a reset and whenever the speed changes.
  void (*timing)(void* instance, int64_t nextHeardNs, int speedPerMille);
};

using XA_OutputModuleRegisterFn = int (*)(XA_OutputModule* module);
using XA_FilterModuleRegisterFn = int (*)(XA_FilterModule* module);

}  // extern "C"
