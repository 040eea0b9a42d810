// Exceptions and the runtime routines of the class library: number and text conversions,
// Format, string helpers, file names.
//
// Texts are single-byte; letter case rules are ASCII only (the system's texts are file
// names, BPM figures and captions). Every routine here may be called from any thread,
// except that DecimalSeparator is meant to be set once at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "classlib/System.h"
#include "win32/Sync.h"  // Sleep, for the units that expect it here

// ---------------------------------------------------------------------------------------
// Arguments of Format: what the system passes in its `[...]` lists.

struct TVarRec {
  enum Kind { vtInteger, vtExtended, vtString, vtChar, vtPointer };
  Kind VType = vtInteger;
  Int64 VInteger = 0;
  Extended VExtended = 0;
  String VString;
  const void* VPointer = nullptr;

  TVarRec(bool v) : VType(vtInteger), VInteger(v ? 1 : 0) {}
  TVarRec(char c) : VType(vtChar), VString(1, c) {}
  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
      TVarRec(T v)
      : VType(vtInteger), VInteger(static_cast<Int64>(v)) {}
  template <typename T>
  requires std::is_enum_v<T> TVarRec(T v) : VType(vtInteger), VInteger(static_cast<Int64>(v)) {}
  template <typename T>
  requires std::is_floating_point_v<T> TVarRec(T v) : VType(vtExtended), VExtended(v) {}
  TVarRec(const String& s) : VType(vtString), VString(s) {}
  TVarRec(const char* s) : VType(vtString), VString(s ? s : "") {}
  TVarRec(const void* p) : VType(vtPointer), VPointer(p) {}
};

// Format with the argument list already built.
String FormatV(const String& Fmt, const std::vector<TVarRec>& Args);

// Delphi-style formatting: %d %u %x %e %f %g %n %p %s %%, each as
// "%" [index ":"] ["-"] [width] ["." precision] type, where width and precision may be "*".
// Integer precision pads with zeros after the sign ("%.2d" of -5 gives "-05"); %f and %n
// default to 2 decimals; %s precision cuts the text. A bad format or an argument of the
// wrong kind raises EConvertError.
template <typename... Args>
String Format(const String& Fmt, const Args&... args) {
  return FormatV(Fmt, std::vector<TVarRec>{TVarRec(args)...});
}

// ---------------------------------------------------------------------------------------
// Exceptions. Each carries its message; Message() is what the error report shows.

class Exception : public TObject, public std::exception {
 public:
  explicit Exception(const String& Msg) : message_(Msg) {}
  Exception(const Exception& o) : TObject(), std::exception(o), message_(o.message_) {}
  // CreateFmt: the message is Format(Fmt, args...).
  template <typename A0, typename... Args>
  Exception(const String& Fmt, const A0& a0, const Args&... args)
      : message_(Format(Fmt, a0, args...)) {}
  ~Exception() override = default;

  const String& Message() const { return message_; }
  void SetMessage(const String& Msg) { message_ = Msg; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  String message_;
};

#define KAZ_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {              \
   public:                                \
    using Base::Base;                     \
  };

KAZ_DECLARE_EXCEPTION(EAbort, Exception)
KAZ_DECLARE_EXCEPTION(EConvertError, Exception)
KAZ_DECLARE_EXCEPTION(EIntError, Exception)
KAZ_DECLARE_EXCEPTION(ERangeError, EIntError)
KAZ_DECLARE_EXCEPTION(EMathError, Exception)
KAZ_DECLARE_EXCEPTION(EOutOfMemory, Exception)
KAZ_DECLARE_EXCEPTION(EOutOfResources, EOutOfMemory)
KAZ_DECLARE_EXCEPTION(EStreamError, Exception)
KAZ_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
KAZ_DECLARE_EXCEPTION(EListError, Exception)
KAZ_DECLARE_EXCEPTION(EThread, Exception)
KAZ_DECLARE_EXCEPTION(EInvalidOperation, Exception)
KAZ_DECLARE_EXCEPTION(EComponentError, Exception)
KAZ_DECLARE_EXCEPTION(EInvalidPointer, Exception)

// An I/O failure with the platform's error code.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
  Integer ErrorCode = 0;
};

// "Cannot create file %s" with the file name as the program gave it.
class EFCreateError : public EFileStreamError {
 public:
  explicit EFCreateError(const String& FileName);
};

// "Cannot open file %s".
class EFOpenError : public EFileStreamError {
 public:
  explicit EFOpenError(const String& FileName);
};

