// Controls: the windowless graphic control, the windowed control with a surface and a
// window handle of its own, and the custom control with a canvas.
//
// A windowed control keeps the picture of its client area in a surface. Painting (the
// control's Paint, then its graphic children in z-order) renders into that surface; a
// canvas used outside of painting draws straight into it and shows at the next turn of the
// event loop; a repaint renders again and so wipes what was drawn directly. Everything here
// is GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "classlib/Types.h"
#include "win32/Messages.h"

// ---------------------------------------------------------------------------------------
// Control messages: notices the library sends its controls by number.

constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_GOTFOCUS = CM_BASE + 2;
constexpr UINT CM_LOSTFOCUS = CM_BASE + 3;
constexpr UINT CM_CANCELMODE = CM_BASE + 4;
constexpr UINT CM_DIALOGKEY = CM_BASE + 5;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_HITTEST = CM_BASE + 10;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 12;
constexpr UINT CM_COLORCHANGED = CM_BASE + 13;
constexpr UINT CM_FONTCHANGED = CM_BASE + 14;
constexpr UINT CM_CURSORCHANGED = CM_BASE + 15;
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 16;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
constexpr UINT CM_BUTTONPRESSED = CM_BASE + 24;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;
constexpr UINT CM_ENTER = CM_BASE + 26;
constexpr UINT CM_EXIT = CM_BASE + 27;
constexpr UINT CM_RELEASE = CM_BASE + 33;
constexpr UINT CM_SHOWHINTCHANGED = CM_BASE + 34;
constexpr UINT CM_PARENTSHOWHINTCHANGED = CM_BASE + 35;
constexpr UINT CM_BIDIMODECHANGED = CM_BASE + 60;

// Control notifications: what the platform's controls tell their parent (scroll, command,
// notify) is handed back to the control itself as the same number plus CN_BASE.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;

// Scroll codes of WM_HSCROLL and WM_VSCROLL (low word of WParam; the position is the high
// word).
constexpr WORD SB_LINEUP = 0;
constexpr WORD SB_LINEDOWN = 1;
constexpr WORD SB_PAGEUP = 2;
constexpr WORD SB_PAGEDOWN = 3;
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_THUMBTRACK = 5;
constexpr WORD SB_TOP = 6;
constexpr WORD SB_BOTTOM = 7;
constexpr WORD SB_ENDSCROLL = 8;

// Window styles that controls put in their creation parameters.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_TABSTOP = 0x00010000;

// How a control's window is made: the style bits a class adds decide how it behaves.
struct TCreateParams {
  String Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  Integer X = 0, Y = 0, Width = 0, Height = 0;
};

// Mouse key flags of the mouse messages' WParam.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_SHIFT = 0x0004;
constexpr WPARAM MK_CONTROL = 0x0008;
constexpr WPARAM MK_MBUTTON = 0x0010;

// Virtual key codes of the key events.
constexpr Word VK_BACK = 8;
constexpr Word VK_TAB = 9;
constexpr Word VK_RETURN = 13;
constexpr Word VK_SHIFT = 16;
constexpr Word VK_CONTROL = 17;
constexpr Word VK_MENU = 18;
constexpr Word VK_PAUSE = 19;
constexpr Word VK_ESCAPE = 27;
constexpr Word VK_SPACE = 32;
constexpr Word VK_PRIOR = 33;
constexpr Word VK_NEXT = 34;
constexpr Word VK_END = 35;
constexpr Word VK_HOME = 36;
constexpr Word VK_LEFT = 37;
constexpr Word VK_UP = 38;
constexpr Word VK_RIGHT = 39;
constexpr Word VK_DOWN = 40;
constexpr Word VK_INSERT = 45;
constexpr Word VK_DELETE = 46;
constexpr Word VK_NUMPAD0 = 96;
constexpr Word VK_MULTIPLY = 106;
constexpr Word VK_ADD = 107;
constexpr Word VK_SUBTRACT = 109;
constexpr Word VK_DECIMAL = 110;
constexpr Word VK_DIVIDE = 111;
constexpr Word VK_F1 = 112;
constexpr Word VK_F2 = 113;
constexpr Word VK_F3 = 114;
constexpr Word VK_F4 = 115;
constexpr Word VK_F5 = 116;
constexpr Word VK_F6 = 117;
constexpr Word VK_F7 = 118;
constexpr Word VK_F8 = 119;
constexpr Word VK_F9 = 120;
constexpr Word VK_F10 = 121;
constexpr Word VK_F11 = 122;
constexpr Word VK_F12 = 123;

