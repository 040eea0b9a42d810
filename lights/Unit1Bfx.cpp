#include "lights/Unit1Bfx.h"

#include <cstdint>

namespace {

// What the reader takes a line to be when it holds no integer.
constexpr Integer kInvalidCommand = 3674;

}  // namespace

bool ParseBfxInteger(const String& Line, Integer& Value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < Line.size() && (Line[i] == '-' || Line[i] == '+')) negative = Line[i++] == '-';
  if (i == Line.size()) return false;
  std::int64_t v = 0;
  for (; i < Line.size(); ++i) {
    const char ch = Line[i];
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  Value = static_cast<Integer>(v);
  return true;
}

String PatternCaption(Integer Code) {
  String s = "[   ]";
  if (Code & 4) s[1] = 'o';
  if (Code & 2) s[2] = 'o';
  if (Code & 1) s[3] = 'o';
  return s;
}

std::vector<TBfxEntry> ReadBfxLines(const std::vector<String>& Lines, bool& Invalid) {
  std::vector<TBfxEntry> entries;
  Invalid = false;
  // A number outside both ranges keeps the caption of the line before it.
  String caption;
  for (const String& line : Lines) {
    Integer value = 0;
    if (!ParseBfxInteger(line, value)) value = kInvalidCommand;
    if (value >= 0 && value <= 7)
      caption = PatternCaption(value);
    else if (value >= 40 && value <= 600)
      caption = TempoCaption;
    else if (value == kInvalidCommand) {
      Invalid = true;
      break;
    }
    entries.push_back({caption, std::to_string(value)});
  }
  return entries;
}
