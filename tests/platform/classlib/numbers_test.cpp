// Number conversions and formatting: the digits the player shows (positions, pitch, BPM).
#include <gtest/gtest.h>

#include "classlib/SysUtils.h"

namespace {

// Restores the decimal separator after a test that changes it.
struct SeparatorGuard {
  char saved = DecimalSeparator;
  ~SeparatorGuard() { DecimalSeparator = saved; }
};

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(3.5), 4);
  EXPECT_EQ(Round(-0.5), 0);
  EXPECT_EQ(Round(-1.5), -2);
  EXPECT_EQ(Round(2.4999), 2);
  EXPECT_EQ(Round(1e12 + 0.6), 1000000000001LL);
  EXPECT_EQ(Trunc(2.9), 2);
  EXPECT_EQ(Trunc(-2.9), -2);
}

TEST(MulDiv, RoundsHalvesAwayFromZeroWithAWideProduct) {
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(3, 1, -2), -2);
  EXPECT_EQ(MulDiv(5, 1, 3), 2);  // 1.67
  EXPECT_EQ(MulDiv(4, 1, 3), 1);  // 1.33
  // The product overflows 32 bits, the result does not.
  EXPECT_EQ(MulDiv(100000, 100000, 1000), 10000000);
  EXPECT_EQ(MulDiv(7, 8, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 1), -1);
}

TEST(Format, IntegerPrecisionPadsAfterTheSign) {
  EXPECT_EQ(Format("%.2d", -5), "-05");
  EXPECT_EQ(Format("%.2d:%.2d:%.2d", 3, 7, 0), "03:07:00");
  EXPECT_EQ(Format("%.2d:%.2d", 125, 7), "125:07");
  EXPECT_EQ(Format("%5d|%-5d|", 42, 42), "   42|42   |");
  EXPECT_EQ(Format("%x %.4x", 255, 255), "FF 00FF");
  EXPECT_EQ(Format("%u", -1), "4294967295");
  EXPECT_EQ(Format("100%%"), "100%");
  EXPECT_EQ(Format("%d", static_cast<Int64>(1) << 40), "1099511627776");
}

TEST(Format, TextFloatsIndexesAndStars) {
  EXPECT_EQ(Format("[%-5s][%5s][%.2s]", "ab", "cd", "xyz"), "[ab   ][   cd][xy]");
  EXPECT_EQ(Format("%s%s", String("a"), 'b'), "ab");
  EXPECT_EQ(Format("%f", 2.5), "2.50");
  EXPECT_EQ(Format("%.1f", -0.25), "-0.2");
  EXPECT_EQ(Format("%1:s %0:s", "a", "b"), "b a");
  EXPECT_EQ(Format("%*d", 4, 7), "   7");
  EXPECT_EQ(Format("%e", 100.0), "1.00000000000000E+002");
  EXPECT_EQ(Format("%n", 1234567.891), "1,234,567.89");
}

TEST(Format, BadFormatsRaise) {
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%s", 5), EConvertError);
  EXPECT_THROW(Format("%d %d", 5), EConvertError);
  EXPECT_THROW(Format("50%"), EConvertError);
  EXPECT_THROW(Format("%k", 1), EConvertError);
  try {
    Format("%d", "x");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Format '%d' invalid or incompatible with argument");
  }
}

TEST(FloatToStr, ShortestGeneralFormWithFifteenDigits) {
  EXPECT_EQ(FloatToStr(100.5), "100.5");
  EXPECT_EQ(FloatToStr(1005 / 10.0), "100.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(0.00012), "0.00012");
  EXPECT_EQ(FloatToStr(1e-5), "1E-5");
  EXPECT_EQ(FloatToStr(-1.25e-7), "-1.25E-7");
}

TEST(FloatToStr, FollowsTheDecimalSeparator) {
  SeparatorGuard guard;
  DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(128.5), "128,5");
  EXPECT_EQ(FormatFloat("0.00", 1.5), "1,50");
}

TEST(FloatToStrF, GeneralAndFixed) {
  EXPECT_EQ(FloatToStrF(127.5, ffGeneral, 4, 0), "127.5");
  EXPECT_EQ(FloatToStrF(127.56, ffGeneral, 4, 0), "127.6");
  EXPECT_EQ(FloatToStrF(123456, ffGeneral, 4, 0), "1.235E5");
  EXPECT_EQ(FloatToStrF(1234, ffGeneral, 4, 0), "1234");
  EXPECT_EQ(FloatToStrF(0.5, ffFixed, 15, 2), "0.50");
  EXPECT_EQ(FloatToStrF(-3, ffFixed, 15, 0), "-3");
  EXPECT_EQ(FloatToStrF(1234.5678, ffNumber, 15, 1), "1,234.6");
}

