// One engine player: a thread that carries out the numbered commands in the order they
// were sent, decodes (with the equalizer), runs the output filters, keeps about a second of
// that audio in a lookahead, changes its speed and feeds its voice on the output device,
// and posts notifications to the player's window.
//
// The speed change comes after the lookahead so that pitch changes are heard at once while
// the filters see the audio a second before it is heard; the equalizer, which works in the
// decoder, is a second ahead of what is heard.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/SpscRing.h"
#include "xaudio/Decoder.h"
#include "xaudio/Speed.h"
#include "xaudio/xaudio.h"
#include "xaudio/xaudio_modules.h"

namespace xaudio {

struct Command {
  Command() = default;
  explicit Command(int c) : code(c) {}
  int code = 0;
  std::string s1, s2;
  int i1 = 0, i2 = 0, i3 = 0, i4 = 0;
  bool hasEqualizer = false;
  XA_EqualizerInfo equalizer{};
};

class Player {
 public:
  // `hwnd` is the address of the window-handle field of the caller; it is read each time a
  // notification goes out.
  explicit Player(HWND* hwnd);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Any thread: queues a command for the player thread. The command counts as given from
  // now on, on the calling thread (see XA_FilterHost).
  int Send(Command command);
  // The window's thread: fills `out` when the message is one of this player's
  // notifications and answers 0; otherwise non-zero. See xaudio.h for text lifetimes.
  int Decode(XA_Message* out, UINT msg, WPARAM wParam, LPARAM lParam);

  void SetPriority(int priority) { priority_ = priority; }
  int Priority() const { return priority_; }

 private:
  // A notification waiting in the window's queue; owns the texts its record points to.
  struct Note {
    XA_Message record{};
    std::string text1, text2;
    XA_EqualizerInfo equalizer{};
  };
  struct OutputModule {
    std::string name;
    void* library = nullptr;
    XA_OutputModule table{};
  };
  struct Filter {
    std::string name;
    int id = 0;
    void* library = nullptr;
    XA_FilterModule table{};
    void* instance = nullptr;
  };
  // Voice frame `voiceFrame` is input frame `inputFrame`; later frames advance by `step`.
  struct Marker {
    uint64_t voiceFrame;
    double inputFrame;
    double step;
  };

  void Run();
  void Execute(const Command& c);
  // Each carries out a message of its kind and answers whether it was one.
  bool ExecuteCommand(const Command& c);
  bool ExecuteSetting(const Command& c);
  bool ExecuteQuery(const Command& c);
  void Ack(int command);
  void PostValue(int code, uint32_t value);
  void PostByte(int code, int value);
  void PostText(int code, const std::string& text);
  void Post(int code, Note note);
  void PostError(uint8_t source, int code, const std::string& text);
  void Nack(int command, int code);
  void PostState();
  void PostPosition(uint32_t offset);
  void PostTimecode(int64_t hundredths);
  void PostInputClosed();

  // Commands.
  void OpenInput(const std::string& name);
  void CloseInput();
  void Play();
  void Pause();
  void Stop();
  void Seek(int offset, int range);
  void SetPitch(int perMille);
  // The filters' XA_FilterHost::commands_pending. Any thread.
  static int CommandsPending(void* player);
  void RegisterOutputModule(const std::string& name, int command);
  void AddFilter(const std::string& name, int where);
  void RemoveFilter(const std::string& name, int id);
  void ListOutputModules(int onlyId);
  bool SelectDevice(const std::string& name);

  // Playback.
  bool EnsureOutput();
  void CloseOutput();
  void ApplyGains();
  void StartFrom(int64_t inputFrame);
  void DropQueued();
  void Feed();
  void FillAhead();
  size_t AheadFrames() const { return ahead_.Readable() / 2; }
  void ClearAhead() { ahead_.Drop(ahead_.Readable()); }
  int64_t HeardNsOf(int64_t inputFrame);
  void RetimeFilters();
  size_t Produce(float* out, size_t frames, double* inStart, double* inEnd);
  void Update();
  // How long the thread may sleep while playing before the voice needs audio or the next
  // notification is heard (commands wake it earlier).
  std::chrono::nanoseconds PlayingWait();
  // The voice frame that plays input frame `inputFrame`, by the markers; -1 when they do
  // not reach back to it.
  double VoiceFrameOf(double inputFrame) const;
  // Input frames and hundredths of a second of the stream, both ways.
  int64_t HundredthsOf(double inputFrame) const;
  double FrameOfHundredths(double hundredths) const;
  // Input frames and position steps (0..range_) of a stream of known length, both ways.
  int64_t OffsetOf(double inputFrame) const;
  double FrameOfOffset(double offset) const;
  double HeardInputFrame();
  void SetActive(bool active);

  HWND* hwnd_;
  uint64_t id_;
  std::atomic<int> priority_{3};

  std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::deque<Command> queue_;
  bool quit_ = false;
  // Commands given (by Send, before they are queued) and carried out (by the player
  // thread, after each has had its effect), for the filters to ask.
  std::atomic<uint32_t> given_{0};
  std::atomic<uint32_t> done_{0};
  const XA_FilterHost filterHost_{this, &Player::CommandsPending};

  std::mutex notesMutex_;
  std::map<uint64_t, std::unique_ptr<Note>> pending_;
  std::unique_ptr<Note> current_;
  uint64_t nextSeq_ = 1;

  // Player thread only from here on.
  Decoder decoder_;
  Speed speed_;
  std::vector<OutputModule> outputs_;
  int outputModule_ = -1;
  void* voice_ = nullptr;
  int device_ = 0;
  std::string outputName_ = "/dev/dsound/0";
  uint32_t deviceRate_ = 44100;
  std::vector<Filter> filters_;
  int nextFilterId_ = 1;
  std::map<std::string, int> envIntegers_;
  std::map<std::string, std::string> envStrings_;

  int state_ = XA_PLAYER_STATE_STOPPED;
  std::string inputName_;
  int pitch_ = 1000;
  int range_ = 1000;
  int granularity_ = 100;
  int balance_ = 50, level_ = 100, channels_ = 0;
  bool muted_ = false;
  int quality_ = 0, mode_ = 0, mask_ = -1, debugLevel_ = 0, ports_ = 0;
  int inputModule_ = 0;

  int64_t resumeFrame_ = 0;
  std::deque<Marker> markers_;
  bool decodeEnded_ = false;
  bool allWritten_ = false;
  uint64_t endVoiceFrame_ = 0;
  int64_t lastTimecodeIndex_ = -1;
  int64_t lastOffset_ = -1;
  std::vector<float> decodeBuffer_;
  std::vector<float> outBuffer_;
  // The lookahead: filtered audio at the stream's rate waiting for the speed stage, as
  // interleaved stereo samples (the player thread is both its ends). aheadEnd_ is the
  // input frame that the next frame decoded into it is; lastInEnd_ the input frame that the
  // next frame written to the voice sounds like.
  kazout::SpscRing<float> ahead_;
  int64_t aheadEnd_ = 0;
  double lastInEnd_ = 0;

  // Signalled by the player thread when it has finished (see ~Player).
  int exitFd_ = -1;
  std::atomic<bool> exited_{false};
  std::thread thread_;
};

}  // namespace xaudio
