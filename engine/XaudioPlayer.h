// The engine deck component: one player of the MPEG audio engine ("xaudio.dll"), loaded
// at the first command, driven by numbered control messages, and heard through a hidden
// window whose messages become events.
//
// GUI thread only: the component, its hidden window and every event run on the thread
// that created it. The engine's own threads only post messages to the hidden window.
#pragma once

#include <functional>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "win32/Types.h"
#include "xaudio/xaudio.h"

// Every failure of the component (loading, binding, version, player start, hidden window).
KAZ_DECLARE_EXCEPTION(EXaudioException, Exception)

// The engine's stream property records, handed through untouched.
using PXA_Property = const XA_Property*;

// Event types. Sender is always the component.
using TNotifyMessageEvent = std::function<void(TObject* Sender, XA_Message& Msg)>;
using TNotifyAckEvent = std::function<void(TObject* Sender, Byte Command)>;
using TNotifyNackEvent = std::function<void(TObject* Sender, Byte Command, Smallint Code)>;
using TNotifyPongEvent = std::function<void(TObject* Sender, Cardinal Tag)>;
using TNotifyPlayerStateEvent = std::function<void(TObject* Sender, Integer State)>;
using TNotifyInputStateEvent = std::function<void(TObject* Sender, Integer State)>;
using TNotifyOutputStateEvent = std::function<void(TObject* Sender, Integer State)>;
using TNotifyPlayerModeEvent = std::function<void(TObject* Sender, Integer Mode)>;
using TNotifyEnvironmentIntegerEvent =
    std::function<void(TObject* Sender, const String& Name, Integer Value)>;
using TNotifyEnvironmentStringEvent =
    std::function<void(TObject* Sender, const String& Name, const String& Value)>;
using TNotifyInputNameEvent = std::function<void(TObject* Sender, const String& Name)>;
using TNotifyOutputNameEvent = std::function<void(TObject* Sender, const String& Name)>;
using TNotifyInputCapsEvent = std::function<void(TObject* Sender, Cardinal Caps)>;
using TNotifyOutputCapsEvent = std::function<void(TObject* Sender, Cardinal Caps)>;
using TNotifyInputPositionEvent =
    std::function<void(TObject* Sender, Cardinal Offset, Cardinal Range)>;
using TNotifyInputPositionRangeEvent = std::function<void(TObject* Sender, Integer Range)>;
using TNotifyInputTimecodeEvent =
    std::function<void(TObject* Sender, Byte Hours, Byte Minutes, Byte Seconds, Byte Fractions)>;
using TNotifyInputTimecodeGranularityEvent =
    std::function<void(TObject* Sender, Cardinal Granularity)>;
using TNotifyInputModuleEvent = std::function<void(TObject* Sender, Smallint ID)>;
using TNotifyOutputModuleEvent = std::function<void(TObject* Sender, Smallint ID)>;
using TNotifyCodecModuleEvent = std::function<void(TObject* Sender, Smallint ID)>;
using TNotifyModuleInfoEvent = std::function<void(TObject* Sender, Byte ID, Byte NbDevices,
                                                  const String& Name, const String& Description)>;
using TNotifyInputModuleInfoEvent = TNotifyModuleInfoEvent;
using TNotifyOutputModuleInfoEvent = TNotifyModuleInfoEvent;
using TNotifyCodecModuleInfoEvent = TNotifyModuleInfoEvent;
using TNotifyDeviceInfoEvent =
    std::function<void(TObject* Sender, Byte ModuleID, Byte Index, Byte Flags, const String& Name,
                       const String& Description)>;
using TNotifyInputDeviceInfoEvent = TNotifyDeviceInfoEvent;
using TNotifyOutputDeviceInfoEvent = TNotifyDeviceInfoEvent;
using TNotifyCodecDeviceInfoEvent = TNotifyDeviceInfoEvent;
using TNotifyFilterInfoEvent = std::function<void(TObject* Sender, Byte ID, const String& Name)>;
using TNotifyInputFilterInfoEvent = TNotifyFilterInfoEvent;
using TNotifyOutputFilterInfoEvent = TNotifyFilterInfoEvent;
using TNotifyOutputVolumeEvent =
    std::function<void(TObject* Sender, Byte MasterLevel, Byte PcmLevel, Byte Balance)>;
