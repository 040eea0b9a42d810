#include "player/FonctionsChaine.h"

#include "classlib/SysUtils.h"

String StrAfter(const String& Separator, const String& Text) {
  const Integer at = Pos(Separator, Text);
  if (at == 0 || Separator.empty()) return String();
  return Copy(Text, at + Length(Separator), Length(Text));
}

String StrAfterLast(const String& Separator, const String& Text) {
  // Peel off one separator at a time: what is left after the last one is the answer.
  String result;
  String rest = Text;
  while (!Separator.empty() && Pos(Separator, rest) != 0) {
    rest = StrAfter(Separator, rest);
    result = rest;
  }
  return result;
}
