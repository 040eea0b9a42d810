// The level graph and the beat, fed with scripted level streams as the output filter would
// send them, with beats counted by a window that stands in for the light controller.
#include <gtest/gtest.h>

#include <functional>

#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "classlib/Menus.h"
#include "filter/filter.h"

namespace {

constexpr int kBase = 500;    // the bass between the kicks
constexpr int kKick = 20000;  // a kick

class GraphTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    rec.reset();
    StartPlayer();
    frmMain->Show();
    frmMain->LoadDeck(Deck1, "/music/kick.mp3", "128");
    receiver = CreateWindowWithProc([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_LIGHTS_BEAT) ++beats;
      return DefWindowProcA(h, m, w, l);
    });
    LightWindow = receiver;
  }
  void TearDown() override {
    SetMenuTrackerForTesting(nullptr);
    DestroyWindow(receiver);
    PlayerTest::TearDown();
  }

  // One level of a deck, as the filter sends it; `after` looks at the deck after each.
  void Level(int level, int deck = 1) {
    SendMessageA(frmMain->Handle(), WM_DECK_LEVEL, static_cast<WPARAM>(level), deck);
    if (after) after();
  }
  // `cycles` bars of `quiet` bass levels, then `loud` kick levels.
  void Kicks(int cycles, int quiet, int loud, int deck = 1) {
    for (int c = 0; c < cycles; ++c) {
      for (int i = 0; i < quiet; ++i) Level(kBase, deck);
      for (int i = 0; i < loud; ++i) Level(kKick, deck);
    }
  }
  // The markers written over the bars; a peak's marker comes one level after it.
  void Quiet(int n, int deck = 1) {
    for (int i = 0; i < n; ++i) Level(kBase, deck);
  }
  int MarksWritten(int cycles, int quiet, int loud) {
    int marks = 0;
    after = [&] { marks += Deck1.BeatMarks[65] != -1; };
    Kicks(cycles, quiet, loud);
    Quiet(quiet);
    after = nullptr;
    return marks;
  }
  TColor Pixel(int x, int y) { return SurfacePixelForTesting(frmMain, x, y); }

  Recorder rec;
  HWND receiver = 0;
  int beats = 0;
  std::function<void()> after;
};

TEST_F(GraphTest, FirstLevelAfterALoadIsDrawnAtAThirdOfItsScale) {
  Level(16384);
  EXPECT_EQ(Deck1.LevelCount, 1u);
  EXPECT_EQ(Deck1.LevelTotal, 16384u);
  // The average is the level itself: 199 / 3 = 66 pixels, two thirds of the way up to it.
  EXPECT_EQ(Deck1.GraphPts[65].y, (2 * (199 - 66) + 199) / 3);
  EXPECT_EQ(Deck1.GraphPts[64].y, 199);
  EXPECT_EQ(Deck1.GraphPts[65].x, 302 + 3 * 65);
  EXPECT_EQ(Deck1.LineY, 126);
  EXPECT_EQ(Deck1.LineLeft, 302);
  EXPECT_EQ(Deck1.LineRight, 497);
  EXPECT_EQ(CurrentDeck, &Deck1);
  // Any LParam but 1 is deck 2.
  Level(16384, 7);
  EXPECT_EQ(Deck2.LevelCount, 1u);
  EXPECT_EQ(CurrentDeck, &Deck2);
}

TEST_F(GraphTest, SteadyLevelSettlesLowAndOnlyAnOutstandingOneReachesUp) {
  for (int i = 0; i < 200; ++i) Level(8000);
  const int settled = Deck1.GraphPts[65].y;
  EXPECT_GT(settled, 199 - 146 / 4);
  EXPECT_EQ(Deck1.GraphPts[64].y, settled);
  Level(10000);  // a quarter above the average: still a third of its scale
  EXPECT_GT(Deck1.GraphPts[65].y, 199 - 146 / 4);
  Level(20000);  // well above: full scale, capped at the box's height
  EXPECT_EQ(Deck1.GraphPts[65].y, (2 * 53 + Deck1.GraphPts[64].y) / 3);
}

