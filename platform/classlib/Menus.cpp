#include "classlib/Menus.h"

#include <QCursor>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "classlib/ControlsPrivate.h"
#include "classlib/Forms.h"
#include "classlib/GuiPrivate.h"

// ---------------------------------------------------------------------------------------
// Shortcuts.

namespace {

struct TKeyName {
  Word key;
  const char* name;
};
constexpr TKeyName kKeyNames[] = {{VK_BACK, "BkSp"},    {VK_TAB, "Tab"},     {VK_ESCAPE, "Esc"},
                                  {VK_RETURN, "Enter"}, {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"},
                                  {VK_NEXT, "PgDn"},    {VK_END, "End"},     {VK_HOME, "Home"},
                                  {VK_LEFT, "Left"},    {VK_UP, "Up"},       {VK_RIGHT, "Right"},
                                  {VK_DOWN, "Down"},    {VK_INSERT, "Ins"},  {VK_DELETE, "Del"}};

}  // namespace

TShortCut ShortCut(Word Key, TShiftState Shift) {
  if (Key & 0xFF00) return scNone;
  TShortCut s = Key;
  if (Shift.Contains(ssShift)) s |= scShift;
  if (Shift.Contains(ssCtrl)) s |= scCtrl;
  if (Shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

void ShortCutToKey(TShortCut ShortCut, Word& Key, TShiftState& Shift) {
  Key = ShortCut & 0xFF;
  Shift = {};
  if (ShortCut & scShift) Shift.Include(ssShift);
  if (ShortCut & scCtrl) Shift.Include(ssCtrl);
  if (ShortCut & scAlt) Shift.Include(ssAlt);
}

String ShortCutToText(TShortCut ShortCut) {
  Word key = ShortCut & 0xFF;
  String name;
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
    name = String(1, char(key));
  else if (key >= VK_F1 && key <= VK_F12)
    name = "F" + std::to_string(key - VK_F1 + 1);
  else
    for (const TKeyName& k : kKeyNames)
      if (k.key == key) name = k.name;
  if (name.empty()) return String();
  String prefix;
  if (ShortCut & scShift) prefix += "Shift+";
  if (ShortCut & scCtrl) prefix += "Ctrl+";
  if (ShortCut & scAlt) prefix += "Alt+";
  return prefix + name;
}

String StripHotkey(const String& Text) { return StripAccel(Text); }

// ---------------------------------------------------------------------------------------
// Menu items.

namespace {

UINT g_nextCommand = 1;
HMENU g_nextMenu = 0x100;
std::map<HMENU, TMenuItem*> g_menus;

TMenuItem* ItemOfHandle(HMENU h) {
  auto it = g_menus.find(h);
  return it == g_menus.end() ? nullptr : it->second;
}

// The entries a menu shows: its visible sub-items.
std::vector<TMenuItem*> Shown(TMenuItem* menu) {
  std::vector<TMenuItem*> out;
  for (Integer i = 0; i < menu->Count(); ++i)
    if (menu->Items(i)->Visible()) out.push_back(menu->Items(i));
  return out;
}

// The positions of the entries whose underlined letter is ch, whatever its case.
std::vector<int> EntriesUnderlining(const std::vector<TMenuItem*>& entries, char ch) {
  std::vector<int> out;
  const int want = std::toupper(static_cast<unsigned char>(ch));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const String& c = entries[i]->Caption();
    std::size_t a = c.find('&');
    while (a != String::npos && a + 1 < c.size() && c[a + 1] == '&') a = c.find('&', a + 2);
    if (a != String::npos && a + 1 < c.size() &&
        std::toupper(static_cast<unsigned char>(c[a + 1])) == want)
      out.push_back(static_cast<int>(i));
  }
  return out;
}

}  // namespace

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), command_(g_nextCommand++) {
  // Command numbers are 16 bits wide in WM_COMMAND; wrap round past the ones in use.
  if (g_nextCommand > 0xFFFF) g_nextCommand = 1;
}

TMenuItem::~TMenuItem() {
  while (!items_.empty()) {
    TMenuItem* c = items_.back();
    items_.pop_back();
    c->parent_ = nullptr;
    delete c;
  }
  if (parent_) parent_->Remove(this);
  if (handle_) g_menus.erase(handle_);
}

TMenuItem* TMenuItem::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return items_[static_cast<std::size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) {
  Insert(Count(), Item);
}

void TMenuItem::Insert(Integer Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->parent_) throw EMenuError("Menu inserted twice");
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  items_.insert(items_.begin() + Index, Item);
  Item->parent_ = this;
}

