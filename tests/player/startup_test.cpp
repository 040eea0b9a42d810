// Start-up of the player against the recording engine: the splash steps, the engines'
// set-up, the deck records and sliders, and the handlers that need no sound.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "PlayerFixture.h"
#include "platform/classlib/CaptionFit.h"
#include "player/uAbout.h"
#include "player/uID3Tag.h"
#include "win32/Modules.h"

namespace {

// The recording engine is the "xaudio.dll" beside this test program.
struct Recorder {
  HMODULE lib = LoadLibraryA("xaudio.dll");
  const char* (*log)() = reinterpret_cast<const char* (*)()>(GetProcAddress(lib, "rec_log"));
  void (*note)(const char*) = reinterpret_cast<void (*)(const char*)>(GetProcAddress(lib,
                                                                                     "rec_note"));
  void (*clear)() = reinterpret_cast<void (*)()>(GetProcAddress(lib, "rec_clear"));
  void (*reset)() = reinterpret_cast<void (*)()>(GetProcAddress(lib, "rec_reset"));

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    std::istringstream in(log());
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
};

class StartupTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.log && rec.note && rec.clear && rec.reset) << "not the recording engine";
    rec.reset();
  }
  Recorder rec;
};

std::vector<std::string> DeckSetUp(int deck, HWND window) {
  std::string d = std::to_string(deck);
  return {"new " + d,
          d + " 27 dsound_output_module_register@xdsound.dll",
          d + " 36 OUTPUT.DIRECTSOUND.WINDOW " + std::to_string(window),
          d + " 63 0",
          d + " priority 4",
          d + " 24 output_filter_module_register" + d + "@filter.dll 0",
          d + " 47 2",
          d + " 45 1000"};
}

