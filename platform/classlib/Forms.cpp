#include "classlib/Forms.h"

#include <QApplication>
#include <QCursor>
#include <QPixmap>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "classlib/ControlsPrivate.h"
#include "classlib/Dialogs.h"
#include "classlib/GuiPrivate.h"

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {

QApplication* g_qapp = nullptr;
// Forms alive, so a deferred Release never deletes one twice.
std::set<TForm*> g_liveForms;

void PumpPlatformQueue() {
  int code = 0;
  bool more = true;
  try {
    more = win32::PumpThreadMessages(&code);
  } catch (...) {
    HandleExceptionNow(Application);
  }
  if (!more) Application->Terminate();
}

void FireAppEvent(TNotifyEvent TApplication::*appEvent, TNotifyEvent TApplicationEvents::*evt) {
  if (Application->*appEvent) Guarded(Application, [&] { (Application->*appEvent)(Application); });
  for (TApplicationEvents* e : std::vector<TApplicationEvents*>(TApplicationEvents::Instances()))
    if (e->*evt) Guarded(e, [&] { (e->*evt)(e); });
}

// The window system's settings are made while the library loads: the environment may
// only change while a single thread runs, and by the first form the engine's threads read
// it (the sound libraries look up their settings there).
const bool g_windowSystemSet = [] {
  // Without a display Qt would abort; such a run (a service session, a test) draws
  // off-screen instead.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
      !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // On X, pictures handed over in shared memory make every paint of a window wait for the
  // server to finish with the last one (a round trip per paint); the small areas redrawn
  // many times a second (the level graph, the meters) cost less sent whole.
  setenv("QT_XCB_NO_MITSHM", "1", 0);
  return true;
}();

}  // namespace

void EnsureQtApplication() {
  if (g_qapp) return;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "kazpro";
    static char* argv[] = {name, nullptr};
    g_qapp = new QApplication(argc, argv);
  } else {
    g_qapp = qobject_cast<QApplication*>(QCoreApplication::instance());
  }
  // The program ends when its main form closes, not when its last window does.
  QApplication::setQuitOnLastWindowClosed(false);
  SetMainThreadID();
  // Also routes the platform's own dispatches (posted and cross-thread messages, timers).
  SetApplicationHandleException([](TObject* Sender) { Application->HandleException(Sender); });
  auto* notifier = new QSocketNotifier(win32::ThreadMessageFd(), QSocketNotifier::Read, g_qapp);
  QObject::connect(notifier, &QSocketNotifier::activated, g_qapp, [] { PumpPlatformQueue(); });
  QObject::connect(
      g_qapp, &QGuiApplication::applicationStateChanged, g_qapp,
      [](Qt::ApplicationState s) { Application->ActiveChanged(s == Qt::ApplicationActive); });
}

// ---------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* AOwner) : TCustomControl(AOwner) {
  MakeTopLevel();
  TCustomControl::SetVisible(false);
  SetParentFont(false);
  SetBounds(0, 0, 320, 240);
  ApplyWindowFlags();
  Screen->AddForm(this);
  g_liveForms.insert(this);
}

TForm::~TForm() {
  if (OnDestroy) Guarded(this, [&] { OnDestroy(this); });
  g_liveForms.erase(this);
  Screen->RemoveForm(this);
  Application->FormClosed(this);
}

void TForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  if (OnCreate) Guarded(this, [&] { OnCreate(this); });
}

void TForm::ApplyWindowFlags() {
  QWidget* w = Host()->widget;
  Qt::WindowFlags f = Qt::Window;
  switch (borderStyle_) {
    case bsNone:
      f |= Qt::FramelessWindowHint;
      break;
    // A form is a top-level window of its own, which the user can switch to. Qt's dialog
    // and tool kinds would make it a transient of the program's other windows: the window
    // manager then leaves it out of its task switcher and lets any other program's window
    // cover it for good. Only the frame's buttons tell these kinds apart.
    case bsDialog:
    case bsToolWindow:
    case bsSizeToolWin:
      f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
      break;
    default:
      break;
  }
  if (formStyle_ == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  SetTopLevelFlags(w, WithoutStayOnTopOnX11(f));
  SetStaysOnTop(w, formStyle_ == fsStayOnTop);
  w->move(Left(), Top());
}

void TForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  ApplyWindowFlags();
}
void TForm::SetBorderIcons(TBorderIcons v) {
  borderIcons_ = v;
}
void TForm::SetFormStyle(TFormStyle v) {
  if (v == formStyle_) return;
  formStyle_ = v;
  ApplyWindowFlags();
}

TWindowState TForm::WindowState() const {
  QWidget* w = Host()->widget;
  if (w->isMinimized()) return wsMinimized;
  if (w->isMaximized()) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState v) {
  QWidget* w = Host()->widget;
  if (!Visible()) return;
  if (v == wsMinimized)
    w->showMinimized();
  else if (v == wsMaximized)
    w->showMaximized();
  else
    w->showNormal();
}

