// libFuzzer target for the light-program reader: any bytes, split into lines as the file
// load splits them (CR, LF or CR LF), must give entries that are all well-formed, stop at
// the first line that is no integer, and never crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lights/Unit1Bfx.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<String> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);

  bool invalid = false;
  const std::vector<TBfxEntry> entries = ReadBfxLines(lines, invalid);
  if (entries.size() > lines.size()) std::abort();
  if (!invalid && entries.size() != lines.size()) std::abort();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Integer v = 0;
    // Every kept line was an integer, and its code reads back as the same integer.
    if (!ParseBfxInteger(lines[i], v) || std::to_string(v) != entries[i].Code) std::abort();
    if (v == 3674) std::abort();
    if (v >= 0 && v <= 7 && entries[i].Caption != PatternCaption(v)) std::abort();
    if (v >= 40 && v <= 600 && entries[i].Caption != TempoCaption) std::abort();
  }
  return 0;
}
