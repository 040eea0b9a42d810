// The ID3 dialog on generated files of a private drive: what it shows, the BPM entry, the
// dragging, and that it never changes the file it looks at.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "classlib/Dialogs.h"
#include "platform/classlib/GuiFixture.h"
#include "player/uID3Tag.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::string Media(const std::string& name) {
  return std::string(KAZ_TESTDATA_DIR) + "/" + name;
}

class ID3TagTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (!fs::exists(Media("tag_v23.mp3"))) GTEST_SKIP() << "no generated test media";
    const std::string prefix = std::getenv("KAZ_PREFIX");
    drive_ = prefix + "/drive_t";
    std::error_code ec;
    fs::remove_all(drive_, ec);
    fs::create_directories(drive_ + "/Music");
    fs::create_directories(prefix + "/dosdevices");
    fs::remove(prefix + "/dosdevices/t:", ec);
    fs::create_directory_symlink(drive_, prefix + "/dosdevices/t:");
    fs::copy_file(Media("tag_v23.mp3"), drive_ + "/Music/Tune.mp3");
    Application->CreateForm(frmID3Tag);
    // Each opening is looked at, then closed as the user would.
    frmID3Tag->OnShow = [this](TObject*) {
      ++shown_;
      infos_ = frmID3Tag->lblInfos->Caption();
      frmID3Tag->btnCloseClick(nullptr);
    };
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(drive_ + "/Music", fs::perms::owner_all, fs::perm_options::add, ec);
    GuiTest::TearDown();
    frmID3Tag = nullptr;
  }

  std::string drive_;
  int shown_ = 0;
  String infos_;
};

TEST(ID3InfoText, SizeDurationAndLayerOneALine) {
  EXPECT_EQ(ID3InfoText(5 * 1048576, 187500, 3),
            "Size : 5242880 (5.00 MB)\nDuration : 03:07 (187 sec)\nLayer : 3");
  EXPECT_EQ(ID3InfoText(1572864 + 1, 3660000, 2),
            "Size : 1572865 (1.50 MB)\nDuration : 61:00 (3660 sec)\nLayer : 2");
  // A file the analyser could not read shows no length.
  EXPECT_EQ(ID3InfoText(17, 0, 0), "Size : 17 (0.00 MB)\nDuration : 00:00 (0 sec)\nLayer : 0");
}

TEST_F(ID3TagTest, ShowsTheTagAndTheFactsThenCloses) {
  EXPECT_EQ(frmID3Tag->Left(), 223);
  EXPECT_EQ(frmID3Tag->Top(), 429);
  EXPECT_EQ(frmID3Tag->Xanalyzer->MaxFrames(), 1);
  frmID3Tag->ShowFileInfo("T:\\Music\\Tune.mp3");
  EXPECT_EQ(shown_, 1);
  EXPECT_FALSE(frmID3Tag->Visible());
  EXPECT_EQ(frmID3Tag->lblFile->Caption(), "Tune.mp3");
  EXPECT_EQ(frmID3Tag->lblFile->Hint(), "T:\\Music\\Tune.mp3");
  EXPECT_EQ(frmID3Tag->txtTitle->Text(), "Title One");
  EXPECT_EQ(frmID3Tag->txtArtist->Text(), "Artist One");
  EXPECT_EQ(frmID3Tag->txtAlbum->Text(), "Album One");
  EXPECT_EQ(frmID3Tag->txtYear->Text(), "1999");
  EXPECT_EQ(frmID3Tag->txtComments->Text(), "BPM=126.5");
  EXPECT_EQ(frmID3Tag->txtStyle->Text(), "");
  const auto size = fs::file_size(drive_ + "/Music/Tune.mp3");
  EXPECT_EQ(infos_, "Size : " + std::to_string(size) + " (0.0" +
                        std::to_string(size * 100 / 1048576) +
                        " MB)\nDuration : 00:02 (2 sec)\nLayer : 3");

  // A file without tags empties the fields again.
  fs::copy_file(Media("tones3.mp3"), drive_ + "/Music/Plain.mp3");
  frmID3Tag->ShowFileInfo("t:\\music\\plain.MP3");
  EXPECT_EQ(frmID3Tag->txtTitle->Text(), "");
  EXPECT_EQ(frmID3Tag->txtComments->Text(), "");
  EXPECT_NE(infos_.find("Duration : 00:03 (3 sec)"), String::npos);
}

