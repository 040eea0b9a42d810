// The player's main window: two decks around the level graph, the cross-fader between
// them and the lower panels (explorer, equalizer, CD audio, options, lights).
//
// The run-time state of both decks lives in two static records, so that every handler of
// the window serves either deck: it picks the record from its Sender and works through it.
// Everything here runs on the GUI thread.
#pragma once

#include <array>
#include <exception>
#include <memory>

#include "classlib/Buttons.h"
#include "classlib/Classes.h"
#include "classlib/ComCtrls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "classlib/StdCtrls.h"
#include "classlib/Timers.h"
#include "classlib/FileCtrl.h"
#include "classlib/MPlayer.h"
#include "engine/AMixer.h"
#include "engine/XaudioPlayer.h"
#include "widgets/ALProgressBar.h"
#include "widgets/ButtonComps.h"
#include "widgets/RXSlider.h"
#include "widgets/RxMenus.h"
#include "widgets/RXSpin.h"
#include "widgets/ThdTimer.h"

class TListView;
class TListItem;
class TDriveComboBox;
class TImageList;
class TOpenDialog;
class TSaveDialog;
class TXAnalyzer;
class TBpmList;

// A track's length as the engine reported it.
struct TZik {
  Integer DurSecs = 0;
  Integer DurMin = 0;
  Integer DurSec = 0;
};

constexpr Integer GraphPointCount = 66;

// One deck's state. Flags hold 0 (off) or -1 (on).
struct TXPlayer {
  TXaudioPlayer* Xaudio = nullptr;
  TLabel* TitleLabel = nullptr;
  TEdit* BPMEdit = nullptr;
  TLabel* CurrBPMLabel = nullptr;
  TLabel* PosLabel = nullptr;  // time played, time left, track length
  TLabel* RemLabel = nullptr;
  TLabel* DurLabel = nullptr;
  TLabel* PitchLabel = nullptr;
  TLabel* VolLabel = nullptr;
  TImage* PitchThumb = nullptr;
  TImage* PitchTrack = nullptr;
  TImage* VolThumb = nullptr;
  TImage* VolTrack = nullptr;
  TShape* BeatLamp = nullptr;
  TSpeedButton* LoopButton = nullptr;
  TSpeedButton* PreLButton = nullptr;
  TListView* PlayList = nullptr;
  TALProgressBar* PosBar = nullptr;
  std::array<TEdit*, 6> LoopEdits{};
  TALProgressBar* VULeft = nullptr;
  TALProgressBar* VURight = nullptr;
  std::array<TPoint, GraphPointCount> GraphPts{};
  std::array<TPoint, GraphPointCount> OldPts{};
  std::array<Integer, GraphPointCount> BeatMarks{};
  Integer LineLeft = 0;
  Integer LineY = 0;
  Integer LineRight = 0;
  Integer OldLineY = 0;
  Cardinal LevelTotal = 0;
  Cardinal LevelCount = 0;
  TColor GraphColor = 0;
  Integer BoomLine = 0;
  Integer ForceLine = 0;
  Integer ForceLineY = 0;
  Integer PlayState = 0;
  Integer CurPitch = 0;
  Integer DeckNo = 0;
  Integer LoopSM = 0, LoopSS = 0, LoopSF = 0;
  Integer LoopEM = 0, LoopES = 0, LoopEF = 0;
  Integer LoopOn = 0;
  TZik Zik;
  Integer AutoSync = 0;
  Integer SyncPaused = 0;
  TXPlayer* OtherDeck = nullptr;
};

// Messages between the player and the light controller ("BeamExe").
constexpr UINT WM_LIGHTS_BEAT = WM_USER + 1234;    // a beat on a deck
constexpr UINT WM_LIGHTS_ATTACH = WM_USER + 1235;  // WParam: the light controller's window
constexpr UINT WM_LIGHTS_SHOW = WM_USER + 1237;    // WParam: 1 show, 0 hide
constexpr UINT WM_LIGHTS_MOVE = WM_USER + 1238;    // WParam x, LParam y on the screen

