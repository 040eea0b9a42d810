// The light controller's main window ("Beam FX"): eight lamps on the parallel port, the
// chase patterns and the custom light program that step them, the tempo clock and the
// player's beats that drive the steps, and the Customiser where light programs are built.
//
// The run-time state is static, alive for the whole run, as the window is made once per
// run; the window's constructor sets it to its start values. Everything here runs on the
// GUI thread: the threaded timers hand their ticks to it and the player's beats arrive as
// sent messages.
#pragma once

#include <array>

#include "classlib/Buttons.h"
#include "classlib/Classes.h"
#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timers.h"
#include "lights/PortIO.h"
#include "lights/Unit1Bfx.h"
#include "widgets/ThdTimer.h"

// Messages with the player and with the surveyor program.
constexpr UINT WM_LIGHTS_BEAT = WM_USER + 1234;
constexpr UINT WM_LIGHTS_ATTACH = WM_USER + 1235;
constexpr UINT WM_LIGHTS_SHOW = WM_USER + 1237;
constexpr UINT WM_LIGHTS_MOVE = WM_USER + 1238;
constexpr UINT WM_SURVEYOR_PING = WM_USER + 3674;
constexpr UINT WM_SURVEYOR_ATTACH = WM_USER + 3675;
constexpr UINT WM_SURVEYOR_DETACH = WM_USER + 3676;

// The data register of the first parallel port, where the lamps are.
constexpr Word LampPort = 0x378;
// A lit lamp panel; also the window's font colour.
constexpr TColor LitColor = 0xFF8686;
constexpr TColor UnlitColor = 0;

// Channel c (1 to 8) is bit 128 shr (c - 1) of the port byte; index 0 is unused.
extern std::array<bool, 9> Channels;
// Shared by all patterns and the custom list, so a new pattern goes on from where the
// last one stopped.
extern Integer StepCounter;
// The pattern radio (1 to 9) to give back when a stroboscope held with the right button
// is released; 0 when none is held.
extern Integer HeldPattern;
extern bool FlashMode;
extern bool SavedFlashMode;
extern Cardinal SavedInterval;
extern bool BoostActive;
// A "Boost" press that took effect, so that only its own release undoes it.
extern bool BoostHeld;
extern bool BeatFilterBusy;
extern Integer TapCount;
extern Integer TapElapsed;
extern Integer LastTap;
// The Customiser's pair toggles: Upper, Medium, Lower.
extern std::array<bool, 3> CommandBits;
extern HWND SurveyorWindow;
extern TPoint DragAnchor;
// The player whose window this one is docked into: read at start, or when the player hides
// this window, from "Handle"/"kaz" (0 when none is known).
extern HWND PlayerWindow;

// The port byte of a set of channels.
Byte PortByteOf(const std::array<bool, 9>& AChannels);

class TForm1 : public TForm {
 public:
  explicit TForm1(TComponent* AOwner);
  ~TForm1() override;

  TPanel* MainBevel = nullptr;
  TGroupBox* GroupBox2 = nullptr;
  TGroupBox* GroupBox3 = nullptr;
  TPanel* spot1 = nullptr;
  TPanel* spot2 = nullptr;
  TPanel* spot3 = nullptr;
  TPanel* spot4 = nullptr;
  TPanel* spot5 = nullptr;
  TPanel* spot6 = nullptr;
  TPanel* Strobo = nullptr;
  TPanel* Spot21 = nullptr;
  TPanel* Spot22 = nullptr;
  TPanel* Spot23 = nullptr;
  TPanel* Spot24 = nullptr;
  TPanel* Spot25 = nullptr;
  TPanel* Spot26 = nullptr;
  TPanel* light = nullptr;
  TCheckBox* reversechk1 = nullptr;
  TCheckBox* ReverseChk2 = nullptr;
  TCheckBox* CheckBox1 = nullptr;
  TRadioButton* Radio1 = nullptr;
  TRadioButton* Radio2 = nullptr;
  TRadioButton* Radio3 = nullptr;
  TRadioButton* Radio4 = nullptr;
  TRadioButton* Radio5 = nullptr;
  TRadioButton* Radio6 = nullptr;
  TRadioButton* Radio7 = nullptr;
  TRadioButton* Radio8 = nullptr;
  TRadioButton* Radio9 = nullptr;
  TTrackBar* intervalTrkbar = nullptr;
  TUpDown* BpmUpDown = nullptr;
  TLabel* BpmLbl = nullptr;
  TSpeedButton* BoomBtn = nullptr;
  TSpeedButton* SpeedButton8 = nullptr;
  TSpeedButton* SpeedButton6 = nullptr;
  TPanel* Morepnl = nullptr;
  TPanel* Panel5 = nullptr;
  TPanel* Panel4 = nullptr;
  TPopupMenu* Popup1 = nullptr;
  TMenuItem* Automode1 = nullptr;
  TMenuItem* Boomfilter = nullptr;
  TMenuItem* Flashingchk = nullptr;
  TMenuItem* Customiser1 = nullptr;
  TMenuItem* Setup = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* BeamFXpluginv101 = nullptr;

