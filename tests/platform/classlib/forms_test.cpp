// Forms: the window's canvas, messages sent to the window, closing, modal forms.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include "GuiFixture.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Timers.h"

namespace {

using FormsTest = GuiTest;

constexpr UINT WM_LIGHTS_ATTACH = WM_USER + 1235;

TEST_F(FormsTest, DrawingOnTheFormCanvasShowsAtOnceAndARepaintWipesIt) {
  TForm* f = MakeForm(100, 80);
  f->SetColor(clBlack);
  f->OnPaint = [f](TObject*) {
    f->Canvas()->Brush()->SetColor(clBlue);
    f->Canvas()->FillRect(Rect(0, 0, 10, 10));
  };
  auto* shape = new TShape(f);
  shape->SetParent(f);
  shape->SetBounds(50, 0, 10, 10);
  shape->Brush()->SetColor(clLime);
  shape->Pen()->SetColor(clLime);
  f->Repaint();
  EXPECT_EQ(SurfacePixelForTesting(f, 5, 5), clBlue);

  // The level graph's way: lines straight on the window, outside of any painting.
  TCanvas* c = f->Canvas();
  c->Pen()->SetColor(clRed);
  c->MoveTo(0, 40);
  c->LineTo(100, 40);
  c->MoveTo(55, 0);
  c->LineTo(55, 20);
  Application->ProcessMessages();
  EXPECT_EQ(SurfacePixelForTesting(f, 30, 40), clRed);
  EXPECT_EQ(SurfacePixelForTesting(f, 55, 5), clRed);

  // A graphic control repainting itself wipes only its own area.
  shape->Repaint();
  EXPECT_EQ(SurfacePixelForTesting(f, 55, 5), clLime);
  EXPECT_EQ(SurfacePixelForTesting(f, 30, 40), clRed);

  f->Repaint();
  EXPECT_EQ(SurfacePixelForTesting(f, 30, 40), clBlack);
  EXPECT_EQ(SurfacePixelForTesting(f, 5, 5), clBlue);
  EXPECT_EQ(SurfacePixelForTesting(f, 52, 2), clLime);
}

// Start-up work keeps the event loop from running: what a repaint draws must be on the
// screen when it returns, also for a window shown a moment before.
TEST_F(FormsTest, ARepaintIsOnTheScreenBeforeTheEventLoopRuns) {
  auto* f = new TForm(Application);
  f->SetBorderStyle(bsNone);
  f->SetBounds(10, 10, 100, 80);
  f->SetColor(clBlack);
  auto* shape = new TShape(f);
  shape->SetParent(f);
  shape->SetBounds(50, 0, 10, 10);
  shape->Brush()->SetColor(clLime);
  shape->Pen()->SetColor(clLime);
  f->AfterConstruction();
  f->Show();
  f->SetColor(clBlue);
  f->Repaint();
  EXPECT_EQ(ScreenPixelForTesting(f, 5, 5), clBlue);
  EXPECT_EQ(ScreenPixelForTesting(f, 55, 5), clLime);

  Application->ProcessMessages();
  shape->Brush()->SetColor(clRed);
  shape->Repaint();
  EXPECT_EQ(ScreenPixelForTesting(f, 55, 5), clRed);
  EXPECT_EQ(ScreenPixelForTesting(f, 5, 5), clBlue);

  // A windowed child too.
  auto* panel = new TPanel(f);
  panel->SetParent(f);
  panel->SetBounds(0, 40, 30, 30);
  panel->SetBevelOuter(bvNone);
  panel->SetColor(clYellow);
  panel->Repaint();
  EXPECT_EQ(ScreenPixelForTesting(panel, 10, 10), clYellow);
}

// Drawing between repaints reaches the screen a frame at a time: what is drawn while a
// frame waits joins it, and neither that frame nor the one after is lost.
TEST_F(FormsTest, DrawingReachesTheScreenWithinAFrame) {
  TForm* f = MakeForm(100, 80);
  f->SetColor(clBlack);
  f->Repaint();
  auto line = [f](TColor color, Integer y) {
    f->Canvas()->Pen()->SetColor(color);
    f->Canvas()->MoveTo(0, y);
    f->Canvas()->LineTo(100, y);
    Application->ProcessMessages();
  };
  auto shows = [f](TColor color, Integer y) {
    return PumpUntil([&] { return ScreenPixelForTesting(f, 50, y) == color; });
  };
  if (ScreenPixelForTesting(f, 5, 5) == 0xFFFFFFFFu) GTEST_SKIP() << "no screen to read";
  line(clRed, 10);
  line(clLime, 20);
  EXPECT_TRUE(shows(clRed, 10));
  EXPECT_TRUE(shows(clLime, 20));
  line(clYellow, 30);
  EXPECT_TRUE(shows(clYellow, 30));
}

// Waiting for a new window to reach the screen must not run what waits for the event
// loop proper: a form released by the handler still exists until the handler is done.
TEST_F(FormsTest, AReleasedFormOutlivesTheHandlersRepaint) {
  TForm* old = MakeForm();
  bool destroyed = false;
  old->OnDestroy = [&](TObject*) { destroyed = true; };
  old->Release();
  TForm* f = MakeForm(50, 50, 200, 10);
  f->Repaint();
  EXPECT_FALSE(destroyed);
  Application->ProcessMessages();
  EXPECT_TRUE(destroyed);
}

// The window system keeps a window's identity while it floats up and down: re-making it
// would lose its place and what other programs know of it.
TEST_F(FormsTest, StayingOnTopKeepsTheNativeWindow) {
  TForm* f = MakeForm();
  Application->ProcessMessages();
  const auto id = NativeWindowIdForTesting(f);
  ASSERT_NE(id, 0u);
  const UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;
  EXPECT_TRUE(SetWindowPos(f->Handle(), HWND_TOPMOST, 0, 0, 0, 0, flags));
  EXPECT_TRUE(StaysOnTopForTesting(f));
  EXPECT_EQ(NativeWindowIdForTesting(f), id);
  EXPECT_TRUE(SetWindowPos(f->Handle(), HWND_NOTOPMOST, 0, 0, 0, 0, flags));
  EXPECT_FALSE(StaysOnTopForTesting(f));
  EXPECT_EQ(NativeWindowIdForTesting(f), id);
  f->SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(StaysOnTopForTesting(f));
  EXPECT_EQ(NativeWindowIdForTesting(f), id);
  f->SetFormStyle(fsNormal);
  EXPECT_FALSE(StaysOnTopForTesting(f));
  EXPECT_EQ(NativeWindowIdForTesting(f), id);
  EXPECT_TRUE(f->Visible());
  EXPECT_EQ(f->Left(), 10);
  // Hidden and shown again, as the player hides and shows the lights.
  ShowWindow(f->Handle(), SW_HIDE);
  Application->ProcessMessages();
  EXPECT_TRUE(SetWindowPos(f->Handle(), HWND_TOPMOST, 0, 0, 0, 0, flags));
  ShowWindow(f->Handle(), SW_SHOW);
  Application->ProcessMessages();
  EXPECT_EQ(NativeWindowIdForTesting(f), id);
}

// A dialog chosen again from a menu while another window covers it must come back over
// that window.
TEST_F(FormsTest, ShowingAShownFormBringsItToTheFront) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no window order to read";
  TForm* dialog = MakeForm(100, 80, 40, 40);
  dialog->SetBorderStyle(bsToolWindow);
  dialog->SetColor(clRed);
  TForm* cover = MakeForm(100, 80, 20, 20);
  cover->SetColor(clBlue);
  // What the screen shows over the middle of the dialog, whichever window that is.
  auto shown = [] {
    return QGuiApplication::primaryScreen()->grabWindow(0, 80, 80, 1, 1).toImage().pixel(0, 0);
  };
  ASSERT_TRUE(PumpUntil([&] { return shown() == qRgb(0, 0, 255); }));
  dialog->Show();
  EXPECT_TRUE(PumpUntil([&] { return shown() == qRgb(255, 0, 0); }));
  EXPECT_TRUE(PumpUntil([&] { return dialog->Active(); }));
}