// The two decks and the window-wide state; static, alive for the whole run.
extern TXPlayer Deck1;
extern TXPlayer Deck2;
extern TXPlayer* CurrentDeck;
extern HWND LightWindow;
extern Integer Closing;
extern TPoint SliderGrab;
// The automatic mix: on/off, its start in seconds before the end, and whether one runs.
extern Integer AutoMix;
extern Integer MixStart;
extern Integer MixRunning;
// The rest of the automatic mix's settings: its length and the offset of the incoming
// track in seconds, and the method (kept only); the deck an automatic mix fades out.
extern Integer MixLength;
extern Integer MixSeek;
extern Integer MixMethod;
extern TXPlayer* EndingDeck;
// The pitch bend's current step in per mille.
extern Integer BendStep;
// Sort the playlists by BPM.
extern Integer BPMOrder;
// Where the mouse went down on the window's background; x = 0: no drag in progress.
extern TPoint DragOrigin;
// The graph's options: the vertical line at the beat test point, and how peaks are found
// (1: a single-point peak, 2: a rise followed by a flat top).
extern Integer SoundLine;
extern Integer BoomMethod;
// Output routing: the device index of each deck's card in two-card mode, and whether the
// main output is heard in the headphones too in pre-listening mode.
extern Integer CardIndex1;
extern Integer CardIndex2;
extern Integer AlwaysHeadphones;

// Explorer entries are told apart by their image index.
constexpr Integer ExplorerFolder = 0;
constexpr Integer ExplorerMp3 = 1;
constexpr Integer ExplorerUpDir = 3;
constexpr Integer ExplorerMessage = -1;

// Image sliders: a track picture and a thumb picture in the same parent.
void PlaceHSlider(TImage* Track, TImage* Thumb, Integer Value, Integer Max, Integer Min);
void PlaceVSlider(TImage* Track, TImage* Thumb, Integer Value, Integer Max, Integer Min);
Integer DragHSlider(TImage* Track, TImage* Thumb, Integer X, Integer Min, Integer Max);
Integer DragVSlider(TImage* Track, TImage* Thumb, Integer Y, Integer Min, Integer Max);

// Only the left button held, nothing else.
inline bool LeftAlone(TShiftState Shift) {
  return Shift == TShiftState{ssLeft};
}
// A 32-bit product that wraps on overflow, without undefined behaviour.
inline Integer Mul32(Integer a, Integer b) {
  return static_cast<Integer>(static_cast<Cardinal>(a) * static_cast<Cardinal>(b));
}

// The VU meters' ring: the values of the last 39 messages of either deck. Each message
// writes one frame, for its own deck only; index 0 is deck 1, 1 is deck 2.
constexpr Integer VUFrameCount = 39;
struct TVUFrame {
  std::array<Smallint, 2> Left{};
  std::array<Smallint, 2> Right{};
};

// The equalizer: which of a deck's ten band sliders each of the engine's 32 bands follows.
extern const std::array<Byte, 32> EQBandSlider;
// The record for the engine from a preamp and ten slider values (-40 at a thumb's top,
// +40 at its bottom): each band is the preamp minus its slider, both channels alike.
XA_EqualizerInfo EqualizerRecord(Integer Preamp, const std::array<Integer, 10>& Sliders);

// The deck's file name without folder and extension ("a.b.mp3" gives "a.b").
String TitleOfPath(const String& Path);

// The tempo text of an ID3 comment such as "BPM=128.5": four significant digits with the
// locale's decimal separator, or "" when the comment holds no readable tempo. Never raises.
String ParseBPM(const String& Comment);

class TfrmMain : public TForm {
 public:
  explicit TfrmMain(TComponent* AOwner);
  ~TfrmMain() override;

