#include "xaudio/Player.h"

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Clock.h"
#include "win32/Messages.h"
#include "win32/Modules.h"
#include "win32/Paths.h"

namespace xaudio {

namespace {

constexpr size_t kChunkFrames = 1024;
constexpr size_t kDecodeFrames = 1152 * 2;
// The lookahead keeps a second of the stream between the filters and the speed stage: the
// output filter's reports lead their audio by under 0.9 s and must see it before then.
constexpr double kAheadSeconds = 1.0;
constexpr size_t kAheadCapacity = 65536;  // frames, a power of two: over a second at 48 kHz
// More notifications than this waiting in a window's queue means nobody reads them; the
// oldest are forgotten (their messages then decode as foreign).
constexpr size_t kMaxPending = 8192;
constexpr const char* kDefaultOutput = "dsound_output_module_register@xdsound.dll";
constexpr const char* kPitchVariable = "OUTPUT.DIRECTSOUND.PITCH";

std::atomic<uint64_t> g_nextPlayerId{1};

bool SplitModuleName(const std::string& name, std::string* entry, std::string* file) {
  size_t at = name.find('@');
  if (at == std::string::npos || at == 0 || at + 1 >= name.size()) return false;
  *entry = name.substr(0, at);
  *file = name.substr(at + 1);
  return true;
}

// Names come as Windows paths; a Linux path is taken as it is.
std::string ToLinuxPath(const std::string& name) {
  std::string linux;
  DWORD error = 0;
  if (!name.empty() && name[0] != '/' && win32::WindowsToLinuxPath(name, linux, error))
    return linux;
  return name;
}

}  // namespace

Player::Player(HWND* hwnd) : hwnd_(hwnd), id_(g_nextPlayerId++), ahead_(kAheadCapacity * 2) {
  exitFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  decodeBuffer_.resize(kDecodeFrames * 2);
  outBuffer_.resize(kChunkFrames * 2);
  thread_ = std::thread([this] { Run(); });
}

Player::~Player() {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    quit_ = true;
  }
  queueCv_.notify_all();
  // The player thread's filters may be waiting on this very thread, sending to a window of
  // it (the main window): serve them while waiting, or both would wait for ever. Without
  // the descriptor nothing wakes the wait when the thread ends: look again every few ms.
  const DWORD look = exitFd_ >= 0 ? INFINITE : 5;
  while (!win32::WaitServingSentMessages([this] { return exited_.load(); }, look, exitFd_)) {
  }
  if (thread_.joinable()) thread_.join();
  if (exitFd_ >= 0) close(exitFd_);
}

int Player::Send(Command command) {
  given_.fetch_add(1, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    queue_.push_back(std::move(command));
  }
  queueCv_.notify_one();
  return XA_SUCCESS;
}

int Player::CommandsPending(void* player) {
  const auto* p = static_cast<const Player*>(player);
  // The asking thread counted its own commands in given_ before queueing them, so it reads
  // them there. The player thread counts one in done_ only after carrying it out, in the
  // order given: done_ reaching given_ means they are all carried out, and this acquire
  // pairs with that release, so what they did is seen by the asking thread. Another
  // thread's command given meanwhile may make done_ pass the given_ read: not pending.
  const uint32_t given = p->given_.load(std::memory_order_acquire);
  const uint32_t done = p->done_.load(std::memory_order_acquire);
  return static_cast<int32_t>(given - done) > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Notifications

void Player::Post(int code, Note note) {
  note.record.code = code;
  uint64_t seq;
  {
    std::lock_guard<std::mutex> lock(notesMutex_);
    seq = nextSeq_++;
    pending_.emplace(seq, std::make_unique<Note>(std::move(note)));
    while (pending_.size() > kMaxPending) pending_.erase(pending_.begin());
  }
  HWND hwnd = __atomic_load_n(hwnd_, __ATOMIC_ACQUIRE);
  if (!PostMessageA(hwnd, XA_WM_NOTIFY, static_cast<WPARAM>(id_), static_cast<LPARAM>(seq))) {
    std::lock_guard<std::mutex> lock(notesMutex_);
    pending_.erase(seq);
  }
}

int Player::Decode(XA_Message* out, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != XA_WM_NOTIFY || wParam != static_cast<WPARAM>(id_) || !out) return 1;
  std::lock_guard<std::mutex> lock(notesMutex_);
  auto it = pending_.find(static_cast<uint64_t>(lParam));
  if (it == pending_.end()) return 1;
  // The previous message's texts are released here: its handlers have returned.
  current_ = std::move(it->second);
  pending_.erase(it);
  Note& n = *current_;
  *out = n.record;
  const char* t1 = n.text1.c_str();
  const char* t2 = n.text2.c_str();
  switch (n.record.code) {
    // One text, in the second word.
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER:
    case XA_MSG_NOTIFY_INPUT_NAME:
    case XA_MSG_NOTIFY_OUTPUT_NAME:
    case XA_MSG_NOTIFY_STREAM_MIME_TYPE:
    case XA_MSG_NOTIFY_INPUT_FILTER_INFO:
    case XA_MSG_NOTIFY_OUTPUT_FILTER_INFO:
      out->w2.text = t1;
      break;
    // Two texts: name and value, or name and description.
    case XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING:
    case XA_MSG_NOTIFY_INPUT_MODULE_INFO:
    case XA_MSG_NOTIFY_OUTPUT_MODULE_INFO:
    case XA_MSG_NOTIFY_CODEC_MODULE_INFO:
    case XA_MSG_NOTIFY_INPUT_DEVICE_INFO:
    case XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO:
    case XA_MSG_NOTIFY_CODEC_DEVICE_INFO:
      out->w2.text = t1;
      out->w3.text = t2;
      break;
    case XA_MSG_NOTIFY_CODEC_EQUALIZER:
      out->w2.equalizer = &n.equalizer;
      break;
    case XA_MSG_NOTIFY_PROGRESS:
    case XA_MSG_NOTIFY_DEBUG:
    case XA_MSG_NOTIFY_ERROR:
      out->w2.text = t1;
      break;
    default:
      break;
  }
  return 0;
}

