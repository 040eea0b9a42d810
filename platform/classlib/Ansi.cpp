#include <QString>

#include "classlib/GuiPrivate.h"

namespace {

// Code page 1252 at 0x80..0x9F; the five bytes it leaves free map to the same code points,
// so every byte converts and converts back.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

QChar AnsiCharToQt(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
}

QString AnsiToQt(const String& s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (char c : s) out.append(AnsiCharToQt(c));
  return out;
}

char QtCharToAnsi(QChar c) {
  char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

String QtToAnsi(const QString& s) {
  String out;
  out.reserve(static_cast<std::size_t>(s.size()));
  for (QChar c : s) out.push_back(QtCharToAnsi(c));
  return out;
}
