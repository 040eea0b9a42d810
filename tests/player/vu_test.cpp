// The VU meters: values sent as the output filters send them, timer ticks run one by one,
// the bars and the timer's state read back. The recording engine stands in for the decks.
#include <gtest/gtest.h>

#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "filter/filter.h"

namespace {

class VUTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    StartPlayer();
    frmMain->Show();
  }
  // One report of a deck (0 or 1), through the window as the filter's thread sends it.
  static LRESULT Send(LPARAM deck, Smallint left, Smallint right) {
    Smallint pair[2] = {left, right};
    return SendMessageA(frmMain->Handle(), WM_DECK_VU, reinterpret_cast<WPARAM>(pair), deck);
  }
  static void Tick() { frmMain->tmrVU->FireTimer(); }
  static void SetBars(TXPlayer& d, Integer left, Integer right) {
    d.VULeft->SetPosition(left);
    d.VURight->SetPosition(right);
  }

  Recorder rec;
};

TEST_F(VUTest, BarsSinkThroughTheUnwrittenFramesAndTruncate) {
  Deck1.PlayState = 1;
  ASSERT_EQ(frmMain->prgVUL1->Position(), 50);
  // The first 38 messages fill frames 1..38; frame 0, read after them, is still empty.
  for (int i = 0; i < 38; ++i) Send(0, 40, 44);
  EXPECT_EQ(frmMain->VURing[0].Left[0], 0);
  EXPECT_EQ(frmMain->VURing[38].Left[0], 40);
  EXPECT_EQ(frmMain->VUWrite, -1);
  std::vector<Integer> steps;
  for (int i = 0; i < 6; ++i) {
    Tick();
    steps.push_back(frmMain->prgVUL1->Position());
  }
  EXPECT_EQ(steps, (std::vector<Integer>{25, 12, 6, 3, 1, 0}));
  EXPECT_EQ(frmMain->prgVUR1->Position(), 0);
  // The 39th writes frame 0; now the bars head for the first message's values.
  Send(0, 40, 44);
  EXPECT_EQ(frmMain->VUWrite, 0);
  Tick();
  EXPECT_EQ(frmMain->prgVUL1->Position(), 20);
  EXPECT_EQ(frmMain->prgVUR1->Position(), 22);
}

TEST_F(VUTest, BarFollowsTheValueSentThirtyEightMessagesBefore) {
  Deck1.PlayState = 1;
  // Message k carries 2 * (k mod 26) on the left and 50 minus that on the right; from an
  // empty bar a tick shows half the value it read, so the message read is known.
  auto value = [](int k) { return static_cast<Smallint>(2 * (k % 26)); };
  for (int k = 1; k <= 120; ++k) {
    Send(0, value(k), static_cast<Smallint>(50 - value(k)));
    if (k < 39) continue;
    SetBars(Deck1, 0, 0);
    Tick();
    ASSERT_EQ(frmMain->prgVUL1->Position(), value(k - 38) / 2) << "after message " << k;
    ASSERT_EQ(frmMain->prgVUR1->Position(), (50 - value(k - 38)) / 2) << "after message " << k;
  }
}

TEST_F(VUTest, BothDecksAdvanceOneIndexAndKeepTheirOwnValues) {
  Deck1.PlayState = 1;
  Deck2.PlayState = 1;
  // Messages 1..20 from deck 1, 21..39 from deck 2: 39 in all, so frame 1 is read next,
  // which only deck 1 ever wrote.
  for (int i = 0; i < 20; ++i) Send(0, 20, 20);
  for (int i = 0; i < 19; ++i) Send(1, 40, 40);
  SetBars(Deck1, 0, 0);
  SetBars(Deck2, 30, 30);
  Tick();
  EXPECT_EQ(frmMain->prgVUL1->Position(), 10);
  EXPECT_EQ(frmMain->prgVUL2->Position(), 15);  // deck 2's part of frame 1 is still 0

  // A whole pass of deck 2 alone: frame 1 now holds deck 2's 30 beside deck 1's old 20.
  for (int i = 0; i < 39; ++i) Send(1, 30, 30);
  SetBars(Deck1, 0, 0);
  SetBars(Deck2, 0, 0);
  Tick();
  EXPECT_EQ(frmMain->prgVUL1->Position(), 10);
  EXPECT_EQ(frmMain->prgVUR2->Position(), 15);
}

TEST_F(VUTest, OnlyAPlayingDeckMovesAndStoppingDropsTheBars) {
  for (int i = 0; i < 39; ++i) {
    Send(0, 10, 10);
    Send(1, 10, 10);
  }
  Deck1.PlayState = 2;  // paused: frozen where it is
  Deck2.PlayState = 1;
  SetBars(Deck1, 33, 34);
  Tick();
  EXPECT_EQ(frmMain->prgVUL1->Position(), 33);
  EXPECT_EQ(frmMain->prgVUR1->Position(), 34);
  EXPECT_EQ(frmMain->prgVUL2->Position(), 30);

  // The engine reports deck 2 stopped: its bars go to 0 and stay there.
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 0);
  EXPECT_EQ(frmMain->prgVUL2->Position(), 0);
  EXPECT_EQ(frmMain->prgVUR2->Position(), 0);
  Tick();
  EXPECT_EQ(frmMain->prgVUL2->Position(), 0);
}

TEST_F(VUTest, ValuesOutsideTheBarsRangeLeaveThemWhereTheyAre) {
  Deck1.PlayState = 1;
  for (int i = 0; i < 39; ++i) Send(0, -20, 200);
  SetBars(Deck1, 12, 30);
  Tick();  // (-20 + 12) / 2 = -4 and (200 + 30) / 2 = 115: both refused by the bars
  EXPECT_EQ(frmMain->prgVUL1->Position(), 12);
  EXPECT_EQ(frmMain->prgVUR1->Position(), 30);
}

