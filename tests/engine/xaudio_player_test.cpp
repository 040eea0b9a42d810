// The deck component against test engines that log every call: loading and its failures,
// the priority, the commands with their senders and arguments, and the notifications as
// they become events.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FakeXaudio.h"
#include "engine/XaudioPlayer.h"
#include "win32/Messages.h"

// ---------------------------------------------------------------------------------------
// The call log. A plain buffer: the test engines may still log while the program ends.

namespace {
char log_text[1 << 16];
std::size_t log_length = 0;
HWND started_window = 0;
}  // namespace

extern "C" {
__attribute__((visibility("default"))) void fake_xaudio_log(const char* line) {
  std::size_t n = std::strlen(line);
  if (log_length + n + 1 >= sizeof log_text) return;
  std::memcpy(log_text + log_length, line, n);
  log_length += n;
  log_text[log_length++] = '\n';
}
__attribute__((visibility("default"))) void fake_xaudio_started(void**, HWND* window) {
  started_window = *window;
}
}

namespace {

std::vector<std::string> Log() {
  std::vector<std::string> lines;
  std::istringstream in(std::string(log_text, log_length));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void ClearLog() {
  log_length = 0;
  started_window = 0;
}

using Lines = std::vector<std::string>;

// The message of the EXaudioException that `f` raises.
std::string Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const EXaudioException& e) {
    return e.Message();
  }
  return "<nothing raised>";
}

std::string Ptr(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

class XaudioPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearLog(); }

  std::unique_ptr<TXaudioPlayer> Make(const String& path) {
    auto x = std::make_unique<TXaudioPlayer>(nullptr);
    x->SetXaudioPath(path);
    return x;
  }
};

// ---------------------------------------------------------------------------------------
// Loading and life cycle

TEST_F(XaudioPlayerTest, LoadsAtTheFirstCommandOnlyAndDeletesThePlayerSafely) {
  {
    TXaudioPlayer idle(nullptr);
    EXPECT_EQ(idle.XaudioPath(), "xaudio.dll");
    EXPECT_EQ(idle.Priority(), 3u);
  }
  auto x = Make("xaudio_rec.dll");
  EXPECT_EQ(x->GetVersion(2), 0u);
  EXPECT_EQ(Log(), Lines{}) << "nothing loads before the first command";

  EXPECT_EQ(x->Play(), 1004);
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "N 4"}));
  EXPECT_EQ(x->Stop(), 1006);
  EXPECT_EQ(Log().back(), "N 6");
  EXPECT_EQ(Log().size(), 5u) << "a running player is started once";

  // The noise around the version bytes is the engine's business; the word goes through.
  EXPECT_EQ(x->GetVersion(255), 0xFF030811u);
  EXPECT_EQ(Log().back(), "version 255");

  ClearLog();
  x.reset();
  EXPECT_EQ(Log(), (Lines{"delete field=empty window=alive", "delete end", "unload"}))
      << "nothing may decode with the handle being deleted, and the window outlives it";
}

TEST_F(XaudioPlayerTest, MissingLibraryRaisesAtEveryCommandUntilItCanBeLoaded) {
  auto x = Make("xaudio_missing.dll");
  EXPECT_EQ(Raised([&] { x->Play(); }), "Cannot Load Xaudio DLL (xaudio_missing.dll)");
  EXPECT_EQ(Raised([&] { x->ErrorString(0); }), "Cannot Load Xaudio DLL (xaudio_missing.dll)");
  EXPECT_EQ(x->GetVersion(2), 0u);
  x->SetXaudioPath("xaudio_rec.dll");
  EXPECT_EQ(x->Pause(), 1005);
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "N 5"}));
}

TEST_F(XaudioPlayerTest, MissingEntryPointFreesTheLibraryAndTheNextCommandLoadsAgain) {
  auto x = Make("xaudio_nosym.dll");
  const std::string message = "Cannot Find Symbol control_message_send_III in Xaudio DLL";
  EXPECT_EQ(Raised([&] { x->Play(); }), message);
  EXPECT_EQ(Log(), (Lines{"load", "unload"}));
  EXPECT_EQ(Raised([&] { x->SetOutputVolume(-1, 40, -1); }), message);
  EXPECT_EQ(Log(), (Lines{"load", "unload", "load", "unload"}));
}

