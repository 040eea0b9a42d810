#include "classlib/ComCtrls.h"

#include <algorithm>

#include "classlib/ControlsPrivate.h"
#include "classlib/GuiPrivate.h"
#include "classlib/StdCtrls.h"

namespace {

// A raised (or, pressed, sunken) button face.
void Face(TCanvas* c, const TRect& r, bool pressed) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(r);
  auto line = [&](TColor col, int x0, int y0, int x1, int y1) {
    c->Pen()->SetColor(col);
    c->MoveTo(x0, y0);
    c->LineTo(x1, y1);
  };
  TColor light = pressed ? clBtnShadow : clBtnHighlight;
  TColor dark = pressed ? clBtnHighlight : cl3DDkShadow;
  line(light, r.Left, r.Bottom - 1, r.Left, r.Top);
  line(light, r.Left, r.Top, r.Right - 1, r.Top);
  line(dark, r.Right - 1, r.Top, r.Right - 1, r.Bottom);
  line(dark, r.Left, r.Bottom - 1, r.Right, r.Bottom - 1);
  if (!pressed) {
    line(clBtnShadow, r.Right - 2, r.Top + 1, r.Right - 2, r.Bottom - 1);
    line(clBtnShadow, r.Left + 1, r.Bottom - 2, r.Right - 1, r.Bottom - 2);
  }
}

// A small filled triangle pointing up (or down) centred in r.
void Arrow(TCanvas* c, const TRect& r, bool up, TColor color) {
  c->Pen()->SetColor(color);
  int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
  int half = std::max(1, std::min(r.Width(), r.Height()) / 4);
  for (int i = 0; i < half; ++i) {
    int y = up ? cy - half / 2 + i : cy + half / 2 - i;
    c->MoveTo(cx - i, y);
    c->LineTo(cx + i + 1, y);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The lists' scroll bar

TRect TVScrollBar::Thumb(const TRect& r, int first, int count, int page) {
  int track = std::max(0, r.Height() - 2 * kWidth);
  int len = count > 0 ? std::max(8, track * page / count) : track;
  len = std::min(len, track);
  int range = std::max(1, count - page);
  int top = r.Top + kWidth + (track - len) * std::clamp(first, 0, range) / range;
  return {r.Left, top, r.Right, top + len};
}

void TVScrollBar::Paint(TCanvas* c, const TRect& r, int first, int count, int page) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clScrollBar);
  c->FillRect(r);
  TRect up{r.Left, r.Top, r.Right, r.Top + kWidth};
  TRect down{r.Left, r.Bottom - kWidth, r.Right, r.Bottom};
  Face(c, up, false);
  Face(c, down, false);
  Arrow(c, up, true, clBtnText);
  Arrow(c, down, false, clBtnText);
  Face(c, Thumb(r, first, count, page), false);
}

int TVScrollBar::Press(const TRect& r, int y, int first, int count, int page, bool& onThumb) {
  onThumb = false;
  int last = std::max(0, count - page);
  if (y < r.Top + kWidth) return std::max(0, first - 1);
  if (y >= r.Bottom - kWidth) return std::min(last, first + 1);
  TRect t = Thumb(r, first, count, page);
  if (y < t.Top) return std::max(0, first - page);
  if (y >= t.Bottom) return std::min(last, first + page);
  onThumb = true;
  return first;
}

int TVScrollBar::FirstForThumb(const TRect& r, int y, int count, int page) {
  TRect t = Thumb(r, 0, count, page);
  int track = std::max(1, r.Height() - 2 * kWidth - t.Height());
  int range = std::max(0, count - page);
  int off = std::clamp(y - (r.Top + kWidth), 0, track);
  return (off * range + track / 2) / track;
}

// ---------------------------------------------------------------------------------------
// TTrackBar

namespace {
constexpr int kThumbLong = 21;   // across the channel
constexpr int kThumbShort = 11;  // along the channel
constexpr int kMargin = 8;
}  // namespace

TTrackBar::TTrackBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetBounds(0, 0, 150, 45);
}

void TTrackBar::SetMin(Integer v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  Invalidate();
  SetPosition(position_);
}

void TTrackBar::SetMax(Integer v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  Invalidate();
  SetPosition(position_);
}

void TTrackBar::SetPosition(Integer v) {
  v = std::clamp(v, min_, max_);
  if (v == position_) return;
  position_ = v;
  Invalidate();
  Changed();
}

void TTrackBar::SetFrequency(Integer v) {
  frequency_ = v;
  Invalidate();
}