  // The Customiser.
  TGroupBox* Customizer = nullptr;
  TPanel* CommandsPanel = nullptr;
  TLabel* Label1 = nullptr;
  TPanel* Panel1 = nullptr;
  TPanel* Panel2 = nullptr;
  TPanel* Panel3 = nullptr;
  TSpeedButton* SpeedButton1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TSpeedButton* SpeedButton3 = nullptr;
  TListView* ListView1 = nullptr;
  TSpeedButton* SpeedButton5 = nullptr;
  TSpeedButton* SpeedButton7 = nullptr;
  TSpeedButton* SpeedButton9 = nullptr;
  TSpeedButton* SpeedButton10 = nullptr;
  TSpeedButton* SpeedButton11 = nullptr;

  TTimer* Timer1 = nullptr;
  // Runs while the player keeps this window hidden: a player that has gone can no longer
  // show it, so it shows itself then.
  TTimer* PlayerWatch = nullptr;
  TThreadedTimer* Boomtimer = nullptr;
  TThreadedTimer* CutoffTimer = nullptr;
  TThreadedTimer* FilterTimer = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TDLPortIO* PortIO = nullptr;
  TApplicationEvents* ApplicationEvents1 = nullptr;

  // Start-up, close and the window.
  void FormCreate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormShow(TObject* Sender);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void FormMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void ApplicationEvents1Deactivate(TObject* Sender);
  void MorepnlClick(TObject* Sender);
  void Panel5Click(TObject* Sender);
  void Panel4Click(TObject* Sender);
  void SetupClick(TObject* Sender);
  void BeamFXpluginv101Click(TObject* Sender);
  void WMLightsBeat(TMessage& Message);
  void WMLightsShow(TMessage& Message);
  void WMLightsMove(TMessage& Message);
  void WMSurveyorPing(TMessage& Message);
  void PlayerWatchTimer(TObject* Sender);

  // Lamps and patterns.
  void Timer1Timer(TObject* Sender);
  void CutoffTimerTimer(TObject* Sender);
  void reversechk1Click(TObject* Sender);
  void ReverseChk2Click(TObject* Sender);
  void Radio9MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void Radio9MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void Radio8MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void Radio8MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);

  // Tempo and beats.
  void intervalTrkbarChange(TObject* Sender);
  void BpmUpDown1Click(TObject* Sender, TUDBtnType Button);
  void FilterTimerTimer(TObject* Sender);
  void BoomBtn1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                         Integer Y);
  void BoomtimerTimer(TObject* Sender);
  void SpeedButton81Click(TObject* Sender);
  void SpeedButton61MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                              Integer Y);
  void SpeedButton61MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                            Integer Y);
  void CheckBox1Click(TObject* Sender);
  void Automode1Click(TObject* Sender);
  void BoomfilterClick(TObject* Sender);
  void FlashingchkClick(TObject* Sender);

  // The Customiser.
  void Panel1Click(TObject* Sender);
  void Panel2Click(TObject* Sender);
  void Panel3Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void SpeedButton3Click(TObject* Sender);
  void UpDown1Click(TObject* Sender, TUDBtnType Button);
  void speedbutton2Click(TObject* Sender);
  void SpeedButton4Click(TObject* Sender);
  void SaveBtnClick(TObject* Sender);
  void loadBtnClick(TObject* Sender);
  void SpeedButton5Click(TObject* Sender);
  void Customiser1Click(TObject* Sender);
  void Radio7Click(TObject* Sender);

  // The lamp panel of each position 1 to 8.
  TPanel* PositionPanel(Integer Position) const;
  // The panel that mirrors a position 1 to 3 or 5 to 7 by its "Reverse" box, else null.
  TPanel* MirrorPanel(Integer Position) const;
  // The checked pattern radio's number 1 to 9, or 0.
  Integer CheckedPattern() const;
  TRadioButton* PatternRadio(Integer Number) const;
  // Writes the byte to the lamp port (skipped while the driver is closed).
  void WriteLamps(Byte Value);

 private:
  void BuildWindow();
  void BuildLamps();
  void BuildPatterns();
  void BuildWindowButtons();
  void BuildTempo();
  void BuildCustomiser();
  void BuildMenu();
  void BuildTimers();
  // Paints all fourteen lamp panels in one colour.
  void PaintAllLamps(TColor Color);
  void TogglePair(TPanel* Panel, Integer Bit);
  void AppendEntry(const String& Caption, const String& Code);
  // Advances the custom list's counter and answers the code of the entry it lands on.
  Integer NextCustomCode();
  void StroboDown(TRadioButton* Pressed, TShiftState Shift);
  void StroboUp(TRadioButton* Pressed);
};

extern TForm1* Form1;
