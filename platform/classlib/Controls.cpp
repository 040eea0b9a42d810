#include "classlib/Controls.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "classlib/ControlsPrivate.h"
#include "classlib/Forms.h"
#include "classlib/GuiPrivate.h"
#include "classlib/Menus.h"

// ---------------------------------------------------------------------------------------
// Process-wide mouse state.

namespace {

TControl* g_capture = nullptr;
TControl* g_hover = nullptr;
QPoint g_cursorPos;
Qt::KeyboardModifiers g_modifiers;
// The widget whose WM_SETCURSOR is being answered, and the one showing a cursor that a
// handler set (it goes back to its control's cursor when no handler sets one).
QPointer<QWidget> g_cursorAsker;
QPointer<QWidget> g_cursorSet;
// Every control alive: a drag checks here before it calls a control its handler may have
// destroyed.
std::vector<TControl*> g_alive;
// Windows that sit on the screen, oldest first: where FindDragTarget looks.
std::vector<TWinControl*> g_topLevels;
// Window handles made so far and their controls.
std::map<HWND, TWinControl*> g_byHandle;

TShiftState ShiftFrom(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s;
  if (mods & Qt::ShiftModifier) s.Include(ssShift);
  if (mods & Qt::ControlModifier) s.Include(ssCtrl);
  if (mods & Qt::AltModifier) s.Include(ssAlt);
  if (buttons & Qt::LeftButton) s.Include(ssLeft);
  if (buttons & Qt::RightButton) s.Include(ssRight);
  if (buttons & Qt::MiddleButton) s.Include(ssMiddle);
  return s;
}

// Mouse messages carry the buttons and Shift and Ctrl; Alt is read from the keyboard
// state, as the platform does.
TShiftState ShiftFromMessage(WPARAM keys) {
  TShiftState s;
  if (keys & MK_SHIFT) s.Include(ssShift);
  if (keys & MK_CONTROL) s.Include(ssCtrl);
  if (keys & MK_LBUTTON) s.Include(ssLeft);
  if (keys & MK_RBUTTON) s.Include(ssRight);
  if (keys & MK_MBUTTON) s.Include(ssMiddle);
  if (g_modifiers & Qt::AltModifier) s.Include(ssAlt);
  return s;
}

WPARAM KeysFrom(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  WPARAM w = 0;
  if (buttons & Qt::LeftButton) w |= MK_LBUTTON;
  if (buttons & Qt::RightButton) w |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) w |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) w |= MK_SHIFT;
  if (mods & Qt::ControlModifier) w |= MK_CONTROL;
  return w;
}

TShiftState KeyShift(Qt::KeyboardModifiers mods) {
  return ShiftFrom(mods, Qt::NoButton);
}

}  // namespace

