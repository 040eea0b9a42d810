// The file analyser library through its entry points, on generated MP3s with each kind of
// tag, on streams with and without an index, and on files that are broken or not MP3 at all.
#include <gtest/gtest.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "Id3Builder.h"
#include "support/TestSupport.h"
#include "xanalyze/xanalyze.h"

using namespace kaztest;

namespace {

std::string Media(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

bool HaveMedia() {
  return std::filesystem::exists(Media("tag_v23.mp3"));
}

struct Result {
  int status = -1;
  XA_AnalyzerFileInfo info{};
  std::optional<std::string> title, artist, album, year, comment;
};

std::optional<std::string> Copy(const char* p) {
  return p ? std::optional<std::string>(p) : std::nullopt;
}

class Analyzer {
 public:
  Analyzer() { xanalyzer_new(&handle_); }
  ~Analyzer() { xanalyzer_delete(handle_); }
  Result Run(const std::string& path) {
    Result r;
    r.status = xanalyzer_process_file(handle_, path.c_str(), &r.info, 0, 0, 1);
    r.title = Copy(r.info.title);
    r.artist = Copy(r.info.artist);
    r.album = Copy(r.info.album);
    r.year = Copy(r.info.year);
    r.comment = Copy(r.info.comment);
    return r;
  }

 private:
  void* handle_ = nullptr;
};

// The samples a decoder gets out of the file after reading every frame.
int64_t DecodedSamples(const std::string& path, long* rate) {
  mpg123_init();
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
  int64_t n = -1;
  int ch = 0, enc = 0;
  if (mpg123_open(mh, path.c_str()) == MPG123_OK &&
      mpg123_getformat(mh, rate, &ch, &enc) == MPG123_OK && mpg123_scan(mh) == MPG123_OK)
    n = mpg123_length(mh);
  mpg123_delete(mh);
  return n;
}

// Duration within one frame of what the decoder plays, and of `seconds` when given.
void ExpectDurationWithinAFrame(const std::string& path, const Result& r, double seconds = 0) {
  long rate = 0;
  int64_t truth = DecodedSamples(path, &rate);
  ASSERT_GT(truth, 0) << path;
  double frameMs = (r.info.level == 1 ? 1152.0 : 576.0) * 1000.0 / rate;
  EXPECT_NEAR(r.info.duration, truth * 1000.0 / rate, frameMs) << path;
  if (seconds > 0) {
    EXPECT_NEAR(r.info.duration, seconds * 1000.0, frameMs) << path;
  }
}

std::string Slurp(const std::string& path) {
  return ReadFile(path);
}

// A WAV file of a loud sawtooth: PCM whose bytes are anything but MPEG frames.
std::string Riff() {
  std::string pcm;
  for (int i = 0; i < 200000; ++i) {
    const auto v = static_cast<int16_t>((i * 977) % 65536 - 32768);
    pcm += static_cast<char>(v & 0xFF);
    pcm += static_cast<char>((v >> 8) & 0xFF);
  }
  auto le32 = [](uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  std::string fmt("\x01\x00\x02\x00", 4);
  fmt += le32(44100) + le32(44100 * 4) + std::string("\x04\x00\x10\x00", 4);
  return "RIFF" + le32(static_cast<uint32_t>(36 + pcm.size())) + "WAVEfmt " + le32(16) + fmt +
         "data" + le32(static_cast<uint32_t>(pcm.size())) + pcm;
}

class XanalyzeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveMedia()) GTEST_SKIP() << "no generated test media";
    dir_ = MakeTempDir("xanalyze");
  }
  // A file of the test's own, made of the given bytes.
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  // An untagged stream behind the given tag.
  std::string Tagged(const std::string& name, const std::string& tag) {
    return Write(name, tag + Slurp(Media("tones3.mp3")));
  }

  Analyzer a_;
  std::string dir_;
};

