#include "widgets/RxMenus.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "classlib/Forms.h"
#include "classlib/Gdi.h"
#include "widgets/ClipIcon.h"
#include "widgets/MaxMin.h"
#include "widgets/RxGraph.h"
#include "widgets/rxStrUtils.h"

namespace {

const String kTwoTabs = "\t\t";

// Runs its action when the scope ends, also on an exception.
template <typename F>
struct TFinally {
  F f;
  ~TFinally() { f(); }
};
template <typename F>
TFinally(F) -> TFinally<F>;

// Every live menu and the hidden window that owns their popups. The list does not own
// the menus; the window exists while the list is not empty.
struct TPopupList {
  std::vector<TRxPopupMenu*> menus;
  HWND ownerWindow = 0;

  void AttachMenu(TRxPopupMenu* Menu);
  void DetachMenu(TRxPopupMenu* Menu);
};

TPopupList* SharedPopupList() {
  static std::unique_ptr<TPopupList> list;
  if (!list) list = std::make_unique<TPopupList>();
  return list.get();
}

void OwnerWindowProc(TMessage& m);

void TPopupList::AttachMenu(TRxPopupMenu* Menu) {
  if (menus.empty()) ownerWindow = AllocateHWnd(OwnerWindowProc);
  menus.push_back(Menu);
}

void TPopupList::DetachMenu(TRxPopupMenu* Menu) {
  menus.erase(std::remove(menus.begin(), menus.end(), Menu), menus.end());
  if (menus.empty() && ownerWindow) {
    DeallocateHWnd(ownerWindow);
    ownerWindow = 0;
  }
}

TMenuItem* SelectedItem(TRxPopupMenu* Menu, TMessage& m) {
  WORD flags = HIWORD(static_cast<DWORD>(m.WParam));
  WORD id = LOWORD(static_cast<DWORD>(m.WParam));
  if (flags & MF_POPUP) {
    HMENU sub = GetSubMenu(HMENU(m.LParam), id);
    return sub ? Menu->FindItem(UINT(sub), fkHandle) : nullptr;
  }
  return Menu->FindItem(id, fkCommand);
}

// F1 on an item of the menu: its topic, or the menu's, in a small window beside the
// pointer when the active form offers help that way.
bool ShowItemHelp(TRxPopupMenu* Menu, const HELPINFO* Info) {
  if (!Info || HMENU(Info->hItemHandle) != Menu->Handle()) return false;
  THelpContext context = Menu->GetHelpContext(UINT(Info->iCtrlId), true);
  if (context == 0) context = Menu->GetHelpContext(HMENU(Info->hItemHandle), false);
  if (TForm* form = Screen->ActiveForm()) {
    if (form->BorderIcons().Contains(biHelp))
      Application->HelpCommand(HELP_CONTEXTPOPUP, context);
    else
      Application->HelpContext(context);
  }
  return true;
}

// Menus handle what is theirs in list order; the first that does ends the walk.
bool DispatchToMenus(TMessage& m) {
  std::vector<TRxPopupMenu*> menus = SharedPopupList()->menus;
  for (TRxPopupMenu* menu : menus) {
    switch (m.Msg) {
      case WM_DRAWITEM:
      case WM_MEASUREITEM: {
        bool handled = false;
        menu->HandleMenuMessage(m, handled);
        if (handled) return true;
        break;
      }
      case WM_COMMAND:
        if (menu->DispatchCommand(LOWORD(static_cast<DWORD>(m.WParam)))) return true;
        break;
      case WM_INITMENUPOPUP:
        if (menu->DispatchPopup(HMENU(m.WParam))) return true;
        break;
      case WM_MENUSELECT:
        if (TMenuItem* item = SelectedItem(menu, m)) {
          Application->SetHint(item->Hint());
          if (menu->Cursor() != 0) {
            bool hilite = HIWORD(static_cast<DWORD>(m.WParam)) & MF_HILITE;
            ::SetCursor(Screen->Cursors(hilite ? menu->Cursor() : crDefault));
          }
          return true;
        }
        break;
      case WM_HELP:
        if (ShowItemHelp(menu, reinterpret_cast<const HELPINFO*>(m.LParam))) return true;
        break;
      case WM_MENUCHAR:
        if (menu->FindItem(HMENU(m.LParam), fkHandle)) {
          menu->ProcessMenuChar(m);
          return true;
        }
        break;
      default:
        return false;
    }
  }
  if (m.Msg == WM_MENUSELECT) Application->SetHint(String());
  return false;
}

void OwnerWindowProc(TMessage& m) {
  // A handler's error (an item's OnClick, a drawing event) is shown and the menu stays
  // usable; the window answers as if nothing had happened.
  try {
    if (DispatchToMenus(m)) return;
  } catch (...) {
    Application->HandleException(nullptr);
    return;
  }
  m.Result = DefWindowProcA(SharedPopupList()->ownerWindow, m.Msg, m.WParam, m.LParam);
}

Integer CheckWidth() {
  return LOWORD(static_cast<DWORD>(GetMenuCheckMarkDimensions()));
}
Integer CheckHeight() {
  return HIWORD(static_cast<DWORD>(GetMenuCheckMarkDimensions()));
}
// The space around the check-mark and image columns: a third of a check mark, about.
Integer CheckGap() {
  return static_cast<Integer>(std::nearbyint(CheckWidth() * 0.3));
}
Integer DefaultItemHeight() {
  return GetSystemMetrics(SM_CYMENU) - 2;
}

void ApplyMenuFont(TFont* Font) {
  Font->SetName("MS Sans Serif");
  Font->SetSize(8);
  Font->SetColor(clMenuText);
  Font->SetStyle({});
}

void AddBold(TFont* Font) {
  TFontStyles st = Font->Style();
  st.Include(fsBold);
  Font->SetStyle(st);
}

enum TFrameKind { fkNone, fkLowered, fkRaised };

// The width of a text as the menu writes it: a tab is as wide as the eight spaces that
// DT_EXPANDTABS puts in its place.
Integer TabbedWidth(TCanvas* Canvas, const String& Text) {
  String shown;
  for (char ch : Text) shown += ch == '\t' ? String(8, ' ') : String(1, ch);
  return Canvas->TextWidth(shown);
}

// The width of an item's caption without its '&' marks, with the two tabs that keep the
// shortcut column apart.
Integer CaptionWidth(TCanvas* Canvas, TMenuItem* Item) {
  return TabbedWidth(Canvas, RemoveChar(Item->Caption(), '&') + kTwoTabs);
}

}  // namespace

