// The engine library end to end: commands in, notifications out, audio as the output
// device plays it (null sink or WAV capture).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include "EngineHarness.h"
#include "support/TestSupport.h"

using namespace kazout;

namespace {

class EngineTest : public ::testing::Test {
 protected:
  // Records device 0 into a WAV file; `unpaced` lets it run as fast as the player feeds it.
  void UseCapture(bool unpaced) {
    dir_ = kaztest::MakeTempDir("capture");
    capture_ = dir_ + "/out.wav";
    setenv("KAZ_WAV_CAPTURE", capture_.c_str(), 1);
    if (unpaced) {
      setenv("KAZ_WAV_UNPACED", "1", 1);
    } else {
      unsetenv("KAZ_WAV_UNPACED");
    }
  }
  void TearDown() override {
    unsetenv("KAZ_WAV_CAPTURE");
    unsetenv("KAZ_WAV_UNPACED");
  }
  // Closes the output, which ends the take, and reads it.
  Capture Take(Engine& e) {
    size_t from = e.Notes().size();
    e.N(XA_MSG_COMMAND_OUTPUT_CLOSE);
    e.WaitFor(XA_MSG_NOTIFY_OUTPUT_STATE, 2000, from);
    return ReadCapture(capture_);
  }

  std::string dir_, capture_;
};

TEST_F(EngineTest, AnswersItsVersionAndOnlyItsOwnMessages) {
  Engine e;
  ASSERT_TRUE(e.Ready());
  unsigned long v = e.xaudio_get_version_(2);
  EXPECT_EQ((v >> 16) & 0xFF, 3u);
  EXPECT_EQ((v >> 8) & 0xFF, 8u);
  EXPECT_NE(e.xaudio_error_string_(XA_ERROR_NO_SUCH_FILE), nullptr);
  EXPECT_NE(e.xaudio_error_string_(12345), nullptr);

  e.I(XA_MSG_COMMAND_PING, 0x12345678);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_PONG, 2000));
  EXPECT_EQ(e.Of(XA_MSG_NOTIFY_PONG)[0].value1, 0x12345678u);
  EXPECT_EQ(e.Count(XA_MSG_NOTIFY_READY), 1u);

  // Another player's notification, or any other message, is refused.
  Engine other;
  XA_Message m{};
  bool foreign = false;
  other.OnMessage = [&](UINT msg, WPARAM w, LPARAM l) {
    if (msg == XA_WM_NOTIFY)
      foreign = e.control_win32_params_to_message_(e.Player(), &m, msg, w, l) != 0;
  };
  other.I(XA_MSG_COMMAND_PING, 1);
  ASSERT_TRUE(other.WaitFor(XA_MSG_NOTIFY_PONG, 2000));
  EXPECT_TRUE(foreign);
  EXPECT_NE(e.control_win32_params_to_message_(e.Player(), &m, 0x8FFF, 0, 0), 0);
  EXPECT_NE(e.control_win32_params_to_message_(e.Player(), &m, XA_WM_NOTIFY, 0, 0), 0);

  // A code with no meaning is answered with a nack naming it.
  e.N(1);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_NACK, 2000));
  EXPECT_EQ(e.Of(XA_MSG_NOTIFY_NACK)[0].bytes[0], 1);
  EXPECT_NE(e.Of(XA_MSG_NOTIFY_NACK)[0].code16, 0);

  // Environment and settings queries come back with their values.
  e.SI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.WINDOW", 4242);
  e.S(XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.WINDOW");
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER, 2000));
  EXPECT_EQ(e.Of(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER)[0].text1, "OUTPUT.DIRECTSOUND.WINDOW");
  EXPECT_EQ(e.Of(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER)[0].value2, 4242u);
}

