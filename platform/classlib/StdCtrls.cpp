#include "classlib/StdCtrls.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>

#include "classlib/ControlsPrivate.h"
#include "classlib/Gdi.h"
#include "classlib/GuiPrivate.h"

// ---------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}

String TLabel::DisplayText() const {
  return showAccelChar_ ? StripAccel(Caption()) : Caption();
}

std::vector<String> TLabel::Lines(TCanvas* c) const {
  String text = DisplayText();
  std::vector<String> lines;
  String cur;
  auto flush = [&] {
    lines.push_back(cur);
    cur.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '\r') continue;
    if (ch == '\n') {
      flush();
      continue;
    }
    cur += ch;
    if (wordWrap_ && c->TextWidth(cur) > Width() && cur.size() > 1) {
      // Break after the last blank that still fits; a word longer than the line stays
      // whole.
      std::size_t sp = cur.find_last_of(' ', cur.size() - 2);
      if (sp != String::npos) {
        String rest = cur.substr(sp + 1);
        cur.resize(sp);
        flush();
        cur = rest;
      }
    }
  }
  flush();
  return lines;
}

void TLabel::AdjustBounds() {
  if (!autoSize_ || wordWrap_) return;
  TCanvas measure;
  measure.SetFont(Font());
  String text = DisplayText();
  int w = 0, h = 0;
  std::size_t start = 0;
  do {
    std::size_t nl = text.find('\n', start);
    String line = text.substr(start, nl == String::npos ? String::npos : nl - start);
    TSize e = measure.TextExtent(line.empty() ? " " : line);
    w = std::max(w, line.empty() ? 0 : e.cx);
    h += e.cy;
    start = nl == String::npos ? String::npos : nl + 1;
  } while (start != String::npos);
  int x = alignment_ == taRightJustify ? Left() + Width() - w : Left();
  SetBounds(x, Top(), w, h);
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!transparent_) {
    c->Brush()->SetColor(Color());
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(r);
  }
  c->Brush()->SetStyle(bsClear);
  c->SetFont(Font());
  std::vector<String> lines = Lines(c);
  int lh = c->TextHeight("Wg");
  int total = lh * int(lines.size());
  int y = layout_ == tlTop      ? 0
          : layout_ == tlCenter ? (r.Height() - total) / 2
                                : r.Height() - total;
  for (const String& line : lines) {
    int w = c->TextWidth(line);
    int x = alignment_ == taLeftJustify    ? 0
            : alignment_ == taRightJustify ? r.Width() - w
                                           : (r.Width() - w) / 2;
    if (!Enabled()) {
      c->Font()->SetColor(clBtnHighlight);
      c->TextOut(x + 1, y + 1, line);
      c->Font()->SetColor(clBtnShadow);
      c->TextOut(x, y, line);
      c->Font()->SetColor(Font()->Color());
    } else {
      c->TextOut(x, y, line);
    }
    y += lh;
  }
}

void TLabel::CMTextChanged(TMessage& Message) {
  AdjustBounds();
  TGraphicControl::CMTextChanged(Message);
}
void TLabel::CMFontChanged(TMessage& Message) {
  AdjustBounds();
  TGraphicControl::CMFontChanged(Message);
}

void TLabel::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}
void TLabel::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  AdjustBounds();
}
void TLabel::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Invalidate();
}
void TLabel::SetLayout(TTextLayout v) {
  if (v == layout_) return;
  layout_ = v;
  Invalidate();
}
void TLabel::SetWordWrap(bool v) {
  if (v == wordWrap_) return;
  wordWrap_ = v;
  AdjustBounds();
  Invalidate();
}
void TLabel::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  AdjustBounds();
  Invalidate();
}

// ---------------------------------------------------------------------------------------
// TCustomEdit

namespace {

// An edit-like widget in the control's colours and font.
void ApplyEditLook(QWidget* w, TControl* c, TFont* font) {
  w->setFont(MakeQFont(font));
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, QColor::fromRgb(ColorToPixel(c->Color())));
  pal.setColor(QPalette::Text, QColor::fromRgb(ColorToPixel(font->Color())));
  w->setPalette(pal);
}