  // Background and title (they also drag the window).
  TImage* imgBk = nullptr;
  TImage* imgTitle = nullptr;
  TSpeedButton* btnMin = nullptr;
  TSpeedButton* btnClose = nullptr;
  // Where both decks draw their level curves.
  TPaintBox* boxGraph = nullptr;
  // Beside the graph: the handles that force each deck's beat line to a height, and the
  // buttons that open the graph's options for a deck.
  TPanel* pnlLine1 = nullptr;
  TPanel* Panel1 = nullptr;
  TSpeedButton* btnForceBoomLine1 = nullptr;
  TSpeedButton* btnForceBoomLine2 = nullptr;
  TSpeedButton* btnGraphOptions1 = nullptr;
  TSpeedButton* btnGraphOptions2 = nullptr;
  TRxPopupMenu* popGraphOptions = nullptr;
  TMenuItem* popSoundLine = nullptr;
  TMenuItem* popBoomLine = nullptr;
  TMenuItem* popBeatDetection = nullptr;
  TMenuItem* popBDetect1 = nullptr;
  TMenuItem* popBDetect2 = nullptr;
  // The right-click menu of the background.
  TRxPopupMenu* MainPop = nullptr;
  TMenuItem* popAbout = nullptr;
  TMenuItem* popUpdate = nullptr;

  // Deck 1.
  TPanel* pnlPlayer1 = nullptr;
  TImage* imgDeck1 = nullptr;
  TLabel* lblTitle1 = nullptr;
  TALProgressBar* prgBar1 = nullptr;
  TLabel* lblPos1 = nullptr;
  TLabel* lblRem1 = nullptr;
  TLabel* lblDur1 = nullptr;
  TEdit* txtBPM1 = nullptr;
  TLabel* lblCurrBPM1 = nullptr;
  TShape* shpBoom1 = nullptr;
  TImageButton* btnPlay1 = nullptr;
  TImageButton* btnPause1 = nullptr;
  TImageButton* btnStop1 = nullptr;
  TImageButton* btnSync1 = nullptr;
  TImageButton* btnSyncL1 = nullptr;
  TImageButton* btnSyncR1 = nullptr;
  TSpeedButton* btnAutoPitch1 = nullptr;
  TLabel* lblPitch1 = nullptr;
  TImage* imgSldPitch1 = nullptr;
  TImage* imgSldrPitch1 = nullptr;
  TImage* imgSldVol1 = nullptr;
  TImage* imgSldrVol1 = nullptr;
  TLabel* lblVol1 = nullptr;
  TALProgressBar* prgVUL1 = nullptr;
  TALProgressBar* prgVUR1 = nullptr;
  TSpeedButton* btnCut1 = nullptr;
  TSpeedButton* btnPreL1 = nullptr;
  TSpeedButton* btnLoop1 = nullptr;
  TPanel* pnlLoop1Start = nullptr;
  TPanel* pnlLoop2End = nullptr;
  TEdit* txtLoopSM1 = nullptr;
  TEdit* txtLoopSS1 = nullptr;
  TEdit* txtLoopSF1 = nullptr;
  TEdit* txtLoopEM1 = nullptr;
  TEdit* txtLoopES1 = nullptr;
  TEdit* txtLoopEF1 = nullptr;
  TSpeedButton* btnAutoSync = nullptr;

  // Deck 2.
  TPanel* pnlPlayer2 = nullptr;
  TImage* imgDeck2 = nullptr;
  TLabel* lblTitle2 = nullptr;
  TALProgressBar* prgBar2 = nullptr;
  TLabel* lblPos2 = nullptr;
  TLabel* lblRem2 = nullptr;
  TLabel* lblDur2 = nullptr;
  TEdit* txtBPM2 = nullptr;
  TLabel* lblCurrBPM2 = nullptr;
  TShape* shpBoom2 = nullptr;
  TImageButton* btnPlay2 = nullptr;
  TImageButton* btnPause2 = nullptr;
  TImageButton* btnStop2 = nullptr;
  TImageButton* btnSync2 = nullptr;
  TImageButton* btnSyncL2 = nullptr;
  TImageButton* btnSyncR2 = nullptr;
  TSpeedButton* btnAutoPitch2 = nullptr;
  TLabel* lblPitch2 = nullptr;
  TImage* imgSldPitch2 = nullptr;
  TImage* imgSldrPitch2 = nullptr;
  TImage* imgSldVol2 = nullptr;
  TImage* imgSldrVol2 = nullptr;
  TLabel* lblVol2 = nullptr;
  TALProgressBar* prgVUL2 = nullptr;
  TALProgressBar* prgVUR2 = nullptr;
  TSpeedButton* btnCut2 = nullptr;
  TSpeedButton* btnPreL2 = nullptr;