TEST_F(EngineTest, ReportsStreamsOfEveryMpegVersion) {
  Engine e;
  ASSERT_TRUE(e.Ready());
  struct Case {
    const char* file;
    int duration;
    uint32_t rate;
    int channels;
  } cases[] = {{"short4.mp3", 4, 44100, 2},
               {"vbr3.mp3", 3, 44100, 2},
               {"mono22.mp3", 3, 22050, 1},
               {"mpeg25.mp3", 3, 11025, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    size_t from = e.Notes().size();
    EXPECT_EQ(e.Open(TestData(c.file)), c.duration);
    bool params = false;
    for (size_t i = from; i < e.Notes().size(); ++i) {
      const Note& n = e.Notes()[i];
      if (n.code != XA_MSG_NOTIFY_STREAM_PARAMETERS) continue;
      params = true;
      EXPECT_EQ(n.value1, c.rate);
      EXPECT_EQ(n.value2 >> 16 & 0xFF, static_cast<uint32_t>(c.channels));
    }
    EXPECT_TRUE(params);
  }
}

TEST_F(EngineTest, TimecodesAndPositionsFollowTheHeardAudio) {
  UseCapture(false);
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.I(XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, 2);
  e.I(XA_MSG_SET_INPUT_POSITION_RANGE, 1000);
  ASSERT_EQ(e.Open(TestData("short4.mp3")), 4);
  size_t from = e.Notes().size();
  int64_t start = NowNs();
  ASSERT_TRUE(e.PlayToEnd(10000));
  EXPECT_GT(NowNs() - start, 3500000000LL);  // played in real time
  Capture cap = Take(e);
  ASSERT_GT(cap.Frames(), 0u);
  // Where each frame of the track reached the listener.
  const std::vector<size_t> heard = HeardFrames(cap, Onset(cap));
  ASSERT_FALSE(heard.empty());

  std::vector<Note> codes;
  std::vector<Note> positions;
  for (size_t i = from; i < e.Notes().size(); ++i) {
    if (e.Notes()[i].code == XA_MSG_NOTIFY_INPUT_TIMECODE) codes.push_back(e.Notes()[i]);
    if (e.Notes()[i].code == XA_MSG_NOTIFY_INPUT_POSITION) positions.push_back(e.Notes()[i]);
  }
  // Every multiple of 2 hundredths from 0 to 4 s, none skipped, in order.
  ASSERT_EQ(codes.size(), 201u);
  int late = 0;
  for (size_t k = 0; k < codes.size(); ++k) {
    const Note& n = codes[k];
    int t = ((n.bytes[0] * 60 + n.bytes[1]) * 60 + n.bytes[2]) * 100 + n.bytes[3];
    ASSERT_EQ(t, static_cast<int>(2 * k));
    // Each one arrives when its moment is heard (generous bounds: wake-ups and stalls).
    const size_t at = std::min(heard.size() - 1, static_cast<size_t>(t) * cap.rate / 100);
    const int64_t expected = cap.firstNs + static_cast<int64_t>(heard[at] * 1e9 / cap.rate);
    const double arrived = (n.atNs - cap.firstNs) * 1e-9 * cap.rate;
    if (DropoutBetween(heard, arrived, static_cast<double>(heard[at]))) continue;
    EXPECT_GT(n.atNs, expected - 40000000LL) << "timecode " << t << " came before it was heard";
    if (n.atNs > expected + 60000000LL) ++late;
  }
  EXPECT_LE(late, 5);
  ASSERT_FALSE(positions.empty());
  for (size_t k = 1; k < positions.size(); ++k)
    EXPECT_GE(positions[k].value1, positions[k - 1].value1);
  EXPECT_EQ(positions.back().value1, 1000u);
  EXPECT_EQ(positions.back().value2, 1000u);
}

// Files joined end to end whose second part has half the rate: played to the end at the
// right speed, with the length of both parts.
TEST_F(EngineTest, PlaysAStreamWhoseRateChangesPartway) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.I(XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, 2);
  ASSERT_EQ(e.Open(TestData("joined.mp3")), 4);
  size_t from = e.Notes().size();
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture cap = Take(e);
  // Both parts, each as long as it was made (the encoders add a few tens of ms).
  EXPECT_NEAR(static_cast<double>(cap.Frames()) / cap.rate, 4.0, 0.15);
  // The second part's 300 Hz tone is still 300 Hz: played neither fast nor slow.
  const size_t late = cap.rate * 3;
  EXPECT_GT(ToneLevel(cap, 0, late, cap.rate / 2, 300), 0.05);
  EXPECT_LT(ToneLevel(cap, 0, late, cap.rate / 2, 600), 0.01);
  int last = 0;
  for (size_t i = from; i < e.Notes().size(); ++i) {
    const Note& n = e.Notes()[i];
    if (n.code == XA_MSG_NOTIFY_INPUT_TIMECODE) last = (n.bytes[1] * 60 + n.bytes[2]) * 100 + n.bytes[3];
  }
  EXPECT_NEAR(last, 400, 12);

  // Seeking into the second part lands there and plays it at its speed.
  from = e.Notes().size();
  e.II(XA_MSG_COMMAND_SEEK, 800, 1000);
  ASSERT_TRUE(e.PlayToEnd(10000));
  cap = Take(e);
  EXPECT_NEAR(static_cast<double>(cap.Frames()) / cap.rate, 0.8, 0.1);
  EXPECT_GT(ToneLevel(cap, 0, cap.rate / 10, cap.rate / 2, 300), 0.05);
}

