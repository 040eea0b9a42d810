// Icon sizes and icon copies at the size of the icon's own image.
#pragma once

#include <memory>

#include "classlib/Graphics.h"

// Raises EOutOfResources "Out of system resources".
[[noreturn]] void RaiseOutOfResources();
// The icon's size; the standard icon size (32 x 32) when it has no picture.
void MeasureIcon(TIcon* Icon, Integer& Width, Integer& Height);
// A copy of the icon at the size of its own image, owned by the caller. Icons here are
// decoded at the size their image has, so the copy keeps every pixel.
std::unique_ptr<TIcon> CopyIconNativeSize(TIcon* Icon);
