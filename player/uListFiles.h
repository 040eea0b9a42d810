// The player's two list files, plain 8-bit text in the system code page with every line
// ending in CR LF:
// - "List.bpm", the tempo cache of a folder: lines in pairs, the caption of an MP3 file
//   (its name less the last four characters), then its BPM text (possibly empty).
//   Reading an MP3 file's tag is slow; this file lets each file of a folder be analysed
//   once.
// - ".plx", a playlist: one full path of an MP3 file per line, in playlist order.
//
// GUI thread only (like the explorer and playlists that use them).
#pragma once

#include <optional>
#include <unordered_map>

#include "classlib/Classes.h"

// Writes the lines to FileName, replacing it whole: the text goes to a new file of a free
// name beside it that is then moved into place, so a failed write never leaves half a
// file, a stray file or loses the old one. Raises EFCreateError naming FileName when it
// cannot be written, or when FileName is a read-only file or a folder.
void SaveLinesReplacing(const TStrings& Lines, const String& FileName);

// A playlist file's paths, one per line; raises EFOpenError when it cannot be read.
void LoadPlaylistFile(const String& FileName, TStrings& Paths);
// The caption of a playlist entry read from a file: the text after the path's last ""
// or ":" (the whole line when it has neither).
String PlaylistCaption(const String& Path);

class TBpmList {
 public:
  // Larger files are not read: no folder of music needs them, and reading one would stall
  // the window. The scan then analyses every file and leaves that file alone.
  static constexpr Int64 MaxFileSize = 16 * 1024 * 1024;

  // Reads the pairs of the file; a missing file gives none. A last name line without its
  // BPM line is dropped, so that the pairs added later stay in step. A file that is there
  // but cannot be read (no permission, too large) gives none and marks the list
  // unsaveable, so that the scan does not replace a file it could not read.
  void Load(const String& FileName);
  // The pairs from text as the file holds it.
  void SetText(const String& Text);
  // The BPM of the first pair whose name line equals Caption (letter case ignored). Only
  // name lines are compared: a file named like a tempo ("128") never takes the name of
  // the next file as its BPM.
  bool Find(const String& Caption, String& Bpm) const;
  // Appends a pair. A caption holding a line break cannot be stored in a line: it is not
  // cached (its file is analysed at every scan).
  void Add(const String& Caption, const String& Bpm);
  Integer Count() const { return lines_.Count(); }
  const TStringList& Lines() const { return lines_; }
  bool Saveable() const { return saveable_; }
  String Text() const { return lines_.Text(); }
  // Replaces the file whole (SaveLinesReplacing); a file loaded holding exactly these
  // lines in this form is left as it is. A cache the user made read-only is not replaced.
  // Raises EFCreateError when the file cannot be written.
  void Save(const String& FileName) const;

 private:
  void Pair();
  void Index(Integer NameLine);
  TStringList lines_;
  // Folded caption -> index of its first name line.
  std::unordered_map<String, Integer> names_;
  bool saveable_ = true;
  // The text of the file as loaded, when it was.
  std::optional<String> loaded_;
  String loadedFrom_;
};