void TTrackBar::SetTickStyle(TTickStyle v) {
  tickStyle_ = v;
  Invalidate();
}

void TTrackBar::SetOrientation(TTrackBarOrientation v) {
  orientation_ = v;
  Invalidate();
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

Integer TTrackBar::Length() const {
  Integer along = orientation_ == trHorizontal ? Width() : Height();
  return std::max(1, along - 2 * kMargin - kThumbShort);
}

TRect TTrackBar::ThumbRect() const {
  Integer range = std::max(1, max_ - min_);
  Integer off =
      kMargin + static_cast<Integer>(static_cast<long long>(position_ - min_) * Length() / range);
  if (orientation_ == trHorizontal) return Bounds(off, 4, kThumbShort, kThumbLong);
  return Bounds(4, off, kThumbLong, kThumbShort);
}

Integer TTrackBar::PositionAt(Integer X, Integer Y) const {
  Integer along = (orientation_ == trHorizontal ? X : Y) - kMargin - kThumbShort / 2;
  Integer range = max_ - min_;
  long long p = min_ + (static_cast<long long>(along) * range + Length() / 2) / Length();
  return static_cast<Integer>(std::clamp<long long>(p, min_, max_));
}

void TTrackBar::Paint() {
  TCanvas* c = Canvas();
  bool h = orientation_ == trHorizontal;
  TRect channel =
      h ? TRect{kMargin, 12, Width() - kMargin, 16} : TRect{12, kMargin, 16, Height() - kMargin};
  c->Brush()->SetColor(clWindow);
  c->FillRect(channel);
  c->Pen()->SetColor(clBtnShadow);
  c->MoveTo(channel.Left, channel.Bottom - 1);
  c->LineTo(channel.Left, channel.Top);
  c->LineTo(channel.Right, channel.Top);
  if (tickStyle_ == tsAuto && frequency_ > 0 && max_ > min_) {
    c->Pen()->SetColor(clWindowText);
    for (Integer v = min_;; v += frequency_) {
      if (v > max_) v = max_;
      Integer off =
          kMargin + kThumbShort / 2 +
          static_cast<Integer>(static_cast<long long>(v - min_) * Length() / (max_ - min_));
      if (h) {
        c->MoveTo(off, 4 + kThumbLong + 2);
        c->LineTo(off, 4 + kThumbLong + 5);
      } else {
        c->MoveTo(4 + kThumbLong + 2, off);
        c->LineTo(4 + kThumbLong + 5, off);
      }
      if (v == max_) break;
    }
  }
  Face(c, ThumbRect(), false);
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft) {
    if (CanFocus()) SetFocus();
    if (PtInRect(ThumbRect(), {X, Y})) {
      tracking_ = true;
    } else {
      // A press beside the thumb moves it a page towards the pointer.
      TRect t = ThumbRect();
      bool before = orientation_ == trHorizontal ? X < t.Left : Y < t.Top;
      SetPosition(position_ + (before ? -pageSize_ : pageSize_));
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TTrackBar::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (tracking_) SetPosition(PositionAt(X, Y));
  TCustomControl::MouseMove(Shift, X, Y);
}

void TTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft) tracking_ = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TTrackBar::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_LEFT:
    case VK_UP:
      SetPosition(position_ - lineSize_);
      break;
    case VK_RIGHT:
    case VK_DOWN:
      SetPosition(position_ + lineSize_);
      break;
    case VK_PRIOR:
      SetPosition(position_ - pageSize_);
      break;
    case VK_NEXT:
      SetPosition(position_ + pageSize_);
      break;
    case VK_HOME:
      SetPosition(min_);
      break;
    case VK_END:
      SetPosition(max_);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// TCustomUpDown

TCustomUpDown::TCustomUpDown(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 15, 25);
}

void TCustomUpDown::SetMin(Integer v) {
  min_ = v;
  SetPosition(position_);
}
void TCustomUpDown::SetMax(Integer v) {
  max_ = v;
  SetPosition(position_);
}

Integer TCustomUpDown::Position() const {
  return controlPos_;
}

void TCustomUpDown::SetPosition(Integer v) {
  Integer lo = std::min(min_, max_), hi = std::max(min_, max_);
  v = std::clamp(v, lo, hi);
  position_ = controlPos_ = v;
}

void TCustomUpDown::SetOrientation(TUDOrientation v) {
  orientation_ = v;
  Invalidate();
}

void TCustomUpDown::Click(TUDBtnType Button) {
  if (OnClick) OnClick(this, Button);
}