using TNotifyOutputBalanceEvent = std::function<void(TObject* Sender, Byte Balance)>;
using TNotifyOutputPcmLevelEvent = std::function<void(TObject* Sender, Byte PcmLevel)>;
using TNotifyOutputMasterLevelEvent = std::function<void(TObject* Sender, Byte MasterLevel)>;
using TNotifyOutputChannelsEvent = std::function<void(TObject* Sender, Byte Channels)>;
using TNotifyOutputPortsEvent = std::function<void(TObject* Sender, Cardinal Ports)>;
using TNotifyStreamMimeTypeEvent = std::function<void(TObject* Sender, String MimeType)>;
using TNotifyStreamDurationEvent = std::function<void(TObject* Sender, Cardinal Duration)>;
using TNotifyStreamParametersEvent =
    std::function<void(TObject* Sender, Cardinal Frequency, Smallint Bitrate, Byte NbChannels)>;
using TNotifyStreamPropertiesEvent =
    std::function<void(TObject* Sender, Cardinal NbProperties, PXA_Property Properties)>;
using TNotifyCodecQualityEvent = std::function<void(TObject* Sender, Byte Quality)>;
using TNotifyCodecEqualizerEvent =
    std::function<void(TObject* Sender, XA_EqualizerInfo& Equalizer)>;
using TNotifyNotificationMaskEvent = std::function<void(TObject* Sender, Cardinal Mask)>;
using TNotifyDebugLevelEvent = std::function<void(TObject* Sender, Byte Level)>;
using TNotifyProgressEvent =
    std::function<void(TObject* Sender, Byte Source, Byte Code, Smallint Value, const String& Msg)>;
using TNotifyDebugEvent =
    std::function<void(TObject* Sender, Byte Source, Byte Level, const String& Msg)>;
using TNotifyErrorEvent =
    std::function<void(TObject* Sender, Byte Source, Smallint Code, const String& Msg)>;

// The engine's entry points in the order they are bound: this one list makes both the
// table of function pointers and the binding loop.
#define KAZ_XAUDIO_ENTRY_POINTS(X)               \
  X(player_new, XA_PlayerNewFn)                  \
  X(player_delete, XA_PlayerDeleteFn)            \
  X(player_set_priority, XA_PlayerSetPriorityFn) \
  X(player_get_priority, XA_PlayerGetPriorityFn) \
  X(xaudio_error_string, XA_ErrorStringFn)       \
  X(xaudio_get_version, XA_GetVersionFn)         \
  X(control_message_send_N, XA_SendNFn)          \
  X(control_message_send_P, XA_SendPFn)          \
  X(control_message_send_S, XA_SendSFn)          \
  X(control_message_send_SS, XA_SendSSFn)        \
  X(control_message_send_SI, XA_SendSIFn)        \
  X(control_message_send_IPI, XA_SendIPIFn)      \
  X(control_message_send_I, XA_SendIFn)          \
  X(control_message_send_II, XA_SendIIFn)        \
  X(control_message_send_III, XA_SendIIIFn)      \
  X(control_message_send_IIII, XA_SendIIIIFn)    \
  X(control_win32_params_to_message, XA_ParamsToMessageFn)

class TXaudioPlayer : public TComponent {
 public:
  // Makes the hidden window; loads nothing.
  explicit TXaudioPlayer(TComponent* AOwner);
  ~TXaudioPlayer() override;

  // Makes sure a player runs: loads and binds the library, checks its version and starts
  // the player as needed. Answers true; every failure raises EXaudioException.
  Boolean Init();
  // The engine's version word; 0 while no player runs (never loads the library).
  Cardinal GetVersion(Byte Which);
  String ErrorString(Integer Code);

  Cardinal Priority();
  void SetPriority(Cardinal Value);
  const String& XaudioPath() const { return xaudio_path_; }
  void SetXaudioPath(const String& Value) { xaudio_path_ = Value; }

