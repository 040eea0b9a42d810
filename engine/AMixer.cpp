#include "engine/AMixer.h"

#include <cstring>

#include "classlib/SysUtils.h"
#include "win32/Messages.h"

namespace {

// The most values one MIXER or MUX control is read into.
constexpr DWORD kItemBuffer = 31;

template <typename T>
void FreeItem(void*, void* Item) {
  delete static_cast<T*>(Item);
}

// The record that reads or writes a control's values through `Values`: `Channels` channels
// of `Items` items each (0 for a control of one value per channel).
MIXERCONTROLDETAILS ValuesOf(DWORD ControlId, DWORD Channels, DWORD Items, LONG* Values) {
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.dwControlID = ControlId;
  details.cChannels = Channels;
  details.cMultipleItems = Items;
  details.cbDetails = sizeof(LONG);
  details.paDetails = Values;
  return details;
}

}  // namespace

// --- TPointerList ------------------------------------------------------------------------

TPointerList::~TPointerList() {
  Clear();
}

void TPointerList::Clear() {
  if (release_)
    for (Integer i = 0; i < list_.Count(); ++i) release_(context_, list_.Items(i));
  list_.Clear();
}

// --- The line tree -----------------------------------------------------------------------

TMixerControls::TMixerControls(TAudioMixer* Mixer, const MIXERLINEA& Line) {
  if (Line.cControls == 0) return;
  block_ = std::make_unique<MIXERCONTROLA[]>(Line.cControls);
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = Line.dwLineID;
  request.cControls = Line.cControls;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = block_.get();
  if (mixerGetLineControlsA(Mixer->Handle(), &request, MIXER_GETLINECONTROLSF_ALL) !=
      MMSYSERR_NOERROR)
    return;
  for (DWORD i = 0; i < Line.cControls; ++i) list_.Add(&block_[i]);
}

TMixerConnection::TMixerConnection(TAudioMixer* AMixer, const MIXERLINEA& ALine)
    : Mixer(AMixer), Line(ALine), Controls(std::make_unique<TMixerControls>(AMixer, ALine)) {}

TMixerConnections::TMixerConnections(TAudioMixer* Mixer, const MIXERLINEA& Destination)
    : mixer_(Mixer), list_(&FreeItem<TMixerConnection>, this) {
  for (DWORD s = 0; s < Destination.cConnections; ++s) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = Destination.dwDestination;
    line.dwSource = s;
    if (mixerGetLineInfoA(mixer_->Handle(), &line, MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR)
      list_.Add(new TMixerConnection(mixer_, line));
  }
}

TMixerDestination::TMixerDestination(TAudioMixer* AMixer, const MIXERLINEA& ALine)
    : Mixer(AMixer), Line(ALine) {
  Connections = new TMixerConnections(AMixer, ALine);
  Controls = new TMixerControls(AMixer, ALine);
}

TMixerDestination::~TMixerDestination() {
  delete Controls;
  delete Connections;
}

TMixerDestinations::TMixerDestinations(TAudioMixer* Mixer)
    : list_(&FreeItem<TMixerDestination>, this) {
  for (Integer d = 0; d < Mixer->NumberOfLine(); ++d) {
    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwDestination = static_cast<DWORD>(d);
    if (mixerGetLineInfoA(Mixer->Handle(), &line, MIXER_GETLINEINFOF_DESTINATION) ==
        MMSYSERR_NOERROR)
      list_.Add(new TMixerDestination(Mixer, line));
  }
}

// --- TAudioMixer -------------------------------------------------------------------------

TAudioMixer::TAudioMixer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = AllocateHWnd([this](TMessage& Message) {
    Message.Result = DefWindowProc(window_, Message.Msg, Message.WParam, Message.LParam);
  });
  deviceCount_ = mixerGetNumDevs();
  mixerId_ = -1;
  SetMixerId(0);
}

TAudioMixer::~TAudioMixer() {
  CloseMixer();
  if (window_) DeallocateHWnd(window_);
}

void TAudioMixer::CloseMixer() {
  if (mixerId_ >= 0) {
    mixerClose(handle_);
    handle_ = nullptr;
    mixerId_ = -1;
  }
  destinations_.reset();
}

void TAudioMixer::SetMixerId(Integer Value) {
  if (deviceCount_ == 0) return;
  if (Value >= static_cast<Integer>(deviceCount_)) Value = static_cast<Integer>(deviceCount_) - 1;
  CloseMixer();
  if (Value < 0) return;
  if (mixerOpen(&handle_, static_cast<UINT>(Value), window_, 0, CALLBACK_WINDOW) !=
      MMSYSERR_NOERROR)
    return;
  mixerId_ = Value;
  mixerGetDevCapsA(static_cast<UINT_PTR>(Value), &caps_, sizeof caps_);
  manufacturer_ = caps_.wMid == 1 ? String("Microsoft") : IntToStr(caps_.wMid) + " = Unknown";
  driverVersion_ = caps_.vDriverVersion;
  productId_ = caps_.wPid;
  productName_ = String(caps_.szPname, strnlen(caps_.szPname, sizeof caps_.szPname));
  numberOfLine_ = static_cast<Integer>(caps_.cDestinations);
  destinations_ = std::make_unique<TMixerDestinations>(this);
}

