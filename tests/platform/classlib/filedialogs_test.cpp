// File dialogs through the test answerer: filters, default extension, the existence and
// overwrite checks; input boxes and beeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "GuiFixture.h"
#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"

namespace {

class FileDialogsTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    // A folder of the test's own on drive Z (the root of the file system).
    char tmpl[] = "/tmp/kazdlgXXXXXX";
    dir = mkdtemp(tmpl);
    winDir = "Z:" + StringReplace(dir, "/", "\\");
  }
  void TearDown() override {
    std::remove((dir + "/list.plx").c_str());
    std::remove((dir + "/sub").c_str());
    std::remove(dir.c_str());
    GuiTest::TearDown();
  }
  std::string dir;
  String winDir;
};

TEST_F(FileDialogsTest, FiltersAreParsedAndMalformedPartsLeftOut) {
  using V = std::vector<TFilterEntry>;
  EXPECT_EQ(ParseDialogFilter("KAZ PRO PlayList (*.plx)|*.plx|Any File (*.*)|*.*"),
            (V{{"KAZ PRO PlayList (*.plx)", "*.plx"}, {"Any File (*.*)", "*.*"}}));
  EXPECT_EQ(ParseDialogFilter("Beam FX list|*.bfx|Tous"), (V{{"Beam FX list", "*.bfx"}}));
  EXPECT_EQ(ParseDialogFilter("|*.a;*.b||"), (V{{"*.a;*.b", "*.a;*.b"}}));
  EXPECT_EQ(ParseDialogFilter("no bars"), V{});
  EXPECT_EQ(ParseDialogFilter(""), V{});
  EXPECT_EQ(ParseDialogFilter("|||||"), V{});
}

TEST_F(FileDialogsTest, OpenAndSaveGiveWindowsPathsWithTheirChecks) {
  auto* open = new TOpenDialog(Application);
  open->SetTitle("Load PlayList...");
  open->SetFilter("KAZ PRO PlayList (*.plx)|*.plx|Any File (*.*)|*.*");
  open->SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing});
  String file = winDir + "\\list.plx";
  answer = {IDOK, true, file};
  // Not there yet: refused, with the platform's message.
  EXPECT_FALSE(open->Execute());
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Kind, dkOpenDialog);
  EXPECT_EQ(dialogs[0].Caption, "Load PlayList...");
  EXPECT_EQ(dialogs[0].Filters.size(), 2u);
  EXPECT_TRUE(dialogs[0].Options.Contains(ofFileMustExist));
  EXPECT_EQ(dialogs[1].Kind, dkMessageBox);
  EXPECT_NE(dialogs[1].Text.find("File not found"), String::npos);

  std::ofstream(dir + "/list.plx") << "x\r\n";
  EXPECT_TRUE(open->Execute());
  EXPECT_EQ(open->FileName(), file);
  answer.Accepted = false;
  EXPECT_FALSE(open->Execute());
  EXPECT_EQ(open->FileName(), file);

  auto* save = new TSaveDialog(Application);
  save->SetFilter("KAZ PRO PlayList (*.plx)|*.plx");
  save->SetDefaultExt(".plx");
  dialogs.clear();
  answer = {IDOK, true, winDir + "\\new"};
  EXPECT_TRUE(save->Execute());
  EXPECT_EQ(save->FileName(), winDir + "\\new.plx");
  EXPECT_EQ(dialogs[0].Kind, dkSaveDialog);
  EXPECT_EQ(dialogs[0].Caption, "Save As");
  // A bare name lies in the folder shown.
  answer.Value = "other";
  EXPECT_TRUE(save->Execute());
  EXPECT_EQ(save->FileName(), winDir + "\\other.plx");
  // An existing file is asked about only with the overwrite prompt.
  answer = {IDNO, true, file};
  EXPECT_TRUE(save->Execute());
  save->SetOptions({ofOverwritePrompt});
  EXPECT_FALSE(save->Execute());
  EXPECT_NE(dialogs.back().Text.find("already exists"), String::npos);
  answer = {IDYES, true, file};
  EXPECT_TRUE(save->Execute());
  // A folder that is not there.
  save->SetOptions({ofPathMustExist});
  answer = {IDOK, true, winDir + "\\missing\\a.plx"};
  EXPECT_FALSE(save->Execute());
}

