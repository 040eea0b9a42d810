// The explorer: a folder's sub-folders and MP3 files with their tempi, on pnlBrowse.
// Reading a file's tempo means analysing its tag, which is slow, so each folder keeps the
// tempi found in "List.bpm" and later scans read them from there.
#include <utility>

#include "classlib/FileCtrl.h"
#include "classlib/SysUtils.h"
#include "engine/XAnalyzer.h"
#include "player/FonctionsChaine.h"
#include "player/uControls.h"
#include "player/uListFiles.h"
#include "player/uMain.h"
#include "win32/Files.h"
#include "win32/Sync.h"

namespace {

// The list's left on its panel; the rows are drawn from it.
constexpr Integer ListLeft = 6;
const char* const UpDirCaption = ".. [ UP DIR ]";
const char* const NoFileCaption = "No MP3 file found.";

// The kinds in list order: up-dir, folders, MP3 files, the message.
Integer KindRank(Integer ImageIndex) {
  switch (ImageIndex) {
    case ExplorerUpDir:
      return 0;
    case ExplorerFolder:
      return 1;
    case ExplorerMp3:
      return 2;
    default:
      return 3;
  }
}

char FoldAZ(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Captions by their codes, a-z folded to upper case, without locale rules.
Integer CompareCaptions(const String& a, const String& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAZ(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAZ(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The list's small pictures: a folder, a note, an unused place and the way up.
void AddIcon(TImageList* List, int Kind) {
  TBitmap b;
  b.SetSize(16, 16);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clBlack);
  c->FillRect({0, 0, 16, 16});
  switch (Kind) {
    case 0:
      c->Brush()->SetColor(0x40C8F0);
      c->FillRect({1, 3, 7, 5});
      c->FillRect({1, 5, 15, 14});
      break;
    case 1:
      c->Brush()->SetColor(0xFF8080);
      c->FillRect({9, 2, 11, 12});
      c->FillRect({11, 2, 15, 4});
      c->FillRect({4, 10, 10, 14});
      break;
    case 3:
      c->Brush()->SetColor(0x40C8F0);
      c->FillRect({7, 4, 9, 14});
      c->FillRect({5, 6, 11, 8});
      c->FillRect({3, 8, 13, 9});
      c->FillRect({6, 5, 10, 6});
      break;
    default:
      break;
  }
  List->AddMasked(&b, clBlack);
}

}  // namespace

void TfrmMain::BuildExplorer() {
  Xanalyser = new TXAnalyzer(this);
  Xanalyser->SetName("Xanalyser");
  Xanalyser->SetStopMask(0);
  Xanalyser->SetWatchDog(0);
  Xanalyser->SetMaxFrames(1);

  imgList = new TImageList(this);
  imgList->SetName("imgList");
  for (int kind = 0; kind < 4; ++kind) AddIcon(imgList, kind);

  cboDrives = CreateControl<TDriveComboBox>(this, pnlBrowse, "cboDrives", ListLeft, 6, 120, 21);
  // Upper case, so that a drive chosen here names the root exactly as the root test
  // compares it ("C:").
  cboDrives->SetTextCase(tcUpperCase);
  cboDrives->OnClick = [this](TObject* Sender) { cboDrivesClick(Sender); };

  btnRescan = MakeButton(this, pnlBrowse, "btnRescan", 134, 5, 100, 22, "Rescan Files");
  btnRescan->SetHint("Click to update list if BPM changed");
  btnRescan->SetShowHint(true);
  btnRescan->OnClick = [this](TObject* Sender) { btnRescanClick(Sender); };

  lblLoading = MakeLabel(this, pnlBrowse, "lblLoading", 250, 9, "LOADING FILES ...");
  lblLoading->Font()->SetColor(clRed);
  lblLoading->Font()->SetStyle({fsBold});
  lblLoading->SetVisible(false);

  BuildExplorerMenu();

  ListFiles = CreateControl<TListView>(this, pnlBrowse, "ListFiles", ListLeft, 32, 430, 122);
  ListFiles->SetColor(clBlack);
  ListFiles->SetViewStyle(vsReport);
  TListColumn* file = ListFiles->Columns()->Add();
  file->SetCaption("File");
  file->SetWidth(350);
  file->SetMinWidth(50);
  TListColumn* bpm = ListFiles->Columns()->Add();
  bpm->SetCaption("BPM");
  bpm->SetMinWidth(40);
  bpm->SetWidth(56);
  ListFiles->SetShowColumnHeaders(false);
  ListFiles->SetColumnClick(false);
  ListFiles->SetMultiSelect(true);
  ListFiles->SetRowSelect(true);
  ListFiles->SetReadOnly(true);
  ListFiles->SetDragMode(dmAutomatic);
  ListFiles->SetSmallImages(imgList);
  ListFiles->SetPopupMenu(popListFiles);
  ListFiles->OnColumnClick = [this](TObject* Sender, TListColumn* Column) {
    ListFilesColumnClick(Sender, Column);
  };
  ListFiles->OnCompare = [this](TObject* Sender, TListItem* a, TListItem* b, Integer Data,
                                Integer& Compare) {
    ListFilesCompare(Sender, a, b, Data, Compare);
  };
  ListFiles->SetSortType(stBoth);
  ListFiles->OnCustomDrawItem = [this](TListView* Sender, TListItem* Item, TCustomDrawState State,
                                       bool& DefaultDraw) {
    ListFilesCustomDrawItem(Sender, Item, State, DefaultDraw);
  };
  ListFiles->OnDblClick = [this](TObject* Sender) { ListFilesDblClick(Sender); };
  // The explorer is a drag source only; dropping back onto it is refused by the rule.
  ListFiles->OnDragOver = [this](TObject* Sender, TObject* Source, int X, int Y, TDragState State,
                                 bool& Accept) {
    ListDragOver(Sender, Source, X, Y, State, Accept);
  };
}

void TfrmMain::BuildExplorerMenu() {
  popListFiles = MakeMenu(this, "popListFiles");
  // The ID3 dialog's handler tells the explorer's menu from the playlists' by this.
  popListFiles->SetTag(2);
  auto item = [this](const String& name, const String& caption) {
    auto* m = new TMenuItem(this);
    m->SetName(name);
    m->SetCaption(caption);
    popListFiles->Items()->Add(m);
    return m;
  };
  popListID3 = item("popListID3", "ID3 Tag Editor");
  popListID3->OnClick = [this](TObject* Sender) { popListID3Click(Sender); };
  item("popListSep", "-");
  popSplit = item("popSplit", "Split Files to PlayLists");
  popSplit->OnClick = [this](TObject* Sender) { popSplitClick(Sender); };
}

void TfrmMain::OpenExplorer(const String& LastDir) {
  String folder = Trim(LastDir);
  if (folder.empty()) folder = "C:";
  // The drive box first: the root test of the scan compares with its drive.
  cboDrives->SetDrive(folder[0]);
  ScanFolder(folder, false);
}

String TfrmMain::BPMOfFile(const String& Path) {
  Xanalyser->SetFileName(Path);
  return ParseBPM(Xanalyser->Comment());
}

void TfrmMain::ScanFolder(String Folder, bool Rescan) {
  // A scan asked for while one runs (a double click, a drive or a rescan handled among the
  // messages the running scan lets through) stops the running one at its next entry; the
  // newest request then runs. The user sees the folder asked for last, and no two scans
  // ever fill the list at once.
  if (scanning_) {
    scanPending_ = true;
    scanAbandoned_ = true;
    pendingFolder_ = Folder;
    pendingRescan_ = Rescan;
    return;
  }
  scanning_ = true;
  // The first entry lets the messages through at once: whatever waits is not held up.
  lastServed_ = GetTickCount() - ScanServePeriodMs;
  try {
    for (;;) {
      scanAbandoned_ = false;
      ScanOnce(Folder, Rescan);
      if (!scanPending_ || Application->Terminated()) break;
      scanPending_ = false;
      Folder = pendingFolder_;
      Rescan = pendingRescan_;
    }
  } catch (...) {
    scanning_ = false;
    scanPending_ = false;
    throw;
  }
  scanning_ = false;
  scanPending_ = false;
  ReportUnsavedCache();
}

void TfrmMain::ReportUnsavedCache() {
  if (!unsavedCache_) return;
  const std::exception_ptr failure = std::exchange(unsavedCache_, nullptr);
  try {
    std::rethrow_exception(failure);
  } catch (const Exception&) {
    Application->HandleException(this);
  }
}

void TfrmMain::ServeWindow() {
  // Pending messages are served between entries, but at most every few milliseconds: the
  // window repaints and takes clicks as if served after each entry, and a folder read
  // from its cache is not slowed down by thousands of empty turns of the message loop.
  const DWORD now = GetTickCount();
  if (now - lastServed_ < ScanServePeriodMs) return;
  Application->ProcessMessages();
  lastServed_ = GetTickCount();
}

bool TfrmMain::ScanStopped() {
  return scanAbandoned_ || Application->Terminated();
}

void TfrmMain::ScanOnce(String Folder, bool Rescan) {
  TListItems* items = ListFiles->Items();
  items->BeginUpdate();
  // The bracket closes and the label hides whatever ends the scan.
  struct Closer {
    TListItems* items;
    TLabel* label;
    ~Closer() {
      items->EndUpdate();
      label->SetVisible(false);
    }
  } closer{items, lblLoading};
  items->Clear();
  lblLoading->SetVisible(true);

  if (!Folder.empty() && Folder.back() == '\\') Folder.pop_back();
  scanningFolder_ = Folder + "\\";
  const String cache = Folder + "\\List.bpm";
  TBpmList list;
  if (!Rescan) list.Load(cache);
  AddMp3Files(Folder, "*.mp3", list);
  unsavedCache_ = nullptr;
  if (list.Count() > 0 && list.Saveable()) {
    // A folder that takes no file (a CD, a read-only share) is still listed, and its
    // tempi are read from the tags again next time; the user is told once the list is
    // complete.
    try {
      list.Save(cache);
    } catch (const Exception&) {
      unsavedCache_ = std::current_exception();
    }
  }
  if (ScanStopped()) return;

  const String root =
      String(1, static_cast<char>(std::toupper(static_cast<unsigned char>(cboDrives->Drive())))) +
      ":";
  if (Folder != root) {
    TListItem* up = items->Add();
    up->SetImageIndex(ExplorerUpDir);
    up->SetCaption(UpDirCaption);
  }

  AddFolders(Folder);
  if (ScanStopped()) return;

  const Integer count = items->Count();
  if (count == 0 || (count == 1 && items->Item(0)->ImageIndex() == ExplorerUpDir)) {
    TListItem* message = items->Add();
    message->SetImageIndex(ExplorerMessage);
    message->SetCaption(NoFileCaption);
  }
  CurrentFolder = Folder + "\\";
}

void TfrmMain::AddFolders(const String& Folder) {
  TListItems* items = ListFiles->Items();
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA((Folder + "\\*.*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return;
  constexpr DWORD skipped = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_VOLUME;
  do {
    const String name = data.cFileName;
    if (!(data.dwFileAttributes & skipped) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        name != "." && name != "..") {
      TListItem* dir = items->Add();
      dir->SubItems()->Add("");
      dir->SubItems()->Add(Folder + "\\" + name);
      dir->SetImageIndex(ExplorerFolder);
      dir->SetCaption(name);
    }
    ServeWindow();
    if (ScanStopped()) break;
  } while (FindNextFileA(h, &data));
  FindClose(h);
}

void TfrmMain::AddMp3Files(String Folder, const String& Pattern, TBpmList& List) {
  if (!Folder.empty() && Folder.back() == '\\') Folder.pop_back();
  WIN32_FIND_DATAA data{};
  HANDLE h = FindFirstFileA((Folder + "\\" + Pattern).c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return;
  TListItems* items = ListFiles->Items();
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ServeWindow();
    if (ScanStopped()) break;
    const String name = data.cFileName;
    const String caption = Copy(name, 1, Length(name) - 4);
    const String path = Folder + "\\" + name;
    String bpm;
    if (!List.Find(caption, bpm)) {
      bpm = BPMOfFile(path);
      List.Add(caption, bpm);
    }
    TListItem* entry = items->Add();
    entry->SubItems()->Add(bpm);
    entry->SubItems()->Add(path);
    entry->SetCaption(caption);
    entry->SetImageIndex(ExplorerMp3);
  } while (FindNextFileA(h, &data));
  FindClose(h);
}

String TfrmMain::ListedFolder() const {
  return scanning_ ? scanningFolder_ : CurrentFolder;
}

void TfrmMain::GoUpFolder() {
  const String current = ListedFolder();
  String folder = current;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  const String name = StrAfterLast("\\", folder);
  if (name.empty()) return;
  const String up = Copy(current, 1, Length(current) - Length(name) - 1);
  CurrentFolder = up;
  ScanFolder(up, false);
}

void TfrmMain::cboDrivesClick(TObject*) {
  const String text = cboDrives->Text();
  if (text.empty()) return;
  ScanFolder(String(1, text[0]) + ":\\", false);
}

void TfrmMain::ListFilesDblClick(TObject*) {
  TListItem* entry = ListFiles->Selected();
  if (!entry) return;
  if (entry->ImageIndex() == ExplorerFolder)
    ScanFolder(ListedFolder() + entry->Caption(), false);
  else if (entry->ImageIndex() == ExplorerUpDir)
    GoUpFolder();
}

void TfrmMain::btnRescanClick(TObject*) {
  // During a scan, the folder being scanned is the one the user sees.
  ScanFolder(ListedFolder(), true);
}

void TfrmMain::ListFilesColumnClick(TObject*, TListColumn*) {}

void TfrmMain::ListFilesCompare(TObject*, TListItem* Item1, TListItem* Item2, Integer,
                                Integer& Compare) {
  const Integer k1 = KindRank(Item1->ImageIndex());
  const Integer k2 = KindRank(Item2->ImageIndex());
  Compare = k1 != k2 ? (k1 < k2 ? -1 : 1) : CompareCaptions(Item1->Caption(), Item2->Caption());
}

void TfrmMain::ListFilesCustomDrawItem(TListView* Sender, TListItem* Item, TCustomDrawState State,
                                       bool& DefaultDraw) {
  DefaultDraw = false;
  TCanvas* c = Sender->Canvas();
  const TRect row = Item->DisplayRect(drLabel);
  Integer w0 = 0, w1 = 0;
  PaintListRowBack(Sender, row, ListLeft + 15, State.Contains(cdsSelected), w0, w1);
  if (Item->ImageIndex() >= 0 && Item->ImageIndex() < imgList->Count())
    imgList->Draw(c, ListLeft - 2, row.Top, Item->ImageIndex());
  c->Brush()->SetStyle(bsClear);
  c->TextRect({ListLeft + 17, row.Top, w0 - 2, row.Bottom}, ListLeft + 17, row.Top + 1,
              Item->Caption());
  if (Item->ImageIndex() != ExplorerUpDir && Item->SubItems()->Count() > 0)
    c->TextRect({w0, row.Top, w0 + w1, row.Bottom}, w0 + 2, row.Top + 1,
                Item->SubItems()->Strings(0));
  c->Brush()->SetStyle(bsSolid);
}