TEST_F(XaudioPlayerTest, OtherVersionStaysLoadedAndFailsAgainWithoutReloading) {
  auto x = Make("xaudio37.dll");
  const std::string message = "Xaudio DLL API Mismatch\rExpected 3.8, Got 3.7";
  EXPECT_EQ(Raised([&] { x->Play(); }), message);
  EXPECT_EQ(Raised([&] { x->InputOpen("x.mp3"); }), message);
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "version 2"}));
  EXPECT_EQ(x->GetVersion(2), 0u);
  ClearLog();
  x.reset();
  EXPECT_EQ(Log(), Lines{"unload"});
}

TEST_F(XaudioPlayerTest, FailedStartLeavesNoPlayerEvenWhenTheEngineWroteOne) {
  auto x = Make("xaudio_fail.dll");
  bool heard = false;
  x->OnNotifyMessage = [&](TObject*, XA_Message&) { heard = true; };
  EXPECT_EQ(Raised([&] { x->Play(); }), "Cannot Start Xaudio Player");
  EXPECT_EQ(Raised([&] { x->Play(); }), "Cannot Start Xaudio Player");
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "version 2", "new window=ok"}));
  EXPECT_EQ(x->GetVersion(2), 0u);

  // Without a player no message reaches the decoder, so no event fires.
  ASSERT_NE(started_window, 0u);
  XA_Message m{};
  m.code = XA_MSG_NOTIFY_READY;
  EXPECT_EQ(SendMessageA(started_window, XA_WM_NOTIFY, reinterpret_cast<WPARAM>(&m), kStagedRecord),
            0);
  EXPECT_FALSE(heard);

  ClearLog();
  x.reset();
  EXPECT_EQ(Log(), Lines{"unload"}) << "no player to delete";
}

TEST_F(XaudioPlayerTest, PriorityIsKeptUntilTheStartAndThenGoesToTheEngine) {
  {
    auto x = Make("xaudio_rec.dll");
    x->SetPriority(4);
    EXPECT_EQ(x->Priority(), 4u);
    EXPECT_EQ(Log(), Lines{});
    x->Play();
    EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "priority set 4", "N 4"}));
    ClearLog();
    EXPECT_EQ(x->Priority(), 4u);
    x->SetPriority(3);
    EXPECT_EQ(x->Priority(), 3u);
    EXPECT_EQ(Log(), (Lines{"priority get", "priority set 3", "priority get"}));
  }
  ClearLog();
  auto x = Make("xaudio_rec.dll");
  x->SetPriority(7);
  x->SetPriority(3);
  x->Play();
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "N 4"}))
      << "the engine starts at 3 already";
}

TEST_F(XaudioPlayerTest, ErrorStringStartsThePlayerAndCopiesTheText) {
  auto x = Make("xaudio_rec.dll");
  EXPECT_EQ(x->ErrorString(-5), "text of -5");
  EXPECT_EQ(Log(), (Lines{"load", "version 2", "new window=ok", "error_string -5"}));
  EXPECT_EQ(x->ErrorString(999), "") << "an engine without a text gives an empty one";
}

// ---------------------------------------------------------------------------------------
// Commands