TEST_F(ID3TagTest, ReadOnlyFilesShowTheirFactsAndNoFileChanges) {
  const std::string path = drive_ + "/Music/Tune.mp3";
  const std::string before = kaztest::ReadFile(path);
  const auto stamp = fs::last_write_time(path);
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  fs::permissions(drive_ + "/Music",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  frmID3Tag->ShowFileInfo("T:\\Music\\Tune.mp3");
  EXPECT_EQ(shown_, 1);
  EXPECT_EQ(frmID3Tag->txtComments->Text(), "BPM=126.5");
  EXPECT_NE(infos_.find("Layer : 3"), String::npos);
  // Typing a tempo changes the field on screen only.
  frmID3Tag->OnShow = [this](TObject*) {
    answer = {IDOK, true, "140"};
    frmID3Tag->btnBPMClick(nullptr);
    frmID3Tag->btnSave->Click();
    frmID3Tag->btnClear->Click();
    frmID3Tag->btnCloseClick(nullptr);
  };
  frmID3Tag->ShowFileInfo("T:\\Music\\Tune.mp3");
  EXPECT_EQ(frmID3Tag->txtComments->Text(), "BPM=140");
  EXPECT_EQ(kaztest::ReadFile(path), before);
  EXPECT_EQ(fs::last_write_time(path), stamp);
}

TEST_F(ID3TagTest, AFileThatCannotBeFoundRaisesAndShowsNothing) {
  EXPECT_THROW(frmID3Tag->ShowFileInfo("T:\\Music\\Gone.mp3"), EInOutError);
  EXPECT_THROW(frmID3Tag->ShowFileInfo("T:\\Nowhere\\Gone.mp3"), EInOutError);
  EXPECT_THROW(frmID3Tag->ShowFileInfo("T:\\Music"), EInOutError);
  // A name that reads as a pattern names no file but itself.
  EXPECT_THROW(frmID3Tag->ShowFileInfo("T:\\Music\\Tun?.mp3"), EInOutError);
  EXPECT_THROW(frmID3Tag->ShowFileInfo("T:\\Music\\*.mp3"), EInOutError);
  EXPECT_EQ(shown_, 0);
}

TEST_F(ID3TagTest, BpmEntryTakesWholeNumbersOnly) {
  auto* comments = frmID3Tag->txtComments;
  comments->SetText("BPM=128");
  answer = {IDOK, true, "128"};
  frmID3Tag->btnBPMClick(nullptr);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, dkInputQuery);
  EXPECT_EQ(dialogs[0].Caption, "BPM");
  EXPECT_EQ(dialogs[0].Text, "Enter BPM");
  EXPECT_EQ(dialogs[0].Value, "128");
  EXPECT_EQ(comments->Text(), "BPM=128");

  // Typed garbage: one error box, the field untouched.
  answer = {IDOK, true, "12x"};
  frmID3Tag->btnBPMClick(nullptr);
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[2].Kind, dkMessageBox);
  EXPECT_EQ(dialogs[2].Text, "Bad BPM");
  EXPECT_EQ(dialogs[2].Caption, "Error");
  EXPECT_TRUE(dialogs[2].Flags & MB_ICONERROR);
  EXPECT_EQ(comments->Text(), "BPM=128");

  // A decimal tempo is offered as it stands, and refused when taken as it is.
  comments->SetText("BPM=127.5");
  dialogs.clear();
  answer = {IDOK, true, "127.5"};
  frmID3Tag->btnBPMClick(nullptr);
  EXPECT_EQ(dialogs.front().Value, "127.5");
  EXPECT_EQ(dialogs.back().Text, "Bad BPM");
  EXPECT_EQ(comments->Text(), "BPM=127.5");

  // Cancel changes nothing; no tempo offers an empty box.
  comments->SetText("no tempo here");
  dialogs.clear();
  answer = {IDCANCEL, false, "99"};
  frmID3Tag->btnBPMClick(nullptr);
  EXPECT_EQ(dialogs.front().Value, "");
  EXPECT_EQ(comments->Text(), "no tempo here");
}

TEST_F(ID3TagTest, DragsByTheBackgroundAndKeepsThePlace) {
  auto* form = frmID3Tag;
  form->pnlBackMouseDown(form->imgBack, mbLeft, {ssLeft}, 10, 10);
  form->pnlBackMouseMove(form->imgBack, {ssLeft}, 30, 25);
  EXPECT_EQ(form->Left(), 243);
  EXPECT_EQ(form->Top(), 444);
  // Only the left button alone drags.
  form->pnlBackMouseMove(form->imgBack, {ssLeft, ssShift}, 80, 80);
  form->pnlBackMouseMove(form->imgBack, {}, 80, 80);
  form->pnlBackMouseMove(form->imgBack, {ssRight}, 80, 80);
  EXPECT_EQ(form->Left(), 243);
  EXPECT_EQ(form->Top(), 444);
  // The next opening shows it where it was left.
  form->ShowFileInfo("T:\\Music\\Tune.mp3");
  EXPECT_EQ(form->Left(), 243);
  EXPECT_EQ(form->Top(), 444);
}

}  // namespace