// Hands the line edit's keys and focus to the edit first, as the platform's edit control
// gets them only after the control's handlers. The clipboard keys become messages.
class EditFilter : public QObject {
 public:
  EditFilter(TCustomEdit* edit, QLineEdit* line) : QObject(line), edit_(edit), line_(line) {}
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(e);
        TKeyRoute r = RouteKey(edit_, WM_KEYDOWN, ke);
        if (r.replaced && r.replacement && !line_->isReadOnly() && edit_->Room() > 0)
          line_->insert(QString(AnsiCharToQt(r.replacement)));
        if (r.consumed) return true;
        // A typed character that would pass the length limit is not taken.
        if (!ke->text().isEmpty() && ke->text().at(0).unicode() >= 32 &&
            !(ke->modifiers() & Qt::ControlModifier) && edit_->Room() <= 0)
          return true;
        UINT msg = ke->matches(QKeySequence::Paste)  ? WM_PASTE
                   : ke->matches(QKeySequence::Cut)  ? WM_CUT
                   : ke->matches(QKeySequence::Copy) ? WM_COPY
                                                     : 0;
        if (msg) {
          Guarded(edit_, [&] { edit_->Perform(msg, 0, 0); });
          return true;
        }
        return false;
      }
      case QEvent::KeyRelease:
        return RouteKey(edit_, WM_KEYUP, static_cast<QKeyEvent*>(e)).consumed;
      case QEvent::FocusIn:
        FocusArrived(edit_);
        if (edit_->AutoSelect()) line_->selectAll();
        return false;
      case QEvent::FocusOut:
        Guarded(edit_, [&] { edit_->Perform(CM_EXIT, 0, 0); });
        return false;
      default:
        return false;
    }
  }

 private:
  TCustomEdit* edit_;
  QLineEdit* line_;
};

QLineEdit* LineOf(const TWinControl* e) {
  return static_cast<QLineEdit*>(e->Host()->inner.data());
}

}  // namespace

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  auto* line = new QLineEdit(Host()->widget);
  Host()->inner = line;
  line->installEventFilter(new EditFilter(this, line));
  // The right button belongs to the control's own popup menu.
  line->setContextMenuPolicy(Qt::NoContextMenu);
  QObject::connect(line, &QLineEdit::textChanged, line, [this](const QString& t) {
    Guarded(this, [&] { TextChangedByEdit(QtToAnsi(t)); });
  });
  SetColor(clWindow);
  SetTabStop(true);
  line->setFocusPolicy(Qt::StrongFocus);
  SetBounds(0, 0, 121, 21);
  ApplyLook();
}

TCustomEdit::~TCustomEdit() = default;

void TCustomEdit::ApplyLook() {
  QLineEdit* line = LineOf(this);
  if (!line) return;
  ApplyEditLook(line, this, Font());
  line->setFrame(borderStyle_ != bsNone);
  Qt::Alignment a = (style_ & ES_RIGHT)    ? Qt::AlignRight
                    : (style_ & ES_CENTER) ? Qt::AlignHCenter
                                           : Qt::AlignLeft;
  line->setAlignment(a | Qt::AlignVCenter);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  Params.Caption = Text();
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS | ES_AUTOHSCROLL;
  if (Visible()) Params.Style |= WS_VISIBLE;
  if (TabStop()) Params.Style |= WS_TABSTOP;
  if (readOnly_) Params.Style |= ES_READONLY;
  Params.Style |= alignment_ == taRightJustify ? ES_RIGHT
                  : alignment_ == taCenter     ? ES_CENTER
                                               : ES_LEFT;
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
}

void TCustomEdit::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  style_ = p.Style;
  created_ = true;
  // A new window starts with the whole client area as its formatting rectangle.
  hasRect_ = false;
  ApplyLook();
  ApplyFormattingRect();
}

void TCustomEdit::RecreateWnd() {
  if (created_) CreateWnd();
}

void TCustomEdit::SetParent(TWinControl* AParent) {
  TWinControl::SetParent(AParent);
  if (AParent && !created_) CreateWnd();
}

void TCustomEdit::SetEditAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  RecreateWnd();
}

TRect TCustomEdit::FormattingRect() const {
  if (hasRect_) return rect_;
  return ClientRect();
}

