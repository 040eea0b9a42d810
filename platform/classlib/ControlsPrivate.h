// Internal to the class library (never included by the system's folders): the Qt side of
// windowed controls.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QCursor>
#include <QRect>
#include <QWidget>

#include "classlib/Controls.h"
#include "classlib/GuiPrivate.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

// Runs a dispatch from Qt into the library: an exception is handed to the application's
// error report and goes no further, so none ever crosses the event loop.
template <typename F>
void Guarded(TObject* sender, F&& f) {
  try {
    f();
  } catch (...) {
    HandleExceptionNow(sender);
  }
}

// The Qt shape that shows a cursor number (the program's own cursors show as a hand).
Qt::CursorShape CursorShapeOf(TCursor c);
// The cursor a number shows: a picture put into the screen's cursor table under that
// number, else the shape above.
QCursor CursorOf(TCursor c);

// Ends what a press began when its release will not come: the capture and a drag end,
// and the captured control and Also (when alive) hear CM_CANCELMODE.
void CancelMouseMode(TControl* Also);

// The control took the focus: CM_ENTER to it, CM_FOCUSCHANGED to its whole window.
void FocusArrived(TWinControl* control);

// A repaint is waiting for its window to reach the screen; work deferred to the event
// loop (a form's Release) waits for the loop proper, not this wait.
bool AwaitingScreen();

// Puts a window on top of the others.
void RaiseWindow(QWidget* w);
// Gives a top-level window new flags. A change of staying on top alone keeps the window
// the window system has, so it keeps its place and identity.
void SetTopLevelFlags(QWidget* w, Qt::WindowFlags f);
// The virtual key of a Qt key, 0 for a key the library does not name.
Word QtKeyToVK(int key);
// Staying on top of other windows (StayOnTop.cpp): whether the window asks for it, asking
// for it or not, and asking again when the window shows (the window system forgets it
// while the window is hidden). The flags a window is made with leave staying on top out
// where it is asked for separately.
bool StaysOnTop(QWidget* w);
void SetStaysOnTop(QWidget* w, bool on);
void ShowStaysOnTop(QWidget* w);
Qt::WindowFlags WithoutStayOnTopOnX11(Qt::WindowFlags f);

// What a key press did: consumed by a handler (the widget must not see it), and the
// character a handler put in place of the typed one (0: none).
struct TKeyRoute {
  bool consumed = false;
  bool replaced = false;
  char replacement = 0;
};
// Hands a key event to the control as WM_KEYDOWN or WM_KEYUP (and WM_CHAR for a typed
// character on a press).
TKeyRoute RouteKey(TWinControl* control, UINT msg, QKeyEvent* e);

// The widget of a windowed control: shows its surface and turns Qt's input into the
// platform's messages.
class TQtWidget : public QWidget {
 public:
  explicit TQtWidget(TWinControl* control);
  TWinControl* Control() const { return control_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent*) override;
  void wheelEvent(QWheelEvent* e) override;
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent*) override;
  void focusOutEvent(QFocusEvent*) override;
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void moveEvent(QMoveEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  void RouteMouse(UINT msg, QMouseEvent* e);
  void AskCursor();
  bool PaceFrame();
  TWinControl* control_;
  // A window shows its drawing at most once a frame: when it last did, and whether a
  // frame waits for its time.
  QElapsedTimer lastFrame_;
  bool frameWaiting_ = false;
};

struct TControlHost : public WindowHost {
  TWinControl* control = nullptr;
  QPointer<QWidget> widget;
  // A Qt control inside the widget that takes the focus and keys (an edit box).
  QPointer<QWidget> inner;
  TSurface surface;
  // The part of the client area waiting to be painted.
  QRect invalid;
  // A window shown and not yet on the screen: the next repaint waits for it once.
  bool awaitingScreen = false;

  void EnsureSurface();
  // Puts what was drawn into the surface on the screen now.
  void ShowPainted();
  QWidget* FocusWidget() const;
  void SendToBottom(TControl* c);
  bool CloseRequested() { return control->CloseRequested(); }
  void ActivationChanged(bool active) { control->ActivationChanged(active); }
  void GeometryChanged() { control->GeometryChangedByUser(); }
  bool KeyPreviewing(TWinControl* form) { return form->KeyPreviewing(); }

  bool HostShowWindow(int cmdShow) override;
  bool HostBringToTop() override;
  bool HostSetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) override;
  bool HostGetWindowRect(RECT& rect) override;
  bool HostIsVisible() override;
};

// The vertical scroll bar that the self-drawn lists paint at their right edge when their
// rows do not fit: arrows at both ends, the track, a thumb sized to the part shown. Rows
// are counted: count in all, page the number that fit, first the first one shown.
struct TVScrollBar {
  static constexpr int kWidth = 16;
  static bool Needed(int count, int page) { return count > page; }
  static void Paint(TCanvas* c, const TRect& r, int first, int count, int page);
  static TRect Thumb(const TRect& r, int first, int count, int page);
  // The first row after a press at y (arrows step a row, the track a page); onThumb tells
  // that the thumb was taken instead.
  static int Press(const TRect& r, int y, int first, int count, int page, bool& onThumb);
  // The first row when the thumb's top is dragged to y.
  static int FirstForThumb(const TRect& r, int y, int count, int page);
};
