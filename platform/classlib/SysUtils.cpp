#include "classlib/SysUtils.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "win32/Ansi.h"
#include "win32/Paths.h"

char DecimalSeparator = '.';
char ThousandSeparator = ',';

// ---------------------------------------------------------------------------------------
// Exceptions

EFCreateError::EFCreateError(const String& FileName)
    : EFileStreamError("Cannot create file %s", FileName) {}

EFOpenError::EFOpenError(const String& FileName)
    : EFileStreamError("Cannot open file %s", FileName) {}

void ListIndexError(Integer Index) {
  throw EListError("List index out of bounds (%d)", Index);
}

void Abort() {
  throw EAbort("Operation aborted");
}

// ---------------------------------------------------------------------------------------
// Decimal digits of a floating-point number.

namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number as significant digits without trailing zeros, the decimal point after
// `exponent` of them (0.d1d2... x 10^exponent); no digits for zero.
struct Decimal {
  bool negative = false;
  String digits;
  int exponent = 0;
  bool special = false;  // infinite or not a number; `digits` then holds the text
};

void StripTrailingZeros(Decimal& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exponent = 0;
}

Decimal Special(Extended value) {
  Decimal d;
  d.special = true;
  if (std::isnan(value)) {
    d.digits = "NAN";
  } else {
    d.negative = value < 0;
    d.digits = "INF";
  }
  return d;
}

// Rounded to `precision` significant digits (1 to 18).
Decimal ToSignificant(Extended value, int precision) {
  if (!std::isfinite(value)) return Special(value);
  Decimal d;
  d.negative = std::signbit(value);
  precision = std::clamp(precision, 1, 18);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Le", precision - 1, std::fabs(value));
  String s(buf);
  auto e = s.find('e');
  for (std::size_t i = 0; i < e; ++i) {
    if (IsDigit(s[i])) d.digits += s[i];
  }
  d.exponent = std::atoi(s.c_str() + e + 1) + 1;
  StripTrailingZeros(d);
  return d;
}

// Rounded to at most `precision` significant digits and at most `decimals` digits after
// the point, whichever is fewer.
Decimal ToFixed(Extended value, int precision, int decimals) {
  Decimal d = ToSignificant(value, precision);
  if (d.special || d.digits.empty()) return d;
  int after_point = static_cast<int>(d.digits.size()) - d.exponent;
  if (after_point <= decimals) return d;
  Decimal f;
  f.negative = d.negative;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*Lf", std::clamp(decimals, 0, 60), std::fabs(value));
  String s(buf);
  auto point = s.find('.');
  String int_part = s.substr(0, point);
  String frac_part = point == String::npos ? String() : s.substr(point + 1);
  String all = int_part + frac_part;
  std::size_t lead = all.find_first_not_of('0');
  if (lead == String::npos) return f;  // rounds to zero
  f.exponent = static_cast<int>(int_part.size()) - static_cast<int>(lead);
  f.digits = all.substr(lead);
  StripTrailingZeros(f);
  return f;
}

String ExponentText(int exponent, bool always_sign, int min_digits) {
  String out;
  if (exponent < 0) {
    out += '-';
  } else if (always_sign) {
    out += '+';
  }
  String digits = std::to_string(std::abs(exponent));
  if (static_cast<int>(digits.size()) < min_digits) {
    digits.insert(0, static_cast<std::size_t>(min_digits) - digits.size(), '0');
  }
  return out + digits;
}

String GroupThousands(const String& int_digits) {
  if (ThousandSeparator == 0) return int_digits;
  String out;
  int n = static_cast<int>(int_digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ThousandSeparator;
    out += int_digits[static_cast<std::size_t>(i)];
  }
  return out;
}