TEST_F(XanalyzeTest, ReadsTheTagsLameWrites) {
  Result v1 = a_.Run(Media("tag_v1.mp3"));
  ASSERT_EQ(v1.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(v1.title, "Title One");
  EXPECT_EQ(v1.artist, "Artist One");
  EXPECT_EQ(v1.album, "Album One");
  EXPECT_EQ(v1.year, "1999");
  EXPECT_EQ(v1.comment, "BPM=125");
  EXPECT_EQ(v1.info.genre, 18);  // Techno
  EXPECT_EQ(v1.info.flags & (XA_ANALYZER_FLAG_ID3V1 | XA_ANALYZER_FLAG_ID3V2),
            XA_ANALYZER_FLAG_ID3V1);

  Result v2 = a_.Run(Media("tag_v23.mp3"));
  ASSERT_EQ(v2.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(v2.title, "Title One");
  EXPECT_EQ(v2.year, "1999");
  EXPECT_EQ(v2.comment, "BPM=126.5");
  EXPECT_EQ(v2.info.genre, 18);
  EXPECT_EQ(v2.info.flags & (XA_ANALYZER_FLAG_ID3V1 | XA_ANALYZER_FLAG_ID3V2),
            XA_ANALYZER_FLAG_ID3V2);

  // With both, the version 2 text wins: it is not cut to thirty bytes.
  Result both = a_.Run(Media("tag_both.mp3"));
  ASSERT_EQ(both.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(both.comment, "A comment longer than the thirty bytes of version 1");
  EXPECT_EQ(both.info.flags & (XA_ANALYZER_FLAG_ID3V1 | XA_ANALYZER_FLAG_ID3V2),
            XA_ANALYZER_FLAG_ID3V1 | XA_ANALYZER_FLAG_ID3V2);

  // No tag: no texts at all, and the stream as usual.
  Result none = a_.Run(Media("tones3.mp3"));
  ASSERT_EQ(none.status, XA_ANALYZER_SUCCESS);
  EXPECT_FALSE(none.title || none.artist || none.album || none.year || none.comment);
  EXPECT_EQ(none.info.genre, 255);
  EXPECT_EQ(none.info.flags & (XA_ANALYZER_FLAG_ID3V1 | XA_ANALYZER_FLAG_ID3V2), 0u);
}

TEST_F(XanalyzeTest, UnicodeTagsCrossInTheCodePage) {
  using kaztest::Id3Frame;
  // Version 2.4 in UTF-8: the year lives in the recording time; a described comment comes
  // before the plain one, which is the one shown.
  std::string v24 =
      Id3Tag(4, Id3Frame(4, "TIT2", Id3Text(3, "Caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5")) +
                    Id3Frame(4, "TPE1", Id3Text(3, "Bj\xC3\xB6rk")) +
                    Id3Frame(4, "TDRC", Id3Text(3, "2024-05-01")) +
                    Id3Frame(4, "TCON", Id3Text(3, "House")) +
                    Id3Frame(4, "COMM", Id3Comment(3, "iTunNORM", "0000 1111")) +
                    Id3Frame(4, "COMM", Id3Comment(3, "", "BPM=124")));
  Result r = a_.Run(Tagged("v24.mp3", v24));
  ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(r.title, "Caf\xE9 \x80 ?");  // the euro has a byte of its own; CJK does not
  EXPECT_EQ(r.artist, "Bj\xF6rk");
  EXPECT_EQ(r.year.value_or("").substr(0, 4), "2024");
  EXPECT_EQ(r.comment, "BPM=124");
  EXPECT_EQ(r.info.genre, 35);

  // Version 2.3 in UTF-16 with a byte order mark.
  std::string v23 =
      Id3Tag(3, Id3Frame(3, "TIT2", Id3Text(1, Utf16(u"\u0152uvre \u2122"))) +
                    Id3Frame(3, "COMM", Id3Comment(1, Utf16(u""), Utf16(u"BPM=130"))) +
                    Id3Frame(3, "TCON", Id3Text(0, "(31)")));
  r = a_.Run(Tagged("v23utf16.mp3", v23));
  ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(r.title, "\x8Cuvre \x99");
  EXPECT_EQ(r.comment, "BPM=130");
  EXPECT_EQ(r.info.genre, 31);
}

TEST_F(XanalyzeTest, StreamFactsOfEachMpegLevel) {
  struct Case {
    const char* file;
    uint32_t level, layer, frequency, mode, channels, bitrate;
  } cases[] = {
      {"short4.mp3", 1, 3, 44100, XA_ANALYZER_MODE_JOINT_STEREO, 2, 192},
      {"mono22.mp3", 2, 3, 22050, XA_ANALYZER_MODE_MONO, 1, 64},
      {"mpeg25.mp3", 3, 3, 11025, XA_ANALYZER_MODE_JOINT_STEREO, 2, 32},
  };
  for (const Case& c : cases) {
    Result r = a_.Run(Media(c.file));
    ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS) << c.file;
    EXPECT_EQ(r.info.level, c.level) << c.file;
    EXPECT_EQ(r.info.layer, c.layer) << c.file;
    EXPECT_EQ(r.info.frequency, c.frequency) << c.file;
    EXPECT_EQ(r.info.mode, c.mode) << c.file;
    EXPECT_EQ(r.info.channels, c.channels) << c.file;
    EXPECT_EQ(r.info.bitrate, c.bitrate) << c.file;
  }
}

TEST_F(XanalyzeTest, DurationWithinAFrameWithAndWithoutAnIndex) {
  // With lame's index the length is the encoded sound's exactly.
  for (auto [file, seconds] : {std::pair{"cbr128.mp3", 7.0},
                               {"vbr3.mp3", 3.0},
                               {"bench180.mp3", 180.0},
                               {"mono22.mp3", 3.0},
                               {"mpeg25.mp3", 3.0}}) {
    Result r = a_.Run(Media(file));
    ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS) << file;
    EXPECT_TRUE(r.info.flags & XA_ANALYZER_FLAG_EXACT) << file;
    ExpectDurationWithinAFrame(Media(file), r, seconds);
  }
  // Without one, what the decoder plays (the encoder's delay included).
  Result cbr = a_.Run(Media("cbr_noindex.mp3"));
  ASSERT_EQ(cbr.status, XA_ANALYZER_SUCCESS);
  EXPECT_FALSE(cbr.info.flags & XA_ANALYZER_FLAG_VBR);
  ExpectDurationWithinAFrame(Media("cbr_noindex.mp3"), cbr);

  Result vbr = a_.Run(Media("vbr_noindex.mp3"));
  ASSERT_EQ(vbr.status, XA_ANALYZER_SUCCESS);
  EXPECT_TRUE(vbr.info.flags & XA_ANALYZER_FLAG_VBR);
  ExpectDurationWithinAFrame(Media("vbr_noindex.mp3"), vbr);
  // A variable stream reports its average bitrate, not its first frame's.
  double bytes = static_cast<double>(std::filesystem::file_size(Media("vbr_noindex.mp3")));
  EXPECT_NEAR(vbr.info.bitrate, bytes * 8 / vbr.info.duration, 2.0);
}

TEST_F(XanalyzeTest, TheOtherEncodersIndexGivesTheLengthToo) {
  // A stream without lame's index, behind a first frame carrying a VBRI index of its frames.
  std::string stream = Slurp(Media("cbr_noindex.mp3"));
  ASSERT_GT(stream.size(), 4u);
  ASSERT_EQ(static_cast<unsigned char>(stream[0]), 0xFFu);
  long rate = 0;
  const int64_t samples = DecodedSamples(Media("cbr_noindex.mp3"), &rate);
  const uint32_t frames = static_cast<uint32_t>(samples / 1152);
  std::string index(417, '\0');
  index.replace(0, 4, stream.substr(0, 4));
  index[2] = static_cast<char>(index[2] & ~0x02);  // no padding: 417 bytes
  index.replace(36, 4, "VBRI");
  index.replace(46, 4, BigEndian(static_cast<uint32_t>(stream.size() + index.size())));
  index.replace(50, 4, BigEndian(frames));
  Result r = a_.Run(Write("vbri.mp3", index + stream));
  ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(r.info.frames, frames);
  EXPECT_NEAR(r.info.duration, frames * 1152.0 * 1000 / rate, 1.0);
  EXPECT_TRUE(r.info.flags & XA_ANALYZER_FLAG_EXACT);
}

TEST_F(XanalyzeTest, AnIndexClaimingTheImpossibleIsNotBelieved) {
  std::string stream = Slurp(Media("cbr128.mp3"));  // no tag: the index frame comes first
  ASSERT_EQ(stream.substr(36, 4), "Info");
  ASSERT_TRUE(stream[43] & 1);  // it holds a frame count
  for (uint32_t claim : {0x7FFFFFFFu, 3u}) {
    stream.replace(44, 4, BigEndian(claim));
    Result r = a_.Run(Write("claims.mp3", stream));
    ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS);
    EXPECT_NEAR(r.info.duration, 7000, 80) << claim;
  }
}

