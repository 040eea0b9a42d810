// libFuzzer target for the reader of a folder's tempo cache ("List.bpm"): any bytes give
// whole pairs, each name finds the tempo of its first pair, a name added later is found,
// and what would be written reads back as the same pairs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classlib/SysUtils.h"
#include "player/uListFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TBpmList list;
  list.SetText(text);
  const TStringList& lines = list.Lines();
  if (lines.Count() % 2 != 0) std::abort();
  for (Integer i = 0; i < lines.Count(); i += 2) {
    String bpm;
    if (!list.Find(lines.Strings(i), bpm)) std::abort();
    // The tempo of the first pair whose name matches without regard to case.
    Integer first = i;
    for (Integer j = 0; j < i; j += 2)
      if (AnsiSameText(lines.Strings(j), lines.Strings(i))) {
        first = j;
        break;
      }
    if (bpm != lines.Strings(first + 1)) std::abort();
  }

  // Written and read again: the same pairs.
  TBpmList again;
  again.SetText(list.Text());
  if (!again.Lines().Equals(lines)) std::abort();

  // A name made of the input's first bytes, added, is found unless it cannot be a line.
  const String name = text.substr(0, 8);
  String bpm;
  const bool known = list.Find(name, bpm);
  list.Add(name, "120");
  const bool storable = name.find_first_of("\r\n") == String::npos;
  if (!list.Find(name, bpm)) {
    if (storable || known) std::abort();
  } else if (!known && bpm != "120") {
    std::abort();
  }
  if (list.Lines().Count() % 2 != 0) std::abort();
  return 0;
}