// Fixed notation with exactly `decimals` digits after the point.
String FixedText(const Decimal& d, int decimals, bool thousands) {
  String int_digits;
  String frac_digits;
  for (int i = 0; i < d.exponent; ++i) {
    int_digits +=
        i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0';
  }
  if (int_digits.empty()) int_digits = "0";
  for (int i = 0; i < decimals; ++i) {
    int k = d.exponent + i;
    frac_digits += (k >= 0 && k < static_cast<int>(d.digits.size()))
                       ? d.digits[static_cast<std::size_t>(k)]
                       : '0';
  }
  String out = thousands ? GroupThousands(int_digits) : int_digits;
  if (decimals > 0) {
    out += DecimalSeparator;
    out += frac_digits;
  }
  return out;
}

String ScientificText(const Decimal& d, int mantissa_digits, bool always_sign, int exp_digits,
                      bool pad_mantissa) {
  String digits = d.digits.empty() ? String("0") : d.digits;
  String out(1, digits[0]);
  String rest = digits.substr(1);
  if (pad_mantissa && static_cast<int>(rest.size()) < mantissa_digits - 1) {
    rest.append(static_cast<std::size_t>(mantissa_digits - 1) - rest.size(), '0');
  }
  if (!rest.empty()) {
    out += DecimalSeparator;
    out += rest;
  }
  out += 'E';
  out += ExponentText(d.digits.empty() ? 0 : d.exponent - 1, always_sign, exp_digits);
  return out;
}

String SpecialText(const Decimal& d) {
  return (d.negative ? "-" : "") + d.digits;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Float to text

String FloatToStrF(Extended Value, TFloatFormat Format, Integer Precision, Integer Digits) {
  Precision = std::clamp(Precision, 2, 18);
  Digits = std::clamp(Digits, 0, 18);
  switch (Format) {
    case ffGeneral: {
      Decimal d = ToSignificant(Value, Precision);
      if (d.special) return SpecialText(d);
      if (d.digits.empty()) return "0";
      String sign = d.negative ? "-" : "";
      // Fixed notation unless the number has more integer digits than the precision or
      // starts more than four places after the point (0.0001 stays, 0.00001 does not).
      if (d.exponent > Precision || d.exponent < -3) {
        return sign + ScientificText(d, 0, false, Digits, false);
      }
      int decimals = std::max(0, static_cast<int>(d.digits.size()) - d.exponent);
      return sign + FixedText(d, decimals, false);
    }
    case ffExponent: {
      Decimal d = ToSignificant(Value, Precision);
      if (d.special) return SpecialText(d);
      return String(d.negative && !d.digits.empty() ? "-" : "") +
             ScientificText(d, Precision, true, Digits, true);
    }
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      Decimal probe = ToSignificant(Value, Precision);
      if (probe.special) return SpecialText(probe);
      if (probe.exponent > Precision) return FloatToStrF(Value, ffGeneral, Precision, 0);
      Decimal d = ToFixed(Value, Precision, Digits);
      String sign = d.negative && !d.digits.empty() ? "-" : "";
      return sign + FixedText(d, Digits, Format != ffFixed);
    }
  }
  return String();
}

String FloatToStr(Extended Value) {
  return FloatToStrF(Value, ffGeneral, 15, 0);
}

// ---------------------------------------------------------------------------------------
// FormatFloat

