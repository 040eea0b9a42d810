// Menus: items, the popup menu, and the platform's menu calls the library draws itself.
//
// A popup menu is shown by TrackPopupMenu with an owner window. That window hears the
// platform's menu messages: WM_INITMENUPOPUP before a (sub-)menu opens, WM_MENUSELECT as
// items are highlighted (and with flags 0xFFFF, menu 0, when the menu closes),
// WM_MEASUREITEM and WM_DRAWITEM for each item of an owner-drawn menu, WM_MENUCHAR for a
// typed character that underlines no entry (any character, when the entries are drawn by
// the owner: their text is not known), WM_HELP for F1, and the chosen command as a posted
// WM_COMMAND. TPopupMenu::Popup uses a hidden window of the library
// that hands the command to the item (OnClick). GUI thread only.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/Gdi.h"

// Key and modifiers of a menu shortcut in one word.
using TShortCut = Word;
constexpr TShortCut scNone = 0;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;
TShortCut ShortCut(Word Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, Word& Key, TShiftState& Shift);
// "Ctrl+S", "Shift+Ctrl+F1", "Del"; empty for none or an unnamed key.
String ShortCutToText(TShortCut ShortCut);
// The caption without its "&" marks ("&&" stays one "&").
String StripHotkey(const String& Text);

constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_OWNERDRAW = 0x0100;
constexpr UINT MF_RADIOCHECK = 0x0200;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_DEFAULT = 0x1000;

constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// Answers to WM_MENUCHAR, in the high word of the result; the low word is the position of
// an entry among the shown ones for MNC_EXECUTE (choose it) and MNC_SELECT (highlight it).
constexpr WORD MNC_IGNORE = 0;
constexpr WORD MNC_CLOSE = 1;
constexpr WORD MNC_EXECUTE = 2;
constexpr WORD MNC_SELECT = 3;

enum TFindItemKind { fkCommand, fkHandle, fkShortCut };
enum TPopupAlignment { paLeft, paRight, paCenter };
enum TTrackButton { tbRightButton, tbLeftButton };

class TMenu;

// Raised for a misuse of the item tree (an item inserted twice).
class EMenuError : public Exception {
 public:
  using Exception::Exception;
};

