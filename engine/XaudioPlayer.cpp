#include "engine/XaudioPlayer.h"

#include <cstring>

#include "win32/Messages.h"
#include "win32/Modules.h"

namespace {

// The one engine interface this component was written against.
constexpr Cardinal kExpectedMajor = 3;
constexpr Cardinal kExpectedMinor = 8;

// The start-up leaves a player at this priority, so it is only sent when it differs.
constexpr Cardinal kDefaultPriority = 3;

// Messages below this number are the window system's own; the engine posts above it.
constexpr UINT kFirstEngineMessage = 0x9000;

// Texts of the engine live until its next message; handlers get copies.
String CopyText(const char* Text) {
  return Text ? String(Text) : String();
}

// The events several notifications share, fed from the record's words.
void FireState(TObject* Sender, const XA_Message& Msg,
               const std::function<void(TObject*, Integer)>& Event) {
  if (Event) Event(Sender, static_cast<Integer>(Msg.w1.bytes[0]));
}

void FireName(TObject* Sender, const XA_Message& Msg,
              const std::function<void(TObject*, const String&)>& Event) {
  if (Event) Event(Sender, CopyText(Msg.w2.text));
}

void FireCaps(TObject* Sender, const XA_Message& Msg,
              const std::function<void(TObject*, Cardinal)>& Event) {
  if (Event) Event(Sender, Msg.w1.value);
}

void FireModuleId(TObject* Sender, const XA_Message& Msg,
                  const std::function<void(TObject*, Smallint)>& Event) {
  if (Event) Event(Sender, Msg.w1.module_id);
}

void FireModuleInfo(TObject* Sender, const XA_Message& Msg, const TNotifyModuleInfoEvent& Event) {
  if (!Event) return;
  Event(Sender, Msg.w1.module_info.id, Msg.w1.module_info.nb_devices, CopyText(Msg.w2.text),
        CopyText(Msg.w3.text));
}

void FireDeviceInfo(TObject* Sender, const XA_Message& Msg, const TNotifyDeviceInfoEvent& Event) {
  if (!Event) return;
  Event(Sender, Msg.w1.device_info.module_id, Msg.w1.device_info.index, Msg.w1.device_info.flags,
        CopyText(Msg.w2.text), CopyText(Msg.w3.text));
}

void FireFilterInfo(TObject* Sender, const XA_Message& Msg, const TNotifyFilterInfoEvent& Event) {
  if (Event) Event(Sender, Msg.w3.id, CopyText(Msg.w2.text));
}

}  // namespace

TXaudioPlayer::TXaudioPlayer(TComponent* AOwner) : TComponent(AOwner) {
  // The class library raises its own error when no window can be had; the deck reports
  // it as every other failure of its own, with its own text.
  try {
    window_ = AllocateHWnd([this](TMessage& Message) { HiddenWindowProc(Message); });
  } catch (const EOutOfResources&) {
    window_ = 0;
  }
  if (window_ == 0) throw EXaudioException("Cannot Create Hidden Window");
  UnloadEngine();
}

TXaudioPlayer::~TXaudioPlayer() {
  // The field is emptied first: whatever runs while the engine deletes the player (a
  // message it sends to the hidden window) must not use the dying handle.
  void* player = player_;
  player_ = nullptr;
  if (player) entry_points_.player_delete(player);
  UnloadEngine();
  if (window_ != 0) {
    DeallocateHWnd(window_);
    window_ = 0;
  }
}

void TXaudioPlayer::UnloadEngine() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  entry_points_ = TEntryPoints{};
}

FARPROC TXaudioPlayer::BindSymbol(const char* Name) {
  FARPROC address = GetProcAddress(module_, Name);
  if (!address) {
    // Nothing bound so far may outlive the library it came from.
    UnloadEngine();
    throw EXaudioException("Cannot Find Symbol " + String(Name) + " in Xaudio DLL");
  }
  return address;
}