Word QtKeyToVK(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return Word('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return Word('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return Word(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Pause:
      return VK_PAUSE;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Asterisk:
      return VK_MULTIPLY;
    case Qt::Key_Plus:
      return VK_ADD;
    case Qt::Key_Minus:
      return VK_SUBTRACT;
    case Qt::Key_Slash:
      return VK_DIVIDE;
    default:
      return 0;
  }
}

namespace {

int VKToQtKey(Word vk) {
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
  if (vk >= VK_F1 && vk <= VK_F12) return Qt::Key_F1 + (vk - VK_F1);
  for (int k :
       {Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space,
        Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home, Qt::Key_Left, Qt::Key_Up,
        Qt::Key_Right, Qt::Key_Down, Qt::Key_Insert, Qt::Key_Delete, Qt::Key_Plus, Qt::Key_Minus})
    if (QtKeyToVK(k) == vk) return k;
  return 0;
}

}  // namespace

void SetTopLevelFlags(QWidget* w, Qt::WindowFlags f) {
  if (w->windowFlags() == f) return;
  QWindow* win = w->windowHandle();
  const Qt::WindowFlags changed = w->windowFlags() ^ f;
  if (!win || changed != Qt::WindowStaysOnTopHint) {
    // Not on the screen yet, or a new kind of window: Qt makes it anew, which costs
    // nothing before it is shown.
    const bool vis = w->isVisible();
    const QPoint at = w->pos();
    w->setWindowFlags(f);
    w->move(at);
    if (vis) w->show();
    return;
  }
  // Staying on top alone is a state of the window the window system already has: Qt's
  // window takes it in place, and the widget's flags only follow. (X11 never comes here:
  // its Qt window would be made anew at the next showing, see StayOnTop.cpp.)
  w->overrideWindowFlags(f);
  win->setFlags(f);
}

void RaiseWindow(QWidget* w) {
  // The off-screen platform has no window order and complains when asked.
  if (w->isWindow() && QGuiApplication::platformName() == "offscreen") return;
  w->raise();
}

Qt::CursorShape CursorShapeOf(TCursor c) {
  switch (c) {
    case crNone:
      return Qt::BlankCursor;
    case crCross:
      return Qt::CrossCursor;
    case crIBeam:
      return Qt::IBeamCursor;
    case crSizeNESW:
      return Qt::SizeBDiagCursor;
    case crSizeNS:
      return Qt::SizeVerCursor;
    case crSizeNWSE:
      return Qt::SizeFDiagCursor;
    case crSizeWE:
      return Qt::SizeHorCursor;
    case crUpArrow:
      return Qt::UpArrowCursor;
    case crHourGlass:
      return Qt::WaitCursor;
    case crDrag:
      return Qt::DragMoveCursor;
    case crNoDrop:
    case crNo:
      return Qt::ForbiddenCursor;
    case crHSplit:
      return Qt::SplitHCursor;
    case crVSplit:
      return Qt::SplitVCursor;
    case crAppStart:
      return Qt::BusyCursor;
    case crHelp:
      return Qt::WhatsThisCursor;
    case crHandPoint:
      return Qt::PointingHandCursor;
    case crSizeAll:
      return Qt::SizeAllCursor;
    default:
      return c > 0 ? Qt::PointingHandCursor : Qt::ArrowCursor;
  }
}

namespace {

void UpdateHover(TControl* under) {
  if (under == g_hover) return;
  TControl* old = g_hover;
  g_hover = under;
  // The application's hint follows the control under the pointer (status lines show it).
  if (Application) Application->SetHint(under ? GetLongHint(under->Hint()) : String());
  if (old) Guarded(old, [&] { old->Perform(CM_MOUSELEAVE, 0, 0); });
  if (under) Guarded(under, [&] { under->Perform(CM_MOUSEENTER, 0, 0); });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The widget of a windowed control.

TQtWidget::TQtWidget(TWinControl* control) : control_(control) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
}

namespace {
// Paint events being handled: a window painting now shows on screen when its paint ends,
// and Qt refuses a synchronous repaint from inside one.
int g_paintDepth = 0;
// Set while a repaint waits for its window to reach the screen.
bool g_awaitingScreen = false;
// Set while a repaint asked for by the program shows its window at once.
bool g_paintingNow = false;
}  // namespace

bool AwaitingScreen() {
  return g_awaitingScreen;
}

void TQtWidget::paintEvent(QPaintEvent* e) {
  ++g_paintDepth;
  struct Leave {
    ~Leave() { --g_paintDepth; }
  } leave;
  TControlHost* host = control_->Host();
  // What is drawn now inside the area being painted shows with this paint: no further
  // update for it (it would repaint the same area again at the next turn).
  host->surface.Painting(e->region());
  Guarded(control_, [&] { control_->RenderPending(); });
  host->surface.Painted();
  // Only the asked-for part: a small graph redrawn often must not copy the whole window.
  QPainter p(this);
  for (const QRect& r : e->region()) p.drawImage(r, host->surface.image, r);
}

void TQtWidget::AskCursor() {
  // The window under the pointer may pick the cursor for the spot (WM_SETCURSOR, hit
  // test in the low word); answering 0 leaves the control's own cursor.
  constexpr WORD kHitClient = 1;
  TMessage m;
  m.Msg = WM_SETCURSOR;
  m.WParam = control_->HandleAllocated() ? WPARAM(control_->Handle()) : 0;
  m.LParam = MAKELPARAM(kHitClient, WORD(WM_MOUSEMOVE));
  g_cursorAsker = this;
  Guarded(control_, [&] { control_->WndProc(m); });
  g_cursorAsker = nullptr;
  if (!m.Result && g_cursorSet == this) {
    setCursor(CursorOf(control_->Cursor()));
    g_cursorSet = nullptr;
  }
}

namespace {
HCURSOR g_currentCursor = nullptr;
}  // namespace

HCURSOR GetCursor() {
  return g_currentCursor;
}

HCURSOR SetCursor(HCURSOR Cursor) {
  HCURSOR old = g_currentCursor;
  g_currentCursor = Cursor;
  if (QWidget* w = g_cursorAsker) {
    w->setCursor(Cursor ? *static_cast<QCursor*>(Cursor) : QCursor(Qt::ArrowCursor));
    g_cursorSet = w;
  }
  return old;
}

void TQtWidget::RouteMouse(UINT msg, QMouseEvent* e) {
  g_cursorPos = e->globalPosition().toPoint();
  g_modifiers = e->modifiers();
  TPoint screen{g_cursorPos.x(), g_cursorPos.y()};
  // A capture lasts while a button is held, but its release may never reach it: a handler
  // of the press ran a loop of its own (a modal box, a menu, a scan that lets events
  // through) where the release went to another window or came before the press was done.
  // The window system's next move or press that shows no button held ends it, so that
  // event goes where the pointer is. (A double click's second press may follow its own
  // press directly: it is no such event.)
  const Qt::MouseButtons heldBefore =
      msg == WM_MOUSEMOVE ? e->buttons() : e->buttons() & ~Qt::MouseButtons(e->button());
  const bool fresh = msg == WM_MOUSEMOVE || msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN ||
                     msg == WM_MBUTTONDOWN;
  if (fresh && heldBefore == Qt::NoButton) CancelMouseMode(nullptr);
  UpdateHover(FindDragTarget(screen, true));
  TControl* target = g_capture;
  if (!target) {
    QPoint pos = e->position().toPoint();
    target = control_->ControlAtPos({pos.x(), pos.y()}, false);
    if (!target) target = control_;
  }
  if (msg == WM_MOUSEMOVE) AskCursor();
  TPoint local = target->ScreenToClient(screen);
  TMessage m;
  m.Msg = msg;
  m.WParam = KeysFrom(e->modifiers(), e->buttons());
  m.LParam = MAKELPARAM(WORD(local.x), WORD(local.y));
  try {
    target->WndProc(m);
  } catch (...) {
    // The press or release stops half-way: the control comes up before the report's box
    // shows, and the capture does not outlive the failure.
    if (msg != WM_MOUSEMOVE) CancelMouseMode(target);
    HandleExceptionNow(target);
  }
}

static UINT DownMessage(Qt::MouseButton b, bool dbl) {
  if (b == Qt::RightButton) return dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
  if (b == Qt::MiddleButton) return WM_MBUTTONDOWN;
  return dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
}
static UINT UpMessage(Qt::MouseButton b) {
  if (b == Qt::RightButton) return WM_RBUTTONUP;
  if (b == Qt::MiddleButton) return WM_MBUTTONUP;
  return WM_LBUTTONUP;
}

void TQtWidget::mousePressEvent(QMouseEvent* e) {
  RouteMouse(DownMessage(e->button(), false), e);
}
void TQtWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  RouteMouse(DownMessage(e->button(), true), e);
}
void TQtWidget::mouseReleaseEvent(QMouseEvent* e) {
  RouteMouse(UpMessage(e->button()), e);
}
void TQtWidget::mouseMoveEvent(QMouseEvent* e) {
  RouteMouse(WM_MOUSEMOVE, e);
}

void TQtWidget::wheelEvent(QWheelEvent* e) {
  QPoint global = e->globalPosition().toPoint();
  TControl* target = g_capture ? g_capture : control_;
  TMessage m;
  m.Msg = WM_MOUSEWHEEL;
  m.WParam =
      MAKEWPARAM(WORD(KeysFrom(e->modifiers(), e->buttons())), WORD(short(e->angleDelta().y())));
  m.LParam = MAKELPARAM(WORD(global.x()), WORD(global.y()));
  Guarded(target, [&] { target->WndProc(m); });
}

// Drawing shows on the screen at most this often: a deck's graph, meters and times change
// a hundred times a second and more while two decks play, and handing each change to the
// window system on its own costs far more than drawing it.
constexpr qint64 kFrameMs = 33;

// Answers whether a window's update may be shown now; if a frame was shown too recently,
// the update waits for the next frame (what is drawn meanwhile joins it).
bool TQtWidget::PaceFrame() {
  if (!isWindow()) return true;
  if (g_paintingNow || !lastFrame_.isValid() || lastFrame_.elapsed() >= kFrameMs) {
    lastFrame_.start();
    frameWaiting_ = false;
    return true;
  }
  if (!frameWaiting_) {
    frameWaiting_ = true;
    QTimer::singleShot(kFrameMs - lastFrame_.elapsed(), Qt::PreciseTimer, this, [this] {
      lastFrame_.invalidate();  // the frame's time has come, even if the timer is early
      QEvent update(QEvent::UpdateRequest);
      QCoreApplication::sendEvent(this, &update);
    });
  }
  return false;
}

bool TQtWidget::event(QEvent* e) {
  if (e->type() == QEvent::UpdateRequest) return PaceFrame() ? QWidget::event(e) : true;
  if (e->type() != QEvent::ToolTip) return QWidget::event(e);
  auto* he = static_cast<QHelpEvent*>(e);
  TControl* c = control_->ControlAtPos({he->pos().x(), he->pos().y()}, false);
  if (!c) c = control_;
  String tip;
  TPoint local = c->ScreenToClient({he->globalPos().x(), he->globalPos().y()});
  Guarded(c, [&] { tip = c->TipAt(local); });
  if (tip.empty() || !Application->ShowHint())
    QToolTip::hideText();
  else
    QToolTip::showText(he->globalPos(), AnsiToQt(tip), this);
  return true;
}

void TQtWidget::leaveEvent(QEvent*) {
  if (g_hover && !g_capture) {
    TControl* h = g_hover;
    if (h == control_ || (h->Parent() == control_ && !dynamic_cast<TWinControl*>(h)))
      UpdateHover(nullptr);
  }
}

TKeyRoute RouteKey(TWinControl* control, UINT msg, QKeyEvent* e) {
  TKeyRoute r;
  g_modifiers = e->modifiers();
  Word vk = QtKeyToVK(e->key());
  if (vk) {
    TMessage m;
    m.Msg = msg;
    m.WParam = vk;
    Guarded(control, [&] { control->WndProc(m); });
    if (m.Result) r.consumed = true;
  }
  if (msg == WM_KEYDOWN && !r.consumed && !e->text().isEmpty() && e->text().at(0).unicode() < 256 &&
      !(e->modifiers() & Qt::ControlModifier)) {
    TMessage m;
    m.Msg = WM_CHAR;
    m.WParam = WPARAM(static_cast<unsigned char>(QtCharToAnsi(e->text().at(0))));
    Guarded(control, [&] { control->WndProc(m); });
    // Result 1: the character was discarded; 2: replaced by the one now in WParam.
    if (m.Result == 1) r.consumed = true;
    if (m.Result == 2) {
      r.consumed = true;
      r.replaced = true;
      r.replacement = char(m.WParam);
    }
  }
  return r;
}

// A key that the control's inner Qt control (an edit box) let through has already been
// handed to the control by that control's filter.
void TQtWidget::keyPressEvent(QKeyEvent* e) {
  if (!control_->Host()->inner) RouteKey(control_, WM_KEYDOWN, e);
}
void TQtWidget::keyReleaseEvent(QKeyEvent* e) {
  if (!control_->Host()->inner) RouteKey(control_, WM_KEYUP, e);
}
namespace {
void BroadcastFocus(TControl* c, TWinControl* focused) {
  c->Perform(CM_FOCUSCHANGED, 0, LPARAM(reinterpret_cast<std::intptr_t>(focused)));
  if (auto* wc = dynamic_cast<TWinControl*>(c))
    for (int i = 0; i < wc->ControlCount(); ++i) BroadcastFocus(wc->Controls(i), focused);
}
}  // namespace

void FocusArrived(TWinControl* control) {
  Guarded(control, [&] { control->Perform(CM_ENTER, 0, 0); });
  // Every control of the window hears which one has the focus now (LParam).
  TControl* top = control;
  while (top->Parent()) top = top->Parent();
  Guarded(control, [&] { BroadcastFocus(top, control); });
}

void TQtWidget::focusInEvent(QFocusEvent*) {
  FocusArrived(control_);
}
void TQtWidget::focusOutEvent(QFocusEvent*) {
  Guarded(control_, [&] { control_->Perform(CM_EXIT, 0, 0); });
}

void TQtWidget::closeEvent(QCloseEvent* e) {
  bool go = true;
  Guarded(control_, [&] { go = control_->Host()->CloseRequested(); });
  if (go)
    e->accept();
  else
    e->ignore();
}

void TQtWidget::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange)
    Guarded(control_, [&] { control_->Host()->ActivationChanged(isActiveWindow()); });
  QWidget::changeEvent(e);
}