void TCustomUpDown::Step(bool up) {
  // With Min above Max the arrows count the other way, as the platform's control does.
  bool increase = (min_ <= max_) == up;
  Integer lo = std::min(min_, max_), hi = std::max(min_, max_);
  long long next = static_cast<long long>(controlPos_) + (increase ? increment_ : -increment_);
  if (next > hi)
    next = wrap_ ? lo : hi;
  else if (next < lo)
    next = wrap_ ? hi : lo;
  controlPos_ = static_cast<Integer>(next);
  UINT msg = orientation_ == udVertical ? WM_VSCROLL : WM_HSCROLL;
  LPARAM self = LPARAM(Handle());
  // The end notice carries the position as it is after the first was handled.
  for (WORD code : {SB_THUMBPOSITION, SB_ENDSCROLL}) {
    WPARAM w = MAKEWPARAM(code, WORD(static_cast<short>(controlPos_)));
    if (Parent())
      Parent()->Perform(msg, w, self);
    else
      Perform(CN_BASE + msg, w, self);
  }
}

void TCustomUpDown::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CN_VSCROLL:
    case CN_HSCROLL: {
      WORD code = LOWORD(static_cast<DWORD>(Message.WParam));
      if (code != SB_THUMBPOSITION) return;
      Integer pos = static_cast<short>(HIWORD(static_cast<DWORD>(Message.WParam)));
      Integer old = position_;
      position_ = pos;
      if (pos > old)
        Click(btNext);
      else if (pos < old)
        Click(btPrev);
      return;
    }
    case UDM_SETPOS: {
      Integer old = controlPos_;
      Integer lo = std::min(min_, max_), hi = std::max(min_, max_);
      controlPos_ = position_ = std::clamp<Integer>(
          static_cast<short>(LOWORD(static_cast<DWORD>(Message.LParam))), lo, hi);
      Message.Result = old;
      return;
    }
    case UDM_GETPOS:
      Message.Result = LRESULT(WORD(static_cast<short>(controlPos_)));
      return;
    case UDM_SETRANGE:
      max_ = static_cast<short>(LOWORD(static_cast<DWORD>(Message.LParam)));
      min_ = static_cast<short>(HIWORD(static_cast<DWORD>(Message.LParam)));
      SetPosition(controlPos_);
      return;
    case UDM_GETRANGE:
      Message.Result =
          LRESULT(MAKELONG(WORD(static_cast<short>(max_)), WORD(static_cast<short>(min_))));
      return;
    default:
      TCustomControl::Dispatch(Message);
  }
}

void TCustomUpDown::Paint() {
  TCanvas* c = Canvas();
  bool v = orientation_ == udVertical;
  TRect a = v ? TRect{0, 0, Width(), Height() / 2} : TRect{Width() / 2, 0, Width(), Height()};
  TRect b = v ? TRect{0, Height() / 2, Width(), Height()} : TRect{0, 0, Width() / 2, Height()};
  Face(c, a, pressed_ == 1);
  Face(c, b, pressed_ == -1);
  TColor col = Enabled() ? clBtnText : clGrayText;
  if (v) {
    Arrow(c, a, true, col);
    Arrow(c, b, false, col);
  } else {
    // Horizontal arrows: drawn as small vertical bars pointing right and left.
    c->Pen()->SetColor(col);
    int cy = Height() / 2;
    for (int i = 0; i < 3; ++i) {
      c->MoveTo((a.Left + a.Right) / 2 - 1 + i, cy - 2 + i);
      c->LineTo((a.Left + a.Right) / 2 - 1 + i, cy + 3 - i);
      c->MoveTo((b.Left + b.Right) / 2 + 1 - i, cy - 2 + i);
      c->LineTo((b.Left + b.Right) / 2 + 1 - i, cy + 3 - i);
    }
  }
}

void TCustomUpDown::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  bool up = orientation_ == udVertical ? Y < Height() / 2 : X >= Width() / 2;
  pressed_ = up ? 1 : -1;
  overArrow_ = true;
  Repaint();
  if (!repeat_) {
    repeat_ = new TTimer(this);
    repeat_->OnTimer = [this](TObject*) { RepeatTick(); };
  }
  repeat_->SetInterval(400);
  repeat_->SetEnabled(true);
  Step(up);
}

void TCustomUpDown::RepeatTick() {
  repeat_->SetInterval(100);
  if (pressed_ && overArrow_) Step(pressed_ > 0);
}

