// Tracks for the explorer and playlist tests: generated test media copied onto the test's
// drive C: (the prefix's "drive_c", which the player fixture maps).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

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
};