void Player::PostError(uint8_t source, int code, const std::string& text) {
  Note n;
  n.record.w1.source.source = source;
  n.record.w1.source.value = static_cast<int16_t>(code);
  n.text1 = text;
  Post(XA_MSG_NOTIFY_ERROR, std::move(n));
}

void Player::Nack(int command, int code) {
  Note n;
  n.record.w1.nack.command = static_cast<uint8_t>(command);
  n.record.w1.nack.code = static_cast<int16_t>(code);
  Post(XA_MSG_NOTIFY_NACK, std::move(n));
}

void Player::PostState() {
  PostByte(XA_MSG_NOTIFY_PLAYER_STATE, state_);
}

void Player::PostPosition(uint32_t offset) {
  Note n;
  n.record.w1.value = offset;
  n.record.w2.value = static_cast<uint32_t>(range_);
  Post(XA_MSG_NOTIFY_INPUT_POSITION, std::move(n));
}

void Player::PostTimecode(int64_t t) {
  Note n;
  n.record.w1.timecode.h = static_cast<uint8_t>(t / 360000);
  n.record.w1.timecode.m = static_cast<uint8_t>((t / 6000) % 60);
  n.record.w1.timecode.s = static_cast<uint8_t>((t / 100) % 60);
  n.record.w1.timecode.f = static_cast<uint8_t>(t % 100);
  Post(XA_MSG_NOTIFY_INPUT_TIMECODE, std::move(n));
}

// ---------------------------------------------------------------------------------------
// The thread

void Player::Run() {
  Post(XA_MSG_NOTIFY_READY, Note{});
  for (;;) {
    std::deque<Command> batch;
    {
      std::unique_lock<std::mutex> lock(queueMutex_);
      if (state_ == XA_PLAYER_STATE_PLAYING) {
        queueCv_.wait_for(lock, PlayingWait(), [this] { return quit_ || !queue_.empty(); });
      } else {
        queueCv_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      }
      if (quit_) break;
      batch.swap(queue_);
    }
    for (const Command& c : batch) {
      Execute(c);
      done_.fetch_add(1, std::memory_order_release);
    }
    if (state_ == XA_PLAYER_STATE_PLAYING) {
      Feed();
      Update();
    }
  }
  // Shut down: silence first (which also drops what the filters hold), then free the
  // modules.
  DropQueued();
  CloseOutput();
  for (Filter& f : filters_) {
    if (f.instance && f.table.close) f.table.close(f.instance);
    if (f.library) FreeLibrary(f.library);
  }
  filters_.clear();
  for (OutputModule& m : outputs_) {
    if (m.library) FreeLibrary(m.library);
  }
  outputs_.clear();
  decoder_.Close();
  exited_.store(true);
  if (exitFd_ >= 0) {
    uint64_t one = 1;
    ssize_t written = write(exitFd_, &one, sizeof(one));
    (void)written;
  }
}

void Player::Execute(const Command& c) {
  if (ExecuteCommand(c) || ExecuteSetting(c) || ExecuteQuery(c)) return;
  // Message passing to modules, input filters, further input or codec modules: none of ours
  // takes them.
  Nack(c.code, XA_ERROR_NOT_SUPPORTED);
}

void Player::Ack(int command) {
  PostByte(XA_MSG_NOTIFY_ACK, command);
}

void Player::PostValue(int code, uint32_t value) {
  Note n;
  n.record.w1.value = value;
  Post(code, std::move(n));
}

void Player::PostText(int code, const std::string& text) {
  Note n;
  n.text1 = text;
  Post(code, std::move(n));
}

void Player::PostByte(int code, int value) {
  Note n;
  n.record.w1.bytes[0] = static_cast<uint8_t>(value);
  Post(code, std::move(n));
}