TEST_F(GraphTest, BeatLineNeverSinksOnItsOwn) {
  Deck1.LineY = 20;  // above the box: brought back to its top
  Level(8000);
  EXPECT_EQ(Deck1.LineY, 53);
  EXPECT_EQ(Deck1.OldLineY, 20);
  Deck1.LineY = 126;
  after = [] { ASSERT_EQ(Deck1.LineY, 126); };
  for (int i = 0; i < 300; ++i) Level(8000);
}

TEST_F(GraphTest, MethodOneTakesSharpPeaksAndMethodTwoFlatTops) {
  // Method 1: every single-level kick leaves a marker, held kicks none.
  EXPECT_EQ(MarksWritten(6, 19, 1), 6);
  EXPECT_NE(Deck1.LineY, 126);  // the line moved to just under the peaks
  EXPECT_EQ(MarksWritten(6, 12, 8), 0);
  // Method 2: the other way round.
  frmMain->LoadDeck(Deck1, "/music/kick.mp3", "128");
  BoomMethod = 2;
  EXPECT_EQ(MarksWritten(6, 19, 1), 0);
  EXPECT_EQ(Deck1.LineY, 126);
  EXPECT_EQ(MarksWritten(6, 12, 8), 6);
}

TEST_F(GraphTest, OneBeatPerRiseAboveTheLine) {
  Deck1.ForceLine = -1;
  Deck1.ForceLineY = 150;
  int lit = 0;
  after = [&] { lit += frmMain->shpBoom1->Brush()->Color() == clRed; };
  // The kick reaches the test point 37 levels after it came, and then stays above the
  // line for 30 levels.
  Kicks(1, 40, 30);
  Quiet(60);
  EXPECT_GT(lit, 20);
  EXPECT_EQ(beats, 1);
  EXPECT_EQ(frmMain->shpBoom1->Brush()->Color(), clBlack);
  Kicks(1, 0, 30);
  Quiet(60);
  EXPECT_EQ(beats, 2);
  // Deck 2's levels are its own: deck 1's kicks left its lamp dark, and its own kicks
  // light it, not deck 1's, and send beats of their own.
  EXPECT_EQ(frmMain->shpBoom2->Brush()->Color(), clBlack);
  PlaceVSlider(frmMain->imgSldVol1, frmMain->imgSldrVol1, 50, 100, 0);  // equal volumes
  PlaceVSlider(frmMain->imgSldVol2, frmMain->imgSldrVol2, 50, 100, 0);
  Deck2.ForceLine = -1;
  Deck2.ForceLineY = 150;
  lit = 0;
  int litOne = 0;
  after = [&] {
    lit += frmMain->shpBoom2->Brush()->Color() == clRed;
    litOne += frmMain->shpBoom1->Brush()->Color() == clRed;
  };
  Kicks(1, 40, 30, 2);
  Quiet(60, 2);
  EXPECT_GT(lit, 20);
  EXPECT_EQ(litOne, 0);
  EXPECT_EQ(beats, 3);
}

TEST_F(GraphTest, ADeckThatStopsShowsItsLampDarkHoweverItStops) {
  const std::vector<std::function<void()>> ways = {
      [] { frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, XA_PLAYER_STATE_STOPPED); },
      [] { frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, XA_PLAYER_STATE_EOS); },
      [] { frmMain->FinishMix(Deck1); }, [] { frmMain->LoadDeck(Deck1, "/music/next.mp3", ""); }};
  for (std::size_t way = 0; way < ways.size(); ++way) {
    frmMain->shpBoom1->Brush()->SetColor(clRed);
    ways[way]();
    EXPECT_EQ(frmMain->shpBoom1->Brush()->Color(), clBlack) << way;
  }
}