  // Commands. Each starts the player if needed and answers the engine's send status; any
  // answer of the engine arrives later as an event.
  Integer Synchronize();
  Integer Ping(Integer Tag);
  Integer Play();
  Integer Pause();
  Integer Stop();
  Integer InputSeek(Integer Offset, Integer Range);
  Integer InputOpen(const String& Name);
  Integer InputClose();
  Integer InputSendMessage(Word MessageType, Pointer Data, Integer Size);
  Integer InputAddFilter(const String& Name, Integer Where);
  Integer InputRemoveFilter(const String& Name, Integer ID);
  Integer InputFilterList();
  Integer InputModuleRegister(const String& Name);
  Integer InputModuleQuery(Integer ID);
  Integer InputModulesList();
  Integer OutputOpen(const String& Name);
  Integer OutputClose();
  Integer OutputSendMessage(Word MessageType, Pointer Data, Integer Size);
  Integer OutputMute();
  Integer OutputUnmute();
  Integer OutputReset();
  Integer OutputDrain();
  Integer OutputAddFilter(const String& Name, Integer Where);
  Integer OutputRemoveFilter(const String& Name, Integer ID);
  Integer OutputFilterList();
  Integer OutputModuleRegister(const String& Name);
  Integer OutputModuleQuery(Integer ID);
  Integer OutputModulesList();
  Integer CodecSendMessage(Word MessageType, Pointer Data, Integer Size);
  Integer CodecModuleRegister(const String& Name);
  Integer CodecModuleQuery(Integer ID);
  Integer CodecModulesList();
  Integer SetPlayerMode(Integer Mode);
  Integer GetPlayerMode();
  Integer SetPlayerEnvironmentInteger(const String& Name, Integer Value);
  Integer GetPlayerEnvironmentInteger(const String& Name);
  Integer SetPlayerEnvironmentString(const String& Name, const String& Value);
  Integer GetPlayerEnvironmentString(const String& Name);
  Integer UnsetPlayerEnvironment(const String& Name);
  Integer SetInputName(const String& Name);
  Integer GetInputName();
  Integer SetInputModule(Integer ID);
  Integer GetInputModule();
  Integer SetInputPositionRange(Integer Range);
  Integer GetInputPositionRange();
  Integer SetInputTimecodeGranularity(Integer Granularity);
  Integer GetInputTimecodeGranularity();
  Integer SetOutputName(const String& Name);
  Integer GetOutputName();
  Integer SetOutputModule(Integer ID);
  Integer GetOutputModule();
  Integer SetOutputVolume(Integer Balance, Integer Level, Integer Third);
  Integer GetOutputVolume();
  Integer SetOutputChannels(Integer Channels);
  Integer GetOutputChannels();
  Integer SetOutputPorts(Integer Ports);
  Integer GetOutputPorts();
  Integer SetCodecQuality(Byte Quality);
  Integer GetCodecQuality();
  // The record is passed by address, neither read nor copied: it must outlive the call.
  Integer SetCodecEqualizer(XA_EqualizerInfo* Equalizer);
  Integer GetCodecEqualizer();
  Integer SetNotificationMask(Integer Mask);
  Integer GetNotificationMask();
  Integer SetDebugLevel(Integer Level);
  Integer GetDebugLevel();