void TCustomEdit::ApplyFormattingRect() {
  QLineEdit* line = LineOf(this);
  if (!line) return;
  if (!hasRect_) {
    line->setTextMargins(0, 0, 0, 0);
    return;
  }
  // The text is laid out inside the rectangle: what lies outside it is margin.
  int l = std::max(0, rect_.Left), t = std::max(0, rect_.Top);
  int r = std::max(0, ClientWidth() - rect_.Right), b = std::max(0, ClientHeight() - rect_.Bottom);
  line->setTextMargins(l, t, r, b);
}

void TCustomEdit::Dispatch(TMessage& Message) {
  QLineEdit* line = LineOf(this);
  switch (Message.Msg) {
    case EM_SETRECT:
    case EM_SETRECTNP:
      if ((style_ & ES_MULTILINE) && Message.LParam) {
        const RECT* r = reinterpret_cast<const RECT*>(Message.LParam);
        rect_ = {r->left, r->top, r->right, r->bottom};
        hasRect_ = true;
        ApplyFormattingRect();
      }
      return;
    case EM_GETRECT:
      if (Message.LParam) {
        TRect r = FormattingRect();
        *reinterpret_cast<RECT*>(Message.LParam) = {r.Left, r.Top, r.Right, r.Bottom};
      }
      return;
    case WM_PASTE:
      if (line && !readOnly_) {
        QString clip = QGuiApplication::clipboard()->text();
        line->insert(clip.left(std::min<qsizetype>(clip.size(), Room())));
      }
      return;
    case WM_CUT:
      if (line && !readOnly_) line->cut();
      return;
    case WM_COPY:
      if (line) line->copy();
      return;
    case WM_CLEAR:
      if (line && !readOnly_) line->del();
      return;
    default:
      break;
  }
  TWinControl::Dispatch(Message);
  if (Message.Msg == CM_FONTCHANGED || Message.Msg == CM_COLORCHANGED ||
      Message.Msg == CM_PARENTFONTCHANGED)
    ApplyLook();
}

void TCustomEdit::BoundsChanged(const TRect& Old) {
  if (QLineEdit* line = LineOf(this))
    line->setGeometry(0, 0, std::max(1, Width()), std::max(1, Height()));
  TWinControl::BoundsChanged(Old);
  ApplyFormattingRect();
}

void TCustomEdit::SetText(const String& v) {
  QLineEdit* line = LineOf(this);
  if (line && QtToAnsi(line->text()) != v)
    line->setText(AnsiToQt(v));  // textChanged runs OnChange
  else
    TWinControl::SetText(v);
}

void TCustomEdit::TextChangedByEdit(const String& v) {
  TWinControl::SetText(v);
  Change();
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::SetMaxLength(Integer v) {
  // The limit holds for what the user types and pastes only, as the platform's edit
  // limit does; text set by the program may be longer (Qt's own limit would cut it).
  maxLength_ = std::max(0, v);
}

Integer TCustomEdit::Room() const {
  if (maxLength_ <= 0) return 0x7FFFFFFF;
  QLineEdit* l = LineOf(this);
  return std::max<Integer>(0, maxLength_ - Integer(l->text().size() - l->selectedText().size()));
}
void TCustomEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  LineOf(this)->setReadOnly(v);
}
void TCustomEdit::SetBorderStyle(TBorderStyle v) {
  borderStyle_ = v;
  ApplyLook();
}
Integer TCustomEdit::SelStart() const {
  QLineEdit* l = LineOf(this);
  return l->hasSelectedText() ? l->selectionStart() : l->cursorPosition();
}
void TCustomEdit::SetSelStart(Integer v) {
  LineOf(this)->setCursorPosition(v);
}
Integer TCustomEdit::SelLength() const {
  return Integer(LineOf(this)->selectedText().size());
}
void TCustomEdit::SetSelLength(Integer v) {
  LineOf(this)->setSelection(SelStart(), v);
}
void TCustomEdit::SelectAll() {
  LineOf(this)->selectAll();
}

// ---------------------------------------------------------------------------------------
// Check boxes and radio buttons: a 13-pixel box or circle beside the caption.

