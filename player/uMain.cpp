#include "player/uMain.h"

#include "player/uControls.h"

#include "filter/filter.h"
#include "player/uSkin.h"
#include "player/uSplash.h"

TfrmMain* frmMain = nullptr;

TXPlayer Deck1;
TXPlayer Deck2;
TXPlayer* CurrentDeck = nullptr;
HWND LightWindow = 0;
Integer Closing = 0;
TPoint SliderGrab;
Integer AutoMix = 0;
Integer MixStart = 0;
Integer MixRunning = 0;
Integer BPMOrder = 0;
TPoint DragOrigin;
Integer SoundLine = 0;
Integer BoomMethod = 1;

namespace {

// The window's text colour, light blue on black.
constexpr TColor FontColor = 0xFF8080;
constexpr TColor PanelColor = 0x0E0A08;

}  // namespace

TfrmMain::TfrmMain(TComponent* AOwner) : TForm(AOwner) {
  SetName("frmMain");
  BuildWindow();
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
}

TfrmMain::~TfrmMain() {
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::BuildWindow() {
  SetBorderStyle(bsNone);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetPosition(poScreenCenter);
  SetCaption("KAZ");
  SetColor(clBlack);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  Font()->SetColor(FontColor);
  // The strip below 600 holds only the non-visual components.
  SetClientWidth(800);
  SetClientHeight(673);

  imgBk = MakePicture(this, this, "imgBk", 0, 0, "KAZ_BACK");
  imgTitle = MakePicture(this, this, "imgTitle", 302, 2, "KAZ_TITLE");
  boxGraph = CreateControl<TPaintBox>(this, this, "boxGraph", 302, 53, 195, 146);

  btnMin = MakeButton(this, this, "btnMin", 748, 6, 20, 18, "-");
  btnMin->SetHint("Minimize window");
  btnClose = MakeButton(this, this, "btnClose", 770, 6, 20, 18, "X");
  btnClose->SetHint("Close window");

  Xaudio1 = new TXaudioPlayer(this);
  Xaudio1->SetName("Xaudio1");
  Xaudio1->SetTag(1);
  Xaudio2 = new TXaudioPlayer(this);
  Xaudio2->SetName("Xaudio2");
  Xaudio2->SetTag(2);
  for (TXaudioPlayer* x : {Xaudio1, Xaudio2}) {
    x->SetPriority(3);
    x->SetXaudioPath("xaudio.dll");
    x->OnNotifyPlayerState = [this](TObject* Sender, Integer State) {
      XaudioNotifyPlayerState(Sender, State);
    };
    x->OnNotifyInputPosition = [this](TObject* Sender, Cardinal Offset, Cardinal Range) {
      XaudioNotifyInputPosition(Sender, Offset, Range);
    };
    x->OnNotifyInputTimecode = [this](TObject* Sender, Byte H, Byte M, Byte S, Byte F) {
      XaudioNotifyInputTimecode(Sender, H, M, S, F);
    };
    x->OnNotifyStreamDuration = [this](TObject* Sender, Cardinal Duration) {
      XaudioNotifyStreamDuration(Sender, Duration);
    };
    x->OnNotifyInputState = [this](TObject* Sender, Integer State) {
      XaudioNotifyInputState(Sender, State);
    };
    x->OnNotifyError = [this](TObject* Sender, Byte Source, Smallint Code, const String& Msg) {
      XaudioNotifyError(Sender, Source, Code, Msg);
    };
  }

  BuildDeck(1);
  BuildDeck(2);

  // Cross-fader, its thumb at the left end: deck 1 alone.
  imgSldVol = MakePicture(this, this, "imgSldVol", 290, 404, "SLD_XFADE_TRACK");
  imgSldrVol = MakePicture(this, this, "imgSldrVol", 290, 404, "SLD_XFADE_THUMB");
  imgSldrVol->SetCursor(crHandPoint);

  BuildLowerPanels();
  BuildCDPanel();
  BuildGraphControls();
  BuildMenus();
  BindVolume();
  BindLink();
  BindAbout();
  BuildVUMeters();
  BuildEqualizer();
  BuildPitchControls();
  BuildMixControls();
  BuildRouting();
  BuildLoop();
  BuildExplorer();
  BuildPlaylists();
}

void TfrmMain::BuildDeck(Integer No) {
  const String n = IntToStr(No);
  const bool one = No == 1;
  TPanel* pnl = MakePanel(this, this, "pnlPlayer" + n, one ? 8 : 532, 40, 260, 385, PanelColor);
  pnl->SetTag(one ? 0 : 1);
  (one ? pnlPlayer1 : pnlPlayer2) = pnl;
  (one ? imgDeck1 : imgDeck2) = MakePicture(this, pnl, "imgDeck" + n, 0, 0, "KAZ_DECK" + n);
  BuildDeckTrack(pnl, No);
  BuildDeckTransport(pnl, No);
  BuildDeckPitchAndVolume(pnl, No);
  (one ? btnCut1 : btnCut2) = MakeButton(this, pnl, "btnCut" + n, 16, 240, 52, 22, "Cut");
  if (one) BuildDeckLoop(pnl);
}

// The title, the position bar and times, the tempo and the beat lamp.
void TfrmMain::BuildDeckTrack(TPanel* pnl, Integer No) {
  const String n = IntToStr(No);
  const bool one = No == 1;
  TLabel* title = CreateControl<TLabel>(this, pnl, "lblTitle" + n, 14, 10, 232, 16);
  title->SetAutoSize(false);
  title->SetTransparent(true);
  title->Font()->SetStyle({fsBold});
  title->Font()->SetHeight(-13);
  title->Font()->SetColor(clWhite);
  title->SetCaption("");
  (one ? lblTitle1 : lblTitle2) = title;

  TALProgressBar* bar = CreateControl<TALProgressBar>(this, pnl, "prgBar" + n, 16, 36, 220, 14);
  TBitmap barFace;
  LoadSkinBitmap(&barFace, "POSBAR");
  bar->SetBarBitmap(&barFace);
  bar->SetBackgroundColor(0x280000);
  bar->SetBarColor1(0x590000);
  bar->SetBarColor2(0xFF8080);
  bar->SetBarColorStyle(cs2Colors);
  bar->SetShowBorder(false);
  bar->SetShowPosText(false);
  bar->SetMax(1000);
  bar->SetPosition(1000);
  bar->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    prgBarMouseDown(Sender, Button, Shift, X, Y);
  };
  (one ? prgBar1 : prgBar2) = bar;

  (one ? lblPos1 : lblPos2) = MakeLabel(this, pnl, "lblPos" + n, 16, 54, "00:00:00");
  TLabel* dur = MakeLabel(this, pnl, "lblDur" + n, 112, 54, "00:00");
  (one ? lblDur1 : lblDur2) = dur;
  TLabel* rem = MakeLabel(this, pnl, "lblRem" + n, 0, 54, "00:00");
  rem->SetAlignment(taRightJustify);
  rem->SetLeft(236 - rem->Width());
  (one ? lblRem1 : lblRem2) = rem;

  TEdit* bpm = CreateControl<TEdit>(this, pnl, "txtBPM" + n, 16, 76, 52, 20);
  bpm->SetColor(clBlack);
  bpm->Font()->SetColor(clWhite);
  bpm->SetText("");
  (one ? txtBPM1 : txtBPM2) = bpm;
  (one ? lblCurrBPM1 : lblCurrBPM2) =
      MakeLabel(this, pnl, "lblCurrBPM" + n, 75, 79, "Current BPM = ");

  TShape* lamp = CreateControl<TShape>(this, pnl, "shpBoom" + n, 216, 74, 20, 20);
  lamp->SetShape(stCircle);
  lamp->Brush()->SetColor(clBlack);
  lamp->Pen()->SetColor(0x604030);
  (one ? shpBoom1 : shpBoom2) = lamp;
}