  // Cross-fader.
  TImage* imgSldVol = nullptr;
  TImage* imgSldrVol = nullptr;

  // The lower panels, all at one place; the front one is shown.
  TSpeedButton* btnBrowse = nullptr;
  TSpeedButton* btnEQ = nullptr;
  TSpeedButton* btnAudio = nullptr;
  TSpeedButton* btnSetup = nullptr;
  TSpeedButton* btnSpots = nullptr;
  TPanel* pnlBrowse = nullptr;
  TPanel* pnlEQ = nullptr;
  TPanel* pnlCD = nullptr;
  TPanel* pnlSetup = nullptr;
  TPanel* pnlSpots = nullptr;
  std::array<TImage*, 20> imgSldEQ{};
  std::array<TImage*, 20> imgSldrEQ{};

  // The engines of the decks.
  TXaudioPlayer* Xaudio1 = nullptr;
  TXaudioPlayer* Xaudio2 = nullptr;

  // Pitch bend options (on the options panel) and the dynamic bend's timer.
  TPanel* pnlPitchBend = nullptr;
  TRadioButton* chkDPitchBend = nullptr;
  TRadioButton* chkSPitchBend = nullptr;
  TRxSpinEdit* spnSPitchBend = nullptr;
  TTimer* tmrPitchBend = nullptr;

  // Mixing: the manual mix, its step timer, the blinking notice and the automatic mix.
  TSpeedButton* btnMix = nullptr;
  TRxSpinEdit* spnMixLength = nullptr;
  TLabel* lblMixInfo = nullptr;
  TThreadedTimer* tmrTrans = nullptr;
  TTimer* TmrMixInfo = nullptr;
  TCheckBox* chkAutoMix = nullptr;
  TRxSpinEdit* spnAMixStart = nullptr;
  TRxSpinEdit* spnAMixLength = nullptr;
  TRxSpinEdit* spnASeek = nullptr;
  TRxSpinEdit* spnAMethod = nullptr;

  // Output devices as the engine lists them.
  std::unique_ptr<TStringList> CardList;

  // The explorer, on pnlBrowse: a folder's sub-folders and MP3 files with their tempi.
  TDriveComboBox* cboDrives = nullptr;
  TListView* ListFiles = nullptr;
  TSpeedButton* btnRescan = nullptr;
  TLabel* lblLoading = nullptr;
  TImageList* imgList = nullptr;
  TRxPopupMenu* popListFiles = nullptr;
  TMenuItem* popListID3 = nullptr;
  TMenuItem* popSplit = nullptr;
  // Reads the tempo from the comments of the files listed and loaded from playlists.
  TXAnalyzer* Xanalyser = nullptr;
  // The explorer's current folder: the last folder scanned, ending in one "\".
  String CurrentFolder;