// Commands: transport, input and output, filters and modules.
bool Player::ExecuteCommand(const Command& c) {
  switch (c.code) {
    case XA_MSG_COMMAND_SYNC:
      Ack(c.code);
      break;
    case XA_MSG_COMMAND_PING:
      PostValue(XA_MSG_NOTIFY_PONG, static_cast<uint32_t>(c.i1));
      break;
    case XA_MSG_COMMAND_PLAY:
      Play();
      break;
    case XA_MSG_COMMAND_PAUSE:
      Pause();
      break;
    case XA_MSG_COMMAND_STOP:
      Stop();
      break;
    case XA_MSG_COMMAND_SEEK:
      Seek(c.i1, c.i2);
      break;
    case XA_MSG_COMMAND_INPUT_OPEN:
    case XA_MSG_SET_INPUT_NAME:
      OpenInput(c.s1);
      break;
    case XA_MSG_COMMAND_INPUT_CLOSE:
      CloseInput();
      break;
    case XA_MSG_COMMAND_INPUT_FILTERS_LIST:
      Ack(c.code);  // no input filters: an empty list
      break;
    case XA_MSG_COMMAND_INPUT_MODULE_QUERY:
    case XA_MSG_COMMAND_INPUT_MODULES_LIST:
    case XA_MSG_COMMAND_CODEC_MODULE_QUERY:
    case XA_MSG_COMMAND_CODEC_MODULES_LIST: {
      bool input = c.code == XA_MSG_COMMAND_INPUT_MODULE_QUERY ||
                   c.code == XA_MSG_COMMAND_INPUT_MODULES_LIST;
      bool query = c.code == XA_MSG_COMMAND_INPUT_MODULE_QUERY ||
                   c.code == XA_MSG_COMMAND_CODEC_MODULE_QUERY;
      if (query && c.i1 != 0) {
        Nack(c.code, XA_ERROR_NO_SUCH_MODULE);
        break;
      }
      Note n;
      n.text1 = input ? "file" : "mpeg";
      n.text2 = input ? "File input" : "MPEG audio layers I, II and III";
      Post(input ? XA_MSG_NOTIFY_INPUT_MODULE_INFO : XA_MSG_NOTIFY_CODEC_MODULE_INFO, std::move(n));
      break;
    }
    case XA_MSG_COMMAND_OUTPUT_OPEN:
      if (!SelectDevice(c.s1)) {
        Nack(c.code, XA_ERROR_NO_SUCH_DEVICE);
      } else if (!EnsureOutput()) {
        Nack(c.code, XA_ERROR_NO_OUTPUT);
      }
      break;
    case XA_MSG_COMMAND_OUTPUT_CLOSE:
      if (state_ == XA_PLAYER_STATE_PLAYING) Stop();
      CloseOutput();
      break;
    case XA_MSG_COMMAND_OUTPUT_MUTE:
      muted_ = true;
      ApplyGains();
      break;
    case XA_MSG_COMMAND_OUTPUT_UNMUTE:
      muted_ = false;
      ApplyGains();
      break;
    case XA_MSG_COMMAND_OUTPUT_RESET:
      if (state_ == XA_PLAYER_STATE_PLAYING) {
        int64_t at = static_cast<int64_t>(HeardInputFrame());
        DropQueued();
        StartFrom(at);
      }
      break;
    case XA_MSG_COMMAND_OUTPUT_DRAIN:
      Ack(c.code);
      break;
    case XA_MSG_COMMAND_OUTPUT_ADD_FILTER:
      AddFilter(c.s1, c.i1);
      break;
    case XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER:
      RemoveFilter(c.s1, c.i1);
      break;
    case XA_MSG_COMMAND_OUTPUT_FILTERS_LIST:
      for (const Filter& f : filters_) {
        Note n;
        n.record.w3.id = static_cast<uint8_t>(f.id);
        n.text1 = f.name;
        Post(XA_MSG_NOTIFY_OUTPUT_FILTER_INFO, std::move(n));
      }
      break;
    case XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER:
      RegisterOutputModule(c.s1, c.code);
      break;
    case XA_MSG_COMMAND_OUTPUT_MODULE_QUERY:
      ListOutputModules(c.i1);
      break;
    case XA_MSG_COMMAND_OUTPUT_MODULES_LIST:
      if (outputs_.empty()) RegisterOutputModule(kDefaultOutput, c.code);
      ListOutputModules(-1);
      break;
    default:
      return false;
  }
  return true;
}

// Settings of the player, its input, output and codec.
bool Player::ExecuteSetting(const Command& c) {
  switch (c.code) {
    case XA_MSG_SET_PLAYER_MODE:
      mode_ = c.i1;
      break;
    case XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER:
      if (c.s1 == kPitchVariable) {
        if (c.i1 <= 0) {
          Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
          break;
        }
        SetPitch(c.i1);
      }
      envIntegers_[c.s1] = c.i1;
      break;
    case XA_MSG_SET_PLAYER_ENVIRONMENT_STRING:
      envStrings_[c.s1] = c.s2;
      break;
    case XA_MSG_UNSET_PLAYER_ENVIRONMENT:
      envIntegers_.erase(c.s1);
      envStrings_.erase(c.s1);
      if (c.s1 == kPitchVariable) SetPitch(1000);
      break;
    case XA_MSG_SET_INPUT_MODULE:
      if (c.i1 != 0) Nack(c.code, XA_ERROR_NO_SUCH_MODULE);
      break;
    case XA_MSG_SET_INPUT_POSITION_RANGE:
      if (c.i1 <= 0) {
        Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
      } else {
        range_ = c.i1;
        lastOffset_ = -1;
      }
      break;
    case XA_MSG_SET_INPUT_TIMECODE_GRANULARITY:
      if (c.i1 <= 0) {
        Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
      } else {
        granularity_ = c.i1;
        lastTimecodeIndex_ = -1;
        if (state_ == XA_PLAYER_STATE_PLAYING) {
          lastTimecodeIndex_ = HundredthsOf(HeardInputFrame()) / granularity_;
        }
      }
      break;
    case XA_MSG_SET_OUTPUT_NAME:
      if (!SelectDevice(c.s1)) Nack(c.code, XA_ERROR_NO_SUCH_DEVICE);
      break;
    case XA_MSG_SET_OUTPUT_MODULE:
      if (c.i1 < 0 || c.i1 >= static_cast<int>(outputs_.size())) {
        Nack(c.code, XA_ERROR_NO_SUCH_MODULE);
      } else if (c.i1 != outputModule_) {
        bool playing = state_ == XA_PLAYER_STATE_PLAYING;
        int64_t at = playing ? static_cast<int64_t>(HeardInputFrame()) : 0;
        CloseOutput();
        outputModule_ = c.i1;
        if (playing) {
          if (EnsureOutput()) {
            StartFrom(at);
          } else {
            state_ = XA_PLAYER_STATE_STOPPED;
            PostState();
          }
        }
      }
      break;
    case XA_MSG_SET_OUTPUT_VOLUME:
      // Balance, level; the third value has no meaning here. -1 keeps a value. Any volume
      // ends a cut.
      if (c.i1 != -1) balance_ = std::clamp(c.i1, 0, 100);
      if (c.i2 != -1) level_ = std::clamp(c.i2, 0, 100);
      muted_ = false;
      ApplyGains();
      break;
    case XA_MSG_SET_OUTPUT_CHANNELS:
      // 0: stereo as it is; 3: both channels mixed, the balance alone placing them.
      if (c.i1 != 0 && c.i1 != 3) {
        Nack(c.code, XA_ERROR_NOT_SUPPORTED);
      } else {
        channels_ = c.i1;
        ApplyGains();
      }
      break;
    case XA_MSG_SET_OUTPUT_PORTS:
      ports_ = c.i1;
      break;
    case XA_MSG_SET_CODEC_QUALITY:
      quality_ = c.i1;
      break;
    case XA_MSG_SET_CODEC_EQUALIZER:
      if (!c.hasEqualizer) {
        Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
      } else {
        decoder_.SetEqualizer(c.equalizer);
      }
      break;
    case XA_MSG_SET_NOTIFICATION_MASK:
      mask_ = c.i1;
      break;
    case XA_MSG_SET_DEBUG_LEVEL:
      debugLevel_ = c.i1;
      break;
    default:
      return false;
  }
  return true;
}

