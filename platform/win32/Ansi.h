// The system's text is single-byte, in its ANSI code page (Windows-1252); Linux file names,
// Qt and tag texts are Unicode. Every crossing between the two goes through here.
//
// A file name the code page can hold shows as itself and translates back to the very same
// bytes. A name it cannot hold (a character outside the code page, or bytes that are not
// UTF-8) is still listed: each character the code page lacks shows as '_', a byte that is
// not UTF-8 as the code page's own character for that byte, and "~" and four hexadecimal
// digits worked out from the whole name are put before its extension ("Дом.mp3" shows as
// "___~67D4.mp3"). The digits keep such names apart and stay the same from run to run, so
// the shown name can be stored in lists and still find its file: paths are translated back
// by looking the shown name up in its folder (win32/Paths.h).
//
// Everything here may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace win32 {

// The character of a byte of the code page. Every byte has one: the five bytes the code
// page leaves free stand for the control characters of the same number.
char32_t AnsiToCodePoint(char c);
// The byte of a character; false, leaving c as it was, when the code page has none.
bool CodePointToAnsi(char32_t cp, char& c);

// Code page -> UTF-8; every byte converts, so AnsiText(AnsiToUtf8(s)) == s.
std::string AnsiToUtf8(std::string_view ansi);
// UTF-8 -> code page, for texts: a character the code page lacks becomes `missing`, and so
// does each byte of a malformed sequence.
std::string AnsiText(std::string_view utf8, char missing = '?');

// A Linux file name (one component, no '/') as the system sees it (see above).
std::string AnsiFileName(std::string_view linuxName);

// The code page's letter case folding, the way the platform's file names compare: ASCII
// letters and the code page's accented letters (é and É, š and Š, ÿ and Ÿ, ...).
char FoldAnsi(char c);
// The other way: the code page's capital letters to small ones.
char LowerAnsi(char c);

}  // namespace win32
