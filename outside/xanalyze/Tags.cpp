#include "xanalyze/Tags.h"

#include <mpg123.h>

#include <cctype>
#include <cstring>

namespace xanalyze {

namespace {

// Code page 1252 at 0x80..0x9F; the five bytes it leaves free stand for the same code points.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char CodePointToAnsi(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

// The ID3v1 genres, numbered as the tag stores them.
constexpr const char* kGenres[] = {"Blues",
                                   "Classic Rock",
                                   "Country",
                                   "Dance",
                                   "Disco",
                                   "Funk",
                                   "Grunge",
                                   "Hip-Hop",
                                   "Jazz",
                                   "Metal",
                                   "New Age",
                                   "Oldies",
                                   "Other",
                                   "Pop",
                                   "R&B",
                                   "Rap",
                                   "Reggae",
                                   "Rock",
                                   "Techno",
                                   "Industrial",
                                   "Alternative",
                                   "Ska",
                                   "Death Metal",
                                   "Pranks",
                                   "Soundtrack",
                                   "Euro-Techno",
                                   "Ambient",
                                   "Trip-Hop",
                                   "Vocal",
                                   "Jazz+Funk",
                                   "Fusion",
                                   "Trance",
                                   "Classical",
                                   "Instrumental",
                                   "Acid",
                                   "House",
                                   "Game",
                                   "Sound Clip",
                                   "Gospel",
                                   "Noise",
                                   "AlternRock",
                                   "Bass",
                                   "Soul",
                                   "Punk",
                                   "Space",
                                   "Meditative",
                                   "Instrumental Pop",
                                   "Instrumental Rock",
                                   "Ethnic",
                                   "Gothic",
                                   "Darkwave",
                                   "Techno-Industrial",
                                   "Electronic",
                                   "Pop-Folk",
                                   "Eurodance",
                                   "Dream",
                                   "Southern Rock",
                                   "Comedy",
                                   "Cult",
                                   "Gangsta",
                                   "Top 40",
                                   "Christian Rap",
                                   "Pop/Funk",
                                   "Jungle",
                                   "Native American",
                                   "Cabaret",
                                   "New Wave",
                                   "Psychedelic",
                                   "Rave",
                                   "Showtunes",
                                   "Trailer",
                                   "Lo-Fi",
                                   "Tribal",
                                   "Acid Punk",
                                   "Acid Jazz",
                                   "Polka",
                                   "Retro",
                                   "Musical",
                                   "Rock & Roll",
                                   "Hard Rock"};

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Text(const mpg123_string* s) {
  if (!s || !s->p || s->fill == 0) return {};
  // fill counts the closing NUL; a text may also end earlier at a NUL of its own.
  return Utf8ToAnsi(s->p, strnlen(s->p, s->fill));
}

// The comment to show: the one without a description (the plain comment), else the first.
const mpg123_string* PlainComment(const mpg123_id3v2* v2) {
  const mpg123_string* first = nullptr;
  for (size_t i = 0; i < v2->comments; ++i) {
    const mpg123_text& c = v2->comment_list[i];
    if (!first) first = &c.text;
    if (c.description.fill <= 1 || !c.description.p || c.description.p[0] == '\0') return &c.text;
  }
  return first ? first : v2->comment;
}

// The recording time of version 2.4 tags, which have no year frame.
const mpg123_string* RecordingTime(const mpg123_id3v2* v2) {
  for (size_t i = 0; i < v2->texts; ++i)
    if (std::memcmp(v2->text[i].id, "TDRC", 4) == 0) return &v2->text[i].text;
  return nullptr;
}

}  // namespace

std::string Utf8ToAnsi(const char* text, size_t len) {
  std::string out;
  out.reserve(len);
  auto* p = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < len;) {
    unsigned char b = p[i];
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    uint32_t cp = extra == 0   ? b
                  : extra == 1 ? (b & 0x1Fu)
                  : extra == 2 ? (b & 0x0Fu)
                               : (b & 0x07u);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < len;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (p[i + k] & 0x3Fu);
    }
    // Overlong forms and surrogates are malformed too.
    static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(CodePointToAnsi(cp));
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::string V1Field(const char* field, size_t width) {
  std::string s(field, strnlen(field, width));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

uint8_t GenreNumber(const std::string& text) {
  std::string t = text;
  // "(17)" and "(17)Rock" name the number first.
  if (!t.empty() && t[0] == '(') {
    size_t close = t.find(')');
    if (close != std::string::npos) t = t.substr(1, close - 1);
  }
  if (!t.empty() && t.size() <= 3 && t.find_first_not_of("0123456789") == std::string::npos) {
    int n = std::stoi(t);
    return n <= 255 ? static_cast<uint8_t>(n) : 255;
  }
  for (size_t i = 0; i < sizeof(kGenres) / sizeof(kGenres[0]); ++i)
    if (EqualNoCase(t, kGenres[i])) return static_cast<uint8_t>(i);
  return 255;
}

TagTexts ReadTags(const mpg123_id3v1* v1, const mpg123_id3v2* v2) {
  TagTexts t;
  if (v1 && std::memcmp(v1->tag, "TAG", 3) == 0) {
    t.v1 = true;
    t.title = V1Field(v1->title, sizeof(v1->title));
    t.artist = V1Field(v1->artist, sizeof(v1->artist));
    t.album = V1Field(v1->album, sizeof(v1->album));
    t.year = V1Field(v1->year, sizeof(v1->year));
    t.comment = V1Field(v1->comment, sizeof(v1->comment));
    t.genre = v1->genre;
  }
  // A file without a version 2 tag still answers a record, empty and of version 0.
  if (!v2 || v2->version == 0) return t;
  t.v2 = true;
  auto take = [](std::string& field, const mpg123_string* s) {
    std::string v = Text(s);
    if (!v.empty()) field = v;
  };
  take(t.title, v2->title);
  take(t.artist, v2->artist);
  take(t.album, v2->album);
  take(t.year, v2->year ? v2->year : RecordingTime(v2));
  take(t.comment, PlainComment(v2));
  if (std::string g = Text(v2->genre); !g.empty()) {
    uint8_t n = GenreNumber(g);
    if (n != 255) t.genre = n;
  }
  return t;
}

}  // namespace xanalyze
