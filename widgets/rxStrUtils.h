// String helpers of the widget kit.
#pragma once

#include "classlib/System.h"

// The string without any occurrence of C ("&File" without '&' is "File", "a&&b" is "ab").
String RemoveChar(const String& S, char C);
// The identifier itself: messages raised with the kit's resource strings are their own
// text here.
String ResStr(const String& Ident);
