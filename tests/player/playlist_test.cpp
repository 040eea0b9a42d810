// The playlists: drag and drop between the explorer, the playlists and the decks, the keys,
// sorting, the split, and ".plx" files, against the recording engine, which shows what
// each deck was told to open and play.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "LibraryTracks.h"
#include "PlayerFixture.h"
#include "RecordingEngine.h"
#include "classlib/FileCtrl.h"
#include "classlib/SysUtils.h"
#include "player/uID3Tag.h"
#include "tests/support/TestSupport.h"
#include "win32/Paths.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class PlaylistTest : public PlayerTest, protected LibraryTracks {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!MediaMade()) GTEST_SKIP() << "no test media";
    ASSERT_TRUE(rec.Loaded()) << "not the recording engine";
    rec.reset();
    StartPlayer();
    frmMain->Show();
    rec.clear();
  }
  void TearDown() override {
    DecimalSeparator = '.';
    PlayerTest::TearDown();
  }
  // An explorer on C:\Music with a folder "Sub" and the tracks named.
  void Explore(const Names& tracks) {
    fs::create_directories(c + "/Music/Sub");
    for (const auto& t : tracks) Track(c + "/Music/" + t + ".mp3");
    frmMain->cboDrives->SetDrive('C');
    frmMain->ScanFolder("C:\\Music", false);
  }
  static TListItem* Explorer(const String& caption) {
    TListItems* items = frmMain->ListFiles->Items();
    for (Integer i = 0; i < items->Count(); ++i)
      if (items->Item(i)->Caption() == caption) return items->Item(i);
    return nullptr;
  }
  static void SelectInExplorer(const Names& captions) {
    frmMain->ListFiles->ClearSelection();
    for (const auto& n : captions) Explorer(n)->SetSelected(true);
  }
  static Names Captions(TListView* list) {
    Names out;
    for (Integer i = 0; i < list->Items()->Count(); ++i)
      out.push_back(list->Items()->Item(i)->Caption());
    return out;
  }
  static void Fill(TListView* list, const Names& captions, const Names& bpms = {}) {
    for (std::size_t i = 0; i < captions.size(); ++i) {
      TListItem* e = list->Items()->Add();
      e->SubItems()->Add(i < bpms.size() ? bpms[i] : "");
      e->SubItems()->Add("C:\\Music\\" + captions[i] + ".mp3");
      e->SetCaption(captions[i]);
    }
  }
  static bool Accepts(TObject* target, TObject* source) {
    bool accept = true;
    frmMain->ListDragOver(target, source, 1, 1, dsDragMove, accept);
    return accept;
  }
  // A real drag with the mouse from the first selected row of a list to the middle of a
  // control elsewhere in the window.
  static void DragTo(TListView* from, TListItem* row, TControl* to) {
    const TRect r = row->DisplayRect(drBounds);
    const TPoint start{40, r.Top + 2};
    const TPoint end =
        from->ScreenToClient(to->ClientToScreen({to->Width() / 2, to->Height() / 2}));
    SendMouseForTesting(from, WM_LBUTTONDOWN, start.x, start.y, {ssLeft});
    SendMouseForTesting(from, WM_MOUSEMOVE, start.x + 10, start.y + 10, {ssLeft});
    SendMouseForTesting(from, WM_MOUSEMOVE, end.x, end.y, {ssLeft});
    SendMouseForTesting(from, WM_LBUTTONUP, end.x, end.y);
  }
  // A menu command as the message loop runs it: what it raises goes to the error report.
  static void Command(void (TfrmMain::*handler)(TObject*), TObject* sender) {
    try {
      (frmMain->*handler)(sender);
    } catch (const Exception&) {
      Application->HandleException(frmMain);
    }
  }
  // What the recording engine heard: the files each deck opened and the plays.
  Names Heard() const {
    Names out;
    for (const auto& l : rec.Lines())
      if (l.rfind("1 8 ", 0) == 0 || l.rfind("2 8 ", 0) == 0 || l == "1 4" || l == "2 4")
        out.push_back(l);
    return out;
  }

  Recorder rec;
};

