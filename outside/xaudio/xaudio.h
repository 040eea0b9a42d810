// The MPEG audio engine's C interface, as the deck component binds it by name.
//
// Notifications travel as one posted window message, XA_WM_NOTIFY, to the window whose
// handle the player reads through the address given to player_new. The message's wParam
// names the player and its lParam the notification; control_win32_params_to_message turns
// it back into an XA_Message. Texts and the equalizer record a decoded message points to
// belong to the player: they stay valid until the next message of that player is decoded
// (or the player is deleted), which is after the event handlers of this one have returned.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32/Types.h"

// Every notification posted by a player uses this message number.
constexpr UINT XA_WM_NOTIFY = 0x9001;

// Version answered by xaudio_get_version: major in bits 16-23, minor in bits 8-15.
constexpr unsigned XA_VERSION_MAJOR = 3;
constexpr unsigned XA_VERSION_MINOR = 8;

// Player states (XA_MSG_NOTIFY_PLAYER_STATE).
enum XA_PlayerState : int32_t {
  XA_PLAYER_STATE_STOPPED = 0,
  XA_PLAYER_STATE_PLAYING = 1,
  XA_PLAYER_STATE_PAUSED = 2,
  XA_PLAYER_STATE_EOS = 3,
};

// Input and output states (codes 82 and 93).
enum XA_IOState : int32_t {
  XA_IO_STATE_CLOSED = 0,
  XA_IO_STATE_OPEN = 1,
};

// Error codes: status of the senders, Code of a nack, Code of an error notification.
enum XA_ErrorCode : int32_t {
  XA_SUCCESS = 0,
  XA_FAILURE = -1,
  XA_ERROR_OUT_OF_MEMORY = -2,
  XA_ERROR_INVALID_PARAMETERS = -3,
  XA_ERROR_NOT_SUPPORTED = -4,
  XA_ERROR_NO_SUCH_FILE = -5,
  XA_ERROR_OPEN_FAILED = -6,
  XA_ERROR_INVALID_STREAM = -7,
  XA_ERROR_NO_INPUT = -8,
  XA_ERROR_NO_OUTPUT = -9,
  XA_ERROR_NO_SUCH_MODULE = -10,
  XA_ERROR_NO_SUCH_DEVICE = -11,
  XA_ERROR_TOO_MANY_FILTERS = -12,
  XA_ERROR_INVALID_PLAYER = -13,
  XA_ERROR_DECODE = -14,
};

// Error sources (byte 4 of an error notification).
enum XA_ErrorSource : uint8_t {
  XA_SOURCE_PLAYER = 0,
  XA_SOURCE_INPUT = 1,
  XA_SOURCE_OUTPUT = 2,
  XA_SOURCE_CODEC = 3,
};