void TQtWidget::moveEvent(QMoveEvent*) {
  if (isWindow()) Guarded(control_, [&] { control_->Host()->GeometryChanged(); });
}
void TQtWidget::resizeEvent(QResizeEvent*) {
  if (isWindow()) Guarded(control_, [&] { control_->Host()->GeometryChanged(); });
}

// Window host: what the platform asks of the window behind a control's handle.
bool TControlHost::HostShowWindow(int cmdShow) {
  bool was = control->Visible();
  if (cmdShow == SW_HIDE)
    control->SetVisible(false);
  else if (cmdShow == SW_MINIMIZE || cmdShow == SW_SHOWMINIMIZED) {
    control->SetVisible(true);
    if (widget) widget->showMinimized();
  } else {
    control->SetVisible(true);
    if (cmdShow == SW_RESTORE && widget) widget->showNormal();
  }
  return was;
}
bool TControlHost::HostBringToTop() {
  if (!widget) return false;
  RaiseWindow(widget);
  if (widget->isWindow()) widget->activateWindow();
  return true;
}
bool TControlHost::HostSetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!widget) return false;
  if (widget->isWindow() && !(flags & SWP_NOZORDER)) {
    bool top = insertAfter == HWND_TOPMOST;
    bool notTop = insertAfter == HWND_NOTOPMOST;
    if (top || notTop) {
      SetStaysOnTop(widget, top);
    } else if (insertAfter == HWND_TOP) {
      RaiseWindow(widget);
    } else if (insertAfter == HWND_BOTTOM) {
      widget->lower();
    }
  }
  TRect b = control->BoundsRect();
  int nx = (flags & SWP_NOMOVE) ? b.Left : x, ny = (flags & SWP_NOMOVE) ? b.Top : y;
  int nw = (flags & SWP_NOSIZE) ? b.Width() : cx, nh = (flags & SWP_NOSIZE) ? b.Height() : cy;
  control->SetBounds(nx, ny, nw, nh);
  if (flags & SWP_SHOWWINDOW) control->SetVisible(true);
  if (flags & SWP_HIDEWINDOW) control->SetVisible(false);
  return true;
}
bool TControlHost::HostGetWindowRect(RECT& rect) {
  TPoint o = control->ClientToScreen({0, 0});
  rect.left = o.x;
  rect.top = o.y;
  rect.right = o.x + control->Width();
  rect.bottom = o.y + control->Height();
  return true;
}
bool TControlHost::HostIsVisible() {
  return control->Showing();
}

// ---------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  g_alive.push_back(this);
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

// ---------------------------------------------------------------------------------------
// Drag and drop inside the program. One drag at a time; the source keeps the mouse
// capture, so every move and the release reach it wherever the pointer is.

struct TDragTracker {
  static constexpr Integer kDefaultThreshold = 5;
  TControl* source = nullptr;
  TControl* target = nullptr;
  bool active = false;
  bool accepted = false;
  TPoint start;
  Integer threshold = kDefaultThreshold;
  TCursor cursor = crDefault;
  bool overrideCursor = false;