TEST_F(PlaylistTest, WhatTheExplorerMayDragWhere) {
  Explore({"a", "b"});
  TObject* lists[] = {frmMain->List1, frmMain->List2, frmMain->pnlPlayer1, frmMain->lblTitle2};
  SelectInExplorer({"Sub"});
  for (TObject* t : lists) EXPECT_FALSE(Accepts(t, frmMain->ListFiles));
  SelectInExplorer({"a"});
  for (TObject* t : lists) EXPECT_TRUE(Accepts(t, frmMain->ListFiles));
  SelectInExplorer({"Sub", "a", "b"});
  for (TObject* t : lists) EXPECT_TRUE(Accepts(t, frmMain->ListFiles));
  EXPECT_FALSE(Accepts(frmMain->ListFiles, frmMain->ListFiles));

  // Onto a playlist only the tracks of the selection go, in explorer order.
  frmMain->ListDragDrop(frmMain->List2, frmMain->ListFiles, 1, 1);
  EXPECT_EQ(Captions(frmMain->List2), (Names{"a", "b"}));
  EXPECT_EQ(frmMain->List2->Items()->Item(0)->SubItems()->Strings(0), "128");
  EXPECT_EQ(frmMain->List2->Items()->Item(1)->SubItems()->Strings(1), "C:\\Music\\b.mp3");
  // Entries dragged from the explorer stay there.
  EXPECT_NE(Explorer("a"), nullptr);
}

TEST_F(PlaylistTest, RealDragsOntoDecksAndPlaylists) {
  Explore({"a", "b"});
  // A track onto a label of deck 2's panel loads deck 2 and does not play it.
  SelectInExplorer({"a"});
  DragTo(frmMain->ListFiles, Explorer("a"), frmMain->lblCurrBPM2);
  EXPECT_EQ(frmMain->lblTitle2->Caption(), "a");
  EXPECT_EQ(frmMain->txtBPM2->Text(), "128");
  EXPECT_EQ(Heard(), (Names{"2 8 C:\\Music\\a.mp3"}));

  // A track into playlist 1, then from playlist 1 to playlist 2 (a move), and back onto
  // playlist 2 itself (refused).
  SelectInExplorer({"b"});
  DragTo(frmMain->ListFiles, Explorer("b"), frmMain->List1);
  EXPECT_EQ(Captions(frmMain->List1), (Names{"b"}));
  frmMain->List1->SetSelected(frmMain->List1->Items()->Item(0));
  DragTo(frmMain->List1, frmMain->List1->Items()->Item(0), frmMain->List2);
  EXPECT_EQ(Captions(frmMain->List1), Names{});
  EXPECT_EQ(Captions(frmMain->List2), (Names{"b"}));
  frmMain->List2->SetSelected(frmMain->List2->Items()->Item(0));
  DragTo(frmMain->List2, frmMain->List2->Items()->Item(0), frmMain->List2);
  EXPECT_EQ(Captions(frmMain->List2), (Names{"b"}));

  // From a playlist onto the edit of deck 1's panel: loaded there and gone from the list.
  rec.clear();
  DragTo(frmMain->List2, frmMain->List2->Items()->Item(0), frmMain->txtBPM1);
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "b");
  EXPECT_EQ(Captions(frmMain->List2), Names{});
  EXPECT_EQ(Heard(), (Names{"1 8 C:\\Music\\b.mp3"}));
}

TEST_F(PlaylistTest, ADeckTakesTheFirstTrackOfASelection) {
  Explore({"a", "b"});
  // The folder and the way up come first in the list; the deck gets the first track.
  SelectInExplorer({".. [ UP DIR ]", "Sub", "b"});
  frmMain->pnlPlayerDragDrop(frmMain->imgDeck1, frmMain->ListFiles, 1, 1);
  EXPECT_EQ(frmMain->lblTitle1->Caption(), "b");
  EXPECT_EQ(Heard(), (Names{"1 8 C:\\Music\\b.mp3"}));
  // A playlist with nothing selected gives nothing.
  rec.clear();
  frmMain->pnlPlayerDragDrop(frmMain->pnlPlayer2, frmMain->List1, 1, 1);
  EXPECT_EQ(Heard(), Names{});
}