TEST_F(VUTest, MessagesOfNoDeckAreIgnored) {
  Send(0, 7, 8);
  const auto ring = frmMain->VURing;
  for (LPARAM bad : {LPARAM{2}, LPARAM{-1}, LPARAM{0x100000000LL}}) Send(bad, 40, 40);
  // Nor a report without its values.
  SendMessageA(frmMain->Handle(), WM_DECK_VU, 0, 0);
  EXPECT_EQ(frmMain->VUWrite, 1);
  for (size_t i = 0; i < ring.size(); ++i) {
    EXPECT_EQ(frmMain->VURing[i].Left, ring[i].Left);
    EXPECT_EQ(frmMain->VURing[i].Right, ring[i].Right);
  }
}

TEST_F(VUTest, ActivateAndRefreshRate) {
  TThreadedTimer* t = frmMain->tmrVU;
  // As the settings leave them when none are stored: on, every 30 ms (rate 70), shown; the
  // timer rests while no deck plays.
  EXPECT_TRUE(frmMain->chkVuMeters->Checked());
  EXPECT_FALSE(t->Enabled());
  EXPECT_EQ(t->Interval(), 30);
  EXPECT_EQ(t->ThreadPriority(), tpHigher);
  EXPECT_TRUE(frmMain->prgVUL1->Visible());
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);
  EXPECT_TRUE(t->Enabled());
  // Switched off with a click on "Activate": the timer stops and the bars go.
  SendMouseForTesting(frmMain->chkVuMeters, WM_LBUTTONDOWN, 6, 8, {ssLeft});
  SendMouseForTesting(frmMain->chkVuMeters, WM_LBUTTONUP, 6, 8);
  EXPECT_FALSE(frmMain->chkVuMeters->Checked());
  EXPECT_FALSE(t->Enabled());
  EXPECT_FALSE(frmMain->prgVUL1->Visible());
  // Nor does a deck starting bring it back.
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 1);
  EXPECT_FALSE(t->Enabled());

  // Meters off, the rate moved: the interval changes and the timer stays off.
  frmMain->sldRefreshVU->SetValue(20);
  EXPECT_EQ(t->Interval(), 80);
  EXPECT_FALSE(t->Enabled());
  // Switching them on (a click on "Activate") starts the timer with that interval and
  // shows all four bars.
  SendMouseForTesting(frmMain->chkVuMeters, WM_LBUTTONDOWN, 6, 8, {ssLeft});
  SendMouseForTesting(frmMain->chkVuMeters, WM_LBUTTONUP, 6, 8);
  EXPECT_TRUE(frmMain->chkVuMeters->Checked());
  EXPECT_TRUE(t->Enabled());
  EXPECT_EQ(t->Interval(), 80);
  for (TALProgressBar* b : {frmMain->prgVUL1, frmMain->prgVUR1, frmMain->prgVUL2, frmMain->prgVUR2})
    EXPECT_TRUE(b->Visible()) << b->Name();
  // With the meters on, a new rate restarts the timer; the ends are 10 and 100 ms.
  frmMain->sldRefreshVU->SetValue(90);
  EXPECT_EQ(t->Interval(), 10);
  EXPECT_TRUE(t->Enabled());
  frmMain->sldRefreshVU->SetValue(0);
  EXPECT_EQ(t->Interval(), 100);

  // A right click on the slider puts it back to 70: every 30 ms.
  SendMouseForTesting(frmMain->sldRefreshVU, WM_RBUTTONDOWN, 20, 14);
  SendMouseForTesting(frmMain->sldRefreshVU, WM_RBUTTONUP, 20, 14);
  EXPECT_EQ(frmMain->sldRefreshVU->Value(), 70);
  EXPECT_EQ(t->Interval(), 30);
  EXPECT_TRUE(t->Enabled());

  // The settings switch them off as a click would.
  frmMain->chkVuMeters->SetChecked(false);
  EXPECT_FALSE(t->Enabled());
  EXPECT_FALSE(frmMain->prgVUR2->Visible());
}

TEST_F(VUTest, TimerRestsWhileNoDeckPlays) {
  TThreadedTimer* t = frmMain->tmrVU;
  // Either deck playing runs it; pausing or stopping the last one rests it again, and a
  // rate moved at rest does not wake it.
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 1);
  EXPECT_TRUE(t->Enabled());
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 2);
  EXPECT_TRUE(t->Enabled());
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 0);
  EXPECT_FALSE(t->Enabled());
  frmMain->sldRefreshVU->SetValue(60);
  EXPECT_EQ(t->Interval(), 40);
  EXPECT_FALSE(t->Enabled());
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 1);
  EXPECT_TRUE(t->Enabled());
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 3);
  EXPECT_FALSE(t->Enabled());
}

TEST_F(VUTest, RunningTimerMovesThePlayingDecksBars) {
  Deck1.PlayState = 1;
  for (int i = 0; i < 39; ++i) Send(0, 0, 0);
  frmMain->sldRefreshVU->SetValue(90);  // 10 ms
  frmMain->chkVuMeters->SetChecked(true);
  // Silence: the bars sink from 50 to 0 within a few real ticks.
  EXPECT_TRUE(PumpUntil([] { return frmMain->prgVUL1->Position() == 0; }, 5000));
  EXPECT_EQ(frmMain->prgVUL2->Position(), 50);
  // Closing the window with the timer running leaves no tick behind.
}

}  // namespace
