// The system's single-byte text and Qt's Unicode meet in the class library; every byte
// must come back as it went in, and the code page's own characters must show as such.
#include <gtest/gtest.h>

#include <QString>

#include "classlib/GuiPrivate.h"

TEST(AnsiText, EveryByteSurvivesTheRoundTrip) {
  for (int b = 1; b < 256; ++b) {
    String s(1, static_cast<char>(b));
    EXPECT_EQ(QtToAnsi(AnsiToQt(s)), s) << "byte " << b;
  }
}

TEST(AnsiText, TheCodePagesOwnCharactersShowAsThemselves) {
  EXPECT_EQ(AnsiToQt("\x96"), QString(QChar(0x2013)));  // en dash, the beat line handles
  EXPECT_EQ(AnsiToQt("\x80"), QString(QChar(0x20AC)));  // euro sign
  EXPECT_EQ(AnsiToQt("caf\xE9"), QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(QtToAnsi(QString::fromUtf8("\xE2\x80\x94")), "\x97");  // em dash
  EXPECT_EQ(QtToAnsi(QString(QChar(0x4E2D))), "?") << "no byte for it in the code page";
}
