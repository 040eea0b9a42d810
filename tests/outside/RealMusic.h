// Real recorded music for the beat tests and the beat benchmark: game music that Debian
// ships as OGG (extremetuxracer-data), cut to its first minute and encoded to MP3 with sox
// and lame at test time, with the beats two independent trackers find in the same minute:
// Essentia's multi-feature tracker (offline, it hears the whole minute: the reference) and
// aubio's (live, like the lamps, it hears only what has been played: the peer). Made once
// into a folder of the build and kept there. Needs KAZ_BEATREF_SCRIPT and
// KAZ_BEATREF_MODULES: the reference's node script and the npm packages scripts/setup
// installs for it.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kazout {

inline constexpr const char* kRealMusicFolder = "/usr/share/games/etr/music";

struct RealTrack {
  std::string name, mp3;
  std::string reference;  // Essentia's beat times, one a line
  std::string peer;       // aubio's beat times, one a line
};

// The tracks with a steady beat (the reference's beat-to-beat times stay within 10 % of
// their median for four fifths of the minute and more).
inline const std::vector<std::string>& RealTrackNames() {
  static const std::vector<std::string> names = {"freezingpoint", "race1-jt", "calmrace-ks"};
  return names;
}

// Every track the package installs, steady beat or not, by name.
inline std::vector<std::string> AllRealTrackNames(const std::string& music = kRealMusicFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(music, ec))
    if (entry.path().extension() == ".ogg") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline bool FileThere(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// What real music and its beats need that this machine lacks, for a skip's or a benchmark's
// note; empty when all is there.
inline std::string MissingForRealMusic() {
  std::string missing;
  auto need = [&](bool there, const char* what) {
    if (!there) missing += (missing.empty() ? "" : ", ") + std::string(what);
  };
  need(FileThere(std::string(kRealMusicFolder) + "/music.lst"), "extremetuxracer-data");
  for (const char* tool : {"sox", "lame", "aubio", "node"})
    need(std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) == 0, tool);
  need(FileThere(std::string(KAZ_BEATREF_MODULES) + "/essentia.js/package.json"),
       "essentia.js (scripts/setup installs it)");
  return missing;
}

// Makes what is missing in `folder` for the tracks `names` of the folder `music`; answers
// those that could be made (none when the music or the tools are not there).
inline std::vector<RealTrack> PrepareRealTracks(
    const std::string& folder, const std::vector<std::string>& names = RealTrackNames(),
    const std::string& music = kRealMusicFolder) {
  std::vector<RealTrack> out;
  if (!MissingForRealMusic().empty()) return out;
  std::system(("mkdir -p '" + folder + "'").c_str());
  for (const std::string& name : names) {
    const std::string base = folder + "/" + name;
    RealTrack t{name, base + ".mp3", base + ".essentia.beats", base + ".aubio.beats"};
    const std::string ogg = music + "/" + name + ".ogg";
    const std::string wav = base + ".wav";
    if (!FileThere(ogg)) continue;
    // Each made from the same 44.1 kHz first minute, into a part file renamed when whole.
    const std::string makeMp3 = "lame --quiet -b 192 '" + wav + "' '" + t.mp3 + ".part'";
    const std::string makeReference = "sox '" + wav + "' -t f32 -c 1 -r 44100 - | NODE_PATH='" +
                                      KAZ_BEATREF_MODULES + "' node '" + KAZ_BEATREF_SCRIPT +
                                      "' > '" + t.reference + ".part'";
    const std::string makePeer = "aubio beat '" + wav + "' > '" + t.peer + ".part' 2>/dev/null";
    const std::pair<std::string, std::string> parts[] = {
        {t.mp3, makeMp3}, {t.reference, makeReference}, {t.peer, makePeer}};
    std::string make;
    for (const auto& [file, command] : parts)
      if (!FileThere(file)) make += " && " + command + " && mv '" + file + ".part' '" + file + "'";
    if (!make.empty()) {
      make = "sox '" + ogg + "' -r 44100 -c 2 -b 16 '" + wav + "' trim 0 60 2>/dev/null" + make +
             "; rm -f '" + wav + "'";
      std::system(make.c_str());
      if (!FileThere(t.mp3) || !FileThere(t.reference) || !FileThere(t.peer)) continue;
    }
    out.push_back(t);
  }
  return out;
}

}  // namespace kazout