void TMenuItem::Delete(Integer Index) {
  TMenuItem* item = Items(Index);
  items_.erase(items_.begin() + Index);
  item->parent_ = nullptr;
}

void TMenuItem::Remove(TMenuItem* Item) {
  Integer i = IndexOf(Item);
  if (i >= 0) Delete(i);
}

void TMenuItem::Clear() {
  while (!items_.empty()) {
    TMenuItem* c = items_.back();
    items_.pop_back();
    c->parent_ = nullptr;
    delete c;
  }
}

Integer TMenuItem::IndexOf(TMenuItem* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<Integer>(it - items_.begin());
}

TMenuItem* TMenuItem::Find(const String& ACaption) const {
  String want = StripHotkey(ACaption);
  for (TMenuItem* i : items_)
    if (AnsiSameText(StripHotkey(i->caption_), want)) return i;
  return nullptr;
}

HMENU TMenuItem::Handle() {
  if (!handle_) {
    handle_ = g_nextMenu++;
    g_menus[handle_] = this;
  }
  return handle_;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->parent_) i = i->parent_;
  return i->menu_;
}

void TMenuItem::SetChecked(bool v) {
  checked_ = v;
  if (v && radioItem_ && parent_)
    for (TMenuItem* s : parent_->items_)
      if (s != this && s->radioItem_ && s->groupIndex_ == groupIndex_) s->checked_ = false;
}

void TMenuItem::SetDefault(bool v) {
  default_ = v;
  if (v && parent_)
    for (TMenuItem* s : parent_->items_)
      if (s != this) s->default_ = false;
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);
}

// ---------------------------------------------------------------------------------------
// Menus.

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(this)) {
  items_->SetMenu(this);
}

TMenu::~TMenu() = default;

TMenuItem* TMenu::FindItem(UINT Value, TFindItemKind Kind) const {
  std::function<TMenuItem*(TMenuItem*)> walk = [&](TMenuItem* m) -> TMenuItem* {
    for (Integer i = 0; i < m->Count(); ++i) {
      TMenuItem* c = m->Items(i);
      bool hit = Kind == fkCommand    ? c->Command() == Value
                 : Kind == fkShortCut ? c->ShortCut() != 0 && c->ShortCut() == Value
                                      : c->Count() > 0 && c->Handle() == Value;
      if (hit) return c;
      if (TMenuItem* d = walk(c)) return d;
    }
    return nullptr;
  };
  if (Kind == fkHandle && items_->Handle() == Value) return items_;
  return walk(items_);
}

bool TMenu::DispatchCommand(Word ACommand) {
  TMenuItem* item = FindItem(ACommand, fkCommand);
  if (!item) return false;
  item->Click();
  return true;
}

bool TMenu::DispatchPopup(HMENU AMenu) {
  TMenuItem* item = FindItem(AMenu, fkHandle);
  if (!item) return false;
  if (item != items_) item->Click();
  return true;
}

THelpContext TMenu::GetHelpContext(UINT Value, bool ByCommand) const {
  for (TMenuItem* item = FindItem(Value, ByCommand ? fkCommand : fkHandle); item;
       item = item->Parent())
    if (item->HelpContext() != 0) return item->HelpContext();
  return 0;
}

