// The explorer's scans of a folder of 1,000 short MP3 files, each with an ID3v2 comment
// "BPM=...", made here: the first scan analyses every tag, the second reads the tempi
// from "List.bpm". Prints `first_scan_ms`, `cached_scan_ms`, and `scan_max_gui_block_ms`,
// the longest time the window's message loop went unserved during either scan (measured
// by a 1 ms window timer: its longest gap between ticks).
#include "bench/ExplorerScanBench.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "classlib/Dialogs.h"
#include "classlib/Timers.h"
#include "player/uMain.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// An ID3v2.3 tag with one COMM frame (language "eng", empty description) holding Text.
std::string CommentTag(const std::string& text) {
  std::string body;
  body += '\0';  // ISO-8859-1
  body += "eng";
  body += '\0';  // empty description
  body += text;
  std::string frame = "COMM";
  const auto n = static_cast<std::uint32_t>(body.size());
  for (int shift : {24, 16, 8, 0}) frame += static_cast<char>((n >> shift) & 0xFF);
  frame += std::string(2, '\0');
  frame += body;
  std::string tag = "ID3";
  tag += '\x03';
  tag += '\0';
  tag += '\0';
  const auto size = static_cast<std::uint32_t>(frame.size());
  for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
  return tag + frame;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One short stream encoded once, then written 1,000 times behind tags of their own.
bool MakeFolder(const std::string& dir, int count) {
  fs::create_directories(dir);
  const std::string wav = dir + "/../tone.wav";
  const std::string mp3 = dir + "/../tone.mp3";
  const std::string synth = std::string(KAZ_BIN_DIR) + "/kaz_drumsynth";
  const std::string cmd = "'" + synth + "' '" + wav +
                          "' --bpm 128 --seconds 1 >/dev/null 2>&1 && " +
                          "lame --quiet -b 128 -t '" + wav + "' '" + mp3 + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return false;
  const std::string stream = ReadAll(mp3);
  if (stream.empty()) return false;
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/Track %04d.mp3", i);
    std::ofstream out(dir + name, std::ios::binary);
    out << CommentTag("BPM=" + std::to_string(100 + i % 60) + "." + std::to_string(i % 10))
        << stream;
  }
  return true;
}

}  // namespace

void ExplorerScanFigures() {
  // A prefix of its own, whose drive C: is the bench's folder.
  char tmpl[] = "/tmp/kazbench-XXXXXX";
  const std::string prefix = mkdtemp(tmpl);
  setenv("KAZ_PREFIX", prefix.c_str(), 1);
  const std::string runtime = prefix + "/runtime";
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 0);
  const std::string drive = prefix + "/c";
  fs::create_directories(prefix + "/dosdevices");
  fs::create_directories(drive);
  fs::create_directory_symlink(drive, prefix + "/dosdevices/c:");
  if (!MakeFolder(drive + "/Music", 1000)) {
    std::fprintf(stderr, "could not make the MP3 files (kaz_drumsynth and lame needed)\n");
    fs::remove_all(prefix);
    return;
  }

  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  SetDialogAnswererForTesting([](const TDialogRequest&) { return TDialogAnswer{IDOK, true, ""}; });
  Application->CreateForm(frmMain);
  frmMain->Show();
  Application->ProcessMessages();

  Clock::time_point lastTick = Clock::now();
  double maxGapMs = 0;
  auto* timer = new TTimer(frmMain);
  timer->SetInterval(1);
  timer->OnTimer = [&](TObject*) {
    const auto now = Clock::now();
    maxGapMs =
        std::max(maxGapMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
    lastTick = now;
  };
  auto scan = [&] {
    Application->ProcessMessages();
    lastTick = Clock::now();
    const auto t0 = Clock::now();
    frmMain->ScanFolder("C:\\Music", false);
    const auto t1 = Clock::now();
    // The stretch from the last tick to the scan's end counts too.
    maxGapMs = std::max(maxGapMs, std::chrono::duration<double, std::milli>(t1 - lastTick).count());
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
  };
  const double first = scan();
  const int listed = frmMain->ListFiles->Items()->Count();
  const double cached = scan();
  TListItem* sample =
      frmMain->ListFiles->Items()->Count() > 1 ? frmMain->ListFiles->Items()->Item(1) : nullptr;
  if (!sample || sample->SubItems()->Strings(0).empty())
    std::fprintf(stderr, "the tempo of the tracks was not read\n");
  if (listed != 1001 || frmMain->ListFiles->Items()->Count() != 1001)
    std::fprintf(stderr, "expected 1,000 tracks and the way up, listed %d\n", listed);
  std::printf("first_scan_ms %.1f\n", first);
  std::printf("cached_scan_ms %.1f\n", cached);
  std::printf("scan_max_gui_block_ms %.1f\n", maxGapMs);
  timer->SetEnabled(false);
  // The tracks go now; the prefix itself when the program ends, since the platform and
  // later figures of the program still use it.
  std::error_code ec;
  fs::remove_all(drive, ec);
  static std::string made;
  made = prefix;
  std::atexit([] {
    std::error_code e;
    fs::remove_all(made, e);
  });
}
