// The deck component with the real engine: a generated track opened and played, its
// duration, positions and timecodes arriving as events while the test pumps messages.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/XaudioPlayer.h"
#include "support/TestSupport.h"
#include "win32/Messages.h"

namespace {

using kaztest::PumpUntil;

TEST(XaudioPlayerEngine, PlaysAGeneratedTrackThroughItsEvents) {
  if (!std::filesystem::exists(kaztest::ProgramDir() + "/xaudio.dll"))
    GTEST_SKIP() << "the engine library is not built";
  const std::string track = std::string(KAZ_TESTDATA_DIR) + "/short4.mp3";
  if (!std::filesystem::exists(track)) GTEST_SKIP() << "no test media (lame missing)";

  auto x = std::make_unique<TXaudioPlayer>(nullptr);
  std::vector<Cardinal> durations;
  std::vector<std::pair<Cardinal, Cardinal>> positions;
  std::vector<int> timecodes;  // hundredths
  std::vector<std::string> errors;
  x->OnNotifyStreamDuration = [&](TObject* s, Cardinal d) {
    EXPECT_EQ(s, x.get());
    durations.push_back(d);
  };
  x->OnNotifyInputPosition = [&](TObject*, Cardinal o, Cardinal r) { positions.push_back({o, r}); };
  x->OnNotifyInputTimecode = [&](TObject*, Byte h, Byte m, Byte s, Byte f) {
    timecodes.push_back(((h * 60 + m) * 60 + s) * 100 + f);
  };
  x->OnNotifyError = [&](TObject*, Byte, Smallint, const String& msg) { errors.push_back(msg); };

  EXPECT_EQ(x->GetVersion(2), 0u);
  EXPECT_EQ(x->SetInputPositionRange(1000), 0);
  Cardinal v = x->GetVersion(2);
  EXPECT_EQ((v >> 16) & 0xFF, 3u);
  EXPECT_EQ((v >> 8) & 0xFF, 8u);
  x->SetInputTimecodeGranularity(10);
  x->InputOpen(track);
  x->Play();
  bool heard = PumpUntil(
      [&] { return !durations.empty() && positions.size() >= 3 && timecodes.size() >= 3; }, 10000);
  ASSERT_TRUE(heard) << "durations " << durations.size() << ", positions " << positions.size()
                     << ", timecodes " << timecodes.size();
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_EQ(durations.front(), 4u);
  for (auto [offset, range] : positions) {
    EXPECT_EQ(range, 1000u);
    EXPECT_LE(offset, 1000u);
  }
  for (size_t i = 1; i < timecodes.size(); ++i) EXPECT_GE(timecodes[i], timecodes[i - 1]);
  EXPECT_LE(timecodes.back(), 400);

  // Torn down while the engine still plays and posts.
  x->Stop();
  x.reset();
  PumpUntil([] { return false; }, 100);
}

}  // namespace