TEST(FormatFloat, Pictures) {
  EXPECT_EQ(FormatFloat("#.##", 0), "");
  EXPECT_EQ(FormatFloat("#.##", 128), "128");
  EXPECT_EQ(FormatFloat("#.##", 127.456), "127.46");
  EXPECT_EQ(FormatFloat("#.##", 127.5), "127.5");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("#.##", -1.25), "-1.25");
  EXPECT_EQ(FormatFloat("#.##", 0.001), "");
  EXPECT_EQ(FormatFloat("0.00", 1.5), "1.50");
  EXPECT_EQ(FormatFloat("0.00", 0), "0.00");
  EXPECT_EQ(FormatFloat("0", 2.4), "2");
  EXPECT_EQ(FormatFloat("#0.0", 0), "0.0");
  EXPECT_EQ(FormatFloat("000", 7), "007");
  EXPECT_EQ(FormatFloat("#,##0", 1234567), "1,234,567");
  EXPECT_EQ(FormatFloat("0.0 'BPM'", 128), "128.0 BPM");
  EXPECT_EQ(FormatFloat("0;(0);zero", -5), "(5)");
  EXPECT_EQ(FormatFloat("0;(0);zero", 0), "zero");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345), "1.23E+04");
}

TEST(StrToInt, BlanksSignAndHexadecimal) {
  EXPECT_EQ(StrToIntDef("  $1F", 0), 31);
  EXPECT_EQ(StrToIntDef("12x", 7), 7);
  EXPECT_EQ(StrToIntDef(" -42", 0), -42);
  EXPECT_EQ(StrToIntDef("+7", 0), 7);
  EXPECT_EQ(StrToIntDef("-$10", 0), -16);
  EXPECT_EQ(StrToIntDef("", 3), 3);
  EXPECT_EQ(StrToIntDef("12 ", 3), 3);  // trailing blanks do not convert
  EXPECT_EQ(StrToIntDef("-", 3), 3);
  EXPECT_EQ(StrToIntDef("$", 3), 3);
  EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
  EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483647 - 1);
  EXPECT_EQ(StrToIntDef("2147483648", 9), 9);
  EXPECT_EQ(StrToIntDef("99999999999999999999", 9), 9);
  EXPECT_EQ(StrToIntDef("$FFFFFFFF", 0), -1);
  EXPECT_EQ(StrToIntDef("$100000000", 9), 9);
  EXPECT_EQ(StrToInt("0"), 0);
  try {
    StrToInt("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
}

TEST(StrToFloat, UsesTheLocaleSeparatorOnly) {
  EXPECT_DOUBLE_EQ(static_cast<double>(StrToFloat("128.5")), 128.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(StrToFloat(" -1.5e3 ")), -1500);
  EXPECT_DOUBLE_EQ(static_cast<double>(StrToFloat(".5")), 0.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(StrToFloat("5.")), 5);
  EXPECT_EQ(StrToFloatDef("", -1), -1);
  EXPECT_EQ(StrToFloatDef(".", -1), -1);
  EXPECT_EQ(StrToFloatDef("1e", -1), -1);
  EXPECT_EQ(StrToFloatDef("0x10", -1), -1);
  EXPECT_EQ(StrToFloatDef("inf", -1), -1);
  EXPECT_EQ(StrToFloatDef("1,5", -1), -1);
  try {
    StrToFloat("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
  SeparatorGuard guard;
  DecimalSeparator = ',';
  EXPECT_DOUBLE_EQ(static_cast<double>(StrToFloat("128,5")), 128.5);
  EXPECT_EQ(StrToFloatDef("128.5", -1), -1);
}

TEST(IntToText, DecimalAndHex) {
  EXPECT_EQ(IntToStr(-17), "-17");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(255, 1), "FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
}

TEST(Random, SeededSequenceRepeatsAndStaysInRange) {
  RandSeed = 12345;
  std::vector<Integer> first;
  for (int i = 0; i < 100; ++i) first.push_back(Random(10));
  RandSeed = 12345;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(Random(10), first[static_cast<std::size_t>(i)]);
  bool seen[10] = {};
  for (Integer v : first) {
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 10);
    seen[v] = true;
  }
  int distinct = 0;
  for (bool s : seen) distinct += s ? 1 : 0;
  EXPECT_GE(distinct, 8);
  EXPECT_EQ(Random(0), 0);
  Extended f = Random();
  EXPECT_GE(f, 0);
  EXPECT_LT(f, 1);
}

}  // namespace