// Command codes, sent through the control_message_send_* entry points.
enum XA_Command : int32_t {
  XA_MSG_COMMAND_SYNC = 2,
  XA_MSG_COMMAND_PING = 3,
  XA_MSG_COMMAND_PLAY = 4,
  XA_MSG_COMMAND_PAUSE = 5,
  XA_MSG_COMMAND_STOP = 6,
  XA_MSG_COMMAND_SEEK = 7,
  XA_MSG_COMMAND_INPUT_OPEN = 8,
  XA_MSG_COMMAND_INPUT_CLOSE = 9,
  XA_MSG_COMMAND_INPUT_SEND_MESSAGE = 10,
  XA_MSG_COMMAND_INPUT_ADD_FILTER = 11,
  XA_MSG_COMMAND_INPUT_REMOVE_FILTER = 12,
  XA_MSG_COMMAND_INPUT_FILTERS_LIST = 13,
  XA_MSG_COMMAND_INPUT_MODULE_REGISTER = 14,
  XA_MSG_COMMAND_INPUT_MODULE_QUERY = 15,
  XA_MSG_COMMAND_INPUT_MODULES_LIST = 16,
  XA_MSG_COMMAND_OUTPUT_OPEN = 17,
  XA_MSG_COMMAND_OUTPUT_CLOSE = 18,
  XA_MSG_COMMAND_OUTPUT_SEND_MESSAGE = 19,
  XA_MSG_COMMAND_OUTPUT_MUTE = 20,
  XA_MSG_COMMAND_OUTPUT_UNMUTE = 21,
  XA_MSG_COMMAND_OUTPUT_RESET = 22,
  XA_MSG_COMMAND_OUTPUT_DRAIN = 23,
  XA_MSG_COMMAND_OUTPUT_ADD_FILTER = 24,
  XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER = 25,
  XA_MSG_COMMAND_OUTPUT_FILTERS_LIST = 26,
  XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER = 27,
  XA_MSG_COMMAND_OUTPUT_MODULE_QUERY = 28,
  XA_MSG_COMMAND_OUTPUT_MODULES_LIST = 29,
  XA_MSG_COMMAND_CODEC_SEND_MESSAGE = 30,
  XA_MSG_COMMAND_CODEC_MODULE_REGISTER = 31,
  XA_MSG_COMMAND_CODEC_MODULE_QUERY = 32,
  XA_MSG_COMMAND_CODEC_MODULES_LIST = 33,
  XA_MSG_SET_PLAYER_MODE = 34,
  XA_MSG_GET_PLAYER_MODE = 35,
  XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER = 36,
  XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER = 37,
  XA_MSG_SET_PLAYER_ENVIRONMENT_STRING = 38,
  XA_MSG_GET_PLAYER_ENVIRONMENT_STRING = 39,
  XA_MSG_UNSET_PLAYER_ENVIRONMENT = 40,
  XA_MSG_SET_INPUT_NAME = 41,
  XA_MSG_GET_INPUT_NAME = 42,
  XA_MSG_SET_INPUT_MODULE = 43,
  XA_MSG_GET_INPUT_MODULE = 44,
  XA_MSG_SET_INPUT_POSITION_RANGE = 45,
  XA_MSG_GET_INPUT_POSITION_RANGE = 46,
  XA_MSG_SET_INPUT_TIMECODE_GRANULARITY = 47,
  XA_MSG_GET_INPUT_TIMECODE_GRANULARITY = 48,
  XA_MSG_SET_OUTPUT_NAME = 49,
  XA_MSG_GET_OUTPUT_NAME = 50,
  XA_MSG_SET_OUTPUT_MODULE = 51,
  XA_MSG_GET_OUTPUT_MODULE = 52,
  XA_MSG_SET_OUTPUT_VOLUME = 57,
  XA_MSG_GET_OUTPUT_VOLUME = 58,
  XA_MSG_SET_OUTPUT_CHANNELS = 59,
  XA_MSG_GET_OUTPUT_CHANNELS = 60,
  XA_MSG_SET_OUTPUT_PORTS = 61,
  XA_MSG_GET_OUTPUT_PORTS = 62,
  XA_MSG_SET_CODEC_QUALITY = 63,
  XA_MSG_GET_CODEC_QUALITY = 64,
  XA_MSG_SET_CODEC_EQUALIZER = 65,
  XA_MSG_GET_CODEC_EQUALIZER = 66,
  XA_MSG_SET_NOTIFICATION_MASK = 69,
  XA_MSG_GET_NOTIFICATION_MASK = 70,
  XA_MSG_SET_DEBUG_LEVEL = 71,
  XA_MSG_GET_DEBUG_LEVEL = 72,
};

