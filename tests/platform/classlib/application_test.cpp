// The application's error report and event loop, and the dialog functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "GuiFixture.h"

namespace {

using ApplicationTest = GuiTest;

TEST_F(ApplicationTest, ErrorsInPaintingAndHandlersAreReportedAndTheLoopRunsOn) {
  TForm* f = MakeForm();
  int paints = 0;
  f->OnPaint = [&](TObject*) {
    if (++paints == 1) throw Exception("paint failed");
  };
  std::vector<WPARAM> handled;
  f->SetMessageHandler(WM_USER + 2, [&](TMessage& m) {
    handled.push_back(m.WParam);
    if (m.WParam == 1) throw EConvertError("'x' is not a valid integer value");
    if (m.WParam == 2) throw std::runtime_error("plain failure");
    if (m.WParam == 3) Abort();
  });
  f->Invalidate();
  for (WPARAM i = 1; i <= 4; ++i) PostMessageA(f->Handle(), WM_USER + 2, i, 0);
  for (int i = 0; i < 20 && handled.size() < 4; ++i) Application->ProcessMessages();
  f->Repaint();
  EXPECT_EQ(handled, (std::vector<WPARAM>{1, 2, 3, 4}));
  EXPECT_GE(paints, 2);
  // EAbort is silent; the others show their text in a box titled with the program's name.
  std::vector<String> texts = BoxTexts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<String>{"'x' is not a valid integer value", "paint failed",
                                        "plain failure"}));
  for (auto& d : dialogs) EXPECT_EQ(d.Flags & 0xF0, MB_ICONSTOP);

  // A message sent on the same thread: reported, and the sender gets 0.
  f->SetMessageHandler(WM_USER + 3, [](TMessage& m) {
    m.Result = 5;
    throw Exception("sent failure");
  });
  EXPECT_EQ(SendMessageA(f->Handle(), WM_USER + 3, 0, 0), 0);
  EXPECT_EQ(BoxTexts().back(), "sent failure");
}

TEST_F(ApplicationTest, OnExceptionReplacesTheMessageBox) {
  TForm* f = MakeForm();
  std::vector<String> seen;
  Application->OnException = [&](TObject* sender, Exception* e) {
    EXPECT_EQ(sender, f);
    seen.push_back(e->Message());
  };
  f->OnClick = [](TObject*) { throw Exception("clicked"); };
  SendMouseForTesting(f, WM_LBUTTONDOWN, 5, 5);
  SendMouseForTesting(f, WM_LBUTTONUP, 5, 5);
  Application->OnException = nullptr;
  EXPECT_EQ(seen, std::vector<String>{"clicked"});
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(ApplicationTest, RunEndsWhenTheMainFormClosesAndFreesTheForms) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  bool shown = false, destroyed = false;
  main->OnShow = [&](TObject*) { shown = true; };
  main->OnDestroy = [&](TObject*) { destroyed = true; };
  main->SetMessageHandler(WM_USER + 4, [main](TMessage&) { main->Close(); });
  PostMessageA(main->Handle(), WM_USER + 4, 0, 0);
  Application->Run();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

TEST_F(ApplicationTest, DialogsAreAnsweredByTheTestHook) {
  Application->SetTitle("KAZ v2.0 PRO");
  answer.Result = IDNO;
  EXPECT_EQ(MessageBoxA(0, "Confirm Exit ?", "", MB_YESNO | MB_ICONQUESTION), IDNO);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, dkMessageBox);
  EXPECT_EQ(dialogs[0].Caption, "");
  EXPECT_EQ(dialogs[0].Flags, MB_YESNO | MB_ICONQUESTION);

  answer.Result = mrYes;
  EXPECT_EQ(MessageDlg("Delete ?", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
  EXPECT_EQ(dialogs[1].Buttons, (TMsgDlgButtons{mbYes, mbNo}));

  ShowMessage("Bad BPM");
  EXPECT_EQ(dialogs[2].Kind, dkShowMessage);
  EXPECT_EQ(dialogs[2].Caption, "KAZ v2.0 PRO");

  String bpm = "120";
  answer = {0, true, "128.5"};
  EXPECT_TRUE(InputQuery("BPM", "Enter the BPM", bpm));
  EXPECT_EQ(bpm, "128.5");
  EXPECT_EQ(dialogs[3].Value, "120");
  answer = {0, false, "999"};
  EXPECT_FALSE(InputQuery("BPM", "Enter the BPM", bpm));
  EXPECT_EQ(bpm, "128.5");
  EXPECT_EQ(InputBox("BPM", "Enter the BPM", "100"), "100");
}

}  // namespace
