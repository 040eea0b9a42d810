// The engine's commands: one numbered control message each, through the sender that fits
// its arguments. Word and Byte arguments are widened with zeros, so 65535 and 255 reach the
// engine as such and never as -1.
#include "engine/XaudioPlayer.h"

Integer TXaudioPlayer::SendN(Integer Code) {
  Init();
  return entry_points_.control_message_send_N(player_, Code);
}

Integer TXaudioPlayer::SendP(Integer Code, const void* P) {
  Init();
  return entry_points_.control_message_send_P(player_, Code, P);
}

// Texts go as pointers valid for the call only: the engine copies what it keeps.
Integer TXaudioPlayer::SendS(Integer Code, const String& S) {
  Init();
  return entry_points_.control_message_send_S(player_, Code, S.c_str());
}

Integer TXaudioPlayer::SendSS(Integer Code, const String& S1, const String& S2) {
  Init();
  return entry_points_.control_message_send_SS(player_, Code, S1.c_str(), S2.c_str());
}

Integer TXaudioPlayer::SendSI(Integer Code, const String& S, Integer I) {
  Init();
  return entry_points_.control_message_send_SI(player_, Code, S.c_str(), I);
}

Integer TXaudioPlayer::SendIPI(Integer Code, Integer I1, const void* P, Integer I2) {
  Init();
  return entry_points_.control_message_send_IPI(player_, Code, I1, P, I2);
}

Integer TXaudioPlayer::SendI(Integer Code, Integer I) {
  Init();
  return entry_points_.control_message_send_I(player_, Code, I);
}

Integer TXaudioPlayer::SendII(Integer Code, Integer I1, Integer I2) {
  Init();
  return entry_points_.control_message_send_II(player_, Code, I1, I2);
}

Integer TXaudioPlayer::SendIII(Integer Code, Integer I1, Integer I2, Integer I3) {
  Init();
  return entry_points_.control_message_send_III(player_, Code, I1, I2, I3);
}

Integer TXaudioPlayer::Synchronize() {
  return SendN(XA_MSG_COMMAND_SYNC);
}

Integer TXaudioPlayer::Ping(Integer Tag) {
  return SendI(XA_MSG_COMMAND_PING, Tag);
}

Integer TXaudioPlayer::Play() {
  return SendN(XA_MSG_COMMAND_PLAY);
}

Integer TXaudioPlayer::Pause() {
  return SendN(XA_MSG_COMMAND_PAUSE);
}

Integer TXaudioPlayer::Stop() {
  return SendN(XA_MSG_COMMAND_STOP);
}

Integer TXaudioPlayer::InputSeek(Integer Offset, Integer Range) {
  return SendII(XA_MSG_COMMAND_SEEK, Offset, Range);
}

Integer TXaudioPlayer::InputOpen(const String& Name) {
  return SendS(XA_MSG_COMMAND_INPUT_OPEN, Name);
}

Integer TXaudioPlayer::InputClose() {
  return SendN(XA_MSG_COMMAND_INPUT_CLOSE);
}

Integer TXaudioPlayer::InputSendMessage(Word MessageType, Pointer Data, Integer Size) {
  return SendIPI(XA_MSG_COMMAND_INPUT_SEND_MESSAGE, static_cast<Integer>(MessageType), Data, Size);
}

Integer TXaudioPlayer::InputAddFilter(const String& Name, Integer Where) {
  return SendSI(XA_MSG_COMMAND_INPUT_ADD_FILTER, Name, Where);
}

Integer TXaudioPlayer::InputRemoveFilter(const String& Name, Integer ID) {
  return SendSI(XA_MSG_COMMAND_INPUT_REMOVE_FILTER, Name, ID);
}

Integer TXaudioPlayer::InputFilterList() {
  return SendN(XA_MSG_COMMAND_INPUT_FILTERS_LIST);
}

Integer TXaudioPlayer::InputModuleRegister(const String& Name) {
  return SendS(XA_MSG_COMMAND_INPUT_MODULE_REGISTER, Name);
}

Integer TXaudioPlayer::InputModuleQuery(Integer ID) {
  return SendI(XA_MSG_COMMAND_INPUT_MODULE_QUERY, ID);
}