  void ShowCursor(TCursor c) {
    cursor = c;
    if (!overrideCursor) {
      QApplication::setOverrideCursor(CursorOf(c));
      overrideCursor = true;
    } else {
      QApplication::changeOverrideCursor(CursorOf(c));
    }
  }
  void Reset() {
    if (overrideCursor) QApplication::restoreOverrideCursor();
    overrideCursor = false;
    TControl* s = source;
    source = target = nullptr;
    active = accepted = false;
    cursor = crDefault;
    if (s) s->SetMouseCapture(false);
  }
  // Asks the control under the screen point whether it takes the drag.
  void MoveTo(const TPoint& screen) {
    TControl* under = FindDragTarget(screen, false);
    if (under != target && target) {
      TControl* old = target;
      bool ignored = false;
      TPoint p = old->ScreenToClient(screen);
      Guarded(old, [&] { old->DragOver(source, p.x, p.y, dsDragLeave, ignored); });
    }
    // A handler may have ended the drag or destroyed the source.
    if (!source) return;
    TDragState state = under != target ? dsDragEnter : dsDragMove;
    target = under;
    accepted = false;
    if (target) {
      TControl* t = target;
      TPoint p = t->ScreenToClient(screen);
      bool accept = false;
      Guarded(t, [&] { t->DragOver(source, p.x, p.y, state, accept); });
      accepted = accept && target == t;
    }
    if (source) ShowCursor(accepted ? source->DragCursor() : crNoDrop);
  }
  void Finish(bool drop, const TPoint& screen) {
    TControl* src = source;
    TControl* tgt = target;
    bool ok = drop && accepted && tgt;
    // The drag is over before the handlers run: they may start another or show a dialog.
    Reset();
    TPoint tp = tgt ? tgt->ScreenToClient(screen) : TPoint{};
    if (ok) {
      // The drop handler may destroy either control; the end-of-drag notice then goes to
      // whichever is left.
      Guarded(tgt, [&] { tgt->DragDrop(src, tp.x, tp.y); });
      if (!Tracked(src)) return;
      if (!Tracked(tgt)) tgt = nullptr;
    }
    TPoint sp = src->ScreenToClient(screen);
    Guarded(src, [&] { src->DoEndDrag(ok ? tgt : nullptr, ok ? tp.x : sp.x, ok ? tp.y : sp.y); });
  }
  // Whether a control that took part is still alive (destructors unregister).
  static bool Tracked(TControl* c);
};

namespace {
TDragTracker g_drag;
}  // namespace

bool TDragTracker::Tracked(TControl* c) {
  return std::find(g_alive.begin(), g_alive.end(), c) != g_alive.end();
}

void CancelMouseMode(TControl* Also) {
  if (g_drag.source) g_drag.source->EndDrag(false);
  TControl* captured = g_capture;
  SetCaptureControl(nullptr);
  for (TControl* c : {captured, Also == captured ? nullptr : Also})
    if (c && TDragTracker::Tracked(c)) Guarded(c, [&] { c->Perform(CM_CANCELMODE, 0, 0); });
}

void TControl::BeginDrag(bool Immediate, Integer Threshold) {
  if (g_drag.source && g_drag.source != this) g_drag.Reset();
  g_drag.source = this;
  g_drag.target = nullptr;
  g_drag.accepted = false;
  g_drag.active = false;
  g_drag.start = Mouse->CursorPos();
  g_drag.threshold = Threshold < 0 ? TDragTracker::kDefaultThreshold : Threshold;
  SetMouseCapture(true);
  if (Immediate) {
    g_drag.active = true;
    g_drag.MoveTo(Mouse->CursorPos());
  }
}

void TControl::EndDrag(bool Drop) {
  if (g_drag.source != this) return;
  if (!g_drag.active) {
    g_drag.Reset();
    return;
  }
  g_drag.Finish(Drop, Mouse->CursorPos());
}

bool TControl::Dragging() const {
  return g_drag.source == this && g_drag.active;
}

TCursor DragCursorForTesting() {
  return g_drag.active ? g_drag.cursor : crDefault;
}

void TControl::DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) {
  Accept = false;
  if (OnDragOver) {
    Accept = true;
    OnDragOver(this, Source, X, Y, State, Accept);
  }
}
void TControl::DragDrop(TObject* Source, Integer X, Integer Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}
void TControl::DoEndDrag(TObject* Target, Integer X, Integer Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}
void TControl::DoContextPopup(const TPoint& MousePos, bool& Handled) {
  if (OnContextPopup) OnContextPopup(this, MousePos, Handled);
}

String TControl::TipAt(const TPoint&) {
  if (!showHint_ || hint_.empty()) return String();
  return GetShortHint(hint_);
}

