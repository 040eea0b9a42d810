#include "win32/Ansi.h"

#include <cstdint>
#include <cstdio>

namespace win32 {
namespace {

// Code page 1252 at 0x80..0x9F; the five bytes it leaves free map to the same code points,
// so every byte converts and converts back.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Decodes the UTF-8 sequence at text[i]: its code point and length, or false (length 1)
// for a malformed one, overlong forms and surrogates included.
bool DecodeUtf8(std::string_view text, std::size_t i, char32_t& cp, std::size_t& length) {
  const auto b = static_cast<unsigned char>(text[i]);
  const int extra = b < 0x80             ? 0
                    : (b & 0xE0) == 0xC0 ? 1
                    : (b & 0xF0) == 0xE0 ? 2
                    : (b & 0xF8) == 0xF0 ? 3
                                         : -1;
  length = 1;
  if (extra < 0 || i + std::size_t(extra) >= text.size()) return false;
  cp = extra == 0 ? b : extra == 1 ? (b & 0x1Fu) : extra == 2 ? (b & 0x0Fu) : (b & 0x07u);
  for (int k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(text[i + std::size_t(k)]);
    if ((c & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  length = std::size_t(extra) + 1;
  return true;
}

}  // namespace

char32_t AnsiToCodePoint(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
}

bool CodePointToAnsi(char32_t cp, char& c) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    c = char(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) {
      c = char(0x80 + i);
      return true;
    }
  }
  return false;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) AppendUtf8(AnsiToCodePoint(c), out);
  return out;
}

std::string AnsiText(std::string_view utf8, char missing) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    std::size_t length = 1;
    char c = missing;
    if (!DecodeUtf8(utf8, i, cp, length) || !CodePointToAnsi(cp, c)) c = missing;
    out.push_back(c);
    i += length;
  }
  return out;
}

std::string AnsiFileName(std::string_view linuxName) {
  std::string out;
  out.reserve(linuxName.size() + 5);
  bool lossless = true;
  for (std::size_t i = 0; i < linuxName.size();) {
    char32_t cp = 0;
    std::size_t length = 1;
    char c = '_';
    if (!DecodeUtf8(linuxName, i, cp, length)) {
      c = linuxName[i];  // a name from a system of this code page: show its character
      lossless = false;
    } else if (!CodePointToAnsi(cp, c)) {
      c = '_';
      lossless = false;
    }
    out.push_back(c);
    i += length;
  }
  if (lossless) return out;
  // FNV-1a over the real name, folded to 16 bits.
  std::uint32_t hash = 2166136261u;
  for (char c : linuxName) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  char tag[8];
  std::snprintf(tag, sizeof tag, "~%04X", unsigned((hash >> 16) ^ (hash & 0xFFFF)));
  const std::size_t dot = out.rfind('.');
  out.insert(dot == std::string::npos || dot == 0 ? out.size() : dot, tag);
  return out;
}

namespace {

// The code page's letter pairs as runs: capital, small, how many in a row.
constexpr unsigned char kCaseRuns[][3] = {{'A', 'a', 26}, {0xC0, 0xE0, 23}, {0xD8, 0xF8, 7},
                                          {0x8A, 0x9A, 1}, {0x8C, 0x9C, 1}, {0x8E, 0x9E, 1},
                                          {0x9F, 0xFF, 1}};

// `c` as the other letter of its pair when it is on the `from` side (0 capital, 1 small).
char OtherCase(char c, int from) {
  const auto b = static_cast<unsigned char>(c);
  for (const auto& run : kCaseRuns)
    if (b >= run[from] && b < run[from] + run[2]) return char(b - run[from] + run[1 - from]);
  return c;
}

}  // namespace

char FoldAnsi(char c) {
  return OtherCase(c, 1);
}

char LowerAnsi(char c) {
  return OtherCase(c, 0);
}

}  // namespace win32
