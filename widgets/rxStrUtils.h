// String helpers of the widget kit.
#pragma once

#include "classlib/System.h"

// The string without any occurrence of C ("&File" without '&' is "File", "a&&b" is "ab").
String RemoveChar(const String& S, char C);
