// What the analyser costs per file over the least any reader of the same facts must do: a
// bare mpg123 open of the file, its way to the first frame (which reads the ID3v2 tag), the
// tag texts, and the close. Both run over the same files with warm caches, alternately, and
// the fastest of several passes counts for each. The analyser is timed through the
// component, as the explorer uses it.
//
// Figures:
//   analyse_us_per_file, raw_us_per_file, analyse_cost_vs_raw
//       short tagged files without an index, as the explorer bench lists them; both given
//       the file's Linux path
//   analyse_windows_path_us_per_file
//       the same analyses given Windows paths of a drive: the platform's path translation
//       comes on top, for any reader of the file alike
//   analyse_cost_vs_raw_long, analyse_cost_vs_raw_long_noindex
//       three-minute tagged files with and without lame's index: the length must come
//       without a scan
#include "bench/AnalyseCostBench.h"

#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/XAnalyzer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPasses = 7;

bool Encode(const std::string& dir, const std::string& name, const std::string& seconds,
            const std::string& lameOptions) {
  const std::string wav = dir + "/" + name + ".wav";
  const std::string synth = std::string(KAZ_BIN_DIR) + "/kaz_drumsynth";
  const std::string cmd = "'" + synth + "' '" + wav + "' --bpm 126 --seconds " + seconds +
                          " >/dev/null 2>&1 && lame --quiet " + lameOptions + " '" + wav + "' '" +
                          dir + "/" + name + ".mp3' >/dev/null 2>&1";
  const bool ok = std::system(cmd.c_str()) == 0;
  fs::remove(wav);
  return ok;
}

// Files of one sound, each with a tempo comment of its own.
std::vector<std::string> Copies(const std::string& dir, const std::string& name, int count,
                                const std::string& seconds, const std::string& lameOptions) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    const std::string n = name + std::to_string(i);
    const std::string bpm = std::to_string(100 + i % 60);
    if (!Encode(dir, n, seconds, lameOptions + " --id3v2-only --tc BPM=" + bpm)) return {};
    names.push_back(n + ".mp3");
  }
  return names;
}

double RawPass(mpg123_handle* mh, const std::string& dir, const std::vector<std::string>& names) {
  const auto t0 = Clock::now();
  for (const std::string& n : names) {
    if (mpg123_open(mh, (dir + "/" + n).c_str()) != MPG123_OK) continue;
    long rate = 0;
    int channels = 0, encoding = 0;
    mpg123_getformat(mh, &rate, &channels, &encoding);
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    mpg123_id3(mh, &v1, &v2);
    mpg123_close(mh);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / names.size();
}

double AnalysePass(TXAnalyzer& analyser, const std::string& dir,
                   const std::vector<std::string>& names, char separator) {
  const auto t0 = Clock::now();
  size_t read = 0;
  for (const std::string& n : names) {
    analyser.SetFileName(dir + separator + n);
    read += analyser.Comment().size();
  }
  if (read == 0) std::fprintf(stderr, "the analyser read no comment\n");
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / names.size();
}

struct Costs {
  double analyse = 1e99, raw = 1e99, windows = 1e99;
};

// Fastest pass of each, taken in turns so that all see the same cache state.
Costs Measure(const std::string& dir, const std::string& winDir,
              const std::vector<std::string>& names) {
  mpg123_init();
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET, 0.0);
  TXAnalyzer analyser(nullptr);
  analyser.SetMaxFrames(1);
  Costs c;
  for (int pass = 0; pass < kPasses; ++pass) {
    c.raw = std::min(c.raw, RawPass(mh, dir, names));
    c.analyse = std::min(c.analyse, AnalysePass(analyser, dir, names, '/'));
    c.windows = std::min(c.windows, AnalysePass(analyser, winDir, names, '\\'));
  }
  mpg123_delete(mh);
  return c;
}

}  // namespace

void AnalyseCostFigures() {
  // The platform settles on its prefix at first use: keep the one in force, if any.
  const char* given = std::getenv("KAZ_PREFIX");
  std::string prefix;
  if (given) {
    prefix = given;
  } else {
    char tmpl[] = "/tmp/kazanalyse-XXXXXX";
    prefix = mkdtemp(tmpl);
    setenv("KAZ_PREFIX", prefix.c_str(), 1);
  }
  const std::string drive = prefix + "/analyse_d";
  const std::string link = prefix + "/dosdevices/d:";
  std::error_code ec;
  fs::remove(link, ec);
  fs::remove_all(drive, ec);
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(drive);
  fs::create_directory_symlink(drive, link);

  const auto shortFiles = Copies(drive, "short", 200, "1", "-b 128 -t");
  const auto longFiles = Copies(drive, "long", 2, "180", "-b 192");
  const auto plainFiles = Copies(drive, "plain", 2, "180", "-b 192 -t");
  if (shortFiles.empty() || longFiles.empty() || plainFiles.empty()) {
    std::fprintf(stderr, "could not make the MP3 files (kaz_drumsynth and lame needed)\n");
  } else {
    const Costs s = Measure(drive, "D:", shortFiles);
    const Costs l = Measure(drive, "D:", longFiles);
    const Costs p = Measure(drive, "D:", plainFiles);
    std::printf("analyse_us_per_file %.1f\n", s.analyse);
    std::printf("raw_us_per_file %.1f\n", s.raw);
    std::printf("analyse_cost_vs_raw %.2f\n", s.analyse / s.raw);
    std::printf("analyse_windows_path_us_per_file %.1f\n", s.windows);
    std::printf("analyse_cost_vs_raw_long %.2f\n", l.analyse / l.raw);
    std::printf("analyse_cost_vs_raw_long_noindex %.2f\n", p.analyse / p.raw);
  }
  fs::remove(link, ec);
  fs::remove_all(given ? drive : prefix, ec);
}