namespace {

std::vector<String> SplitSections(const String& format) {
  std::vector<String> sections(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

String FormatSection(const String& fmt, Extended value, bool with_sign) {
  // Survey the picture.
  int int_places = 0;   // digit places before the point
  int int_zeros = 0;    // places from the first '0' before the point to the point
  int frac_places = 0;  // digit places after the point
  int frac_zeros = 0;   // digits after the point that always show (to the last '0')
  bool point = false;
  bool thousands = false;
  bool scientific = false;
  bool exp_sign = false;
  int exp_digits = 0;
  bool seen_int_zero = false;
  char quote = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (scientific) {
      continue;
    } else if (c == '0' || c == '#') {
      if (!point) {
        ++int_places;
        if (c == '0') seen_int_zero = true;
        if (seen_int_zero) ++int_zeros;
      } else {
        ++frac_places;
        if (c == '0') frac_zeros = frac_places;
      }
    } else if (c == '.') {
      point = true;
    } else if (c == ',') {
      thousands = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < fmt.size() &&
               (fmt[i + 1] == '+' || fmt[i + 1] == '-')) {
      scientific = true;
      exp_sign = fmt[i + 1] == '+';
      std::size_t j = i + 2;
      while (j < fmt.size() && fmt[j] == '0') {
        ++exp_digits;
        ++j;
      }
    }
  }
  if (!point) frac_places = frac_zeros = 0;

  String int_text;
  String frac_text;
  String exp_text;
  bool negative = false;
  if (scientific) {
    int lead = std::max(1, int_places);
    Decimal d = ToSignificant(value, lead + frac_places);
    negative = d.negative && !d.digits.empty();
    String digits = d.digits;
    int exponent = digits.empty() ? 0 : d.exponent - lead;
    if (digits.size() < static_cast<std::size_t>(lead))
      digits.append(static_cast<std::size_t>(lead) - digits.size(), '0');
    int_text = digits.substr(0, static_cast<std::size_t>(lead));
    frac_text = digits.substr(static_cast<std::size_t>(lead));
    exp_text = ExponentText(exponent, exp_sign, exp_digits);
  } else {
    Decimal d = ToFixed(value, 18, frac_places);
    negative = d.negative && !d.digits.empty();
    for (int i = 0; i < d.exponent; ++i) {
      int_text +=
          i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0';
    }
    for (int k = std::max(0, d.exponent); k < static_cast<int>(d.digits.size()); ++k) {
      frac_text += d.digits[static_cast<std::size_t>(k)];
    }
    if (d.exponent < 0 && !frac_text.empty())
      frac_text.insert(0, static_cast<std::size_t>(-d.exponent), '0');
    if (static_cast<int>(int_text.size()) < int_zeros) {
      int_text.insert(0, static_cast<std::size_t>(int_zeros) - int_text.size(), '0');
    }
    if (thousands) int_text = GroupThousands(int_text);
  }
  if (static_cast<int>(frac_text.size()) < frac_zeros) {
    frac_text.append(static_cast<std::size_t>(frac_zeros) - frac_text.size(), '0');
  }
  while (static_cast<int>(frac_text.size()) > frac_zeros && !frac_text.empty() &&
         frac_text.back() == '0') {
    frac_text.pop_back();
  }

  // Lay it out: the whole integer part at the first digit place, the fraction over the
  // places after the point, literal text where it stands.
  String out;
  if (negative && with_sign) out += '-';
  bool int_done = false;
  bool after_point = false;
  int frac_index = 0;
  quote = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        out += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (!after_point) {
        if (!int_done) out += int_text;
        int_done = true;
      } else {
        if (frac_index < static_cast<int>(frac_text.size()))
          out += frac_text[static_cast<std::size_t>(frac_index)];
        ++frac_index;
      }
    } else if (c == '.' && !after_point && point) {
      if (!int_done) {
        out += int_text;
        int_done = true;
      }
      after_point = true;
      if (!frac_text.empty()) out += DecimalSeparator;
    } else if (c == ',') {
      // shown through the grouping of the integer part
    } else if ((c == 'E' || c == 'e') && i + 1 < fmt.size() &&
               (fmt[i + 1] == '+' || fmt[i + 1] == '-')) {
      if (!int_done) {
        out += int_text;
        int_done = true;
      }
      out += c;
      out += exp_text;
      i += 1;
      while (i + 1 < fmt.size() && fmt[i + 1] == '0') ++i;
    } else {
      out += c;
    }
  }
  if (!int_done && !point) out += int_text;
  return out;
}

}  // namespace

String FormatFloat(const String& Format, Extended Value) {
  if (!std::isfinite(Value)) return FloatToStr(Value);
  if (Format.empty()) return FloatToStr(Value);
  std::vector<String> sections = SplitSections(Format);
  if (Value == 0 && sections.size() >= 3 && !sections[2].empty()) {
    return FormatSection(sections[2], Value, false);
  }
  if (Value < 0 && sections.size() >= 2 && !sections[1].empty()) {
    return FormatSection(sections[1], -Value, false);
  }
  return FormatSection(sections[0], Value, true);
}