TEST_F(XaudioPlayerTest, EveryCommandGoesWithItsCodeSenderAndWidenedArguments) {
  auto x = Make("xaudio_rec.dll");
  char data[4];
  XA_EqualizerInfo eq{};
  const std::string d = Ptr(data), e = Ptr(&eq);
  struct Case {
    std::function<Integer()> send;
    std::string line;
  };
  std::vector<Case> cases = {
      {[&] { return x->Synchronize(); }, "N 2"},
      {[&] { return x->Ping(-7); }, "I 3 -7"},
      {[&] { return x->Play(); }, "N 4"},
      {[&] { return x->Pause(); }, "N 5"},
      {[&] { return x->Stop(); }, "N 6"},
      {[&] { return x->InputSeek(250, 1000); }, "II 7 250 1000"},
      {[&] { return x->InputOpen("C:\\Music\\a.mp3"); }, "S 8 [C:\\Music\\a.mp3]"},
      {[&] { return x->InputClose(); }, "N 9"},
      {[&] { return x->InputSendMessage(65535, data, -3); }, "IPI 10 65535 " + d + " -3"},
      {[&] { return x->InputAddFilter("f@x.dll", -1); }, "SI 11 [f@x.dll] -1"},
      {[&] { return x->InputRemoveFilter("f", 2); }, "SI 12 [f] 2"},
      {[&] { return x->InputFilterList(); }, "N 13"},
      {[&] { return x->InputModuleRegister("in@x.dll"); }, "S 14 [in@x.dll]"},
      {[&] { return x->InputModuleQuery(3); }, "I 15 3"},
      {[&] { return x->InputModulesList(); }, "N 16"},
      {[&] { return x->OutputOpen(""); }, "S 17 []"},
      {[&] { return x->OutputClose(); }, "N 18"},
      {[&] { return x->OutputSendMessage(32768, nullptr, 0); }, "IPI 19 32768 (nil) 0"},
      {[&] { return x->OutputMute(); }, "N 20"},
      {[&] { return x->OutputUnmute(); }, "N 21"},
      {[&] { return x->OutputReset(); }, "N 22"},
      {[&] { return x->OutputDrain(); }, "N 23"},
      {[&] { return x->OutputAddFilter("output_filter_module_register1@filter.dll", 0); },
       "SI 24 [output_filter_module_register1@filter.dll] 0"},
      {[&] { return x->OutputRemoveFilter("g", 5); }, "SI 25 [g] 5"},
      {[&] { return x->OutputFilterList(); }, "N 26"},
      {[&] { return x->OutputModuleRegister("dsound_output_module_register@xdsound.dll"); },
       "S 27 [dsound_output_module_register@xdsound.dll]"},
      {[&] { return x->OutputModuleQuery(-2); }, "I 28 -2"},
      {[&] { return x->OutputModulesList(); }, "N 29"},
      {[&] { return x->CodecSendMessage(1, data, 4); }, "IPI 30 1 " + d + " 4"},
      {[&] { return x->CodecModuleRegister("c"); }, "S 31 [c]"},
      {[&] { return x->CodecModuleQuery(0); }, "I 32 0"},
      {[&] { return x->CodecModulesList(); }, "N 33"},
      {[&] { return x->SetPlayerMode(0x7FFFFFFF); }, "I 34 2147483647"},
      {[&] { return x->GetPlayerMode(); }, "N 35"},
      {[&] { return x->SetPlayerEnvironmentInteger("OUTPUT.DIRECTSOUND.PITCH", 1000); },
       "SI 36 [OUTPUT.DIRECTSOUND.PITCH] 1000"},
      {[&] { return x->GetPlayerEnvironmentInteger("A"); }, "S 37 [A]"},
      {[&] { return x->SetPlayerEnvironmentString("K", "V v"); }, "SS 38 [K] [V v]"},
      {[&] { return x->GetPlayerEnvironmentString("K"); }, "S 39 [K]"},
      {[&] { return x->UnsetPlayerEnvironment("K"); }, "S 40 [K]"},
      {[&] { return x->SetInputName("n"); }, "S 41 [n]"},
      {[&] { return x->GetInputName(); }, "N 42"},
      {[&] { return x->SetInputModule(1); }, "I 43 1"},
      {[&] { return x->GetInputModule(); }, "N 44"},
      {[&] { return x->SetInputPositionRange(1000); }, "I 45 1000"},
      {[&] { return x->GetInputPositionRange(); }, "N 46"},
      {[&] { return x->SetInputTimecodeGranularity(2); }, "I 47 2"},
      {[&] { return x->GetInputTimecodeGranularity(); }, "N 48"},
      {[&] { return x->SetOutputName("/dev/dsound/0"); }, "S 49 [/dev/dsound/0]"},
      {[&] { return x->GetOutputName(); }, "N 50"},
      {[&] { return x->SetOutputModule(4); }, "I 51 4"},
      {[&] { return x->GetOutputModule(); }, "N 52"},
      {[&] { return x->SetOutputVolume(-1, 40, -1); }, "III 57 -1 40 -1"},
      {[&] { return x->GetOutputVolume(); }, "N 58"},
      {[&] { return x->SetOutputChannels(3); }, "I 59 3"},
      {[&] { return x->GetOutputChannels(); }, "N 60"},
      {[&] { return x->SetOutputPorts(-1); }, "I 61 -1"},
      {[&] { return x->GetOutputPorts(); }, "N 62"},
      {[&] { return x->SetCodecQuality(255); }, "I 63 255"},
      {[&] { return x->SetCodecQuality(0); }, "I 63 0"},
      {[&] { return x->GetCodecQuality(); }, "N 64"},
      {[&] { return x->SetCodecEqualizer(&eq); }, "P 65 " + e},
      {[&] { return x->GetCodecEqualizer(); }, "N 66"},
      {[&] { return x->SetNotificationMask(-1); }, "I 69 -1"},
      {[&] { return x->GetNotificationMask(); }, "N 70"},
      {[&] { return x->SetDebugLevel(9); }, "I 71 9"},
      {[&] { return x->GetDebugLevel(); }, "N 72"},
  };
  ASSERT_EQ(cases.size(), 66u);  // 65 commands, quality twice
  x->Init();
  for (const Case& c : cases) {
    ClearLog();
    Integer status = c.send();
    Lines log = Log();
    ASSERT_EQ(log.size(), 1u) << c.line;
    EXPECT_EQ(log[0], c.line);
    // The send status goes back unchanged (the test engine answers 1000 + code).
    int code = std::stoi(log[0].substr(log[0].find(' ') + 1));
    EXPECT_EQ(status, 1000 + code) << c.line;
  }
}