namespace {

constexpr int kBox = 13;

TRect MarkRect(TControl* c, TAlignment alignment) {
  int top = (c->Height() - kBox) / 2;
  int left = alignment == taLeftJustify ? c->Width() - kBox : 0;
  return Bounds(left, top, kBox, kBox);
}

void PaintCaption(TCanvas* cv, TControl* c, TAlignment alignment) {
  cv->SetFont(c->Font());
  cv->Brush()->SetStyle(bsClear);
  String text = StripAccel(c->Caption());
  int th = cv->TextHeight("Wg");
  int y = (c->Height() - th) / 2;
  int x = alignment == taLeftJustify ? 0 : kBox + 4;
  if (!c->Enabled()) cv->Font()->SetColor(clGrayText);
  cv->TextOut(x, y, text);
  cv->Brush()->SetStyle(bsSolid);
}

}  // namespace

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 97, 17);
  SetTabStop(true);
}

void TCheckBox::SetState(TCheckBoxState v) {
  if (v == state_) return;
  state_ = v;
  Invalidate();
  if (!toggling_) TControl::Click();
}

void TCheckBox::Click() {
  // A click steps the state: unchecked, checked, (grayed,) unchecked.
  toggling_ = true;
  TCheckBoxState next = state_ == cbUnchecked                 ? cbChecked
                        : state_ == cbChecked && allowGrayed_ ? cbGrayed
                                                              : cbUnchecked;
  SetState(next);
  toggling_ = false;
  TControl::Click();
}

void TCheckBox::SetAlignment(TAlignment v) {
  alignment_ = v;
  Invalidate();
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft && CanFocus() && TabStop()) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCheckBox::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == ' ') Click();
}

void TCheckBox::Paint() {
  TCanvas* c = Canvas();
  TRect b = MarkRect(this, alignment_);
  c->Brush()->SetColor(Enabled() && state_ != cbGrayed ? clWindow : clBtnFace);
  c->Pen()->SetColor(clBtnShadow);
  c->Rectangle(b);
  if (state_ != cbUnchecked)
    DrawMenuGlyph(c, b, DFCS_MENUCHECK,
                  state_ == cbGrayed || !Enabled() ? clGrayText : clWindowText);
  PaintCaption(c, this, alignment_);
}

TRadioButton::TRadioButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  SetTabStop(v);
  Invalidate();
  if (!v) return;
  if (Parent())
    for (Integer i = 0; i < Parent()->ControlCount(); ++i)
      if (auto* r = dynamic_cast<TRadioButton*>(Parent()->Controls(i)); r && r != this)
        r->SetChecked(false);
  TControl::Click();
}

void TRadioButton::Click() {
  // Only a change is a click: checking raises OnClick, a click on the checked button
  // changes nothing.
  SetChecked(true);
}

void TRadioButton::SetAlignment(TAlignment v) {
  alignment_ = v;
  Invalidate();
}

void TRadioButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft && CanFocus()) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TRadioButton::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == ' ' && !checked_) Click();
}

void TRadioButton::Paint() {
  TCanvas* c = Canvas();
  TRect b = MarkRect(this, alignment_);
  c->Brush()->SetColor(Enabled() ? clWindow : clBtnFace);
  c->Pen()->SetColor(clBtnShadow);
  c->Ellipse(b);
  if (checked_) DrawMenuGlyph(c, b, DFCS_MENUBULLET, Enabled() ? clWindowText : clGrayText);
  PaintCaption(c, this, alignment_);
}

// ---------------------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  controlStyle_.Include(csAcceptsControls);
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->SetFont(Font());
  int th = c->TextHeight("0");
  TRect r{0, th / 2, Width(), Height()};
  // An etched frame: a shadow line with a light one beside it.
  c->Brush()->SetStyle(bsClear);
  c->Pen()->SetColor(clBtnHighlight);
  c->Rectangle(r.Left + 1, r.Top + 1, r.Right, r.Bottom);
  c->Pen()->SetColor(clBtnShadow);
  c->Rectangle(r.Left, r.Top, r.Right - 1, r.Bottom - 1);
  String text = StripAccel(Caption());
  if (!text.empty()) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->TextOut(8, 0, text);
  }
  c->Brush()->SetStyle(bsSolid);
}

// ---------------------------------------------------------------------------------------
// TListBox

