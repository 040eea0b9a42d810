// The main window as a whole: its components, start-up and close, the two INI files, the
// messages with the player and the surveyor, and the handling of the window itself.
#include "lights/Unit1.h"

#include "classlib/IniFiles.h"
#include "lights/Unit2.h"
#include "lights/Unit3.h"
#include "win32/Win32.h"

TForm1* Form1 = nullptr;

std::array<bool, 9> Channels{};
Integer StepCounter = 0;
Integer HeldPattern = 0;
bool FlashMode = false;
bool SavedFlashMode = false;
Cardinal SavedInterval = 0;
bool BoostActive = false;
bool BoostHeld = false;
bool BeatFilterBusy = false;
Integer TapCount = 0;
Integer TapElapsed = 0;
Integer LastTap = 0;
std::array<bool, 3> CommandBits{};
HWND SurveyorWindow = 0;
TPoint DragAnchor{0, 0};
HWND PlayerWindow = 0;

namespace {

void Bold(TControl* Control) {
  Control->Font()->SetStyle(TFontStyles{fsBold});
}

// A lamp panel: its number on a lit face reads in black.
TPanel* MakeLamp(TForm1* Owner, TWinControl* Parent, const char* Name, Integer Left, Integer Top,
                 Integer Width, const char* Caption) {
  TPanel* p = CreateControl<TPanel>(Owner, Parent, Name, Left, Top, Width, 17);
  p->SetCaption(Caption);
  p->SetBevelOuter(bvLowered);
  p->SetColor(LitColor);
  p->SetParentFont(false);
  p->Font()->SetName("Tahoma");
  p->Font()->SetHeight(-11);
  p->Font()->SetColor(clBlack);
  return p;
}

}  // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form1");
  // The window is made once per run: its state starts from here.
  Channels = {};
  StepCounter = 0;
  HeldPattern = 0;
  FlashMode = SavedFlashMode = false;
  SavedInterval = 0;
  BoostActive = BoostHeld = BeatFilterBusy = false;
  TapCount = TapElapsed = LastTap = 0;
  CommandBits = {};
  SurveyorWindow = 0;
  DragAnchor = {0, 0};
  PlayerWindow = 0;
  if (!Form1) Form1 = this;

  BuildWindow();
  BuildCustomiser();
  BuildMenu();
  BuildTimers();

  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    FormMouseDown(S, B, Sh, X, Y);
  };
  OnMouseMove = [this](TObject* S, TShiftState Sh, int X, int Y) { FormMouseMove(S, Sh, X, Y); };
  SetMessageHandler(WM_LIGHTS_BEAT, [this](TMessage& M) { WMLightsBeat(M); });
  SetMessageHandler(WM_LIGHTS_SHOW, [this](TMessage& M) { WMLightsShow(M); });
  SetMessageHandler(WM_LIGHTS_MOVE, [this](TMessage& M) { WMLightsMove(M); });
  SetMessageHandler(WM_SURVEYOR_PING, [this](TMessage& M) { WMSurveyorPing(M); });
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildWindow() {
  SetBorderStyle(bsNone);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetPosition(poScreenCenter);
  SetCaption("Beam FX");
  SetColor(clBlack);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  Font()->SetColor(LitColor);
  SetClientWidth(426);
  SetClientHeight(345);

  MainBevel = CreateControl<TPanel>(this, this, "MainBevel", 0, 0, 426, 345);
  MainBevel->SetColor(clBlack);
  MainBevel->SetAlign(alClient);
  auto drag_down = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    FormMouseDown(S, B, Sh, X, Y);
  };
  auto drag_move = [this](TObject* S, TShiftState Sh, int X, int Y) { FormMouseMove(S, Sh, X, Y); };
  MainBevel->OnMouseDown = drag_down;
  MainBevel->OnMouseMove = drag_move;
  BuildLamps();
  BuildPatterns();
  BuildWindowButtons();
  BuildTempo();
}