// Play, pause, stop, sync and pre-listening.
void TfrmMain::BuildDeckTransport(TPanel* pnl, Integer No) {
  const String n = IntToStr(No);
  const bool one = No == 1;
  auto onClick = [](TImageButton* b, void (TfrmMain::*handler)(TObject*), TfrmMain* form) {
    b->OnClick = [form, handler](TObject* Sender) { (form->*handler)(Sender); };
  };
  TImageButton* play = MakeSkinButton(this, pnl, "btnPlay" + n, 16, 106, "BTN_PLAY", "Play");
  onClick(play, &TfrmMain::btnPlayClick, this);
  (one ? btnPlay1 : btnPlay2) = play;
  TImageButton* pause = MakeSkinButton(this, pnl, "btnPause" + n, 45, 106, "BTN_PAUSE", "Pause");
  onClick(pause, &TfrmMain::btnPauseClick, this);
  (one ? btnPause1 : btnPause2) = pause;
  TImageButton* stop = MakeSkinButton(this, pnl, "btnStop" + n, 74, 106, "BTN_STOP", "Stop");
  onClick(stop, &TfrmMain::btnStopClick, this);
  (one ? btnStop1 : btnStop2) = stop;
  TImageButton* sync = MakeSkinButton(this, pnl, "btnSync" + n, 117, 106, "BTN_SYNC", "");
  sync->SetTag(one ? 0 : 1);
  sync->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                             int Y) { btnSyncMouseDown(Sender, Button, Shift, X, Y); };
  sync->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
    btnSyncMouseUp(Sender, Button, Shift, X, Y);
  };
  (one ? btnSync1 : btnSync2) = sync;

  TSpeedButton* preL = MakeButton(this, pnl, "btnPreL" + n, 153, 106, 83, 25, "PreListening");
  preL->SetVisible(false);
  (one ? btnPreL1 : btnPreL2) = preL;
}

