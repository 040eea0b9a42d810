// The link with the light controller, played by a second program that logs what reaches
// it, and the window's own handling: panel buttons, dragging, minimise and close.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "LightsPeer.h"
#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "classlib/Menus.h"
#include "win32/Profile.h"

namespace {

using Lines = std::vector<std::string>;

class LinkTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    rec.reset();
    // Tests run one after another in one process share the prefix: start from no file.
    std::remove((kaztest::Prefix() + "/windows/KAZ_PRO.ini").c_str());
  }
  void TearDown() override {
    SetMenuTrackerForTesting(nullptr);
    if (peer) {
      EXPECT_EQ(peer->Quit(), 0);
    }
    PlayerTest::TearDown();
  }

  // Starts the stand-in light controller and waits until its window is there; it may be
  // sending to us meanwhile, so the wait serves messages.
  void StartPeer(const std::string& mode) {
    peer = std::make_unique<LightsPeer>();
    ASSERT_TRUE(peer->Start(mode, &PumpUntil));
    peerWindow = peer->Window();
  }
  Lines Log() const { return peer ? peer->Log() : Lines{}; }
  static std::string Move(int dx, int dy) {
    return "move " + std::to_string(frmMain->Left() + dx) + " " +
           std::to_string(frmMain->Top() + dy);
  }
  static HWND KazKey() {
    return static_cast<HWND>(GetPrivateProfileIntA("Handle", "KAZ", 77, "KAZ_PRO.ini"));
  }
  static void Click(TControl* c) {
    auto* parent = c->Parent();
    const int x = c->Left() + c->Width() / 2, y = c->Top() + c->Height() / 2;
    SendMouseForTesting(parent, WM_LBUTTONDOWN, x, y, {ssLeft});
    SendMouseForTesting(parent, WM_LBUTTONUP, x, y);
  }
  static void Background(UINT msg, int x, int y, TShiftState shift = {}) {
    SendMouseForTesting(frmMain, msg, x, y, shift);
  }
  static TControl* Front() { return frmMain->Controls(frmMain->ControlCount() - 1); }

  Recorder rec;
  std::unique_ptr<LightsPeer> peer;
  HWND peerWindow = 0;
};