// Results of modal forms and message dialogs.
using TModalResult = Integer;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

// Cursors: negative numbers are the built-in shapes; programs add their own (positive
// numbers) to the screen's table.
using TCursor = Smallint;
using HCURSOR = void*;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TControlStateItem {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint
};
using TControlState = TSet<TControlStateItem>;
enum TControlStyleItem {
  csAcceptsControls,
  csCaptureMouse,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoStdEvents
};
using TControlStyle = TSet<TControlStyleItem>;

class TWinControl;
struct TControlHost;

// The popup menu a control shows on a right click (the menus unit).
class TPopupMenu;

enum TDragMode { dmManual, dmAutomatic };
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
// The drag that Source started ended over Target (null: dropped nowhere or refused).
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
// A right click asks for the context menu at MousePos (client coordinates); a handler that
// sets Handled keeps the popup menu from showing.
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;

// A handler of one message number, registered on a control (forms use it for the
// messages other programs send them).
using TMessageHandler = std::function<void(TMessage& Message)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* AParent);

  Integer Left() const { return left_; }
  Integer Top() const { return top_; }
  Integer Width() const { return width_; }
  Integer Height() const { return height_; }
  void SetLeft(Integer v) { SetBounds(v, top_, width_, height_); }
  void SetTop(Integer v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(Integer v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(Integer v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }
  virtual Integer ClientWidth() const { return width_; }
  virtual Integer ClientHeight() const { return height_; }
  virtual void SetClientWidth(Integer v) { SetWidth(v); }
  virtual void SetClientHeight(Integer v) { SetHeight(v); }
  // Where the client area's (0, 0) lies on the screen.
  virtual TPoint ClientOrigin() const;
  TPoint ClientToScreen(const TPoint& p) const;
  TPoint ScreenToClient(const TPoint& p) const;

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible itself and every parent up to a shown form.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign v);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* v) { font_->Assign(v); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  const String& Caption() const { return text_; }
  void SetCaption(const String& v) { SetText(v); }
  const String& Text() const { return text_; }
  virtual void SetText(const String& v);
  const String& Hint() const { return hint_; }
  void SetHint(const String& v);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool v);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v);
  // Right-to-left reading needs a locale that reads so; this platform's never does, so
  // the mode is kept and announced (CM_BIDIMODECHANGED) but nothing is mirrored.
  TBiDiMode BiDiMode() const { return biDiMode_; }
  void SetBiDiMode(TBiDiMode v) {
    if (v == biDiMode_) return;
    biDiMode_ = v;
    Perform(CM_BIDIMODECHANGED, 0, 0);
  }
  bool UseRightToLeftAlignment() const { return false; }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* v);
  TControlState ControlState() const { return controlState_; }
  TControlStyle ControlStyle() const { return controlStyle_; }
  void SetControlStyle(TControlStyle v) { controlStyle_ = v; }
  // While set, every mouse message goes to this control wherever the pointer is.
  bool MouseCapture() const;
  void SetMouseCapture(bool v);

  void BringToFront();
  void SendToBack();
  // Marks the control's area for painting at the next turn of the event loop.
  virtual void Invalidate();
  // Paints what is marked, now, and shows it on the screen before returning.
  virtual void Update();
  // Invalidate and Update: the area is painted again and on the screen at once.
  virtual void Repaint();
  void Refresh() { Repaint(); }

  // Runs the control's message handling directly and answers the result.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // All of a control's messages pass here: a handler registered for the number runs,
  // else Dispatch.
  virtual void WndProc(TMessage& Message);
  // The library's own handling by message number; a registered handler that wants the
  // inherited behaviour calls it.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);
  void SetMessageHandler(UINT Msg, TMessageHandler Handler);

  // Drag and drop between the controls of the program. With dmAutomatic a left press
  // starts a drag once the pointer has moved more than the threshold (5 pixels); the
  // control under the pointer is asked through OnDragOver whether it takes the drag, gets
  // OnDragDrop when the button is released over it, and the source hears OnEndDrag.
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode v) { dragMode_ = v; }
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor v) { dragCursor_ = v; }
  // Threshold below 0: the default. Immediate starts the drag at once.
  void BeginDrag(bool Immediate, Integer Threshold = -1);
  // Drop: over the current target when it accepts; else the drag is cancelled.
  void EndDrag(bool Drop);
  bool Dragging() const;

  // Library-internal: the tip text shown when the pointer rests at the client point (empty:
  // none).
  virtual String TipAt(const TPoint& P);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;
  TContextPopupEvent OnContextPopup;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void MouseMove(TShiftState Shift, Integer X, Integer Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void Resize();
  // Asked while a drag is over the control: Accept starts true when OnDragOver is
  // assigned, else false.
  virtual void DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept);
  virtual void DragDrop(TObject* Source, Integer X, Integer Y);
  virtual void DoEndDrag(TObject* Target, Integer X, Integer Y);
  virtual void DoContextPopup(const TPoint& MousePos, bool& Handled);
  // Whether a left press at the point may start an automatic drag (a control's own scroll
  // bar, for one, is not a place to drag from).
  virtual bool DragStartsAt(Integer, Integer) { return true; }
  virtual void CMMouseEnter(TMessage& Message);
  virtual void CMMouseLeave(TMessage& Message);
  virtual void CMEnabledChanged(TMessage& Message);
  virtual void CMVisibleChanged(TMessage& Message);
  virtual void CMFontChanged(TMessage& Message);
  virtual void CMTextChanged(TMessage& Message);
  virtual void CMColorChanged(TMessage& Message);
  virtual void CMParentFontChanged(TMessage& Message);
  virtual void CMParentColorChanged(TMessage& Message);
  // What a press began ends without its release (the release went to a box or menu that a
  // handler opened, or the release's handler failed): a control drops its pressed state.
  virtual void CMCancelMode(TMessage& Message);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetControlState(TControlStateItem Item, bool On);
  // The bounds changed: windowed controls move their widget, graphic ones repaint.
  virtual void BoundsChanged(const TRect& Old);
  virtual void VisibilityChanged() {}
  // The form this control sits on, or null.
  TWinControl* TopLevel() const;

  TWinControl* parent_ = nullptr;
  Integer left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TControlStyle controlStyle_{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};

 private:
  friend class TWinControl;
  friend struct TDragTracker;
  void MouseMessage(TMessage& Message, TMouseButton Button, bool Down, bool Double);
  void FontChanged();

  bool visible_ = true;
  bool enabled_ = true;
  TAlign align_ = alNone;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  bool applyingParentFont_ = false;
  String text_;
  String hint_;
  bool showHint_ = false;
  bool parentShowHint_ = true;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
  TDragMode dragMode_ = dmManual;
  TBiDiMode biDiMode_ = bdLeftToRight;
  TCursor dragCursor_ = crDrag;
  TControlState controlState_;
  std::unordered_map<UINT, TMessageHandler> handlers_;
};

