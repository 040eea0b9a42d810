// The equalizer panel driven by real mouse events, with the records the engines get read
// back from the recording engine (each logged as its 64 signed bytes).
#include <gtest/gtest.h>

#include <sstream>

#include "PlayerFixture.h"
#include "RecordingEngine.h"

namespace {

struct Sent {
  int deck = 0;
  std::vector<int> bytes;  // 64
};

class EQTest : public RecordedPlayerTest {
 protected:
  void SetUp() override {
    RecordedPlayerTest::SetUp();
    frmMain->btnEQClick(frmMain->btnEQ);
    rec.clear();
  }

  // Every record sent since the last clear; each must be followed by its query.
  std::vector<Sent> Records() {
    std::vector<Sent> out;
    const auto lines = rec.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      std::istringstream in(lines[i]);
      Sent s;
      int code = 0;
      in >> s.deck >> code;
      if (code != XA_MSG_SET_CODEC_EQUALIZER) continue;
      for (int b; in >> b;) s.bytes.push_back(b);
      EXPECT_EQ(s.bytes.size(), 64u) << lines[i];
      EXPECT_TRUE(i + 1 < lines.size() &&
                  lines[i + 1] ==
                      std::to_string(s.deck) + " " + std::to_string(XA_MSG_GET_CODEC_EQUALIZER))
          << "no query after " << lines[i];
      out.push_back(s);
    }
    return out;
  }
  // Drags band thumb `index` (0..19) by dy pixels with the left button.
  void DragBand(int index, int dy, TShiftState held = {ssLeft}) {
    TImage* thumb = frmMain->imgSldrEQ[index];
    const int x = thumb->Left() + 7, y = thumb->Top() + 5;
    const UINT down = held.Contains(ssRight) ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
    const UINT up = held.Contains(ssRight) ? WM_RBUTTONUP : WM_LBUTTONUP;
    SendMouseForTesting(frmMain->pnlEQ, down, x, y, held);
    SendMouseForTesting(frmMain->pnlEQ, WM_MOUSEMOVE, x, y + dy, held);
    SendMouseForTesting(frmMain->pnlEQ, up, x, y + dy);
  }
  // The bands (0..31) where two records differ.
  static std::vector<int> Changed(const Sent& a, const Sent& b) {
    std::vector<int> out;
    for (int i = 0; i < 32; ++i)
      if (a.bytes[i] != b.bytes[i]) out.push_back(i);
    return out;
  }

};

TEST_F(EQTest, PreampsStandUprightOverTheirRange) {
  for (TRxSlider* pre : {frmMain->sldEQ1, frmMain->sldEQ2}) {
    EXPECT_EQ(pre->Orientation(), soVertical);
    EXPECT_EQ(pre->Width(), 30);
    EXPECT_EQ(pre->Height(), 137);
    EXPECT_EQ(pre->MinValue(), -50);
    EXPECT_EQ(pre->MaxValue(), 50);
    EXPECT_EQ(pre->Value(), 0);
  }
  // Every track lies where the first one does, which all thumbs are measured against.
  for (TImage* track : frmMain->imgSldEQ) {
    EXPECT_EQ(track->Top(), frmMain->imgSldEQ[0]->Top());
    EXPECT_EQ(track->Height(), 135);
  }
}

TEST_F(EQTest, NothingIsSentUntilASliderIsTouched) {
  frmMain->InitSliders();
  EXPECT_TRUE(Records().empty());
  // Every thumb starts in the middle of its track, which reads 0.
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(DragVSlider(frmMain->imgSldEQ[0], frmMain->imgSldrEQ[i], SliderGrab.y, -40, 40), 0);
}