TListBox::TListBox(TComponent* AOwner)
    : TCustomControl(AOwner),
      items_(std::make_unique<TControlStrings>([this] { ItemsChanged(); })) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TListBox::~TListBox() = default;

void TListBox::ItemsChanged() {
  if (itemIndex_ >= Count()) itemIndex_ = -1;
  SetTopIndex(topIndex_);
  Invalidate();
}

Integer TListBox::ItemHeight() const {
  if (style_ == lbOwnerDrawFixed) return itemHeight_;
  TCanvas c;
  c.SetFont(Font());
  return c.TextHeight("Wg");
}

void TListBox::SetItemHeight(Integer v) {
  if (v > 0) itemHeight_ = v;
  Invalidate();
}

void TListBox::SetStyle(TListBoxStyle v) {
  style_ = v;
  Invalidate();
}

void TListBox::SetItemIndex(Integer v) {
  if (v < -1 || v >= Count()) v = -1;
  if (v == itemIndex_) return;
  itemIndex_ = v;
  // The chosen row is scrolled into view.
  if (v >= 0) {
    if (v < topIndex_)
      SetTopIndex(v);
    else if (v >= topIndex_ + VisibleRows())
      SetTopIndex(v - VisibleRows() + 1);
  }
  Invalidate();
}

Integer TListBox::VisibleRows() const {
  return std::max(1, ClientHeight() / std::max(1, ItemHeight()));
}

void TListBox::SetTopIndex(Integer v) {
  v = std::max(0, std::min(v, Count() - VisibleRows()));
  if (v == topIndex_) return;
  topIndex_ = v;
  Invalidate();
}

bool TListBox::ScrollShown() const {
  return TVScrollBar::Needed(Count(), VisibleRows());
}

TRect TListBox::ScrollRect() const {
  return {ClientWidth() - TVScrollBar::kWidth, 0, ClientWidth(), ClientHeight()};
}

bool TListBox::DragStartsAt(Integer X, Integer Y) {
  return !(ScrollShown() && PtInRect(ScrollRect(), {X, Y}));
}

TRect TListBox::ItemRect(Integer Index) const {
  Integer h = ItemHeight();
  Integer y = (Index - topIndex_) * h;
  return {0, y, ScrollShown() ? ScrollRect().Left : ClientWidth(), y + h};
}

Integer TListBox::ItemAtPos(const TPoint& Pos, bool Existing) const {
  Integer i = topIndex_ + Pos.y / std::max(1, ItemHeight());
  if (Pos.y < 0) i = -1;
  if (i >= Count()) return Existing ? -1 : Count();
  return i;
}

void TListBox::DrawItem(Integer Index, const TRect& Rect, TOwnerDrawState State) {
  TCanvas* c = Canvas();
  if (OnDrawItem) {
    OnDrawItem(this, Index, Rect, State);
    return;
  }
  c->FillRect(Rect);
  c->TextOut(Rect.Left + 2, Rect.Top, items_->Strings(Index));
}

