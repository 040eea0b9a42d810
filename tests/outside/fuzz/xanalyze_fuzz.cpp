// libFuzzer target for the file analyser: any bytes as a file, and (first byte odd) any
// bytes as the body of an ID3v2 tag in front of a short valid stream, so that the tag
// reader is reached without the fuzzer having to find a stream of its own.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "xanalyze/Analyzer.h"
#include "xanalyze/Tags.h"
#include "win32/Ansi.h"

namespace {

// Eight silent frames of MPEG 1 layer 3, 128 kbit/s, 44.1 kHz, without padding.
std::string SilentStream() {
  std::string frame(417, '\0');
  frame[0] = '\xFF', frame[1] = '\xFB', frame[2] = '\x90', frame[3] = '\x64';
  std::string s;
  for (int i = 0; i < 8; ++i) s += frame;
  return s;
}

std::string AsTag(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
  uint32_t n = static_cast<uint32_t>(body.size());
  std::string tag = "ID3";
  tag += static_cast<char>(2 + data[1] % 3);  // versions 2.2 to 2.4
  tag += '\0';
  tag += static_cast<char>(data[1] & 0xF0);  // flags: unsynchronisation, extended header...
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((n >> shift) & 0x7F);
  return tag + body + SilentStream();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string file = size >= 2 && (data[0] & 1)
                         ? AsTag(data, size)
                         : std::string(reinterpret_cast<const char*>(data), size);
  int fd = memfd_create("fuzz.mp3", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (!file.empty() && write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size())) {
    close(fd);
    return 0;
  }
  static xanalyze::Analyzer analyzer;
  XA_AnalyzerFileInfo info{};
  analyzer.ProcessFd(fd, &info);
  // Every text handed out is a C string of the code page.
  for (const char* t : {info.title, info.artist, info.album, info.year, info.comment})
    if (t) (void)std::string(t);
  close(fd);
  // The text and genre converters on raw bytes.
  win32::AnsiText(std::string_view(reinterpret_cast<const char*>(data), size));
  win32::AnsiFileName(std::string_view(reinterpret_cast<const char*>(data), size));
  xanalyze::GenreNumber(std::string(reinterpret_cast<const char*>(data), size < 16 ? size : 16));
  return 0;
}