Integer TXaudioPlayer::InputModulesList() {
  return SendN(XA_MSG_COMMAND_INPUT_MODULES_LIST);
}

Integer TXaudioPlayer::OutputOpen(const String& Name) {
  return SendS(XA_MSG_COMMAND_OUTPUT_OPEN, Name);
}

Integer TXaudioPlayer::OutputClose() {
  return SendN(XA_MSG_COMMAND_OUTPUT_CLOSE);
}

Integer TXaudioPlayer::OutputSendMessage(Word MessageType, Pointer Data, Integer Size) {
  return SendIPI(XA_MSG_COMMAND_OUTPUT_SEND_MESSAGE, static_cast<Integer>(MessageType), Data, Size);
}

Integer TXaudioPlayer::OutputMute() {
  return SendN(XA_MSG_COMMAND_OUTPUT_MUTE);
}

Integer TXaudioPlayer::OutputUnmute() {
  return SendN(XA_MSG_COMMAND_OUTPUT_UNMUTE);
}

Integer TXaudioPlayer::OutputReset() {
  return SendN(XA_MSG_COMMAND_OUTPUT_RESET);
}

Integer TXaudioPlayer::OutputDrain() {
  return SendN(XA_MSG_COMMAND_OUTPUT_DRAIN);
}

Integer TXaudioPlayer::OutputAddFilter(const String& Name, Integer Where) {
  return SendSI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, Name, Where);
}

Integer TXaudioPlayer::OutputRemoveFilter(const String& Name, Integer ID) {
  return SendSI(XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER, Name, ID);
}

Integer TXaudioPlayer::OutputFilterList() {
  return SendN(XA_MSG_COMMAND_OUTPUT_FILTERS_LIST);
}

Integer TXaudioPlayer::OutputModuleRegister(const String& Name) {
  return SendS(XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, Name);
}

Integer TXaudioPlayer::OutputModuleQuery(Integer ID) {
  return SendI(XA_MSG_COMMAND_OUTPUT_MODULE_QUERY, ID);
}

Integer TXaudioPlayer::OutputModulesList() {
  return SendN(XA_MSG_COMMAND_OUTPUT_MODULES_LIST);
}

Integer TXaudioPlayer::CodecSendMessage(Word MessageType, Pointer Data, Integer Size) {
  return SendIPI(XA_MSG_COMMAND_CODEC_SEND_MESSAGE, static_cast<Integer>(MessageType), Data, Size);
}

Integer TXaudioPlayer::CodecModuleRegister(const String& Name) {
  return SendS(XA_MSG_COMMAND_CODEC_MODULE_REGISTER, Name);
}

Integer TXaudioPlayer::CodecModuleQuery(Integer ID) {
  return SendI(XA_MSG_COMMAND_CODEC_MODULE_QUERY, ID);
}

Integer TXaudioPlayer::CodecModulesList() {
  return SendN(XA_MSG_COMMAND_CODEC_MODULES_LIST);
}

Integer TXaudioPlayer::SetPlayerMode(Integer Mode) {
  return SendI(XA_MSG_SET_PLAYER_MODE, Mode);
}

Integer TXaudioPlayer::GetPlayerMode() {
  return SendN(XA_MSG_GET_PLAYER_MODE);
}

Integer TXaudioPlayer::SetPlayerEnvironmentInteger(const String& Name, Integer Value) {
  return SendSI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, Name, Value);
}

Integer TXaudioPlayer::GetPlayerEnvironmentInteger(const String& Name) {
  return SendS(XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER, Name);
}

Integer TXaudioPlayer::SetPlayerEnvironmentString(const String& Name, const String& Value) {
  return SendSS(XA_MSG_SET_PLAYER_ENVIRONMENT_STRING, Name, Value);
}

Integer TXaudioPlayer::GetPlayerEnvironmentString(const String& Name) {
  return SendS(XA_MSG_GET_PLAYER_ENVIRONMENT_STRING, Name);
}