// On the null sink of a machine without a sound card (or on the card when there is one).
TEST_F(EngineTest, PausesResumesSeeksAndStops) {
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.I(XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, 2);
  auto lastCode = [&] {
    auto codes = e.Of(XA_MSG_NOTIFY_INPUT_TIMECODE);
    if (codes.empty()) return -1;
    const Note& n = codes.back();
    return ((n.bytes[1] * 60) + n.bytes[2]) * 100 + n.bytes[3];
  };
  // A newly opened input tells its time before it plays, as a stop and a seek do.
  ASSERT_EQ(e.Open(TestData("kick128.mp3")), 30);
  EXPECT_EQ(lastCode(), 0);
  e.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(PumpUntil([&] { return lastCode() >= 60; }, 5000));
  size_t from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PAUSE);
  ASSERT_TRUE(e.WaitForState(XA_PLAYER_STATE_PAUSED, 2000, from));
  int paused = lastCode();
  PumpUntil([] { return false; }, 300);
  EXPECT_LE(lastCode(), paused + 2) << "time went on while paused";
  paused = lastCode();

  from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(e.WaitForState(XA_PLAYER_STATE_PLAYING, 2000, from));
  ASSERT_TRUE(PumpUntil([&] { return lastCode() >= paused + 20; }, 3000));
  // Resuming goes on from where the pause was heard: no value skipped, none far back.
  std::vector<int> after;
  for (size_t i = from; i < e.Notes().size(); ++i) {
    const Note& n = e.Notes()[i];
    if (n.code == XA_MSG_NOTIFY_INPUT_TIMECODE)
      after.push_back((n.bytes[1] * 60 + n.bytes[2]) * 100 + n.bytes[3]);
  }
  ASSERT_FALSE(after.empty());
  EXPECT_GE(after.front(), paused - 2);
  EXPECT_LE(after.front(), paused + 2);
  for (size_t k = 1; k < after.size(); ++k) EXPECT_EQ(after[k], after[k - 1] + 2);

  // Seek to the middle while playing: timecodes go on from 15 s.
  from = e.Notes().size();
  e.II(XA_MSG_COMMAND_SEEK, 500, 1000);
  ASSERT_TRUE(PumpUntil([&] { return lastCode() >= 1510; }, 3000));
  bool jumped = false;
  for (size_t i = from; i < e.Notes().size(); ++i) {
    const Note& n = e.Notes()[i];
    if (n.code == XA_MSG_NOTIFY_INPUT_TIMECODE && n.bytes[2] == 15 && n.bytes[3] == 0)
      jumped = true;
  }
  EXPECT_TRUE(jumped);

  // Stop, then play again: from the start.
  from = e.Notes().size();
  e.N(XA_MSG_COMMAND_STOP);
  ASSERT_TRUE(e.WaitForState(XA_PLAYER_STATE_STOPPED, 2000, from));
  EXPECT_EQ(e.Count(XA_MSG_NOTIFY_INPUT_TIMECODE, from), 1u);
  EXPECT_EQ(lastCode(), 0);
  from = e.Notes().size();
  e.II(XA_MSG_COMMAND_SEEK, 500, 1000);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_INPUT_TIMECODE, 2000, from));
  EXPECT_EQ(lastCode(), 1500) << "a seek while stopped";
  e.II(XA_MSG_COMMAND_SEEK, 0, 1000);
  from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_INPUT_TIMECODE, 2000, from));
  for (size_t i = from; i < e.Notes().size(); ++i) {
    if (e.Notes()[i].code != XA_MSG_NOTIFY_INPUT_TIMECODE) continue;
    EXPECT_EQ(e.Notes()[i].bytes[2], 0);
    EXPECT_EQ(e.Notes()[i].bytes[3], 0);
    break;
  }
}