  // Events: OnNotifyMessage for every message the engine decodes, then the one event its
  // code selects.
  TNotifyMessageEvent OnNotifyMessage;
  TNotifyEvent OnNotifyReady;
  TNotifyAckEvent OnNotifyAck;
  TNotifyNackEvent OnNotifyNack;
  TNotifyPongEvent OnNotifyPong;
  TNotifyEvent OnNotifyExited;
  TNotifyPlayerStateEvent OnNotifyPlayerState;
  TNotifyPlayerModeEvent OnNotifyPlayerMode;
  TNotifyEnvironmentIntegerEvent OnNotifyPlayerEnvironmentInteger;
  TNotifyEnvironmentStringEvent OnNotifyPlayerEnvironmentString;
  TNotifyInputStateEvent OnNotifyInputState;
  TNotifyInputNameEvent OnNotifyInputName;
  TNotifyInputCapsEvent OnNotifyInputCaps;
  TNotifyInputPositionEvent OnNotifyInputPosition;
  TNotifyInputPositionRangeEvent OnNotifyInputPositionRange;
  TNotifyInputTimecodeEvent OnNotifyInputTimecode;
  TNotifyInputTimecodeGranularityEvent OnNotifyInputTimecodeGranularity;
  TNotifyInputModuleEvent OnNotifyInputModule;
  TNotifyInputModuleInfoEvent OnNotifyInputModuleInfo;
  TNotifyInputDeviceInfoEvent OnNotifyInputDeviceInfo;
  TNotifyInputFilterInfoEvent OnNotifyInputFilterInfo;
  TNotifyOutputStateEvent OnNotifyOutputState;
  TNotifyOutputNameEvent OnNotifyOutputName;
  TNotifyOutputCapsEvent OnNotifyOutputCaps;
  TNotifyOutputVolumeEvent OnNotifyOutputVolume;
  TNotifyOutputBalanceEvent OnNotifyOutputBalance;
  TNotifyOutputPcmLevelEvent OnNotifyOutputPcmLevel;
  TNotifyOutputMasterLevelEvent OnNotifyOutputMasterLevel;
  TNotifyOutputChannelsEvent OnNotifyOutputChannels;
  TNotifyOutputPortsEvent OnNotifyOutputPorts;
  TNotifyOutputModuleEvent OnNotifyOutputModule;
  TNotifyOutputModuleInfoEvent OnNotifyOutputModuleInfo;
  TNotifyOutputDeviceInfoEvent OnNotifyOutputDeviceInfo;
  TNotifyOutputFilterInfoEvent OnNotifyOutputFilterInfo;
  TNotifyStreamMimeTypeEvent OnNotifyStreamMimeType;
  TNotifyStreamDurationEvent OnNotifyStreamDuration;
  TNotifyStreamParametersEvent OnNotifyStreamParameters;
  TNotifyStreamPropertiesEvent OnNotifyStreamProperties;
  TNotifyCodecModuleEvent OnNotifyCodecModule;
  TNotifyCodecModuleInfoEvent OnNotifyCodecModuleInfo;
  TNotifyCodecDeviceInfoEvent OnNotifyCodecDeviceInfo;
  TNotifyCodecQualityEvent OnNotifyCodecQuality;
  TNotifyCodecEqualizerEvent OnNotifyCodecEqualizer;
  TNotifyNotificationMaskEvent OnNotifyNotificationMask;
  TNotifyDebugLevelEvent OnNotifyDebugLevel;
  TNotifyProgressEvent OnNotifyProgress;
  TNotifyDebugEvent OnNotifyDebug;
  TNotifyErrorEvent OnNotifyError;

 private:
  struct TEntryPoints {
#define KAZ_XAUDIO_FIELD(name, type) type name = nullptr;
    KAZ_XAUDIO_ENTRY_POINTS(KAZ_XAUDIO_FIELD)
#undef KAZ_XAUDIO_FIELD
  };

  void LoadEngine();
  FARPROC BindSymbol(const char* Name);
  void UnloadEngine();
  void HiddenWindowProc(TMessage& Message);
  Integer DecodeWindowMessage(XA_Message& Msg, const TMessage& Message);
  void DispatchNotification(XA_Message& Msg);
  // Each fires the event of a notification of its family and answers whether it was one.
  bool DispatchPlayerNotification(XA_Message& Msg);
  bool DispatchInputNotification(XA_Message& Msg);
  bool DispatchOutputNotification(XA_Message& Msg);
  bool DispatchStreamNotification(XA_Message& Msg);

  // The senders: each starts the player first, then sends.
  Integer SendN(Integer Code);
  Integer SendP(Integer Code, const void* P);
  Integer SendS(Integer Code, const String& S);
  Integer SendSS(Integer Code, const String& S1, const String& S2);
  Integer SendSI(Integer Code, const String& S, Integer I);
  Integer SendIPI(Integer Code, Integer I1, const void* P, Integer I2);
  Integer SendI(Integer Code, Integer I);
  Integer SendII(Integer Code, Integer I1, Integer I2);
  Integer SendIII(Integer Code, Integer I1, Integer I2, Integer I3);

  // The engine receives the addresses of player_ and window_ at player_new, so both stay
  // in place for the component's whole life.
  void* player_ = nullptr;
  Cardinal priority_ = 3;
  HWND window_ = 0;
  HMODULE module_ = nullptr;
  String xaudio_path_ = "xaudio.dll";
  TEntryPoints entry_points_;
};