TEST_F(XanalyzeTest, ATruncatedFileLastsAsLongAsWhatIsLeft) {
  std::string whole = Slurp(Media("cbr128.mp3"));  // its index names all 7 seconds
  for (size_t keep : {whole.size() / 2, whole.size() / 2 + 100}) {
    std::string path = Write("cut.mp3", whole.substr(0, keep));
    Result r = a_.Run(path);
    ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS);
    EXPECT_LT(r.info.duration, 4000u);
    ExpectDurationWithinAFrame(path, r);
  }
  Result vbr = a_.Run(Write("cutvbr.mp3", Slurp(Media("vbr_noindex.mp3")).substr(0, 30000)));
  ASSERT_EQ(vbr.status, XA_ANALYZER_SUCCESS);
  ExpectDurationWithinAFrame(dir_ + "/cutvbr.mp3", vbr);
}

TEST_F(XanalyzeTest, WhatIsNotAnMp3FileFails) {
  struct Case {
    std::string path;
    int status;
  } cases[] = {
      {Write("notes.txt", std::string(5000, 'x') + "\nplain text\n"),
       XA_ANALYZER_ERROR_INVALID_STREAM},
      {Write("empty.mp3", ""), XA_ANALYZER_ERROR_INVALID_STREAM},
      {Write("sound.wav", Riff()), XA_ANALYZER_ERROR_INVALID_STREAM},
      {Write("zeros.mp3", std::string(200000, '\0')), XA_ANALYZER_ERROR_INVALID_STREAM},
      {Write("tagonly.mp3", Id3Tag(3, Id3Frame(3, "TIT2", Id3Text(0, "Alone")))),
       XA_ANALYZER_ERROR_INVALID_STREAM},
      {dir_ + "/missing.mp3", XA_ANALYZER_ERROR_NO_SUCH_FILE},
      {dir_ + "/nofolder/missing.mp3", XA_ANALYZER_ERROR_NO_SUCH_FILE},
      {dir_, XA_ANALYZER_ERROR_OPEN_FAILED},
  };
  for (const Case& c : cases) {
    Result r = a_.Run(c.path);
    EXPECT_EQ(r.status, c.status) << c.path;
    EXPECT_EQ(r.info.frames, 0u) << c.path;
    EXPECT_EQ(r.info.duration, 0u) << c.path;
  }
  // The texts of the previous file never leak into a failed analysis.
  ASSERT_EQ(a_.Run(Media("tag_v23.mp3")).status, XA_ANALYZER_SUCCESS);
  Result after = a_.Run(dir_ + "/missing.mp3");
  EXPECT_FALSE(after.title || after.comment);
  // Null arguments are refused, not crashed on.
  XA_AnalyzerFileInfo info{};
  EXPECT_EQ(xanalyzer_process_file(nullptr, "x", &info, 0, 0, 1),
            XA_ANALYZER_ERROR_INVALID_PARAMETERS);
  EXPECT_EQ(xanalyzer_new(nullptr), XA_ANALYZER_ERROR_INVALID_PARAMETERS);
}