TEST_F(PlaylistTest, DoubleClickPlaysTheMenuOnlyLoads) {
  Fill(frmMain->List2, {"x", "y"}, {"120", "130"});
  TListView* list = frmMain->List2;
  const TRect r = list->Items()->Item(1)->DisplayRect(drBounds);
  SendMouseForTesting(list, WM_LBUTTONDOWN, 20, r.Top + 2, {ssLeft});
  SendMouseForTesting(list, WM_LBUTTONUP, 20, r.Top + 2);
  SendMouseForTesting(list, WM_LBUTTONDBLCLK, 20, r.Top + 2, {ssLeft});
  SendMouseForTesting(list, WM_LBUTTONUP, 20, r.Top + 2);
  EXPECT_EQ(Heard(), (Names{"2 8 C:\\Music\\y.mp3", "2 4"}));
  EXPECT_EQ(frmMain->txtBPM2->Text(), "130");
  EXPECT_EQ(Captions(list), (Names{"x"}));

  // "To Player 1" on playlist 2 (the menu learns its list from the right click) loads
  // deck 1 without playing it.
  rec.clear();
  list->SetSelected(list->Items()->Item(0));
  frmMain->popPList->SetTag(0);
  SendMouseForTesting(list, WM_RBUTTONDOWN, 20, 2);
  SendMouseForTesting(list, WM_RBUTTONUP, 20, 2);
  EXPECT_EQ(frmMain->popPList->Tag(), 1);
  frmMain->popPPlayerClick(frmMain->popPPlayer1);
  EXPECT_EQ(Heard(), (Names{"1 8 C:\\Music\\x.mp3"}));
  EXPECT_EQ(Captions(list), Names{});
  // With nothing selected the commands do nothing.
  frmMain->popPPlayerClick(frmMain->popPPlayer2);
  frmMain->popPRemoveClick(frmMain->popPRemove);
  frmMain->popPBPMClick(frmMain->popPBPM);
  EXPECT_TRUE(dialogs.empty());
}

TEST_F(PlaylistTest, TheEndOfAMixTakesTheFirstEntry) {
  EXPECT_FALSE(frmMain->LoadNextTitle(Deck2));
  Fill(frmMain->List2, {"x", "y"}, {"120", "130"});
  EXPECT_TRUE(frmMain->LoadNextTitle(Deck2));
  EXPECT_EQ(Heard(), (Names{"2 8 C:\\Music\\x.mp3"}));
  EXPECT_EQ(frmMain->txtBPM2->Text(), "120");
  EXPECT_EQ(Captions(frmMain->List2), (Names{"y"}));
  EXPECT_EQ(Deck1.PlayList, frmMain->List1);
}

TEST_F(PlaylistTest, CtrlArrowsMoveTheSelectedSong) {
  TListView* list = frmMain->List1;
  Fill(list, {"A", "B", "C"});
  list->SetFocus();
  list->SetSelected(list->Items()->Item(0));
  list->SetItemFocused(list->Items()->Item(0));
  SendKeyForTesting(list, 40, 0, {ssCtrl});
  EXPECT_EQ(Captions(list), (Names{"B", "A", "C"}));
  EXPECT_EQ(list->Selected()->Caption(), "A");
  EXPECT_EQ(list->Selected()->SubItems()->Strings(1), "C:\\Music\\A.mp3");
  // Again: the same song goes on down, then stops at the end.
  SendKeyForTesting(list, 40, 0, {ssCtrl});
  EXPECT_EQ(Captions(list), (Names{"B", "C", "A"}));
  SendKeyForTesting(list, 40, 0, {ssCtrl});
  EXPECT_EQ(Captions(list), (Names{"B", "C", "A"}));
  // Ctrl+Up on the first entry changes nothing.
  list->SetSelected(list->Items()->Item(0));
  list->SetItemFocused(list->Items()->Item(0));
  SendKeyForTesting(list, 38, 0, {ssCtrl});
  EXPECT_EQ(Captions(list), (Names{"B", "C", "A"}));
  // Delete removes the selected entry.
  list->SetSelected(list->Items()->Item(1));
  list->SetItemFocused(list->Items()->Item(1));
  SendKeyForTesting(list, 46, 0);
  EXPECT_EQ(Captions(list), (Names{"B", "A"}));
}

TEST_F(PlaylistTest, SortingByTempoAndByName) {
  Fill(frmMain->List1, {"b", "a", "c", "d"}, {"128", "x", "99,5", "50"});
  Fill(frmMain->List2, {"z", "y"}, {"130", "90"});
  frmMain->btnListBPM1Click(frmMain->btnListBPM1);
  // Neither x nor "99,5" (the separator is the point) is a number: both count as 0.
  EXPECT_EQ(Captions(frmMain->List1), (Names{"a", "c", "d", "b"}));
  // The order is shared: a new entry of the other playlist sorts it too.
  Fill(frmMain->List2, {"w"}, {"100"});
  EXPECT_EQ(Captions(frmMain->List2), (Names{"y", "w", "z"}));
  // Any key with Ctrl on a selected entry switches it off: additions go to the end again.
  frmMain->List2->SetSelected(frmMain->List2->Items()->Item(0));
  frmMain->List2->SetFocus();
  SendKeyForTesting(frmMain->List2, 'A', 0, {ssCtrl});
  EXPECT_EQ(BPMOrder, 0);
  Fill(frmMain->List2, {"v"}, {"50"});
  EXPECT_EQ(Captions(frmMain->List2), (Names{"y", "w", "z", "v"}));

  // "Name" sorts once, letter case counting.
  Fill(frmMain->List1, {"B"}, {"1"});
  frmMain->btnListBPM1Click(frmMain->btnListName1);
  EXPECT_EQ(Captions(frmMain->List1), (Names{"a", "b", "B", "c", "d"}));
  frmMain->btnListName2Click(frmMain->btnListBPM2);
  EXPECT_EQ(Captions(frmMain->List2), (Names{"v", "y", "w", "z"}));
}

