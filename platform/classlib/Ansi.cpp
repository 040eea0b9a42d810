#include <QString>

#include "classlib/GuiPrivate.h"
#include "win32/Ansi.h"

QChar AnsiCharToQt(char c) {
  return QChar(static_cast<char16_t>(win32::AnsiToCodePoint(c)));
}

QString AnsiToQt(const String& s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (char c : s) out.append(AnsiCharToQt(c));
  return out;
}

char QtCharToAnsi(QChar c) {
  char out = '?';
  win32::CodePointToAnsi(c.unicode(), out);
  return out;
}

String QtToAnsi(const QString& s) {
  String out;
  out.reserve(static_cast<std::size_t>(s.size()));
  for (QChar c : s) out.push_back(QtCharToAnsi(c));
  return out;
}