TEST_F(XanalyzeTest, BrokenTagsLeaveTheStreamReadable) {
  using kaztest::Id3Frame;
  struct Case {
    const char* name;
    std::string tag;
  } cases[] = {
      // A frame claiming more bytes than its tag has.
      {"oversized",
       Id3Tag(3, Id3Frame(3, "TIT2", Id3Text(0, "Big"), 0x00FFFFFF) + std::string(64, '\0'))},
      {"oversized24", Id3Tag(4, Id3Frame(4, "COMM", Id3Comment(3, "", "x"), 0x0FFFFFFF))},
      // An encoding byte no version defines.
      {"encoding", Id3Tag(3, Id3Frame(3, "TIT2", Id3Text(9, "Nine")) +
                                 Id3Frame(3, "TPE1", Id3Text(0, "Fine")))},
      // UTF-16 of an odd length, and a description with no terminator.
      {"oddutf16", Id3Tag(3, Id3Frame(3, "TIT2", Id3Text(1, Utf16(u"Odd") + "A")))},
      {"noterm", Id3Tag(3, Id3Frame(3, "COMM",
                                    std::string("\x01"
                                                "eng",
                                                4) +
                                        Utf16(u"desc")))},
      // Malformed UTF-8 and an empty frame.
      {"badutf8",
       Id3Tag(4, Id3Frame(4, "TIT2", Id3Text(3, "a\xC3\x28z\xF0\x9F")) + Id3Frame(4, "TALB", ""))},
  };
  for (const Case& c : cases) {
    Result r = a_.Run(Tagged(std::string(c.name) + ".mp3", c.tag));
    ASSERT_EQ(r.status, XA_ANALYZER_SUCCESS) << c.name;
    EXPECT_EQ(r.info.layer, 3u) << c.name;
    EXPECT_NEAR(r.info.duration, 3000, 27) << c.name;
    if (r.title) {
      for (char ch : *r.title) EXPECT_NE(ch, '\0') << c.name;
    }
  }
  Result enc = a_.Run(dir_ + "/encoding.mp3");
  EXPECT_EQ(enc.artist, "Fine");
  Result utf8 = a_.Run(dir_ + "/badutf8.mp3");
  if (utf8.title) {
    EXPECT_EQ(utf8.title->find_first_not_of("az?("), std::string::npos) << *utf8.title;
  }

  // A tag whose size runs past the end of the file hides no stream and costs no time.
  Result absurd = a_.Run(Tagged("absurd.mp3", Id3Tag(3, "", 0x0FFFFFFF)));
  EXPECT_EQ(absurd.status, XA_ANALYZER_ERROR_INVALID_STREAM);
  EXPECT_EQ(absurd.info.duration, 0u);
}