void TCustomUpDown::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (pressed_) {
    bool up = orientation_ == udVertical ? Y < Height() / 2 : X >= Width() / 2;
    overArrow_ = PtInRect(ClientRect(), {X, Y}) && up == (pressed_ > 0);
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TCustomUpDown::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft && pressed_) {
    pressed_ = 0;
    if (repeat_) repeat_->SetEnabled(false);
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TCustomUpDown::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (!arrowKeys_) return;
  if (Key == VK_UP || Key == VK_RIGHT)
    Step(true);
  else if (Key == VK_DOWN || Key == VK_LEFT)
    Step(false);
}

// ---------------------------------------------------------------------------------------
// List items and columns

TListItem::TListItem(TListItems* AOwner)
    : owner_(AOwner), subItems_(std::make_unique<TStringList>()) {
  subItems_->OnChange = [this](TObject*) {
    if (TListView* lv = ListView()) lv->ItemChanged(this, false);
  };
}

TListItem::~TListItem() = default;

TListView* TListItem::ListView() const {
  return owner_ ? owner_->Owner() : nullptr;
}

Integer TListItem::Index() const {
  return owner_ ? owner_->IndexOf(this) : -1;
}

void TListItem::SetCaption(const String& v) {
  caption_ = v;
  if (TListView* lv = ListView()) lv->ItemChanged(this, true);
}

void TListItem::SetImageIndex(Integer v) {
  imageIndex_ = v;
  if (TListView* lv = ListView()) lv->ItemChanged(this, false);
}

void TListItem::SetSelected(bool v) {
  if (v == selected_) return;
  selected_ = v;
  if (TListView* lv = ListView()) lv->ItemSelecting(this, v);
}

void TListItem::SetFocused(bool v) {
  if (v == focused_) return;
  focused_ = v;
  if (v)
    if (TListView* lv = ListView()) lv->ItemFocusing(this);
}

TRect TListItem::DisplayRect(TDisplayCode Code) const {
  TListView* lv = ListView();
  Integer i = Index();
  if (!lv || i < 0) return {};
  Integer b = lv->BorderStyle() == bsNone ? 0 : 2;
  Integer rh = lv->RowHeight();
  Integer top = b + lv->HeaderHeight() + (i - lv->topIndex_) * rh;
  Integer all = lv->ColumnsWidth();
  Integer col0 = lv->Columns()->Count() ? lv->Columns()->Items(0)->Width() : all;
  Integer icon = lv->SmallImages() ? lv->SmallImages()->Width() + 2 : 0;
  switch (Code) {
    case drIcon:
      return {b, top, b + icon, top + rh};
    case drLabel:
      return {b + icon, top, b + col0, top + rh};
    case drSelectBounds:
      return {b, top, b + (lv->RowSelect() ? all : col0), top + rh};
    default:
      return {b, top, b + all, top + rh};
  }
}

void TListItem::Delete() {
  if (owner_) owner_->Delete(Index());
}

TListItems::~TListItems() {
  for (TListItem* i : items_) delete i;
}

TListItem* TListItems::Item(Integer Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return items_[static_cast<std::size_t>(Index)];
}

TListItem* TListItems::Add() {
  return Insert(Count());
}

TListItem* TListItems::Insert(Integer Index) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  auto* item = new TListItem(this);
  items_.insert(items_.begin() + Index, item);
  owner_->ItemChanged(item, false);
  return item;
}

void TListItems::Delete(Integer Index) {
  TListItem* item = Item(Index);
  owner_->ItemRemoving(item);
  items_.erase(items_.begin() + Index);
  delete item;
  owner_->ItemChanged(nullptr, false);
}

void TListItems::Clear() {
  BeginUpdate();
  while (!items_.empty()) Delete(Count() - 1);
  EndUpdate();
}

Integer TListItems::IndexOf(const TListItem* Value) const {
  auto it = std::find(items_.begin(), items_.end(), Value);
  return it == items_.end() ? -1 : static_cast<Integer>(it - items_.begin());
}

void TListItems::BeginUpdate() {
  owner_->UpdatesChanged(true);
}
void TListItems::EndUpdate() {
  owner_->UpdatesChanged(false);
}