TEST_F(EngineTest, PitchChangesTheSpeed) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  ASSERT_EQ(e.Open(TestData("short4.mp3")), 4);
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture normal = Take(e);
  // 4 s at 44.1 kHz, untouched.
  EXPECT_EQ(normal.Frames(), 176400u);

  e.SI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.PITCH", 1050);
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture fast = Take(e);
  double ratio = static_cast<double>(normal.Frames()) / fast.Frames();
  EXPECT_NEAR(ratio, 1.05, 0.003);

  // A 22.05 kHz stream is played at the device's rate, at its own speed.
  e.SI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.PITCH", 1000);
  ASSERT_EQ(e.Open(TestData("mono22.mp3")), 3);
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture converted = Take(e);
  EXPECT_NEAR(static_cast<double>(converted.Frames()), 3.0 * 44100, 200);
}

// The decoded audio waits a second ahead of the listener, but the speed change comes after
// that wait: a new pitch is heard at once, as the timecodes of the heard audio show.
TEST_F(EngineTest, PitchChangesAreHeardAtOnce) {
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.I(XA_MSG_SET_INPUT_TIMECODE_GRANULARITY, 2);
  ASSERT_EQ(e.Open(TestData("kick128.mp3")), 30);
  e.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_INPUT_TIMECODE, 2000));
  PumpUntil([] { return false; }, 500);
  int64_t changed = NowNs();
  e.SI(XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER, "OUTPUT.DIRECTSOUND.PITCH", 1200);
  // Hundredths of the track heard per hundredth of a second, from 150 ms after the change,
  // over a second: long enough that a late arrival barely counts.
  std::vector<std::pair<int64_t, int>> codes;
  ASSERT_TRUE(PumpUntil(
      [&] {
        codes.clear();
        for (const Note& n : e.Of(XA_MSG_NOTIFY_INPUT_TIMECODE))
          if (n.atNs > changed + 150000000LL)
            codes.push_back({n.atNs, (n.bytes[1] * 60 + n.bytes[2]) * 100 + n.bytes[3]});
        return codes.size() >= 10 && codes.back().first - codes.front().first >= 1000000000LL;
      },
      10000));
  double speed = (codes.back().second - codes.front().second) /
                 ((codes.back().first - codes.front().first) / 1e7);
  EXPECT_NEAR(speed, 1.2, 0.06);
}

TEST_F(EngineTest, EqualizerBandAttenuatesItsFrequencies) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  ASSERT_EQ(e.Open(TestData("tones3.mp3")), 3);
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture flat = Take(e);

  // 5 kHz lies in band 7 (about 689 Hz each); 300 Hz in band 0.
  XA_EqualizerInfo eq{};
  for (int b = 6; b <= 8; ++b) eq.left[b] = eq.right[b] = -90;
  e.P(XA_MSG_SET_CODEC_EQUALIZER, &eq);
  size_t from = e.Notes().size();
  e.N(XA_MSG_GET_CODEC_EQUALIZER);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_CODEC_EQUALIZER, 2000, from));
  EXPECT_EQ(std::memcmp(&e.Of(XA_MSG_NOTIFY_CODEC_EQUALIZER).back().equalizer, &eq, sizeof(eq)), 0);
  ASSERT_EQ(e.Open(TestData("tones3.mp3")), 3);
  ASSERT_TRUE(e.PlayToEnd(10000));
  Capture cut = Take(e);

  size_t at = 44100, n = 44100;
  double low0 = ToneLevel(flat, 0, at, n, 300), high0 = ToneLevel(flat, 0, at, n, 5000);
  double low1 = ToneLevel(cut, 0, at, n, 300), high1 = ToneLevel(cut, 0, at, n, 5000);
  EXPECT_GT(high0, 0.2);
  EXPECT_NEAR(low1 / low0, 1.0, 0.1);
  EXPECT_LT(20 * std::log10(high1 / high0), -20.0);
}