TEST_F(StartupTest, StepsShowOnTheSplashBetweenTheEngineCommandsInOrder) {
  SplashProgressObserverForTesting = [this](const String& text, Integer percent) {
    // What the splash shows at that moment, not just what was asked.
    rec.note(("splash " + frmSplash->lblLoad->Caption() + " " +
              std::to_string(frmSplash->prgBar->Position()))
                 .c_str());
    EXPECT_EQ(frmSplash->lblLoad->Caption(), text);
    EXPECT_EQ(frmSplash->prgBar->Position(), percent);
    // And it is on the screen already: the event loop does not run during start-up.
    const TRect bar = frmSplash->prgBar->BoundsRect();
    for (int x = bar.Left; x < bar.Right; x += 3)
      ASSERT_EQ(ScreenPixelForTesting(frmSplash, x, bar.Top + 10),
                SurfacePixelForTesting(frmSplash, x, bar.Top + 10))
          << text << " at " << x;
  };
  StartPlayer();
  ASSERT_NE(frmMain, nullptr);

  std::vector<std::string> want = {"splash Loading XAudio ... 20"};
  for (auto& l : DeckSetUp(1, frmMain->Handle())) want.push_back(l);
  for (auto& l : DeckSetUp(2, frmMain->Handle())) want.push_back(l);
  for (const char* l : {"splash Loading Players ... 40", "splash Loading Sliders ... 60",
                        "splash Loading INI file ... 80",
                        // The settings' routing: both sides together, both decks on card 0.
                        "1 57 50 -1 -1", "2 57 50 -1 -1", "1 59 0", "2 59 0",
                        "1 49 /dev/dsound/0", "2 49 /dev/dsound/0", "1 29",
                        "splash Loading parameters ... 90", "splash Loading About Box ... 100"})
    want.push_back(l);
  EXPECT_EQ(rec.Lines(), want);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(StartupTest, WindowAndRecordsAfterStart) {
  StartPlayer();
  EXPECT_EQ(frmMain->ClientWidth(), 800);
  EXPECT_EQ(frmMain->ClientHeight(), 600);
  EXPECT_EQ(frmMain->BorderStyle(), bsNone);
  EXPECT_EQ(frmMain->Color(), clBlack);

  // The graph lies at the bottom edge of its box until a track plays.
  EXPECT_EQ(frmMain->boxGraph->BoundsRect(), Rect(302, 53, 497, 199));
  for (int i = 0; i < GraphPointCount; ++i) {
    EXPECT_EQ(Deck1.GraphPts[i], Point(302 + 3 * i, 199)) << i;
    EXPECT_EQ(Deck2.GraphPts[i], Point(302 + 3 * i, 199)) << i;
  }

  EXPECT_EQ(CurrentDeck, &Deck1);
  EXPECT_EQ(Deck1.OtherDeck, &Deck2);
  EXPECT_EQ(Deck2.OtherDeck, &Deck1);
  EXPECT_EQ(Deck1.Xaudio, frmMain->Xaudio1);
  EXPECT_EQ(Deck2.PosBar, frmMain->prgBar2);
  EXPECT_EQ(Deck2.LoopButton, nullptr);
  EXPECT_EQ(Deck1.DeckNo, 1);
  EXPECT_EQ(Deck2.GraphColor, 0xFF8080u);

  // Pitch thumbs in the middle, deck 1 at full volume, deck 2 silent, equalizer flat.
  EXPECT_EQ(frmMain->imgSldrPitch1->Left() - frmMain->imgSldPitch1->Left(), 105);
  EXPECT_EQ(frmMain->imgSldrPitch2->Left() - frmMain->imgSldPitch2->Left(), 105);
  EXPECT_EQ(frmMain->imgSldrVol1->Top(), frmMain->imgSldVol1->Top());
  EXPECT_EQ(frmMain->imgSldrVol2->Top(), frmMain->imgSldVol2->Top() + 169 - 10);
  SliderGrab = {};
  EXPECT_EQ(DragVSlider(frmMain->imgSldEQ[0], frmMain->imgSldrEQ[19], 0, -40, 40), 0);

  // The five lower panels share one place; the explorer is in front.
  for (TPanel* p :
       {frmMain->pnlBrowse, frmMain->pnlEQ, frmMain->pnlCD, frmMain->pnlSetup, frmMain->pnlSpots}) {
    EXPECT_EQ(p->Left(), 126);
    EXPECT_EQ(p->Top(), 433);
  }
  EXPECT_EQ(frmMain->Controls(frmMain->ControlCount() - 1), frmMain->pnlBrowse);

  // Every menu of the window frames the item under the pointer.
  int menus = 0;
  for (int i = 0; i < frmMain->ComponentCount(); ++i) {
    auto* menu = dynamic_cast<TPopupMenu*>(frmMain->Components(i));
    if (!menu) continue;
    ++menus;
    auto* rx = dynamic_cast<TRxPopupMenu*>(menu);
    ASSERT_NE(rx, nullptr) << menu->Name();
    EXPECT_EQ(rx->Style(), msBtnRaised) << menu->Name();
  }
  EXPECT_EQ(menus, 6);
}

TEST_F(StartupTest, SkinPicturesHaveTheirDesignedSizes) {
  StartPlayer();
  EXPECT_EQ(frmMain->imgBk->BoundsRect(), Rect(0, 0, 800, 600));
  EXPECT_EQ(frmSplash->imgBack->BoundsRect(), Rect(0, 0, 280, 150));
  for (TImageButton* b : {frmMain->btnPlay1, frmMain->btnPause2, frmMain->btnStop1,
                          frmMain->btnSync2, frmMain->btnSyncL1, frmMain->btnSyncR2}) {
    EXPECT_EQ(b->Width(), 25) << b->Name();
    EXPECT_EQ(b->Height(), 25) << b->Name();
  }
  // The bend-down buttons' other faces are 23 pixels high.
  EXPECT_EQ(frmMain->btnSyncR1->BitmapOver()->Height(), 23);
  EXPECT_EQ(frmMain->btnSyncR1->BitmapDown()->Height(), 23);
  EXPECT_EQ(frmMain->btnSyncR1->BitmapUp()->Height(), 23);
  EXPECT_EQ(frmMain->btnSyncL1->BitmapUp()->Height(), 25);
  EXPECT_EQ(frmMain->imgSldPitch2->Width(), 220);
  EXPECT_EQ(frmMain->imgSldrPitch2->Width(), 10);
  EXPECT_EQ(frmMain->imgSldVol1->Height(), 169);
  EXPECT_EQ(frmMain->imgSldrVol1->Height(), 10);
  EXPECT_EQ(frmMain->imgSldVol->Width(), 220);
  EXPECT_EQ(frmMain->prgBar1->BarBitmap()->Width(), 220);
  EXPECT_EQ(frmMain->prgBar1->BarBitmap()->Height(), 15);
  // The graph's box is black, so curves drawn and wiped in black leave no trace.
  frmMain->Show();
  int notBlack = 0;
  for (int y = 53; y <= 199; ++y)
    for (int x = 302; x <= 497; ++x)
      if (SurfacePixelForTesting(frmMain, x, y) != clBlack) ++notBlack;
  EXPECT_EQ(notBlack, 0);
}

// The forms name the fonts they were laid out with; the faces that stand in for them must
// leave every caption whole.
TEST_F(StartupTest, EveryDesignedCaptionFitsItsControl) {
  StartPlayer();
  Application->CreateForm(frmID3Tag);
  Application->CreateForm(frmAbout);
  frmSplash->lblLoad->SetCaption("Loading About Box ...");
  for (TForm* f : std::vector<TForm*>{frmSplash, frmMain, frmID3Tag, frmAbout})
    EXPECT_EQ(captionfit::Misfits(f), std::vector<std::string>{}) << f->Name();
}

TEST_F(StartupTest, SplashLeavesOnTheTimerAfterTheMainWindowShows) {
  StartPlayer();
  Application->CreateForm(frmID3Tag);
  Application->CreateForm(frmAbout);
  EXPECT_FALSE(frmSplash->Timer->Enabled());
  const auto shown = std::chrono::steady_clock::now();
  frmMain->Show();
  // A second later, on its own timer.
  ASSERT_TRUE(PumpUntil([] { return frmSplash == nullptr; }, 10000));
  EXPECT_GE(std::chrono::steady_clock::now() - shown, std::chrono::milliseconds(1000));
  // Showing the main window again does not reach for the splash.
  frmMain->Hide();
  frmMain->Show();
  EXPECT_TRUE(frmMain->Showing());
}

TEST_F(StartupTest, TitleIsTheFileNameWithoutItsExtension) {
  EXPECT_EQ(TitleOfPath("C:\\Music\\track.mp3"), "track");
  EXPECT_EQ(TitleOfPath("/home/dj/a.b.mp3"), "a.b");
  EXPECT_EQ(TitleOfPath("noext"), "noext");
}

TEST_F(StartupTest, LoadDeckSendsItsCommandsAndResetsTheDeck) {
  StartPlayer();
  Deck1.BeatMarks.fill(7);
  frmMain->imgSldrPitch1->SetLeft(frmMain->imgSldPitch1->Left());
  frmMain->prgBar1->SetPosition(300);
  rec.clear();
  frmMain->LoadDeck(Deck1, "/music/a.b.mp3", "125");
  EXPECT_EQ(rec.Lines(), (std::vector<std::string>{"1 6", "1 22", "1 8 /music/a.b.mp3",
                                                   "1 36 OUTPUT.DIRECTSOUND.PITCH 1000"}));
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "a.b");
  EXPECT_EQ(frmMain->txtBPM1->Text(), "125");
  EXPECT_EQ(frmMain->lblPitch1->Caption(), "100 %");
  EXPECT_EQ(frmMain->lblCurrBPM1->Caption(), "Current BPM = 125");
  EXPECT_EQ(frmMain->imgSldrPitch1->Left() - frmMain->imgSldPitch1->Left(), 105);
  EXPECT_EQ(frmMain->prgBar1->Position(), 1000);
  EXPECT_EQ(Deck1.LineY, 53 + 73);
  for (int i = 0; i < GraphPointCount; ++i) {
    EXPECT_EQ(Deck1.BeatMarks[i], -1);
    EXPECT_EQ(Deck1.GraphPts[i].y, 199);
  }
}

