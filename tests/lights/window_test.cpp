// The main window as a whole: start-up with the INI files, the messages with the player and
// the surveyor (stood in for by windows of the test), the window handling and the close.
#include <gtest/gtest.h>

#include <utility>

#include "LightsFixture.h"
#include "platform/classlib/CaptionFit.h"

namespace {

struct Received {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  bool operator==(const Received&) const = default;
};

class Window : public LightsTest {
 protected:
  void TearDown() override {
    if (peer_) DestroyWindow(peer_);
    LightsTest::TearDown();
  }
  // A window of the test that records what it is sent.
  HWND Peer() {
    if (!peer_)
      peer_ = CreateWindowWithProc([this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        received_.push_back({m, w, l});
        return 0;
      });
    return peer_;
  }
  static int Key(const char* File, const char* Section, const char* Key) {
    return static_cast<int>(GetPrivateProfileIntA(Section, Key, -1, File));
  }
  HWND peer_ = 0;
  std::vector<Received> received_;
};

TEST_F(Window, PowerFromTheLastRunWithNoPlayerRunsTheClock) {
  WriteIni("Spots.ini", "[Parameters]\r\nPower=1\r\n");
  StartLights();
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_TRUE(Form1->Timer1->Enabled());
  EXPECT_EQ(Form1->Timer1->Interval(), 500u);
  EXPECT_FALSE(Form1->Automode1->Checked());
  EXPECT_EQ(Key("kaz_pro.ini", "Handle", "spots"), static_cast<int>(Form1->Handle()));

  // Closing by "X" clears the handle and the power for the next run.
  Form1->Panel4Click(Form1->Panel4);
  EXPECT_EQ(Key("kaz_pro.ini", "Handle", "spots"), 0);
  EXPECT_EQ(Key("Spots.ini", "Parameters", "Power"), 0);
}

TEST_F(Window, WithThePlayerFoundTheLightsAttachAndFollowItsBeats) {
  WriteIni("Spots.ini", "[Parameters]\r\nPower=1\r\n");
  WriteIni("KAZ_PRO.ini", "[Handle]\r\nKAZ=" + std::to_string(Peer()) + "\r\n");
  StartLights();
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], (Received{WM_LIGHTS_ATTACH, Form1->Handle(), 0}));
  EXPECT_TRUE(Form1->CheckBox1->Checked());
  EXPECT_TRUE(Form1->Automode1->Checked());
  EXPECT_TRUE(Form1->Flashingchk->Checked());
  EXPECT_TRUE(FlashMode);
  EXPECT_TRUE(Form1->Boomfilter->Enabled());
  EXPECT_FALSE(Form1->Boomfilter->Checked());
  EXPECT_FALSE(Form1->Timer1->Enabled());
  Beat();
  EXPECT_EQ(LastByte(), 0x22);
  EXPECT_TRUE(Form1->CutoffTimer->Enabled());
  // The player's key was read, not written.
  EXPECT_EQ(Key("kaz_pro.ini", "Handle", "kaz"), static_cast<int>(Peer()));
}

TEST_F(Window, StaleHandlesAndMalformedFilesStillStart) {
  WriteIni("KAZ_PRO.ini",
           "garbage\x01\xff\r\n[Handle\r\n=\r\n[Handle]\r\nkaz=7777777\r\n"
           "surveyor=notanumber\r\n");
  WriteIni("Spots.ini", std::string("\x00\xfe[Parameters]\nPower=one\n", 25));
  StartLights();
  EXPECT_FALSE(Form1->CheckBox1->Checked());
  EXPECT_EQ(SurveyorWindow, 0u);
  // A stale player handle counts as found: the lights wait for its beats.
  EXPECT_TRUE(Form1->Automode1->Checked());
  EXPECT_EQ(PortBytes(), std::vector<int>{0});
}

TEST_F(Window, ASettingsFileThatCannotBeWrittenIsReportedAndTheLightsStillStart) {
  std::filesystem::create_directories(WindowsDir() + "/kaz_pro.ini");
  StartLights();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("kaz_pro.ini"), String::npos) << Boxes()[0];
  EXPECT_EQ(PortBytes(), std::vector<int>{0});
  Form1->Close();
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Key("Spots.ini", "Parameters", "Power"), 0);
  std::filesystem::remove_all(WindowsDir() + "/kaz_pro.ini");
}

TEST_F(Window, TheSurveyorHearsTheStartThePingAndTheClose) {
  WriteIni("KAZ_PRO.ini", "[Handle]\r\nsurveyor=" + std::to_string(Peer()) + "\r\n");
  StartLights();
  EXPECT_EQ(SurveyorWindow, Peer());
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0], (Received{WM_SURVEYOR_ATTACH, Form1->Handle(), 0}));
  SendMessageA(Form1->Handle(), WM_SURVEYOR_PING, Peer(), 12345);
  ASSERT_EQ(received_.size(), 2u);
  EXPECT_EQ(received_[1], (Received{WM_SURVEYOR_PING, 0, 0}));
  Form1->Close();
  ASSERT_EQ(received_.size(), 3u);
  EXPECT_EQ(received_[2], (Received{WM_SURVEYOR_DETACH, 0, 0}));
}

