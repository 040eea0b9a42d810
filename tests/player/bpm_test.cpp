// The tempo read from an ID3 comment: the forms people write it in, and comments that only
// look like a tempo.
#include <gtest/gtest.h>

#include <string>

#include "classlib/SysUtils.h"
#include "player/uMain.h"

namespace {

struct Case {
  std::string comment;
  std::string bpm;
};

TEST(ParseBPM, ReadsTheTempoToFourSignificantDigits) {
  for (const Case& c : {Case{"BPM=128", "128"}, Case{"BPM=128.5", "128.5"},
                        Case{"BPM=128.26", "128.3"}, Case{"BPM= 95", "95"},
                        Case{"BPM=-12.5", "-11.5"}, Case{"BPM=$80", "128"},
                        Case{"128", "128"}, Case{"BPM=99999", "1E5"},
                        Case{"BPM=1.5.3", "1.005"}}) {
    EXPECT_EQ(ParseBPM(c.comment), c.bpm) << c.comment;
  }
}

TEST(ParseBPM, AnythingButANumberGivesNoTempo) {
  const std::string longDigits(5000, '9');
  for (const std::string& s :
       {std::string(), std::string("BPM=128."), std::string("BPM=abc"),
        std::string("BPM=128 "), std::string("BPM=12a.5"), std::string("BPM="),
        std::string("BPM=128.x"), std::string("BPM=\xE9\xFF.5"),
        "BPM=" + longDigits, "BPM=1." + longDigits, std::string("=.")}) {
    EXPECT_EQ(ParseBPM(s), "") << s.substr(0, 40);
  }
}

TEST(ParseBPM, UsesTheLocaleDecimalSeparator) {
  const char saved = DecimalSeparator;
  DecimalSeparator = ',';
  // The fraction still follows the dot of the comment; only the result uses the comma.
  EXPECT_EQ(ParseBPM("BPM=127.5"), "127,5");
  DecimalSeparator = saved;
  EXPECT_EQ(ParseBPM("BPM=127.5"), "127.5");
}

}  // namespace