TEST_F(StartupTest, TransportCommandsGoToTheButtonsDeck) {
  StartPlayer();
  rec.clear();
  frmMain->btnPlayClick(frmMain->btnPlay2);
  frmMain->btnPauseClick(frmMain->btnPause1);
  frmMain->shpBoom2->Brush()->SetColor(clRed);
  frmMain->btnStopClick(frmMain->btnStop2);
  EXPECT_EQ(CurrentDeck, &Deck2);
  EXPECT_EQ(frmMain->shpBoom2->Brush()->Color(), clBlack);
  // The bar's width is 220 and its Max 1000: the middle is 500, the left end 0.
  frmMain->prgBarMouseDown(frmMain->prgBar1, mbLeft, {ssLeft}, 110, 5);
  frmMain->prgBarMouseDown(frmMain->prgBar2, mbRight, {ssRight}, 0, 5);
  EXPECT_EQ(rec.Lines(), (std::vector<std::string>{"2 4", "1 5", "2 6", "2 7 0 1", "2 22",
                                                   "1 7 500 1000", "2 7 0 1000"}));
}

TEST_F(StartupTest, SyncHoldsOnlyAPlayingDeck) {
  StartPlayer();
  rec.clear();
  // Stopped: nothing happens.
  frmMain->btnSyncMouseDown(frmMain->btnSync2, mbLeft, {ssLeft}, 1, 1);
  frmMain->btnSyncMouseUp(frmMain->btnSync2, mbLeft, {}, 1, 1);
  EXPECT_TRUE(rec.Lines().empty());
  EXPECT_EQ(CurrentDeck, &Deck2);
  // Playing: pause on press; the release plays only once the pause was reported.
  Deck2.PlayState = 1;
  frmMain->btnSyncMouseDown(frmMain->btnSync2, mbLeft, {ssLeft}, 1, 1);
  frmMain->btnSyncMouseUp(frmMain->btnSync2, mbLeft, {}, 1, 1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 2);
  frmMain->btnSyncMouseUp(frmMain->btnSync2, mbLeft, {}, 1, 1);
  EXPECT_EQ(rec.Lines(), (std::vector<std::string>{"2 5", "2 4"}));
}