// Lamp group 1 at the left edge, group 2 at the right; each with its mirror column.
void TForm1::BuildLamps() {
  GroupBox2 = CreateControl<TGroupBox>(this, MainBevel, "GroupBox2", 4, 2, 73, 144);
  GroupBox2->SetCaption(" Spots view ");
  GroupBox3 = CreateControl<TGroupBox>(this, MainBevel, "GroupBox3", 349, 2, 73, 144);
  GroupBox3->SetCaption(" Spots view ");
  GroupBox2->SetColor(clBlack);
  GroupBox3->SetColor(clBlack);
  spot1 = MakeLamp(this, MainBevel, "spot1", 12, 20, 25, "1");
  spot2 = MakeLamp(this, MainBevel, "spot2", 12, 42, 25, "2");
  spot3 = MakeLamp(this, MainBevel, "spot3", 12, 64, 25, "3");
  spot6 = MakeLamp(this, MainBevel, "spot6", 44, 20, 25, "1");
  spot5 = MakeLamp(this, MainBevel, "spot5", 44, 42, 25, "2");
  spot4 = MakeLamp(this, MainBevel, "spot4", 44, 64, 25, "3");
  // The mirror column, made top to bottom: spot6 ("1") faces spot1, spot4 ("3") spot3.
  Strobo = MakeLamp(this, GroupBox2, "Strobo", 8, 90, 57, "4");
  reversechk1 = CreateControl<TCheckBox>(this, GroupBox2, "reversechk1", 6, 118, 62, 17);
  reversechk1->SetCaption("Reverse");
  reversechk1->SetColor(clBlack);
  reversechk1->SetChecked(true);
  reversechk1->OnClick = [this](TObject* S) { reversechk1Click(S); };

  Spot21 = MakeLamp(this, MainBevel, "Spot21", 357, 20, 25, "5");
  Spot22 = MakeLamp(this, MainBevel, "Spot22", 357, 42, 25, "6");
  Spot23 = MakeLamp(this, MainBevel, "Spot23", 357, 64, 25, "7");
  Spot26 = MakeLamp(this, MainBevel, "Spot26", 389, 20, 25, "5");
  Spot25 = MakeLamp(this, MainBevel, "Spot25", 389, 42, 25, "6");
  Spot24 = MakeLamp(this, MainBevel, "Spot24", 389, 64, 25, "7");
  light = MakeLamp(this, GroupBox3, "light", 8, 90, 57, "8");
  ReverseChk2 = CreateControl<TCheckBox>(this, GroupBox3, "ReverseChk2", 6, 118, 62, 17);
  ReverseChk2->SetCaption("Reverse");
  ReverseChk2->SetColor(clBlack);
  ReverseChk2->SetChecked(true);
  ReverseChk2->OnClick = [this](TObject* S) { ReverseChk2Click(S); };
}

// The pattern radios: one group, "Rotate" checked; the strobe below them.
void TForm1::BuildPatterns() {
  const char* names[] = {"Radio1", "Radio2", "Radio3", "Radio4", "Radio5", "Radio6", "Radio7"};
  const char* captions[] = {"Rotate",      "1-2-3-2-1",     "full fire", "K 2000",
                            "Up and down", "Rollercoaster", "Custom"};
  TRadioButton** radios[] = {&Radio1, &Radio2, &Radio3, &Radio4, &Radio5, &Radio6, &Radio7};
  for (int i = 0; i < 7; ++i) {
    TRadioButton* r =
        CreateControl<TRadioButton>(this, MainBevel, names[i], 84, 6 + 15 * i, 96, 15);
    r->SetCaption(captions[i]);
    r->SetColor(clBlack);
    *radios[i] = r;
  }
  Radio1->SetChecked(true);
  Radio7->OnClick = [this](TObject* S) { Radio7Click(S); };
  Radio9 = CreateControl<TRadioButton>(this, MainBevel, "Radio9", 84, 112, 96, 15);
  Radio9->SetCaption("Stroboscope");
  Radio8 = CreateControl<TRadioButton>(this, MainBevel, "Radio8", 84, 128, 96, 15);
  Radio8->SetCaption("Stroboscope");
  Radio8->SetVisible(false);
  for (TRadioButton* r : {Radio9, Radio8}) {
    r->SetColor(clBlack);
    Bold(r);
  }
  Radio9->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    Radio9MouseDown(S, B, Sh, X, Y);
  };
  Radio9->OnMouseUp = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    Radio9MouseUp(S, B, Sh, X, Y);
  };
  Radio8->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    Radio8MouseDown(S, B, Sh, X, Y);
  };
  Radio8->OnMouseUp = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    Radio8MouseUp(S, B, Sh, X, Y);
  };
}