// ---------------------------------------------------------------------------------------
// Notifications

class XaudioNotifyTest : public XaudioPlayerTest {
 protected:
  void SetUp() override {
    XaudioPlayerTest::SetUp();
    x_ = Make("xaudio_rec.dll");
    x_->Init();
    window_ = started_window;
    ASSERT_NE(window_, 0u);
    Listen();
    ClearLog();
  }

  static std::string T(const String& s) { return "[" + s + "]"; }

  // Every event records itself with its parameters.
  void Listen() {
    TXaudioPlayer& x = *x_;
    auto add = [this](TObject* sender, std::string what) {
      EXPECT_EQ(sender, x_.get());
      fired_.push_back(std::move(what));
    };
    auto n = [](auto v) { return std::to_string(+v); };
    x.OnNotifyMessage = [=, this](TObject* s, XA_Message& m) {
      add(s, "Message " + n(m.code));
      if (rewrite_) rewrite_(m);
    };
    x.OnNotifyReady = [=](TObject* s) { add(s, "Ready"); };
    x.OnNotifyAck = [=](TObject* s, Byte c) { add(s, "Ack " + n(c)); };
    x.OnNotifyNack = [=](TObject* s, Byte c, Smallint k) { add(s, "Nack " + n(c) + " " + n(k)); };
    x.OnNotifyPong = [=](TObject* s, Cardinal t) { add(s, "Pong " + n(t)); };
    x.OnNotifyExited = [=](TObject* s) { add(s, "Exited"); };
    x.OnNotifyPlayerState = [=](TObject* s, Integer v) { add(s, "PlayerState " + n(v)); };
    x.OnNotifyPlayerMode = [=](TObject* s, Integer v) { add(s, "PlayerMode " + n(v)); };
    x.OnNotifyPlayerEnvironmentInteger = [=](TObject* s, const String& a, Integer v) {
      add(s, "EnvInteger " + T(a) + " " + n(v));
    };
    x.OnNotifyPlayerEnvironmentString = [=](TObject* s, const String& a, const String& b) {
      add(s, "EnvString " + T(a) + " " + T(b));
    };
    x.OnNotifyInputState = [=](TObject* s, Integer v) { add(s, "InputState " + n(v)); };
    x.OnNotifyInputName = [=](TObject* s, const String& a) { add(s, "InputName " + T(a)); };
    x.OnNotifyInputCaps = [=](TObject* s, Cardinal v) { add(s, "InputCaps " + n(v)); };
    x.OnNotifyInputPosition = [=](TObject* s, Cardinal o, Cardinal r) {
      add(s, "InputPosition " + n(o) + " " + n(r));
    };
    x.OnNotifyInputPositionRange = [=](TObject* s, Integer v) { add(s, "PositionRange " + n(v)); };
    x.OnNotifyInputTimecode = [=](TObject* s, Byte h, Byte m, Byte c, Byte f) {
      add(s, "Timecode " + n(h) + " " + n(m) + " " + n(c) + " " + n(f));
    };
    x.OnNotifyInputTimecodeGranularity = [=](TObject* s, Cardinal v) {
      add(s, "Granularity " + n(v));
    };
    auto module = [=](std::string what) {
      return [=](TObject* s, Smallint id) { add(s, what + " " + n(id)); };
    };
    auto moduleInfo = [=](std::string what) {
      return [=](TObject* s, Byte id, Byte nb, const String& a, const String& b) {
        add(s, what + " " + n(id) + " " + n(nb) + " " + T(a) + " " + T(b));
      };
    };
    auto deviceInfo = [=](std::string what) {
      return [=](TObject* s, Byte m, Byte i, Byte f, const String& a, const String& b) {
        add(s, what + " " + n(m) + " " + n(i) + " " + n(f) + " " + T(a) + " " + T(b));
      };
    };
    auto filterInfo = [=](std::string what) {
      return [=](TObject* s, Byte id, const String& a) { add(s, what + " " + n(id) + " " + T(a)); };
    };
    x.OnNotifyInputModule = module("InputModule");
    x.OnNotifyInputModuleInfo = moduleInfo("InputModuleInfo");
    x.OnNotifyInputDeviceInfo = deviceInfo("InputDeviceInfo");
    x.OnNotifyInputFilterInfo = filterInfo("InputFilterInfo");
    x.OnNotifyOutputState = [=](TObject* s, Integer v) { add(s, "OutputState " + n(v)); };
    x.OnNotifyOutputName = [=](TObject* s, const String& a) { add(s, "OutputName " + T(a)); };
    x.OnNotifyOutputCaps = [=](TObject* s, Cardinal v) { add(s, "OutputCaps " + n(v)); };
    x.OnNotifyOutputVolume = [=](TObject* s, Byte m, Byte p, Byte b) {
      add(s, "Volume " + n(m) + " " + n(p) + " " + n(b));
    };
    x.OnNotifyOutputBalance = [=](TObject* s, Byte v) { add(s, "Balance " + n(v)); };
    x.OnNotifyOutputPcmLevel = [=](TObject* s, Byte v) { add(s, "PcmLevel " + n(v)); };
    x.OnNotifyOutputMasterLevel = [=](TObject* s, Byte v) { add(s, "MasterLevel " + n(v)); };
    x.OnNotifyOutputChannels = [=](TObject* s, Byte v) { add(s, "Channels " + n(v)); };
    x.OnNotifyOutputPorts = [=](TObject* s, Cardinal v) { add(s, "Ports " + n(v)); };
    x.OnNotifyOutputModule = module("OutputModule");
    x.OnNotifyOutputModuleInfo = moduleInfo("OutputModuleInfo");
    x.OnNotifyOutputDeviceInfo = deviceInfo("OutputDeviceInfo");
    x.OnNotifyOutputFilterInfo = filterInfo("OutputFilterInfo");
    x.OnNotifyStreamMimeType = [=](TObject* s, String a) { add(s, "MimeType " + T(a)); };
    x.OnNotifyStreamDuration = [=](TObject* s, Cardinal v) { add(s, "Duration " + n(v)); };
    x.OnNotifyStreamParameters = [=](TObject* s, Cardinal f, Smallint b, Byte c) {
      add(s, "Parameters " + n(f) + " " + n(b) + " " + n(c));
    };
    x.OnNotifyStreamProperties = [=](TObject* s, Cardinal c, PXA_Property p) {
      add(s, "Properties " + n(c) + " " + Ptr(p));
    };
    x.OnNotifyCodecModule = module("CodecModule");
    x.OnNotifyCodecModuleInfo = moduleInfo("CodecModuleInfo");
    x.OnNotifyCodecDeviceInfo = deviceInfo("CodecDeviceInfo");
    x.OnNotifyCodecQuality = [=](TObject* s, Byte v) { add(s, "Quality " + n(v)); };
    x.OnNotifyCodecEqualizer = [=](TObject* s, XA_EqualizerInfo& q) {
      add(s, "Equalizer " + Ptr(&q) + " " + n(q.left[0]) + " " + n(q.right[31]));
    };
    x.OnNotifyNotificationMask = [=](TObject* s, Cardinal v) { add(s, "Mask " + n(v)); };
    x.OnNotifyDebugLevel = [=](TObject* s, Byte v) { add(s, "DebugLevel " + n(v)); };
    x.OnNotifyProgress = [=](TObject* s, Byte src, Byte c, Smallint v, const String& a) {
      add(s, "Progress " + n(src) + " " + n(c) + " " + n(v) + " " + T(a));
    };
    x.OnNotifyDebug = [=](TObject* s, Byte src, Byte l, const String& a) {
      add(s, "Debug " + n(src) + " " + n(l) + " " + T(a));
    };
    x.OnNotifyError = [=](TObject* s, Byte src, Smallint c, const String& a) {
      add(s, "Error " + n(src) + " " + n(c) + " " + T(a));
    };
  }