TEST_F(LinkTest, LightControllerStartedFirstIsShownOverTheSpotsPanel) {
  StartPeer("spots");
  StartPlayer();
  frmMain->Show();
  EXPECT_EQ(LightWindow, peerWindow);
  EXPECT_EQ(KazKey(), frmMain->Handle());

  Click(frmMain->btnSpots);
  EXPECT_EQ(Front(), frmMain->pnlSpots);
  EXPECT_EQ(Log(), (Lines{"show 1", Move(236, 434), "top"}));

  // Every other panel, and minimising, hide it.
  Click(frmMain->btnBrowse);
  EXPECT_EQ(Front(), frmMain->pnlBrowse);
  Click(frmMain->btnEQ);
  EXPECT_EQ(Front(), frmMain->pnlEQ);
  Click(frmMain->btnAudio);
  EXPECT_EQ(Front(), frmMain->pnlCD);
  Click(frmMain->btnSetup);
  EXPECT_EQ(Front(), frmMain->pnlSetup);
  Click(frmMain->btnMin);
  EXPECT_EQ(Log(), (Lines{"show 1", Move(236, 434), "top", "show 0", "show 0", "show 0", "show 0",
                          "show 0"}));
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(LinkTest, LightControllerStartedSecondAttaches) {
  StartPlayer();
  EXPECT_EQ(LightWindow, 0u);
  StartPeer("attach");
  EXPECT_EQ(LightWindow, peerWindow);
  frmMain->btnSpotsClick(frmMain->btnSpots);
  EXPECT_EQ(Log().front(), "show 1");
}

TEST_F(LinkTest, DraggingTheWindowTakesTheLightControllerAlong) {
  StartPeer("spots");
  StartPlayer();
  frmMain->Show();
  frmMain->btnSpotsClick(frmMain->btnSpots);
  const int left = frmMain->Left(), top = frmMain->Top();
  const std::string before = Log()[1];

  Background(WM_LBUTTONDOWN, 100, 15, {ssLeft});
  Background(WM_MOUSEMOVE, 110, 15, {ssLeft});
  EXPECT_EQ(frmMain->Left(), left + 10);
  EXPECT_EQ(frmMain->Top(), top);
  Lines log = Log();
  ASSERT_EQ(log.size(), 4u);
  int x0, y0, x1, y1;
  ASSERT_EQ(std::sscanf(before.c_str(), "move %d %d", &x0, &y0), 2);
  ASSERT_EQ(std::sscanf(log[3].c_str(), "move %d %d", &x1, &y1), 2);
  EXPECT_EQ(x1, x0 + 10);
  EXPECT_EQ(y1, y0);
  // Every move follows the pointer, either way.
  Background(WM_MOUSEMOVE, 95, 18, {ssLeft});
  EXPECT_EQ(frmMain->Left(), left + 5);
  EXPECT_EQ(frmMain->Top(), top + 3);
  EXPECT_EQ(Log().back(), Move(236, 434));
  Background(WM_LBUTTONUP, 95, 18);
  EXPECT_EQ(DragOrigin, Point(0, 0));
  // No button held: no drag, nothing sent.
  Background(WM_MOUSEMOVE, 150, 30);
  EXPECT_EQ(frmMain->Left(), left + 5);
  EXPECT_EQ(Log().size(), 5u);
}

TEST_F(LinkTest, RightClickOpensTheMenuAndDragsOnlyWithTheLeftButton) {
  StartPlayer();
  frmMain->Show();
  std::vector<std::string> shown;
  SetMenuTrackerForTesting([&](TMenuTracking& m) {
    for (int i = 0; i < m.Count(); ++i)
      shown.push_back(m.Item(i)->Caption() + (m.Item(i)->Default() ? " (default)" : ""));
  });
  const int left = frmMain->Left();
  frmMain->imgBkMouseDown(frmMain->imgBk, mbRight, {ssRight}, 40, 20);
  EXPECT_EQ(shown,
            (std::vector<std::string>{"About KAZ Player v2.0 (default)", "Check for update"}));
  EXPECT_EQ(DragOrigin, Point(40, 20));
  frmMain->imgBkMouseMove(frmMain->imgBk, {ssRight}, 60, 20);
  frmMain->imgBkMouseMove(frmMain->imgBk, {ssLeft, ssCtrl}, 60, 20);
  EXPECT_EQ(frmMain->Left(), left);
  frmMain->imgBkMouseMove(frmMain->imgBk, {ssLeft}, 60, 20);
  EXPECT_EQ(frmMain->Left(), left + 20);

  // A press at the very left edge starts no drag.
  frmMain->imgBkMouseDown(frmMain->imgTitle, mbLeft, {ssLeft}, 0, 5);
  frmMain->imgBkMouseMove(frmMain->imgTitle, {ssLeft}, 30, 5);
  EXPECT_EQ(frmMain->Left(), left + 20);
}

TEST_F(LinkTest, WithoutLightControllerEveryButtonWorksSilently) {
  StartPlayer();
  frmMain->Show();
  ASSERT_EQ(LightWindow, 0u);
  for (TControl* b : {frmMain->btnSpots, frmMain->btnBrowse, frmMain->btnEQ, frmMain->btnAudio,
                      frmMain->btnSetup, frmMain->btnMin})
    Click(b);
  Background(WM_LBUTTONDOWN, 100, 15, {ssLeft});
  Background(WM_MOUSEMOVE, 120, 15, {ssLeft});
  Background(WM_LBUTTONUP, 120, 15);
  EXPECT_TRUE(dialogs.empty());
  EXPECT_EQ(Front(), frmMain->pnlSetup);
}

TEST_F(LinkTest, ConfirmExitNoKeepsEverythingYesStopsAndClears) {
  StartPeer("spots");
  StartPlayer();
  frmMain->Show();
  rec.clear();
  answer = {IDNO, false, ""};
  Click(frmMain->btnClose);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Text, "Confirm Exit ?");
  EXPECT_EQ(dialogs[0].Caption, "");
  EXPECT_EQ(dialogs[0].Flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(Closing, 0);
  EXPECT_TRUE(frmMain->Showing());
  EXPECT_TRUE(rec.Lines().empty());
  EXPECT_EQ(KazKey(), frmMain->Handle());

  answer = {IDYES, false, ""};
  Click(frmMain->btnClose);
  EXPECT_NE(Closing, 0);
  EXPECT_FALSE(frmMain->Visible());
  EXPECT_EQ(rec.Lines(), (Lines{"1 6", "2 6"}));
  EXPECT_EQ(KazKey(), 0u);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(Log().empty());
}

}  // namespace