// A control without a window of its own: it paints into its parent's surface, through a
// canvas placed and clipped to its bounds, during the parent's painting.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas();
  void Invalidate() override;
  void Update() override;

  // Library-internal: paints into the parent's surface, clipped to Clip (parent client
  // coordinates).
  void PaintInto(TSurface* Surface, const TRect& Clip);

 protected:
  virtual void Paint() {}
  void BoundsChanged(const TRect& Old) override;
  void VisibilityChanged() override;

 private:
  std::unique_ptr<TCanvas> canvas_;
  bool painting_ = false;
};

// A control with a window: a widget of its own, a surface holding the picture of its
// client area, a platform window handle made on first use, focus, keys and children.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The platform window handle; the window's procedure is this control's WndProc, so
  // messages sent to it by number (from this thread, other threads or other programs)
  // reach the control's handlers.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != 0; }
  void HandleNeeded() { Handle(); }

  Integer ControlCount() const { return static_cast<Integer>(controls_.size()); }
  // Children in z-order, bottom first: graphic controls, then windowed ones.
  TControl* Controls(Integer Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // The topmost visible child at the point (client coordinates); disabled ones only when
  // asked.
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false);

  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v);
  Integer TabOrder() const { return tabOrder_; }
  void SetTabOrder(Integer v) { tabOrder_ = v; }
  virtual bool CanFocus() const;
  virtual void SetFocus();
  bool Focused() const;

  void Invalidate() override;
  void Update() override;
  // Marks part of the client area for painting (a graphic child's bounds).
  void InvalidateRect(const TRect& R);
  TPoint ClientOrigin() const override;
  void SetText(const String& v) override;
  void SetEnabled(bool v) override;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  // Library-internal.
  TControlHost* Host() const { return host_.get(); }
  TSurface* Surface() const;
  // Renders the marked part of the client area into the surface.
  void RenderPending();
  // Lays the aligned children out again, within the rectangle AlignControls(Rect) makes of
  // the client area.
  void AlignControls();

 protected:
  // Places the aligned children in Rect, the client rectangle at first. A control that
  // draws a border of its own inside its client area narrows Rect, then calls this.
  virtual void AlignControls(TRect& Rect);
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  virtual void KeyDown(Word& Key, TShiftState Shift);
  virtual void KeyUp(Word& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  // Paints the client area: fills it with Color; custom controls add their Paint.
  virtual void PaintWindow();
  // A canvas on the surface (custom controls and forms publish it).
  TCanvas* SurfaceCanvas();
  void BoundsChanged(const TRect& Old) override;
  void VisibilityChanged() override;
  // Makes the widget a top-level window (forms) instead of a child.
  void MakeTopLevel();
  // Forms see their own key events first when this answers true.
  virtual bool KeyPreviewing() const { return false; }
  // The window system asks to close the window; answers whether it may go.
  virtual bool CloseRequested() { return true; }
  // The window became the active one or stopped being it.
  virtual void ActivationChanged(bool) {}
  // The window was moved or resized by the window system.
  virtual void GeometryChangedByUser();
  bool painting_ = false;

 private:
  friend struct TControlHost;
  std::unique_ptr<TControlHost> host_;
  std::unique_ptr<TCanvas> canvas_;
  std::vector<TControl*> controls_;
  HWND handle_ = 0;
  bool tabStop_ = false;
  Integer tabOrder_ = 0;
};