HWND RxPopupOwnerWindow() {
  return SharedPopupList()->ownerWindow;
}

// ---------------------------------------------------------------------------------------
// The component.

TRxPopupMenu::TRxPopupMenu(TComponent* AOwner)
    : TPopupMenu(AOwner), drawCanvas_(std::make_unique<TCanvas>()) {
  SharedPopupList()->AttachMenu(this);
  imagesWatch_ = std::make_unique<TChangeLink>();
  imagesWatch_->OnChange = [this](TObject* Sender) { ImageListChanged(Sender); };
}

TRxPopupMenu::~TRxPopupMenu() {
  imagesWatch_.reset();
  SetStyle(msStandard);
  SharedPopupList()->DetachMenu(this);
  drawCanvas_.reset();
}

bool TRxPopupMenu::NeedsOwnerDraw() const {
  return style_ != msStandard || (images_ && images_->Count() > 0);
}

void TRxPopupMenu::ApplyOwnerDraw(bool Enable) {
  SetOwnerDraw(ComponentState().Contains(csDesigning) ? false : Enable);
}

void TRxPopupMenu::SetStyle(TRxMenuStyle Value) {
  if (Value == style_) return;
  style_ = Value;
  ApplyOwnerDraw(NeedsOwnerDraw());
}

void TRxPopupMenu::SetImages(TImageList* Value) {
  bool was = NeedsOwnerDraw();
  if (images_) images_->UnRegisterChanges(imagesWatch_.get());
  images_ = Value;
  if (images_) {
    images_->RegisterChanges(imagesWatch_.get());
    images_->FreeNotification(this);
  }
  if (NeedsOwnerDraw() != was) ApplyOwnerDraw(NeedsOwnerDraw());
}