TEST_F(StartupTest, PlayingTakesTheLevelFromTheVolumeThumb) {
  StartPlayer();
  rec.clear();
  SliderGrab = {};
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 1);  // thumb at the top: 100
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);  // at the bottom: 0, sent as 1
  Deck2.PreLButton->SetTag(1);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);  // pre-listening: full
  EXPECT_EQ(rec.Lines(),
            (std::vector<std::string>{"1 57 -1 100 -1", "2 57 -1 1 -1", "2 57 -1 100 -1"}));
  EXPECT_EQ(frmMain->lblVol1->Caption(), "100 %");
  EXPECT_EQ(Deck2.PlayState, 1);

  // Stopping draws the graph back to the bottom edge and empties the VU bars.
  Deck1.GraphPts[10].y = 60;
  frmMain->prgVUL1->SetPosition(30);
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio1, 3);
  EXPECT_EQ(Deck1.GraphPts[10], Point(332, 199));
  EXPECT_EQ(frmMain->prgVUL1->Position(), 0);
  EXPECT_EQ(Deck1.PlayState, 3);
}

TEST_F(StartupTest, TimecodesAndDurationOnTheLabels) {
  StartPlayer();
  // Before the first duration the remaining time is the elapsed time negated.
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio2, 0, 0, 5, 0);
  EXPECT_EQ(frmMain->lblPos2->Caption(), "00:05:00");
  EXPECT_EQ(frmMain->lblRem2->Caption(), "00:-05");

  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio2, 7507);
  EXPECT_EQ(frmMain->lblDur2->Caption(), "125:07");
  EXPECT_EQ(Deck2.Zik.DurSecs, 7507);
  EXPECT_EQ(Deck2.Zik.DurMin, 125);
  EXPECT_EQ(Deck2.Zik.DurSec, 7);
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio2, 0, 3, 4, 55);
  EXPECT_EQ(frmMain->lblPos2->Caption(), "03:04:55");
  EXPECT_EQ(frmMain->lblRem2->Caption(), "122:03");
  EXPECT_EQ(frmMain->lblPos1->Caption(), "00:00:00");
}

