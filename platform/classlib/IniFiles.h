// INI files over the platform's profile functions: every read and write goes to the file
// at once, nothing is cached. A bare file name lives in the Windows directory.
#pragma once

#include "classlib/Classes.h"

// A write that the platform refused.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

class TIniFile : public TObject {
 public:
  explicit TIniFile(const String& FileName) : file_name_(FileName) {}

  const String& FileName() const { return file_name_; }

  String ReadString(const String& Section, const String& Ident, const String& Default) const;
  // Missing, empty or not an integer (StrToIntDef rules): Default.
  Integer ReadInteger(const String& Section, const String& Ident, Integer Default) const;
  // True when the value is an integer other than 0; missing or not an integer: Default.
  bool ReadBool(const String& Section, const String& Ident, bool Default) const;
  Extended ReadFloat(const String& Section, const String& Ident, Extended Default) const;

  // Raise EIniFileException "Unable to write to <file>" when the platform refuses.
  void WriteString(const String& Section, const String& Ident, const String& Value);
  void WriteInteger(const String& Section, const String& Ident, Integer Value);
  void WriteBool(const String& Section, const String& Ident, bool Value);  // "1" or "0"
  void WriteFloat(const String& Section, const String& Ident, Extended Value);

  // Key names of a section, section names of the file.
  void ReadSection(const String& Section, TStrings* Strings) const;
  void ReadSections(TStrings* Strings) const;
  void EraseSection(const String& Section);
  void DeleteKey(const String& Section, const String& Ident);
  bool SectionExists(const String& Section) const;
  bool ValueExists(const String& Section, const String& Ident) const;
  // Nothing is buffered here: present for callers that flush before another program reads.
  void UpdateFile() {}

 private:
  void Write(const char* Section, const char* Ident, const char* Value);
  String file_name_;
};