TEST_F(EngineTest, VolumeBalanceAndChannelMode) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  auto take = [&](int balance, int level, int channels, bool mute) {
    e.I(XA_MSG_SET_OUTPUT_CHANNELS, channels);
    e.III(XA_MSG_SET_OUTPUT_VOLUME, balance, level, -1);
    if (mute) e.N(XA_MSG_COMMAND_OUTPUT_MUTE);
    EXPECT_EQ(e.Open(TestData("short4.mp3")), 4);
    EXPECT_TRUE(e.PlayToEnd(10000));
    return Take(e);
  };
  Capture full = take(50, 100, 0, false);
  Capture silent = take(-1, 0, 0, false);
  Capture left = take(0, 100, 3, false);
  Capture right = take(100, -1, 3, false);
  Capture both = take(50, -1, 3, false);
  Capture muted = take(50, 100, 0, true);
  Capture unmuted = take(-1, -1, 0, false);  // a volume alone ends the cut

  size_t at = 4410, n = 150000;
  double fl = Rms(full, 0, at, n), fr = Rms(full, 1, at, n);
  EXPECT_GT(fl, 0.05);
  EXPECT_GT(fr, 0.05);
  EXPECT_LT(Rms(silent, 0, at, n) + Rms(silent, 1, at, n), 1e-6);
  // Mode 3: the deck is heard on one side only, whole (both channels mixed).
  EXPECT_GT(Rms(left, 0, at, n), 0.5 * fl);
  EXPECT_LT(Rms(left, 1, at, n), 1e-6);
  EXPECT_GT(Rms(right, 1, at, n), 0.5 * fr);
  EXPECT_LT(Rms(right, 0, at, n), 1e-6);
  // Balance 50 in mode 3: the same whole deck on both sides, as loud as on one side alone.
  EXPECT_NEAR(Rms(both, 0, at, n), Rms(left, 0, at, n), 0.01 * fl);
  EXPECT_NEAR(Rms(both, 1, at, n), Rms(left, 0, at, n), 0.01 * fl);
  EXPECT_LT(Rms(muted, 0, at, n), 1e-6);
  EXPECT_NEAR(Rms(unmuted, 0, at, n), fl, fl * 0.01);
}

TEST_F(EngineTest, TwoPlayersOnOneDeviceAreMixed) {
  UseCapture(true);
  Engine a, b;
  ASSERT_TRUE(a.Ready() && b.Ready());
  a.I(XA_MSG_SET_OUTPUT_CHANNELS, 3);
  a.III(XA_MSG_SET_OUTPUT_VOLUME, 0, 100, -1);
  b.I(XA_MSG_SET_OUTPUT_CHANNELS, 3);
  b.III(XA_MSG_SET_OUTPUT_VOLUME, 100, 100, -1);
  ASSERT_EQ(a.Open(TestData("tones3.mp3")), 3);
  ASSERT_EQ(b.Open(TestData("short4.mp3")), 4);
  size_t fa = a.Notes().size(), fb = b.Notes().size();
  a.N(XA_MSG_COMMAND_PLAY);
  b.N(XA_MSG_COMMAND_PLAY);
  ASSERT_TRUE(PumpUntil(
      [&] {
        auto eos = [](Engine& e, size_t from) {
          for (size_t i = from; i < e.Notes().size(); ++i)
            if (e.Notes()[i].code == XA_MSG_NOTIFY_PLAYER_STATE &&
                e.Notes()[i].bytes[0] == XA_PLAYER_STATE_EOS)
              return true;
          return false;
        };
        return eos(a, fa) && eos(b, fb);
      },
      10000));
  a.N(XA_MSG_COMMAND_OUTPUT_CLOSE);
  size_t from = b.Notes().size();
  b.N(XA_MSG_COMMAND_OUTPUT_CLOSE);
  b.WaitFor(XA_MSG_NOTIFY_OUTPUT_STATE, 2000, from);
  PumpUntil([] { return false; }, 100);
  Capture mix = ReadCapture(capture_);
  ASSERT_GT(mix.Frames(), 100000u);
  // Left: the tones of player a; right: the drums of player b, with no tone in them.
  EXPECT_GT(ToneLevel(mix, 0, 22050, 44100, 5000), 0.1);
  EXPECT_LT(ToneLevel(mix, 1, 22050, 44100, 5000), 0.01);
  EXPECT_GT(Rms(mix, 1, 22050, 44100), 0.05);
}

