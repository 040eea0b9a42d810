// How well the lamps follow the beats: the generated beat set and the real tracks play
// through the engine and the output filter on the capture sink, unpaced (faster than real
// time), and the graph's beat rule runs over the levels reported. The offsets of the
// steps from the kicks come from the filter's meter itself on the same decoded audio,
// with the timing each of its readings carries (an unpaced sink has no moment of hearing);
// the road test measures them through the whole system in real time.
// Real music is scored against Essentia's multi-feature beat tracker (offline, hearing the
// whole minute), and aubio's live beat tracker is scored against it too, as the peer the
// lamps should match: from 5 s on, a beat found within 70 ms. Every track of the installed
// real music is scored, one "# " line each (tracks too short to score are noted and left
// out); with --meter the real tracks go through the meter alone (the same levels, much
// faster), with --dump DIR each track's steps and both trackers' beats are written to DIR
// as text, with --music DIR the OGG files of another folder are scored instead (music held
// out from tuning), and names on the command line pick the tracks. Prints "name value" lines:
//   synthetic_recall             share of the generated kicks that gave exactly one step
//   synthetic_extra_rate         steps near no kick (or a kick's second), per kick
//   synthetic_offset_median_ms   of the steps from their kicks
//   synthetic_offset_p95_ms      95th percentile of their size
//   real_f_measure               the lamps' F over every track, pooled: the harmonic mean
//                                of real_beats_lit and real_on_beat_rate
//   real_beats_lit               recall: share of the reference beats with a step within 70 ms
//   real_on_beat_rate            precision: share of the steps within 70 ms of a reference beat
//   peer_f_measure               aubio's F, pooled the same way over the same tracks
//   real_vs_peer                 real_f_measure / peer_f_measure
//   real_agreed_min_f            the lowest lamps' F over the tracks where aubio's F >= 0.8
//                                (nan when there is none)
//   real_steps_vs_reference      steps a minute over the reference's beats a minute
//   real_doubles_per_minute      steps less than 150 ms after the step before, a minute
//   filter_block_cost_percent    the meter's time for a window of audio, in % of its length
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BeatRule.h"
#include "BeatScore.h"
#include "EngineHarness.h"
#include "RealMusic.h"
#include "filter/LevelMeter.h"
#include "filter/filter.h"
#include "xaudio/Decoder.h"

using namespace kazout;

namespace {

double Seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

const kazout::FilterLibrary* g_filter = nullptr;

// The levels deck 1's filter reports while the track plays to its end, unpaced.
std::vector<int32_t> PlayedLevels(const std::string& mp3) {
  std::vector<int32_t> levels;
  Engine e;
  if (!e.Ready()) return levels;
  g_filter->ReportTo(e.Window());
  e.OnMessage = [&](UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_DECK_LEVEL && l == 1) levels.push_back(static_cast<int32_t>(w));
  };
  e.SI(XA_MSG_COMMAND_OUTPUT_ADD_FILTER, "output_filter_module_register1@filter.dll", 0);
  if (e.Open(mp3) <= 0) return levels;
  size_t from = e.Notes().size();
  e.N(XA_MSG_COMMAND_PLAY);
  e.WaitForState(XA_PLAYER_STATE_EOS, 120000, from);
  PumpUntil([] { return false; }, 300);
  return levels;
}

// Step times by report index: the report's window after it, less the lead, and the middle
// of that window for where its beat starts.
std::vector<double> IndexSteps(const std::vector<int32_t>& levels, double window) {
  std::vector<double> steps;
  for (int m : Beats(levels)) steps.push_back((m + 1.5 - kReportLead) * window);
  return steps;
}