String StripAccel(const String& t) {
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

String GetShortHint(const String& Hint) {
  std::size_t bar = Hint.find('|');
  return bar == String::npos ? Hint : Hint.substr(0, bar);
}
String GetLongHint(const String& Hint) {
  std::size_t bar = Hint.find('|');
  return bar == String::npos ? Hint : Hint.substr(bar + 1);
}

TWinControl* FindControl(HWND Handle) {
  auto it = g_byHandle.find(Handle);
  return it == g_byHandle.end() ? nullptr : it->second;
}

TControl::~TControl() {
  g_alive.erase(std::remove(g_alive.begin(), g_alive.end(), this), g_alive.end());
  // A drag never outlives its source, and a target that goes away is simply no target.
  if (g_drag.target == this) {
    g_drag.target = nullptr;
    g_drag.accepted = false;
  }
  if (g_drag.source == this) {
    g_drag.source = nullptr;
    g_drag.Reset();
  }
  if (g_capture == this) g_capture = nullptr;
  if (g_hover == this) g_hover = nullptr;
  if (parent_) parent_->RemoveControl(this);
  parent_ = nullptr;
}

void TControl::FontChanged() {
  if (!applyingParentFont_) parentFont_ = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  AWidth = std::max(0, AWidth);
  AHeight = std::max(0, AHeight);
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  TRect old = BoundsRect();
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  BoundsChanged(old);
  if (old.Width() != width_ || old.Height() != height_) {
    if (auto* wc = dynamic_cast<TWinControl*>(this)) wc->AlignControls();
    Resize();
  }
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::BoundsChanged(const TRect&) {}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

TPoint TControl::ClientOrigin() const {
  if (!parent_) return {left_, top_};
  TPoint p = parent_->ClientOrigin();
  return {p.x + left_, p.y + top_};
}
TPoint TControl::ClientToScreen(const TPoint& p) const {
  TPoint o = ClientOrigin();
  return {p.x + o.x, p.y + o.y};
}
TPoint TControl::ScreenToClient(const TPoint& p) const {
  TPoint o = ClientOrigin();
  return {p.x - o.x, p.y - o.y};
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  VisibilityChanged();
  Perform(CM_VISIBLECHANGED, v ? 1 : 0, 0);
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

bool TControl::Showing() const {
  if (!visible_) return false;
  if (auto* wc = dynamic_cast<const TWinControl*>(this)) {
    if (!parent_) {
      TControlHost* h = wc->Host();
      return h && h->widget && h->widget->isVisible();
    }
  }
  return parent_ ? parent_->Showing() : false;
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetAlign(TAlign v) {
  if (v == align_) return;
  align_ = v;
  if (parent_) parent_->AlignControls();
}

void TControl::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  parentColor_ = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool v) {
  if (v == parentColor_) return;
  parentColor_ = v;
  if (v && parent_) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetParentFont(bool v) {
  if (v == parentFont_) return;
  parentFont_ = v;
  if (v && parent_) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::SetText(const String& v) {
  if (v == text_) return;
  text_ = v;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetHint(const String& v) {
  hint_ = v;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}
void TControl::SetShowHint(bool v) {
  showHint_ = v;
  parentShowHint_ = false;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}
void TControl::SetParentShowHint(bool v) {
  parentShowHint_ = v;
  if (v && parent_) showHint_ = parent_->ShowHint();
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor v) {
  if (v == cursor_) return;
  cursor_ = v;
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::SetPopupMenu(TPopupMenu* v) {
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = v;
  if (v) v->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == popupMenu_) popupMenu_ = nullptr;
}

bool TControl::MouseCapture() const {
  return g_capture == this;
}
void TControl::SetMouseCapture(bool v) {
  if (v)
    g_capture = this;
  else if (g_capture == this)
    g_capture = nullptr;
}

void TControl::SetControlState(TControlStateItem Item, bool On) {
  if (On)
    controlState_.Include(Item);
  else
    controlState_.Exclude(Item);
}

TWinControl* TControl::TopLevel() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return const_cast<TWinControl*>(dynamic_cast<const TWinControl*>(c));
}

void TControl::BringToFront() {
  if (TWinControl* p = parent_) {
    p->RemoveControl(this);
    p->InsertControl(this);
  } else if (auto* wc = dynamic_cast<TWinControl*>(this)) {
    if (wc->Host()->widget) RaiseWindow(wc->Host()->widget);
  }
}

void TControl::SendToBack() {
  if (!parent_) return;
  TWinControl* p = parent_;
  p->RemoveControl(this);
  p->InsertControl(this);
  // InsertControl puts it on top; move it to the bottom of its kind.
  p->Host()->SendToBottom(this);
}

void TControl::Invalidate() {}
void TControl::Update() {}
void TControl::Repaint() {
  Invalidate();
  Update();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  WndProc(m);
  return m.Result;
}

void TControl::SetMessageHandler(UINT Msg, TMessageHandler Handler) {
  if (Handler)
    handlers_[Msg] = std::move(Handler);
  else
    handlers_.erase(Msg);
}

void TControl::WndProc(TMessage& Message) {
  if (!handlers_.empty()) {
    auto it = handlers_.find(Message.Msg);
    if (it != handlers_.end()) {
      // A copy: the handler may replace itself.
      TMessageHandler h = it->second;
      h(Message);
      return;
    }
  }
  Dispatch(Message);
}

void TControl::MouseMessage(TMessage& Message, TMouseButton Button, bool Down, bool Double) {
  int x = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(Message.LParam)));
  int y = static_cast<short>(HIWORD(static_cast<DWORD_PTR>(Message.LParam)));
  TShiftState shift = ShiftFromMessage(Message.WParam);
  if (Down) {
    if (controlStyle_.Contains(csCaptureMouse)) SetMouseCapture(true);
    if (Button == mbLeft) {
      controlState_.Include(csLButtonDown);
      // The second press of a double click makes no click of its own at the release.
      if (Double) {
        if (controlStyle_.Contains(csClickEvents)) DblClick();
      } else if (controlStyle_.Contains(csClickEvents)) {
        controlState_.Include(csClicked);
      }
    }
    if (Double) shift.Include(ssDouble);
    MouseDown(Button, shift, x, y);
    if (Button == mbLeft && dragMode_ == dmAutomatic && !g_drag.source && DragStartsAt(x, y))
      BeginDrag(false);
  } else {
    if (Button == mbLeft && g_drag.source == this) {
      if (g_drag.active) {
        // The release ends the drag: no click and no mouse-up for the source.
        controlState_.Exclude(csClicked);
        controlState_.Exclude(csLButtonDown);
        g_drag.Finish(true, ClientToScreen({x, y}));
        return;
      }
      g_drag.Reset();
    }
    bool clicked = Button == mbLeft && controlState_.Contains(csClicked);
    if (Button == mbLeft) {
      controlState_.Exclude(csClicked);
      controlState_.Exclude(csLButtonDown);
    }
    if (controlStyle_.Contains(csCaptureMouse) && !(Message.WParam & (MK_LBUTTON | MK_RBUTTON)))
      SetMouseCapture(false);
    if (clicked && PtInRect(ClientRect(), {x, y})) Click();
    MouseUp(Button, shift, x, y);
    if (Button == mbRight) {
      bool handled = false;
      DoContextPopup({x, y}, handled);
      if (!handled && popupMenu_ && popupMenu_->AutoPopup()) {
        TPoint s = ClientToScreen({x, y});
        popupMenu_->SetPopupComponent(this);
        popupMenu_->Popup(s.x, s.y);
      }
    }
  }
}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDOWN:
      MouseMessage(Message, mbLeft, true, false);
      return;
    case WM_LBUTTONDBLCLK:
      MouseMessage(Message, mbLeft, true, controlStyle_.Contains(csDoubleClicks));
      return;
    case WM_LBUTTONUP:
      MouseMessage(Message, mbLeft, false, false);
      return;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseMessage(Message, mbRight, true, false);
      return;
    case WM_RBUTTONUP:
      MouseMessage(Message, mbRight, false, false);
      return;
    case WM_MBUTTONDOWN:
      MouseMessage(Message, mbMiddle, true, false);
      return;
    case WM_MBUTTONUP:
      MouseMessage(Message, mbMiddle, false, false);
      return;
    case WM_MOUSEMOVE: {
      int x = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(Message.LParam)));
      int y = static_cast<short>(HIWORD(static_cast<DWORD_PTR>(Message.LParam)));
      if (g_drag.source == this) {
        TPoint screen = ClientToScreen({x, y});
        if (!g_drag.active && (std::abs(screen.x - g_drag.start.x) > g_drag.threshold ||
                               std::abs(screen.y - g_drag.start.y) > g_drag.threshold))
          g_drag.active = true;
        if (g_drag.active) {
          g_drag.MoveTo(screen);
          return;
        }
      }
      MouseMove(ShiftFromMessage(Message.WParam), x, y);
      return;
    }
    case CM_MOUSEENTER:
      CMMouseEnter(Message);
      return;
    case CM_MOUSELEAVE:
      CMMouseLeave(Message);
      return;
    case CM_ENABLEDCHANGED:
      CMEnabledChanged(Message);
      return;
    case CM_VISIBLECHANGED:
      CMVisibleChanged(Message);
      return;
    case CM_FONTCHANGED:
      CMFontChanged(Message);
      return;
    case CM_TEXTCHANGED:
      CMTextChanged(Message);
      return;
    case CM_COLORCHANGED:
      CMColorChanged(Message);
      return;
    case CM_PARENTFONTCHANGED:
      CMParentFontChanged(Message);
      return;
    case CM_PARENTCOLORCHANGED:
      CMParentColorChanged(Message);
      return;
    case CM_CANCELMODE:
      CMCancelMode(Message);
      return;
    default:
      DefaultHandler(Message);
  }
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::CMMouseEnter(TMessage&) {}
void TControl::CMMouseLeave(TMessage&) {}
void TControl::CMEnabledChanged(TMessage&) {
  Invalidate();
}
void TControl::CMVisibleChanged(TMessage&) {}
void TControl::CMFontChanged(TMessage&) {
  Invalidate();
}
void TControl::CMTextChanged(TMessage&) {
  Invalidate();
}
void TControl::CMColorChanged(TMessage&) {
  Invalidate();
}
void TControl::CMParentFontChanged(TMessage&) {
  if (parentFont_ && parent_) {
    applyingParentFont_ = true;
    font_->Assign(parent_->Font());
    applyingParentFont_ = false;
  }
}
void TControl::CMCancelMode(TMessage&) {
  controlState_.Exclude(csClicked);
  controlState_.Exclude(csLButtonDown);
}

