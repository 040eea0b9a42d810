// The analyser component over the real "xanalyze.dll". The program defines the library's
// process entry point itself (exported, so the component binds to it first): it counts the
// calls, hands them on to the real library, and can replace the status it answers.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "engine/XAnalyzer.h"

namespace {

int g_calls = 0;
std::optional<int> g_status;  // answered instead of the library's status when set

std::string Media(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

}  // namespace

extern "C" int xanalyzer_process_file(void* analyzer, const char* filename,
                                      XA_AnalyzerFileInfo* info, int32_t stopMask, int32_t watchDog,
                                      int32_t maxFrames) {
  static auto real =
      reinterpret_cast<XA_AnalyzerProcessFileFn>(dlsym(RTLD_NEXT, "xanalyzer_process_file"));
  ++g_calls;
  int status = real(analyzer, filename, info, stopMask, watchDog, maxFrames);
  return g_status ? *g_status : status;
}

namespace {

class XAnalyzerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(Media("kick128.mp3"))) GTEST_SKIP() << "no generated test media";
    g_calls = 0;
    g_status.reset();
    a_.SetMaxFrames(1);
  }
  TXAnalyzer a_{nullptr};
};

TEST_F(XAnalyzerTest, EveryWriteOfTheNameAnalysesAgain) {
  a_.SetFileName(Media("kick128.mp3"));
  a_.SetFileName(Media("kick128.mp3"));
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(a_.FileName(), Media("kick128.mp3"));
  EXPECT_EQ(a_.Comment(), "BPM=128");
  EXPECT_EQ(a_.Layer(), 3u);
  EXPECT_EQ(a_.Duration(), 30000u);
  EXPECT_EQ(a_.Frequency(), 44100u);
  EXPECT_EQ(a_.Bitrate(), 192u);
  EXPECT_GT(a_.Frames(), 0u);
  // Texts the tag does not have read as empty.
  EXPECT_EQ(a_.Title(), "");
  EXPECT_EQ(a_.Artist(), "");
  EXPECT_EQ(a_.Genre(), 255);
}

TEST_F(XAnalyzerTest, OnlyTheLowWordOfTheStatusCounts) {
  // High bits set, low word 0: a success, the record as the library filled it.
  g_status = 0x7FFF0000;
  a_.SetFileName(Media("kick128.mp3"));
  EXPECT_EQ(a_.Duration(), 30000u);
  EXPECT_NE(a_.Flags(), 0u);

  // A failure clears frames, duration and flags only; the rest stays as the library left it.
  g_status = 0x00000001;
  a_.SetFileName(Media("kick128.mp3"));
  EXPECT_EQ(a_.Frames(), 0u);
  EXPECT_EQ(a_.Duration(), 0u);
  EXPECT_EQ(a_.Flags(), 0u);
  EXPECT_EQ(a_.Layer(), 3u);
  EXPECT_EQ(a_.Comment(), "BPM=128");
}

TEST_F(XAnalyzerTest, AFileThatCannotBeAnalysedReadsAsNothing) {
  a_.SetFileName(Media("kick128.mp3"));
  a_.SetFileName(Media("no such file.mp3"));
  EXPECT_EQ(a_.Duration(), 0u);
  EXPECT_EQ(a_.Frames(), 0u);
  EXPECT_EQ(a_.Comment(), "");
  a_.SetFileName("");
  EXPECT_EQ(a_.Duration(), 0u);
  EXPECT_EQ(g_calls, 3);
}

TEST_F(XAnalyzerTest, IsOwnedLikeAnyComponent) {
  auto* owner = new TComponent(nullptr);
  auto* owned = new TXAnalyzer(owner);
  owned->SetFileName(Media("tag_v23.mp3"));
  EXPECT_EQ(owned->Title(), "Title One");
  EXPECT_EQ(owned->Year(), "1999");
  EXPECT_EQ(owned->Album(), "Album One");
  delete owner;  // deletes the analyser and its library handle with it
}

}  // namespace
