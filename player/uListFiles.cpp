#include "player/uListFiles.h"

#include "classlib/SysUtils.h"
#include "win32/Files.h"

namespace {

bool HoldsLineBreak(const String& S) {
  return S.find_first_of("\r\n") != String::npos;
}

// The size of a file as the folder listing gives it; -1 when there is none.
Int64 SizeOf(const String& FileName) {
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA(FileName.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return -1;
  FindClose(h);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<Int64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

void TBpmList::Load(const String& FileName) {
  lines_.Clear();
  names_.clear();
  saveable_ = true;
  loaded_.reset();
  const Int64 size = SizeOf(FileName);
  if (size < 0) {
    // Nothing there yet, or a name the listing cannot show: a folder without a cache.
    if (GetFileAttributesA(FileName.c_str()) != INVALID_FILE_ATTRIBUTES) saveable_ = false;
    return;
  }
  if (size > MaxFileSize) {
    saveable_ = false;
    return;
  }
  try {
    lines_.LoadFromFile(FileName);
  } catch (const Exception&) {
    lines_.Clear();
    saveable_ = false;
    return;
  }
  Pair();
  // A file that holds its lines exactly as they would be written again (same text, same
  // size on disk) is left alone by a scan that adds nothing, instead of being rewritten.
  if (lines_.Text().size() == static_cast<std::size_t>(size)) loaded_ = lines_.Text();
  loadedFrom_ = FileName;
}

void TBpmList::SetText(const String& Text) {
  loaded_.reset();
  lines_.Clear();
  names_.clear();
  lines_.SetText(Text);
  Pair();
}

void TBpmList::Pair() {
  if (lines_.Count() % 2 != 0) lines_.Delete(lines_.Count() - 1);
  for (Integer i = 0; i < lines_.Count(); i += 2) Index(i);
}

void TBpmList::Index(Integer NameLine) {
  // The first pair of a name wins, as a front-to-back search would find it.
  names_.emplace(AnsiLowerCase(lines_.Strings(NameLine)), NameLine);
}

bool TBpmList::Find(const String& Caption, String& Bpm) const {
  auto it = names_.find(AnsiLowerCase(Caption));
  if (it == names_.end()) return false;
  Bpm = lines_.Strings(it->second + 1);
  return true;
}

void TBpmList::Add(const String& Caption, const String& Bpm) {
  if (HoldsLineBreak(Caption) || HoldsLineBreak(Bpm)) return;
  lines_.Add(Caption);
  lines_.Add(Bpm);
  Index(lines_.Count() - 2);
}

void TBpmList::Save(const String& FileName) const {
  if (loaded_ && *loaded_ == lines_.Text() && FileName == loadedFrom_) return;
  SaveLinesReplacing(lines_, FileName);
}

void SaveLinesReplacing(const TStrings& Lines, const String& FileName) {
  // A file the user made read-only, or a folder in its place, stays as it is.
  const DWORD attributes = GetFileAttributesA(FileName.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    throw EFCreateError(FileName);
  // The text goes to a new file of a name that was free beside it (never one the user may
  // hold, such as "<name>.tmp"), which then takes the old file's place in one step: a
  // failed write never leaves half a file or loses the old one.
  const String folder = ExtractFilePath(FileName);
  char temp[MAX_PATH];
  if (GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "kaz", 0, temp) == 0)
    throw EFCreateError(FileName);
  try {
    Lines.SaveToFile(temp);
  } catch (const Exception&) {
    DeleteFileA(temp);
    throw EFCreateError(FileName);
  }
  if (!MoveFileExA(temp, FileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp);
    throw EFCreateError(FileName);
  }
}

void LoadPlaylistFile(const String& FileName, TStrings& Paths) {
  TStringList lines;
  lines.LoadFromFile(FileName);
  Paths.Assign(&lines);
}

String PlaylistCaption(const String& Path) {
  const auto at = Path.find_last_of("\\:");
  return at == String::npos ? Path : Path.substr(at + 1);
}