const MIXERLINEA& TAudioMixer::LineOf(Integer Destination, Integer Connection) const {
  TMixerDestination* dest = destinations_->DestinationAt(Destination);
  return Connection == -1 ? dest->Line : dest->Connections->ConnectionAt(Connection)->Line;
}

bool TAudioMixer::FindMute(const MIXERLINEA& Line, MIXERCONTROLA& Control) const {
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = Line.dwLineID;
  request.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
  request.cControls = 1;
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  request.pamxctrl = &Control;
  return mixerGetLineControlsA(handle_, &request, MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
         MMSYSERR_NOERROR;
}

// The values of a MIXER or MUX control of the destination, read into `Items` through
// `Details` (which writes them back as well); false for any other control and for one whose
// values cannot be read.
bool TAudioMixer::ReadItems(const TMixerDestination& Dest, const MIXERCONTROLA& Control,
                            LONG* Items, MIXERCONTROLDETAILS* Details) const {
  if (Control.dwControlType != MIXERCONTROL_CONTROLTYPE_MIXER &&
      Control.dwControlType != MIXERCONTROL_CONTROLTYPE_MUX)
    return false;
  *Details = ValuesOf(
      Control.dwControlID,
      (Control.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : Dest.Line.cChannels,
      (Control.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) ? Control.cMultipleItems : 0, Items);
  // More values than the buffer holds are not provided for: such a control is passed over.
  if (Details->cChannels * std::max<DWORD>(1, Details->cMultipleItems) > kItemBuffer) return false;
  return mixerGetControlDetailsA(handle_, Details, MIXER_GETCONTROLDETAILSF_VALUE) ==
         MMSYSERR_NOERROR;
}

bool TAudioMixer::GetLineMute(Integer Destination, Integer Connection, bool& Muted) {
  Muted = false;
  if (!destinations_) return false;
  const MIXERLINEA& line = LineOf(Destination, Connection);
  MIXERCONTROLA mute{};
  if (FindMute(line, mute)) {
    LONG value = 0;
    MIXERCONTROLDETAILS details = ValuesOf(mute.dwControlID, 1, 0, &value);
    if (mixerGetControlDetailsA(handle_, &details, MIXER_GETCONTROLDETAILSF_VALUE) !=
        MMSYSERR_NOERROR)
      return false;
    Muted = value == 1;
    return true;
  }
  if (Connection == -1 || Connection >= static_cast<Integer>(kItemBuffer)) return false;
  const TMixerDestination& dest = *destinations_->DestinationAt(Destination);
  for (Integer c = 0; c < dest.Controls->ControlCount(); ++c) {
    LONG items[kItemBuffer] = {};
    MIXERCONTROLDETAILS details{};
    if (!ReadItems(dest, *dest.Controls->ControlAt(c), items, &details)) continue;
    Muted = items[Connection] != 0;
    return true;
  }
  return false;
}

bool TAudioMixer::SetLineMute(Integer Destination, Integer Connection, bool Mute) {
  if (!destinations_) return false;
  const MIXERLINEA& line = LineOf(Destination, Connection);
  MIXERCONTROLA mute{};
  if (FindMute(line, mute)) {
    LONG value = Mute ? 1 : 0;
    MIXERCONTROLDETAILS details = ValuesOf(mute.dwControlID, 1, 0, &value);
    return mixerSetControlDetails(handle_, &details, MIXER_SETCONTROLDETAILSF_VALUE) ==
           MMSYSERR_NOERROR;
  }
  if (Connection == -1 || Connection >= static_cast<Integer>(kItemBuffer)) return false;
  const TMixerDestination& dest = *destinations_->DestinationAt(Destination);
  for (Integer c = 0; c < dest.Controls->ControlCount(); ++c) {
    const MIXERCONTROLA& control = *dest.Controls->ControlAt(c);
    LONG items[kItemBuffer] = {};
    MIXERCONTROLDETAILS details{};
    if (!ReadItems(dest, control, items, &details)) continue;
    if (control.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX)
      for (DWORD i = 0; i < details.cMultipleItems; ++i) items[i] = 0;
    if (Mute) items[Connection] = 1;
    if (mixerSetControlDetails(handle_, &details, MIXER_SETCONTROLDETAILSF_VALUE) ==
        MMSYSERR_NOERROR)
      return true;
  }
  return false;
}