// The pitch slider and bend buttons, the volume slider and the VU bars.
void TfrmMain::BuildDeckPitchAndVolume(TPanel* pnl, Integer No) {
  const String n = IntToStr(No);
  const bool one = No == 1;
  // Pitch: a 10-pixel thumb on a 220-pixel track, 900 to 1100 per mille.
  (one ? lblPitch1 : lblPitch2) = MakeLabel(this, pnl, "lblPitch" + n, 16, 142, "100 %");
  TImage* pitchTrack = MakePicture(this, pnl, "imgSldPitch" + n, 16, 158, "SLD_PITCH_TRACK");
  TImage* pitchThumb = MakePicture(this, pnl, "imgSldrPitch" + n, 16, 158, "SLD_PITCH_THUMB");
  pitchThumb->SetCursor(crHandPoint);
  (one ? imgSldPitch1 : imgSldPitch2) = pitchTrack;
  (one ? imgSldrPitch1 : imgSldrPitch2) = pitchThumb;

  (one ? btnSyncL1 : btnSyncL2) =
      MakeSkinButton(this, pnl, "btnSyncL" + n, 16, 182, "BTN_BENDUP", "");
  (one ? btnSyncR1 : btnSyncR2) =
      MakeSkinButton(this, pnl, "btnSyncR" + n, 45, 182, "BTN_BENDDOWN", "");
  TSpeedButton* autoPitch =
      MakeButton(this, pnl, "btnAutoPitch" + n, 153, 182, 83, 25, "Auto Pitch");
  (one ? btnAutoPitch1 : btnAutoPitch2) = autoPitch;

  // Volume: the thumb's place is the deck's level (top 100 %, bottom 0 %).
  TImage* volTrack = MakePicture(this, pnl, "imgSldVol" + n, 241, 200, "SLD_VOL_TRACK");
  TImage* volThumb = MakePicture(this, pnl, "imgSldrVol" + n, 241, 200, "SLD_VOL_THUMB");
  volThumb->SetCursor(crHandPoint);
  (one ? imgSldVol1 : imgSldVol2) = volTrack;
  (one ? imgSldrVol1 : imgSldrVol2) = volThumb;
  TLabel* vol = MakeLabel(this, pnl, "lblVol" + n, 0, 372, one ? "100 %" : "0 %");
  vol->SetAlignment(taRightJustify);
  vol->SetLeft(256 - vol->Width());
  (one ? lblVol1 : lblVol2) = vol;

  auto vu = [&](const String& name, Integer left, TProgressDirection direction) {
    auto* b = CreateControl<TALProgressBar>(this, pnl, name, left, 222, 110, 9);
    b->SetBackgroundColor(0x010000);
    b->SetBarColor1(0x480000);
    b->SetBarColor2(0xFF8080);
    b->SetBarColorStyle(cs2Colors);
    b->SetDirection(direction);
    b->SetShowBorder(false);
    b->SetShowPosText(false);
    b->SetMax(50);
    b->SetPosition(50);
    b->SetVisible(false);
    return b;
  };
  (one ? prgVUL1 : prgVUL2) = vu("prgVUL" + n, 16, pdRightToLeft);
  (one ? prgVUR1 : prgVUR2) = vu("prgVUR" + n, 126, pdLeftToRight);
}