TEST_F(FormsTest, MessagesSentFromAnotherThreadReachTheFormsHandler) {
  TForm* f = MakeForm();
  std::thread::id handlerThread;
  WPARAM got = 0;
  f->SetMessageHandler(WM_LIGHTS_ATTACH, [&](TMessage& m) {
    handlerThread = std::this_thread::get_id();
    got = m.WParam;
    m.Result = 77;
  });
  HWND h = f->Handle();
  ASSERT_NE(h, 0u);
  std::atomic<LRESULT> result{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = SendMessageA(h, WM_LIGHTS_ATTACH, 4242, 0);
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
  sender.join();
  EXPECT_EQ(result.load(), 77);
  EXPECT_EQ(got, 4242u);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  // Without a handler the message is the window's default handling's.
  EXPECT_EQ(SendMessageA(h, WM_USER + 9, 0, 0), 0);
}

TEST_F(FormsTest, PlacingTheWindowThroughItsHandleMovesIt) {
  TForm* f = MakeForm(50, 40, 100, 50);
  EXPECT_EQ(f->ClientToScreen(Point(0, 0)), Point(100, 50));
  SetWindowPos(f->Handle(), HWND_TOP, 236, 434, 0, 0, SWP_NOSIZE);
  EXPECT_EQ(f->Left(), 236);
  EXPECT_EQ(f->Top(), 434);
  EXPECT_EQ(f->Width(), 50);
  RECT r;
  GetWindowRect(f->Handle(), &r);
  EXPECT_EQ(r.left, 236);
  EXPECT_EQ(r.bottom, 474);
  ShowWindow(f->Handle(), SW_HIDE);
  EXPECT_FALSE(f->Visible());
  EXPECT_FALSE(IsWindowVisible(f->Handle()));
}

class TTestMain : public TForm {
 public:
  explicit TTestMain(TComponent* owner) : TForm(owner) {
    OnCreate = [this](TObject*) {
      created = true;
      throw Exception("Cannot Start Xaudio Player");
    };
  }
  bool created = false;
};

TEST_F(FormsTest, ADestroyedFormStopsItsTimersBeforeItsControlsGo) {
  // A control that looks at the form's timer while it is deleted.
  struct Probe : TShape {
    using TShape::TShape;
    ~Probe() override { *running = timer->Enabled() || bool(timer->OnTimer); }
    TTimer* timer = nullptr;
    bool* running = nullptr;
  };
  bool running = true;
  auto* f = new TForm(nullptr);
  auto* timer = new TTimer(f);
  timer->OnTimer = [](TObject*) {};
  auto* probe = new Probe(f);
  probe->SetParent(f);
  probe->timer = timer;
  probe->running = &running;
  delete f;
  EXPECT_FALSE(running);
}

TEST_F(FormsTest, CreationErrorsAreReportedAndCreationGoesOn) {
  TTestMain* main = nullptr;
  Application->CreateForm(main);
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(main->created);
  EXPECT_EQ(Application->MainForm(), main);
  EXPECT_EQ(BoxTexts(), std::vector<String>{"Cannot Start Xaudio Player"});
  TForm* second = nullptr;
  Application->CreateForm(second);
  EXPECT_EQ(Application->MainForm(), main);
}

TEST_F(FormsTest, ClosingAsksFirstAndClosingTheMainFormEndsTheProgram) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  TForm* other = nullptr;
  Application->CreateForm(other);
  main->Show();
  other->Show();
  bool allow = false;
  std::vector<std::string> log;
  other->OnCloseQuery = [&](TObject*, bool& can) {
    log.push_back("query");
    can = allow;
  };
  other->OnClose = [&](TObject*, TCloseAction& a) {
    log.push_back("close");
    EXPECT_EQ(a, caHide);
  };
  other->Close();
  EXPECT_TRUE(other->Visible());
  allow = true;
  other->Close();
  EXPECT_FALSE(other->Visible());
  EXPECT_EQ(log, (std::vector<std::string>{"query", "query", "close"}));

  bool destroyed = false;
  other->OnDestroy = [&](TObject*) { destroyed = true; };
  other->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
  other->Close();
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(PumpUntil([&] { return destroyed; }));

  main->OnClose = [](TObject*, TCloseAction& a) { a = caNone; };
  main->Close();
  EXPECT_FALSE(Application->Terminated());
  main->OnClose = nullptr;
  main->Close();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(FormsTest, ShowModalRunsUntilAResultIsSet) {
  TForm* f = new TForm(Application);
  f->AfterConstruction();
  f->SetMessageHandler(WM_USER + 1, [f](TMessage&) { f->SetModalResult(mrYes); });
  PostMessageA(f->Handle(), WM_USER + 1, 0, 0);
  EXPECT_EQ(f->ShowModal(), mrYes);
  EXPECT_FALSE(f->Visible());
  f->SetMessageHandler(WM_USER + 1, [f](TMessage&) { f->Close(); });
  PostMessageA(f->Handle(), WM_USER + 1, 0, 0);
  EXPECT_EQ(f->ShowModal(), mrCancel);
}

}  // namespace