bool TForm::Active() const {
  return Host()->widget->isActiveWindow();
}

void TForm::PlaceOnFirstShow() {
  if (placed_) return;
  placed_ = true;
  if (position_ == poScreenCenter || position_ == poDesktopCenter ||
      position_ == poMainFormCenter || position_ == poOwnerFormCenter)
    SetBounds((Screen->Width() - Width()) / 2, (Screen->Height() - Height()) / 2, Width(),
              Height());
}

void TForm::SetVisible(bool v) {
  if (v == Visible()) return;
  if (v) {
    PlaceOnFirstShow();
    TCustomControl::SetVisible(true);
    QWidget* w = Host()->widget;
    RaiseWindow(w);
    w->activateWindow();
    if (OnShow) OnShow(this);
  } else {
    TCustomControl::SetVisible(false);
    if (OnHide) OnHide(this);
  }
}

void TForm::Show() {
  if (!Visible()) {
    SetVisible(true);
    return;
  }
  QWidget* w = Host()->widget;
  RaiseWindow(w);
  w->activateWindow();
}

TModalResult TForm::ShowModal() {
  if (Visible()) throw EInvalidOperation("Cannot make a visible window modal");
  QWidget* w = Host()->widget;
  modal_ = true;
  modalResult_ = mrNone;
  w->setWindowModality(Qt::ApplicationModal);
  try {
    Show();
    for (;;) {
      // A program that is ending takes its modal forms down with it.
      if (Application->Terminated()) {
        modalResult_ = mrCancel;
        break;
      }
      if (modalResult_ != mrNone) {
        bool can = CloseQuery();
        TCloseAction action = caHide;
        if (can && OnClose) OnClose(this, action);
        if (can && action != caNone) break;
        modalResult_ = mrNone;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
  } catch (...) {
    modal_ = false;
    w->setWindowModality(Qt::NonModal);
    Hide();
    throw;
  }
  modal_ = false;
  Hide();
  w->setWindowModality(Qt::NonModal);
  return modalResult_;
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide:
      Hide();
      break;
    case caMinimize:
      SetWindowState(wsMinimized);
      break;
    case caFree:
      Release();
      break;
    default:
      break;
  }
}

void TForm::Release() {
  TForm* self = this;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [self] {
        if (!g_liveForms.count(self)) return;
        // Not from inside the handler that asked, whose repaint may be turning Qt's queue.
        if (AwaitingScreen()) {
          self->Release();
          return;
        }
        delete self;
      },
      Qt::QueuedConnection);
}

bool TForm::CloseRequested() {
  // The window system's close (its close button, Alt+F4) reaches the form as the
  // platform's close message, so a form that answers that message asks as its own close
  // button does; by default it closes. The form hides or goes by itself as its close
  // action says.
  Perform(WM_CLOSE, 0, 0);
  return false;
}

void TForm::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_CLOSE) {
    Close();
    return;
  }
  TCustomControl::Dispatch(Message);
}

void TForm::ActivationChanged(bool active) {
  if (active && OnActivate) OnActivate(this);
  if (!active && OnDeactivate) OnDeactivate(this);
}

void TForm::Paint() {
  if (OnPaint) OnPaint(this);
}

TForm* GetParentForm(TControl* Control) {
  TControl* c = Control;
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TForm*>(c);
}

// ---------------------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}
TApplication::~TApplication() {
  if (handle_) DestroyWindow(handle_);
}

void TApplication::Initialize() {
  EnsureQtApplication();
}

void TApplication::Run() {
  EnsureQtApplication();
  if (mainForm_ && showMainForm_ && !terminated_) Guarded(mainForm_, [&] { mainForm_->Show(); });
  while (!terminated_) QApplication::exec();
  // The program is ending: its forms go now, while the window system is still there.
  mainForm_ = nullptr;
  DestroyComponents();
}

void TApplication::ResetForTesting() {
  terminated_ = false;
  mainForm_ = nullptr;
  SetApplicationHandleException([](TObject* Sender) { Application->HandleException(Sender); });
}

void TApplication::ProcessMessages() {
  EnsureQtApplication();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  PumpPlatformQueue();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TApplication::HelpCommand(Word Command, NativeInt Data) {
  bool callHelp = true;
  return OnHelp && OnHelp(Command, Data, callHelp);
}

void TApplication::Terminate() {
  terminated_ = true;
  if (QCoreApplication::instance()) QCoreApplication::exit(0);
}

void TApplication::Minimize() {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TForm* f = Screen->Forms(i);
    if (f->Visible()) f->Host()->widget->showMinimized();
  }
  FireAppEvent(&TApplication::OnMinimize, &TApplicationEvents::OnMinimize);
}

void TApplication::Restore() {
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TForm* f = Screen->Forms(i);
    if (f->Visible()) f->Host()->widget->showNormal();
  }
  FireAppEvent(&TApplication::OnRestore, &TApplicationEvents::OnRestore);
}