TEST_F(EQTest, EachSliderMovesItsBandsOfTheTable) {
  // Each of deck 1's sliders in turn to the top: the bands that change are its own.
  const std::vector<std::vector<int>> expected = {{0},
                                                  {1},
                                                  {2, 3},
                                                  {4, 5},
                                                  {6, 7},
                                                  {8, 9, 10},
                                                  {11, 12, 13, 14},
                                                  {15, 16, 17, 18},
                                                  {19, 20, 21, 22, 23, 24},
                                                  {25, 26, 27, 28, 29, 30, 31}};
  Sent before{1, std::vector<int>(64, 0)};
  for (int s = 0; s < 10; ++s) {
    rec.clear();
    DragBand(s, -200);
    const auto sent = Records();
    ASSERT_FALSE(sent.empty()) << "slider " << s;
    EXPECT_EQ(sent.back().deck, 1);
    EXPECT_EQ(Changed(before, sent.back()), expected[s]) << "slider " << s;
    for (int band : expected[s]) EXPECT_EQ(sent.back().bytes[band], 40);
    // Both channels alike.
    EXPECT_TRUE(std::equal(sent.back().bytes.begin(), sent.back().bytes.begin() + 32,
                           sent.back().bytes.begin() + 32));
    before = sent.back();
  }
  // The table itself, as the record builder reads it.
  std::array<Integer, 10> v{};
  for (int s = 0; s < 10; ++s) v[s] = -s;
  const XA_EqualizerInfo eq = EqualizerRecord(0, v);
  for (int band = 0; band < 32; ++band) EXPECT_EQ(eq.left[band], EQBandSlider[band]);
}

TEST_F(EQTest, PreampAndThumbsAtTheEndsFitASignedByte) {
  DragBand(0, -500);  // deck 1, s0 at the top: -40
  DragBand(19, 500);  // deck 2, s9 at the bottom: +40
  rec.clear();
  frmMain->sldEQ1->SetValue(50);
  frmMain->sldEQ2->SetValue(-50);
  auto sent = Records();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].deck, 1);
  EXPECT_EQ(sent[0].bytes[0], 90);
  EXPECT_EQ(sent[0].bytes[32], 90);
  EXPECT_EQ(sent[0].bytes[1], 50);
  EXPECT_EQ(sent[1].deck, 2);
  EXPECT_EQ(sent[1].bytes[31], -90);
  EXPECT_EQ(sent[1].bytes[63], -90);
  EXPECT_EQ(sent[1].bytes[24], -50);
  // The preamp's own range keeps it within -50..50.
  frmMain->sldEQ1->SetValue(1000);
  EXPECT_EQ(frmMain->sldEQ1->Value(), 50);

  // Whatever reaches the record builder, a band never wraps to the other sign.
  std::array<Integer, 10> wild{};
  wild.fill(-1000);
  EXPECT_EQ(EqualizerRecord(1000, wild).left[5], 127);
  wild.fill(1000);
  EXPECT_EQ(EqualizerRecord(-1000, wild).right[31], -128);
}

TEST_F(EQTest, RightClickOnAPreampSendsItBackToZero) {
  frmMain->sldEQ2->SetValue(30);
  rec.clear();
  SendMouseForTesting(frmMain->sldEQ2, WM_RBUTTONDOWN, 15, 60);
  SendMouseForTesting(frmMain->sldEQ2, WM_RBUTTONUP, 15, 60);
  EXPECT_EQ(frmMain->sldEQ2->Value(), 0);
  const auto sent = Records();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].deck, 2);
  EXPECT_EQ(sent[0].bytes, std::vector<int>(64, 0));  // thumbs centred, preamp 0
}

TEST_F(EQTest, OnlyALeftDragMovesABandThumb) {
  const int top = frmMain->imgSldrEQ[3]->Top();
  DragBand(3, -30, {ssRight});
  EXPECT_EQ(frmMain->imgSldrEQ[3]->Top(), top);
  EXPECT_TRUE(Records().empty());
  // A band thumb reads the same whichever track it stands on: all share the first one's.
  DragBand(13, 30);
  EXPECT_EQ(frmMain->imgSldrEQ[13]->Top(), top + 30);
  const auto sent = Records();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().deck, 2);
  EXPECT_EQ(sent.back().bytes[4], -Round(static_cast<Extended>(62 + 30) * 80 / 125 - 40));
}

}  // namespace