// The meter on the decoded track, and the steps timed as its readings say.
std::vector<double> MeterSteps(const std::string& mp3, double* costPercent) {
  std::vector<double> steps;
  xaudio::Decoder d;
  std::string why;
  if (d.Open(mp3, &why) != XA_SUCCESS) return steps;
  std::vector<float> pcm, buf(1152 * 2);
  long n;
  while ((n = d.Read(buf.data(), 1152, &why)) > 0)
    pcm.insert(pcm.end(), buf.begin(), buf.begin() + n * 2);
  filter::LevelMeter meter;
  meter.SetRate(d.Rate());
  std::vector<filter::Reading> readings;
  auto keep = [&](const filter::Reading& r) { readings.push_back(r); };
  const double start = Seconds();
  const size_t frames = pcm.size() / 2;
  for (size_t at = 0; at < frames; at += 1152)
    meter.Process(pcm.data() + at * 2, static_cast<uint32_t>(std::min<size_t>(1152, frames - at)),
                  keep);
  const double spent = Seconds() - start;
  *costPercent = 100.0 * spent / (static_cast<double>(frames) / d.Rate());
  meter.Finish(kReportLead, keep);
  std::vector<int32_t> levels;
  for (const auto& r : readings) levels.push_back(r.level);
  for (int m : Beats(levels))
    steps.push_back(
        static_cast<double>(readings[m].timedFrame - kReportLead * meter.WindowFrames()) /
        meter.Rate());
  return steps;
}

// The real tracks to score, whether to score them through the meter alone (on the decoded
// audio, no engine: the same levels, much faster, for trying changes to the meter), and
// where to write what was scored.
struct Options {
  bool meterOnly = false;
  std::string dump;                      // none: nothing written
  std::string music = kRealMusicFolder;  // where the real tracks' OGG files are
  std::vector<std::string> names;        // none: every track there
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--meter")
      o.meterOnly = true;
    else if (arg == "--dump" && i + 1 < argc)
      o.dump = argv[++i];
    else if (arg == "--music" && i + 1 < argc)
      o.music = argv[++i];
    else
      o.names.push_back(arg);
  }
  if (o.names.empty()) o.names = AllRealTrackNames(o.music);
  return o;
}

void Synthetic(const Options& o, std::vector<double>* cost) {
  int kicks = 0, single = 0, extra = 0;
  std::vector<double> offsets;
  for (const char* name : {"beats092", "beats122", "beats140", "beats174", "kick128"}) {
    const std::string base = std::string(KAZ_TESTDATA_DIR) + "/" + name;
    std::vector<double> times = ReadTimes(base + ".kicks");
    double c = 0;
    std::vector<double> timedSteps = MeterSteps(base + ".mp3", &c);
    // beats140 is at 22.05 kHz: its windows are 512 frames, the same 23.2 ms.
    KickScore played =
        o.meterOnly ? ScoreKicks(times, timedSteps)
                    : ScoreKicks(times, IndexSteps(PlayedLevels(base + ".mp3"), 1024.0 / 44100));
    kicks += played.kicks;
    single += played.single;
    extra += played.extra;
    KickScore timed = ScoreKicks(times, timedSteps);
    offsets.insert(offsets.end(), timed.offsetsMs.begin(), timed.offsetsMs.end());
    cost->push_back(c);
  }
  std::vector<double> abs;
  for (double o : offsets) abs.push_back(std::fabs(o));
  std::printf("synthetic_recall %.3f\n", kicks ? static_cast<double>(single) / kicks : 0.0);
  std::printf("synthetic_extra_rate %.3f\n", kicks ? static_cast<double>(extra) / kicks : 0.0);
  std::printf("synthetic_offset_median_ms %.2f\n", Percentile(offsets, 0.5));
  std::printf("synthetic_offset_p95_ms %.2f\n", Percentile(abs, 0.95));
}

// A track's steps, one time a line, and both trackers' beats beside them, for a closer look.
void Dump(const std::string& dir, const RealTrack& t, const std::vector<double>& steps) {
  namespace fs = std::filesystem;
  fs::create_directories(dir);
  std::ofstream out(dir + "/" + t.name + ".steps");
  char line[32];
  for (double s : steps) {
    std::snprintf(line, sizeof line, "%.4f\n", s);
    out << line;
  }
  const auto overwrite = fs::copy_options::overwrite_existing;
  fs::copy_file(t.reference, dir + "/" + t.name + ".essentia.beats", overwrite);
  fs::copy_file(t.peer, dir + "/" + t.name + ".aubio.beats", overwrite);
}