void TRxPopupMenu::ImageListChanged(TObject* Sender) {
  if (Sender == images_) ApplyOwnerDraw(NeedsOwnerDraw());
}

void TRxPopupMenu::Loaded() {
  TPopupMenu::Loaded();
  if (NeedsOwnerDraw()) ApplyOwnerDraw(true);
}

void TRxPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TPopupMenu::Notification(AComponent, Operation);
  // The list is being destroyed: it has let go of the link already and must not be asked
  // anything more.
  if (Operation == opRemove && AComponent == images_) {
    images_ = nullptr;
    ApplyOwnerDraw(NeedsOwnerDraw());
  }
}

void TRxPopupMenu::Popup(Integer X, Integer Y) {
  lastPopupAt_ = {X, Y};
  SetPopupPoint({X, Y});
  savedParentBiDiMode_ = ParentBiDiMode();
  // Right-to-left menus need a locale that reads so, which this platform never has: the
  // menu keeps its own reading order and left stays left.
  TFinally restore{[this] { SetParentBiDiMode(savedParentBiDiMode_); }};
  DoPopup(this);
  if (NeedsOwnerDraw()) ApplyOwnerDraw(true);
  UINT flags = Alignment() == paRight    ? TPM_RIGHTALIGN
               : Alignment() == paCenter ? TPM_CENTERALIGN
                                         : TPM_LEFTALIGN;
  if (TrackButton() == tbRightButton) flags |= TPM_RIGHTBUTTON;
  TrackPopupMenu(Items()->Handle(), flags, X, Y, 0, SharedPopupList()->ownerWindow, nullptr);
}

bool TRxPopupMenu::IsOwnItem(TMenuItem* Item) const {
  return Item && FindItem(Item->Command(), fkCommand) == Item;
}

bool TRxPopupMenu::IsTopLevel(TMenuItem* Item) const {
  return Item->Parent() == Items();
}

Integer TRxPopupMenu::ImageColumnWidth() const {
  Integer column = Integer(minTextOffset_);
  if (images_) column = ::Max(column, images_->Width() + 2);
  return column;
}

void TRxPopupMenu::HandleMenuMessage(TMessage& Message, bool& Handled) {
  if (!NeedsOwnerDraw()) return;
  if (Message.Msg != WM_MEASUREITEM && Message.Msg != WM_DRAWITEM) return;
  // Both records start with the control type and id, then the item id.
  auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
  if (!mis || mis->CtlType != ODT_MENU) return;
  TMenuItem* item = FindItem(mis->itemID, fkCommand);
  if (!item) return;
  if (Message.Msg == WM_MEASUREITEM) {
    mis->itemData = reinterpret_cast<UINT_PTR>(item);
    WMMeasureItem(Message);
  } else {
    auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
    dis->itemData = reinterpret_cast<UINT_PTR>(item);
    WMDrawItem(Message);
  }
  Message.Result = 1;
  Handled = true;
}

// ---------------------------------------------------------------------------------------
// Measuring.

void TRxPopupMenu::DoMeasureItem(TMenuItem* Item, Integer& Width, Integer& Height) {
  if (OnMeasureItem) OnMeasureItem(this, Item, Width, Height);
}

void TRxPopupMenu::DoGetItemParams(TMenuItem* Item, TMenuOwnerDrawState State, TFont* AFont,
                                   TColor& Color, TGraphic*& Graphic, Integer& NumGlyphs) {
  if (OnGetItemParams) OnGetItemParams(this, Item, State, AFont, Color, Graphic, NumGlyphs);
  if (Item && Item->IsLine()) Graphic = nullptr;
}

void TRxPopupMenu::DoGetImageIndex(TMenuItem* Item, TMenuOwnerDrawState State,
                                   Integer& ImageIndex) {
  if (OnGetImageIndex && images_ && Item && !Item->IsLine())
    OnGetImageIndex(this, Item, State, ImageIndex);
}