// A windowed control with a canvas and a Paint of its own.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  TCanvas* Canvas() { return SurfaceCanvas(); }

 protected:
  virtual void Paint() {}
  void PaintWindow() override;
};

// The mouse: where the pointer is, in screen coordinates.
class TMouse {
 public:
  TPoint CursorPos() const;
  TControl* Capture() const;
};
extern TMouse* Mouse;

// What a form description does for one control: makes it, owned by Owner, names it and
// places it on Parent at the given bounds.
template <typename T>
T* CreateControl(TComponent* Owner, TWinControl* Parent, const String& Name, Integer Left,
                 Integer Top, Integer Width, Integer Height) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}

// The windowed control whose window handle this is, or null.
TWinControl* FindControl(HWND Handle);
// The short part of a hint ("short|long"): what a tip shows; the long part is what the
// application's hint shows.
String GetShortHint(const String& Hint);
// A caption as shown: each "&" that marks the next letter as the accelerator is dropped,
// "&&" shows as one "&". Labels, buttons and menu items all show their captions so.
String StripAccel(const String& Text);
String GetLongHint(const String& Hint);
// Tests: the cursor a drag in progress shows (crDefault when none is in progress).
TCursor DragCursorForTesting();

// The control under a screen point: the deepest child of the window there.
TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled);
// The control that gets mouse messages while the mouse is captured, or null.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);

// Tests: reads the surface of a windowed control after painting what is pending.
TColor SurfacePixelForTesting(TWinControl* Control, Integer X, Integer Y);
// Tests: what the window system shows at a client point of the control (0xFFFFFFFF when
// it shows nothing there), without painting or turning the event loop.
TColor ScreenPixelForTesting(TWinControl* Control, Integer X, Integer Y);
// Tests: the window system's identity of the control's window (0 when it has none yet),
// and whether the window stays on top of others.
std::uint64_t NativeWindowIdForTesting(TWinControl* Control);
bool StaysOnTopForTesting(TWinControl* Control);
// Tests: delivers a real mouse event to the control's widget at client point (X, Y), as
// the window system would. Msg is one of WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP,
// WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP; Shift adds held keys.
void SendMouseForTesting(TWinControl* Control, UINT Msg, Integer X, Integer Y,
                         TShiftState Shift = {});
// Tests: delivers a key press (and its release) to the focused control of the window,
// Ch being the character typed (0 for none).
void SendKeyForTesting(TWinControl* Control, Word Key, char Ch, TShiftState Shift = {});
