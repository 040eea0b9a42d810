#include "classlib/IniFiles.h"

#include <vector>

#include "win32/Profile.h"

namespace {

// Reads through a buffer that grows until the answer fits: long values and long key lists
// come back whole. `list` answers are NUL-separated and end with two NULs, and tell a
// cut-off by answering size - 2 instead of size - 1.
String ReadProfile(const char* section, const char* key, const char* def, const String& file,
                   bool list) {
  std::vector<char> buf(4096);
  for (;;) {
    DWORD size = static_cast<DWORD>(buf.size());
    DWORD got = GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
    DWORD full = list ? size - 2 : size - 1;
    if (got < full || buf.size() >= (1u << 26)) return String(buf.data(), got);
    buf.resize(buf.size() * 4);
  }
}

void SplitList(const String& list, TStrings* strings) {
  strings->BeginUpdate();
  try {
    strings->Clear();
    std::size_t p = 0;
    while (p < list.size()) {
      std::size_t end = list.find('\0', p);
      if (end == String::npos) end = list.size();
      if (end > p) strings->Add(list.substr(p, end - p));
      p = end + 1;
    }
  } catch (...) {
    strings->EndUpdate();
    throw;
  }
  strings->EndUpdate();
}

}  // namespace

String TIniFile::ReadString(const String& Section, const String& Ident,
                            const String& Default) const {
  return ReadProfile(Section.c_str(), Ident.c_str(), Default.c_str(), file_name_, false);
}

Integer TIniFile::ReadInteger(const String& Section, const String& Ident, Integer Default) const {
  return StrToIntDef(ReadString(Section, Ident, String()), Default);
}

bool TIniFile::ReadBool(const String& Section, const String& Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

Extended TIniFile::ReadFloat(const String& Section, const String& Ident, Extended Default) const {
  return StrToFloatDef(ReadString(Section, Ident, String()), Default);
}

void TIniFile::Write(const char* Section, const char* Ident, const char* Value) {
  if (!WritePrivateProfileStringA(Section, Ident, Value, file_name_.c_str())) {
    throw EIniFileException("Unable to write to %s", file_name_);
  }
}

void TIniFile::WriteString(const String& Section, const String& Ident, const String& Value) {
  Write(Section.c_str(), Ident.c_str(), Value.c_str());
}

void TIniFile::WriteInteger(const String& Section, const String& Ident, Integer Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

void TIniFile::WriteBool(const String& Section, const String& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TIniFile::WriteFloat(const String& Section, const String& Ident, Extended Value) {
  WriteString(Section, Ident, FloatToStr(Value));
}

void TIniFile::ReadSection(const String& Section, TStrings* Strings) const {
  SplitList(ReadProfile(Section.c_str(), nullptr, "", file_name_, true), Strings);
}

void TIniFile::ReadSections(TStrings* Strings) const {
  SplitList(ReadProfile(nullptr, nullptr, "", file_name_, true), Strings);
}

void TIniFile::EraseSection(const String& Section) {
  Write(Section.c_str(), nullptr, nullptr);
}

void TIniFile::DeleteKey(const String& Section, const String& Ident) {
  // Deleting what is not there is no error.
  WritePrivateProfileStringA(Section.c_str(), Ident.c_str(), nullptr, file_name_.c_str());
}

bool TIniFile::SectionExists(const String& Section) const {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.Count() > 0;
}

bool TIniFile::ValueExists(const String& Section, const String& Ident) const {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.IndexOf(Ident) >= 0;
}
