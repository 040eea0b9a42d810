// libFuzzer target for the playlist file reader: any bytes read as one path per line; each
// entry's caption is the end of its path; what the playlist saves reads back as the same
// paths, and a file already in the saved form is saved byte for byte as it was.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "player/uListFiles.h"

namespace {

std::string Folder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/plxfuzz-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

std::string Read(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in = Folder() + "/in.plx";
  const std::string out = Folder() + "/out.plx";
  if (FILE* f = std::fopen(in.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  TStringList paths;
  LoadPlaylistFile(in, paths);
  for (Integer i = 0; i < paths.Count(); ++i) {
    const String path = paths.Strings(i);
    const String caption = PlaylistCaption(path);
    if (caption.find_first_of("\\:") != String::npos) std::abort();
    if (caption.size() > path.size() ||
        path.compare(path.size() - caption.size(), caption.size(), caption) != 0)
      std::abort();
  }
  SaveLinesReplacing(paths, out);
  const std::string saved = Read(out);
  if (saved != paths.Text()) std::abort();
  TStringList again;
  LoadPlaylistFile(out, again);
  if (!again.Equals(paths)) std::abort();
  SaveLinesReplacing(again, out);
  if (Read(out) != saved) std::abort();
  return 0;
}