TEST_F(XanalyzeTest, TakesWindowsPathsOnTheDrives) {
  std::string folder = MakeTempDir("drive_m");
  std::filesystem::create_directories(folder + "/Tracks");
  std::filesystem::copy_file(Media("tag_v23.mp3"), folder + "/Tracks/Tune.mp3");
  std::string link = Prefix() + "/dosdevices/m:";
  std::filesystem::create_directories(Prefix() + "/dosdevices");
  std::filesystem::remove(link);
  std::filesystem::create_directory_symlink(folder, link);
  Result r = a_.Run("m:\\tracks\\TUNE.MP3");
  EXPECT_EQ(r.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(r.comment, "BPM=126.5");
  EXPECT_EQ(a_.Run("M:\\Tracks\\Other.mp3").status, XA_ANALYZER_ERROR_NO_SUCH_FILE);
  EXPECT_EQ(a_.Run("Q:\\Nowhere\\Tune.mp3").status, XA_ANALYZER_ERROR_NO_SUCH_FILE);
}

TEST_F(XanalyzeTest, ReadsAFileItMayNotWrite) {
  std::string path = Write("locked.mp3", Slurp(Media("tag_v23.mp3")));
  chmod(path.c_str(), 0444);
  Result r = a_.Run(path);
  EXPECT_EQ(r.status, XA_ANALYZER_SUCCESS);
  EXPECT_EQ(r.comment, "BPM=126.5");
  chmod(path.c_str(), 0644);
}

}  // namespace