void Real(const Options& o) {
  const std::string missing = MissingForRealMusic();
  if (!missing.empty()) std::fprintf(stderr, "no real music scored: %s missing\n", missing.c_str());
  // Music from another folder is made into a folder of its own, named after it.
  std::string made = std::string(KAZ_TESTDATA_DIR) + "/real";
  if (o.music != kRealMusicFolder)
    made += "-" + std::filesystem::path(o.music).parent_path().filename().string();
  const std::vector<RealTrack> tracks = PrepareRealTracks(made, o.names, o.music);
  if (missing.empty() && tracks.size() < o.names.size())
    std::printf("# %zu of %zu tracks could not be made\n", o.names.size() - tracks.size(),
                o.names.size());
  RealScore lamps, peer;
  double agreedMinF = NAN;
  for (const RealTrack& t : tracks) {
    const std::vector<double> reference = ReadTimes(t.reference), aubio = ReadTimes(t.peer);
    const RealScore span = ScoreReal(reference, {});
    if (span.TooShort()) {
      std::printf("# %-14s too short to score (%.1f s of beats from 5 s on)\n", t.name.c_str(),
                  span.minutes * 60);
      continue;
    }
    double c = 0;
    std::vector<double> steps =
        o.meterOnly ? MeterSteps(t.mp3, &c) : IndexSteps(PlayedLevels(t.mp3), 1024.0 / 44100);
    if (!o.dump.empty()) Dump(o.dump, t, steps);
    const RealScore s = ScoreReal(reference, steps), p = ScoreReal(reference, aubio);
    std::printf(
        "# %-14s %5.1f BPM %5.1f steps/min  recall %.2f  precision %.2f  F %.2f  "
        "aubio F %.2f  doubles %d\n",
        t.name.c_str(), ReferenceBpm(reference), s.StepsPerMinute(), s.Recall(), s.Precision(),
        s.F(), p.F(), s.doubles);
    lamps += s;
    peer += p;
    if (p.F() >= 0.8) agreedMinF = std::isnan(agreedMinF) ? s.F() : std::min(agreedMinF, s.F());
  }
  std::printf("real_f_measure %.3f\n", lamps.F());
  std::printf("real_beats_lit %.3f\n", lamps.Recall());
  std::printf("real_on_beat_rate %.3f\n", lamps.Precision());
  std::printf("peer_f_measure %.3f\n", peer.F());
  std::printf("real_vs_peer %.3f\n", peer.F() > 0 ? lamps.F() / peer.F() : 0.0);
  std::printf("real_agreed_min_f %.3f\n", agreedMinF);
  std::printf("real_steps_vs_reference %.3f\n",
              lamps.BeatsPerMinute() > 0 ? lamps.StepsPerMinute() / lamps.BeatsPerMinute() : 0.0);
  std::printf("real_doubles_per_minute %.3f\n", lamps.DoublesPerMinute());
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const std::string dir = kaztest::MakeTempDir("bench_beats");
  setenv("KAZ_WAV_CAPTURE", (dir + "/out.wav").c_str(), 1);
  setenv("KAZ_WAV_UNPACED", "1", 1);
  // As fast as the level reports can follow on a slow machine; faster, the sender drops them.
  setenv("KAZ_WAV_SPEEDUP", kazout::kReportSpeedup, 1);
  const kazout::FilterLibrary filter;
  if (!filter.Loaded()) {
    std::fprintf(stderr, "filter.dll not found\n");
    return 1;
  }
  g_filter = &filter;
  std::vector<double> cost;
  Synthetic(options, &cost);
  Real(options);
  std::printf("filter_block_cost_percent %.3f\n", Percentile(cost, 0.5));
  return 0;
}