void TControl::CMParentColorChanged(TMessage&) {
  if (parentColor_ && parent_) {
    color_ = parent_->Color();
    Perform(CM_COLORCHANGED, 0, 0);
    parentColor_ = true;
  }
}

// ---------------------------------------------------------------------------------------
// TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}

TGraphicControl::~TGraphicControl() {
  if (parent_) parent_->InvalidateRect(BoundsRect());
}

TCanvas* TGraphicControl::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  if (!painting_) {
    if (parent_)
      canvas_->AttachSurface(parent_->Surface(), {left_, top_}, BoundsRect());
    else
      canvas_->DetachSurface();
  }
  return canvas_.get();
}

void TGraphicControl::PaintInto(TSurface* Surface, const TRect& Clip) {
  TRect area;
  if (!IntersectRect(area, Clip, BoundsRect())) return;
  Canvas();
  canvas_->AttachSurface(Surface, {left_, top_}, area);
  painting_ = true;
  try {
    Paint();
  } catch (...) {
    painting_ = false;
    throw;
  }
  painting_ = false;
}

void TGraphicControl::Invalidate() {
  if (parent_ && Visible()) parent_->InvalidateRect(BoundsRect());
}

void TGraphicControl::Update() {
  if (parent_) parent_->Update();
}

void TGraphicControl::BoundsChanged(const TRect& Old) {
  if (parent_ && Visible()) {
    parent_->InvalidateRect(Old);
    parent_->InvalidateRect(BoundsRect());
  }
}

void TGraphicControl::VisibilityChanged() {
  if (parent_) parent_->InvalidateRect(BoundsRect());
}

// ---------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner)
    : TControl(AOwner), host_(std::make_unique<TControlHost>()) {
  EnsureQtApplication();
  host_->control = this;
  host_->widget = new TQtWidget(this);
  host_->widget->hide();
  host_->surface.widget = host_->widget;
}

TWinControl::~TWinControl() {
  // The owned timers stop before the children go: a tick while a child is deleted must not
  // reach a handler that uses it.
  Destroying();
  // Children go with their parent, whoever owns them.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    RemoveControl(c);
    delete c;
  }
  if (handle_) {
    HWND h = handle_;
    handle_ = 0;
    g_byHandle.erase(h);
    DestroyWindow(h);
  }
  if (parent_) parent_->RemoveControl(this);
  g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), this), g_topLevels.end());
  if (g_capture == this) g_capture = nullptr;
  if (g_hover == this) g_hover = nullptr;
  delete host_->widget.data();
  host_->surface.widget = nullptr;
}

HWND TWinControl::Handle() {
  if (!handle_) {
    handle_ = CreateWindowWithProc(
        [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
          TMessage m;
          m.Msg = msg;
          m.WParam = w;
          m.LParam = l;
          // The control's own guard: a handler's exception is reported here and the
          // message answers 0, whichever road the message took.
          try {
            WndProc(m);
          } catch (...) {
            HandleExceptionNow(this);
            return 0;
          }
          return m.Result;
        },
        host_.get());
    if (!handle_) throw EOutOfResources("Error creating window");
    g_byHandle[handle_] = this;
  }
  return handle_;
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (handle_)
    Message.Result = DefWindowProcA(handle_, Message.Msg, Message.WParam, Message.LParam);
}

TControl* TWinControl::Controls(Integer Index) const {
  if (Index < 0 || Index >= ControlCount()) ListIndexError(Index);
  return controls_[Index];
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->parent_ = this;
  // Windowed children always lie above the graphic ones.
  if (auto* wc = dynamic_cast<TWinControl*>(AControl)) {
    controls_.push_back(AControl);
    QWidget* w = wc->host_->widget;
    w->setParent(host_->widget);
    w->move(wc->left_, wc->top_);
    w->resize(std::max(1, wc->width_), std::max(1, wc->height_));
    w->setVisible(wc->Visible());
    w->raise();
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), wc), g_topLevels.end());
  } else {
    auto firstWin = std::find_if(controls_.begin(), controls_.end(), [](TControl* c) {
      return dynamic_cast<TWinControl*>(c) != nullptr;
    });
    controls_.insert(firstWin, AControl);
    if (AControl->Visible()) InvalidateRect(AControl->BoundsRect());
  }
  AControl->Perform(CM_PARENTFONTCHANGED, 0, 0);
  AControl->Perform(CM_PARENTCOLORCHANGED, 0, 0);
  if (AControl->ParentShowHint()) AControl->SetParentShowHint(true);
  if (AControl->Align() != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(controls_.begin(), controls_.end(), AControl);
  if (it == controls_.end()) return;
  controls_.erase(it);
  AControl->parent_ = nullptr;
  if (auto* wc = dynamic_cast<TWinControl*>(AControl)) {
    if (wc->host_->widget) {
      wc->host_->widget->hide();
      wc->host_->widget->setParent(nullptr);
    }
  } else if (AControl->Visible()) {
    InvalidateRect(AControl->BoundsRect());
  }
}

void TControlHost::SendToBottom(TControl* c) {
  auto& list = control->controls_;
  auto it = std::find(list.begin(), list.end(), c);
  if (it == list.end()) return;
  list.erase(it);
  if (auto* wc = dynamic_cast<TWinControl*>(c)) {
    auto firstWin = std::find_if(list.begin(), list.end(), [](TControl* x) {
      return dynamic_cast<TWinControl*>(x) != nullptr;
    });
    list.insert(firstWin, c);
    if (wc->host_->widget) wc->host_->widget->lower();
  } else {
    list.insert(list.begin(), c);
    control->InvalidateRect(c->BoundsRect());
  }
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    bool win = dynamic_cast<TWinControl*>(c) != nullptr;
    if (win && !AllowWinControls) continue;
    if (!c->Visible() || (!c->Enabled() && !AllowDisabled)) continue;
    if (PtInRect(c->BoundsRect(), Pos)) return c;
  }
  return nullptr;
}

void TWinControl::SetTabStop(bool v) {
  tabStop_ = v;
  host_->widget->setFocusPolicy(v ? Qt::StrongFocus : Qt::NoFocus);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  QWidget* w = host_->FocusWidget();
  // Focus lands only in the active window; make it active now rather than when the
  // window system gets round to it.
  if (w->window()->isVisible() && !w->window()->isActiveWindow())
    QApplication::setActiveWindow(w->window());
  w->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const {
  return host_->FocusWidget()->hasFocus();
}

TSurface* TWinControl::Surface() const {
  host_->EnsureSurface();
  return &host_->surface;
}

void TControlHost::EnsureSurface() {
  int w = std::max(0, control->ClientWidth()), h = std::max(0, control->ClientHeight());
  if (surface.image.width() == w && surface.image.height() == h) return;
  if (w == 0 || h == 0) {
    surface.image = QImage();
  } else {
    surface.image = QImage(w, h, QImage::Format_RGB32);
    surface.image.fill(ColorToPixel(control->Color()));
  }
  invalid = QRect(0, 0, w, h);
}

QWidget* TControlHost::FocusWidget() const {
  return inner ? inner.data() : widget.data();
}

TCanvas* TWinControl::SurfaceCanvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  if (!painting_) canvas_->AttachSurface(Surface(), {0, 0}, ClientRect());
  return canvas_.get();
}