  // The playlists, one per deck, and their menu and file dialogs.
  TListView* List1 = nullptr;
  TListView* List2 = nullptr;
  TSpeedButton* btnListName1 = nullptr;
  TSpeedButton* btnListBPM1 = nullptr;
  TSpeedButton* btnListName2 = nullptr;
  TSpeedButton* btnListBPM2 = nullptr;
  TRxPopupMenu* popPList = nullptr;
  TMenuItem* popPPlayer1 = nullptr;
  TMenuItem* popPPlayer2 = nullptr;
  TMenuItem* popPBPM = nullptr;
  TMenuItem* popPID3 = nullptr;
  TMenuItem* popPLoad = nullptr;
  TMenuItem* popPSave = nullptr;
  TMenuItem* popLClear = nullptr;
  TMenuItem* popPRemove = nullptr;
  TOpenDialog* dlgOpen = nullptr;
  TSaveDialog* dlgSave = nullptr;
  // Output routing, on the options panel.
  TCheckBox* chk2SC = nullptr;
  TSpeedButton* btnSC1 = nullptr;
  TSpeedButton* btnSC2 = nullptr;
  TLabel* lblSC1 = nullptr;
  TLabel* lblSC2 = nullptr;
  TCheckBox* chkPreL = nullptr;
  TCheckBox* chkASound = nullptr;
  TRxPopupMenu* popSC = nullptr;
  void Xaudio1NotifyOutputDeviceInfo(TObject* Sender, Byte ModuleID, Byte Index, Byte Flags,
                                     const String& Name, const String& Description);
  void btnSC1Click(TObject* Sender);
  void SoundCardItemClick(TObject* Sender);
  void chk2SCClick(TObject* Sender);
  void chkPreLClick(TObject* Sender);
  void chkASoundClick(TObject* Sender);
  void btnPreLClick(TObject* Sender);

  // Deck 1's loop and auto-sync.
  TRxPopupMenu* popLoop1 = nullptr;
  TMenuItem* popLLoop1 = nullptr;
  TMenuItem* popFullRepeat1 = nullptr;
  void txtLoopKeyPress(TObject* Sender, char& Key);
  void txtLoopChange(TObject* Sender);
  void btnLoop1Click(TObject* Sender);
  void popLLoopClick(TObject* Sender);
  void popFullRepeatClick(TObject* Sender);
  void btnAutoSyncClick(TObject* Sender);
  // From the timecode handler of either deck: the loop's end, then auto-sync's beats.
  void LoopAndSyncCheck(TXPlayer& Deck, Byte Minutes, Byte Seconds, Byte Fractions);

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void LoadSettings();
  void SaveSettings();
  // What LoadSettings got to: the close writes back only that, so a start that failed
  // before the file was read never puts designed values over the user's own.
  bool HandleAnnounced = false;
  bool SettingsRead = false;
  void FormClose(TObject* Sender, TCloseAction& Action);

  void InitPlayers();
  void InitSliders();
  void SetupEngines();

  void LoadDeck(TXPlayer& Deck, const String& Path, const String& BPM);
  void SetPitch(TXPlayer& Deck, Integer Value);
  void SetDeckVolume(TXPlayer& Deck, Integer Level);

