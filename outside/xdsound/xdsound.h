// "xdsound.dll": the engine's "DirectSound" output module. Devices are PortAudio's output
// devices, device 0 being the default one. With no sound card at all, device 0 is a null
// sink that plays into nothing at the pace of its own clock.
//
// Environment:
//   KAZ_WAV_CAPTURE=<path>  every device is a capture sink instead: device 0 records into
//                           <path> (a 32-bit float stereo WAV file), device N > 0 into
//                           <path>.N.wav. Beside each file, <file>.json tells its rate and
//                           the CLOCK_MONOTONIC time (ns) at which its first frame was played,
//                           so frame i was played at first + i * 1e9 / rate.
//   KAZ_WAV_UNPACED=1       with KAZ_WAV_CAPTURE: the sink does not keep real time but takes
//                           audio as fast as the players give it (waiting for every active
//                           player), for tests and tools. Times in the .json are then those of
//                           a sink that would have played in real time from its start.
#pragma once

#include "xaudio/xaudio_modules.h"

extern "C" int dsound_output_module_register(XA_OutputModule* module);
