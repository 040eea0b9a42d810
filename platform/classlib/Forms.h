// Forms, the application object and the screen.
//
// The event loop is Qt's; it also dispatches the platform's message queue of the GUI
// thread, so posted and sent window messages, window timers and calls from other threads
// run in order with the user's input. Every dispatch from the loop into the library
// catches what its handler throws and hands it to Application->HandleException: a
// message box with the error's text, then the program runs on. GUI thread only.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/Graphics.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

// A top-level window. A form class builds its controls in its constructor; OnCreate runs
// from AfterConstruction, which Application->CreateForm calls (a form made with `new`
// calls it itself once it is built). Left and Top are screen coordinates.
class TForm : public TCustomControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Runs OnCreate once; what it throws goes to the error report and creation goes on.
  void AfterConstruction();

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons v);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle v);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; }
  TWindowState WindowState() const;
  void SetWindowState(TWindowState v);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult v) { modalResult_ = v; }
  bool Active() const;

  void SetVisible(bool v) override;
  // Shows the form and brings it to the front, activated; a form already shown that
  // another window covers comes back over it.
  void Show();
  // Runs a nested event loop until ModalResult is set (Close sets mrCancel); answers it.
  TModalResult ShowModal();
  // Asks OnCloseQuery, then runs OnClose and does what its action says. Closing the
  // main form ends the program.
  void Close();
  virtual bool CloseQuery();
  // Deletes the form once the event loop is back from the handler that asked.
  void Release();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  void Paint() override;
  bool KeyPreviewing() const override { return keyPreview_; }
  bool CloseRequested() override;
  void Dispatch(TMessage& Message) override;
  void ActivationChanged(bool active) override;
  void ApplyWindowFlags();

 private:
  void PlaceOnFirstShow();
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TFormStyle formStyle_ = fsNormal;
  TPosition position_ = poDesigned;
  bool keyPreview_ = false;
  bool created_ = false;
  bool placed_ = false;
  bool modal_ = false;
  TModalResult modalResult_ = mrNone;
};

using TExceptionEvent = std::function<void(TObject* Sender, Exception* E)>;

// Help requests: a topic, or a topic shown in a small window beside the pointer.
constexpr Word HELP_CONTEXT = 0x0001;
constexpr Word HELP_CONTEXTPOPUP = 0x0008;
// Answers whether the request was served; CallHelp false keeps the help viewer out.
using THelpEvent = std::function<bool(Word Command, NativeInt Data, bool& CallHelp)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  const String& Title() const { return title_; }
  void SetTitle(const String& v) { title_ = v; }
  // Makes a form owned by the application; the first one made is the main form.
  template <typename T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    form->AfterConstruction();
    if (!mainForm_) mainForm_ = form;
  }
  TForm* MainForm() const { return mainForm_; }
  // Shows the main form and runs the event loop until Terminate; the forms are then
  // destroyed, as at the end of the program.
  void Run();
  // Dispatches everything that is waiting, then returns.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Tests: the next test starts with a running application and its error report in place
  // again, as if the program had just started, whatever the test before it did.
  void ResetForTesting();
  void Minimize();
  void Restore();
  // The application's own (hidden) window.
  HWND Handle();
  // Inside a catch block: OnException when assigned, else a message box with the error's
  // text. EAbort shows nothing.
  void HandleException(TObject* Sender);
  void ShowException(Exception* E);
  // A message box over the active form (see MessageBoxA).
  Integer MessageBox(const String& Text, const String& Caption, UINT Flags);

  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v) { showHint_ = v; }
  TColor HintColor() const { return hintColor_; }
  void SetHintColor(TColor v) { hintColor_ = v; }
  Integer HintPause() const { return hintPause_; }
  void SetHintPause(Integer v) { hintPause_ = v; }
  Integer HintHidePause() const { return hintHidePause_; }
  void SetHintHidePause(Integer v) { hintHidePause_ = v; }
  // The long hint of whatever the pointer is over (a control or a highlighted menu item);
  // OnHint follows each change.
  const String& Hint() const { return hint_; }
  void SetHint(const String& v) {
    if (v == hint_) return;
    hint_ = v;
    if (OnHint) OnHint(this);
  }
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool v) { showMainForm_ = v; }
  // Help: no help viewer runs on this platform, so a request goes to OnHelp alone and is
  // served when the handler says so.
  bool HelpCommand(Word Command, NativeInt Data);
  // HelpCommand(HELP_CONTEXT, Context).
  bool HelpContext(THelpContext Context) { return HelpCommand(HELP_CONTEXT, Context); }
  THelpEvent OnHelp;

  TExceptionEvent OnException;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  TNotifyEvent OnHint;

  // Library-internal.
  void FormClosed(TForm* Form);
  void ActiveChanged(bool Active);

 private:
  String title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  bool active_ = false;
  HWND handle_ = 0;
  bool showHint_ = true;
  TColor hintColor_ = clInfoBk;
  Integer hintPause_ = 500;
  Integer hintHidePause_ = 2500;
  bool showMainForm_ = true;
  String hint_;
};

extern TApplication* Application;

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;
  Integer Width() const;
  Integer Height() const;
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor v);
  HCURSOR Cursors(Integer Index) const;
  void SetCursors(Integer Index, HCURSOR Handle);
  Integer FormCount() const { return static_cast<Integer>(forms_.size()); }
  TForm* Forms(Integer Index) const;
  TForm* ActiveForm() const;

  // Library-internal.
  void AddForm(TForm* f);
  void RemoveForm(TForm* f);

 private:
  TCursor cursor_ = crDefault;
  std::vector<std::pair<Integer, HCURSOR>> cursors_;
  std::vector<TForm*> forms_;
};

extern TScreen* Screen;

// A cursor made from a picture, for the screen's cursor table: black and white pixels
// show, pixels of the picture's transparent colour (its bottom-left pixel unless fixed
// otherwise) let the screen through. The handle lives until the program ends. Raises
// EInvalidGraphic for an empty picture.
HCURSOR CreateCursorFromBitmap(TBitmap* Picture, Integer HotX, Integer HotY);
// The platform's call, for a WM_SETCURSOR handler: the window under the pointer shows the
// cursor (null: the arrow) until the pointer moves on. Answers the previous one.
HCURSOR SetCursor(HCURSOR Cursor);
// The cursor last set by SetCursor.
HCURSOR GetCursor();

// Puts the application's events on a form: every instance hears them.
class TApplicationEvents : public TComponent {
 public:
  explicit TApplicationEvents(TComponent* AOwner);
  ~TApplicationEvents() override;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;
  TExceptionEvent OnException;

  // Library-internal: all instances alive.
  static std::vector<TApplicationEvents*>& Instances();
};

// The form that a control sits on, or null.
TForm* GetParentForm(TControl* Control);