HWND TApplication::Handle() {
  if (!handle_) {
    handle_ = CreateWindowWithProc(
        [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT { return DefWindowProcA(h, m, w, l); },
        nullptr);
  }
  return handle_;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr ep = std::current_exception();
  if (!ep) return;
  auto report = [&](Exception* e) {
    bool handled = false;
    for (TApplicationEvents* ae :
         std::vector<TApplicationEvents*>(TApplicationEvents::Instances())) {
      if (ae->OnException) {
        ae->OnException(Sender, e);
        handled = true;
      }
    }
    if (handled) return;
    if (OnException)
      OnException(Sender, e);
    else
      ShowException(e);
  };
  try {
    try {
      std::rethrow_exception(ep);
    } catch (EAbort&) {
    } catch (Exception& e) {
      report(&e);
    } catch (std::exception& e) {
      Exception ex(e.what());
      report(&ex);
    } catch (...) {
      Exception ex("Unknown exception");
      report(&ex);
    }
  } catch (...) {
    // The report itself failed: nothing is left to tell, and the loop must run on.
  }
}

void TApplication::ShowException(Exception* E) {
  MessageBox(E->Message(), title_, MB_OK | MB_ICONSTOP);
}

Integer TApplication::MessageBox(const String& Text, const String& Caption, UINT Flags) {
  return MessageBoxA(0, Text.c_str(), Caption.c_str(), Flags);
}

void TApplication::FormClosed(TForm* Form) {
  if (mainForm_ == Form) mainForm_ = nullptr;
}

void TApplication::ActiveChanged(bool Active) {
  if (Active == active_) return;
  active_ = Active;
  if (Active)
    FireAppEvent(&TApplication::OnActivate, &TApplicationEvents::OnActivate);
  else
    FireAppEvent(&TApplication::OnDeactivate, &TApplicationEvents::OnDeactivate);
}

// ---------------------------------------------------------------------------------------
// TScreen

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() = default;

Integer TScreen::Width() const {
  EnsureQtApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 0;
}
Integer TScreen::Height() const {
  EnsureQtApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 0;
}

void TScreen::SetCursor(TCursor v) {
  EnsureQtApplication();
  if (v == cursor_) return;
  if (cursor_ != crDefault) QApplication::restoreOverrideCursor();
  cursor_ = v;
  if (v != crDefault) QApplication::setOverrideCursor(CursorOf(v));
}

HCURSOR CreateCursorFromBitmap(TBitmap* Picture, Integer HotX, Integer HotY) {
  EnsureQtApplication();
  const TSurface* s = Picture ? Picture->PixelsForDrawing() : nullptr;
  if (!s || s->image.isNull() || Picture->Empty())
    throw EInvalidGraphic("A cursor needs a picture");
  QImage img = s->image.convertToFormat(QImage::Format_ARGB32);
  QRgb key = ColorToPixel(Picture->TransparentColor());
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((line[x] | 0xFF000000u) == key) line[x] = 0;
  }
  static std::vector<std::unique_ptr<QCursor>> made;
  made.push_back(std::make_unique<QCursor>(QPixmap::fromImage(img), HotX, HotY));
  return made.back().get();
}

QCursor CursorOf(TCursor c) {
  if (c > 0 && Screen)
    if (HCURSOR h = Screen->Cursors(c)) return *static_cast<QCursor*>(h);
  return QCursor(CursorShapeOf(c));
}

HCURSOR TScreen::Cursors(Integer Index) const {
  for (auto& c : cursors_)
    if (c.first == Index) return c.second;
  return nullptr;
}

void TScreen::SetCursors(Integer Index, HCURSOR Handle) {
  for (auto& c : cursors_)
    if (c.first == Index) {
      c.second = Handle;
      return;
    }
  cursors_.push_back({Index, Handle});
}

TForm* TScreen::Forms(Integer Index) const {
  if (Index < 0 || Index >= FormCount()) ListIndexError(Index);
  return forms_[Index];
}

TForm* TScreen::ActiveForm() const {
  for (TForm* f : forms_)
    if (f->Active()) return f;
  return nullptr;
}

void TScreen::AddForm(TForm* f) {
  forms_.push_back(f);
}
void TScreen::RemoveForm(TForm* f) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), f), forms_.end());
}

// ---------------------------------------------------------------------------------------
// TApplicationEvents

std::vector<TApplicationEvents*>& TApplicationEvents::Instances() {
  static std::vector<TApplicationEvents*> list;
  return list;
}
TApplicationEvents::TApplicationEvents(TComponent* AOwner) : TComponent(AOwner) {
  Instances().push_back(this);
}
TApplicationEvents::~TApplicationEvents() {
  auto& l = Instances();
  l.erase(std::remove(l.begin(), l.end(), this), l.end());
}
