// The tag texts of a file as the system shows them: in its code page (Windows-1252, through
// win32/Ansi.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mpg123.h>

#include <string>

namespace xanalyze {

// An ID3v1 field: up to its first NUL, trailing blanks dropped, bytes as they are.
std::string V1Field(const char* field, size_t width);

// The ID3v1 genre number of a genre text: "(17)", "17" or a genre name; 255 when none fits.
uint8_t GenreNumber(const std::string& text);

struct TagTexts {
  std::string title, artist, album, year, comment;
  uint8_t genre = 255;
  bool v1 = false;
  bool v2 = false;
};

// Each text from the ID3v2 tag when it has one, else from the ID3v1 tag. Either may be null.
TagTexts ReadTags(const mpg123_id3v1* v1, const mpg123_id3v2* v2);

}  // namespace xanalyze
