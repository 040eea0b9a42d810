#include "classlib/MPlayer.h"

#include "classlib/Graphics.h"
#include "win32/Shell.h"

namespace {

constexpr Integer kButtonWidth = 28;

// Every button of the bar, in the order the bar shows them.
constexpr TMPBtnType kAllButtons[] = {
    TMPBtnType::btPlay, TMPBtnType::btPause,  TMPBtnType::btStop,
    TMPBtnType::btNext, TMPBtnType::btPrev,   TMPBtnType::btStep,
    TMPBtnType::btBack, TMPBtnType::btRecord, TMPBtnType::btEject};

DWORD PlatformFormat(TMPTimeFormats f) {
  switch (f) {
    case tfMilliseconds:
      return MCI_FORMAT_MILLISECONDS;
    case tfTMSF:
      return MCI_FORMAT_TMSF;
    default:
      return MCI_FORMAT_MSF;
  }
}

TMPModes ModeOf(DWORD mode) {
  switch (mode) {
    case MCI_MODE_STOP:
      return mpStopped;
    case MCI_MODE_PLAY:
      return mpPlaying;
    case MCI_MODE_RECORD:
      return mpRecording;
    case MCI_MODE_SEEK:
      return mpSeeking;
    case MCI_MODE_PAUSE:
      return mpPaused;
    case MCI_MODE_OPEN:
      return mpOpen;
    default:
      return mpNotReady;
  }
}

// The glyph of a button, drawn in the bar's colours.
void Glyph(TCanvas* c, TMPBtnType b, Integer x, Integer y) {
  auto bar = [&](Integer l, Integer t, Integer w, Integer h) {
    c->FillRect(TRect{x + l, y + t, x + l + w, y + t + h});
  };
  auto arrow = [&](Integer l, bool right) {
    for (Integer i = 0; i < 5; ++i) bar(right ? l + i : l + 4 - i, 4 + i, 1, 9 - 2 * i);
  };
  switch (b) {
    case TMPBtnType::btPlay:
      arrow(11, true);
      break;
    case TMPBtnType::btPause:
      bar(9, 4, 3, 9), bar(15, 4, 3, 9);
      break;
    case TMPBtnType::btStop:
      bar(9, 4, 9, 9);
      break;
    case TMPBtnType::btNext:
      arrow(9, true), arrow(14, true), bar(19, 4, 1, 9);
      break;
    case TMPBtnType::btPrev:
      bar(8, 4, 1, 9), arrow(9, false), arrow(14, false);
      break;
    case TMPBtnType::btEject: {
      for (Integer i = 0; i < 5; ++i) bar(13 - i, 4 + i, 1 + 2 * i, 1);
      bar(8, 11, 11, 2);
      break;
    }
    default:
      bar(11, 7, 5, 3);
      break;
  }
}

}  // namespace

TMediaPlayer::TMediaPlayer(TComponent* AOwner) : TCustomControl(AOwner) {
  for (TMPBtnType b : kAllButtons) visible_.Include(b);
  colored_ = visible_;
  SetBounds(0, 0, 253, 30);
}

TMediaPlayer::~TMediaPlayer() {
  if (device_) mciSendCommandA(device_, MCI_CLOSE, 0, 0);
}

void TMediaPlayer::SetColoredButtons(TButtonSet v) {
  colored_ = v;
  Invalidate();
}

void TMediaPlayer::SetVisibleButtons(TButtonSet v) {
  visible_ = v;
  Invalidate();
}

void TMediaPlayer::SetTimeFormat(TMPTimeFormats v) {
  timeFormat_ = v;
  if (!device_) return;
  MCI_SET_PARMS p{};
  p.dwTimeFormat = PlatformFormat(v);
  Send(MCI_SET, MCI_SET_TIME_FORMAT, &p);
}

String TMediaPlayer::ErrorMessage() const {
  char text[256];
  mciGetErrorStringA(error_, text, sizeof text);
  return text;
}

void TMediaPlayer::CheckOpen() const {
  if (!device_) throw EMCIDeviceError("No MCI device open");
}

MCIERROR TMediaPlayer::Send(UINT Msg, DWORD Flags, void* Params) {
  error_ = mciSendCommandA(device_, Msg, Flags, reinterpret_cast<DWORD_PTR>(Params));
  return error_;
}

DWORD TMediaPlayer::Status(DWORD Item, DWORD Track) {
  CheckOpen();
  MCI_STATUS_PARMS p{};
  p.dwItem = Item;
  p.dwTrack = Track;
  Send(MCI_STATUS, MCI_STATUS_ITEM | (Track ? MCI_TRACK : 0), &p);
  return static_cast<DWORD>(p.dwReturn);
}