// Deck 1's loop controls, hidden until a loop is set.
void TfrmMain::BuildDeckLoop(TPanel* pnl) {
  btnLoop1 = MakeButton(this, pnl, "btnLoop1", 75, 240, 22, 22, "<");
  btnLoop1->SetVisible(false);
  btnAutoSync = MakeButton(this, pnl, "btnAutoSync", 103, 240, 70, 22, "AutoSync");
  btnAutoSync->SetVisible(false);
  pnlLoop1Start = MakePanel(this, pnl, "pnlLoop1Start", 16, 266, 105, 22, PanelColor);
  pnlLoop1Start->SetVisible(false);
  pnlLoop2End = MakePanel(this, pnl, "pnlLoop2End", 125, 266, 105, 22, PanelColor);
  pnlLoop2End->SetVisible(false);
  TEdit** edits[] = {&txtLoopSM1, &txtLoopSS1, &txtLoopSF1, &txtLoopEM1, &txtLoopES1, &txtLoopEF1};
  const char* names[] = {"txtLoopSM1", "txtLoopSS1", "txtLoopSF1",
                         "txtLoopEM1", "txtLoopES1", "txtLoopEF1"};
  for (int i = 0; i < 6; ++i) {
    TPanel* holder = i < 3 ? pnlLoop1Start : pnlLoop2End;
    *edits[i] = CreateControl<TEdit>(this, holder, names[i], (i % 3) * 35, 0, 33, 20);
    (*edits[i])->SetText("00");
  }
}

void TfrmMain::BuildLowerPanels() {
  struct PanelButton {
    TSpeedButton** field;
    const char* name;
    const char* caption;
  };
  const PanelButton buttons[] = {{&btnBrowse, "btnBrowse", "EXPLORER"},
                                 {&btnEQ, "btnEQ", "EQUALIZER"},
                                 {&btnAudio, "btnAudio", "CD AUDIO"},
                                 {&btnSetup, "btnSetup", "OPTIONS"},
                                 {&btnSpots, "btnSpots", "SPOTS"}};
  Integer top = 436;
  for (const auto& b : buttons) {
    *b.field = MakeButton(this, this, b.name, 12, top, 104, 26, b.caption);
    (*b.field)->Font()->SetStyle({fsBold});
    top += 31;
  }

  pnlBrowse = MakePanel(this, this, "pnlBrowse", 126, 433, 665, 159, PanelColor);
  pnlEQ = MakePanel(this, this, "pnlEQ", 126, 433, 665, 159, PanelColor);
  pnlCD = MakePanel(this, this, "pnlCD", 126, 433, 664, 159, PanelColor);
  pnlSetup = MakePanel(this, this, "pnlSetup", 126, 433, 665, 159, PanelColor);
  // The light controller's window is put over this one.
  pnlSpots = MakePanel(this, this, "pnlSpots", 126, 433, 665, 159, clBlack);
}

void TfrmMain::BuildGraphControls() {
  SetMessageHandler(WM_DECK_LEVEL, [this](TMessage& Message) { WMDeckLevel(Message); });
  // Both handles move within the same height: they share pnlLine1's Top and Height.
  pnlLine1 = MakePanel(this, this, "pnlLine1", 272, 43, 24, 145, clBlack);
  Panel1 = MakePanel(this, this, "Panel1", 506, 43, 24, 145, clBlack);
  TSpeedButton* handles[2] = {};
  for (int i = 0; i < 2; ++i) {
    TPanel* holder = i == 0 ? pnlLine1 : Panel1;
    TSpeedButton* b = MakeButton(this, holder, i == 0 ? "btnForceBoomLine1" : "btnForceBoomLine2",
                                 2, (holder->Height() - 20) / 2, 20, 20, "\x96");
    b->SetHint("Beat line detection (right button to move, left to activate)");
    b->SetShowHint(true);
    b->SetTag(0);
    b->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnForceBoomLineMouseDown(Sender, Button, Shift, X, Y);
    };
    b->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
      btnForceBoomLineMouseMove(Sender, Shift, X, Y);
    };
    b->OnClick = [this](TObject* Sender) { btnForceBoomLineClick(Sender); };
    handles[i] = b;
  }
  btnForceBoomLine1 = handles[0];
  btnForceBoomLine2 = handles[1];

  // Under each handle: the graph's options for that deck; each menu opens away from the graph.
  btnGraphOptions1 = MakeButton(this, this, "btnGraphOptions1", 274, 190, 20, 16, "<");
  btnGraphOptions2 = MakeButton(this, this, "btnGraphOptions2", 508, 190, 20, 16, ">");
  for (TSpeedButton* b : {btnGraphOptions1, btnGraphOptions2})
    b->OnClick = [this](TObject* Sender) { btnGraphOptionsClick(Sender); };
}