// Raises EListError "List index out of bounds (%d)".
[[noreturn]] void ListIndexError(Integer Index);
// Raises EAbort, the silent exception: the error report shows nothing for it.
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------------------
// Numbers and text.

// The decimal separator of the user's locale, used by StrToFloat and the float formats.
extern char DecimalSeparator;
extern char ThousandSeparator;

String IntToStr(Int64 Value);
// Upper-case hexadecimal, at least Digits digits.
String IntToHex(Int64 Value, Integer Digits);

// Decimal with optional leading blanks and sign, or "$" (also after the sign) for
// hexadecimal; nothing may follow the digits. A number outside 32 bits does not convert.
bool TryStrToInt(const String& S, Integer& Value);
Integer StrToInt(const String& S);  // EConvertError "'%s' is not a valid integer value"
Integer StrToIntDef(const String& S, Integer Default);
bool TryStrToInt64(const String& S, Int64& Value);
Int64 StrToInt64(const String& S);
Int64 StrToInt64Def(const String& S, Int64 Default);

// Blanks around the number are allowed; the decimal separator is DecimalSeparator; an
// exponent "E" with optional sign may follow. Nothing else.
bool TextToFloat(const String& S, Extended& Value);
bool TryStrToFloat(const String& S, Extended& Value);
Extended StrToFloat(const String& S);  // EConvertError "'%s' is not a valid floating point value"
Extended StrToFloatDef(const String& S, Extended Default);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// Shortest general form with 15 significant digits ("100.5", "1E20", "0.0001", "1E-5").
String FloatToStr(Extended Value);
String FloatToStrF(Extended Value, TFloatFormat Format, Integer Precision, Integer Digits);
// Picture formats: "0" digit, "#" optional digit, "." decimal point, "," thousands,
// "E+"/"E-" exponent, quoted text, and "positive;negative;zero" sections.
String FormatFloat(const String& Format, Extended Value);

// a * b / c with a 64-bit product, rounded half away from zero; -1 when c is 0 or the
// result does not fit 32 bits.
Integer MulDiv(Integer Number, Integer Numerator, Integer Denominator);

String Trim(const String& S);
String TrimLeft(const String& S);
String TrimRight(const String& S);
String UpperCase(const String& S);
String LowerCase(const String& S);
String AnsiUpperCase(const String& S);
String AnsiLowerCase(const String& S);

// Case-sensitive ordinal comparison: < 0, 0, > 0.
Integer CompareStr(const String& S1, const String& S2);
// Without regard to letter case.
Integer CompareText(const String& S1, const String& S2);
Integer AnsiCompareText(const String& S1, const String& S2);
Integer AnsiCompareStr(const String& S1, const String& S2);
bool SameText(const String& S1, const String& S2);
bool AnsiSameText(const String& S1, const String& S2);
// The platform's string sort: texts compare first without regard to letter case; when they
// are equal that way, the first position where the case differs decides, lower case before
// upper case ("abc" < "Abc" < "abd").
int lstrcmpA(const char* S1, const char* S2);
int lstrcmpiA(const char* S1, const char* S2);

// 1-based text helpers.
String Copy(const String& S, Integer Index, Integer Count);
Integer Pos(const String& Substr, const String& S);
void Delete(String& S, Integer Index, Integer Count);
void Insert(const String& Source, String& S, Integer Index);
inline Integer Length(const String& S) {
  return static_cast<Integer>(S.size());
}
String StringOfChar(char Ch, Integer Count);
String QuotedStr(const String& S);
// Replaces every occurrence (ignoring case when asked).
String StringReplace(const String& S, const String& OldPattern, const String& NewPattern,
                     bool ReplaceAll = true, bool IgnoreCase = false);

// ---------------------------------------------------------------------------------------
// File names. "\", "/" and the drive colon all separate.

String ExtractFilePath(const String& FileName);  // up to and including the last separator
String ExtractFileDir(const String& FileName);   // without the trailing separator
String ExtractFileName(const String& FileName);
String ExtractFileExt(const String& FileName);  // with the dot, or empty
String ExtractFileDrive(const String& FileName);
String ChangeFileExt(const String& FileName, const String& Extension);
String IncludeTrailingBackslash(const String& S);
String ExcludeTrailingBackslash(const String& S);
// Both accept Windows paths (with a drive letter, mapped through the platform) or plain
// Linux paths.
bool FileExists(const String& FileName);
bool DirectoryExists(const String& Directory);
// The Linux path that a file name of the system names.
String LinuxPath(const String& FileName);