void TMediaPlayer::Open() {
  if (device_) Close();
  MCI_OPEN_PARMSA p{};
  p.lpstrDeviceType = deviceType_ == dtCDAudio ? "cdaudio" : "";
  p.lpstrElementName = fileName_.c_str();
  const DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | (shareable_ ? MCI_OPEN_SHAREABLE : 0);
  if (Send(MCI_OPEN, flags, &p) != 0) throw EMCIDeviceError(ErrorMessage());
  device_ = p.wDeviceID;
  SetTimeFormat(timeFormat_);
}

void TMediaPlayer::Close() {
  CheckOpen();
  Send(MCI_CLOSE, 0, nullptr);
  device_ = 0;
}

void TMediaPlayer::Play() {
  CheckOpen();
  Send(MCI_PLAY, 0, nullptr);
}

void TMediaPlayer::Pause() {
  CheckOpen();
  // A second press goes on where the first one stopped.
  Send(Mode() == mpPaused ? MCI_RESUME : MCI_PAUSE, 0, nullptr);
}

void TMediaPlayer::Stop() {
  CheckOpen();
  Send(MCI_STOP, 0, nullptr);
}

void TMediaPlayer::Next() {
  CheckOpen();
  const Integer track = static_cast<Integer>(Status(MCI_STATUS_CURRENT_TRACK));
  const bool playing = Mode() == mpPlaying;
  if (track < Tracks()) SetPosition(TrackPosition(track + 1));
  if (playing) Play();
}

void TMediaPlayer::Previous() {
  CheckOpen();
  const Integer track = static_cast<Integer>(Status(MCI_STATUS_CURRENT_TRACK));
  const bool playing = Mode() == mpPlaying;
  SetPosition(TrackPosition(track > 1 ? track - 1 : 1));
  if (playing) Play();
}

void TMediaPlayer::Eject() {
  CheckOpen();
  Send(MCI_SET, MCI_SET_DOOR_OPEN, nullptr);
}

TMPModes TMediaPlayer::Mode() {
  return ModeOf(Status(MCI_STATUS_MODE));
}

Integer TMediaPlayer::Tracks() {
  return static_cast<Integer>(Status(MCI_STATUS_NUMBER_OF_TRACKS));
}

Integer TMediaPlayer::TrackPosition(Integer Track) {
  return static_cast<Integer>(Status(MCI_STATUS_POSITION, static_cast<DWORD>(Track)));
}

Integer TMediaPlayer::Position() {
  return static_cast<Integer>(Status(MCI_STATUS_POSITION));
}

void TMediaPlayer::SetPosition(Integer v) {
  CheckOpen();
  MCI_SEEK_PARMS p{};
  p.dwTo = static_cast<DWORD>(v);
  Send(MCI_SEEK, MCI_TO, &p);
}

std::vector<TMPBtnType> TMediaPlayer::Shown() const {
  std::vector<TMPBtnType> out;
  for (TMPBtnType b : kAllButtons)
    if (visible_.Contains(b)) out.push_back(b);
  return out;
}

void TMediaPlayer::Paint() {
  TCanvas* c = Canvas();
  const auto shown = Shown();
  for (size_t i = 0; i < shown.size(); ++i) {
    const Integer x = static_cast<Integer>(i) * kButtonWidth;
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(TRect{x, 0, x + kButtonWidth, Height()});
    c->Pen()->SetColor(clBtnShadow);
    c->Rectangle(x, 0, x + kButtonWidth, Height());
    // Coloured buttons have green, yellow, red... glyphs; the rest black ones.
    static const TColor kColours[] = {clGreen, clOlive, clMaroon, clNavy, clNavy,
                                      clNavy,  clNavy,  clMaroon, clBlack};
    c->Brush()->SetColor(colored_.Contains(shown[i]) ? kColours[static_cast<int>(shown[i])]
                                                     : clBlack);
    Glyph(c, shown[i], x, (Height() - 17) / 2);
  }
}

void TMediaPlayer::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  const auto shown = Shown();
  if (Button != mbLeft || X < 0 || X / kButtonWidth >= static_cast<Integer>(shown.size())) return;
  const TMPBtnType b = shown[static_cast<size_t>(X / kButtonWidth)];
  bool doDefault = true;
  if (OnClick) OnClick(this, b, doDefault);
  if (!doDefault) return;
  switch (b) {
    case TMPBtnType::btPlay:
      Play();
      break;
    case TMPBtnType::btPause:
      Pause();
      break;
    case TMPBtnType::btStop:
      Stop();
      break;
    case TMPBtnType::btNext:
      Next();
      break;
    case TMPBtnType::btPrev:
      Previous();
      break;
    case TMPBtnType::btEject:
      Eject();
      break;
    default:
      break;  // a CD has nothing to step through or record
  }
}

bool TWindowsMediaPlayer::OpenFile(const String& FileName) {
  const auto r = reinterpret_cast<std::intptr_t>(
      ShellExecuteA(0, "open", FileName.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return r > 32;
}