void TListColumn::Changed() {
  owner_->Owner()->ColumnsChanged();
}
void TListColumn::SetCaption(const String& v) {
  caption_ = v;
  Changed();
}
void TListColumn::SetWidth(Integer v) {
  if (v < minWidth_) v = minWidth_;
  if (maxWidth_ > 0 && v > maxWidth_) v = maxWidth_;
  width_ = std::max(0, v);
  Changed();
}
void TListColumn::SetMinWidth(Integer v) {
  minWidth_ = std::max(0, v);
  if (width_ < minWidth_) SetWidth(minWidth_);
}
void TListColumn::SetMaxWidth(Integer v) {
  maxWidth_ = std::max(0, v);
  if (maxWidth_ > 0 && width_ > maxWidth_) SetWidth(maxWidth_);
}
void TListColumn::SetAlignment(TAlignment v) {
  alignment_ = v;
  Changed();
}
Integer TListColumn::Index() const {
  for (Integer i = 0; i < owner_->Count(); ++i)
    if (owner_->Items(i) == this) return i;
  return -1;
}

TListColumns::~TListColumns() = default;

TListColumn* TListColumns::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return columns_[static_cast<std::size_t>(Index)].get();
}
TListColumn* TListColumns::Add() {
  columns_.push_back(std::make_unique<TListColumn>(this));
  owner_->ColumnsChanged();
  return columns_.back().get();
}
void TListColumns::Clear() {
  columns_.clear();
  owner_->ColumnsChanged();
}

// ---------------------------------------------------------------------------------------
// TListView

TListView::TListView(TComponent* AOwner)
    : TCustomControl(AOwner),
      items_(std::make_unique<TListItems>(this)),
      columns_(std::make_unique<TListColumns>(this)) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 250, 150);
}

TListView::~TListView() {
  // The items go first: nothing may call back into a half-destroyed list.
  updating_ = 1;
  items_.reset();
}

void TListView::Invalidate() {
  if (updating_) return;
  TCustomControl::Invalidate();
}

void TListView::UpdatesChanged(bool Updating) {
  if (Updating) {
    ++updating_;
    return;
  }
  if (updating_ == 0) return;
  if (--updating_ > 0) return;
  if (sortPending_) {
    sortPending_ = false;
    AlphaSort();
  }
  topIndex_ = std::clamp(topIndex_, 0, std::max(0, items_->Count() - VisibleRows()));
  Invalidate();
}

void TListView::SetMultiSelect(bool v) {
  multiSelect_ = v;
  if (!v) {
    TListItem* first = Selected();
    for (TListItem* i : items_->items_)
      if (i != first) i->selected_ = false;
  }
  Invalidate();
}
void TListView::SetRowSelect(bool v) {
  rowSelect_ = v;
  Invalidate();
}
void TListView::SetHideSelection(bool v) {
  hideSelection_ = v;
  Invalidate();
}
void TListView::SetShowColumnHeaders(bool v) {
  showColumnHeaders_ = v;
  Invalidate();
}
void TListView::SetBorderStyle(TBorderStyle v) {
  borderStyle_ = v;
  Invalidate();
}

void TListView::SetSmallImages(TImageList* v) {
  if (smallImages_) smallImages_->RemoveFreeNotification(this);
  smallImages_ = v;
  if (v) v->FreeNotification(this);
  Invalidate();
}

void TListView::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == smallImages_) {
    smallImages_ = nullptr;
    Invalidate();
  }
}

void TListView::SetSortType(TSortType v) {
  sortType_ = v;
  if (v != stNone) AlphaSort();
}

TListItem* TListView::Selected() const {
  for (TListItem* i : items_->items_)
    if (i->selected_) return i;
  return nullptr;
}

void TListView::SetSelected(TListItem* v) {
  selecting_ = true;
  for (TListItem* i : std::vector<TListItem*>(items_->items_))
    if (i != v) i->SetSelected(false);
  selecting_ = false;
  if (v) v->SetSelected(true);
}

Integer TListView::SelCount() const {
  return static_cast<Integer>(std::count_if(items_->items_.begin(), items_->items_.end(),
                                            [](TListItem* i) { return i->selected_; }));
}

TListItem* TListView::ItemFocused() const {
  for (TListItem* i : items_->items_)
    if (i->focused_) return i;
  return nullptr;
}

void TListView::SetItemFocused(TListItem* v) {
  if (v)
    v->SetFocused(true);
  else if (TListItem* f = ItemFocused())
    f->SetFocused(false);
  Invalidate();
}

void TListView::ClearSelection() {
  SetSelected(nullptr);
}

TListItem* TListView::TopItem() const {
  return topIndex_ < items_->Count() ? items_->Item(topIndex_) : nullptr;
}