void TWinControl::Invalidate() {
  host_->invalid = QRect(0, 0, ClientWidth(), ClientHeight());
  if (host_->widget) host_->widget->update();
}

void TWinControl::InvalidateRect(const TRect& R) {
  QRect r(R.Left, R.Top, R.Width(), R.Height());
  r = r.intersected(QRect(0, 0, ClientWidth(), ClientHeight()));
  if (r.isEmpty()) return;
  host_->invalid = host_->invalid.united(r);
  // All of what the next paint draws: the invalid area is kept as one rectangle.
  if (host_->widget) host_->widget->update(host_->invalid);
}

void TWinControl::Update() {
  Guarded(this, [&] { RenderPending(); });
  host_->ShowPainted();
  for (TControl* c : controls_)
    if (auto* wc = dynamic_cast<TWinControl*>(c)) wc->Update();
}

void TControlHost::ShowPainted() {
  QWidget* w = widget;
  if (!w || !w->isVisible() || surface.pendingCount == 0 || g_paintDepth > 0) return;
  // A window shown a moment ago is not on the screen until the window system says so; the
  // splash shows and paints before the event loop first runs, so wait for that here, once
  // per showing (a minimised window is never on the screen, and must not cost a wait at
  // every repaint). Input and the message queue stay where they are: only the window
  // system is heard.
  QWidget* top = w->window();
  auto* topWidget = dynamic_cast<TQtWidget*>(top);
  TControlHost* topHost = topWidget ? topWidget->Control()->Host() : nullptr;
  QWindow* win = top->windowHandle();
  if (topHost && topHost->awaitingScreen && win) {
    topHost->awaitingScreen = false;
    g_awaitingScreen = true;
    for (int i = 0; i < 200 && !win->isExposed(); ++i) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                      QEventLoop::ExcludeSocketNotifiers);
      if (!win->isExposed()) QThread::msleep(5);
    }
    g_awaitingScreen = false;
  }
  if (win && !win->isExposed()) return;
  // Paints the asked-for part and hands it to the window system before returning: not
  // held for the next frame.
  g_paintingNow = true;
  w->repaint(surface.PendingRegion());
  g_paintingNow = false;
}

void TWinControl::RenderPending() {
  host_->EnsureSurface();
  QRect inv = host_->invalid.intersected(QRect(0, 0, ClientWidth(), ClientHeight()));
  host_->invalid = QRect();
  if (inv.isEmpty() || host_->surface.image.isNull()) return;
  TRect clip{inv.left(), inv.top(), inv.right() + 1, inv.bottom() + 1};
  SurfaceCanvas();
  canvas_->AttachSurface(&host_->surface, {0, 0}, clip);
  painting_ = true;
  try {
    PaintWindow();
  } catch (...) {
    painting_ = false;
    throw;
  }
  painting_ = false;
  // Graphic children: each guarded on its own, so one failing paint leaves the others.
  for (TControl* c : std::vector<TControl*>(controls_)) {
    auto* g = dynamic_cast<TGraphicControl*>(c);
    if (!g || !g->Visible()) continue;
    Guarded(g, [&] { g->PaintInto(&host_->surface, clip); });
  }
  host_->surface.Touched(inv);
}

void TWinControl::PaintWindow() {
  TCanvas* c = SurfaceCanvas();
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(c->ClipRect());
}

TPoint TWinControl::ClientOrigin() const {
  QWidget* w = host_->widget;
  if (w && w->isWindow()) {
    QPoint p = w->mapToGlobal(QPoint(0, 0));
    if (!w->isVisible()) p = w->pos();
    return {p.x(), p.y()};
  }
  return TControl::ClientOrigin();
}

void TWinControl::SetText(const String& v) {
  TControl::SetText(v);
  if (host_->widget && host_->widget->isWindow())
    host_->widget->setWindowTitle(AnsiToQt(v));
}

void TWinControl::SetEnabled(bool v) {
  TControl::SetEnabled(v);
  host_->widget->setEnabled(v);
}

void TWinControl::BoundsChanged(const TRect& Old) {
  QWidget* w = host_->widget;
  if (w->isWindow()) {
    if (Old.Left != left_ || Old.Top != top_) w->move(left_, top_);
    w->resize(std::max(1, ClientWidth()), std::max(1, ClientHeight()));
  } else {
    w->setGeometry(left_, top_, std::max(1, width_), std::max(1, height_));
  }
  if (Old.Width() != width_ || Old.Height() != height_) {
    host_->EnsureSurface();
    Invalidate();
    // Controls that lay themselves out hear of the new client size as a window does.
    Perform(WM_SIZE, 0, MAKELPARAM(WORD(ClientWidth()), WORD(ClientHeight())));
  }
}

void TWinControl::GeometryChangedByUser() {
  QWidget* w = host_->widget;
  if (!w->isWindow() || !w->isVisible()) return;
  QRect g = w->geometry();
  QRect f = w->frameGeometry();
  int dw = width_ - ClientWidth(), dh = height_ - ClientHeight();
  if (f.x() == left_ && f.y() == top_ && g.width() + dw == width_ && g.height() + dh == height_)
    return;
  TControl::SetBounds(f.x(), f.y(), g.width() + dw, g.height() + dh);
}

void TWinControl::VisibilityChanged() {
  QWidget* w = host_->widget;
  if (w->isWindow()) {
    if (Visible()) {
      g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), this),
                        g_topLevels.end());
      g_topLevels.push_back(this);
      Invalidate();
      if (!w->isVisible()) host_->awaitingScreen = true;
      w->show();
      ShowStaysOnTop(w);
    } else {
      w->hide();
      if (g_capture && g_capture->Parent() == nullptr && g_capture == this) g_capture = nullptr;
    }
  } else {
    w->setVisible(Visible());
    if (Visible()) Invalidate();
  }
}

void TWinControl::MakeTopLevel() {
  QWidget* w = host_->widget;
  w->setParent(nullptr);
  w->setWindowFlags(Qt::Window);
}

void TWinControl::AlignControls() {
  TRect r = ClientRect();
  AlignControls(r);
}

