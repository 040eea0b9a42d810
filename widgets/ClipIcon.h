// Icon sizes and icon copies at the size of the icon's own image.
#pragma once

#include <memory>

#include "classlib/Graphics.h"

// Raises EOutOfResources "Out of system resources".
[[noreturn]] void RaiseOutOfResources();
// The size of the icon's pictures: the colour picture's, or for a monochrome icon its
// mask's width and half its height; the standard icon size when the icon has no picture.
void MeasureIcon(TIcon* Icon, Integer& Width, Integer& Height);
// A new icon, owned by the caller, made from the icon file the icon saves: of its images,
// the one for the display's colours, at its own size. An icon without a picture gives the
// default application icon. Raises EOutOfResources when the chosen image cannot be made
// into pictures.
std::unique_ptr<TIcon> CopyIconNativeSize(TIcon* Icon);