TListItem* TListView::GetNextItem(TListItem* StartItem, TItemStates States) const {
  Integer from = StartItem ? items_->IndexOf(StartItem) + 1 : 0;
  for (Integer i = from; i < items_->Count(); ++i) {
    TListItem* it = items_->Item(i);
    if ((States.Contains(isSelected) && it->selected_) ||
        (States.Contains(isFocused) && it->focused_) || States.Empty() ||
        States == TItemStates{isNone})
      return it;
  }
  return nullptr;
}

Integer TListView::RowHeight() const {
  TCanvas c;
  c.SetFont(Font());
  Integer h = c.TextHeight("Wg") + 3;
  if (smallImages_) h = std::max(h, smallImages_->Height() + 1);
  return h;
}

Integer TListView::HeaderHeight() const {
  if (!showColumnHeaders_ || viewStyle_ != vsReport) return 0;
  TCanvas c;
  c.SetFont(Font());
  return c.TextHeight("Wg") + 6;
}

Integer TListView::ColumnsWidth() const {
  Integer w = 0;
  for (Integer i = 0; i < columns_->Count(); ++i) w += columns_->Items(i)->Width();
  return columns_->Count() ? w : ClientWidth();
}

Integer TListView::VisibleRows() const {
  Integer b = borderStyle_ == bsNone ? 0 : 2;
  return std::max(1, (ClientHeight() - 2 * b - HeaderHeight()) / std::max(1, RowHeight()));
}

bool TListView::ScrollShown() const {
  return TVScrollBar::Needed(items_->Count(), VisibleRows());
}

TRect TListView::ScrollRect() const {
  Integer b = borderStyle_ == bsNone ? 0 : 2;
  return {ClientWidth() - b - TVScrollBar::kWidth, b, ClientWidth() - b, ClientHeight() - b};
}

void TListView::SetTop(Integer index) {
  topIndex_ = std::clamp(index, 0, std::max(0, items_->Count() - VisibleRows()));
  Invalidate();
}

bool TListView::DragStartsAt(Integer X, Integer Y) {
  return !(ScrollShown() && PtInRect(ScrollRect(), {X, Y}));
}

TListItem* TListView::GetItemAt(Integer X, Integer Y) const {
  Integer b = borderStyle_ == bsNone ? 0 : 2;
  Integer y = Y - b - HeaderHeight();
  if (y < 0 || X < b || X >= b + ColumnsWidth()) return nullptr;
  if (ScrollShown() && X >= ScrollRect().Left) return nullptr;
  Integer i = topIndex_ + y / std::max(1, RowHeight());
  return i < items_->Count() ? items_->Item(i) : nullptr;
}

void TListView::EnsureVisible(Integer index) {
  if (index < topIndex_)
    SetTop(index);
  else if (index >= topIndex_ + VisibleRows())
    SetTop(index - VisibleRows() + 1);
}

void TListView::ItemChanged(TListItem* Item, bool CaptionChanged) {
  if (Item && CaptionChanged && (sortType_ == stText || sortType_ == stBoth)) {
    if (updating_)
      sortPending_ = true;
    else
      AlphaSort();
  }
  Invalidate();
}

void TListView::ItemSelecting(TListItem* Item, bool Selected) {
  if (Selected && !multiSelect_ && !selecting_) {
    for (TListItem* i : std::vector<TListItem*>(items_->items_)) {
      if (i == Item || !i->selected_) continue;
      i->selected_ = false;
      if (OnSelectItem) OnSelectItem(this, i, false);
    }
  }
  if (OnSelectItem) OnSelectItem(this, Item, Selected);
  Invalidate();
}

void TListView::ItemFocusing(TListItem* Item) {
  for (TListItem* i : items_->items_)
    if (i != Item) i->focused_ = false;
  Invalidate();
}

void TListView::ItemRemoving(TListItem* Item) {
  if (collapseTo_ == Item) collapseTo_ = nullptr;
  Integer i = items_->IndexOf(Item);
  if (i >= 0 && anchor_ >= i) anchor_ = anchor_ == i ? -1 : anchor_ - 1;
}

Integer TListView::CompareItems(TListItem* a, TListItem* b) {
  if (OnCompare) {
    Integer c = 0;
    OnCompare(this, a, b, 0, c);
    return c;
  }
  return lstrcmpA(a->caption_.c_str(), b->caption_.c_str());
}

void TListView::Sort(const std::function<Integer(TListItem*, TListItem*)>& compare) {
  // The compare runs on a copy: a handler that changes the list cannot break the sort.
  std::vector<TListItem*> order = items_->items_;
  std::stable_sort(order.begin(), order.end(),
                   [&](TListItem* a, TListItem* b) { return compare(a, b) < 0; });
  if (order.size() == items_->items_.size()) items_->items_ = std::move(order);
  Invalidate();
}