  // A record of `code` with noise in every byte the code does not use.
  static XA_Message Record(int code) {
    XA_Message m;
    std::memset(&m, 0xEE, sizeof m);
    m.code = code;
    return m;
  }

  LRESULT Deliver(const XA_Message& m, UINT number = XA_WM_NOTIFY) {
    fired_.clear();
    return SendMessageA(window_, number, reinterpret_cast<WPARAM>(&m), kStagedRecord);
  }

  std::unique_ptr<TXaudioPlayer> x_;
  HWND window_ = 0;
  Lines fired_;
  std::function<void(XA_Message&)> rewrite_;
};

TEST_F(XaudioNotifyTest, EveryCodeFiresItsEventWithParametersFromTheRecord) {
  const char* name = "name";
  const char* desc = "description";
  XA_Property props[2] = {{"a", "1"}, {"b", "2"}};
  XA_EqualizerInfo eq{};
  eq.left[0] = -90;
  eq.right[31] = 40;

  auto bytes = [](int code, uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    XA_Message m = Record(code);
    m.w1.bytes[0] = b0;
    m.w1.bytes[1] = b1;
    m.w1.bytes[2] = b2;
    m.w1.bytes[3] = b3;
    return m;
  };
  auto value = [](int code, uint32_t v) {
    XA_Message m = Record(code);
    m.w1.value = v;
    return m;
  };
  auto text = [&](int code) {
    XA_Message m = Record(code);
    m.w2.text = name;
    return m;
  };
  auto info = [&](int code, uint8_t b0, uint8_t b1, uint8_t b2) {
    XA_Message m = bytes(code, b0, b1, b2, 0xEE);
    m.w2.text = name;
    m.w3.text = desc;
    return m;
  };
  auto filter = [&](int code) {
    XA_Message m = Record(code);
    m.w2.text = name;
    m.w3.id = 7;
    return m;
  };
  auto module = [](int code) {
    XA_Message m = Record(code);
    m.w1.module_id = -2;
    return m;
  };
  auto source = [&](int code, uint8_t src, uint8_t c, int16_t v) {
    XA_Message m = Record(code);
    m.w1.source.source = src;
    m.w1.source.code = c;
    m.w1.source.value = v;
    m.w2.text = name;
    return m;
  };

  struct Case {
    XA_Message m;
    std::string event;  // empty: OnNotifyMessage only
  };
  std::vector<Case> cases = {
      {Record(73), "Ready"},
      {bytes(74, 200, 1, 2, 3), "Ack 200"},
      {[&] {
         XA_Message m = Record(75);
         m.w1.nack.command = 8;
         m.w1.nack.code = -7;
         return m;
       }(),
       "Nack 8 -7"},
      {value(76, 0xFFFFFFFE), "Pong 4294967294"},
      {Record(77), "Exited"},
      {bytes(78, 200, 0xFF, 0xFF, 0xFF), "PlayerState 200"},
      {value(79, 0xFFFFFFFF), "PlayerMode -1"},
      {[&] {
         XA_Message m = Record(80);
         m.w2.text = name;
         m.w3.value = -5;
         return m;
       }(),
       "EnvInteger [name] -5"},
      {[&] {
         XA_Message m = Record(81);
         m.w2.text = name;
         m.w3.text = desc;
         return m;
       }(),
       "EnvString [name] [description]"},
      {bytes(82, 1, 0xFF, 0xFF, 0xFF), "InputState 1"},
      {text(83), "InputName [name]"},
      {value(84, 0x80000001), "InputCaps 2147483649"},
      {[&] {
         XA_Message m = value(85, 500);
         m.w2.value = 1000;
         return m;
       }(),
       "InputPosition 500 1000"},
      {value(86, 0xFFFFFFFF), "PositionRange -1"},
      {bytes(87, 1, 2, 3, 99), "Timecode 1 2 3 99"},
      {value(88, 2), "Granularity 2"},
      {module(89), "InputModule -2"},
      {info(90, 3, 250, 0xEE), "InputModuleInfo 3 250 [name] [description]"},
      {info(91, 1, 2, 255), "InputDeviceInfo 1 2 255 [name] [description]"},
      {filter(92), "InputFilterInfo 7 [name]"},
      {bytes(93, 1, 0xFF, 0xFF, 0xFF), "OutputState 1"},
      {text(94), "OutputName [name]"},
      {value(95, 5), "OutputCaps 5"},
      {Record(96), ""},
      {Record(97), ""},
      {Record(98), ""},
      {Record(99), ""},
      {bytes(100, 10, 20, 30, 40), "Volume 10 20 30"},
      {bytes(101, 10, 20, 30, 40), "Balance 30"},
      {bytes(102, 10, 20, 30, 40), "PcmLevel 20"},
      {bytes(103, 10, 20, 30, 40), "MasterLevel 10"},
      {bytes(104, 2, 20, 30, 40), "Channels 2"},
      {bytes(105, 200, 0xFF, 0xFF, 0xFF), "Ports 200"},
      {module(106), "OutputModule -2"},
      {info(107, 3, 250, 0xEE), "OutputModuleInfo 3 250 [name] [description]"},
      {info(108, 1, 2, 255), "OutputDeviceInfo 1 2 255 [name] [description]"},
      {filter(109), "OutputFilterInfo 7 [name]"},
      {text(110), "MimeType [name]"},
      {value(111, 4), "Duration 4"},
      {[&] {
         XA_Message m = value(112, 44100);
         m.w2.stream.bitrate = -192;
         m.w2.stream.nb_channels = 2;
         return m;
       }(),
       "Parameters 44100 -192 2"},
      {[&] {
         XA_Message m = value(113, 2);
         m.w2.properties = props;
         return m;
       }(),
       "Properties 2 " + Ptr(props)},
      {bytes(114, 255, 1, 2, 3), "Quality 255"},
      {[&] {
         XA_Message m = Record(115);
         m.w2.equalizer = &eq;
         return m;
       }(),
       "Equalizer " + Ptr(&eq) + " -90 40"},
      {module(116), "CodecModule -2"},
      {info(117, 3, 250, 0xEE), "CodecModuleInfo 3 250 [name] [description]"},
      {info(118, 1, 2, 255), "CodecDeviceInfo 1 2 255 [name] [description]"},
      {value(119, 0xFFFFFFFF), "Mask 4294967295"},
      {bytes(120, 9, 1, 2, 3), "DebugLevel 9"},
      {source(121, 1, 2, -300), "Progress 1 2 -300 [name]"},
      {source(122, 3, 4, 0x0102), "Debug 3 4 [name]"},
      {source(123, 2, 0xAB, -5), "Error 2 -5 [name]"},
      {Record(0), ""},
      {Record(72), ""},
      {Record(124), ""},
      {Record(-1), ""},
  };

  std::set<std::string> events;
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.m.code));
    ClearLog();
    EXPECT_EQ(Deliver(c.m), 0);
    Lines expected{"Message " + std::to_string(c.m.code)};
    if (!c.event.empty()) expected.push_back(c.event);
    EXPECT_EQ(fired_, expected);
    EXPECT_EQ(Log(), Lines{"decode 0x9001 zero=1"});
    if (!c.event.empty()) events.insert(c.event.substr(0, c.event.find(' ')));
  }
  EXPECT_EQ(events.size(), 47u) << "every event but OnNotifyMessage has its code";
}