Integer TRxPopupMenu::ItemTextWidth(TMenuItem* Item) {
  TCanvas* c = drawCanvas_.get();
  auto widths = [&](TMenuItem* i, Integer& cap, Integer& key) {
    cap = CaptionWidth(c, i);
    key = TabbedWidth(c, ShortCutToText(i->ShortCut()) + " ");
  };
  Integer capW, keyW;
  widths(Item, capW, keyW);
  // Items with shortcuts line their shortcut texts up across the level.
  if (TMenuItem* parent = Item->Parent(); parent && Item->ShortCut() != 0) {
    for (Integer i = 0; i < parent->Count(); ++i) {
      Integer cw, kw;
      widths(parent->Items(i), cw, kw);
      capW = ::Max(capW, cw);
      keyW = ::Max(keyW, kw);
    }
  }
  Integer w = capW + keyW;
  if (Item->Count() > 0) w += TabbedWidth(c, kTwoTabs);
  return w;
}

void TRxPopupMenu::ComputeItemSize(TMenuItem* Item, TGraphic* Graphic, Integer NumGlyphs,
                                   Integer ImageIndex, Integer& Width, Integer& Height) {
  TCanvas* c = drawCanvas_.get();
  Height = DefaultItemHeight();
  Width = 2 * CheckGap();
  Integer column = ImageColumnWidth();
  Width += ItemTextWidth(Item);
  if (showCheckMarks_) Width += CheckWidth();
  if (Item->IsLine()) {
    Height = ::Max(c->TextHeight("-") / 2, 9);
    return;
  }
  if (!Item->Caption().empty()) Height = ::Max(Height, c->TextHeight(Item->Caption()));
  if (images_) {
    Width += column;
    if (ImageIndex >= 0 && ImageIndex < images_->Count())
      Height = ::Max(Height, images_->Height() + 4);
    return;
  }
  if (Graphic && !Graphic->Empty()) {
    Integer gw = Graphic->Width(), gh = Graphic->Height();
    if (dynamic_cast<TBitmap*>(Graphic) && NumGlyphs >= 2 && NumGlyphs <= 5) gw /= NumGlyphs;
    if (auto* icon = dynamic_cast<TIcon*>(Graphic))
      MeasureIcon(CopyIconNativeSize(icon).get(), gw, gh);
    Width += ::Max(gw + 2, column);
    Height = ::Max(Height, gh + 4);
    return;
  }
  if (column > 0) Width += column;
}

void TRxPopupMenu::WMMeasureItem(TMessage& Message) {
  auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
  TMenuItem* item = reinterpret_cast<TMenuItem*>(mis->itemData);
  if (!IsOwnItem(item)) return;
  HDC dc = GetDC(0);
  drawCanvas_->SetHandle(dc);
  TFinally release{[&] {
    drawCanvas_->SetHandle(nullptr);
    ReleaseDC(0, dc);
  }};
  TFont* font = drawCanvas_->Font();
  ApplyMenuFont(font);
  if (item->Default()) AddBold(font);
  TGraphic* graphic = nullptr;
  TColor color = drawCanvas_->Brush()->Color();
  Integer glyphs = 1;
  DoGetItemParams(item, {}, font, color, graphic, glyphs);
  Integer index = item->ImageIndex();
  DoGetImageIndex(item, {}, index);
  Integer w = 0, h = 0;
  ComputeItemSize(item, graphic, glyphs, index, w, h);
  DoMeasureItem(item, w, h);
  if (IsTopLevel(item)) w += Integer(leftMargin_) + 1;
  mis->itemWidth = UINT(::Max(w, 0));
  mis->itemHeight = UINT(::Max(h, 0));
}

// ---------------------------------------------------------------------------------------
// Drawing.

