#include "widgets/rxStrUtils.h"

String RemoveChar(const String& S, char C) {
  String r = S;
  for (std::size_t i = r.size(); i-- > 0;)
    if (r[i] == C) r.erase(i, 1);
  return r;
}

String ResStr(const String& Ident) {
  return Ident;
}
