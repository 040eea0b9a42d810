// The player's pictures: the skin is compiled into the program and looked up by name.
#pragma once

#include "classlib/ExtCtrls.h"
#include "classlib/Graphics.h"
#include "widgets/ButtonComps.h"

// Puts the skin's pictures into the program's resource table; made by the skin tool.
void RegisterSkinPictures();

// A skin picture into a picture control (JPEG pictures stay JPEG, the rest are bitmaps).
void LoadSkinPicture(TImage* Image, const String& Name);
// A skin bitmap by name.
void LoadSkinBitmap(TBitmap* Bitmap, const String& Name);
// The four faces of an image button: Base + "_N" (normal), "_O" (over), "_D" (down) and
// "_U" (up).
void LoadButtonFaces(TImageButton* Button, const String& Base);