TEST_F(PlaylistTest, TheTempoAsTyped) {
  Fill(frmMain->List1, {"a"}, {"120"});
  TListView* list = frmMain->List1;
  list->SetSelected(list->Items()->Item(0));
  frmMain->popPList->SetTag(0);
  DecimalSeparator = ',';
  answer = {IDOK, true, "128,5"};
  frmMain->popPBPMClick(frmMain->popPBPM);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Text, "BPM = ");
  EXPECT_EQ(dialogs[0].Value, "120");
  EXPECT_EQ(list->Items()->Item(0)->SubItems()->Strings(0), "128,5");
  answer = {IDOK, true, "abc"};
  frmMain->popPBPMClick(frmMain->popPBPM);
  answer = {IDCANCEL, false, "140"};
  frmMain->popPBPMClick(frmMain->popPBPM);
  EXPECT_EQ(list->Items()->Item(0)->SubItems()->Strings(0), "128,5");
  EXPECT_EQ(dialogs.size(), 3u);
}

TEST_F(PlaylistTest, SplittingTheExplorer) {
  Explore({"a", "b", "c", "d", "e"});
  Fill(frmMain->List1, {"old"});
  frmMain->popSplitClick(frmMain->popSplit);
  EXPECT_EQ(frmMain->List2->Items()->Count(), 3);
  ASSERT_EQ(frmMain->List1->Items()->Count(), 3);
  EXPECT_EQ(frmMain->List1->Items()->Item(0)->Caption(), "old");
  Names all = Captions(frmMain->List2);
  for (Integer i = 1; i < 3; ++i) all.push_back(frmMain->List1->Items()->Item(i)->Caption());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (Names{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(frmMain->ListFiles->Items()->Count(), 7);

  frmMain->ScanFolder("C:\\Music\\Sub", false);
  frmMain->popSplitClick(frmMain->popSplit);
  EXPECT_EQ(frmMain->List2->Items()->Count(), 3);
}

TEST_F(PlaylistTest, PlaylistFilesRoundTrip) {
  Track(c + "/Music/one.mp3");
  Track(c + "/Music/two.mp3", false);
  Fill(frmMain->List1, {"one", "two", "gone"});
  frmMain->popPList->SetTag(0);
  answer = {IDOK, true, "C:\\Music\\set.plx"};
  frmMain->popPSaveClick(frmMain->popPSave);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, dkSaveDialog);
  EXPECT_EQ(dialogs[0].DefaultExt, "plx");
  EXPECT_FALSE(dialogs[0].Options.Contains(ofOverwritePrompt));
  const std::string saved = kaztest::ReadFile(c + "/Music/set.plx");
  EXPECT_EQ(saved, "C:\\Music\\one.mp3\r\nC:\\Music\\two.mp3\r\nC:\\Music\\gone.mp3\r\n");

  // Loaded into playlist 2 (empty): captions are file names, tempi come from the tags,
  // and a missing file is an entry all the same.
  frmMain->popPList->SetTag(1);
  frmMain->popPLoadClick(frmMain->popPLoad);
  EXPECT_EQ(dialogs.back().Kind, dkOpenDialog);
  EXPECT_EQ(dialogs.back().Caption, "Load PlayList...");
  EXPECT_TRUE(dialogs.back().Options.Contains(ofFileMustExist));
  EXPECT_EQ(Captions(frmMain->List2), (Names{"one.mp3", "two.mp3", "gone.mp3"}));
  EXPECT_EQ(frmMain->List2->Items()->Item(0)->SubItems()->Strings(0), "128");
  EXPECT_EQ(frmMain->List2->Items()->Item(1)->SubItems()->Strings(0), "");
  EXPECT_EQ(frmMain->List2->Items()->Item(2)->SubItems()->Strings(0), "");
  // Saved again, byte for byte the same file.
  frmMain->popPSaveClick(frmMain->popPSave);
  EXPECT_EQ(kaztest::ReadFile(c + "/Music/set.plx"), saved);

  // An empty playlist gives an empty file; cancelling either dialog does nothing.
  frmMain->popLClearClick(frmMain->popLClear);
  EXPECT_EQ(frmMain->List2->Items()->Count(), 0);
  frmMain->popPSaveClick(frmMain->popPSave);
  EXPECT_EQ(kaztest::ReadFile(c + "/Music/set.plx"), "");
  answer = {IDCANCEL, false, ""};
  frmMain->popPLoadClick(frmMain->popPLoad);
  EXPECT_EQ(frmMain->List2->Items()->Count(), 0);

  // Names outside ASCII: UTF-8 on disk, the code page in the file and on screen; a name the
  // code page cannot hold is kept as the explorer shows it, and still finds its track.
  Track(c + "/Music/Gr\xc3\xb6\xc3\x9f" "e.mp3");  // Größe
  Track(c + "/Music/\xd0\x94\xd0\xbe\xd0\xbc.mp3");    // Дом
  const String other = win32::LinuxToWindowsPath(c + "/Music/\xd0\x94\xd0\xbe\xd0\xbc.mp3");
  ASSERT_EQ(other.rfind("C:\\Music\\___~", 0), 0u) << other;
  const std::string list = "C:\\Music\\Gr\xf6\xdf" "e.mp3\r\n" + other + "\r\n";
  kaztest::WriteFile(c + "/Music/\xc3\x89t\xc3\xa9.plx", list);  // Été.plx
  answer = {IDOK, true, "C:\\Music\\\xc9t\xe9.plx"};
  frmMain->popPLoadClick(frmMain->popPLoad);
  EXPECT_EQ(Captions(frmMain->List2), (Names{"Gr\xf6\xdf" "e.mp3", other.substr(9)}));
  for (Integer i = 0; i < 2; ++i)
    EXPECT_EQ(frmMain->List2->Items()->Item(i)->SubItems()->Strings(0), "128") << i;
  frmMain->popPSaveClick(frmMain->popPSave);
  EXPECT_EQ(kaztest::ReadFile(c + "/Music/\xc3\x89t\xc3\xa9.plx"), list);
}

TEST_F(PlaylistTest, BadPlaylistFilesAndFailedSaves) {
  // Binary bytes and a very long line: every line is an entry, the file stays as it was,
  // the program goes on.
  std::string bytes = "C:\\Music\\a.mp3\r\n";
  for (int i = 1; i < 256; ++i)
    if (i != '\r' && i != '\n') bytes += static_cast<char>(i);
  bytes += "\n" + std::string(200000, 'x') + "\\y.mp3\r\nlast:part";
  fs::create_directories(c + "/Lists");
  kaztest::WriteFile(c + "/Lists/bad.plx", bytes);
  frmMain->popPList->SetTag(0);
  answer = {IDOK, true, "C:\\Lists\\bad.plx"};
  frmMain->popPLoadClick(frmMain->popPLoad);
  ASSERT_EQ(frmMain->List1->Items()->Count(), 4);
  EXPECT_EQ(frmMain->List1->Items()->Item(2)->Caption(), "y.mp3");
  EXPECT_EQ(frmMain->List1->Items()->Item(3)->Caption(), "part");
  EXPECT_EQ(kaztest::ReadFile(c + "/Lists/bad.plx"), bytes);
  EXPECT_EQ(dialogs.size(), 1u);

  // A save that cannot be written is reported and the file it was to replace stays: a
  // read-only playlist, a folder that is a file. A file of the user's named like a scratch
  // copy is never touched, and no scratch file is left behind.
  kaztest::WriteFile(c + "/Lists/keep.plx", "C:\\x.mp3\r\n");
  kaztest::WriteFile(c + "/Lists/keep.plx.tmp", "mine");
  chmod((c + "/Lists/keep.plx").c_str(), 0444);
  answer = {IDOK, true, "C:\\Lists\\keep.plx"};
  Command(&TfrmMain::popPSaveClick, frmMain->popPSave);
  chmod((c + "/Lists/keep.plx").c_str(), 0644);
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs.back().Kind, dkMessageBox);
  EXPECT_NE(dialogs.back().Text.find("Cannot create file C:\\Lists\\keep.plx"), String::npos)
      << dialogs.back().Text;
  EXPECT_EQ(kaztest::ReadFile(c + "/Lists/keep.plx"), "C:\\x.mp3\r\n");
  answer = {IDOK, true, "C:\\Lists\\bad.plx\\in.plx"};
  Command(&TfrmMain::popPSaveClick, frmMain->popPSave);
  ASSERT_EQ(dialogs.size(), 5u);
  EXPECT_NE(dialogs.back().Text.find("Cannot create file"), String::npos) << dialogs.back().Text;
  EXPECT_EQ(NamesIn(c + "/Lists"), (Names{"bad.plx", "keep.plx", "keep.plx.tmp"}));

  // A path with a line break would read back as two entries, neither of them the track:
  // it is left out, and the user is told which.
  TListItem* two = frmMain->List1->Items()->Add();
  two->SubItems()->Add("");
  two->SubItems()->Add("C:\\Music\\two\nlines.mp3");
  two->SetCaption("two\nlines.mp3");
  answer = {IDOK, true, "C:\\Lists\\keep.plx"};
  Command(&TfrmMain::popPSaveClick, frmMain->popPSave);
  ASSERT_EQ(dialogs.size(), 7u);
  EXPECT_NE(dialogs.back().Text.find("line break"), String::npos) << dialogs.back().Text;
  EXPECT_NE(dialogs.back().Text.find("two\nlines.mp3"), String::npos);
  TStringList saved;
  saved.SetText(kaztest::ReadFile(c + "/Lists/keep.plx"));
  EXPECT_EQ(saved.Count(), 4);
  EXPECT_EQ(saved.Strings(0), "C:\\Music\\a.mp3");
  EXPECT_EQ(kaztest::ReadFile(c + "/Lists/keep.plx.tmp"), "mine");
  EXPECT_EQ(NamesIn(c + "/Lists"), (Names{"bad.plx", "keep.plx", "keep.plx.tmp"}));
  // A file that cannot be read leaves the playlist as it was (root reads every file).
  if (geteuid() != 0) {
    kaztest::WriteFile(c + "/Lists/shut.plx", "C:\\x.mp3\r\n");
    chmod((c + "/Lists/shut.plx").c_str(), 0);
    answer = {IDOK, true, "C:\\Lists\\shut.plx"};
    Command(&TfrmMain::popPLoadClick, frmMain->popPLoad);
    EXPECT_EQ(frmMain->List1->Items()->Count(), 5);
    EXPECT_NE(dialogs.back().Text.find("Cannot open file"), String::npos) << dialogs.back().Text;
    chmod((c + "/Lists/shut.plx").c_str(), 0644);
  }
}