TEST_F(GraphTest, QuieterDeckLightsItsLampButSendsNoBeat) {
  PlaceVSlider(frmMain->imgSldVol2, frmMain->imgSldrVol2, 0, 100, 0);   // deck 2 at 100
  PlaceVSlider(frmMain->imgSldVol1, frmMain->imgSldrVol1, 50, 100, 0);  // deck 1 at 50
  int lit = 0;
  after = [&] { lit += frmMain->shpBoom1->Brush()->Color() == clRed; };
  Deck1.ForceLine = -1;
  Deck1.ForceLineY = 150;
  Kicks(3, 40, 20);
  Quiet(60);
  EXPECT_GT(lit, 0);
  EXPECT_EQ(beats, 0);
  // Reading the volumes moved no thumb.
  EXPECT_EQ(frmMain->imgSldrVol1->Top() - frmMain->imgSldVol1->Top(), 80);
  // Equal volumes: the beats go out again.
  PlaceVSlider(frmMain->imgSldVol2, frmMain->imgSldrVol2, 50, 100, 0);
  Kicks(1, 40, 20);
  Quiet(60);
  EXPECT_EQ(beats, 1);
}

TEST_F(GraphTest, ForcedLineHoldsWhateverTheLevelsAndWritesNoMarkers) {
  TSpeedButton* handle = frmMain->btnForceBoomLine1;
  // The right button moves the handle within its panel.
  SendMouseForTesting(frmMain->pnlLine1, WM_RBUTTONDOWN, 12, handle->Top() + 10, {ssRight});
  SendMouseForTesting(frmMain->pnlLine1, WM_MOUSEMOVE, 12, handle->Top() - 20, {ssRight});
  SendMouseForTesting(frmMain->pnlLine1, WM_RBUTTONUP, 12, handle->Top() - 20);
  EXPECT_EQ(handle->Top(), 62 - 30);
  EXPECT_EQ(Deck1.ForceLineY, 62 - 30 + 54);
  frmMain->btnForceBoomLineMouseDown(handle, mbRight, {ssRight}, 10, 10);
  frmMain->btnForceBoomLineMouseMove(handle, {ssRight}, 10, -500);
  EXPECT_EQ(handle->Top(), 0);
  EXPECT_EQ(Deck1.ForceLineY, 54);
  frmMain->btnForceBoomLineMouseMove(handle, {ssRight}, 10, 500);
  EXPECT_EQ(handle->Top(), 125);
  EXPECT_EQ(Deck1.ForceLineY, 179);
  frmMain->btnForceBoomLineMouseMove(handle, {ssLeft}, 10, -500);  // left: nothing
  EXPECT_EQ(handle->Top(), 125);
  frmMain->btnForceBoomLineMouseMove(handle, {ssRight}, 10, -20);
  EXPECT_EQ(Deck1.ForceLineY, 149);
  EXPECT_EQ(Deck1.ForceLine, 0);

  // The left button turns it on, red, and off again.
  frmMain->btnForceBoomLineClick(handle);
  EXPECT_NE(Deck1.ForceLine, 0);
  EXPECT_EQ(handle->Font()->Color(), clRed);
  int off = 0;
  after = [&] {
    off += Deck1.LineY != 149;
    for (int m : Deck1.BeatMarks) off += m != -1;
  };
  Kicks(4, 19, 1);
  after = nullptr;
  EXPECT_EQ(off, 0);
  frmMain->btnForceBoomLineClick(handle);
  EXPECT_EQ(Deck1.ForceLine, 0);
  EXPECT_EQ(handle->Font()->Color(), frmMain->Font()->Color());
  // Deck 2's handle serves deck 2.
  frmMain->btnForceBoomLineClick(frmMain->btnForceBoomLine2);
  EXPECT_NE(Deck2.ForceLine, 0);
  EXPECT_EQ(Deck2.ForceLineY, frmMain->btnForceBoomLine2->Top() + 43 + 11);
  EXPECT_EQ(Deck1.ForceLine, 0);
}