TEST_F(EngineTest, ListsTheOutputDevices) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.S(XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, "dsound_output_module_register@xdsound.dll");
  e.N(XA_MSG_COMMAND_OUTPUT_MODULES_LIST);
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO, 3000));
  Note d = e.Of(XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO)[0];
  EXPECT_NE(d.text1.find("dsound"), std::string::npos);
  EXPECT_NE(d.text2.find(':'), std::string::npos);
  EXPECT_EQ(d.bytes[1], 0);  // device index

  size_t from = e.Notes().size();
  e.S(XA_MSG_SET_OUTPUT_NAME, "/dev/other/0");
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_NACK, 2000, from));
  from = e.Notes().size();
  e.S(XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, "nothing@nowhere.dll");
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_NACK, 2000, from));
}

// Devices 1 and 2 of the capture record into files of their own, as a second and third
// sound card would play.
TEST_F(EngineTest, CaptureOffersMoreThanOneDevice) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  e.S(XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, "dsound_output_module_register@xdsound.dll");
  e.N(XA_MSG_COMMAND_OUTPUT_MODULES_LIST);
  ASSERT_TRUE(PumpUntil([&] { return e.Count(XA_MSG_NOTIFY_OUTPUT_DEVICE_INFO) >= 3; }, 3000));
  size_t from = e.Notes().size();
  e.S(XA_MSG_SET_OUTPUT_NAME, "/dev/dsound/1");
  ASSERT_EQ(e.Open(TestData("short4.mp3")), 4);
  ASSERT_TRUE(e.PlayToEnd(10000));
  EXPECT_EQ(e.Count(XA_MSG_NOTIFY_NACK, from), 0u);
  Take(e);
  Capture second = ReadCapture(capture_ + ".1.wav");
  EXPECT_NEAR(static_cast<double>(second.Frames()) / second.rate, 4.0, 0.2);
  EXPECT_GT(Rms(second, 0, 0, second.Frames()), 0.01);
}

// Handles that are not (or no longer) players, and output modules that leave entries out,
// are answered with errors.
TEST_F(EngineTest, RefusesDeadHandlesAndIncompleteModules) {
  Engine e;
  ASSERT_TRUE(e.Ready());
  HWND window = 0;
  void* p = nullptr;
  ASSERT_EQ(e.player_new_(&p, &window), XA_SUCCESS);
  ASSERT_EQ(e.player_delete_(p), XA_SUCCESS);
  EXPECT_EQ(e.control_message_send_N_(p, XA_MSG_COMMAND_PING), XA_ERROR_INVALID_PLAYER);
  EXPECT_EQ(e.player_delete_(p), XA_ERROR_INVALID_PLAYER);
  int notAPlayer[64] = {};
  EXPECT_EQ(e.control_message_send_N_(notAPlayer, XA_MSG_COMMAND_PING), XA_ERROR_INVALID_PLAYER);
  XA_Message m{};
  EXPECT_EQ(e.control_win32_params_to_message_(notAPlayer, &m, XA_WM_NOTIFY, 0, 0),
            XA_ERROR_INVALID_PLAYER);

  size_t from = e.Notes().size();
  e.S(XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER, "incomplete_register@incomplete_output.dll");
  ASSERT_TRUE(e.WaitFor(XA_MSG_NOTIFY_NACK, 2000, from));
  // The engine still plays through its own module.
  ASSERT_EQ(e.Open(TestData("short4.mp3")), 4);
  from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  EXPECT_TRUE(e.WaitForState(XA_PLAYER_STATE_PLAYING, 3000, from));
  e.N(XA_MSG_COMMAND_STOP);
}

