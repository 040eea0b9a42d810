// Tracks for the explorer and playlist tests: generated test media copied onto the test's
// drive C: (the prefix's "drive_c", which the player fixture maps).
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct LibraryTracks {
  // The drive's folder.
  std::string c = std::string(std::getenv("KAZ_PREFIX")) + "/drive_c";

  static std::string Media(const std::string& name) {
    return std::string(KAZ_TESTDATA_DIR) + "/" + name;
  }
  static bool MediaMade() { return std::filesystem::exists(Media("short4.mp3")); }
  // A track with "BPM=128" in its comment, or one without a comment.
  static void Track(const std::string& path, bool tempo = true) {
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(path).parent_path());
    fs::copy_file(Media(tempo ? "short4.mp3" : "tones3.mp3"), path,
                  fs::copy_options::overwrite_existing);
  }
  // The names in a folder, sorted: what a save may have left there.
  static std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};
