// Integer maximum and minimum, as the widget kit's geometry code spells them.
#pragma once

#include "classlib/System.h"

constexpr Integer Max(Integer A, Integer B) {
  return A > B ? A : B;
}
constexpr Integer Min(Integer A, Integer B) {
  return A < B ? A : B;
}