// Damaged, hostile and foreign files: each is answered with notifications, nothing hangs,
// and the player plays a good file afterwards. A file that holds no MPEG audio stream is
// refused at the open, however many of its bytes pass for frames (sound and pictures under
// an MP3's name); a stream plays whatever surrounds it.
TEST_F(EngineTest, SurvivesBadInput) {
  UseCapture(true);
  Engine e;
  ASSERT_TRUE(e.Ready());
  std::string good = kaztest::ReadFile(TestData("short4.mp3"));
  ASSERT_GT(good.size(), 50000u);
  std::mt19937 rng(7);
  auto random = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  };
  auto media = [](const char* name) {
    std::string s = kaztest::ReadFile(TestData(name));
    EXPECT_FALSE(s.empty()) << "no test media " << name;
    return s;
  };
  std::string id3(10, '\0');
  id3[0] = 'I', id3[1] = 'D', id3[2] = '3', id3[3] = 3;
  uint32_t tag = 1 << 20;  // a 1 MiB tag, syncsafe size
  id3[6] = static_cast<char>((tag >> 21) & 0x7F), id3[7] = static_cast<char>((tag >> 14) & 0x7F);
  id3[8] = static_cast<char>((tag >> 7) & 0x7F), id3[9] = static_cast<char>(tag & 0x7F);
  id3 += std::string(tag, 'x');
  constexpr int kRefused = -1, kSome = 0;
  struct Bad {
    const char* name;
    std::string bytes;
    int seconds;  // as the duration says, or kRefused, or kSome (at least one)
  } cases[] = {
      {"empty.mp3", "", kRefused},
      {"random.mp3", random(65536), kRefused},
      {"wave.mp3", media("wave.mp3"), kRefused},
      {"flac.mp3", media("flac.mp3"), kRefused},
      {"vorbis.mp3", media("vorbis.mp3"), kRefused},
      {"picture.mp3", media("picture.mp3"), kRefused},
      // Without its header, where two of its blocks pass for frames in a row.
      {"headless.mp3", media("flac.mp3").substr(159000), kRefused},
      {"truncated.mp3", good.substr(0, good.size() / 2), kSome},
      {"bigtag.mp3", id3 + good, 4},  // and lame's tag after it
      {"twotags.mp3", id3 + id3 + good, 4},
      {"junk.mp3", random(413) + good, 4},
      {"garbage.mp3", good.substr(0, 40000) + random(8192) + good.substr(40000), kSome},
  };
  size_t from = e.Notes().size();
  EXPECT_EQ(e.Open(dir_ + "/missing.mp3"), -1);
  EXPECT_TRUE(e.WaitFor(XA_MSG_NOTIFY_ERROR, 1000, from));
  // Said once, naming the file, and the input is closed even when none was open before.
  EXPECT_TRUE(e.WaitFor(XA_MSG_NOTIFY_INPUT_STATE, 1000, from));
  EXPECT_EQ(e.Count(XA_MSG_NOTIFY_ERROR, from), 1u);
  EXPECT_NE(e.Of(XA_MSG_NOTIFY_ERROR).back().text1.find("missing.mp3"), std::string::npos);
  for (const Bad& b : cases) {
    SCOPED_TRACE(b.name);
    std::string path = dir_ + "/" + b.name;
    kaztest::WriteFile(path, b.bytes);
    from = e.Notes().size();
    int duration = e.Open(path);
    if (b.seconds == kRefused) {
      ASSERT_EQ(duration, -1);
      EXPECT_EQ(e.Count(XA_MSG_NOTIFY_ERROR, from), 1u);
      EXPECT_NE(e.Of(XA_MSG_NOTIFY_ERROR).back().text1.find(b.name), std::string::npos);
      EXPECT_NE(e.Of(XA_MSG_NOTIFY_ERROR).back().text1.find("not an MPEG audio stream"),
                std::string::npos);
      from = e.Notes().size();
      e.N(XA_MSG_COMMAND_PLAY);
      EXPECT_TRUE(e.WaitFor(XA_MSG_NOTIFY_NACK, 2000, from));
      EXPECT_FALSE(e.WaitForState(XA_PLAYER_STATE_PLAYING, 0, from)) << "played";
    } else {
      if (b.seconds == kSome) {
        EXPECT_GE(duration, 1);
      } else {
        EXPECT_EQ(duration, b.seconds);
      }
      // Whatever decodes plays to its end.
      EXPECT_TRUE(e.PlayToEnd(10000));
    }
    EXPECT_EQ(e.Open(TestData("short4.mp3")), 4);
  }
  EXPECT_TRUE(e.PlayToEnd(10000));
}

}  // namespace
