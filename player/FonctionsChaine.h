// String routines of the explorer: what follows a separator in a text.
#pragma once

#include "classlib/System.h"

// The text after the first occurrence of Separator; "" when Separator does not occur.
String StrAfter(const String& Separator, const String& Text);
// The text after the last occurrence of Separator; "" when Separator does not occur at
// all (a text without it gives nothing, not itself).
String StrAfterLast(const String& Separator, const String& Text);
