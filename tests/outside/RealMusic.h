// Real recorded music for the beat tests and the beat benchmark: game music that Debian
// ships as OGG (extremetuxracer-data), cut to its first minute and encoded to MP3 with sox
// and lame at test time, with the beats that aubio's beat tracker (aubio-tools) finds in
// it as an independent reference. Made once into a folder of the build and kept there.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kazout {

inline constexpr const char* kRealMusicFolder = "/usr/share/games/etr/music";

struct RealTrack {
  std::string name, mp3, beats;  // the MP3 and its reference beat times, one a line
};

// The tracks with a steady beat (the reference's beat-to-beat times stay within 10 % of
// their median for nine tenths of the track and more).
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

// Makes what is missing in `folder` for the tracks `names`; answers those that could be
// made (none when the music or the tools are not installed).
inline std::vector<RealTrack> PrepareRealTracks(
    const std::string& folder, const std::vector<std::string>& names = RealTrackNames()) {
  std::vector<RealTrack> out;
  const std::string music = std::string(kRealMusicFolder) + "/";
  if (std::system("command -v sox >/dev/null && command -v lame >/dev/null && "
                  "command -v aubio >/dev/null") != 0)
    return out;
  std::system(("mkdir -p '" + folder + "'").c_str());
  for (const std::string& name : names) {
    RealTrack t{name, folder + "/" + name + ".mp3", folder + "/" + name + ".beats"};
    const std::string ogg = music + name + ".ogg", wav = folder + "/" + name + ".wav";
    if (!FileThere(ogg)) continue;
    if (!FileThere(t.mp3) || !FileThere(t.beats)) {
      std::string make = "sox '" + ogg + "' -r 44100 -c 2 -b 16 '" + wav +
                         "' trim 0 60 2>/dev/null" + " && aubio beat '" + wav + "' > '" + t.beats +
                         ".part' 2>/dev/null" + " && lame --quiet -b 192 '" + wav + "' '" + t.mp3 +
                         "'" + " && mv '" + t.beats + ".part' '" + t.beats + "'; rm -f '" + wav +
                         "'";
      if (std::system(make.c_str()) != 0 || !FileThere(t.mp3) || !FileThere(t.beats)) continue;
    }
    out.push_back(t);
  }
  return out;
}

}  // namespace kazout