// Notification codes (the code field of XA_Message).
enum XA_Notification : int32_t {
  XA_MSG_NOTIFY_READY = 73,
  XA_MSG_NOTIFY_ACK = 74,
  XA_MSG_NOTIFY_NACK = 75,
  XA_MSG_NOTIFY_PONG = 76,
  XA_MSG_NOTIFY_EXITED = 77,
  XA_MSG_NOTIFY_PLAYER_STATE = 78,
  XA_MSG_NOTIFY_PLAYER_MODE = 79,
  XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER = 80,
  XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING = 81,
  XA_MSG_NOTIFY_INPUT_STATE = 82,
  XA_MSG_NOTIFY_INPUT_NAME = 83,
  XA_MSG_NOTIFY_INPUT_CAPS = 84,
  XA_MSG_NOTIFY_INPUT_POSITION = 85,
  XA_MSG_NOTIFY_INPUT_POSITION_RANGE = 86,
  XA_MSG_NOTIFY_INPUT_TIMECODE = 87,
  XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY = 88,
  XA_MSG_NOTIFY_INPUT_MODULE = 89,
  XA_MSG_NOTIFY_INPUT_MODULE_INFO = 90,
  XA_MSG_NOTIFY_INPUT_DEVICE_INFO = 91,
  XA_MSG_NOTIFY_INPUT_FILTER_INFO = 92,
  XA_MSG_NOTIFY_OUTPUT_STATE = 93,
  XA_MSG_NOTIFY_OUTPUT_NAME = 94,
  XA_MSG_NOTIFY_OUTPUT_CAPS = 95,
  XA_MSG_NOTIFY_OUTPUT_VOLUME = 100,
  XA_MSG_NOTIFY_OUTPUT_BALANCE = 101,
  XA_MSG_NOTIFY_OUTPUT_PCM_LEVEL = 102,
  XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL = 103,
  XA_MSG_NOTIFY_OUTPUT_CHANNELS = 104,
  XA_MSG_NOTIFY_OUTPUT_PORTS = 105,
  XA_MSG_NOTIFY_OUTPUT_MODULE = 106,
  XA_MSG_NOTIFY_OUTPUT_MODULE_INFO = 107,
  XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO = 108,
  XA_MSG_NOTIFY_OUTPUT_FILTER_INFO = 109,
  XA_MSG_NOTIFY_STREAM_MIME_TYPE = 110,
  XA_MSG_NOTIFY_STREAM_DURATION = 111,
  XA_MSG_NOTIFY_STREAM_PARAMETERS = 112,
  XA_MSG_NOTIFY_STREAM_PROPERTIES = 113,
  XA_MSG_NOTIFY_CODEC_QUALITY = 114,
  XA_MSG_NOTIFY_CODEC_EQUALIZER = 115,
  XA_MSG_NOTIFY_CODEC_MODULE = 116,
  XA_MSG_NOTIFY_CODEC_MODULE_INFO = 117,
  XA_MSG_NOTIFY_CODEC_DEVICE_INFO = 118,
  XA_MSG_NOTIFY_NOTIFICATION_MASK = 119,
  XA_MSG_NOTIFY_DEBUG_LEVEL = 120,
  XA_MSG_NOTIFY_PROGRESS = 121,
  XA_MSG_NOTIFY_DEBUG = 122,
  XA_MSG_NOTIFY_ERROR = 123,
};

// The codec equalizer: 32 bands of the first channel, then 32 of the second. A band is a
// signed step of 0.3 dB (0 flat, +40 is +12 dB, -90 is -27 dB).
struct XA_EqualizerInfo {
  int8_t left[32];
  int8_t right[32];
};
static_assert(sizeof(XA_EqualizerInfo) == 64);
constexpr double XA_EQ_DB_PER_STEP = 0.3;

// A stream property (code 113): a name and its value as text.
struct XA_Property {
  const char* name;
  const char* value;
};

// The decoded notification: a code, then up to three data words, read by code. The
// record keeps the field order and integer widths of the engine's 32-bit layout; on this
// 64-bit platform a pointer field is 8 bytes and naturally aligned, so a pointer that was
// the first data word (offset 4) sits at offset 8, and whatever followed it moves to 16.
//
//   code                      at 4 (w1)                      at 8 (w2)          at 16 (w3)
//   74 ack                    bytes[0] command
//   75 nack                   nack.command, nack.code
//   76 pong                   value (tag)
//   78, 82, 93 states         bytes[0]
//   79 mode, 84/95 caps, 86 range, 88 granularity, 111 duration, 119 mask: value
//   80 environment integer                                  text (name)        value
//   81 environment string                                   text (name)        text (value)
//   83, 94 name, 110 mime                                   text
//   85 position               value (offset)                value (range)
//   87 timecode               timecode
//   89, 106, 116 module       module_id
//   90, 107, 117 module info  module_info                   text (name)        text (description)
//   91, 108, 118 device info  device_info                   text (name)        text (description)
//   92, 109 filter info                                     text (name)        id
//   100 volume                bytes[0] master, [1] pcm, [2] balance
//   101 balance = bytes[2]; 102 pcm = bytes[1]; 103 master, 104 channels, 105 ports,
//   114 quality, 120 debug level = bytes[0]
//   112 stream parameters     value (frequency)             stream (bitrate, channels)
//   113 stream properties     value (count)                 properties
//   115 codec equalizer                                     equalizer
//   121 progress              source (source, code, value)  text (message)
//   122 debug                 source (source, level)        text (message)
//   123 error                 source (source, -, code)      text (message)
struct XA_Message {
  int32_t code;
  union {
    uint8_t bytes[4];
    uint32_t value;
    struct {
      uint8_t h, m, s, f;
    } timecode;
    struct {
      uint8_t command;
      uint8_t unused;
      int16_t code;
    } nack;
    int16_t module_id;
    struct {
      uint8_t id;
      uint8_t nb_devices;
    } module_info;
    struct {
      uint8_t module_id;
      uint8_t index;
      uint8_t flags;
    } device_info;
    // Progress: byte, byte, 16-bit value. Debug: source, level. Error: source, 16-bit code
    // at 6.
    struct {
      uint8_t source;
      uint8_t code;
      int16_t value;
    } source;
  } w1;
  union {
    const char* text;
    XA_EqualizerInfo* equalizer;
    const XA_Property* properties;
    uint32_t value;
    struct {
      int16_t bitrate;
      uint8_t nb_channels;
    } stream;
  } w2;
  union {
    const char* text;
    int32_t value;
    uint8_t id;
  } w3;
};

