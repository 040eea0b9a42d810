// The CD AUDIO panel: a drive's audio CD with its tracks, the two display-mode buttons,
// the hidden samples area and the microphone's mute.
#include "classlib/ComCtrls.h"
#include "player/uMain.h"
#include "win32/Display.h"

namespace {

constexpr Integer kTrackRow = 14;
constexpr Integer kDeleteKey = 46;

// A display-mode button: its size is the mode it asks for, so it is never shown (at its
// size it would cover the panel).
TSpeedButton* ModeButton(TfrmMain* Form, const String& Name, Integer Left, Integer Top,
                         Integer Width, Integer Height, const String& Caption) {
  auto* b = CreateControl<TSpeedButton>(Form, Form->pnlCD, Name, Left, Top, Width, Height);
  b->SetCaption(Caption);
  b->SetVisible(false);
  return b;
}

void ChangeMode(const TControl* Button) {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  mode.dmPelsWidth = static_cast<DWORD>(Button->Width());
  mode.dmPelsHeight = static_cast<DWORD>(Button->Height());
  mode.dmDisplayFrequency = 75;
  // A mode the screen lacks leaves it as it is, without a word.
  ChangeDisplaySettingsA(&mode, 0);
}

}  // namespace

void TfrmMain::BuildCDPanel() {
  AudioMixer = new TAudioMixer(this);
  AudioMixer->SetName("AudioMixer");

  cboListDrives = CreateControl<TDriveComboBox>(this, pnlCD, "cboListDrives", 8, 8, 150, 21);
  cboListDrives->SetTextCase(tcUpperCase);
  cboListDrives->OnChange = [this](TObject* S) { cboListDrivesChange(S); };

  lstTracks = CreateControl<TListBox>(this, pnlCD, "lstTracks", 8, 34, 150, 8 * kTrackRow);
  lstTracks->SetStyle(lbOwnerDrawFixed);
  lstTracks->SetItemHeight(kTrackRow);
  lstTracks->SetIntegralHeight(true);
  lstTracks->SetColor(clBlack);
  lstTracks->Font()->SetColor(clWhite);
  lstTracks->OnDblClick = [this](TObject* S) { lstTracksDblClick(S); };
  lstTracks->OnDrawItem = [this](TWinControl* C, Integer I, TRect R, TOwnerDrawState St) {
    lstTracksDrawItem(C, I, R, St);
  };

  CDPlayer = CreateControl<TMediaPlayer>(this, pnlCD, "CDPlayer", 170, 8, 168, 30);
  CDPlayer->SetDeviceType(dtCDAudio);
  CDPlayer->SetShareable(true);
  CDPlayer->SetVisibleButtons(TButtonSet{TMPBtnType::btPlay, TMPBtnType::btPause, TMPBtnType::btStop, TMPBtnType::btNext, TMPBtnType::btPrev, TMPBtnType::btEject});

  Button3 = ModeButton(this, "Button3", 553, 600, 1024, 768, "1024x768@75Hz");
  Button3->OnClick = [this](TObject* S) { Button3Click(S); };
  Button4 = ModeButton(this, "Button4", 50, 50, 1152, 864, "1152*864@75Hz");
  Button4->OnClick = [this](TObject* S) { Button4Click(S); };

  // The samples area: hidden, and nothing fills it.
  lstSamples = CreateControl<TListView>(this, pnlCD, "lstSamples", 360, 8, 290, 112);
  lstSamples->SetViewStyle(vsReport);
  lstSamples->Columns()->Add();
  lstSamples->Columns()->Add();
  lstSamples->SetVisible(false);
  lstSamples->OnDblClick = [this](TObject* S) { lstSamplesDblClick(S); };
  lstSamples->OnKeyDown = [this](TObject* S, Word& K, TShiftState Sh) { lstSamplesKeyDown(S, K, Sh); };
  cboSamplesDrive = CreateControl<TDriveComboBox>(this, pnlCD, "cboSamplesDrive", 360, 124, 120, 21);
  cboSamplesDrive->SetVisible(false);
  cboSamplesDrive->OnChange = [this](TObject* S) { cboSamplesDriveChange(S); };
  WinMediaPlayer = new TWindowsMediaPlayer(this);
  WinMediaPlayer->SetName("WinMediaPlayer");
  lblSamplesLoading = CreateControl<TLabel>(this, pnlCD, "lblSamplesLoading", 490, 126, 0, 0);
  lblSamplesLoading->SetCaption("LOADING");
  lblSamplesLoading->SetVisible(false);

  chkMicro = CreateControl<TCheckBox>(this, pnlCD, "chkMicro", 170, 128, 100, 17);
  chkMicro->SetCaption("Microphone");
  chkMicro->SetColor(pnlCD->Color());
  chkMicro->Font()->SetColor(0xFF8080);
  chkMicro->OnClick = [this](TObject* S) { chkMicroClick(S); };
}

