#include "classlib/StdCtrls.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "classlib/ControlsPrivate.h"
#include "classlib/GuiPrivate.h"

// ---------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 65, 17);
  SetParentColor(true);
}

String TLabel::DisplayText() const {
  const String& t = Caption();
  if (!showAccelChar_) return t;
  String out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '&') {
      if (i + 1 < t.size() && t[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += t[i];
  }
  return out;
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
// TEdit

namespace {

// Hands the line edit's keys and focus to the TEdit first, as the platform's edit control
// gets them only after the control's handlers.
class EditFilter : public QObject {
 public:
  EditFilter(TEdit* edit, QLineEdit* line) : QObject(line), edit_(edit), line_(line) {}
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress: {
        TKeyRoute r = RouteKey(edit_, WM_KEYDOWN, static_cast<QKeyEvent*>(e));
        if (r.replaced && r.replacement && !line_->isReadOnly())
          line_->insert(QString(QChar::fromLatin1(r.replacement)));
        return r.consumed;
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
  TEdit* edit_;
  QLineEdit* line_;
};

QLineEdit* LineOf(const TEdit* e) {
  return static_cast<QLineEdit*>(e->Host()->inner.data());
}

}  // namespace

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  auto* line = new QLineEdit(Host()->widget);
  Host()->inner = line;
  line->installEventFilter(new EditFilter(this, line));
  QObject::connect(line, &QLineEdit::textChanged, line, [this](const QString& t) {
    Guarded(this, [&] { TextChangedByEdit(t.toLatin1().toStdString()); });
  });
  SetColor(clWindow);
  SetTabStop(true);
  line->setFocusPolicy(Qt::StrongFocus);
  SetBounds(0, 0, 121, 21);
  ApplyLook();
}

TEdit::~TEdit() = default;

void TEdit::ApplyLook() {
  QLineEdit* line = LineOf(this);
  if (!line) return;
  line->setFont(MakeQFont(Font()));
  QPalette pal = line->palette();
  pal.setColor(QPalette::Base, QColor::fromRgb(ColorToPixel(Color())));
  pal.setColor(QPalette::Text, QColor::fromRgb(ColorToPixel(Font()->Color())));
  line->setPalette(pal);
  line->setFrame(borderStyle_ != bsNone);
}

void TEdit::Dispatch(TMessage& Message) {
  TWinControl::Dispatch(Message);
  if (Message.Msg == CM_FONTCHANGED || Message.Msg == CM_COLORCHANGED ||
      Message.Msg == CM_PARENTFONTCHANGED)
    ApplyLook();
}

void TEdit::BoundsChanged(const TRect& Old) {
  TWinControl::BoundsChanged(Old);
  if (QLineEdit* line = LineOf(this))
    line->setGeometry(0, 0, std::max(1, Width()), std::max(1, Height()));
}

void TEdit::SetText(const String& v) {
  QLineEdit* line = LineOf(this);
  if (line && line->text().toLatin1().toStdString() != v)
    line->setText(QString::fromLatin1(v.c_str()));  // textChanged runs OnChange
  else
    TWinControl::SetText(v);
}

void TEdit::TextChangedByEdit(const String& v) {
  TWinControl::SetText(v);
  Change();
}

void TEdit::Change() {
  if (OnChange) OnChange(this);
}

void TEdit::SetMaxLength(Integer v) {
  maxLength_ = std::max(0, v);
  LineOf(this)->setMaxLength(maxLength_ == 0 ? 32767 : maxLength_);
}
void TEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  LineOf(this)->setReadOnly(v);
}
void TEdit::SetBorderStyle(TBorderStyle v) {
  borderStyle_ = v;
  ApplyLook();
}
Integer TEdit::SelStart() const {
  QLineEdit* l = LineOf(this);
  return l->hasSelectedText() ? l->selectionStart() : l->cursorPosition();
}
void TEdit::SetSelStart(Integer v) {
  LineOf(this)->setCursorPosition(v);
}
Integer TEdit::SelLength() const {
  return Integer(LineOf(this)->selectedText().size());
}
void TEdit::SetSelLength(Integer v) {
  LineOf(this)->setSelection(SelStart(), v);
}
void TEdit::SelectAll() {
  LineOf(this)->selectAll();
}
