// "xdsound.dll": the engine's "DirectSound" output module. Devices are PortAudio's output
// devices, device 0 being the default one. With no sound card at all, devices 0 and 1 are
// null sinks that play into nothing at the pace of their own clocks.
//
// Environment:
//   KAZ_WAV_CAPTURE=<path>  the devices are three capture sinks instead: device 0 records
//                           into <path> (a 32-bit float stereo WAV file), devices 1 and 2
//                           into <path>.1.wav and <path>.2.wav. Beside each file, <file>.json tells its rate and
//                           the CLOCK_MONOTONIC time (ns) at which its first frame was played,
//                           so frame i was played at first + i * 1e9 / rate.
//   KAZ_WAV_UNPACED=1       with KAZ_WAV_CAPTURE: the sink does not keep real time but takes
//                           audio as fast as the players give it (waiting for every active
//                           player), for tests and tools. Times in the .json are then those of
//                           a sink that would have played in real time from its start.
//   KAZ_WAV_SPEEDUP=<n>     with KAZ_WAV_UNPACED: no faster than n times real time, for
//                           takes whose listeners follow the audio by the clock (the level
//                           reports go out as fast as a window answers, not faster).
#pragma once

#include "xaudio/xaudio_modules.h"

extern "C" int dsound_output_module_register(XA_OutputModule* module);
// Periods in which a voice with audio to come, or a sound card, ran dry since the library
// was loaded: a glitch heard.
extern "C" uint64_t dsound_underrun_count(void);
