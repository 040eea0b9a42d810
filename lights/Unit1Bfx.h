// Light-program files (".bfx"): one code per line as decimal text, 0 to 7 a lamp pattern
// and 40 to 600 a tempo in BPM. The reader here is free of the window so that it can be
// exercised on its own.
#pragma once

#include <vector>

#include "classlib/System.h"

// The line as a decimal integer: an optional sign and digits only, within 32 bits. Blanks,
// other characters or an empty line make it no integer.
bool ParseBfxInteger(const String& Line, Integer& Value);

// The caption a pattern code 0 to 7 shows in the list ("[o o]" for 5).
String PatternCaption(Integer Code);
// The caption of a tempo entry.
inline constexpr char TempoCaption[] = "<Set bpm>";

struct TBfxEntry {
  String Caption;
  String Code;
};

// The entries of a light program's lines, in order, up to the first line that is not an
// integer (3674, the reader's mark for such a line, counts as not one). Invalid tells
// whether such a line stopped the reading.
std::vector<TBfxEntry> ReadBfxLines(const std::vector<String>& Lines, bool& Invalid);
