#include "player/uControls.h"

#include "player/uSkin.h"

TLabel* MakeLabel(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                  Integer Top, const String& Caption) {
  auto* l = CreateControl<TLabel>(Owner, Parent, Name, Left, Top, 0, 0);
  l->SetTransparent(true);
  l->SetCaption(Caption);
  return l;
}

TSpeedButton* MakeButton(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                         Integer Top, Integer Width, Integer Height, const String& Caption) {
  auto* b = CreateControl<TSpeedButton>(Owner, Parent, Name, Left, Top, Width, Height);
  b->SetFlat(true);
  b->SetCaption(Caption);
  return b;
}

TPanel* MakePanel(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                  Integer Top, Integer Width, Integer Height, TColor Color) {
  auto* p = CreateControl<TPanel>(Owner, Parent, Name, Left, Top, Width, Height);
  p->SetCaption("");
  p->SetBevelOuter(bvNone);
  p->SetColor(Color);
  return p;
}

TImage* MakePicture(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                    Integer Top, const String& Skin) {
  auto* i = CreateControl<TImage>(Owner, Parent, Name, Left, Top, 0, 0);
  i->SetAutoSize(true);
  LoadSkinPicture(i, Skin);
  return i;
}

TImageButton* MakeSkinButton(TComponent* Owner, TWinControl* Parent, const String& Name,
                             Integer Left, Integer Top, const String& Skin, const String& Hint) {
  auto* b = CreateControl<TImageButton>(Owner, Parent, Name, Left, Top, 25, 25);
  LoadButtonFaces(b, Skin);
  b->SetHint(Hint);
  return b;
}

TRxPopupMenu* MakeMenu(TComponent* Owner, const String& Name) {
  auto* m = new TRxPopupMenu(Owner);
  m->SetName(Name);
  m->SetStyle(msBtnRaised);
  return m;
}