void TMenu::ProcessMenuChar(TMessage& Message) {
  Message.Result = MAKELONG(0, MNC_IGNORE);
  TMenuItem* menu = FindItem(HMENU(Message.LParam), fkHandle);
  if (!menu) return;
  std::vector<int> hits = EntriesUnderlining(Shown(menu), char(LOWORD(DWORD(Message.WParam))));
  if (hits.empty()) return;
  Message.Result = MAKELONG(WORD(hits[0]), hits.size() == 1 ? MNC_EXECUTE : MNC_SELECT);
}

// ---------------------------------------------------------------------------------------
// Popup menus and the library's window that owns their popups.

namespace {

std::vector<TPopupMenu*> g_popupMenus;
HWND g_popupWindow = 0;

void PopupWindowProc(TMessage& m) {
  switch (m.Msg) {
    case WM_COMMAND:
      for (TPopupMenu* p : std::vector<TPopupMenu*>(g_popupMenus))
        if (p->DispatchCommand(LOWORD(static_cast<DWORD>(m.WParam)))) return;
      break;
    case WM_INITMENUPOPUP:
      for (TPopupMenu* p : std::vector<TPopupMenu*>(g_popupMenus))
        if (p->DispatchPopup(HMENU(m.WParam))) return;
      break;
    case WM_MENUSELECT: {
      WORD flags = HIWORD(static_cast<DWORD>(m.WParam));
      WORD id = LOWORD(static_cast<DWORD>(m.WParam));
      TMenuItem* item = nullptr;
      for (TPopupMenu* p : g_popupMenus) {
        if (flags == 0xFFFF) break;
        item = (flags & MF_POPUP) ? p->FindItem(GetSubMenu(HMENU(m.LParam), id), fkHandle)
                                  : p->FindItem(id, fkCommand);
        if (item) break;
      }
      Application->SetHint(item ? GetLongHint(item->Hint()) : String());
      return;
    }
    default:
      break;
  }
  m.Result = DefWindowProcA(g_popupWindow, m.Msg, m.WParam, m.LParam);
}

}  // namespace

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {
  if (g_popupMenus.empty() && !g_popupWindow) g_popupWindow = AllocateHWnd(PopupWindowProc);
  g_popupMenus.push_back(this);
}

TPopupMenu::~TPopupMenu() {
  g_popupMenus.erase(std::remove(g_popupMenus.begin(), g_popupMenus.end(), this),
                     g_popupMenus.end());
}

void TPopupMenu::DoPopup(TObject* Sender) {
  if (OnPopup) OnPopup(Sender);
}

void TPopupMenu::Popup(Integer X, Integer Y) {
  popupPoint_ = {X, Y};
  DoPopup(this);
  UINT flags = alignment_ == paRight    ? TPM_RIGHTALIGN
               : alignment_ == paCenter ? TPM_CENTERALIGN
                                        : TPM_LEFTALIGN;
  if (trackButton_ == tbRightButton) flags |= TPM_RIGHTBUTTON;
  TrackPopupMenu(Items()->Handle(), flags, X, Y, 0, g_popupWindow, nullptr);
}

// ---------------------------------------------------------------------------------------
// The menu windows TrackPopupMenu shows.

namespace {

constexpr int kFrame = 3;        // the raised edge round a menu window
constexpr int kCheckWidth = 13;  // the check-mark column
constexpr int kGap = 4;
constexpr int kSeparatorHeight = 9;

TMenuTracker g_tracker;

TFont* MenuFont() {
  static TFont f;
  return &f;
}

struct TMenuRun {
  HWND owner = 0;
  UINT flags = 0;
  UINT chosen = 0;
  bool done = false;
  QEventLoop* loop = nullptr;
};

class TMenuPopup : public QWidget, public TMenuTracking {
 public:
  TMenuPopup(TMenuItem* menu, TMenuRun* run, TMenuPopup* parentPopup)
      : QWidget(nullptr, Qt::Popup), menu_(menu), run_(run), parentPopup_(parentPopup) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    TMenu* m = menu->GetParentMenu();
    ownerDraw_ = m && m->OwnerDraw() && IsWindow(run->owner);
    entries_ = Shown(menu);
    Layout();
    canvas_.AttachSurface(&surface_, {0, 0}, {0, 0, width_, height_});
    Render();
  }
  ~TMenuPopup() override { CloseChild(); }

