// The Customiser: building entries, ".bfx" files written and read back, and what a bad
// file does to the list.
#include <gtest/gtest.h>

#include "LightsFixture.h"

namespace {

class Customiser : public LightsTest {
 protected:
  void SetUp() override {
    LightsTest::SetUp();
    StartLights();
    dir_ = kaztest::MakeTempDir("bfx");
  }
  std::vector<String> Captions() const {
    std::vector<String> out;
    TListItems* items = Form1->ListView1->Items();
    for (Integer i = 0; i < items->Count(); ++i) out.push_back(items->Item(i)->Caption());
    return out;
  }
  std::vector<String> Codes() const {
    std::vector<String> out;
    TListItems* items = Form1->ListView1->Items();
    for (Integer i = 0; i < items->Count(); ++i)
      out.push_back(items->Item(i)->SubItems()->Strings(0));
    return out;
  }
  void Load(const std::string& bytes) {
    const std::string path = dir_ + "/in.bfx";
    kaztest::WriteFile(path, bytes);
    answer = {IDOK, true, path};
    Form1->loadBtnClick(Form1);
  }
  std::string dir_;
};

TEST_F(Customiser, BuildingEntries) {
  Form1->SpeedButton1Click(Form1);  // all three toggles off
  Form1->Panel1Click(Form1->Panel1);
  Form1->Panel3Click(Form1->Panel3);
  EXPECT_EQ(Form1->Panel1->Color(), LitColor);
  EXPECT_EQ(Form1->Panel2->Color(), UnlitColor);
  Form1->SpeedButton1Click(Form1);
  Form1->UpDown1->SetPosition(140);
  Form1->UpDown1Click(Form1->UpDown1, btNext);
  EXPECT_EQ(Form1->Edit1->Text(), "140");
  Form1->SpeedButton3Click(Form1);
  Form1->Panel1Click(Form1->Panel1);
  EXPECT_EQ(Form1->Panel1->Color(), UnlitColor);
  EXPECT_FALSE(CommandBits[0]);
  EXPECT_EQ(Captions(), (std::vector<String>{"[   ]", "[o o]", "<Set bpm>"}));
  EXPECT_EQ(Codes(), (std::vector<String>{"0", "5", "140"}));
}

TEST_F(Customiser, SaveAndLoadRoundTripWithCrLf) {
  Form1->Panel1Click(Form1->Panel1);
  Form1->Panel3Click(Form1->Panel3);
  Form1->SpeedButton1Click(Form1);
  Form1->Edit1->SetText("140");
  Form1->SpeedButton3Click(Form1);
  Form1->Panel1Click(Form1->Panel1);
  Form1->Panel3Click(Form1->Panel3);
  Form1->SpeedButton1Click(Form1);

  const std::string path = dir_ + "/show.bfx";
  kaztest::WriteFile(path, "old contents that are longer than the new ones\r\n");
  answer = {IDOK, true, path};
  Form1->SaveBtnClick(Form1);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, dkSaveDialog);
  EXPECT_EQ(kaztest::ReadFile(path), "5\r\n140\r\n0\r\n");

  // A new light program gets a file of its own.
  const std::string fresh = dir_ + "/new show.bfx";
  answer = {IDOK, true, fresh};
  Form1->SaveBtnClick(Form1);
  EXPECT_EQ(Boxes().size(), 0u);
  EXPECT_EQ(kaztest::ReadFile(fresh), "5\r\n140\r\n0\r\n");
  answer = {IDOK, true, path};

  Form1->SpeedButton4Click(Form1);
  EXPECT_EQ(Form1->ListView1->Items()->Count(), 0);
  Form1->loadBtnClick(Form1);
  EXPECT_EQ(Captions(), (std::vector<String>{"[o o]", "<Set bpm>", "[   ]"}));
  EXPECT_EQ(Codes(), (std::vector<String>{"5", "140", "0"}));
  EXPECT_EQ(Boxes().size(), 0u);
}

TEST_F(Customiser, SaveWithAnEmptyListAsksNothingAndCancelChangesNothing) {
  Form1->SaveBtnClick(Form1);
  EXPECT_TRUE(dialogs.empty());
  Form1->SpeedButton1Click(Form1);
  answer = {IDCANCEL, false, ""};
  Form1->loadBtnClick(Form1);
  EXPECT_EQ(Captions(), std::vector<String>{"[   ]"});
}

TEST_F(Customiser, ABadLineStopsTheLoadThere) {
  Form1->SpeedButton1Click(Form1);
  Load("7\r\n120\r\nseven\r\n1\r\n");
  EXPECT_EQ(Captions(), (std::vector<String>{"[ooo]", "<Set bpm>"}));
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[1].Text, "Invalid commands detected");
  EXPECT_EQ(dialogs[1].Caption, "Errors in file");
  EXPECT_EQ(dialogs[1].Flags & 0xF, MB_OKCANCEL);
}

