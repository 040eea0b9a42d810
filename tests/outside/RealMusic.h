// Real recorded music for the beat tests and the beat benchmark: game music that Debian
// ships as OGG (extremetuxracer-data), cut to its first minute and encoded to MP3 with sox
// and lame at test time, with the beats that aubio's beat tracker (aubio-tools) finds in
// it as an independent reference. Made once into a folder of the build and kept there.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kazout {

struct RealTrack {
  std::string name, mp3, beats;  // the MP3 and its reference beat times, one a line
};

// The tracks with a steady beat (the reference's beat-to-beat times stay within 10 % of
// their median for nine tenths of the track and more).
inline const std::vector<std::string>& RealTrackNames() {
  static const std::vector<std::string> names = {"freezingpoint", "race1-jt", "calmrace-ks"};
  return names;
}

inline bool FileThere(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// Makes what is missing in `folder`; answers the tracks that could be made (none when the
// music or the tools are not installed).
inline std::vector<RealTrack> PrepareRealTracks(const std::string& folder) {
  std::vector<RealTrack> out;
  const std::string music = "/usr/share/games/etr/music/";
  if (std::system("command -v sox >/dev/null && command -v lame >/dev/null && "
                  "command -v aubio >/dev/null") != 0)
    return out;
  std::system(("mkdir -p '" + folder + "'").c_str());
  for (const std::string& name : RealTrackNames()) {
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