TEST_F(XaudioNotifyTest, NullTextsArriveEmptyAndUnassignedEventsAreSkipped) {
  XA_Message m = Record(81);
  m.w2.text = nullptr;
  m.w3.text = nullptr;
  Deliver(m);
  EXPECT_EQ(fired_, (Lines{"Message 81", "EnvString [] []"}));
  m = Record(123);
  m.w1.source.source = 1;
  m.w1.source.value = 3;
  m.w2.text = nullptr;
  Deliver(m);
  EXPECT_EQ(fired_, (Lines{"Message 123", "Error 1 3 []"}));

  // Without an engine record there is nothing to refer to: the event is left out.
  m = Record(115);
  m.w2.equalizer = nullptr;
  Deliver(m);
  EXPECT_EQ(fired_, Lines{"Message 115"});

  x_->OnNotifyError = nullptr;
  Deliver(Record(123));  // its texts are garbage: they must not even be read
  EXPECT_EQ(fired_, Lines{"Message 123"});
}

TEST_F(XaudioNotifyTest, TheEventReadsTheRecordAsOnNotifyMessageLeftIt) {
  rewrite_ = [](XA_Message& m) {
    m.code = XA_MSG_NOTIFY_STREAM_DURATION;
    m.w1.value = 1234;
  };
  Deliver(Record(XA_MSG_NOTIFY_READY));
  EXPECT_EQ(fired_, (Lines{"Message 73", "Duration 1234"}));

  rewrite_ = [](XA_Message& m) { m.code = 97; };
  Deliver(Record(XA_MSG_NOTIFY_STREAM_DURATION));
  EXPECT_EQ(fired_, Lines{"Message 111"});
}