void TRxPopupMenu::WMDrawItem(TMessage& Message) {
  auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
  TMenuItem* item = reinterpret_cast<TMenuItem*>(dis->itemData);
  if (!IsOwnItem(item)) return;
  HDC dc = dis->hDC;
  int saved = SaveDC(dc);
  drawCanvas_->SetHandle(dc);
  TFinally release{[&] {
    drawCanvas_->SetHandle(nullptr);
    RestoreDC(dc, saved);
  }};
  const bool top = IsTopLevel(item);
  if (top && leftMargin_ > 0 && dis->itemAction == ODA_DRAWENTIRE) {
    RECT clip{};
    GetClipBox(dc, &clip);
    PaintMargin(Rect(0, clip.top, Integer(leftMargin_), clip.bottom));
  }
  TCanvas* c = drawCanvas_.get();
  ApplyMenuFont(c->Font());
  c->Font()->SetColor(clMenuText);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clMenu);
  if (dis->itemState & ODS_DEFAULT) AddBold(c->Font());
  if ((dis->itemState & ODS_SELECTED) && style_ != msBtnLowered && style_ != msBtnRaised) {
    c->Brush()->SetColor(clHighlight);
    c->Font()->SetColor(clHighlightText);
  }
  TRect r = Rect(dis->rcItem.left, dis->rcItem.top, dis->rcItem.right, dis->rcItem.bottom);
  if (top) r.Left += Integer(leftMargin_) + 1;
  IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
  PaintItem(item, r, TMenuOwnerDrawState::FromBits(dis->itemState & 0xFF));
}

// One item's picture: frame, check mark, image column, caption or separator.
struct TRxPopupMenu::TRender {
  TRxPopupMenu* menu;
  TCanvas* c;
  TMenuItem* item;
  TGraphic* graphic;
  Integer numGlyphs;
  TFrameKind frame;
  TRect r;
  TMenuOwnerDrawState state;
  Integer imageIndex;

  bool selected = false, disabled = false, pressedLook = false, emboss = false;
  bool nearestEqual = false;
  TColor shade = clBtnShadow;
  Integer cw = 0, ch = 0, x = 0;