void TListBox::Paint() {
  TCanvas* c = Canvas();
  for (Integer i = topIndex_; i < Count(); ++i) {
    TRect r = ItemRect(i);
    if (r.Top >= ClientHeight()) break;
    // Whole rows only: a row that would be cut off is left out.
    if (integralHeight_ && r.Bottom > ClientHeight() && i > topIndex_) break;
    TOwnerDrawState state;
    c->SetFont(Font());
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    if (i == itemIndex_) {
      state.Include(odSelected);
      if (Focused()) state.Include(odFocused);
      c->Brush()->SetColor(clHighlight);
      c->Font()->SetColor(clHighlightText);
    }
    if (!Enabled()) state.Include(odDisabled);
    DrawItem(i, r, state);
  }
  if (ScrollShown()) TVScrollBar::Paint(c, ScrollRect(), topIndex_, Count(), VisibleRows());
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (ScrollShown() && PtInRect(ScrollRect(), {X, Y})) {
    // The scroll bar is the frame's: no choice and no mouse event.
    if (Button != mbLeft) return;
    bool onThumb = false;
    TRect r = ScrollRect();
    Integer first = TVScrollBar::Press(r, Y, topIndex_, Count(), VisibleRows(), onThumb);
    if (onThumb)
      thumbGrab_ = Y - TVScrollBar::Thumb(r, topIndex_, Count(), VisibleRows()).Top;
    else
      SetTopIndex(first);
    return;
  }
  if (Button == mbLeft) {
    if (CanFocus()) SetFocus();
    Integer i = ItemAtPos({X, Y}, true);
    if (i >= 0) SetItemIndex(i);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TListBox::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (thumbGrab_ >= 0) {
    SetTopIndex(TVScrollBar::FirstForThumb(ScrollRect(), Y - thumbGrab_, Count(), VisibleRows()));
    return;
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TListBox::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft && thumbGrab_ >= 0) {
    thumbGrab_ = -1;
    return;
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TListBox::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Count() == 0) return;
  Integer i = itemIndex_;
  switch (Key) {
    case VK_UP:
      i = std::max(0, i - 1);
      break;
    case VK_DOWN:
      i = std::min(Count() - 1, i + 1);
      break;
    case VK_HOME:
      i = 0;
      break;
    case VK_END:
      i = Count() - 1;
      break;
    case VK_PRIOR:
      i = std::max(0, i - VisibleRows());
      break;
    case VK_NEXT:
      i = std::min(Count() - 1, i + VisibleRows());
      break;
    default:
      return;
  }
  if (i != itemIndex_) {
    SetItemIndex(i);
    TControl::Click();
  }
}

void TListBox::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_MOUSEWHEEL) {
    short delta = short(HIWORD(static_cast<DWORD>(Message.WParam)));
    SetTopIndex(topIndex_ - delta / 40);
    return;
  }
  TCustomControl::Dispatch(Message);
}

// ---------------------------------------------------------------------------------------
// TComboBox

namespace {

QComboBox* ComboOf(const TWinControl* c) {
  return static_cast<QComboBox*>(c->Host()->inner.data());
}

}  // namespace

TComboBox::TComboBox(TComponent* AOwner)
    : TWinControl(AOwner), items_(std::make_unique<TControlStrings>([this] { SyncItems(); })) {
  auto* box = new QComboBox(Host()->widget);
  Host()->inner = box;
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setFocusPolicy(Qt::StrongFocus);
  QObject::connect(box, QOverload<int>::of(&QComboBox::activated), box,
                   [this](int i) { Guarded(this, [&] { Chosen(i); }); });
  QObject::connect(box, &QComboBox::editTextChanged, box, [this](const QString& t) {
    if (syncing_) return;
    Guarded(this, [&] {
      TWinControl::SetText(QtToAnsi(t));
      Change();
    });
  });
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
  ApplyLook();
}

TComboBox::~TComboBox() = default;

void TComboBox::ApplyLook() {
  QComboBox* box = ComboOf(this);
  ApplyEditLook(box, this, Font());
}

void TComboBox::SyncItems() {
  QComboBox* box = ComboOf(this);
  String text = Text();
  syncing_ = true;
  int index = box->currentIndex();
  box->clear();
  for (Integer i = 0; i < items_->Count(); ++i)
    box->addItem(AnsiToQt(items_->Strings(i)));
  box->setCurrentIndex(index < items_->Count() ? index : -1);
  if (style_ == csDropDown) box->setEditText(AnsiToQt(text));
  syncing_ = false;
}

Integer TComboBox::ItemIndex() const {
  return ComboOf(this)->currentIndex();
}

void TComboBox::SetItemIndex(Integer v) {
  if (v < -1 || v >= items_->Count()) v = -1;
  syncing_ = true;
  ComboOf(this)->setCurrentIndex(v);
  syncing_ = false;
  TWinControl::SetText(v >= 0 ? items_->Strings(v) : String());
}

void TComboBox::SetText(const String& v) {
  Integer i = items_->IndexOf(v);
  syncing_ = true;
  QComboBox* box = ComboOf(this);
  if (style_ == csDropDownList) {
    box->setCurrentIndex(i);
  } else {
    box->setCurrentIndex(i);
    box->setEditText(AnsiToQt(v));
  }
  syncing_ = false;
  TWinControl::SetText(style_ == csDropDownList && i < 0 ? String() : v);
}

