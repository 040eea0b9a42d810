// The file analyser's C interface, as the analyser component imports it at load time.
//
// xanalyzer_process_file fills the caller's record with the stream facts and the tag texts
// of one MPEG audio file. The text pointers belong to the analyser: they stay valid until
// the next xanalyzer_process_file or xanalyzer_delete on the same analyser. Texts are in
// the system's code page (Windows-1252); a character of a Unicode tag that the code page
// lacks reads as '?'. The file name is a Windows path in that code page (a Linux absolute
// path is taken as it is).
//
// One analyser serves one thread at a time; separate analysers may run on separate threads.
#pragma once

#include <cstddef>
#include <cstdint>

// The record keeps the field order and integer widths of the analyser's 32-bit layout; on
// this 64-bit platform a pointer field is 8 bytes and naturally aligned.
struct XA_AnalyzerFileInfo {
  uint32_t level;      // MPEG version: 1, 2, or 3 for MPEG 2.5
  uint32_t layer;      // 1, 2 or 3
  uint32_t bitrate;    // kbit/s of the first frame (the average one for VBR)
  uint32_t frequency;  // Hz
  uint32_t mode;       // XA_ANALYZER_MODE_*
  uint32_t channels;   // 1 or 2
  const char* title;
  const char* artist;
  const char* album;
  const char* year;
  const char* comment;
  uint8_t genre;  // ID3v1 genre number, 255 when none
  uint32_t frames;
  uint32_t duration;  // milliseconds
  uint32_t flags;     // XA_ANALYZER_FLAG_*
};

static_assert(sizeof(XA_AnalyzerFileInfo) == 80);
static_assert(offsetof(XA_AnalyzerFileInfo, level) == 0);
static_assert(offsetof(XA_AnalyzerFileInfo, layer) == 4);
static_assert(offsetof(XA_AnalyzerFileInfo, bitrate) == 8);
static_assert(offsetof(XA_AnalyzerFileInfo, frequency) == 12);
static_assert(offsetof(XA_AnalyzerFileInfo, mode) == 16);
static_assert(offsetof(XA_AnalyzerFileInfo, channels) == 20);
static_assert(offsetof(XA_AnalyzerFileInfo, title) == 24);
static_assert(offsetof(XA_AnalyzerFileInfo, artist) == 32);
static_assert(offsetof(XA_AnalyzerFileInfo, album) == 40);
static_assert(offsetof(XA_AnalyzerFileInfo, year) == 48);
static_assert(offsetof(XA_AnalyzerFileInfo, comment) == 56);
static_assert(offsetof(XA_AnalyzerFileInfo, genre) == 64);
static_assert(offsetof(XA_AnalyzerFileInfo, frames) == 68);
static_assert(offsetof(XA_AnalyzerFileInfo, duration) == 72);
static_assert(offsetof(XA_AnalyzerFileInfo, flags) == 76);

// Channel modes.
enum XA_AnalyzerMode : uint32_t {
  XA_ANALYZER_MODE_STEREO = 0,
  XA_ANALYZER_MODE_JOINT_STEREO = 1,
  XA_ANALYZER_MODE_DUAL_CHANNEL = 2,
  XA_ANALYZER_MODE_MONO = 3,
};

// Flags of a successful analysis.
enum XA_AnalyzerFlag : uint32_t {
  XA_ANALYZER_FLAG_ID3V1 = 0x01,  // an ID3v1 tag was read
  XA_ANALYZER_FLAG_ID3V2 = 0x02,  // an ID3v2 tag was read
  XA_ANALYZER_FLAG_VBR = 0x04,    // the bitrate varies
  XA_ANALYZER_FLAG_EXACT = 0x08,  // frames and duration come from an index or a full scan
};

// Statuses (the low 16 bits of xanalyzer_process_file's answer).
enum XA_AnalyzerStatus : int32_t {
  XA_ANALYZER_SUCCESS = 0,
  XA_ANALYZER_ERROR_INVALID_PARAMETERS = 1,
  XA_ANALYZER_ERROR_NO_SUCH_FILE = 2,
  XA_ANALYZER_ERROR_OPEN_FAILED = 3,
  XA_ANALYZER_ERROR_INVALID_STREAM = 4,
  XA_ANALYZER_ERROR_OUT_OF_MEMORY = 5,
};

// Entry points, in the order the component binds them.
extern "C" {
using XA_AnalyzerNewFn = int (*)(void** analyzer);
using XA_AnalyzerProcessFileFn = int (*)(void* analyzer, const char* filename,
                                         XA_AnalyzerFileInfo* info, int32_t stopMask,
                                         int32_t watchDog, int32_t maxFrames);
using XA_AnalyzerDeleteFn = int (*)(void* analyzer);

int xanalyzer_new(void** analyzer);
int xanalyzer_process_file(void* analyzer, const char* filename, XA_AnalyzerFileInfo* info,
                           int32_t stopMask, int32_t watchDog, int32_t maxFrames);
int xanalyzer_delete(void* analyzer);
}