// ---------------------------------------------------------------------------------------
// Format

namespace {

[[noreturn]] void FormatError(const String& fmt) {
  throw EConvertError("Format '" + fmt + "' invalid or incompatible with argument");
}

String Pad(const String& s, int width, bool left_justify) {
  if (width <= static_cast<int>(s.size())) return s;
  String pad(static_cast<std::size_t>(width) - s.size(), ' ');
  return left_justify ? s + pad : pad + s;
}

String ZeroPadDigits(String digits, int precision) {
  if (precision > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
  }
  return digits;
}

String HexDigits(std::uint64_t v) {
  static const char* kHex = "0123456789ABCDEF";
  if (v == 0) return "0";
  String out;
  while (v) {
    out.insert(out.begin(), kHex[v & 15]);
    v >>= 4;
  }
  return out;
}

// Negative numbers that fit 32 bits show as the 32-bit pattern, as the system's Integer
// arguments did.
std::uint64_t AsUnsigned(Int64 v) {
  if (v < 0 && v >= std::numeric_limits<std::int32_t>::min()) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
  }
  return static_cast<std::uint64_t>(v);
}

}  // namespace

String FormatV(const String& Fmt, const std::vector<TVarRec>& Args) {
  String out;
  std::size_t next_arg = 0;
  const std::size_t n = Fmt.size();
  std::size_t p = 0;
  while (p < n) {
    char c = Fmt[p];
    if (c != '%') {
      out += c;
      ++p;
      continue;
    }
    ++p;
    if (p >= n) FormatError(Fmt);
    if (Fmt[p] == '%') {
      out += '%';
      ++p;
      continue;
    }
    auto read_number = [&](int& value) -> bool {
      if (p < n && Fmt[p] == '*') {
        ++p;
        if (next_arg >= Args.size() || Args[next_arg].VType != TVarRec::vtInteger) FormatError(Fmt);
        value = static_cast<int>(Args[next_arg++].VInteger);
        return true;
      }
      if (p >= n || !IsDigit(Fmt[p])) return false;
      value = 0;
      while (p < n && IsDigit(Fmt[p])) {
        value = value * 10 + (Fmt[p] - '0');
        if (value > 100000) FormatError(Fmt);
        ++p;
      }
      return true;
    };
    // [index ":"] ["-"] [width] ["." precision] type
    int number = 0;
    bool have_number = read_number(number);
    if (have_number && p < n && Fmt[p] == ':') {
      next_arg = static_cast<std::size_t>(std::max(0, number));
      ++p;
      have_number = false;
    }
    bool left = false;
    if (!have_number && p < n && Fmt[p] == '-') {
      left = true;
      ++p;
    }
    int width = 0;
    if (have_number) {
      width = number;
    } else {
      read_number(width);
    }
    int precision = -1;
    if (p < n && Fmt[p] == '.') {
      ++p;
      precision = 0;
      read_number(precision);
    }
    if (p >= n) FormatError(Fmt);
    char type = Upper(Fmt[p++]);
    if (next_arg >= Args.size()) FormatError(Fmt);
    const TVarRec& arg = Args[next_arg++];
    String text;
    switch (type) {
      case 'D':
      case 'U':
      case 'X': {
        if (arg.VType != TVarRec::vtInteger) FormatError(Fmt);
        Int64 v = arg.VInteger;
        String digits;
        bool negative = false;
        if (type == 'D') {
          negative = v < 0;
          std::uint64_t mag =
              negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
          digits = std::to_string(mag);
        } else if (type == 'U') {
          digits = std::to_string(AsUnsigned(v));
        } else {
          digits = HexDigits(AsUnsigned(v));
        }
        // The sign stands before the zero padding: "%.2d" of -5 is "-05".
        text = (negative ? "-" : "") + ZeroPadDigits(digits, precision);
        break;
      }
      case 'E':
      case 'F':
      case 'G':
      case 'N':
      case 'M': {
        Extended v;
        if (arg.VType == TVarRec::vtExtended) {
          v = arg.VExtended;
        } else if (arg.VType == TVarRec::vtInteger) {
          v = static_cast<Extended>(arg.VInteger);
        } else {
          FormatError(Fmt);
        }
        if (type == 'E') {
          text = FloatToStrF(v, ffExponent, precision < 0 ? 15 : precision, 3);
        } else if (type == 'F') {
          text = FloatToStrF(v, ffFixed, 18, precision < 0 ? 2 : precision);
        } else if (type == 'G') {
          text = FloatToStrF(v, ffGeneral, precision < 0 ? 15 : precision, 3);
        } else {
          text = FloatToStrF(v, ffNumber, 18, precision < 0 ? 2 : precision);
        }
        break;
      }
      case 'S': {
        if (arg.VType != TVarRec::vtString && arg.VType != TVarRec::vtChar) FormatError(Fmt);
        text = arg.VString;
        if (precision >= 0 && precision < static_cast<int>(text.size())) {
          text.resize(static_cast<std::size_t>(precision));
        }
        break;
      }
      case 'P': {
        if (arg.VType != TVarRec::vtPointer) FormatError(Fmt);
        text = ZeroPadDigits(HexDigits(reinterpret_cast<std::uintptr_t>(arg.VPointer)), 16);
        break;
      }
      default:
        FormatError(Fmt);
    }
    out += Pad(text, width, left);
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Integers

String IntToStr(Int64 Value) {
  return std::to_string(Value);
}

String IntToHex(Int64 Value, Integer Digits) {
  return ZeroPadDigits(HexDigits(AsUnsigned(Value)), Digits);
}

namespace {

// Blanks, sign, "$" for hexadecimal, digits, nothing after. Hexadecimal covers the whole
// unsigned range of the width (so "$FFFFFFFF" is -1 for 32 bits).
bool ParseInteger(const String& s, int bits, Int64& out) {
  std::size_t p = 0;
  const std::size_t n = s.size();
  while (p < n && IsBlank(s[p])) ++p;
  bool negative = false;
  if (p < n && (s[p] == '+' || s[p] == '-')) {
    negative = s[p] == '-';
    ++p;
  }
  bool hex = false;
  if (p < n && s[p] == '$') {
    hex = true;
    ++p;
  } else if (p + 1 < n && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
    hex = true;
    p += 2;
  }
  if (p >= n) return false;
  std::uint64_t v = 0;
  const std::uint64_t hex_limit = bits == 32 ? 0xFFFFFFFFull : ~0ull;
  const std::uint64_t dec_limit =
      (bits == 32 ? 0x7FFFFFFFull : 0x7FFFFFFFFFFFFFFFull) + (negative ? 1 : 0);
  for (; p < n; ++p) {
    char c = s[p];
    unsigned digit;
    if (IsDigit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && Upper(c) >= 'A' && Upper(c) <= 'F') {
      digit = static_cast<unsigned>(Upper(c) - 'A' + 10);
    } else {
      return false;
    }
    if (hex) {
      if (v > (hex_limit >> 4)) return false;
      v = (v << 4) | digit;
    } else {
      if (v > (dec_limit - digit) / 10) return false;
      v = v * 10 + digit;
    }
  }
  if (hex) {
    Int64 signed_value =
        bits == 32 ? static_cast<Int64>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)))
                   : static_cast<Int64>(v);
    out = negative ? -signed_value : signed_value;
  } else {
    out = negative ? static_cast<Int64>(0 - v) : static_cast<Int64>(v);
  }
  return true;
}

}  // namespace