Integer TXaudioPlayer::UnsetPlayerEnvironment(const String& Name) {
  return SendS(XA_MSG_UNSET_PLAYER_ENVIRONMENT, Name);
}

Integer TXaudioPlayer::SetInputName(const String& Name) {
  return SendS(XA_MSG_SET_INPUT_NAME, Name);
}

Integer TXaudioPlayer::GetInputName() {
  return SendN(XA_MSG_GET_INPUT_NAME);
}

Integer TXaudioPlayer::SetInputModule(Integer ID) {
  return SendI(XA_MSG_SET_INPUT_MODULE, ID);
}

Integer TXaudioPlayer::GetInputModule() {
  return SendN(XA_MSG_GET_INPUT_MODULE);
}

Integer TXaudioPlayer::SetInputPositionRange(Integer Range) {
  return SendI(XA_MSG_SET_INPUT_POSITION_RANGE, Range);
}

Integer TXaudioPlayer::GetInputPositionRange() {
  return SendN(XA_MSG_GET_INPUT_POSITION_RANGE);
}

Integer TXaudioPlayer::SetInputTimecodeGranularity(Integer Granularity) {
  return SendI(XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, Granularity);
}

Integer TXaudioPlayer::GetInputTimecodeGranularity() {
  return SendN(XA_MSG_GET_INPUT_TIMECODE_GRANULARITY);
}

Integer TXaudioPlayer::SetOutputName(const String& Name) {
  return SendS(XA_MSG_SET_OUTPUT_NAME, Name);
}

Integer TXaudioPlayer::GetOutputName() {
  return SendN(XA_MSG_GET_OUTPUT_NAME);
}

Integer TXaudioPlayer::SetOutputModule(Integer ID) {
  return SendI(XA_MSG_SET_OUTPUT_MODULE, ID);
}

Integer TXaudioPlayer::GetOutputModule() {
  return SendN(XA_MSG_GET_OUTPUT_MODULE);
}

Integer TXaudioPlayer::SetOutputVolume(Integer Balance, Integer Level, Integer Third) {
  return SendIII(XA_MSG_SET_OUTPUT_VOLUME, Balance, Level, Third);
}

Integer TXaudioPlayer::GetOutputVolume() {
  return SendN(XA_MSG_GET_OUTPUT_VOLUME);
}

Integer TXaudioPlayer::SetOutputChannels(Integer Channels) {
  return SendI(XA_MSG_SET_OUTPUT_CHANNELS, Channels);
}

Integer TXaudioPlayer::GetOutputChannels() {
  return SendN(XA_MSG_GET_OUTPUT_CHANNELS);
}

Integer TXaudioPlayer::SetOutputPorts(Integer Ports) {
  return SendI(XA_MSG_SET_OUTPUT_PORTS, Ports);
}

Integer TXaudioPlayer::GetOutputPorts() {
  return SendN(XA_MSG_GET_OUTPUT_PORTS);
}

Integer TXaudioPlayer::SetCodecQuality(Byte Quality) {
  return SendI(XA_MSG_SET_CODEC_QUALITY, static_cast<Integer>(Quality));
}

Integer TXaudioPlayer::GetCodecQuality() {
  return SendN(XA_MSG_GET_CODEC_QUALITY);
}

Integer TXaudioPlayer::SetCodecEqualizer(XA_EqualizerInfo* Equalizer) {
  return SendP(XA_MSG_SET_CODEC_EQUALIZER, Equalizer);
}

Integer TXaudioPlayer::GetCodecEqualizer() {
  return SendN(XA_MSG_GET_CODEC_EQUALIZER);
}

Integer TXaudioPlayer::SetNotificationMask(Integer Mask) {
  return SendI(XA_MSG_SET_NOTIFICATION_MASK, Mask);
}

Integer TXaudioPlayer::GetNotificationMask() {
  return SendN(XA_MSG_GET_NOTIFICATION_MASK);
}

Integer TXaudioPlayer::SetDebugLevel(Integer Level) {
  return SendI(XA_MSG_SET_DEBUG_LEVEL, Level);
}

Integer TXaudioPlayer::GetDebugLevel() {
  return SendN(XA_MSG_GET_DEBUG_LEVEL);
}