  void btnPlayClick(TObject* Sender);
  void btnPauseClick(TObject* Sender);
  void btnStopClick(TObject* Sender);
  void prgBarMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void btnSyncMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                        Integer Y);
  void btnSyncMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                      Integer Y);
  void XaudioNotifyPlayerState(TObject* Sender, Integer State);
  void XaudioNotifyInputPosition(TObject* Sender, Cardinal Offset, Cardinal Range);
  void XaudioNotifyInputTimecode(TObject* Sender, Byte Hours, Byte Minutes, Byte Seconds,
                                 Byte Fractions);
  void XaudioNotifyStreamDuration(TObject* Sender, Cardinal Duration);
  void XaudioNotifyInputState(TObject* Sender, Integer State);
  void XaudioNotifyError(TObject* Sender, Byte Source, Smallint Code, const String& Msg);

  // Volume, cross-fader and cut.
  void imgSldrMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                        Integer Y);
  void imgSldrVolMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void imgHSldrVolMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void btnCutMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void btnCutMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  // A deck's volume: 100 minus its thumb's place, read without moving the thumb.
  Integer DeckVolume(TXPlayer& Deck);

  // Pitch, auto pitch and pitch bend.
  void btnAutoPitchClick(TObject* Sender);
  void btnSyncLMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                         Integer Y);
  void btnSyncLMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void btnSyncRMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                         Integer Y);
  void btnSyncRMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void tmrPitchBendTimer(TObject* Sender);
  void chkDPitchBendClick(TObject* Sender);
  void chkSPitchBendClick(TObject* Sender);
  void txtBPMKeyPress(TObject* Sender, char& Key);

  // Mixing.
  void btnMixClick(TObject* Sender);
  void tmrTransTimer(TObject* Sender);
  void tmrMixInfoTimer(TObject* Sender);
  void chkAutoMixClick(TObject* Sender);
  void spnAMixStartChange(TObject* Sender);
  void spnAMixLengthChange(TObject* Sender);
  void spnASeekChange(TObject* Sender);
  void spnAMethodChange(TObject* Sender);
  void spnMixLengthChange(TObject* Sender);
  void spnMixLengthMouseWheelUp(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled);
  void spnMixLengthMouseWheelDown(TObject* Sender, TShiftState Shift, TPoint MousePos,
                                  bool& Handled);
  void StartAutoMix(TXPlayer& A);
  void FinishMix(TXPlayer& X);

  // The light controller and the window.
  void WMLightsAttach(TMessage& Message);
  void btnSpotsClick(TObject* Sender);
  void btnBrowseClick(TObject* Sender);
  void btnEQClick(TObject* Sender);
  void btnAudioClick(TObject* Sender);
  void btnSetupClick(TObject* Sender);
  void imgBkMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                      Integer Y);
  void imgBkMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void imgBkMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void btnMinClick(TObject* Sender);
  void btnCloseClick(TObject* Sender);

  // CD audio, the display modes, the samples area and the microphone (pnlCD).
  TDriveComboBox* cboListDrives = nullptr;
  TListBox* lstTracks = nullptr;
  TMediaPlayer* CDPlayer = nullptr;
  TSpeedButton* Button3 = nullptr;
  TSpeedButton* Button4 = nullptr;
  TListView* lstSamples = nullptr;
  TDriveComboBox* cboSamplesDrive = nullptr;
  TWindowsMediaPlayer* WinMediaPlayer = nullptr;
  TLabel* lblSamplesLoading = nullptr;
  TCheckBox* chkMicro = nullptr;
  TAudioMixer* AudioMixer = nullptr;
  // The microphone's source line on the mixer's destination 0, found once at start.
  Integer MicroLine = 0;
  void BuildCDPanel();
  void LoadCdDrive(char Letter);
  void cboListDrivesChange(TObject* Sender);
  void lstTracksDblClick(TObject* Sender);
  void lstTracksDrawItem(TWinControl* Control, Integer Index, TRect Rect, TOwnerDrawState State);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void lstSamplesDblClick(TObject* Sender);
  void lstSamplesKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
  void cboSamplesDriveChange(TObject* Sender);
  void chkMicroClick(TObject* Sender);
  Integer FindMixerLine(const String& Name);
  // At start: the microphone's line and the box's first state.
  void InitMicrophone();
  // At close: the CD device closed, whatever it answers.
  void CloseCD();

  // The about box and the update check.
  void imgTitleDblClick(TObject* Sender);
  void popUpdateClick(TObject* Sender);

  // The level graph and the beat.
  void WMDeckLevel(TMessage& Message);
  void btnGraphOptionsClick(TObject* Sender);
  void popSoundLineClick(TObject* Sender);
  void popBoomLineClick(TObject* Sender);
  void popBDetectClick(TObject* Sender);
  void btnForceBoomLineMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                                 Integer Y);
  void btnForceBoomLineMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void btnForceBoomLineClick(TObject* Sender);

  // VU meters: the ring filled by the output filters and the timer that moves the bars
  // toward its oldest frame; switched and timed on the OPTIONS panel.
  TThreadedTimer* tmrVU = nullptr;
  TLabel* lblVuMeters = nullptr;
  TCheckBox* chkVuMeters = nullptr;
  TLabel* lblRefreshVU = nullptr;
  TRxSlider* sldRefreshVU = nullptr;
  std::array<TVUFrame, VUFrameCount> VURing{};
  // The frame the last message wrote; -1 after frame 38, so that the next one is 0.
  Integer VUWrite = 0;
  void WMDeckVU(TMessage& Message);
  void tmrVUTimer(TObject* Sender);
  void chkVuMetersClick(TObject* Sender);
  void sldRefreshVUChange(TObject* Sender);
  void sldRefreshVUMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                             Integer Y);
  // Runs tmrVU while the meters are on and a deck plays, and rests it otherwise: a tick with
  // no deck playing moves no bar, and at rest it would only wake the program every 30 ms.
  void RunVUTimer();

  // Equalizer: ten band thumbs and a preamp per deck (Tag 0 deck 1, 1 deck 2).
  TRxSlider* sldEQ1 = nullptr;
  TRxSlider* sldEQ2 = nullptr;
  void imgSldrEQMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void sldEQ1Change(TObject* Sender);
  void sldEQ2Change(TObject* Sender);
  void sldEQ1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                       Integer Y);
  void ApplyEqualizer(TXPlayer& Deck);
  // Explorer.
  void ScanFolder(String Folder, bool Rescan);
  void AddMp3Files(String Folder, const String& Pattern, TBpmList& List);
  void GoUpFolder();
  // The first scan at start-up: the stored folder ("C:" when blank), with the drive box
  // set to its drive.
  void OpenExplorer(const String& LastDir);
  void cboDrivesClick(TObject* Sender);
  void ListFilesDblClick(TObject* Sender);
  void btnRescanClick(TObject* Sender);
  void ListFilesColumnClick(TObject* Sender, TListColumn* Column);
  void ListFilesCompare(TObject* Sender, TListItem* Item1, TListItem* Item2, Integer Data,
                        Integer& Compare);
  void ListFilesCustomDrawItem(TListView* Sender, TListItem* Item, TCustomDrawState State,
                               bool& DefaultDraw);
  // The tempo text in the comment of a file, as the analyser reads it.
  String BPMOfFile(const String& Path);

  // Playlists.
  // Loads the first entry of the deck's playlist into the deck and removes it; answers
  // false, doing nothing, when the playlist is empty. The end of an automatic mix takes
  // the next title with it.
  bool LoadNextTitle(TXPlayer& Deck);
  void ListDragOver(TObject* Sender, TObject* Source, Integer X, Integer Y, TDragState State,
                    bool& Accept);
  void pnlPlayerDragDrop(TObject* Sender, TObject* Source, Integer X, Integer Y);
  void ListDragDrop(TObject* Sender, TObject* Source, Integer X, Integer Y);
  void ListDblClick(TObject* Sender);
  void ListKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
  void ListContextPopup(TObject* Sender, TPoint MousePos, bool& Handled);
  void btnListBPM1Click(TObject* Sender);
  void btnListName2Click(TObject* Sender);
  void btnListName1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                           Integer Y);
  void List1InfoTip(TObject* Sender, TListItem* Item, String& InfoTip);
  // The back of a two-column row of the explorer or a playlist, from Left to the end of the
  // second column, in the selected colours when selected; gives the columns' widths.
  void PaintListRowBack(TListView* List, const TRect& Row, Integer Left, bool Selected,
                        Integer& Width0, Integer& Width1);
  void ListCustomDrawItem(TListView* Sender, TListItem* Item, TCustomDrawState State,
                          bool& DefaultDraw);
  void popSplitClick(TObject* Sender);
  void popPPlayerClick(TObject* Sender);
  void popPBPMClick(TObject* Sender);
  void popListID3Click(TObject* Sender);
  void popPLoadClick(TObject* Sender);
  void popPSaveClick(TObject* Sender);
  void popLClearClick(TObject* Sender);
  void popPRemoveClick(TObject* Sender);

 private:
  void BuildVUMeters();
  void BuildEqualizer();
  void BuildWindow();
  void BuildDeck(Integer No);
  void BuildDeckTrack(TPanel* pnl, Integer No);
  void BuildDeckTransport(TPanel* pnl, Integer No);
  void BuildDeckPitchAndVolume(TPanel* pnl, Integer No);
  void BuildDeckLoop(TPanel* pnl);
  void BuildLowerPanels();
  void BuildGraphControls();
  void BuildMenus();
  void BindVolume();
  void BindLink();
  void BindAbout();
  void BuildPitchControls();
  void BuildMixControls();
  // A press on a deck's pitch thumb takes hold of it; a right click on its track resets it.
  void PitchSliderDown(TXPlayer& Deck, TImage* Thumb, TObject* Sender, TShiftState Shift, Integer X,
                       Integer Y);
  void PitchSliderMove(TXPlayer& Deck, TShiftState Shift, Integer X);
  void BendPress(TObject* Sender, TXPlayer& Deck, bool Up);
  void BendRelease(TObject* Sender, TXPlayer& Deck);
  // Ends a running mix: both timers off, the notice hidden. The fader stays where it is.
  void StopMix();
  // The deck an automatic mix brings in, while that mix runs.
  bool IsIncoming(const TXPlayer& Deck) const;
  // The deck stops or is loaded: when it is the incoming deck of an automatic mix, the mix
  // ends at once and the deck it was fading out plays on alone at full level.
  void IncomingStops(TXPlayer& Deck);
  // The running automatic mix's incoming deck has been reported playing: before that, a
  // report of it stopping is the mix's own restart of it.
  bool incomingPlayed_ = false;
  void BuildExplorer();
  void BuildExplorerMenu();
  void BuildPlaylists();
  void BuildPlaylistMenu();
  void BuildPlayList(Integer No);
  void BindDeckDrops(TWinControl* Panel);
  // The playlist the pop-up menu was opened on.
  TListView* PopupList();
  // Appends an entry complete (BPM and path before the caption, so a BPM sort never meets
  // an entry without them).
  void AddToPlayList(TListView* List, const String& Caption, const String& BPM,
                     const String& Path);
  // Loads the entry into the deck; when it came from a playlist it leaves it.
  void LoadEntry(TXPlayer& Deck, TListItem* Item, bool Remove);
  void SortPlayListByBPM(TListView* List);
  // One scan of a folder; ScanFolder runs them one after the other.
  void ScanOnce(String Folder, bool Rescan);
  // Adds the folder's sub-folders.
  void AddFolders(const String& Folder);
  // Lets the window's pending messages through during a scan.
  void ServeWindow();
  static constexpr DWORD ScanServePeriodMs = 5;
  DWORD lastServed_ = 0;
  // Whether the running scan is to stop: a newer request or the program's end.
  bool ScanStopped();
  // The folder the list shows: the one being scanned while a scan runs.
  String ListedFolder() const;
  // Scanning state: a scan runs, and the request that came in during it.
  bool scanning_ = false;
  bool scanAbandoned_ = false;
  bool scanPending_ = false;
  String pendingFolder_;
  bool pendingRescan_ = false;
  String scanningFolder_;
  // The last scan's "List.bpm" that could not be written, reported once the list is full.
  std::exception_ptr unsavedCache_;
  void ReportUnsavedCache();
  void BuildRouting();
  void BuildLoop();
  // Where the light controller's window goes: over pnlSpots, in screen coordinates.
  void SendLightsMove();
  void UpdateBeatLine(TXPlayer& Deck, Integer AverageY);
  void DrawBeatLine(TXPlayer& Deck);
  void EraseBeatLine(TXPlayer& Deck);
  void DropUnheard(TXPlayer& Deck);
  // A seek of a deck that plays on: the audio the graph holds ahead is not heard.
  void SeekPlayingDeck(TXPlayer& Deck, Integer Offset, Integer Range);
  void SetDeckDuration(TXPlayer& Deck, Cardinal Duration);
  TXPlayer& DeckOfEngine(TObject* Sender);
  // Draws the deck's curve and beat line in black, which wipes them from the graph.
  void EraseGraph(TXPlayer& Deck);
  // A deck that stops hears no beat, however it stops: its lamp goes dark at once.
  void LampOff(TXPlayer& Deck);
};

extern TfrmMain* frmMain;
