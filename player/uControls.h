// How the player's forms make their plain controls: captions on the skin, flat buttons,
// panels and skin pictures, each placed on its parent and owned by its form.
#pragma once

#include "classlib/Buttons.h"
#include "classlib/ExtCtrls.h"
#include "classlib/StdCtrls.h"
#include "widgets/ButtonComps.h"
#include "widgets/RxMenus.h"

// A caption over the background (no box of its own).
TLabel* MakeLabel(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                  Integer Top, const String& Caption);
TSpeedButton* MakeButton(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                         Integer Top, Integer Width, Integer Height, const String& Caption);
// A borderless, captionless panel of one colour.
TPanel* MakePanel(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                  Integer Top, Integer Width, Integer Height, TColor Color);
// A picture of the skin, at its own size.
TImage* MakePicture(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                    Integer Top, const String& Skin);
// A popup menu of the main window: the raised frame marks the item under the pointer.
TRxPopupMenu* MakeMenu(TComponent* Owner, const String& Name);
// A 25 x 25 button with the skin's four faces of `Skin` (see LoadButtonFaces).
TImageButton* MakeSkinButton(TComponent* Owner, TWinControl* Parent, const String& Name,
                             Integer Left, Integer Top, const String& Skin, const String& Hint);