// The power switch, the small window buttons and the beat buttons at the upper right of the
// middle part.
void TForm1::BuildWindowButtons() {
  CheckBox1 = CreateControl<TCheckBox>(this, MainBevel, "CheckBox1", 190, 6, 70, 17);
  CheckBox1->SetCaption("POWER");
  CheckBox1->SetColor(clBlack);
  Bold(CheckBox1);
  CheckBox1->OnClick = [this](TObject* S) { CheckBox1Click(S); };

  auto small_panel = [this](const char* Name, Integer Left, const char* Caption) {
    TPanel* p = CreateControl<TPanel>(this, MainBevel, Name, Left, 4, 16, 16);
    p->SetCaption(Caption);
    p->SetColor(clBlack);
    Bold(p);
    return p;
  };
  Morepnl = small_panel("Morepnl", 291, "+");
  Panel5 = small_panel("Panel5", 309, "_");
  Panel4 = small_panel("Panel4", 327, "X");
  Morepnl->OnClick = [this](TObject* S) { MorepnlClick(S); };
  Panel5->OnClick = [this](TObject* S) { Panel5Click(S); };
  Panel4->OnClick = [this](TObject* S) { Panel4Click(S); };

  auto beat_button = [this](const char* Name, Integer Top, const char* Caption, const char* Hint) {
    TSpeedButton* b = CreateControl<TSpeedButton>(this, MainBevel, Name, 283, Top, 60, 20);
    b->SetCaption(Caption);
    b->SetFlat(true);
    b->SetHint(Hint);
    b->SetShowHint(true);
    return b;
  };
  BoomBtn = beat_button("BoomBtn", 26, "Boom", "Click here when you hear a boom");
  SpeedButton8 = beat_button("SpeedButton8", 48, "Sync", "Click here to synchronise the modulator");
  SpeedButton6 =
      beat_button("SpeedButton6", 70, "Boost", "Click here to synchronise the modulator");
  BoomBtn->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    BoomBtn1MouseDown(S, B, Sh, X, Y);
  };
  SpeedButton8->OnClick = [this](TObject* S) { SpeedButton81Click(S); };
  SpeedButton6->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    SpeedButton61MouseDown(S, B, Sh, X, Y);
  };
  SpeedButton6->OnMouseUp = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
    SpeedButton61MouseUp(S, B, Sh, X, Y);
  };
}

// The tempo: a track bar and an up-down over the same range, and its label.
void TForm1::BuildTempo() {
  intervalTrkbar = CreateControl<TTrackBar>(this, MainBevel, "intervalTrkbar", 184, 98, 140, 24);
  intervalTrkbar->SetColor(clBlack);
  intervalTrkbar->SetMax(600);
  intervalTrkbar->SetMin(40);
  intervalTrkbar->SetTickStyle(tsNone);
  intervalTrkbar->SetLineSize(1);
  intervalTrkbar->SetPosition(120);
  intervalTrkbar->OnChange = [this](TObject* S) { intervalTrkbarChange(S); };
  BpmUpDown = CreateControl<TUpDown>(this, MainBevel, "BpmUpDown", 326, 98, 15, 24);
  BpmUpDown->SetMax(600);
  BpmUpDown->SetMin(40);
  BpmUpDown->SetPosition(120);
  BpmUpDown->OnClick = [this](TObject* S, TUDBtnType B) { BpmUpDown1Click(S, B); };
  BpmLbl = CreateControl<TLabel>(this, MainBevel, "BpmLbl", 190, 126, 60, 13);
  BpmLbl->SetCaption("120 bpm");
  BpmLbl->SetTransparent(true);
  Bold(BpmLbl);
}