TEST_F(GraphTest, PausedOtherDeckIsRedrawnAndAStoppedOneIsNot) {
  for (auto& p : Deck2.GraphPts) p.y = 100;
  Deck2.PlayState = 2;
  frmMain->boxGraph->Repaint();
  EXPECT_EQ(Pixel(350, 100), clBlack);
  Level(kBase);
  EXPECT_EQ(Pixel(350, 100), 0xFF8080u);
  EXPECT_EQ(Pixel(350, 199), clWhite);  // deck 1's own curve
  Deck2.PlayState = 0;
  frmMain->boxGraph->Repaint();
  Level(kBase);
  EXPECT_EQ(Pixel(350, 100), clBlack);
  Deck2.PlayState = 3;
  Level(kBase);
  EXPECT_EQ(Pixel(350, 100), clBlack);
}

TEST_F(GraphTest, OptionsMenuSwitchesLinesAndMethodPerDeck) {
  std::vector<int> choices;
  std::vector<std::vector<String>> seen;
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    std::vector<String> captions;
    for (int i = 0; i < m.Count(); ++i)
      captions.push_back(m.Item(i)->Caption() + (m.Item(i)->Checked() ? "*" : ""));
    seen.push_back(captions);
    int c = choices.front();
    choices.erase(choices.begin());
    m.Choose(c);
  });
  auto choose = [&](TSpeedButton* b, std::vector<int> path) {
    choices = path;
    seen.clear();
    frmMain->btnGraphOptionsClick(b);
    Application->ProcessMessages();
  };

  choose(frmMain->btnGraphOptions2, {1});  // deck 2: Beat Line
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], (std::vector<String>{"Sound Line", "Beat Line", "Beat Detection"}));
  EXPECT_EQ(frmMain->popGraphOptions->Alignment(), paLeft);
  EXPECT_NE(Deck2.BoomLine, 0);
  EXPECT_EQ(Deck1.BoomLine, 0);

  // Deck 1's menu shows deck 1's state.
  choose(frmMain->btnGraphOptions1, {1});
  EXPECT_EQ(seen[0][1], "Beat Line");
  EXPECT_EQ(frmMain->popGraphOptions->Alignment(), paRight);
  EXPECT_NE(Deck1.BoomLine, 0);
  choose(frmMain->btnGraphOptions2, {0});
  EXPECT_EQ(seen[0][1], "Beat Line*");
  EXPECT_NE(SoundLine, 0);
  EXPECT_TRUE(frmMain->popSoundLine->Checked());

  // Method 2 in the sub-menu becomes the bold, checked one.
  choose(frmMain->btnGraphOptions1, {2, 1});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], (std::vector<String>{"Method 1*", "Method 2"}));
  EXPECT_EQ(BoomMethod, 2);
  EXPECT_TRUE(frmMain->popBDetect2->Default());
  EXPECT_TRUE(frmMain->popBDetect2->Checked());
  EXPECT_FALSE(frmMain->popBDetect1->Checked());
  EXPECT_EQ(frmMain->popBDetect2->Hint(), "Use it for big boom");

  // Drawn: the sound line in blue, deck 1's dotted beat line in white.
  Level(kBase);
  EXPECT_EQ(Pixel(386, 60), clBlue);
  EXPECT_EQ(Pixel(302, Deck1.LineY), clWhite);
  EXPECT_EQ(Pixel(303, Deck1.LineY), clBlack);
  EXPECT_EQ(Pixel(304, Deck1.LineY), clWhite);
  // Switching deck 1's line off wipes it.
  choose(frmMain->btnGraphOptions1, {1});
  EXPECT_EQ(Deck1.BoomLine, 0);
  EXPECT_EQ(Pixel(304, Deck1.LineY), clBlack);
  // A repaint wipes the sound line until the next level.
  choose(frmMain->btnGraphOptions1, {0});
  EXPECT_EQ(SoundLine, 0);
  EXPECT_EQ(Pixel(386, 60), clBlack);
}

}  // namespace
