#include "xanalyze/Tags.h"

#include <mpg123.h>

#include <cctype>
#include <cstring>

#include "win32/Ansi.h"

namespace xanalyze {

namespace {

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
  return win32::AnsiText(std::string_view(s->p, strnlen(s->p, s->fill)));
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