TEST_F(FileDialogsTest, TheDialogShowsEachFilterAsTheProgramNamesIt) {
  // The real dialog: its list of file types holds the descriptions as given, whether or not
  // they name their patterns themselves.
  SetDialogAnswererForTesting(nullptr);
  auto* open = new TOpenDialog(Application);
  open->SetFilter("KAZ PRO PlayList (*.plx)|*.plx|Beam FX list|*.bfx;*.txt");
  std::vector<std::string> shown;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
        for (QComboBox* box : dlg->findChildren<QComboBox*>())
          if (box->count() == 2 && box->itemText(1).startsWith("Beam"))
            for (int i = 0; i < box->count(); ++i) shown.push_back(box->itemText(i).toStdString());
        dlg->reject();
      }
  });
  EXPECT_FALSE(open->Execute());
  EXPECT_EQ(shown, (std::vector<std::string>{"KAZ PRO PlayList (*.plx)", "Beam FX list"}));
}

// The real dialog as the user types in it: a drive path (either slash) and a name in the
// folder shown, accents and all; and where it opens when the program names no folder.
TEST_F(FileDialogsTest, TypedNamesAreTheSystemsPaths) {
  SetDialogAnswererForTesting(nullptr);
  mkdir((dir + "/sub").c_str(), 0700);
  std::string shown;
  // Types into the dialog shown next and clicks its Save or Open button; a dialog that
  // stays is cancelled.
  auto type = [&](TOpenDialog* dialog, const String& typed) {
    QTimer::singleShot(0, [&shown, typed] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<QFileDialog*>(w); dlg && dlg->isVisible()) {
          shown = dlg->directory().absolutePath().toStdString();
          dlg->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromLatin1(typed));
          auto* box = dlg->findChild<QDialogButtonBox*>();
          for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == QDialogButtonBox::AcceptRole) b->click();
          if (dlg->isVisible()) dlg->reject();
        }
    });
    return dialog->Execute();
  };
  auto* save = new TSaveDialog(Application);
  save->SetDefaultExt("plx");
  save->SetInitialDir(winDir + "\\sub");
  ASSERT_TRUE(type(save, winDir + "\\Sets \xe9"));
  EXPECT_EQ(shown, dir + "/sub");
  EXPECT_EQ(save->FileName(), winDir + "\\Sets \xe9.plx");

  // Opened where the program runs.
  std::string cwd(4096, '\0');
  ASSERT_TRUE(getcwd(cwd.data(), cwd.size()));
  ASSERT_EQ(chdir(dir.c_str()), 0);
  auto* fresh = new TSaveDialog(Application);
  fresh->SetDefaultExt("plx");
  bool chosen = type(fresh, "list");
  chdir(cwd.c_str());
  ASSERT_TRUE(chosen);
  EXPECT_EQ(shown, dir);
  EXPECT_EQ(fresh->FileName(), winDir + "\\list.plx");
  ASSERT_TRUE(type(fresh, StringReplace(winDir, "\\", "/") + "/sub/\xc9t\xe9"));
  EXPECT_EQ(fresh->FileName(), winDir + "\\sub\\\xc9t\xe9.plx");

  // A file that must exist, named in another letter case.
  std::ofstream(dir + "/list.plx") << "x\r\n";
  auto* open = new TOpenDialog(Application);
  open->SetOptions({ofFileMustExist});
  EXPECT_TRUE(type(open, winDir + "\\LIST.plx"));
  EXPECT_EQ(open->FileName(), winDir + "\\list.plx");
}

TEST_F(FileDialogsTest, InputQueryAndBeeps) {
  answer = {IDOK, true, "128,5"};
  String bpm = "128";
  EXPECT_TRUE(InputQuery("", "BPM = ", bpm));
  EXPECT_EQ(bpm, "128,5");
  EXPECT_EQ(dialogs.back().Text, "BPM = ");
  EXPECT_EQ(dialogs.back().Value, "128");
  answer.Accepted = false;
  EXPECT_FALSE(InputQuery("", "BPM = ", bpm));
  EXPECT_EQ(bpm, "128,5");
  Cardinal before = BeepCountForTesting();
  MessageBeep(0);
  EXPECT_EQ(BeepCountForTesting(), before + 1);
}

}  // namespace