void TWinControl::AlignControls(TRect& r) {
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
          r.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
          r.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
          r.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
          r.Right -= c->Width();
          break;
        case alClient:
          c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
          break;
        default:
          break;
      }
    }
  }
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_KEYDOWN:
    case WM_KEYUP: {
      Word key = Word(Message.WParam);
      TShiftState shift = KeyShift(g_modifiers);
      TWinControl* form = TopLevel();
      bool down = Message.Msg == WM_KEYDOWN;
      if (form && form != this && form->KeyPreviewing()) {
        if (down)
          form->KeyDown(key, shift);
        else
          form->KeyUp(key, shift);
      }
      if (key) {
        if (down)
          KeyDown(key, shift);
        else
          KeyUp(key, shift);
      }
      Message.Result = key == 0 ? 1 : 0;
      return;
    }
    case WM_CHAR: {
      char ch = char(Message.WParam);
      char orig = ch;
      TWinControl* form = TopLevel();
      if (form && form != this && form->KeyPreviewing()) form->KeyPress(ch);
      if (ch) KeyPress(ch);
      Message.Result = ch == 0 ? 1 : (ch != orig ? 2 : 0);
      Message.WParam = WPARAM(static_cast<unsigned char>(ch));
      return;
    }
    case CM_ENTER:
      if (OnEnter) OnEnter(this);
      return;
    case CM_EXIT:
      if (OnExit) OnExit(this);
      return;
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
      TControl::Dispatch(Message);
      for (TControl* c : std::vector<TControl*>(controls_))
        c->Perform(Message.Msg == CM_FONTCHANGED ? CM_PARENTFONTCHANGED : CM_PARENTCOLORCHANGED, 0,
                   0);
      return;
    case CM_SHOWHINTCHANGED:
      // Tips are asked for when the pointer rests (TipAt); children that follow the
      // parent's ShowHint hear of the change.
      for (TControl* c : std::vector<TControl*>(controls_))
        if (c->ParentShowHint()) c->SetParentShowHint(true);
      return;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_COMMAND:
    case WM_NOTIFY:
      // A child control's notice comes back to the child as a control notification.
      if (Message.LParam) {
        HWND child = Message.Msg == WM_NOTIFY ? 0 : HWND(Message.LParam);
        if (TWinControl* c = FindControl(child); c && c != this && c->Parent() == this) {
          Message.Result = c->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
          return;
        }
      }
      TControl::Dispatch(Message);
      return;
    case CM_CURSORCHANGED:
      host_->widget->setCursor(CursorOf(Cursor()));
      return;
    default:
      TControl::Dispatch(Message);
  }
}

void TWinControl::KeyDown(Word& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(Word& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

// ---------------------------------------------------------------------------------------
// TCustomControl

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}

void TCustomControl::PaintWindow() {
  TWinControl::PaintWindow();
  Paint();
}

// ---------------------------------------------------------------------------------------
// Mouse and tests

namespace {
TMouse g_mouse;
}
TMouse* Mouse = &g_mouse;

TPoint TMouse::CursorPos() const {
  return {g_cursorPos.x(), g_cursorPos.y()};
}
TControl* TMouse::Capture() const {
  return g_capture;
}
TControl* GetCaptureControl() {
  return g_capture;
}
void SetCaptureControl(TControl* Control) {
  g_capture = Control;
}

TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled) {
  for (auto it = g_topLevels.rbegin(); it != g_topLevels.rend(); ++it) {
    TWinControl* w = *it;
    if (!w->Showing()) continue;
    TPoint p = w->ScreenToClient(Pos);
    if (!PtInRect(w->ClientRect(), p)) continue;
    TWinControl* at = w;
    for (;;) {
      TPoint local = at->ScreenToClient(Pos);
      TControl* c = at->ControlAtPos(local, AllowDisabled, true);
      if (!c) return at;
      auto* inner = dynamic_cast<TWinControl*>(c);
      if (!inner) return c;
      at = inner;
    }
  }
  return nullptr;
}

TColor SurfacePixelForTesting(TWinControl* Control, Integer X, Integer Y) {
  Control->RenderPending();
  const QImage& img = Control->Surface()->image;
  if (X < 0 || Y < 0 || X >= img.width() || Y >= img.height()) return 0xFFFFFFFFu;
  return PixelToColor(img.pixel(X, Y));
}

TColor ScreenPixelForTesting(TWinControl* Control, Integer X, Integer Y) {
  QWidget* w = Control->Host()->widget;
  QWidget* top = w->window();
  QPoint at = w->mapTo(top, QPoint(X, Y));
  QWindow* win = top->windowHandle();
  if (!win || !win->handle()) return 0xFFFFFFFFu;
  QImage shot = top->screen()->grabWindow(win->winId(), at.x(), at.y(), 1, 1).toImage();
  if (shot.isNull() || shot.width() < 1) return 0xFFFFFFFFu;
  return PixelToColor(shot.pixel(0, 0));
}

std::uint64_t NativeWindowIdForTesting(TWinControl* Control) {
  // The QWindow's: Qt may make a new X window under the same widget.
  QWindow* win = Control->Host()->widget->window()->windowHandle();
  return win && win->handle() ? win->winId() : 0;
}

bool StaysOnTopForTesting(TWinControl* Control) {
  return StaysOnTop(Control->Host()->widget->window());
}

void SendMouseForTesting(TWinControl* Control, UINT Msg, Integer X, Integer Y, TShiftState Shift) {
  QWidget* w = Control->Host()->widget;
  QPointF local(X, Y);
  TPoint s = Control->ClientToScreen({X, Y});
  QPointF global(s.x, s.y);
  Qt::KeyboardModifiers mods;
  if (Shift.Contains(ssShift)) mods |= Qt::ShiftModifier;
  if (Shift.Contains(ssCtrl)) mods |= Qt::ControlModifier;
  if (Shift.Contains(ssAlt)) mods |= Qt::AltModifier;
  static Qt::MouseButtons held;
  QEvent::Type type = QEvent::MouseMove;
  Qt::MouseButton button = Qt::NoButton;
  switch (Msg) {
    case WM_LBUTTONDOWN:
      type = QEvent::MouseButtonPress;
      button = Qt::LeftButton;
      break;
    case WM_LBUTTONDBLCLK:
      type = QEvent::MouseButtonDblClick;
      button = Qt::LeftButton;
      break;
    case WM_LBUTTONUP:
      type = QEvent::MouseButtonRelease;
      button = Qt::LeftButton;
      break;
    case WM_RBUTTONDOWN:
      type = QEvent::MouseButtonPress;
      button = Qt::RightButton;
      break;
    case WM_RBUTTONUP:
      type = QEvent::MouseButtonRelease;
      button = Qt::RightButton;
      break;
    default:
      break;
  }
  if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) held |= button;
  if (type == QEvent::MouseButtonRelease) held &= ~Qt::MouseButtons(button);
  if (Shift.Contains(ssLeft)) held |= Qt::LeftButton;
  // While a button is held the widget that took the press keeps getting the events, as
  // the window system's implicit grab does.
  static QPointer<QWidget> grab;
  QWidget* target = w;
  if (grab && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) {
    target = grab;
    QPoint g = target->mapFromGlobal(global.toPoint());
    local = QPointF(g);
  }
  QMouseEvent ev(type, local, local, global, button, held, mods);
  QApplication::sendEvent(target, &ev);
  if (type == QEvent::MouseButtonPress) grab = w;
  if (held == Qt::NoButton) grab = nullptr;
}

void SendKeyForTesting(TWinControl* Control, Word Key, char Ch, TShiftState Shift) {
  QWidget* w = Control->Host()->FocusWidget();
  Qt::KeyboardModifiers mods;
  if (Shift.Contains(ssShift)) mods |= Qt::ShiftModifier;
  if (Shift.Contains(ssCtrl)) mods |= Qt::ControlModifier;
  if (Shift.Contains(ssAlt)) mods |= Qt::AltModifier;
  QString text = Ch ? QString(AnsiCharToQt(Ch)) : QString();
  int qk = VKToQtKey(Key);
  QKeyEvent press(QEvent::KeyPress, qk, mods, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, qk, mods, text);
  QApplication::sendEvent(w, &release);
}