  void Place(int x, int y, UINT flags) {
    if (flags & TPM_RIGHTALIGN)
      x -= width_;
    else if (flags & TPM_CENTERALIGN)
      x -= width_ / 2;
    int sw = Screen->Width(), sh = Screen->Height();
    if (x + width_ > sw) x = sw - width_;
    if (y + height_ > sh) y = sh - height_;
    left_ = std::max(0, x);
    top_ = std::max(0, y);
    setGeometry(left_, top_, width_, height_);
  }

  // TMenuTracking
  HMENU Menu() const override { return menu_->Handle(); }
  Integer Count() const override { return static_cast<Integer>(entries_.size()); }
  TMenuItem* Item(Integer Index) const override {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return entries_[static_cast<std::size_t>(Index)];
  }
  TRect ItemRect(Integer Index) const override {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
    return rects_[static_cast<std::size_t>(Index)];
  }
  TRect ScreenRect() const override { return Bounds(left_, top_, width_, height_); }
  TColor Pixel(Integer X, Integer Y) const override {
    if (X < 0 || Y < 0 || X >= width_ || Y >= height_) return 0xFFFFFFFFu;
    return PixelToColor(surface_.image.pixel(X, Y));
  }
  void Highlight(Integer Index) override {
    if (Index < -1 || Index >= Count()) ListIndexError(Index);
    if (Index == selected_) return;
    int old = selected_;
    selected_ = Index;
    if (old >= 0) DrawEntry(old, ODA_SELECT);
    if (Index >= 0) {
      DrawEntry(Index, ODA_SELECT);
      TMenuItem* item = entries_[static_cast<std::size_t>(Index)];
      WORD flags = MF_HILITE;
      WORD id = WORD(item->Command());
      if (item->Count() > 0) {
        flags |= MF_POPUP;
        id = WORD(Index);
      }
      if (item->IsLine()) flags |= MF_SEPARATOR;
      if (!item->Enabled()) flags |= MF_GRAYED | MF_DISABLED;
      if (item->Checked()) flags |= MF_CHECKED;
      if (ownerDraw_) flags |= MF_OWNERDRAW;
      SendMessageA(run_->owner, WM_MENUSELECT, MAKEWPARAM(id, flags), LPARAM(menu_->Handle()));
    }
    update();
  }
  void Choose(Integer Index) override {
    TMenuItem* item = Item(Index);
    if (item->IsLine() || !item->Enabled()) return;
    Highlight(Index);
    if (item->Count() > 0) {
      OpenChild(Index);
      return;
    }
    run_->chosen = item->Command();
    Finish();
  }
  void Release(Integer Index, TMouseButton Button) override {
    const TRect& r = ItemRect(Index);
    ReleaseAt(QPoint(left_ + (r.Left + r.Right) / 2, top_ + (r.Top + r.Bottom) / 2),
              Button == mbRight ? Qt::RightButton : Qt::LeftButton);
  }
  void Press(Word Key, char Char) override {
    Guarded(nullptr, [&] { KeyDown(Key, Char); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    surface_.Painted();
    QPainter p(this);
    p.drawImage(0, 0, surface_.image);
  }
  void mouseMoveEvent(QMouseEvent* e) override { PointerAt(e->globalPosition().toPoint()); }
  void mouseReleaseEvent(QMouseEvent* e) override {
    ReleaseAt(e->globalPosition().toPoint(), e->button());
  }
  void keyPressEvent(QKeyEvent* e) override {
    const QString t = e->text();
    const char ch = t.isEmpty() ? 0 : QtCharToAnsi(t.at(0));
    Guarded(nullptr, [&] { KeyDown(QtKeyToVK(e->key()), ch); });
  }
  void hideEvent(QHideEvent*) override {
    // The window system closes a popup on a click elsewhere: that dismisses the whole menu.
    if (!parentPopup_ && !run_->done) Finish();
  }

 private:
  void KeyDown(Word key, char ch) {
    int n = Count();
    switch (key) {
      case VK_DOWN:
      case VK_UP: {
        int step = key == VK_DOWN ? 1 : -1;
        int i = selected_;
        for (int k = 0; k < n; ++k) {
          i = (i + step + n) % n;
          if (!entries_[static_cast<std::size_t>(i)]->IsLine()) break;
        }
        if (n) Highlight(i);
        return;
      }
      case VK_RETURN:
      case VK_RIGHT:
        if (selected_ >= 0) Choose(selected_);
        return;
      case VK_ESCAPE:
      case VK_LEFT:
        if (parentPopup_ || key == VK_ESCAPE) Close();
        return;
      case VK_F1:
        AskForHelp();
        return;
      default:
        if (ch) MenuChar(ch);
    }
  }

  // The underlined letter chooses its entry. The owner is asked when no entry has it, and
  // always when it draws the entries: what they show is not known here.
  void MenuChar(char ch) {
    if (!ownerDraw_) {
      std::vector<int> hits = EntriesUnderlining(entries_, ch);
      if (!hits.empty()) {
        Choose(hits[0]);
        return;
      }
    }
    LRESULT r = SendMessageA(run_->owner, WM_MENUCHAR, MAKEWPARAM(WORD(Byte(ch)), MF_POPUP),
                             LPARAM(menu_->Handle()));
    const int index = LOWORD(DWORD(r));
    switch (HIWORD(DWORD(r))) {
      case MNC_EXECUTE:
        if (index < Count()) Choose(index);
        break;
      case MNC_SELECT:
        if (index < Count()) Highlight(index);
        break;
      case MNC_CLOSE:
        Close();
        break;
      default:
        break;
    }
  }

  void AskForHelp() {
    TMenuPopup* root = this;
    while (root->parentPopup_) root = root->parentPopup_;
    HELPINFO info;
    info.iContextType = HELPINFO_MENUITEM;
    if (selected_ >= 0)
      info.iCtrlId = int(entries_[static_cast<std::size_t>(selected_)]->Command());
    info.hItemHandle = root->menu_->Handle();
    const QPoint at = QCursor::pos();
    info.MousePos = {at.x(), at.y()};
    SendMessageA(run_->owner, WM_HELP, 0, LPARAM(&info));
  }

  // The pointer moved: over an entry it is highlighted (a sub-menu opens); outside, the
  // menu that opened this one follows the pointer, as the window system gives the
  // topmost popup all the mouse input.
  void PointerAt(const QPoint& global) {
    int i = EntryAt(global - QPoint(left_, top_));
    if (i < 0) {
      if (parentPopup_) parentPopup_->PointerAt(global);
      return;
    }
    Guarded(nullptr, [&] {
      Highlight(i);
      TMenuItem* item = entries_[static_cast<std::size_t>(i)];
      if (item->Count() > 0 && item->Enabled()) {
        if (!child_ || child_->menu_ != item) OpenChild(i);
      } else {
        CloseChild();
      }
    });
  }
  void ReleaseAt(const QPoint& global, Qt::MouseButton button) {
    if (button == Qt::RightButton && !(run_->flags & TPM_RIGHTBUTTON)) return;
    int i = EntryAt(global - QPoint(left_, top_));
    if (i < 0) {
      if (parentPopup_) parentPopup_->ReleaseAt(global, button);
      return;
    }
    Guarded(nullptr, [&] { Choose(i); });
  }

  int EntryAt(const QPoint& p) const {
    for (std::size_t i = 0; i < rects_.size(); ++i)
      if (PtInRect(rects_[i], {p.x(), p.y()})) return static_cast<int>(i);
    return -1;
  }

  void ApplyItemFont(TCanvas* c, TMenuItem* item) {
    c->SetFont(MenuFont());
    TFontStyles st = c->Font()->Style();
    if (item->Default()) st.Include(fsBold);
    c->Font()->SetStyle(st);
  }

  TSize Measure(TMenuItem* item, Integer shortcutColumn) {
    if (ownerDraw_) {
      MEASUREITEMSTRUCT mis;
      mis.CtlType = ODT_MENU;
      mis.itemID = item->Command();
      SendMessageA(run_->owner, WM_MEASUREITEM, 0, LPARAM(&mis));
      return {Integer(mis.itemWidth), Integer(mis.itemHeight)};
    }
    if (item->IsLine()) return {0, kSeparatorHeight};
    TCanvas c;
    ApplyItemFont(&c, item);
    Integer w = kGap + kCheckWidth + kGap + c.TextWidth(StripHotkey(item->Caption())) + kGap;
    if (shortcutColumn > 0) w += 2 * kGap + shortcutColumn;
    w += kCheckWidth + kGap;  // the sub-menu arrow's place
    return {w, std::max(GetSystemMetrics(SM_CYMENU) - 2, c.TextHeight("Wg") + 4)};
  }

  void Layout() {
    TCanvas c;
    c.SetFont(MenuFont());
    Integer shortcuts = 0;
    for (TMenuItem* i : entries_)
      if (i->ShortCut())
        shortcuts = std::max(shortcuts, c.TextWidth(ShortCutToText(i->ShortCut())));
    shortcutColumn_ = shortcuts;
    Integer w = 0, y = kFrame;
    std::vector<TSize> sizes;
    for (TMenuItem* i : entries_) {
      TSize s = Measure(i, shortcuts);
      sizes.push_back(s);
      w = std::max(w, s.cx);
    }
    for (const TSize& s : sizes) {
      rects_.push_back({kFrame, y, kFrame + w, y + s.cy});
      y += s.cy;
    }
    width_ = w + 2 * kFrame;
    height_ = y + kFrame;
    if (entries_.empty()) height_ = 2 * kFrame + 4;
    surface_.image = QImage(width_, height_, QImage::Format_RGB32);
  }

  void Render() {
    canvas_.Brush()->SetStyle(bsSolid);
    canvas_.Brush()->SetColor(clMenu);
    canvas_.FillRect({0, 0, width_, height_});
    // Raised edge: light outside top and left, shadow outside bottom and right.
    auto line = [&](TColor col, int x0, int y0, int x1, int y1) {
      canvas_.Pen()->SetColor(col);
      canvas_.MoveTo(x0, y0);
      canvas_.LineTo(x1, y1);
    };
    canvas_.Pen()->SetWidth(1);
    line(cl3DLight, 0, height_ - 1, 0, 0);
    line(cl3DLight, 0, 0, width_ - 1, 0);
    line(clBtnHighlight, 1, height_ - 2, 1, 1);
    line(clBtnHighlight, 1, 1, width_ - 2, 1);
    line(cl3DDkShadow, width_ - 1, 0, width_ - 1, height_);
    line(cl3DDkShadow, 0, height_ - 1, width_, height_ - 1);
    line(clBtnShadow, width_ - 2, 1, width_ - 2, height_ - 1);
    line(clBtnShadow, 1, height_ - 2, width_ - 1, height_ - 2);
    for (int i = 0; i < Count(); ++i) DrawEntry(i, ODA_DRAWENTIRE);
  }

  void DrawEntry(int index, UINT action) {
    TMenuItem* item = entries_[static_cast<std::size_t>(index)];
    const TRect& r = rects_[static_cast<std::size_t>(index)];
    bool selected = index == selected_;
    UINT state = 0;
    if (selected) state |= ODS_SELECTED;
    if (!item->Enabled()) state |= ODS_GRAYED | ODS_DISABLED;
    if (item->Checked()) state |= ODS_CHECKED;
    if (item->Default()) state |= ODS_DEFAULT;
    canvas_.AttachSurface(&surface_, {0, 0}, r);
    ApplyItemFont(&canvas_, item);
    canvas_.Brush()->SetStyle(bsSolid);
    canvas_.Brush()->SetColor(selected && !item->IsLine() ? clHighlight : clMenu);
    canvas_.Font()->SetColor(selected ? clHighlightText : clMenuText);
    if (ownerDraw_) {
      DRAWITEMSTRUCT dis;
      dis.CtlType = ODT_MENU;
      dis.itemID = item->Command();
      dis.itemAction = action;
      dis.itemState = state;
      dis.hwndItem = menu_->Handle();
      dis.hDC = canvas_.Handle();
      dis.rcItem = {r.Left, r.Top, r.Right, r.Bottom};
      SendMessageA(run_->owner, WM_DRAWITEM, 0, LPARAM(&dis));
      // The window system draws the sub-menu arrow of an owner-drawn item itself.
      if (item->Count() > 0) DrawArrow(r, clMenuText);
    } else {
      DrawStandard(item, r, selected);
    }
    canvas_.AttachSurface(&surface_, {0, 0}, {0, 0, width_, height_});
    surface_.widget = this;
    update();
  }

  void DrawStandard(TMenuItem* item, const TRect& r, bool selected) {
    TCanvas& c = canvas_;
    c.FillRect(r);
    if (item->IsLine()) {
      int ym = (r.Top + r.Bottom) / 2 - 1;
      c.Pen()->SetColor(clBtnShadow);
      c.MoveTo(r.Left + 1, ym);
      c.LineTo(r.Right - 1, ym);
      c.Pen()->SetColor(clBtnHighlight);
      c.MoveTo(r.Left + 1, ym + 1);
      c.LineTo(r.Right - 1, ym + 1);
      return;
    }
    TColor text = !item->Enabled() ? clGrayText : selected ? clHighlightText : clMenuText;
    HDC dc = c.Handle();
    if (item->Checked()) {
      TRect g{r.Left + kGap, (r.Top + r.Bottom - kCheckWidth) / 2, r.Left + kGap + kCheckWidth,
              (r.Top + r.Bottom - kCheckWidth) / 2 + kCheckWidth};
      DrawMenuGlyph(&c, g, item->RadioItem() ? DFCS_MENUBULLET : DFCS_MENUCHECK, text);
    }
    int x = r.Left + 2 * kGap + kCheckWidth;
    int th = c.TextHeight("Wg");
    int y = (r.Top + r.Bottom - th) / 2;
    auto write = [&](const String& s, int at, UINT align) {
      RECT box{at, y, r.Right - kCheckWidth - kGap, r.Bottom};
      if (!item->Enabled() && !selected) {
        // Disabled text is embossed: a light copy one pixel down and right.
        c.Font()->SetColor(clBtnHighlight);
        RECT b2{box.left + 1, box.top + 1, box.right + 1, box.bottom + 1};
        DrawTextA(dc, s.c_str(), -1, &b2, DT_SINGLELINE | align);
      }
      c.Font()->SetColor(text);
      DrawTextA(dc, s.c_str(), -1, &box, DT_SINGLELINE | align);
    };
    c.Brush()->SetStyle(bsClear);
    write(item->Caption(), x, DT_LEFT);
    if (item->ShortCut() && item->Count() == 0)
      write(ShortCutToText(item->ShortCut()), x, DT_RIGHT | DT_NOPREFIX);
    if (item->Count() > 0) DrawArrow(r, text);
    c.Brush()->SetStyle(bsSolid);
  }

  void DrawArrow(const TRect& r, TColor color) {
    TRect g{r.Right - kCheckWidth - kGap, (r.Top + r.Bottom - kCheckWidth) / 2, r.Right - kGap,
            (r.Top + r.Bottom - kCheckWidth) / 2 + kCheckWidth};
    DrawMenuGlyph(&canvas_, g, DFCS_MENUARROW, color);
  }

  void OpenChild(int index) {
    CloseChild();
    TMenuItem* item = entries_[static_cast<std::size_t>(index)];
    SendMessageA(run_->owner, WM_INITMENUPOPUP, WPARAM(item->Handle()), MAKELPARAM(WORD(index), 0));
    child_ = new TMenuPopup(item, run_, this);
    const TRect& r = rects_[static_cast<std::size_t>(index)];
    child_->Place(left_ + width_ - kFrame, top_ + r.Top - kFrame, TPM_LEFTALIGN);
    if (g_tracker) {
      TMenuPopup* c = child_;
      g_tracker(*c);
      return;
    }
    child_->show();
  }

  void CloseChild() {
    if (!child_) return;
    TMenuPopup* c = child_;
    child_ = nullptr;
    c->hide();
    c->deleteLater();
  }

  // A sub-menu closes back to the menu that opened it; the outermost ends the menu.
  void Close() {
    if (parentPopup_)
      parentPopup_->CloseChild();
    else
      Finish();
  }

  void Finish() {
    if (run_->done) return;
    run_->done = true;
    TMenuPopup* root = this;
    while (root->parentPopup_) root = root->parentPopup_;
    root->CloseChild();
    if (run_->loop) run_->loop->quit();
  }

  TMenuItem* menu_;
  TMenuRun* run_;
  TMenuPopup* parentPopup_;
  TMenuPopup* child_ = nullptr;
  bool ownerDraw_ = false;
  std::vector<TMenuItem*> entries_;
  std::vector<TRect> rects_;
  Integer shortcutColumn_ = 0;
  int selected_ = -1;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TSurface surface_;
  TCanvas canvas_;
};

}  // namespace

BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
  TMenuItem* menu = ItemOfHandle(hMenu);
  if (!menu) return FALSE;
  EnsureQtApplication();
  TMenuRun run;
  run.owner = hWnd;
  run.flags = uFlags;
  SendMessageA(hWnd, WM_INITMENUPOPUP, WPARAM(hMenu), 0);
  {
    auto popup = std::make_unique<TMenuPopup>(menu, &run, nullptr);
    popup->Place(x, y, uFlags);
    if (g_tracker) {
      g_tracker(*popup);
      run.done = true;
    } else {
      QEventLoop loop;
      run.loop = &loop;
      popup->show();
      if (!run.done) loop.exec();
      run.done = true;
      run.loop = nullptr;
      popup->hide();
    }
  }
  // The menu closed: flags 0xFFFF and no menu, then the command.
  SendMessageA(hWnd, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  if (uFlags & TPM_RETURNCMD) return BOOL(run.chosen);
  if (run.chosen) PostMessageA(hWnd, WM_COMMAND, run.chosen, 0);
  return TRUE;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
  TMenuItem* menu = ItemOfHandle(hMenu);
  if (!menu) return 0;
  std::vector<TMenuItem*> shown = Shown(menu);
  if (nPos < 0 || nPos >= static_cast<int>(shown.size())) return 0;
  TMenuItem* item = shown[static_cast<std::size_t>(nPos)];
  return item->Count() > 0 ? item->Handle() : 0;
}

LONG GetMenuCheckMarkDimensions() {
  return LONG(
      MAKELONG(WORD(GetSystemMetrics(SM_CXMENUCHECK)), WORD(GetSystemMetrics(SM_CYMENUCHECK))));
}

void SetMenuTrackerForTesting(TMenuTracker Tracker) {
  g_tracker = std::move(Tracker);
}