// Queries: each answers with the notification that carries the value asked for.
bool Player::ExecuteQuery(const Command& c) {
  switch (c.code) {
    case XA_MSG_GET_PLAYER_MODE:
      PostValue(XA_MSG_NOTIFY_PLAYER_MODE, static_cast<uint32_t>(mode_));
      break;
    case XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER: {
      auto it = envIntegers_.find(c.s1);
      if (it == envIntegers_.end()) {
        Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
        break;
      }
      Note n;
      n.text1 = c.s1;
      n.record.w3.value = it->second;
      Post(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER, std::move(n));
      break;
    }
    case XA_MSG_GET_PLAYER_ENVIRONMENT_STRING: {
      auto it = envStrings_.find(c.s1);
      if (it == envStrings_.end()) {
        Nack(c.code, XA_ERROR_INVALID_PARAMETERS);
        break;
      }
      Note n;
      n.text1 = c.s1;
      n.text2 = it->second;
      Post(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING, std::move(n));
      break;
    }
    case XA_MSG_GET_INPUT_NAME:
      PostText(XA_MSG_NOTIFY_INPUT_NAME, inputName_);
      break;
    case XA_MSG_GET_INPUT_MODULE: {
      Note n;
      n.record.w1.module_id = static_cast<int16_t>(inputModule_);
      Post(XA_MSG_NOTIFY_INPUT_MODULE, std::move(n));
      break;
    }
    case XA_MSG_GET_INPUT_POSITION_RANGE:
      PostValue(XA_MSG_NOTIFY_INPUT_POSITION_RANGE, static_cast<uint32_t>(range_));
      break;
    case XA_MSG_GET_INPUT_TIMECODE_GRANULARITY:
      PostValue(XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY, static_cast<uint32_t>(granularity_));
      break;
    case XA_MSG_GET_OUTPUT_NAME:
      PostText(XA_MSG_NOTIFY_OUTPUT_NAME, outputName_);
      break;
    case XA_MSG_GET_OUTPUT_MODULE: {
      Note n;
      n.record.w1.module_id = static_cast<int16_t>(outputModule_);
      Post(XA_MSG_NOTIFY_OUTPUT_MODULE, std::move(n));
      break;
    }
    case XA_MSG_GET_OUTPUT_VOLUME: {
      Note n;
      n.record.w1.bytes[0] = 100;
      n.record.w1.bytes[1] = static_cast<uint8_t>(level_);
      n.record.w1.bytes[2] = static_cast<uint8_t>(balance_);
      Post(XA_MSG_NOTIFY_OUTPUT_VOLUME, std::move(n));
      break;
    }
    case XA_MSG_GET_OUTPUT_CHANNELS:
      PostByte(XA_MSG_NOTIFY_OUTPUT_CHANNELS, channels_);
      break;
    case XA_MSG_GET_OUTPUT_PORTS:
      PostByte(XA_MSG_NOTIFY_OUTPUT_PORTS, ports_);
      break;
    case XA_MSG_GET_CODEC_QUALITY:
      PostByte(XA_MSG_NOTIFY_CODEC_QUALITY, quality_);
      break;
    case XA_MSG_GET_CODEC_EQUALIZER: {
      Note n;
      n.equalizer = decoder_.Equalizer();
      Post(XA_MSG_NOTIFY_CODEC_EQUALIZER, std::move(n));
      break;
    }
    case XA_MSG_GET_NOTIFICATION_MASK:
      PostValue(XA_MSG_NOTIFY_NOTIFICATION_MASK, static_cast<uint32_t>(mask_));
      break;
    case XA_MSG_GET_DEBUG_LEVEL:
      PostByte(XA_MSG_NOTIFY_DEBUG_LEVEL, debugLevel_);
      break;
    default:
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Input

void Player::OpenInput(const std::string& name) {
  const bool wasOpen = decoder_.IsOpen();
  CloseInput();
  std::string why;
  int rc = decoder_.Open(ToLinuxPath(name), &why);
  if (rc != XA_SUCCESS) {
    PostError(XA_SOURCE_INPUT, rc, "Cannot play " + name + ": " + why);
    Nack(XA_MSG_COMMAND_INPUT_OPEN, rc);
    // Whatever was open before is gone too: a failed open always ends with the input
    // closed, so a window can tell that nothing is loaded.
    if (!wasOpen) PostInputClosed();
    return;
  }
  inputName_ = name;
  resumeFrame_ = 0;
  lastOffset_ = -1;
  PostByte(XA_MSG_NOTIFY_INPUT_STATE, XA_IO_STATE_OPEN);
  PostText(XA_MSG_NOTIFY_INPUT_NAME, name);
  PostText(XA_MSG_NOTIFY_STREAM_MIME_TYPE, "audio/mpeg");
  {
    Note n;
    n.record.w1.value = decoder_.Rate();
    n.record.w2.stream.bitrate = static_cast<int16_t>(decoder_.BitrateKbps());
    n.record.w2.stream.nb_channels = static_cast<uint8_t>(decoder_.Channels());
    Post(XA_MSG_NOTIFY_STREAM_PARAMETERS, std::move(n));
  }
  {
    Note n;
    int64_t len = decoder_.LengthFrames();
    n.record.w1.value = len > 0 ? static_cast<uint32_t>(len / decoder_.Rate()) : 0;
    Post(XA_MSG_NOTIFY_STREAM_DURATION, std::move(n));
  }
  PostPosition(0);
  PostTimecode(0);
  state_ = XA_PLAYER_STATE_STOPPED;
  PostState();
}

void Player::CloseInput() {
  if (!decoder_.IsOpen()) return;
  if (state_ != XA_PLAYER_STATE_STOPPED) {
    DropQueued();
    state_ = XA_PLAYER_STATE_STOPPED;
    PostState();
  }
  decoder_.Close();
  inputName_.clear();
  PostInputClosed();
}

void Player::PostInputClosed() {
  Note n;
  n.record.w1.bytes[0] = XA_IO_STATE_CLOSED;
  Post(XA_MSG_NOTIFY_INPUT_STATE, std::move(n));
}

// ---------------------------------------------------------------------------------------
// Transport

void Player::Play() {
  if (!decoder_.IsOpen()) {
    Nack(XA_MSG_COMMAND_PLAY, XA_ERROR_NO_INPUT);
    return;
  }
  if (state_ == XA_PLAYER_STATE_PLAYING) return;
  if (!EnsureOutput()) {
    Nack(XA_MSG_COMMAND_PLAY, XA_ERROR_NO_OUTPUT);
    return;
  }
  StartFrom(resumeFrame_);
  state_ = XA_PLAYER_STATE_PLAYING;
  PostState();
  SetActive(true);
  Feed();
}

void Player::Pause() {
  if (state_ != XA_PLAYER_STATE_PLAYING) return;
  Update();
  if (state_ != XA_PLAYER_STATE_PLAYING) return;
  // Whatever is queued but unheard is dropped and decoded again on resume, so the pause is
  // heard at once and resumes exactly where it was heard.
  resumeFrame_ = static_cast<int64_t>(HeardInputFrame());
  DropQueued();
  state_ = XA_PLAYER_STATE_PAUSED;
  PostState();
}

void Player::Stop() {
  DropQueued();
  resumeFrame_ = 0;
  lastOffset_ = -1;
  // The time shown goes back with the position, not at the next play.
  if (decoder_.IsOpen()) PostTimecode(0);
  if (state_ != XA_PLAYER_STATE_STOPPED) {
    state_ = XA_PLAYER_STATE_STOPPED;
    PostState();
  }
}

void Player::Seek(int offset, int range) {
  if (!decoder_.IsOpen()) {
    Nack(XA_MSG_COMMAND_SEEK, XA_ERROR_NO_INPUT);
    return;
  }
  int64_t len = decoder_.LengthFrames();
  if (range <= 0 || offset < 0 || len <= 0) {
    Nack(XA_MSG_COMMAND_SEEK, XA_ERROR_INVALID_PARAMETERS);
    return;
  }
  int64_t frame = std::min<int64_t>(len, len * offset / range);
  if (state_ == XA_PLAYER_STATE_PLAYING) {
    DropQueued();
    StartFrom(frame);
    Feed();
  } else {
    resumeFrame_ = frame;
    lastOffset_ = OffsetOf(static_cast<double>(frame));
    PostPosition(static_cast<uint32_t>(lastOffset_));
    PostTimecode(HundredthsOf(static_cast<double>(frame)));
  }
}

void Player::SetPitch(int perMille) {
  pitch_ = perMille;
  if (state_ == XA_PLAYER_STATE_PLAYING) {
    speed_.Configure(decoder_.Rate(), deviceRate_, pitch_);
    // The lookahead now plays at the new speed: what the filters have not reported yet is
    // heard sooner or later than they were told.
    RetimeFilters();
  }
}

// ---------------------------------------------------------------------------------------
// Modules

namespace {

// The engine calls every entry of an output module's table without looking again, so a
// module that leaves one out is refused when it registers.
bool HasEveryEntry(const XA_OutputModule& t) {
  return t.device_count && t.device_info && t.voice_open && t.voice_close && t.voice_writable &&
         t.voice_target_fill && t.voice_write && t.voice_flush && t.voice_written &&
         t.voice_heard && t.voice_frame_time && t.voice_set_gains && t.voice_set_active;
}

}  // namespace

void Player::RegisterOutputModule(const std::string& name, int command) {
  for (size_t i = 0; i < outputs_.size(); ++i) {
    if (outputs_[i].name == name) return;
  }
  std::string entry, file;
  OutputModule m;
  m.name = name;
  m.table.size = sizeof(XA_OutputModule);
  if (!SplitModuleName(name, &entry, &file)) {
    Nack(command, XA_ERROR_INVALID_PARAMETERS);
    return;
  }
  m.library = LoadLibraryA(file.c_str());
  auto reg =
      m.library
          ? reinterpret_cast<XA_OutputModuleRegisterFn>(GetProcAddress(m.library, entry.c_str()))
          : nullptr;
  if (!reg || reg(&m.table) != 0 || !HasEveryEntry(m.table)) {
    if (m.library) FreeLibrary(m.library);
    PostError(XA_SOURCE_OUTPUT, XA_ERROR_NO_SUCH_MODULE, "Cannot load output module " + name);
    Nack(command, XA_ERROR_NO_SUCH_MODULE);
    return;
  }
  outputs_.push_back(std::move(m));
  if (outputModule_ < 0) outputModule_ = 0;
}

void Player::ListOutputModules(int onlyId) {
  for (size_t id = 0; id < outputs_.size(); ++id) {
    if (onlyId >= 0 && static_cast<int>(id) != onlyId) continue;
    const XA_OutputModule& t = outputs_[id].table;
    int count = t.device_count();
    {
      Note n;
      n.record.w1.module_info.id = static_cast<uint8_t>(id);
      n.record.w1.module_info.nb_devices = static_cast<uint8_t>(count);
      n.text1 = t.name ? t.name : "";
      n.text2 = t.description ? t.description : "";
      Post(XA_MSG_NOTIFY_OUTPUT_MODULE_INFO, std::move(n));
    }
    for (int d = 0; d < count; ++d) {
      char name[256] = {}, desc[256] = {};
      if (t.device_info(d, name, sizeof(name), desc, sizeof(desc)) != 0) continue;
      Note n;
      n.record.w1.device_info.module_id = static_cast<uint8_t>(id);
      n.record.w1.device_info.index = static_cast<uint8_t>(d);
      n.text1 = name;
      n.text2 = desc;
      Post(XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO, std::move(n));
    }
  }
  if (onlyId >= static_cast<int>(outputs_.size()))
    Nack(XA_MSG_COMMAND_OUTPUT_MODULE_QUERY, XA_ERROR_NO_SUCH_MODULE);
}

void Player::AddFilter(const std::string& name, int where) {
  std::string entry, file;
  Filter f;
  f.name = name;
  f.table.size = sizeof(XA_FilterModule);
  if (!SplitModuleName(name, &entry, &file)) {
    Nack(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, XA_ERROR_INVALID_PARAMETERS);
    return;
  }
  f.library = LoadLibraryA(file.c_str());
  auto reg =
      f.library
          ? reinterpret_cast<XA_FilterModuleRegisterFn>(GetProcAddress(f.library, entry.c_str()))
          : nullptr;
  if (!reg || reg(&f.table) != 0 || !f.table.open || !f.table.process ||
      !(f.instance = f.table.open(&filterHost_))) {
    if (f.library) FreeLibrary(f.library);
    PostError(XA_SOURCE_OUTPUT, XA_ERROR_NO_SUCH_MODULE, "Cannot load output filter " + name);
    Nack(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, XA_ERROR_NO_SUCH_MODULE);
    return;
  }
  f.id = nextFilterId_++;
  // A filter added while playing sees the audio from the next decoded block on, at the
  // speed it is played.
  if (state_ == XA_PLAYER_STATE_PLAYING && voice_ && f.table.timing)
    f.table.timing(f.instance, HeardNsOf(aheadEnd_), pitch_);
  size_t at = where <= 0 ? 0 : std::min<size_t>(static_cast<size_t>(where), filters_.size());
  filters_.insert(filters_.begin() + static_cast<std::ptrdiff_t>(at), std::move(f));
}

void Player::RemoveFilter(const std::string& name, int id) {
  for (auto it = filters_.begin(); it != filters_.end(); ++it) {
    if ((id > 0 && it->id == id) || (id <= 0 && it->name == name)) {
      if (it->instance && it->table.close) it->table.close(it->instance);
      if (it->library) FreeLibrary(it->library);
      filters_.erase(it);
      return;
    }
  }
  Nack(XA_MSG_COMMAND_OUTPUT_REMOVE_FILTER, XA_ERROR_INVALID_PARAMETERS);
}

bool Player::SelectDevice(const std::string& name) {
  static const std::string kPrefix = "/dev/dsound/";
  int device = 0;
  if (name.empty()) {
    device = 0;
  } else if (name.compare(0, kPrefix.size(), kPrefix) == 0 && name.size() > kPrefix.size() &&
             name.size() < kPrefix.size() + 4 &&
             name.find_first_not_of("0123456789", kPrefix.size()) == std::string::npos) {
    device = std::stoi(name.substr(kPrefix.size()));
  } else {
    return false;
  }
  outputName_ = name.empty() ? kPrefix + "0" : name;
  if (device == device_ && voice_) return true;
  device_ = device;
  if (voice_) {
    bool playing = state_ == XA_PLAYER_STATE_PLAYING;
    int64_t at = playing ? static_cast<int64_t>(HeardInputFrame()) : 0;
    CloseOutput();
    if (playing) {
      if (EnsureOutput()) {
        StartFrom(at);
      } else {
        state_ = XA_PLAYER_STATE_STOPPED;
        PostState();
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Output

bool Player::EnsureOutput() {
  if (voice_) return true;
  if (outputs_.empty()) RegisterOutputModule(kDefaultOutput, XA_MSG_COMMAND_OUTPUT_OPEN);
  if (outputModule_ < 0 || outputModule_ >= static_cast<int>(outputs_.size())) return false;
  const XA_OutputModule& t = outputs_[outputModule_].table;
  uint32_t rate = 0;
  voice_ = t.voice_open(device_, &rate);
  if (!voice_) {
    PostError(XA_SOURCE_OUTPUT, XA_ERROR_NO_SUCH_DEVICE, "Cannot open output " + outputName_);
    return false;
  }
  deviceRate_ = rate ? rate : 44100;
  Note n;
  n.record.w1.bytes[0] = XA_IO_STATE_OPEN;
  Post(XA_MSG_NOTIFY_OUTPUT_STATE, std::move(n));
  ApplyGains();
  return true;
}

void Player::CloseOutput() {
  if (!voice_) return;
  for (Filter& f : filters_) {
    if (f.table.reset) f.table.reset(f.instance);
  }
  outputs_[outputModule_].table.voice_close(voice_);
  voice_ = nullptr;
  markers_.clear();
  Note n;
  n.record.w1.bytes[0] = XA_IO_STATE_CLOSED;
  Post(XA_MSG_NOTIFY_OUTPUT_STATE, std::move(n));
}

void Player::ApplyGains() {
  if (!voice_) return;
  float g = muted_ ? 0.0f : level_ / 100.0f;
  float left = std::min(1.0f, (100 - balance_) / 50.0f) * g;
  float right = std::min(1.0f, balance_ / 50.0f) * g;
  const XA_OutputModule& t = outputs_[outputModule_].table;
  if (channels_ == 3) {
    t.voice_set_gains(voice_, 0.5f * left, 0.5f * left, 0.5f * right, 0.5f * right);
  } else {
    t.voice_set_gains(voice_, left, 0.0f, 0.0f, right);
  }
}

void Player::SetActive(bool active) {
  if (voice_) outputs_[outputModule_].table.voice_set_active(voice_, active ? 1 : 0);
}

void Player::DropQueued() {
  SetActive(false);
  if (voice_) outputs_[outputModule_].table.voice_flush(voice_);
  for (Filter& f : filters_) {
    if (f.table.reset) f.table.reset(f.instance);
  }
  markers_.clear();
  ClearAhead();
  decodeEnded_ = allWritten_ = false;
}

void Player::StartFrom(int64_t inputFrame) {
  int64_t at = decoder_.Seek(inputFrame);
  if (at < 0) at = 0;
  speed_.Configure(decoder_.Rate(), deviceRate_, pitch_);
  speed_.Reset(at);
  markers_.clear();
  decodeEnded_ = allWritten_ = false;
  ClearAhead();
  aheadEnd_ = at;
  lastInEnd_ = static_cast<double>(at);
  for (Filter& f : filters_) {
    if (f.table.reset) f.table.reset(f.instance);
  }
  RetimeFilters();
  uint64_t written = voice_ ? outputs_[outputModule_].table.voice_written(voice_) : 0;
  markers_.push_back({written, static_cast<double>(at), 0.0});
  // The next timecode is the first multiple of the granularity at or after this position.
  int64_t h = HundredthsOf(static_cast<double>(at));
  lastTimecodeIndex_ = (h + granularity_ - 1) / granularity_ - 1;
  lastOffset_ = -1;
  SetActive(true);
}

void Player::FillAhead() {
  uint32_t rate = std::max<uint32_t>(1, decoder_.Rate());
  size_t target =
      std::min(static_cast<size_t>(rate * kAheadSeconds), kAheadCapacity - kDecodeFrames);
  std::string why;
  while (!decodeEnded_ && AheadFrames() < target) {
    long n = decoder_.Read(decodeBuffer_.data(), static_cast<long>(kDecodeFrames), &why);
    if (n <= 0) {
      if (n < 0) PostError(XA_SOURCE_CODEC, static_cast<int>(n), why);
      decodeEnded_ = true;
      // The end of the stream, as a block of no frames: what a filter holds back for the
      // audio after it can go out now.
      int64_t heardNs = HeardNsOf(aheadEnd_);
      for (Filter& f : filters_)
        f.table.process(f.instance, decodeBuffer_.data(), 0, decoder_.Rate(), heardNs);
      break;
    }
    size_t count = static_cast<size_t>(n);
    int64_t heardNs = HeardNsOf(aheadEnd_);
    for (Filter& f : filters_)
      f.table.process(f.instance, decodeBuffer_.data(), static_cast<uint32_t>(count),
                      decoder_.Rate(), heardNs);
    ahead_.Write(decodeBuffer_.data(), count * 2);  // the target leaves room for a block
    aheadEnd_ += static_cast<int64_t>(count);
  }
}

int64_t Player::HeardNsOf(int64_t inputFrame) {
  const XA_OutputModule& t = outputs_[outputModule_].table;
  // Input frames per voice frame at the current speed: the speed stage plays whatever is in
  // the lookahead at the speed of the moment.
  double step =
      static_cast<double>(std::max<uint32_t>(1, decoder_.Rate())) * pitch_ / (1000.0 * deviceRate_);
  double after = std::max(0.0, (static_cast<double>(inputFrame) - lastInEnd_) / step);
  return t.voice_frame_time(voice_, t.voice_written(voice_) + static_cast<uint64_t>(after + 0.5));
}

void Player::RetimeFilters() {
  if (!voice_) return;
  int64_t ns = HeardNsOf(aheadEnd_);
  for (Filter& f : filters_) {
    if (f.table.timing) f.table.timing(f.instance, ns, pitch_);
  }
}

size_t Player::Produce(float* out, size_t frames, double* inStart, double* inEnd) {
  while (speed_.Buffered() < frames * 2 + 64) {
    if (AheadFrames() == 0) FillAhead();
    size_t have = AheadFrames();
    if (have == 0) break;
    const float* run = nullptr;
    const size_t n = std::min({have, ahead_.ReadableRun(&run) / 2, kDecodeFrames});
    speed_.Push(run, n);
    ahead_.Drop(n * 2);
  }
  return speed_.Pull(out, frames, inStart, inEnd, decodeEnded_ && AheadFrames() == 0);
}

void Player::Feed() {
  if (!voice_ || allWritten_) return;
  const XA_OutputModule& t = outputs_[outputModule_].table;
  uint32_t target = t.voice_target_fill(voice_);
  for (int guard = 0; guard < 4096; ++guard) {
    uint64_t written = t.voice_written(voice_);
    uint64_t heard = t.voice_heard(voice_);
    uint64_t queued = written > heard ? written - heard : 0;
    if (queued >= target) break;
    uint32_t writable = t.voice_writable(voice_);
    size_t want = std::min<size_t>({kChunkFrames, writable, static_cast<size_t>(target - queued)});
    if (want < 64 && queued > 0) break;
    if (want == 0) break;
    double a = 0, b = 0;
    size_t n = Produce(outBuffer_.data(), want, &a, &b);
    if (n == 0) {
      if (decodeEnded_ && AheadFrames() == 0) {
        allWritten_ = true;
        endVoiceFrame_ = written;
      }
      break;
    }
    t.voice_write(voice_, outBuffer_.data(), static_cast<uint32_t>(n));
    markers_.push_back({written, a, (b - a) / static_cast<double>(n)});
    lastInEnd_ = b;
  }
  // Topped up after the voice, which cannot wait; the filters see the new audio now.
  FillAhead();
  // The prediction made when playing started could only guess when the device would take
  // the first frame; from the device's own timing of what it has played it is exact, so
  // the filters get it afresh with every top-up.
  if (state_ == XA_PLAYER_STATE_PLAYING) RetimeFilters();
}

double Player::HeardInputFrame() {
  if (!voice_ || markers_.empty()) return static_cast<double>(resumeFrame_);
  uint64_t heard = outputs_[outputModule_].table.voice_heard(voice_);
  while (markers_.size() > 1 && markers_[1].voiceFrame <= heard) markers_.pop_front();
  const Marker& m = markers_.front();
  if (heard < m.voiceFrame) return m.inputFrame;
  double f = m.inputFrame + static_cast<double>(heard - m.voiceFrame) * m.step;
  // Measured from the last marker at or before the heard frame, at that block's step.
  return f;
}

double Player::VoiceFrameOf(double inputFrame) const {
  // Markers are in input order: the last one at or before the frame times it.
  const Marker* at = nullptr;
  for (const Marker& m : markers_) {
    if (m.inputFrame > inputFrame) break;
    at = &m;
  }
  if (!at || at->step <= 0) return -1;
  return static_cast<double>(at->voiceFrame) + (inputFrame - at->inputFrame) / at->step;
}

std::chrono::nanoseconds Player::PlayingWait() {
  // Never longer than a position that is not yet written to the voice may take to be
  // heard, never so short that a device's coarse count of heard frames makes it spin.
  constexpr int64_t kMinNs = 2000000, kMaxNs = 20000000;
  if (!voice_ || !decoder_.IsOpen() || markers_.empty()) return std::chrono::nanoseconds(kMinNs);
  const XA_OutputModule& t = outputs_[outputModule_].table;
  const int64_t now = kazout::MonotonicNs();
  int64_t due = now + kMaxNs;
  // The voice is topped up when a quarter of what it should hold has been played.
  const uint64_t written = t.voice_written(voice_), heard = t.voice_heard(voice_);
  const uint64_t queued = written > heard ? written - heard : 0;
  const uint64_t target = t.voice_target_fill(voice_);
  if (!allWritten_) {
    const uint64_t low = target - target / 4;
    if (queued <= low) return std::chrono::nanoseconds(kMinNs);
    due = std::min(due, t.voice_frame_time(voice_, heard + (queued - low)));
  } else {
    due = std::min(due, t.voice_frame_time(voice_, endVoiceFrame_));
  }
  // The next timecode and the next position step, when they are heard.
  const double next[] = {
      FrameOfHundredths(static_cast<double>(lastTimecodeIndex_ + 1) * granularity_),
      decoder_.LengthFrames() > 0 && range_ > 0 ? FrameOfOffset(static_cast<double>(lastOffset_ + 1))
                                                : -1};
  for (double in : next) {
    if (in < 0) continue;
    const double v = VoiceFrameOf(in);
    // Heard once the frame after it is: frames below the heard count have been heard.
    if (v >= 0 && v < static_cast<double>(written))
      due = std::min(due, t.voice_frame_time(voice_, static_cast<uint64_t>(std::ceil(v)) + 1));
  }
  return std::chrono::nanoseconds(std::clamp<int64_t>(due - now, kMinNs, kMaxNs));
}

int64_t Player::HundredthsOf(double inputFrame) const {
  return static_cast<int64_t>(inputFrame * 100.0 / std::max<uint32_t>(1, decoder_.Rate()));
}

double Player::FrameOfHundredths(double hundredths) const {
  return hundredths * std::max<uint32_t>(1, decoder_.Rate()) / 100.0;
}

int64_t Player::OffsetOf(double inputFrame) const {
  const double len = static_cast<double>(decoder_.LengthFrames());
  return std::min<int64_t>(range_, static_cast<int64_t>(inputFrame * range_ / len));
}

double Player::FrameOfOffset(double offset) const {
  return offset * static_cast<double>(decoder_.LengthFrames()) / range_;
}

void Player::Update() {
  if (!voice_ || !decoder_.IsOpen()) return;
  uint32_t rate = std::max<uint32_t>(1, decoder_.Rate());
  int64_t len = decoder_.LengthFrames();
  double f = HeardInputFrame();
  const XA_OutputModule& t = outputs_[outputModule_].table;
  bool ended = allWritten_ && t.voice_heard(voice_) >= endVoiceFrame_;
  // The end of a whole stream is its length exactly; a stream cut short by a decoding error
  // ends where it was cut.
  if (ended && len > 0 && f > len - 0.5 * rate) f = std::max(f, static_cast<double>(len));

  int64_t index = HundredthsOf(f) / granularity_;
  // Every multiple crossed goes out, however many were crossed since the last look.
  for (int64_t k = std::max(lastTimecodeIndex_ + 1, index - 100000); k <= index; ++k)
    PostTimecode(k * granularity_);
  if (index > lastTimecodeIndex_) lastTimecodeIndex_ = index;

  if (len > 0) {
    int64_t offset = OffsetOf(f);
    if (offset != lastOffset_) {
      PostPosition(static_cast<uint32_t>(offset));
      lastOffset_ = offset;
    }
  }
  if (ended) {
    SetActive(false);
    markers_.clear();
    resumeFrame_ = 0;
    state_ = XA_PLAYER_STATE_EOS;
    PostState();
  }
}

}  // namespace xaudio