TEST_F(XaudioNotifyTest, WindowSystemMessagesGoToTheDefaultProcedureAndStillToTheDecoder) {
  // Below 0x9000: the default procedure answers; the decoder is asked all the same.
  LRESULT def = DefWindowProcA(window_, WM_GETTEXTLENGTH, 0, 0);
  EXPECT_EQ(SendMessageA(window_, WM_GETTEXTLENGTH, 0, 0), def);
  EXPECT_EQ(Log(), Lines{"decode 0xe zero=1"});
  ClearLog();
  XA_Message m = Record(XA_MSG_NOTIFY_READY);
  EXPECT_EQ(Deliver(m, 0x8FFF), DefWindowProcA(window_, 0x8FFF, 0, 0));
  EXPECT_EQ(fired_, (Lines{"Message 73", "Ready"}));
  EXPECT_EQ(Log(), Lines{"decode 0x8fff zero=1"});

  // From 0x9000 on: a refused message does nothing and answers 0.
  ClearLog();
  fired_.clear();
  EXPECT_EQ(SendMessageA(window_, 0x9000, 1, 2), 0);
  EXPECT_EQ(fired_, Lines{});
  EXPECT_EQ(Log(), Lines{"decode 0x9000 zero=1"});
}

TEST_F(XaudioNotifyTest, HandlerErrorsReachTheErrorReportAndEndTheMessage) {
  std::vector<std::string> reported;
  SetApplicationHandleException([&](TObject*) { reported.push_back(CurrentExceptionMessage()); });
  rewrite_ = [](XA_Message&) { throw Exception("bad handler"); };
  XA_Message m = Record(XA_MSG_NOTIFY_STREAM_DURATION);
  EXPECT_EQ(Deliver(m), 0);
  EXPECT_EQ(fired_, Lines{"Message 111"}) << "the code's event does not run after an error";
  rewrite_ = nullptr;
  x_->OnNotifyStreamDuration = [](TObject*, Cardinal) { throw EXaudioException("late"); };
  Deliver(m);
  SetApplicationHandleException(nullptr);
  EXPECT_EQ(reported, (std::vector<std::string>{"bad handler", "late"}));
}

}  // namespace
