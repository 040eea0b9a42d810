// A popup menu that can draw its own items: a raised or lowered frame round the selected
// item instead of the highlight bar, images from an image list or per-item graphics,
// check marks, a coloured left margin, and events through which a form changes colours,
// fonts, graphics and sizes or takes the drawing over. With owner drawing off it behaves
// as the class library's popup menu. One hidden window, shared by every instance, owns
// the popups these menus show. GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"

enum TRxMenuStyle : Byte {
  msStandard,    // no owner drawing unless images are present
  msOwnerDraw,   // owner drawing with the highlight bar
  msBtnLowered,  // the selected item gets a lowered frame and keeps the menu colours
  msBtnRaised    // the same with a raised frame
};

// The low byte of an owner-drawn item's state, one bit per value of the class library's
// owner-draw state (selected, grayed, disabled, checked, focused, default, ...).
using TMenuOwnerDrawState = TOwnerDrawState;

using TItemImageEvent = std::function<void(TMenu* Sender, TMenuItem* Item,
                                           TMenuOwnerDrawState State, Integer& ImageIndex)>;
using TDrawMenuItemEvent =
    std::function<void(TMenu* Sender, TMenuItem* Item, TRect Rect, TMenuOwnerDrawState State)>;
using TDrawMarginEvent = std::function<void(TMenu* Sender, TRect Rect)>;
using TItemParamsEvent =
    std::function<void(TMenu* Sender, TMenuItem* Item, TMenuOwnerDrawState State, TFont* AFont,
                       TColor& Color, TGraphic*& Graphic, Integer& NumGlyphs)>;
using TMeasureMenuItemEvent =
    std::function<void(TMenu* Sender, TMenuItem* Item, Integer& Width, Integer& Height)>;

class TRxPopupMenu : public TPopupMenu {
 public:
  explicit TRxPopupMenu(TComponent* AOwner);
  ~TRxPopupMenu() override;

  void Popup(Integer X, Integer Y) override;

  // Shown while an item is highlighted; 0 leaves the cursor alone.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value) { cursor_ = Value; }
  // A band of this many pixels at the left of the top-level items.
  Cardinal LeftMargin() const { return leftMargin_; }
  void SetLeftMargin(Cardinal Value) { leftMargin_ = Value; }
  // The least width of the image column.
  Cardinal MinTextOffset() const { return minTextOffset_; }
  void SetMinTextOffset(Cardinal Value) { minTextOffset_ = Value; }
  TRxMenuStyle Style() const { return style_; }
  void SetStyle(TRxMenuStyle Value);
  bool ShowCheckMarks() const { return showCheckMarks_; }
  void SetShowCheckMarks(bool Value) { showCheckMarks_ = Value; }
  // Not owned; the menu hears when the list changes or goes away.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* Value);
  // Owner drawing is on for any style but msStandard, or with a non-empty image list.
  bool NeedsOwnerDraw() const;
  // Where the menu last popped up (screen coordinates); (-1, -1) before the first time.
  TPoint LastPopupAt() const { return lastPopupAt_; }

  TItemImageEvent OnGetImageIndex;
  TDrawMenuItemEvent OnDrawItem;
  TDrawMarginEvent OnDrawMargin;
  TItemParamsEvent OnGetItemParams;
  TMeasureMenuItemEvent OnMeasureItem;

  // The shared window hands WM_MEASUREITEM and WM_DRAWITEM here; Handled tells whether the
  // menu took the message (only its own items, only while it draws them itself).
  void HandleMenuMessage(TMessage& Message, bool& Handled);

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void PaintItem(TMenuItem* Item, const TRect& Rect, TMenuOwnerDrawState State);
  virtual void PaintMargin(const TRect& Rect);
  virtual void ApplyOwnerDraw(bool Enable);
  virtual void DoMeasureItem(TMenuItem* Item, Integer& Width, Integer& Height);
  virtual void DoGetItemParams(TMenuItem* Item, TMenuOwnerDrawState State, TFont* AFont,
                               TColor& Color, TGraphic*& Graphic, Integer& NumGlyphs);
  virtual void DoGetImageIndex(TMenuItem* Item, TMenuOwnerDrawState State, Integer& ImageIndex);
  void WMMeasureItem(TMessage& Message);
  void WMDrawItem(TMessage& Message);

 private:
  struct TRender;
  bool IsOwnItem(TMenuItem* Item) const;
  bool IsTopLevel(TMenuItem* Item) const;
  void ComputeItemSize(TMenuItem* Item, TGraphic* Graphic, Integer NumGlyphs, Integer ImageIndex,
                       Integer& Width, Integer& Height);
  Integer ItemTextWidth(TMenuItem* Item);
  // The width of the column left of the captions: MinTextOffset, or the images' width and
  // a pixel each side when that is more.
  Integer ImageColumnWidth() const;
  void ImageListChanged(TObject* Sender);

  TRxMenuStyle style_ = msStandard;
  std::unique_ptr<TCanvas> drawCanvas_;
  bool showCheckMarks_ = true;
  Cardinal minTextOffset_ = 0;
  Cardinal leftMargin_ = 0;
  TCursor cursor_ = 0;
  TPoint lastPopupAt_{-1, -1};
  bool savedParentBiDiMode_ = true;
  TImageList* images_ = nullptr;
  std::unique_ptr<TChangeLink> imagesWatch_;
};

// The hidden window that owns the popups of every TRxPopupMenu (0 while none exists).
HWND RxPopupOwnerWindow();
// The start colour of the default margin band: pure blue.
constexpr TColor MarginBaseColor = 0xFF0000;