bool TListView::AlphaSort() {
  Sort([this](TListItem* a, TListItem* b) { return CompareItems(a, b); });
  return true;
}

bool TListView::CustomSort(TLVCompare SortProc, Integer Data) {
  if (!SortProc) return AlphaSort();
  Sort([&](TListItem* a, TListItem* b) { return SortProc(a, b, Data); });
  return true;
}

String TListView::TipAt(const TPoint& P) {
  if (OnInfoTip) {
    TListItem* item = GetItemAt(P.x, P.y);
    if (!item) return String();
    String tip;
    OnInfoTip(this, item, tip);
    return tip;
  }
  return TCustomControl::TipAt(P);
}

void TListView::Paint() {
  TCanvas* c = Canvas();
  Integer b = borderStyle_ == bsNone ? 0 : 2;
  if (b) {
    c->Pen()->SetColor(clBtnShadow);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(0, 0, Width(), Height());
    c->Pen()->SetColor(cl3DDkShadow);
    c->Rectangle(1, 1, Width() - 1, Height() - 1);
    c->Brush()->SetStyle(bsSolid);
  }
  Integer hh = HeaderHeight();
  if (hh) {
    Integer x = b;
    for (Integer i = 0; i < columns_->Count(); ++i) {
      TListColumn* col = columns_->Items(i);
      TRect r{x, b, x + col->Width(), b + hh};
      Face(c, r, false);
      c->SetFont(Font());
      c->Brush()->SetStyle(bsClear);
      c->TextRect({r.Left + 2, r.Top, r.Right - 2, r.Bottom}, r.Left + 6, r.Top + 3,
                  col->Caption());
      c->Brush()->SetStyle(bsSolid);
      x += col->Width();
    }
    if (x < Width() - b) Face(c, {x, b, Width() - b, b + hh}, false);
  }
  bool showSel = !hideSelection_ || Focused();
  for (Integer i = topIndex_; i < items_->Count(); ++i) {
    TListItem* item = items_->Item(i);
    TRect r = item->DisplayRect(drBounds);
    if (r.Top >= ClientHeight() - b) break;
    TCustomDrawState state;
    if (item->selected_ && showSel) state.Include(cdsSelected);
    if (item->focused_ && Focused()) state.Include(cdsFocused);
    if (!Enabled()) state.Include(cdsDisabled);
    c->SetFont(Font());
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    bool defaultDraw = true;
    if (OnCustomDrawItem) OnCustomDrawItem(this, item, state, defaultDraw);
    if (defaultDraw) DrawItemDefault(item, state);
  }
  if (ScrollShown()) TVScrollBar::Paint(c, ScrollRect(), topIndex_, items_->Count(), VisibleRows());
}

void TListView::DrawItemDefault(TListItem* Item, TCustomDrawState State) {
  TCanvas* c = Canvas();
  bool sel = State.Contains(cdsSelected);
  TRect label = Item->DisplayRect(drLabel);
  TRect row = Item->DisplayRect(drBounds);
  TRect selArea = rowSelect_ ? TRect{label.Left, row.Top, row.Right, row.Bottom} : label;
  c->SetFont(Font());
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(row);
  if (sel) {
    c->Brush()->SetColor(clHighlight);
    c->FillRect(selArea);
  }
  if (smallImages_ && Item->imageIndex_ >= 0 && Item->imageIndex_ < smallImages_->Count())
    smallImages_->Draw(c, row.Left + 1, row.Top, Item->imageIndex_);
  Integer ty = row.Top + (row.Height() - c->TextHeight("Wg")) / 2;
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(sel ? clHighlightText : Font()->Color());
  c->TextRect({label.Left, row.Top, label.Right - 2, row.Bottom}, label.Left + 2, ty,
              Item->caption_);
  Integer x = label.Right;
  for (Integer col = 1; col < columns_->Count(); ++col) {
    Integer w = columns_->Items(col)->Width();
    if (col - 1 < Item->subItems_->Count()) {
      c->Font()->SetColor(sel && rowSelect_ ? clHighlightText : Font()->Color());
      c->TextRect({x, row.Top, x + w - 2, row.Bottom}, x + 6, ty,
                  Item->subItems_->Strings(col - 1));
    }
    x += w;
  }
  c->Brush()->SetStyle(bsSolid);
}