bool TryStrToInt(const String& S, Integer& Value) {
  Int64 v;
  if (!ParseInteger(S, 32, v)) return false;
  Value = static_cast<Integer>(v);
  return true;
}

Integer StrToInt(const String& S) {
  Integer v;
  if (!TryStrToInt(S, v)) throw EConvertError("'%s' is not a valid integer value", S);
  return v;
}

Integer StrToIntDef(const String& S, Integer Default) {
  Integer v;
  return TryStrToInt(S, v) ? v : Default;
}

bool TryStrToInt64(const String& S, Int64& Value) {
  return ParseInteger(S, 64, Value);
}

Int64 StrToInt64(const String& S) {
  Int64 v;
  if (!TryStrToInt64(S, v)) throw EConvertError("'%s' is not a valid integer value", S);
  return v;
}

Int64 StrToInt64Def(const String& S, Int64 Default) {
  Int64 v;
  return TryStrToInt64(S, v) ? v : Default;
}

// ---------------------------------------------------------------------------------------
// Text to float

bool TextToFloat(const String& S, Extended& Value) {
  // Rebuilt in the C locale's notation, after checking the shape ourselves: strtold alone
  // would accept hexadecimal, "inf" and the C locale's point.
  String c_text;
  std::size_t p = 0;
  const std::size_t n = S.size();
  while (p < n && IsBlank(S[p])) ++p;
  if (p < n && (S[p] == '+' || S[p] == '-')) c_text += S[p++];
  int mantissa_digits = 0;
  while (p < n && IsDigit(S[p])) {
    c_text += S[p++];
    ++mantissa_digits;
  }
  if (p < n && S[p] == DecimalSeparator) {
    c_text += '.';
    ++p;
    while (p < n && IsDigit(S[p])) {
      c_text += S[p++];
      ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return false;
  if (p < n && (S[p] == 'E' || S[p] == 'e')) {
    c_text += 'e';
    ++p;
    if (p < n && (S[p] == '+' || S[p] == '-')) c_text += S[p++];
    int exp_digits = 0;
    while (p < n && IsDigit(S[p])) {
      c_text += S[p++];
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  while (p < n && IsBlank(S[p])) ++p;
  if (p != n) return false;
  char* end = nullptr;
  Extended v = std::strtold(c_text.c_str(), &end);
  if (!std::isfinite(v)) return false;
  Value = v;
  return true;
}

bool TryStrToFloat(const String& S, Extended& Value) {
  return TextToFloat(S, Value);
}

Extended StrToFloat(const String& S) {
  Extended v;
  if (!TextToFloat(S, v)) throw EConvertError("'%s' is not a valid floating point value", S);
  return v;
}

Extended StrToFloatDef(const String& S, Extended Default) {
  Extended v;
  return TextToFloat(S, v) ? v : Default;
}

// ---------------------------------------------------------------------------------------
// MulDiv

Integer MulDiv(Integer Number, Integer Numerator, Integer Denominator) {
  if (Denominator == 0) return -1;
  Int64 product = static_cast<Int64>(Number) * Numerator;
  Int64 q = product / Denominator;
  Int64 r = product % Denominator;
  // Halves away from zero.
  if (2 * (r < 0 ? -r : r) >= (Denominator < 0 ? -static_cast<Int64>(Denominator) : Denominator)) {
    q += ((product < 0) == (Denominator < 0)) ? 1 : -1;
  }
  if (q > std::numeric_limits<Integer>::max() || q < std::numeric_limits<Integer>::min()) return -1;
  return static_cast<Integer>(q);
}

// ---------------------------------------------------------------------------------------
// Text

String TrimLeft(const String& S) {
  std::size_t p = 0;
  while (p < S.size() && static_cast<unsigned char>(S[p]) <= ' ') ++p;
  return S.substr(p);
}

String TrimRight(const String& S) {
  std::size_t e = S.size();
  while (e > 0 && static_cast<unsigned char>(S[e - 1]) <= ' ') --e;
  return S.substr(0, e);
}

String Trim(const String& S) {
  return TrimRight(TrimLeft(S));
}

namespace {
String Mapped(const String& S, char (*map)(char)) {
  String out = S;
  for (char& c : out) c = map(c);
  return out;
}
}  // namespace

String UpperCase(const String& S) {
  return Mapped(S, Upper);
}
String LowerCase(const String& S) {
  return Mapped(S, Lower);
}
String AnsiUpperCase(const String& S) {
  return Mapped(S, win32::FoldAnsi);
}
String AnsiLowerCase(const String& S) {
  return Mapped(S, win32::LowerAnsi);
}

namespace {

template <typename Fold>
int CompareFolded(const String& a, const String& b, Fold fold) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(fold(a[i]));
    unsigned char cb = static_cast<unsigned char>(fold(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

Integer CompareStr(const String& S1, const String& S2) {
  return CompareFolded(S1, S2, [](char c) { return c; });
}

// ASCII letters fold to upper case, so the characters between 'Z' and 'a' sort after
// every letter.
Integer CompareText(const String& S1, const String& S2) {
  return CompareFolded(S1, S2, Upper);
}

namespace {

// The letter an accented letter of the code page sorts with in the user's locale, so that
// "\xC9t\xE9" comes between "E" and "F" rather than after "z". Indexed from 0xDF (\xDF, then the
// small letters); capitals are lowered first.
constexpr char kSortLetter[34] = "saaaaaaaceeeeiiiidnooooo\xF7ouuuuyty";

char SortLetter(char c) {
  const auto b = static_cast<unsigned char>(win32::LowerAnsi(c));
  if (b >= 0xDF) return kSortLetter[b - 0xDF];
  switch (b) {
    case 0x9A:  // š
      return 's';
    case 0x9C:  // œ
      return 'o';
    case 0x9E:  // ž
      return 'z';
    default:
      return char(b);
  }
}

}  // namespace

// The locale-aware comparison: letters fold to lower case so that the punctuation between
// "Z" and "a" sorts before the letters, as it does in the user's locale; an accented letter
// sorts with its plain letter, after it when all else is equal.
Integer AnsiCompareText(const String& S1, const String& S2) {
  const int r = CompareFolded(S1, S2, SortLetter);
  return r != 0 ? r : CompareFolded(S1, S2, win32::LowerAnsi);
}

Integer AnsiCompareStr(const String& S1, const String& S2) {
  int r = AnsiCompareText(S1, S2);
  if (r != 0) return r;
  for (std::size_t i = 0; i < S1.size(); ++i) {
    if (S1[i] != S2[i]) return win32::LowerAnsi(S1[i]) == S1[i] ? -1 : 1;
  }
  return 0;
}

bool SameText(const String& S1, const String& S2) {
  return CompareText(S1, S2) == 0;
}
bool AnsiSameText(const String& S1, const String& S2) {
  return AnsiCompareText(S1, S2) == 0;
}

int lstrcmpA(const char* S1, const char* S2) {
  return AnsiCompareStr(S1 ? S1 : "", S2 ? S2 : "");
}

int lstrcmpiA(const char* S1, const char* S2) {
  return AnsiCompareText(S1 ? S1 : "", S2 ? S2 : "");
}

String Copy(const String& S, Integer Index, Integer Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || Index > Length(S)) return String();
  return S.substr(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count));
}

Integer Pos(const String& Substr, const String& S) {
  if (Substr.empty()) return 0;
  auto at = S.find(Substr);
  return at == String::npos ? 0 : static_cast<Integer>(at) + 1;
}

void Delete(String& S, Integer Index, Integer Count) {
  if (Index < 1 || Index > Length(S) || Count <= 0) return;
  S.erase(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count));
}

void Insert(const String& Source, String& S, Integer Index) {
  if (Index < 1) Index = 1;
  if (Index > Length(S)) Index = Length(S) + 1;
  S.insert(static_cast<std::size_t>(Index - 1), Source);
}

String StringOfChar(char Ch, Integer Count) {
  return Count > 0 ? String(static_cast<std::size_t>(Count), Ch) : String();
}

String QuotedStr(const String& S) {
  String out = "'";
  for (char c : S) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

String StringReplace(const String& S, const String& OldPattern, const String& NewPattern,
                     bool ReplaceAll, bool IgnoreCase) {
  if (OldPattern.empty()) return S;
  String hay = IgnoreCase ? UpperCase(S) : S;
  String needle = IgnoreCase ? UpperCase(OldPattern) : OldPattern;
  String out;
  std::size_t p = 0;
  while (true) {
    auto at = hay.find(needle, p);
    if (at == String::npos) break;
    out += S.substr(p, at - p);
    out += NewPattern;
    p = at + OldPattern.size();
    if (!ReplaceAll) break;
  }
  return out + S.substr(p);
}

// ---------------------------------------------------------------------------------------
// File names

namespace {

bool IsPathDelimiter(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// Index (0-based) of the last character that is one of `delims`, or npos.
std::size_t LastDelimiter(const String& s, const char* delims) {
  for (std::size_t i = s.size(); i > 0; --i) {
    for (const char* d = delims; *d; ++d) {
      if (s[i - 1] == *d) return i - 1;
    }
  }
  return String::npos;
}

bool HasDrive(const String& s) {
  return s.size() >= 2 && s[1] == ':' &&
         ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

}  // namespace

String ExtractFilePath(const String& FileName) {
  std::size_t i = LastDelimiter(FileName, "\\/:");
  return i == String::npos ? String() : FileName.substr(0, i + 1);
}

String ExtractFileDir(const String& FileName) {
  std::size_t i = LastDelimiter(FileName, "\\/:");
  if (i == String::npos) return String();
  // Keep the separator of a root ("C:\", "\") so the result still names a folder.
  if (i > 0 && FileName[i] != ':' && !IsPathDelimiter(FileName[i - 1]))
    return FileName.substr(0, i);
  return FileName.substr(0, i + 1);
}

String ExtractFileName(const String& FileName) {
  std::size_t i = LastDelimiter(FileName, "\\/:");
  return i == String::npos ? FileName : FileName.substr(i + 1);
}

String ExtractFileExt(const String& FileName) {
  std::size_t i = LastDelimiter(FileName, ".\\/:");
  if (i == String::npos || FileName[i] != '.') return String();
  return FileName.substr(i);
}

String ExtractFileDrive(const String& FileName) {
  if (HasDrive(FileName)) return FileName.substr(0, 2);
  if (FileName.size() >= 2 && FileName[0] == '\\' && FileName[1] == '\\') {
    // "\\server\share"
    std::size_t slash = FileName.find('\\', 2);
    if (slash == String::npos) return FileName;
    std::size_t end = FileName.find('\\', slash + 1);
    return FileName.substr(0, end);
  }
  return String();
}

String ChangeFileExt(const String& FileName, const String& Extension) {
  std::size_t i = LastDelimiter(FileName, ".\\/:");
  if (i == String::npos || FileName[i] != '.') return FileName + Extension;
  return FileName.substr(0, i) + Extension;
}

String IncludeTrailingBackslash(const String& S) {
  if (!S.empty() && (S.back() == '\\' || S.back() == '/')) return S;
  return S + "\\";
}

String ExcludeTrailingBackslash(const String& S) {
  if (!S.empty() && (S.back() == '\\' || S.back() == '/')) return S.substr(0, S.size() - 1);
  return S;
}

String LinuxPath(const String& FileName) {
  bool windows = HasDrive(FileName) || (!FileName.empty() && FileName[0] == '\\');
  if (!windows) return FileName;
  std::string linux_path;
  DWORD error = 0;
  // An unmapped drive names nothing: an empty path makes every file operation fail.
  if (!win32::WindowsToLinuxPath(FileName, linux_path, error)) return String();
  return linux_path;
}

bool FileExists(const String& FileName) {
  String path = LinuxPath(FileName);
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const String& Directory) {
  String path = LinuxPath(Directory);
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