static_assert(sizeof(XA_Message) == 24);
static_assert(offsetof(XA_Message, code) == 0);
static_assert(offsetof(XA_Message, w1.bytes) == 4);
static_assert(offsetof(XA_Message, w1.value) == 4);
static_assert(offsetof(XA_Message, w1.nack.code) == 6);
static_assert(offsetof(XA_Message, w1.timecode.f) == 7);
static_assert(offsetof(XA_Message, w1.module_info.nb_devices) == 5);
static_assert(offsetof(XA_Message, w1.device_info.flags) == 6);
static_assert(offsetof(XA_Message, w1.source.value) == 6);
static_assert(offsetof(XA_Message, w2.text) == 8);
static_assert(offsetof(XA_Message, w2.value) == 8);
static_assert(offsetof(XA_Message, w2.stream.bitrate) == 8);
static_assert(offsetof(XA_Message, w2.stream.nb_channels) == 10);
static_assert(offsetof(XA_Message, w3.text) == 16);
static_assert(offsetof(XA_Message, w3.value) == 16);

// Entry points, in the order the deck component binds them.
extern "C" {
using XA_PlayerNewFn = int (*)(void** player, HWND* hwndAddress);
using XA_PlayerDeleteFn = int (*)(void* player);
using XA_PlayerSetPriorityFn = int (*)(void* player, int priority);
using XA_PlayerGetPriorityFn = int (*)(void* player);
using XA_ErrorStringFn = const char* (*)(int code);
using XA_GetVersionFn = unsigned long (*)(int which);
using XA_SendNFn = int (*)(void* player, int code);
using XA_SendPFn = int (*)(void* player, int code, const void* p);
using XA_SendSFn = int (*)(void* player, int code, const char* s);
using XA_SendSSFn = int (*)(void* player, int code, const char* s1, const char* s2);
using XA_SendSIFn = int (*)(void* player, int code, const char* s, int i);
using XA_SendIPIFn = int (*)(void* player, int code, int i1, const void* p, int i2);
using XA_SendIFn = int (*)(void* player, int code, int i);
using XA_SendIIFn = int (*)(void* player, int code, int i1, int i2);
using XA_SendIIIFn = int (*)(void* player, int code, int i1, int i2, int i3);
using XA_SendIIIIFn = int (*)(void* player, int code, int i1, int i2, int i3, int i4);
using XA_ParamsToMessageFn = int (*)(void* player, XA_Message* message, UINT msg, WPARAM wParam,
                                     LPARAM lParam);

int player_new(void** player, HWND* hwndAddress);
int player_delete(void* player);
int player_set_priority(void* player, int priority);
int player_get_priority(void* player);
const char* xaudio_error_string(int code);
unsigned long xaudio_get_version(int which);
int control_message_send_N(void* player, int code);
int control_message_send_P(void* player, int code, const void* p);
int control_message_send_S(void* player, int code, const char* s);
int control_message_send_SS(void* player, int code, const char* s1, const char* s2);
int control_message_send_SI(void* player, int code, const char* s, int i);
int control_message_send_IPI(void* player, int code, int i1, const void* p, int i2);
int control_message_send_I(void* player, int code, int i);
int control_message_send_II(void* player, int code, int i1, int i2);
int control_message_send_III(void* player, int code, int i1, int i2, int i3);
int control_message_send_IIII(void* player, int code, int i1, int i2, int i3, int i4);
int control_win32_params_to_message(void* player, XA_Message* message, UINT msg, WPARAM wParam,
                                    LPARAM lParam);
}