void TfrmMain::BuildMenus() {
  auto item = [this](TMenuItem* parent, const String& name, const String& caption) {
    auto* m = new TMenuItem(this);
    m->SetName(name);
    m->SetCaption(caption);
    parent->Add(m);
    return m;
  };

  // The window's menus frame the item under the pointer instead of filling it.
  popGraphOptions = MakeMenu(this, "popGraphOptions");
  popSoundLine = item(popGraphOptions->Items(), "popSoundLine", "Sound Line");
  popSoundLine->OnClick = [this](TObject* Sender) { popSoundLineClick(Sender); };
  popBoomLine = item(popGraphOptions->Items(), "popBoomLine", "Beat Line");
  popBoomLine->OnClick = [this](TObject* Sender) { popBoomLineClick(Sender); };
  popBeatDetection = item(popGraphOptions->Items(), "popBeatDetection", "Beat Detection");
  popBDetect1 = item(popBeatDetection, "popBDetect1", "Method 1");
  popBDetect1->SetTag(1);
  popBDetect1->SetHint("By default");
  popBDetect2 = item(popBeatDetection, "popBDetect2", "Method 2");
  popBDetect2->SetTag(2);
  popBDetect2->SetHint("Use it for big boom");
  for (TMenuItem* m : {popBDetect1, popBDetect2}) {
    m->SetRadioItem(true);
    m->SetGroupIndex(1);
    m->OnClick = [this](TObject* Sender) { popBDetectClick(Sender); };
  }
  // Method 1 until the settings say otherwise.
  popBDetect1->SetDefault(true);
  popBDetect1->SetChecked(true);

  MainPop = MakeMenu(this, "MainPop");
  popAbout = item(MainPop->Items(), "popAbout", "About KAZ Player v2.0");
  popAbout->SetDefault(true);
  popUpdate = item(MainPop->Items(), "popUpdate", "Check for update");
}

void TfrmMain::FormCreate(TObject*) {
  GetHdl(Handle());
  CardList = std::make_unique<TStringList>();
  SetClientHeight(600);
  SetClientWidth(800);

  SplashProgress("Loading XAudio ...", 20);
  SetupEngines();

  SplashProgress("Loading Players ...", 40);
  InitPlayers();

  SplashProgress("Loading Sliders ...", 60);
  InitSliders();

  SplashProgress("Loading INI file ...", 80);
  LoadSettings();
  // Each device comes back later as one notification of deck 1.
  Xaudio1->OutputModulesList();

  SplashProgress("Loading parameters ...", 90);
  for (Integer i = 0; i < GraphPointCount; ++i) {
    const TPoint bottom{boxGraph->Left() + 3 * i, boxGraph->Top() + boxGraph->Height()};
    Deck1.GraphPts[i] = bottom;
    Deck2.GraphPts[i] = bottom;
    // The first level erases the curve "as last drawn": let that be the same flat line.
    Deck1.OldPts[i] = bottom;
    Deck2.OldPts[i] = bottom;
  }
  BPMOrder = 0;
  MixRunning = 0;
  Closing = 0;
  CDPlayer->SetColoredButtons({});
  // The explorer is the panel shown at start.
  pnlBrowse->BringToFront();
  InitMicrophone();

  SplashProgress("Loading About Box ...", 100);
}

void TfrmMain::FormShow(TObject*) {
  if (frmSplash) frmSplash->Timer->SetEnabled(true);
}