void TfrmMain::LoadCdDrive(char Letter) {
  if (CDPlayer->DeviceID() != 0) CDPlayer->Close();
  CDPlayer->SetFileName(String(1, Letter));
  CDPlayer->Open();  // a drive without an audio CD stops here, and the list stays
  lstTracks->Clear();
  const Integer tracks = CDPlayer->Tracks();
  for (Integer t = 1; t <= tracks; ++t) lstTracks->Items()->Add("Piste " + IntToStr(t));
}

void TfrmMain::cboListDrivesChange(TObject*) {
  LoadCdDrive(cboListDrives->Drive());
}

void TfrmMain::lstTracksDblClick(TObject*) {
  const Integer entry = lstTracks->ItemIndex();
  if (CDPlayer->Mode() == mpNotReady || entry < 0) return;
  CDPlayer->SetPosition(CDPlayer->TrackPosition(entry + 1));
  // From there to the end of the disc.
  CDPlayer->Play();
}

void TfrmMain::lstTracksDrawItem(TWinControl*, Integer Index, TRect Rect, TOwnerDrawState) {
  TCanvas* c = lstTracks->Canvas();
  c->TextRect(Rect, Rect.Left + 2, Rect.Top, lstTracks->Items()->Strings(Index));
}

void TfrmMain::Button3Click(TObject* Sender) {
  ChangeMode(static_cast<TControl*>(Sender));
}

void TfrmMain::Button4Click(TObject* Sender) {
  ChangeMode(static_cast<TControl*>(Sender));
}

void TfrmMain::lstSamplesDblClick(TObject*) {
  TListItem* item = lstSamples->Selected();
  // Sub-item 1 is the path, as in the other lists.
  if (item && item->SubItems()->Count() > 1) WinMediaPlayer->OpenFile(item->SubItems()->Strings(1));
}

void TfrmMain::lstSamplesKeyDown(TObject*, Word& Key, TShiftState) {
  if (Key == kDeleteKey && lstSamples->Selected()) lstSamples->Selected()->Delete();
}

void TfrmMain::cboSamplesDriveChange(TObject*) {}

void TfrmMain::chkMicroClick(TObject*) {
  AudioMixer->SetLineMute(0, MicroLine, !chkMicro->Checked());
}

Integer TfrmMain::FindMixerLine(const String& Name) {
  TMixerDestinations* dests = AudioMixer->Destinations();
  if (!dests || dests->Count() == 0) return 0;
  TMixerConnections* lines = dests->DestinationAt(0)->Connections;
  for (Integer i = 0; i < lines->ConnectionCount(); ++i)
    if (String(lines->ConnectionAt(i)->Line.szName) == Name) return i;
  return 0;
}

void TfrmMain::InitMicrophone() {
  MicroLine = FindMixerLine("Microphone");
  if (MicroLine == 0) MicroLine = FindMixerLine("Micro");
  // Ticked only for a line known to be audible: with no mixer, no such line or no mute
  // to read, the box does not claim a live microphone.
  bool muted = false, known = false;
  TMixerDestinations* dests = AudioMixer->Destinations();
  if (dests && dests->Count() > 0 &&
      MicroLine < dests->DestinationAt(0)->Connections->ConnectionCount())
    known = AudioMixer->GetLineMute(0, MicroLine, muted);
  chkMicro->SetChecked(known && !muted);
}

void TfrmMain::CloseCD() {
  try {
    if (CDPlayer->DeviceID() != 0) CDPlayer->Close();
  } catch (const Exception&) {
  }
}