TEST_F(Window, ThePlayerShowsHidesAndMovesTheWindow) {
  StartLights();
  Form1->Show();
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 0, 0);
  EXPECT_FALSE(Form1->Visible());
  EXPECT_EQ(Form1->MainBevel->BevelOuter(), bvNone);
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 2, 0);
  EXPECT_TRUE(Form1->Visible());
  SendMessageA(Form1->Handle(), WM_LIGHTS_MOVE, 236, 434);
  EXPECT_EQ(Form1->Left(), 236);
  EXPECT_EQ(Form1->Top(), 434);
  SendMessageA(Form1->Handle(), WM_LIGHTS_MOVE, static_cast<Cardinal>(-20), 5);
  EXPECT_EQ(Form1->Left(), -20);
}

// Hidden by its player, the window has no way back but the player: once the player has
// gone it shows itself. A player that started after the lights is found by its key.
TEST_F(Window, HiddenByAPlayerThatEndsTheWindowShowsItself) {
  StartLights();
  Form1->Show();
  WritePrivateProfileStringA("Handle", "KAZ", std::to_string(Peer()).c_str(), "KAZ_PRO.ini");
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 0, 0);
  EXPECT_FALSE(Form1->Visible());
  ASSERT_TRUE(Form1->PlayerWatch->Enabled());
  EXPECT_EQ(PlayerWindow, Peer());
  Form1->PlayerWatchTimer(Form1->PlayerWatch);
  EXPECT_FALSE(Form1->Visible());
  // Shown and hidden again by the player: the watch follows.
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 1, 0);
  EXPECT_FALSE(Form1->PlayerWatch->Enabled());
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 0, 0);
  EXPECT_FALSE(Form1->Visible());

  DestroyWindow(Peer());
  peer_ = 0;
  Form1->PlayerWatchTimer(Form1->PlayerWatch);
  EXPECT_TRUE(Form1->Visible());
  EXPECT_FALSE(Form1->PlayerWatch->Enabled());
  // Through the event loop as well.
  SendMessageA(Form1->Handle(), WM_LIGHTS_SHOW, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return Form1->Visible(); }, 5000));
}

// The forms name the fonts they were laid out with; the faces that stand in for them must
// leave every caption whole.
TEST_F(Window, EveryDesignedCaptionFitsItsControl) {
  StartLights();
  for (TForm* f : std::vector<TForm*>{Form1, Form2, Form3})
    EXPECT_EQ(captionfit::Misfits(f), std::vector<std::string>{}) << f->Name();
}

TEST_F(Window, DraggingMovesTheWindowOnlyWithTheLeftButton) {
  StartLights();
  Form1->Show();
  Form1->SetBounds(100, 100, Form1->Width(), Form1->Height());
  Form1->FormMouseDown(Form1->MainBevel, mbLeft, TShiftState{ssLeft}, 10, 10);
  Form1->FormMouseMove(Form1->MainBevel, TShiftState{ssLeft}, 15, 7);
  EXPECT_EQ(Form1->Left(), 105);
  EXPECT_EQ(Form1->Top(), 97);
  Form1->FormMouseMove(Form1->MainBevel, TShiftState{}, 50, 50);
  EXPECT_EQ(Form1->Left(), 105);
}

TEST_F(Window, ThePlusPanelOpensTheMenuBelowItself) {
  StartLights();
  Form1->Show();
  std::vector<String> captions;
  TRect where;
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    for (Integer i = 0; i < m.Count(); ++i) captions.push_back(m.Item(i)->Caption());
    where = m.ScreenRect();
    m.Choose(4);  // "Setup"
  });
  Form1->MorepnlClick(Form1->Morepnl);
  PumpUntil([] { return Form3->Visible(); }, 2000);
  EXPECT_EQ(captions, (std::vector<String>{"Auto mode", "Boom filter", "Flashmode", "Customiser",
                                           "Setup", "-", "Beam FX plugin v 1.0"}));
  EXPECT_EQ(where.Left, Form1->Left() + Form1->Morepnl->Left() + 10);
  EXPECT_EQ(where.Top, Form1->Top() + Form1->Morepnl->Top() + 27);
  EXPECT_TRUE(Form3->Visible());
  EXPECT_EQ(Form3->Height(), 245);
  EXPECT_EQ(Form3->Label11->Caption(), "For Bpms < 300");
  Form3->SpeedButton1Click(Form3);
  EXPECT_FALSE(Form3->Visible());
}

TEST_F(Window, SetupPagesAndNames) {
  StartLights();
  Form3->Show();
  EXPECT_TRUE(Form3->GeneralPnl->Visible());
  Form3->SpeedButton5Click(Form3);
  EXPECT_TRUE(Form3->PinsPnl->Visible());
  EXPECT_FALSE(Form3->GeneralPnl->Visible());
  EXPECT_EQ(LastByte(), 0x80);
  Form3->SpeedButton4Click(Form3);
  Form3->AuxOut1->SetText("Stroboscope light");
  Form3->AuxOut2->SetText("Smoke");
  Form3->SpeedButton6Click(Form3);
  EXPECT_EQ(Form1->Radio9->Caption(), "Stroboscope");
  EXPECT_EQ(Form3->AuxOut1->Text(), "Stroboscope");
  EXPECT_EQ(Form1->Radio8->Caption(), "Smoke");
  Form3->FlashUpDwn->SetPosition(30);
  Form3->FlashUpDwnClick(Form3->FlashUpDwn, btPrev);
  EXPECT_EQ(Form1->CutoffTimer->Interval(), 30);
  Form3->SOTChk->SetChecked(true);
  EXPECT_EQ(Form1->FormStyle(), fsStayOnTop);
  Form3->SOTChk->SetChecked(false);
  EXPECT_EQ(Form1->FormStyle(), fsNormal);
}

}  // namespace