void TXaudioPlayer::LoadEngine() {
  module_ = LoadLibraryA(xaudio_path_.c_str());
  if (!module_) throw EXaudioException("Cannot Load Xaudio DLL (" + xaudio_path_ + ")");

  struct Binding {
    const char* name;
    void (*store)(TEntryPoints& Table, FARPROC Address);
  };
  static constexpr Binding kBindings[] = {
#define KAZ_XAUDIO_BINDING(name, type) \
  {#name, [](TEntryPoints& t, FARPROC a) { t.name = reinterpret_cast<type>(a); }},
      KAZ_XAUDIO_ENTRY_POINTS(KAZ_XAUDIO_BINDING)
#undef KAZ_XAUDIO_BINDING
  };
  for (const Binding& b : kBindings) b.store(entry_points_, BindSymbol(b.name));
}

Boolean TXaudioPlayer::Init() {
  if (player_) return true;
  if (!module_) LoadEngine();

  Cardinal v = static_cast<Cardinal>(entry_points_.xaudio_get_version(2));
  Cardinal major = (v >> 16) & 0xFF;
  Cardinal minor = (v >> 8) & 0xFF;
  if (major != kExpectedMajor || minor != kExpectedMinor) {
    // The library stays loaded: every later command repeats the check and fails alike.
    throw EXaudioException("Xaudio DLL API Mismatch\rExpected " + IntToStr(kExpectedMajor) + "." +
                           IntToStr(kExpectedMinor) + ", Got " + IntToStr(major) + "." +
                           IntToStr(minor));
  }

  if (entry_points_.player_new(&player_, &window_) != 0) {
    // A failed start may still have written the field; only a started player counts.
    player_ = nullptr;
    throw EXaudioException("Cannot Start Xaudio Player");
  }
  if (priority_ != kDefaultPriority)
    entry_points_.player_set_priority(player_, static_cast<int>(priority_));
  return true;
}

Cardinal TXaudioPlayer::GetVersion(Byte Which) {
  if (!player_) return 0;
  return static_cast<Cardinal>(entry_points_.xaudio_get_version(Which));
}

String TXaudioPlayer::ErrorString(Integer Code) {
  Init();
  return CopyText(entry_points_.xaudio_error_string(Code));
}

Cardinal TXaudioPlayer::Priority() {
  if (player_) return static_cast<Cardinal>(entry_points_.player_get_priority(player_));
  return priority_;
}

void TXaudioPlayer::SetPriority(Cardinal Value) {
  // A running player takes it at once; the stored value is only for the start.
  if (player_) {
    entry_points_.player_set_priority(player_, static_cast<int>(Value));
  } else {
    priority_ = Value;
  }
}

// ---------------------------------------------------------------------------------------
// Notifications

Integer TXaudioPlayer::DecodeWindowMessage(XA_Message& Msg, const TMessage& Message) {
  if (!player_) return -1;
  return entry_points_.control_win32_params_to_message(player_, &Msg, Message.Msg, Message.WParam,
                                                       Message.LParam);
}

void TXaudioPlayer::HiddenWindowProc(TMessage& Message) {
  if (Message.Msg < kFirstEngineMessage)
    Message.Result = DefWindowProc(window_, Message.Msg, Message.WParam, Message.LParam);

  // The engine alone knows its message numbers, so every message is offered to it.
  XA_Message msg;
  std::memset(&msg, 0, sizeof msg);
  if (DecodeWindowMessage(msg, Message) != 0) return;

  if (OnNotifyMessage) OnNotifyMessage(this, msg);
  // What the handler left in the record is what selects and feeds the event.
  DispatchNotification(msg);
}

void TXaudioPlayer::DispatchNotification(XA_Message& Msg) {
  // Below 73, above 123 and 96 to 99 name no event.
  if (DispatchPlayerNotification(Msg) || DispatchInputNotification(Msg) ||
      DispatchOutputNotification(Msg))
    return;
  DispatchStreamNotification(Msg);
}

// The player's own: readiness, answers, its state, mode and environment.
bool TXaudioPlayer::DispatchPlayerNotification(XA_Message& Msg) {
  switch (Msg.code) {
    case XA_MSG_NOTIFY_READY:
      if (OnNotifyReady) OnNotifyReady(this);
      break;
    case XA_MSG_NOTIFY_ACK:
      if (OnNotifyAck) OnNotifyAck(this, Msg.w1.bytes[0]);
      break;
    case XA_MSG_NOTIFY_NACK:
      if (OnNotifyNack) OnNotifyNack(this, Msg.w1.nack.command, Msg.w1.nack.code);
      break;
    case XA_MSG_NOTIFY_PONG:
      if (OnNotifyPong) OnNotifyPong(this, Msg.w1.value);
      break;
    case XA_MSG_NOTIFY_EXITED:
      if (OnNotifyExited) OnNotifyExited(this);
      break;
    case XA_MSG_NOTIFY_PLAYER_STATE:
      FireState(this, Msg, OnNotifyPlayerState);
      break;
    case XA_MSG_NOTIFY_PLAYER_MODE:
      if (OnNotifyPlayerMode) OnNotifyPlayerMode(this, static_cast<Integer>(Msg.w1.value));
      break;
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
      if (OnNotifyPlayerEnvironmentInteger) {
        String text = CopyText(Msg.w2.text);
        OnNotifyPlayerEnvironmentInteger(this, text, Msg.w3.value);
      }
      break;
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING:
      if (OnNotifyPlayerEnvironmentString) {
        String text = CopyText(Msg.w2.text);
        String value = CopyText(Msg.w3.text);
        OnNotifyPlayerEnvironmentString(this, text, value);
      }
      break;
    default:
      return false;
  }
  return true;
}

// The input: its state, name, capabilities, position, timecode and modules.
bool TXaudioPlayer::DispatchInputNotification(XA_Message& Msg) {
  switch (Msg.code) {
    case XA_MSG_NOTIFY_INPUT_STATE:
      FireState(this, Msg, OnNotifyInputState);
      break;
    case XA_MSG_NOTIFY_INPUT_NAME:
      FireName(this, Msg, OnNotifyInputName);
      break;
    case XA_MSG_NOTIFY_INPUT_CAPS:
      FireCaps(this, Msg, OnNotifyInputCaps);
      break;
    case XA_MSG_NOTIFY_INPUT_POSITION:
      if (OnNotifyInputPosition) OnNotifyInputPosition(this, Msg.w1.value, Msg.w2.value);
      break;
    case XA_MSG_NOTIFY_INPUT_POSITION_RANGE:
      if (OnNotifyInputPositionRange)
        OnNotifyInputPositionRange(this, static_cast<Integer>(Msg.w1.value));
      break;
    case XA_MSG_NOTIFY_INPUT_TIMECODE:
      if (OnNotifyInputTimecode)
        OnNotifyInputTimecode(this, Msg.w1.timecode.h, Msg.w1.timecode.m, Msg.w1.timecode.s,
                              Msg.w1.timecode.f);
      break;
    case XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY:
      if (OnNotifyInputTimecodeGranularity) OnNotifyInputTimecodeGranularity(this, Msg.w1.value);
      break;
    case XA_MSG_NOTIFY_INPUT_MODULE:
      FireModuleId(this, Msg, OnNotifyInputModule);
      break;
    case XA_MSG_NOTIFY_INPUT_MODULE_INFO:
      FireModuleInfo(this, Msg, OnNotifyInputModuleInfo);
      break;
    case XA_MSG_NOTIFY_INPUT_DEVICE_INFO:
      FireDeviceInfo(this, Msg, OnNotifyInputDeviceInfo);
      break;
    case XA_MSG_NOTIFY_INPUT_FILTER_INFO:
      FireFilterInfo(this, Msg, OnNotifyInputFilterInfo);
      break;
    default:
      return false;
  }
  return true;
}

// The output: its state, name, capabilities, levels, channels, ports and modules.
bool TXaudioPlayer::DispatchOutputNotification(XA_Message& Msg) {
  switch (Msg.code) {
    case XA_MSG_NOTIFY_OUTPUT_STATE:
      FireState(this, Msg, OnNotifyOutputState);
      break;
    case XA_MSG_NOTIFY_OUTPUT_NAME:
      FireName(this, Msg, OnNotifyOutputName);
      break;
    case XA_MSG_NOTIFY_OUTPUT_CAPS:
      FireCaps(this, Msg, OnNotifyOutputCaps);
      break;
    case XA_MSG_NOTIFY_OUTPUT_VOLUME:
      if (OnNotifyOutputVolume)
        OnNotifyOutputVolume(this, Msg.w1.bytes[0], Msg.w1.bytes[1], Msg.w1.bytes[2]);
      break;
    case XA_MSG_NOTIFY_OUTPUT_BALANCE:
      if (OnNotifyOutputBalance) OnNotifyOutputBalance(this, Msg.w1.bytes[2]);
      break;
    case XA_MSG_NOTIFY_OUTPUT_PCM_LEVEL:
      if (OnNotifyOutputPcmLevel) OnNotifyOutputPcmLevel(this, Msg.w1.bytes[1]);
      break;
    case XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL:
      if (OnNotifyOutputMasterLevel) OnNotifyOutputMasterLevel(this, Msg.w1.bytes[0]);
      break;
    case XA_MSG_NOTIFY_OUTPUT_CHANNELS:
      if (OnNotifyOutputChannels) OnNotifyOutputChannels(this, Msg.w1.bytes[0]);
      break;
    case XA_MSG_NOTIFY_OUTPUT_PORTS:
      if (OnNotifyOutputPorts) OnNotifyOutputPorts(this, static_cast<Cardinal>(Msg.w1.bytes[0]));
      break;
    case XA_MSG_NOTIFY_OUTPUT_MODULE:
      FireModuleId(this, Msg, OnNotifyOutputModule);
      break;
    case XA_MSG_NOTIFY_OUTPUT_MODULE_INFO:
      FireModuleInfo(this, Msg, OnNotifyOutputModuleInfo);
      break;
    case XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO:
      FireDeviceInfo(this, Msg, OnNotifyOutputDeviceInfo);
      break;
    case XA_MSG_NOTIFY_OUTPUT_FILTER_INFO:
      FireFilterInfo(this, Msg, OnNotifyOutputFilterInfo);
      break;
    default:
      return false;
  }
  return true;
}

// The stream, the codec, and the engine's masks, progress, debug and error reports.
bool TXaudioPlayer::DispatchStreamNotification(XA_Message& Msg) {
  switch (Msg.code) {
    case XA_MSG_NOTIFY_STREAM_MIME_TYPE:
      if (OnNotifyStreamMimeType) OnNotifyStreamMimeType(this, CopyText(Msg.w2.text));
      break;
    case XA_MSG_NOTIFY_STREAM_DURATION:
      if (OnNotifyStreamDuration) OnNotifyStreamDuration(this, Msg.w1.value);
      break;
    case XA_MSG_NOTIFY_STREAM_PARAMETERS:
      if (OnNotifyStreamParameters)
        OnNotifyStreamParameters(this, Msg.w1.value, Msg.w2.stream.bitrate,
                                 Msg.w2.stream.nb_channels);
      break;
    case XA_MSG_NOTIFY_STREAM_PROPERTIES:
      if (OnNotifyStreamProperties) OnNotifyStreamProperties(this, Msg.w1.value, Msg.w2.properties);
      break;
    case XA_MSG_NOTIFY_CODEC_QUALITY:
      if (OnNotifyCodecQuality) OnNotifyCodecQuality(this, Msg.w1.bytes[0]);
      break;
    case XA_MSG_NOTIFY_CODEC_EQUALIZER:
      // The engine's record goes by reference; without one there is nothing to refer to.
      if (OnNotifyCodecEqualizer && Msg.w2.equalizer)
        OnNotifyCodecEqualizer(this, *Msg.w2.equalizer);
      break;
    case XA_MSG_NOTIFY_CODEC_MODULE:
      FireModuleId(this, Msg, OnNotifyCodecModule);
      break;
    case XA_MSG_NOTIFY_CODEC_MODULE_INFO:
      FireModuleInfo(this, Msg, OnNotifyCodecModuleInfo);
      break;
    case XA_MSG_NOTIFY_CODEC_DEVICE_INFO:
      FireDeviceInfo(this, Msg, OnNotifyCodecDeviceInfo);
      break;
    case XA_MSG_NOTIFY_NOTIFICATION_MASK:
      if (OnNotifyNotificationMask) OnNotifyNotificationMask(this, Msg.w1.value);
      break;
    case XA_MSG_NOTIFY_DEBUG_LEVEL:
      if (OnNotifyDebugLevel) OnNotifyDebugLevel(this, Msg.w1.bytes[0]);
      break;
    case XA_MSG_NOTIFY_PROGRESS:
      if (OnNotifyProgress) {
        String text = CopyText(Msg.w2.text);
        OnNotifyProgress(this, Msg.w1.source.source, Msg.w1.source.code, Msg.w1.source.value, text);
      }
      break;
    case XA_MSG_NOTIFY_DEBUG:
      if (OnNotifyDebug) {
        String text = CopyText(Msg.w2.text);
        OnNotifyDebug(this, Msg.w1.source.source, Msg.w1.source.code, text);
      }
      break;
    case XA_MSG_NOTIFY_ERROR:
      if (OnNotifyError) {
        String text = CopyText(Msg.w2.text);
        OnNotifyError(this, Msg.w1.source.source, Msg.w1.source.value, text);
      }
      break;
    default:
      return false;
  }
  return true;
}
