// Hand-made ID3v2 tags for tests: the versions and encodings lame does not write, and the
// broken ones no encoder should.
#pragma once

#include <cstdint>
#include <string>

namespace kaztest {

// A 28-bit size as ID3v2 stores it, seven bits a byte.
inline std::string Synchsafe(uint32_t v) {
  return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
          static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

inline std::string BigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// One frame; `declared` replaces the true body size when given (to lie about it).
inline std::string Id3Frame(int version, const char* id, const std::string& body,
                            int64_t declared = -1) {
  uint32_t size =
      declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(body.size());
  return std::string(id, 4) + (version == 4 ? Synchsafe(size) : BigEndian(size)) +
         std::string(2, '\0') + body;
}

// A text frame body: encoding byte (0 Latin-1, 1 UTF-16 with BOM, 3 UTF-8) and the text.
inline std::string Id3Text(char encoding, const std::string& text) {
  return std::string(1, encoding) + text;
}

// A comment body: encoding, language, description, its terminator, the text.
inline std::string Id3Comment(char encoding, const std::string& description,
                              const std::string& text) {
  std::string nul = (encoding == 1 || encoding == 2) ? std::string(2, '\0') : std::string(1, '\0');
  return std::string(1, encoding) + "eng" + description + nul + text;
}

// UTF-16 little-endian with its byte order mark, from code units.
inline std::string Utf16(std::u16string s) {
  std::string out = "\xFF\xFE";
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// The whole tag: header and frames; `declared` replaces the true size when given.
inline std::string Id3Tag(int version, const std::string& frames, int64_t declared = -1) {
  uint32_t size =
      declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(frames.size());
  return std::string("ID3") + static_cast<char>(version) + std::string(2, '\0') + Synchsafe(size) +
         frames;
}

}  // namespace kaztest