TEST_F(PlaylistTest, TheTagDialogOpensOnTracksOnly) {
  Explore({"a"});
  Application->CreateForm(frmID3Tag);
  std::vector<String> shown;
  frmID3Tag->OnShow = [&](TObject*) {
    shown.push_back(frmID3Tag->lblFile->Hint());
    frmID3Tag->btnCloseClick(nullptr);
  };
  // From the explorer: a folder or the way up opens nothing, a track does.
  SelectInExplorer({"Sub"});
  frmMain->popListID3Click(frmMain->popListID3);
  SelectInExplorer({"a"});
  frmMain->popListID3Click(frmMain->popListID3);
  // From a playlist, the entry the menu was opened on.
  Fill(frmMain->List2, {"a"});
  frmMain->popPList->SetTag(1);
  frmMain->popListID3Click(frmMain->popPID3);
  frmMain->List2->SetSelected(frmMain->List2->Items()->Item(0));
  frmMain->popListID3Click(frmMain->popPID3);
  EXPECT_EQ(shown, (std::vector<String>{"C:\\Music\\a.mp3", "C:\\Music\\a.mp3"}));
  frmID3Tag = nullptr;
}

TEST_F(PlaylistTest, TheTipAndTheSelectedRowOfPlaylistOne) {
  Fill(frmMain->List1, {"song", "other"}, {"128", "120"});
  TListView* list = frmMain->List1;
  const TRect r = list->Items()->Item(0)->DisplayRect(drBounds);
  EXPECT_EQ(list->TipAt({10, r.Top + 2}), "song\n128");
  list->SetSelected(list->Items()->Item(0));
  EXPECT_EQ(SurfacePixelForTesting(list, 150, r.Top + 2), TColor(0x400A00));
  EXPECT_EQ(SurfacePixelForTesting(list, 150, r.Bottom + 2), clBlack);
}

}  // namespace