void TComboBox::SetStyle(TComboBoxStyle v) {
  style_ = v;
  syncing_ = true;
  ComboOf(this)->setEditable(v == csDropDown);
  syncing_ = false;
}

void TComboBox::SetDropDownCount(Integer v) {
  dropDownCount_ = std::max(1, v);
  ComboOf(this)->setMaxVisibleItems(dropDownCount_);
}

void TComboBox::Chosen(Integer Index) {
  if (Index < 0 || Index >= items_->Count()) return;
  syncing_ = true;
  ComboOf(this)->setCurrentIndex(Index);
  syncing_ = false;
  TWinControl::SetText(items_->Strings(Index));
  Change();
  Click();
}

void TComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TComboBox::BoundsChanged(const TRect& Old) {
  TWinControl::BoundsChanged(Old);
  ComboOf(this)->setGeometry(0, 0, std::max(1, Width()), std::max(1, Height()));
}

void TComboBox::Dispatch(TMessage& Message) {
  TWinControl::Dispatch(Message);
  if (Message.Msg == CM_FONTCHANGED || Message.Msg == CM_COLORCHANGED ||
      Message.Msg == CM_PARENTFONTCHANGED)
    ApplyLook();
}

// ---------------------------------------------------------------------------------------
// TMemo

namespace {

QPlainTextEdit* TextOf(const TWinControl* c) {
  return static_cast<QPlainTextEdit*>(c->Host()->inner.data());
}

}  // namespace

TMemo::TMemo(TComponent* AOwner)
    : TWinControl(AOwner), lines_(std::make_unique<TControlStrings>([this] { LinesChanged(); })) {
  auto* text = new QPlainTextEdit(Host()->widget);
  Host()->inner = text;
  text->setContextMenuPolicy(Qt::NoContextMenu);
  text->setFocusPolicy(Qt::StrongFocus);
  QObject::connect(text, &QPlainTextEdit::textChanged, text, [this] {
    if (syncing_) return;
    Guarded(this, [&] { TextChangedByEdit(QtToAnsi(TextOf(this)->toPlainText())); });
  });
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 185, 89);
  ApplyLook();
}

TMemo::~TMemo() = default;

void TMemo::ApplyLook() {
  QPlainTextEdit* t = TextOf(this);
  ApplyEditLook(t, this, Font());
  t->setReadOnly(readOnly_);
  bool v = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  bool h = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  t->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  t->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  t->setLineWrapMode(wordWrap_ && !h ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::LinesChanged() {
  if (syncing_) return;
  String text;
  for (Integer i = 0; i < lines_->Count(); ++i) {
    if (i) text += "\n";
    text += lines_->Strings(i);
  }
  syncing_ = true;
  TextOf(this)->setPlainText(AnsiToQt(text));
  syncing_ = false;
  TWinControl::SetText(lines_->Text());
}

void TMemo::SetText(const String& v) {
  syncing_ = true;
  lines_->SetText(v);
  String shown;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\r' && i + 1 < v.size() && v[i + 1] == '\n') continue;  // CR LF is one break
    shown += v[i] == '\r' ? '\n' : v[i];
  }
  TextOf(this)->setPlainText(AnsiToQt(shown));
  syncing_ = false;
  TWinControl::SetText(v);
}

void TMemo::TextChangedByEdit(const String& v) {
  syncing_ = true;
  lines_->SetText(v);
  syncing_ = false;
  TWinControl::SetText(lines_->Text());
}

void TMemo::SetReadOnly(bool v) {
  readOnly_ = v;
  ApplyLook();
}
void TMemo::SetScrollBars(TScrollStyle v) {
  scrollBars_ = v;
  ApplyLook();
}
void TMemo::SetWordWrap(bool v) {
  wordWrap_ = v;
  ApplyLook();
}

void TMemo::BoundsChanged(const TRect& Old) {
  TWinControl::BoundsChanged(Old);
  TextOf(this)->setGeometry(0, 0, std::max(1, Width()), std::max(1, Height()));
}

void TMemo::Dispatch(TMessage& Message) {
  TWinControl::Dispatch(Message);
  if (Message.Msg == CM_FONTCHANGED || Message.Msg == CM_COLORCHANGED ||
      Message.Msg == CM_PARENTFONTCHANGED)
    ApplyLook();
}