  void Run() {
    TImageList* images = menu->images_;
    const bool checks = menu->showCheckMarks_;
    selected = state.Contains(odSelected);
    disabled = state.Contains(odDisabled);
    pressedLook = item->Checked() && !checks && frame == fkNone;
    nearestEqual = GetNearestColor(c->Handle(), ColorToRGB(clGrayText)) ==
                   GetNearestColor(c->Handle(), ColorToRGB(clHighlight));
    emboss = !selected || frame != fkNone || nearestEqual;
    shade = selected && frame == fkNone ? clGrayText : clBtnShadow;
    cw = checks ? CheckWidth() : 2;
    ch = checks ? CheckHeight() : 0;
    x = 2 * CheckGap() + cw;

    if (frame != fkNone && selected) {
      Frame3D(c, r, frame == fkLowered ? clBtnShadow : clBtnHighlight,
              frame == fkLowered ? clBtnHighlight : clBtnShadow);
      r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    if (checks && item->Checked())
      DrawCheckImage(r.Left + (x - cw) / 2, (r.Top + r.Bottom - ch) / 2);
    Integer column = menu->ImageColumnWidth();
    const bool hasGraphic = graphic && !graphic->Empty() && !item->IsLine();
    if (!checks && (graphic || column > 0)) x = CheckGap();

    if (images && imageIndex >= 0 && imageIndex < images->Count()) {
      Integer w = ::Max(images->Width() + 2, column);
      Box(w);
      Integer ix = r.Left + x + (w - images->Width()) / 2;
      Integer iy = (r.Top + r.Bottom - images->Height()) / 2;
      if (disabled)
        DrawImageEmbossed(images, c, ix, iy, imageIndex, shade, clBtnHighlight, emboss);
      else
        images->Draw(c, ix, iy, imageIndex);
      x += w + CheckGap();
    } else if (hasGraphic) {
      DrawGraphicColumn(column);
    } else if (column > 0) {
      Box(column);
      if (pressedLook)
        DrawCheckImage(r.Left + x - 1 + 2 + (column - CheckWidth()) / 2,
                       (r.Top + r.Bottom - CheckHeight()) / 2 + 1);
      x += column + CheckGap();
    }
    if (item->IsLine())
      DrawSeparator();
    else
      DrawCaption();
  }

  // The image column's box: from one pixel left of X, W + 2 wide, as high as the item.
  void Box(Integer w) {
    if (pressedLook) PressedBackground(Bounds(r.Left + x - 1, r.Top, w + 2, HeightOf(r)));
  }

  void PressedBackground(const TRect& box) {
    TRect b{box.Left, box.Top + 1, box.Right, box.Bottom - 1};
    TColor brush = c->Brush()->Color();
    if (!selected) {
      TColor menuRgb = ColorToRGB(clMenu), light = ColorToRGB(clBtnHighlight);
      for (Integer py = b.Top; py < b.Bottom; ++py)
        for (Integer px = b.Left; px < b.Right; ++px)
          c->SetPixels(px, py, ((px + py) & 1) ? light : menuRgb);
    } else {
      c->Brush()->SetColor(clMenu);
      c->FillRect(b);
    }
    c->Brush()->SetColor(brush);
    Frame3D(c, b, shade, clBtnHighlight);
  }

  void DrawGraphicColumn(Integer column) {
    auto* bmp = dynamic_cast<TBitmap*>(graphic);
    auto* icon = dynamic_cast<TIcon*>(graphic);
    const bool cells = bmp && numGlyphs >= 2 && numGlyphs <= 5;
    Integer w = graphic->Width();
    if (cells) w /= numGlyphs;
    w = ::Max(w + 2, column);
    const Integer midY = r.Top + r.Bottom;
    if (bmp && !cells) {
      Box(w);
      DrawGlyph(bmp, r.Left + x + (w - bmp->Width()) / 2, (midY - bmp->Height()) / 2, disabled,
                pressedLook);
    } else if (cells) {
      Box(w);
      Integer cell = disabled ? 1 : state.Contains(odChecked) ? 3 : selected ? 2 : 0;
      if (cell > numGlyphs - 1) cell = 0;
      TBitmap one;
      ExtractGridCell(bmp, &one, numGlyphs, 1, cell);
      DrawGlyph(&one, r.Left + x + (w - one.Width()) / 2, (midY - one.Height()) / 2, false,
                pressedLook);
    } else if (icon) {
      std::unique_ptr<TIcon> copy = CopyIconNativeSize(icon);
      Integer iw = 0, ih = 0;
      MeasureIcon(copy.get(), iw, ih);
      w = ::Max(iw + 2, column);
      Box(w);
      c->Draw(r.Left + x + (w - iw) / 2, (midY - ih) / 2, copy.get());
    } else {
      Box(w);
      c->Draw(r.Left + x + (w - graphic->Width()) / 2, (midY - graphic->Height()) / 2, graphic);
    }
    x += w + CheckGap();
  }

  void DrawCheckImage(Integer gx, Integer gy) {
    TBitmap check;
    check.SetSize(CheckWidth(), CheckHeight());
    RECT rc{0, 0, CheckWidth(), CheckHeight()};
    DrawFrameControl(check.Canvas()->Handle(), &rc, DFC_MENU,
                     item->RadioItem() ? DFCS_MENUBULLET : DFCS_MENUCHECK);
    check.SetMonochrome(true);
    DrawGlyph(&check, gx, gy, disabled, pressedLook);
  }

  void DrawGlyph(TBitmap* b, Integer gx, Integer gy, bool isDisabled, bool pressed) {
    if (isDisabled) {
      TColor shade2 = selected ? clGrayText : clBtnShadow;
      bool emboss2 = !selected || nearestEqual;
      if (b->Monochrome()) {
        TColor brush = c->Brush()->Color();
        if (emboss2) PaintThroughMask(c, gx + 1, gy + 1, b, clBtnHighlight);
        PaintThroughMask(c, gx, gy, b, shade2);
        c->Brush()->SetColor(brush);
      } else {
        std::unique_ptr<TBitmap> d =
            MakeDisabledImage(b, clBlack, clMenu, clBtnHighlight, shade2, emboss2);
        DrawBitmapKeyed(c, gx, gy, d.get(), clMenu);
      }
      return;
    }
    if (b->Monochrome() && !pressed) {
      // Copied as it is: black takes the text colour, white the background colour.
      TColor ink = ColorToRGB(c->Font()->Color()), paper = ColorToRGB(c->Brush()->Color());
      for (Integer py = 0; py < b->Height(); ++py)
        for (Integer px = 0; px < b->Width(); ++px)
          c->SetPixels(gx + px, gy + py,
                       (b->Canvas()->Pixels(px, py) & 0xFFFFFF) == 0 ? ink : paper);
      return;
    }
    DrawBitmapKeyed(c, gx, gy, b, b->TransparentColor() & ~0x02000000u);
  }

  void DrawCaption() {
    Integer tw = CaptionWidth(c, item);
    if (TMenuItem* parent = item->Parent(); parent && item->ShortCut() != 0)
      for (Integer i = 0; i < parent->Count(); ++i)
        tw = ::Max(tw, CaptionWidth(c, parent->Items(i)));
    c->Brush()->SetStyle(bsClear);
    Integer y = (r.Top + r.Bottom - c->TextHeight("Ay")) / 2;
    WriteText(item->Caption(), r.Left + x, y);
    if (item->ShortCut() != 0 && item->Count() == 0)
      WriteText(ShortCutToText(item->ShortCut()), r.Left + x + tw, y);
  }

  void WriteText(const String& text, Integer tx, Integer ty) {
    if (text.empty()) return;
    HDC dc = c->Handle();
    const UINT flags = DT_SINGLELINE | DT_EXPANDTABS;
    RECT box{tx, ty, r.Right, r.Bottom};
    if (disabled) {
      if (emboss) {
        c->Font()->SetColor(clBtnHighlight);
        RECT moved{tx + 1, ty + 1, r.Right + 1, r.Bottom + 1};
        DrawTextA(dc, text.c_str(), -1, &moved, flags);
      }
      c->Font()->SetColor(shade);
    }
    DrawTextA(dc, text.c_str(), -1, &box, flags);
  }

  void DrawSeparator() {
    Integer ym = (r.Top + r.Bottom) / 2 - 1;
    c->Pen()->SetWidth(1);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(clBtnShadow);
    c->MoveTo(r.Left, ym);
    c->LineTo(r.Right, ym);
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(r.Left, ym + 1);
    c->LineTo(r.Right, ym + 1);
  }
};

void TRxPopupMenu::PaintItem(TMenuItem* Item, const TRect& Rect, TMenuOwnerDrawState State) {
  TCanvas* c = drawCanvas_.get();
  if (!c->HandleAllocated()) return;
  TGraphic* graphic = nullptr;
  TColor color = c->Brush()->Color();
  Integer glyphs = 1;
  DoGetItemParams(Item, State, c->Font(), color, graphic, glyphs);
  if (color != clNone) {
    c->Brush()->SetColor(color);
    c->FillRect(Rect);
  }
  if (OnDrawItem) {
    OnDrawItem(this, Item, Rect, State);
    return;
  }
  Integer index = Item->ImageIndex();
  DoGetImageIndex(Item, State, index);
  TFrameKind frame = style_ == msBtnLowered ? fkLowered : style_ == msBtnRaised ? fkRaised : fkNone;
  TRender{this, c, Item, graphic, glyphs, frame, Rect, State, index}.Run();
}

void TRxPopupMenu::PaintMargin(const TRect& Rect) {
  if (OnDrawMargin) {
    OnDrawMargin(this, Rect);
    return;
  }
  TCanvas* c = drawCanvas_.get();
  TColor base = ColorToRGB(MarginBaseColor);
  TColor end =
      ((base & 0xFF) / 4) | ((((base >> 8) & 0xFF) / 4) << 8) | ((((base >> 16) & 0xFF) / 4) << 16);
  PaintColorRamp(c, {Rect.Left, Rect.Top, Rect.Right - 3, Rect.Bottom}, base, end, 0, 32);
  c->Pen()->SetWidth(1);
  c->Pen()->SetColor(clBtnShadow);
  c->MoveTo(Rect.Right - 2, Rect.Top);
  c->LineTo(Rect.Right - 2, Rect.Bottom);
  c->Pen()->SetColor(clBtnHighlight);
  c->MoveTo(Rect.Right - 1, Rect.Top);
  c->LineTo(Rect.Right - 1, Rect.Bottom);
}