void TForm1::BuildMenu() {
  Popup1 = new TPopupMenu(this);
  Popup1->SetName("Popup1");
  Popup1->SetAutoPopup(false);
  auto item = [this](const char* Name, const char* Caption) {
    TMenuItem* m = new TMenuItem(this);
    m->SetName(Name);
    m->SetCaption(Caption);
    Popup1->Items()->Add(m);
    return m;
  };
  Automode1 = item("Automode1", "Auto mode");
  Boomfilter = item("Boomfilter", "Boom filter");
  Boomfilter->SetEnabled(false);
  Flashingchk = item("Flashingchk", "Flashmode");
  Customiser1 = item("Customiser1", "Customiser");
  Setup = item("Setup", "Setup");
  N1 = item("N1", "-");
  BeamFXpluginv101 = item("BeamFXpluginv101", "Beam FX plugin v 1.0");
  BeamFXpluginv101->SetDefault(true);
  Automode1->OnClick = [this](TObject* S) { Automode1Click(S); };
  Boomfilter->OnClick = [this](TObject* S) { BoomfilterClick(S); };
  Flashingchk->OnClick = [this](TObject* S) { FlashingchkClick(S); };
  Customiser1->OnClick = [this](TObject* S) { Customiser1Click(S); };
  Setup->OnClick = [this](TObject* S) { SetupClick(S); };
  BeamFXpluginv101->OnClick = [this](TObject* S) { BeamFXpluginv101Click(S); };
}

void TForm1::BuildTimers() {
  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(500);
  Timer1->OnTimer = [this](TObject* S) { Timer1Timer(S); };
  PlayerWatch = new TTimer(this);
  PlayerWatch->SetName("PlayerWatch");
  PlayerWatch->SetEnabled(false);
  PlayerWatch->SetInterval(1000);
  PlayerWatch->OnTimer = [this](TObject* S) { PlayerWatchTimer(S); };

  auto threaded = [this](const char* Name, Word Interval, TThreadPriority Priority) {
    TThreadedTimer* t = new TThreadedTimer(this);
    t->SetName(Name);
    t->SetEnabled(false);
    t->SetInterval(Interval);
    t->SetThreadPriority(Priority);
    return t;
  };
  Boomtimer = threaded("Boomtimer", 10, tpHigher);
  CutoffTimer = threaded("CutoffTimer", 100, tpHigher);
  FilterTimer = threaded("FilterTimer", 200, tpHighest);
  Boomtimer->OnTimer = [this](TObject* S) { BoomtimerTimer(S); };
  CutoffTimer->OnTimer = [this](TObject* S) { CutoffTimerTimer(S); };
  FilterTimer->OnTimer = [this](TObject* S) { FilterTimerTimer(S); };

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  OpenDialog1->SetFilter("Beam FX list|*.bfx|Tous|*.*");
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetName("SaveDialog1");
  SaveDialog1->SetFilter("Beam FX list|*.bfx");
  SaveDialog1->SetTitle("Save Beam FX list ...");
  // A light program is saved under a new name as often as over an old one: the file need
  // not exist yet.
  SaveDialog1->SetOptions({ofHideReadOnly, ofEnableSizing});

  PortIO = new TDLPortIO(this);
  PortIO->SetName("PortIO");

  ApplicationEvents1 = new TApplicationEvents(this);
  ApplicationEvents1->SetName("ApplicationEvents1");
  ApplicationEvents1->OnDeactivate = [this](TObject* S) { ApplicationEvents1Deactivate(S); };
}

void TForm1::FormCreate(TObject* Sender) {
  (void)Sender;
  const String own = IntToStr(static_cast<Integer>(Handle()));
  HWND player = 0;
  {
    TIniFile ini("kaz_pro.ini");
    // A file that cannot be written is reported; the lights still start, only the player
    // will not find them.
    try {
      ini.WriteString("Handle", "spots", own);
    } catch (const EIniFileException&) {
      HandleExceptionNow(this);
    }
    SurveyorWindow = static_cast<HWND>(ini.ReadInteger("Handle", "surveyor", 0));
    SendMessageA(SurveyorWindow, WM_SURVEYOR_ATTACH, Handle(), 0);
    player = static_cast<HWND>(ini.ReadInteger("Handle", "kaz", 0));
  }
  {
    TIniFile ini("Spots.ini");
    // Checking the box runs its click handler, as a click does.
    if (ini.ReadInteger("Parameters", "Power", 0) == 1) CheckBox1->SetChecked(true);
  }
  StepCounter = 0;
  SetClientHeight(150);
  SetClientWidth(426);

  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  PortIO->SetDLLPath(ExtractFilePath(path));
  PortIO->SetDriverPath(ExtractFilePath(path));
  PortIO->OpenDriver();

  MainBevel->SetAlign(alClient);
  PaintAllLamps(LitColor);
  WriteLamps(0);

  PlayerWindow = player;
  if (player != 0) {
    SendMessageA(player, WM_LIGHTS_ATTACH, Handle(), 0);
    Automode1->SetChecked(true);
    Flashingchk->SetChecked(true);
    FlashMode = true;
    Boomfilter->SetEnabled(true);
    // Beats drive the steps now, not the clock.
    Timer1->SetEnabled(false);
  }
}