TEST_F(Customiser, TheReaderTakesOnlyDecimalIntegers) {
  Load("3674\r\n1\r\n");
  EXPECT_TRUE(Captions().empty());
  EXPECT_EQ(Boxes().size(), 1u);
  for (const char* bad : {"\r\n", " 5\r\n", "5 \r\n", "$5\r\n", "0x5\r\n", "99999999999\r\n"}) {
    dialogs.clear();
    Load(std::string("1\r\n") + bad + "2\r\n");
    EXPECT_EQ(Captions(), std::vector<String>{"[  o]"}) << bad;
    EXPECT_EQ(Boxes().size(), 1u) << bad;
  }
  // Numbers in neither range keep the caption before them; plain LF lines are lines too.
  dialogs.clear();
  Load("8\n2\n-4\n");
  EXPECT_EQ(Captions(), (std::vector<String>{"", "[ o ]", "[ o ]"}));
  EXPECT_EQ(Codes(), (std::vector<String>{"8", "2", "-4"}));
  EXPECT_TRUE(dialogs.size() == 1u);
}

TEST_F(Customiser, BinaryAndHugeFilesAreAnsweredAndTheProgramRunsOn) {
  std::string binary("\x00\x01\xff\x07\r\n5\r\n", 8);
  Load(binary);
  EXPECT_TRUE(Captions().empty());
  EXPECT_EQ(Boxes().back(), "Invalid commands detected");

  // 10 MB: a valid start, then noise. The list keeps what came before the noise.
  std::string big;
  for (int i = 0; i < 1000; ++i) big += std::to_string(i % 8) + "\r\n";
  big.append(10u << 20, 'x');
  Load(big);
  EXPECT_EQ(Form1->ListView1->Items()->Count(), 1000);

  // A missing file goes to the error report and leaves the list as it was.
  // Clicked as the user clicks, so the error takes the road of every handler's error.
  Form1->Customiser1Click(Form1);
  Form1->Show();
  answer = {IDOK, true, dir_ + "/missing.bfx"};
  const TRect load = Form1->SpeedButton10->BoundsRect();
  SendMouseForTesting(Form1->Customizer, WM_LBUTTONDOWN, load.Left + 5, load.Top + 5);
  SendMouseForTesting(Form1->Customizer, WM_LBUTTONUP, load.Left + 5, load.Top + 5);
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  EXPECT_EQ(Form1->ListView1->Items()->Count(), 1000);
  EXPECT_NE(Boxes().back().find("missing.bfx"), String::npos);
}

TEST_F(Customiser, DeletingEntries) {
  Form1->SpeedButton1Click(Form1);
  Form1->Radio7->SetChecked(true);
  Form1->speedbutton2Click(Form1);  // nothing selected: nothing happens
  EXPECT_EQ(Form1->ListView1->Items()->Count(), 1);
  Form1->ListView1->SetSelected(Form1->ListView1->Items()->Item(0));
  Form1->speedbutton2Click(Form1);
  EXPECT_EQ(Form1->ListView1->Items()->Count(), 0);
  EXPECT_TRUE(Form1->Radio1->Checked());

  for (int i = 0; i < 3; ++i) Form1->SpeedButton1Click(Form1);
  Form1->ListView1->SetSelected(Form1->ListView1->Items()->Item(2));
  Form1->speedbutton2Click(Form1);
  EXPECT_EQ(Form1->ListView1->Selected(), Form1->ListView1->Items()->Item(1));
  Form1->ListView1->SetSelected(Form1->ListView1->Items()->Item(0));
  Form1->speedbutton2Click(Form1);
  EXPECT_EQ(Form1->ListView1->Selected(), Form1->ListView1->Items()->Item(0));
}

TEST_F(Customiser, OpeningAndClosing) {
  Form1->Customiser1Click(Form1);
  EXPECT_EQ(Form1->ClientHeight(), 345);
  EXPECT_TRUE(Form1->Customiser1->Checked());
  Form1->SpeedButton5Click(Form1);
  EXPECT_EQ(Form1->ClientHeight(), 150);
  EXPECT_FALSE(Form1->Customiser1->Checked());
  // "Custom" with an empty list opens the Customiser and falls back to "Rotate".
  Form1->Radio7->SetChecked(true);
  EXPECT_EQ(Form1->ClientHeight(), 345);
  EXPECT_TRUE(Form1->Radio1->Checked());
}

}  // namespace