// One entry of a menu; a caption of "-" makes a separator. Items are owned by their owner
// component (the form) and listed by their parent item; freeing an item frees its
// sub-items.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const String& Caption() const { return caption_; }
  void SetCaption(const String& v) { caption_ = v; }
  // Checking a radio item unchecks the radio items of the same GroupIndex beside it.
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool v) { radioItem_ = v; }
  Byte GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(Byte v) { groupIndex_ = v; }
  // The default item is drawn bold; one per menu level.
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v) { enabled_ = v; }
  // Hidden items are not part of the shown menu (nor of its positions).
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  const String& Hint() const { return hint_; }
  void SetHint(const String& v) { hint_ = v; }
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut v) { shortCut_ = v; }
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer v) { imageIndex_ = v; }
  THelpContext HelpContext() const { return helpContext_; }
  void SetHelpContext(THelpContext v) { helpContext_ = v; }
  bool IsLine() const { return caption_ == "-"; }

  Integer Count() const { return static_cast<Integer>(items_.size()); }
  // A bad index raises EListError.
  TMenuItem* Items(Integer Index) const;
  void Add(TMenuItem* Item);
  void Insert(Integer Index, TMenuItem* Item);
  // Takes the item out of this one without freeing it.
  void Delete(Integer Index);
  void Remove(TMenuItem* Item);
  // Frees every sub-item.
  void Clear();
  Integer IndexOf(TMenuItem* Item) const;
  TMenuItem* Parent() const { return parent_; }
  Integer MenuIndex() const {
    return parent_ ? parent_->IndexOf(const_cast<TMenuItem*>(this)) : -1;
  }
  TMenuItem* Find(const String& ACaption) const;
  // The number WM_COMMAND carries for this item; unique in the program.
  UINT Command() const { return command_; }
  // The handle of the menu that shows this item's sub-items.
  HMENU Handle();
  TMenu* GetParentMenu() const;
  // Runs OnClick when enabled.
  virtual void Click();

  TNotifyEvent OnClick;

  // Library-internal: the menu whose root this is.
  void SetMenu(TMenu* Menu) { menu_ = Menu; }

 private:
  String caption_;
  bool checked_ = false;
  bool radioItem_ = false;
  Byte groupIndex_ = 0;
  bool default_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  String hint_;
  TShortCut shortCut_ = 0;
  Integer imageIndex_ = -1;
  THelpContext helpContext_ = 0;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr;
  UINT command_;
  HMENU handle_ = 0;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  // The root item; its sub-items are the menu's entries.
  TMenuItem* Items() const { return items_; }
  HMENU Handle() { return items_->Handle(); }
  // Owner-drawn menus have every item measured and drawn by the owner window
  // (WM_MEASUREITEM, WM_DRAWITEM).
  bool OwnerDraw() const { return ownerDraw_; }
  virtual void SetOwnerDraw(bool v) { ownerDraw_ = v; }
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode v) {
    biDiMode_ = v;
    parentBiDiMode_ = false;
  }
  bool ParentBiDiMode() const { return parentBiDiMode_; }
  void SetParentBiDiMode(bool v) { parentBiDiMode_ = v; }
  // Right-to-left needs a locale that reads so; this platform's never does.
  bool IsRightToLeft() const { return false; }
  TMenuItem* FindItem(UINT Value, TFindItemKind Kind) const;
  // Runs the click of the item with this command; false when the menu has none.
  bool DispatchCommand(Word ACommand);
  // Runs the click of the item whose sub-menu this is (before it opens).
  bool DispatchPopup(HMENU AMenu);
  // The help topic of the item with this command (ByCommand) or sub-menu handle; an item
  // without one has its parent's. 0 when the menu has no such item.
  THelpContext GetHelpContext(UINT Value, bool ByCommand) const;
  // WM_MENUCHAR for one of this menu's (sub-)menus: the one entry whose underlined letter
  // is the character is chosen; of several, the first is highlighted; otherwise the key
  // is ignored.
  void ProcessMenuChar(TMessage& Message);

 private:
  TMenuItem* items_;
  bool ownerDraw_ = false;
  TBiDiMode biDiMode_ = bdLeftToRight;
  bool parentBiDiMode_ = true;
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;
  TPopupAlignment Alignment() const { return alignment_; }
  void SetAlignment(TPopupAlignment v) { alignment_ = v; }
  TTrackButton TrackButton() const { return trackButton_; }
  void SetTrackButton(TTrackButton v) { trackButton_ = v; }
  // A right click on a control that has this menu pops it up.
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool v) { autoPopup_ = v; }
  // The control that was right-clicked, when the library popped the menu up.
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* v) { popupComponent_ = v; }
  TPoint PopupPoint() const { return popupPoint_; }
  // Shows the menu at the screen point (aligned by Alignment) and returns when it closes;
  // the chosen item's OnClick follows through the message queue.
  virtual void Popup(Integer X, Integer Y);
  TNotifyEvent OnPopup;

 protected:
  virtual void DoPopup(TObject* Sender);
  void SetPopupPoint(const TPoint& P) { popupPoint_ = P; }

 private:
  TPopupAlignment alignment_ = paLeft;
  TTrackButton trackButton_ = tbRightButton;
  bool autoPopup_ = true;
  TComponent* popupComponent_ = nullptr;
  TPoint popupPoint_{-1, -1};
};

// The platform's menu calls.
// Shows the menu until an item is chosen or the menu is dismissed. Answers the command
// with TPM_RETURNCMD (0 for none), else whether it ran.
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                    const RECT* prcRect);
// The sub-menu of the item at a position of the shown entries, or 0.
HMENU GetSubMenu(HMENU hMenu, int nPos);
// Width (low word) and height (high word) of a check mark.
LONG GetMenuCheckMarkDimensions();

// Tests: an open menu as TrackPopupMenu shows it, for a tracker to look at and act on.
class TMenuTracking {
 public:
  virtual ~TMenuTracking() = default;
  virtual HMENU Menu() const = 0;
  // The shown entries, top to bottom.
  virtual Integer Count() const = 0;
  virtual TMenuItem* Item(Integer Index) const = 0;
  // In the menu window's client coordinates.
  virtual TRect ItemRect(Integer Index) const = 0;
  // The menu window on the screen.
  virtual TRect ScreenRect() const = 0;
  virtual TColor Pixel(Integer X, Integer Y) const = 0;
  // Moves the highlight as the pointer would (-1: none).
  virtual void Highlight(Integer Index) = 0;
  // Chooses the entry; an entry with sub-items opens its menu, which the tracker is handed
  // in turn.
  virtual void Choose(Integer Index) = 0;
  // A mouse button let go over the entry, as the user would.
  virtual void Release(Integer Index, TMouseButton Button) = 0;
  // A key pressed while the menu is open, with the character it types (0 for none).
  virtual void Press(Word Key, char Char) = 0;
};
using TMenuTracker = std::function<void(TMenuTracking& Menu)>;
// With a tracker set no menu is shown: the tracker acts for the user, and the menu closes
// when it returns (an empty tracker shows menus again).
void SetMenuTrackerForTesting(TMenuTracker Tracker);