void TForm1::FormClose(TObject* Sender, TCloseAction& Action) {
  (void)Sender;
  (void)Action;
  // Each write stands alone: one refused file must not keep the others from being told.
  try {
    TIniFile("kaz_pro.ini").WriteInteger("Handle", "spots", 0);
  } catch (...) {
    HandleExceptionNow(this);
  }
  SendMessageA(SurveyorWindow, WM_SURVEYOR_DETACH, 0, 0);
  try {
    TIniFile("Spots.ini").WriteInteger("Parameters", "Power", 0);
  } catch (...) {
    HandleExceptionNow(this);
  }
}

void TForm1::FormShow(TObject* Sender) {
  (void)Sender;
}

void TForm1::FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                           Integer Y) {
  (void)Sender;
  (void)Button;
  (void)Shift;
  DragAnchor = {X, Y};
}

void TForm1::FormMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y) {
  (void)Sender;
  if (!Shift.Contains(ssLeft)) return;
  SetLeft(Left() + X - DragAnchor.x);
  SetTop(Top() + Y - DragAnchor.y);
}

void TForm1::ApplicationEvents1Deactivate(TObject* Sender) {
  (void)Sender;
  // Float above the player when it takes the focus.
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

void TForm1::MorepnlClick(TObject* Sender) {
  (void)Sender;
  Popup1->Popup(Left() + Morepnl->Left() + 10, Top() + Morepnl->Top() + 27);
}

void TForm1::Panel5Click(TObject* Sender) {
  (void)Sender;
  SetWindowState(wsMinimized);
}

void TForm1::Panel4Click(TObject* Sender) {
  (void)Sender;
  Close();
}

void TForm1::SetupClick(TObject* Sender) {
  (void)Sender;
  if (Form3) Form3->Show();
}

void TForm1::BeamFXpluginv101Click(TObject* Sender) {
  (void)Sender;
  if (Form2) Form2->Show();
}

void TForm1::WMLightsShow(TMessage& Message) {
  MainBevel->SetBevelOuter(bvNone);
  if (Message.WParam != 0) {
    PlayerWatch->SetEnabled(false);
    Show();
    return;
  }
  Hide();
  // Hidden, this window has no button and no place to be clicked: only its player can
  // bring it back. A player that started after this window is found where it left its
  // handle.
  if (!IsWindow(PlayerWindow)) {
    try {
      PlayerWindow = static_cast<HWND>(TIniFile("kaz_pro.ini").ReadInteger("Handle", "kaz", 0));
    } catch (...) {
      PlayerWindow = 0;
    }
  }
  PlayerWatch->SetEnabled(true);
}

void TForm1::PlayerWatchTimer(TObject* Sender) {
  (void)Sender;
  if (Visible()) {
    PlayerWatch->SetEnabled(false);
    return;
  }
  if (IsWindow(PlayerWindow)) return;
  // The player has gone (or none was ever known): nobody else can show this window now.
  PlayerWatch->SetEnabled(false);
  Show();
}

void TForm1::WMLightsMove(TMessage& Message) {
  // 32-bit parameters between programs: a position left of or above the screen is
  // negative.
  SetLeft(static_cast<Integer>(static_cast<Cardinal>(Message.WParam)));
  SetTop(static_cast<Integer>(static_cast<Cardinal>(Message.LParam)));
}

void TForm1::WMSurveyorPing(TMessage& Message) {
  SendMessageA(static_cast<HWND>(static_cast<Cardinal>(Message.WParam)), WM_SURVEYOR_PING, 0, 0);
}

void TForm1::PaintAllLamps(TColor Color) {
  for (TPanel* p : {spot1, spot2, spot3, spot4, spot5, spot6, Strobo, Spot21, Spot22, Spot23,
                    Spot24, Spot25, Spot26, light})
    p->SetColor(Color);
}

void TForm1::WriteLamps(Byte Value) {
  PortIO->WritePort(LampPort, Value);
}