void TListView::MoveFocus(Integer index, TShiftState Shift) {
  if (items_->Count() == 0) return;
  index = std::clamp(index, 0, items_->Count() - 1);
  TListItem* item = items_->Item(index);
  if (Shift.Contains(ssCtrl)) {
    // Ctrl moves the focus only; the selection stays.
  } else if (multiSelect_ && Shift.Contains(ssShift) && anchor_ >= 0) {
    Integer lo = std::min(anchor_, index), hi = std::max(anchor_, index);
    for (Integer i = 0; i < items_->Count(); ++i) items_->Item(i)->SetSelected(i >= lo && i <= hi);
  } else {
    SetSelected(item);
    anchor_ = index;
  }
  item->SetFocused(true);
  EnsureVisible(index);
}

void TListView::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (CanFocus()) SetFocus();
  if (ScrollShown() && PtInRect(ScrollRect(), {X, Y})) {
    // The scroll bar is the frame's, not the list's: no selection, no mouse event.
    if (Button != mbLeft) return;
    bool onThumb = false;
    TRect r = ScrollRect();
    Integer first = TVScrollBar::Press(r, Y, topIndex_, items_->Count(), VisibleRows(), onThumb);
    if (onThumb)
      thumbGrab_ = Y - TVScrollBar::Thumb(r, topIndex_, items_->Count(), VisibleRows()).Top;
    else
      SetTop(first);
    return;
  }
  Integer b = borderStyle_ == bsNone ? 0 : 2;
  Integer hh = HeaderHeight();
  collapseTo_ = nullptr;
  if (hh && Y >= b && Y < b + hh) {
    if (Button == mbLeft && columnClick_) {
      Integer x = b;
      for (Integer i = 0; i < columns_->Count(); ++i) {
        TListColumn* col = columns_->Items(i);
        if (X >= x && X < x + col->Width()) {
          if (OnColumnClick) OnColumnClick(this, col);
          break;
        }
        x += col->Width();
      }
    }
  } else {
    TListItem* item = GetItemAt(X, Y);
    Integer index = item ? item->Index() : -1;
    if (Button == mbLeft) {
      if (!item) {
        if (!Shift.Contains(ssCtrl)) ClearSelection();
      } else if (multiSelect_ && Shift.Contains(ssCtrl)) {
        item->SetSelected(!item->selected_);
        anchor_ = index;
      } else if (multiSelect_ && Shift.Contains(ssShift) && anchor_ >= 0) {
        Integer lo = std::min(anchor_, index), hi = std::max(anchor_, index);
        for (Integer i = 0; i < items_->Count(); ++i)
          items_->Item(i)->SetSelected(i >= lo && i <= hi);
      } else if (item->selected_ && SelCount() > 1) {
        // The selection may be about to be dragged: it collapses at the release.
        collapseTo_ = item;
        anchor_ = index;
      } else {
        SetSelected(item);
        anchor_ = index;
      }
      if (item) item->SetFocused(true);
    } else if (Button == mbRight && item) {
      if (!item->selected_) SetSelected(item);
      item->SetFocused(true);
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TListView::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (thumbGrab_ >= 0) {
    SetTop(
        TVScrollBar::FirstForThumb(ScrollRect(), Y - thumbGrab_, items_->Count(), VisibleRows()));
    return;
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TListView::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft && thumbGrab_ >= 0) {
    thumbGrab_ = -1;
    return;
  }
  if (Button == mbLeft && collapseTo_) {
    TListItem* item = collapseTo_;
    collapseTo_ = nullptr;
    SetSelected(item);
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TListView::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  TListItem* f = ItemFocused();
  Integer i = f ? f->Index() : -1;
  switch (Key) {
    case VK_UP:
      MoveFocus(i < 0 ? 0 : i - 1, Shift);
      break;
    case VK_DOWN:
      MoveFocus(i + 1, Shift);
      break;
    case VK_HOME:
      MoveFocus(0, Shift);
      break;
    case VK_END:
      MoveFocus(items_->Count() - 1, Shift);
      break;
    case VK_PRIOR:
      MoveFocus(i - VisibleRows() + 1, Shift);
      break;
    case VK_NEXT:
      MoveFocus(i + VisibleRows() - 1, Shift);
      break;
    default:
      break;
  }
}

void TListView::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_MOUSEWHEEL) {
    short delta = static_cast<short>(HIWORD(static_cast<DWORD>(Message.WParam)));
    SetTop(topIndex_ - delta / 40);
    return;
  }
  TCustomControl::Dispatch(Message);
}