TEST_F(StartupTest, AutoMixLowersTheBarsMaxToTheMixPoint) {
  StartPlayer();
  AutoMix = -1;
  MixStart = 20;
  frmMain->lblTitle2->SetCaption("next");
  // No duration yet: the position still shows.
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 400, 1000);
  EXPECT_EQ(frmMain->prgBar1->Position(), 400);
  EXPECT_EQ(frmMain->prgBar1->Max(), 1000);

  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio1, 200);
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 450, 1000);
  EXPECT_EQ(frmMain->prgBar1->Max(), 900);
  EXPECT_EQ(frmMain->prgBar1->Position(), 450);

  // Without a track on the other deck the bar is whole again.
  frmMain->lblTitle2->SetCaption("");
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio1, 950, 1000);
  EXPECT_EQ(frmMain->prgBar1->Max(), 1000);
  EXPECT_EQ(frmMain->prgBar1->Position(), 950);
}

TEST_F(StartupTest, NothingChangesWhileClosing) {
  StartPlayer();
  Closing = -1;
  frmMain->XaudioNotifyPlayerState(frmMain->Xaudio2, 1);
  frmMain->XaudioNotifyInputPosition(frmMain->Xaudio2, 10, 1000);
  frmMain->XaudioNotifyInputTimecode(frmMain->Xaudio2, 0, 1, 2, 3);
  frmMain->XaudioNotifyStreamDuration(frmMain->Xaudio2, 99);
  EXPECT_EQ(Deck2.PlayState, 0);
  EXPECT_EQ(frmMain->prgBar2->Position(), 1000);
  EXPECT_EQ(frmMain->lblPos2->Caption(), "00:00:00");
  EXPECT_EQ(frmMain->lblDur2->Caption(), "00:00");
  EXPECT_EQ(Deck2.Zik.DurSecs, 0);
  EXPECT_EQ(CurrentDeck, &Deck1);
}

// The slider routines on their own pictures.
class SliderTest : public PlayerTest {
 protected:
  TImage* Picture(int l, int t, int w, int h) {
    auto* i = new TImage(Application);
    i->SetBounds(l, t, w, h);
    return i;
  }
};

TEST_F(SliderTest, PlaceAndDragMapLinearlyWithHalvesToEven) {
  TImage* track = Picture(29, 0, 220, 15);
  TImage* thumb = Picture(0, 0, 10, 15);
  PlaceHSlider(track, thumb, 1000, 1100, 900);
  EXPECT_EQ(thumb->Left(), 29 + 105);
  // 210 * 5 / 200 = 5.25 -> 5; 210 * 10 / 200 = 10.5 -> 10 (even); 210 * 30 / 200 = 31.5 -> 32.
  PlaceHSlider(track, thumb, 905, 1100, 900);
  EXPECT_EQ(thumb->Left(), 29 + 5);
  PlaceHSlider(track, thumb, 910, 1100, 900);
  EXPECT_EQ(thumb->Left(), 29 + 10);
  PlaceHSlider(track, thumb, 930, 1100, 900);
  EXPECT_EQ(thumb->Left(), 29 + 32);
  // No clamping when placing.
  PlaceHSlider(track, thumb, 1200, 1100, 900);
  EXPECT_EQ(thumb->Left(), 29 + 315);

  // Dragging stops at the ends and answers exactly Min and Max.
  SliderGrab = {5, 7};
  PlaceHSlider(track, thumb, 1000, 1100, 900);
  EXPECT_EQ(DragHSlider(track, thumb, 5 + 500, 900, 1100), 1100);
  EXPECT_EQ(thumb->Left(), 29 + 210);
  EXPECT_EQ(DragHSlider(track, thumb, 5 - 1000, 900, 1100), 900);
  EXPECT_EQ(thumb->Left(), 29);
  // At the grab point the thumb stays and the value is read: 21 px of 210 is 20 of 200.
  thumb->SetLeft(29 + 21);
  EXPECT_EQ(DragHSlider(track, thumb, 5, 900, 1100), 920);
  EXPECT_EQ(thumb->Left(), 29 + 21);

  TImage* vtrack = Picture(0, 200, 15, 169);
  TImage* vthumb = Picture(0, 0, 15, 10);
  PlaceVSlider(vtrack, vthumb, 100, 100, 0);
  EXPECT_EQ(vthumb->Top(), 200 + 159);
  EXPECT_EQ(DragVSlider(vtrack, vthumb, 7 - 80, 0, 100), 50);  // 79 of 159: 49.7
  EXPECT_EQ(DragVSlider(vtrack, vthumb, 7 + 1000, 0, 100), 100);
}

}  // namespace
