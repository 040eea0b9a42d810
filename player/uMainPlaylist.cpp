// The playlists: one per deck (List1 feeds deck 1, List2 deck 2), filled by dragging from
// the explorer, by splitting the explorer between them, or from ".plx" files; and the
// drag and drop rules of the deck panels.
#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "engine/XAnalyzer.h"
#include "player/uID3Tag.h"
#include "player/uControls.h"
#include "player/uListFiles.h"
#include "player/uMain.h"
#include "win32/Sync.h"

namespace {

constexpr TColor SelectedBack = 0x400A00;
constexpr TColor SelectedText = 0xFFB9AE;
constexpr Word KeyDelete = 46;
constexpr Word KeyArrowUp = 38;
constexpr Word KeyArrowDown = 40;
const char* const PlayListFilter = "KAZ PRO PlayList (*.plx)|*.plx";

String BPMText(TListItem* Item) {
  return Item->SubItems()->Count() > 0 ? Item->SubItems()->Strings(0) : String();
}
String PathOf(TListItem* Item) {
  return Item->SubItems()->Count() > 1 ? Item->SubItems()->Strings(1) : String();
}

// The first selected explorer entry that is an MP3 file, or null.
TListItem* FirstSelectedMp3(TListView* List) {
  for (Integer i = 0; i < List->Items()->Count(); ++i) {
    TListItem* item = List->Items()->Item(i);
    if (item->Selected() && item->ImageIndex() == ExplorerMp3) return item;
  }
  return nullptr;
}

// One entry of the split's pool.
struct TPoolEntry {
  String Caption;
  String BPM;
  String Path;
};

// The generator behind the split: seeded anew before every draw, so draws made within the
// same millisecond repeat.
Cardinal SplitSeed = 0;
Integer RandomBelow(Integer Range) {
  SplitSeed = SplitSeed * 134775813u + 1u;
  return static_cast<Integer>(
      (static_cast<std::uint64_t>(SplitSeed) * static_cast<Cardinal>(Range)) >> 32);
}

}  // namespace

void TfrmMain::BuildPlaylists() {
  BuildPlaylistMenu();
  BuildPlayList(1);
  BuildPlayList(2);
}

void TfrmMain::BuildPlaylistMenu() {
  popPList = MakeMenu(this, "popPList");
  struct MenuLine {
    TMenuItem** field;
    const char* name;
    const char* caption;
    void (TfrmMain::*handler)(TObject*);
  };
  const MenuLine lines[] = {
      {&popPPlayer1, "popPPlayer1", "To Player 1", &TfrmMain::popPPlayerClick},
      {&popPPlayer2, "popPPlayer2", "To Player 2", &TfrmMain::popPPlayerClick},
      {nullptr, "popPSep1", "-", nullptr},
      {&popPBPM, "popPBPM", "BPM ...", &TfrmMain::popPBPMClick},
      {&popPID3, "popPID3", "ID3 Tag Editor", &TfrmMain::popListID3Click},
      {nullptr, "popPSep2", "-", nullptr},
      {&popPLoad, "popPLoad", "Load", &TfrmMain::popPLoadClick},
      {&popPSave, "popPSave", "Save", &TfrmMain::popPSaveClick},
      {nullptr, "popPSep3", "-", nullptr},
      {&popLClear, "popLClear", "Clear", &TfrmMain::popLClearClick},
      {&popPRemove, "popPRemove", "Remove", &TfrmMain::popPRemoveClick},
  };
  for (const MenuLine& line : lines) {
    auto* m = new TMenuItem(this);
    m->SetName(line.name);
    m->SetCaption(line.caption);
    if (line.handler) {
      auto handler = line.handler;
      m->OnClick = [this, handler](TObject* Sender) { (this->*handler)(Sender); };
    }
    popPList->Items()->Add(m);
    if (line.field) *line.field = m;
  }
  popPPlayer1->SetTag(0);
  popPPlayer2->SetTag(1);

  dlgOpen = new TOpenDialog(this);
  dlgOpen->SetName("dlgOpen");
  dlgOpen->SetTitle("Load PlayList...");
  dlgOpen->SetFilter(String(PlayListFilter) + "|Any File (*.*)|*.*");
  dlgOpen->SetOptions({ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing});
  dlgSave = new TSaveDialog(this);
  dlgSave->SetName("dlgSave");
  dlgSave->SetFilter(PlayListFilter);
  dlgSave->SetDefaultExt("plx");
  dlgSave->SetOptions({ofHideReadOnly, ofEnableSizing});
}

void TfrmMain::BuildPlayList(Integer No) {
  const bool one = No == 1;
  const String n = IntToStr(No);
  TPanel* pnl = one ? pnlPlayer1 : pnlPlayer2;
  // Two buttons over the list stand for its column headers.
  auto* name = CreateControl<TSpeedButton>(this, pnl, "btnListName" + n, 6, 292, 192, 16);
  name->SetCaption("Name");
  name->SetTag(1);
  auto* bpm = CreateControl<TSpeedButton>(this, pnl, "btnListBPM" + n, 198, 292, 40, 16);
  bpm->SetCaption("BPM");
  bpm->SetTag(2);
  for (TSpeedButton* b : {name, bpm}) {
    b->SetFlat(true);
    b->OnClick = [this, one](TObject* Sender) {
      one ? btnListBPM1Click(Sender) : btnListName2Click(Sender);
    };
    b->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      btnListName1MouseUp(Sender, Button, Shift, X, Y);
    };
  }
  (one ? btnListName1 : btnListName2) = name;
  (one ? btnListBPM1 : btnListBPM2) = bpm;

  auto* list = CreateControl<TListView>(this, pnl, "List" + n, 6, 308, 234, 62);
  list->SetTag(one ? 0 : 1);
  list->SetBorderStyle(bsNone);
  list->SetColor(clBlack);
  list->SetViewStyle(vsReport);
  TListColumn* caption = list->Columns()->Add();
  caption->SetCaption("Name");
  caption->SetWidth(192);
  caption->SetMinWidth(192);
  caption->SetMaxWidth(192);
  TListColumn* tempo = list->Columns()->Add();
  tempo->SetCaption("BPM");
  tempo->SetWidth(40);
  list->SetShowColumnHeaders(false);
  list->SetMultiSelect(false);
  list->SetRowSelect(true);
  list->SetReadOnly(true);
  list->SetHideSelection(false);
  list->SetDragMode(dmAutomatic);
  list->SetPopupMenu(popPList);
  // Every caption change sorts; while the BPM order is off all entries compare equal and
  // the stable sort keeps the order they have.
  list->OnCompare = [](TObject*, TListItem* a, TListItem* b, Integer, Integer& Compare) {
    Compare = 0;
    if (!BPMOrder) return;
    const Extended x = StrToFloatDef(BPMText(a), 0);
    const Extended y = StrToFloatDef(BPMText(b), 0);
    Compare = x < y ? -1 : (x > y ? 1 : 0);
  };
  list->SetSortType(stBoth);
  list->OnCustomDrawItem = [this](TListView* Sender, TListItem* Item, TCustomDrawState State,
                                  bool& DefaultDraw) {
    ListCustomDrawItem(Sender, Item, State, DefaultDraw);
  };
  list->OnDragOver = [this](TObject* Sender, TObject* Source, int X, int Y, TDragState State,
                            bool& Accept) { ListDragOver(Sender, Source, X, Y, State, Accept); };
  list->OnDragDrop = [this](TObject* Sender, TObject* Source, int X, int Y) {
    ListDragDrop(Sender, Source, X, Y);
  };
  list->OnDblClick = [this](TObject* Sender) { ListDblClick(Sender); };
  list->OnKeyDown = [this](TObject* Sender, Word& Key, TShiftState Shift) {
    ListKeyDown(Sender, Key, Shift);
  };
  list->OnContextPopup = [this](TObject* Sender, TPoint MousePos, bool& Handled) {
    ListContextPopup(Sender, MousePos, Handled);
  };
  if (one) {
    list->SetShowHint(true);
    list->OnInfoTip = [this](TObject* Sender, TListItem* Item, String& InfoTip) {
      List1InfoTip(Sender, Item, InfoTip);
    };
  }
  (one ? List1 : List2) = list;
  BindDeckDrops(pnl);
}

void TfrmMain::BindDeckDrops(TWinControl* Panel) {
  auto bind = [this](TControl* c) {
    c->OnDragOver = [this](TObject* Sender, TObject* Source, int X, int Y, TDragState State,
                           bool& Accept) { ListDragOver(Sender, Source, X, Y, State, Accept); };
    c->OnDragDrop = [this](TObject* Sender, TObject* Source, int X, int Y) {
      pnlPlayerDragDrop(Sender, Source, X, Y);
    };
  };
  bind(Panel);
  for (Integer i = 0; i < Panel->ControlCount(); ++i) {
    TControl* c = Panel->Controls(i);
    // The playlist and its buttons on the panel have rules of their own.
    if (c == List1 || c == List2 || c == btnListName1 || c == btnListBPM1 || c == btnListName2 ||
        c == btnListBPM2)
      continue;
    if (auto* inner = dynamic_cast<TWinControl*>(c); inner && inner->ControlCount() > 0)
      BindDeckDrops(inner);
    else
      bind(c);
  }
}

TListView* TfrmMain::PopupList() {
  return popPList->Tag() == 0 ? List1 : List2;
}

void TfrmMain::AddToPlayList(TListView* List, const String& Caption, const String& BPM,
                             const String& Path) {
  TListItem* item = List->Items()->Add();
  item->SubItems()->Add(BPM);
  item->SubItems()->Add(Path);
  item->SetCaption(Caption);
}

void TfrmMain::LoadEntry(TXPlayer& Deck, TListItem* Item, bool Remove) {
  // Without an engine nothing can be loaded, so the entry stays where it is.
  if (!Deck.Xaudio) return;
  const String path = PathOf(Item);
  const String bpm = BPMText(Item);
  if (Remove) Item->Delete();
  LoadDeck(Deck, path, bpm);
}

bool TfrmMain::LoadNextTitle(TXPlayer& Deck) {
  if (!Deck.PlayList || Deck.PlayList->Items()->Count() == 0) return false;
  LoadEntry(Deck, Deck.PlayList->Items()->Item(0), true);
  return true;
}

void TfrmMain::ListDragOver(TObject* Sender, TObject* Source, Integer, Integer, TDragState,
                            bool& Accept) {
  Accept = false;
  if (Source == ListFiles) {
    const Integer selected = ListFiles->SelCount();
    if (selected == 1)
      Accept = ListFiles->Selected()->ImageIndex() == ExplorerMp3;
    else
      Accept = selected > 1;
  } else if (Source == List1 || Source == List2) {
    Accept = true;
  }
  if (Source == Sender) Accept = false;
}

void TfrmMain::pnlPlayerDragDrop(TObject* Sender, TObject* Source, Integer, Integer) {
  // The deck whose panel holds the control that took the drop.
  TXPlayer* deck = nullptr;
  for (auto* c = dynamic_cast<TControl*>(static_cast<TObject*>(Sender)); c && !deck;
       c = c->Parent())
    if (c == pnlPlayer1)
      deck = &Deck1;
    else if (c == pnlPlayer2)
      deck = &Deck2;
  if (!deck) return;
  if (Source == ListFiles) {
    // With several entries selected, the first MP3 file among them: a folder, the way up
    // or the message is nothing a deck can play.
    if (TListItem* item = FirstSelectedMp3(ListFiles)) LoadEntry(*deck, item, false);
  } else if (Source == List1 || Source == List2) {
    if (TListItem* item = static_cast<TListView*>(Source)->Selected()) LoadEntry(*deck, item, true);
  }
}

void TfrmMain::ListDragDrop(TObject* Sender, TObject* Source, Integer, Integer) {
  auto* target = static_cast<TListView*>(Sender);
  if (Source == ListFiles) {
    for (Integer i = 0; i < ListFiles->Items()->Count(); ++i) {
      TListItem* item = ListFiles->Items()->Item(i);
      if (item->Selected() && item->ImageIndex() == ExplorerMp3)
        AddToPlayList(target, item->Caption(), BPMText(item), PathOf(item));
    }
  } else if ((Source == List1 || Source == List2) && Source != Sender) {
    if (TListItem* item = static_cast<TListView*>(Source)->Selected()) {
      AddToPlayList(target, item->Caption(), BPMText(item), PathOf(item));
      item->Delete();
    }
  }
}

void TfrmMain::ListDblClick(TObject* Sender) {
  auto* list = static_cast<TListView*>(Sender);
  TListItem* item = list->Selected();
  if (!item) return;
  TXPlayer& deck = list == List1 ? Deck1 : Deck2;
  if (!deck.Xaudio) return;
  LoadDeck(deck, PathOf(item), BPMText(item));
  deck.Xaudio->Play();
  // Loading may have let messages through; the entry goes only if it is still there.
  if (list->Items()->IndexOf(item) >= 0) item->Delete();
}

void TfrmMain::ListKeyDown(TObject* Sender, Word& Key, TShiftState Shift) {
  auto* list = static_cast<TListView*>(Sender);
  if (!list->Selected()) return;
  if (Key == KeyDelete) list->Selected()->Delete();
  if (TListItem* focused = list->ItemFocused()) list->SetSelected(focused);
  if (!(Shift == TShiftState{ssCtrl}) || list->SelCount() != 1) return;
  BPMOrder = 0;
  const Integer i = list->Selected()->Index();
  Integer j;
  if (Key == KeyArrowUp && i > 0)
    j = i - 1;
  else if (Key == KeyArrowDown && i < list->Items()->Count() - 1)
    j = i + 1;
  else
    return;
  TListItem* a = list->Items()->Item(i);
  TListItem* b = list->Items()->Item(j);
  list->Items()->BeginUpdate();
  const String caption = a->Caption();
  TStringList sub;
  sub.Assign(a->SubItems());
  a->SetCaption(b->Caption());
  a->SetSubItems(b->SubItems());
  b->SetCaption(caption);
  b->SetSubItems(&sub);
  list->Items()->EndUpdate();
  // The highlight goes with the song; the list's own Ctrl+arrow then brings the focus to
  // it, so the next Ctrl+arrow moves the same song again.
  a->SetSelected(false);
  b->SetSelected(true);
}

void TfrmMain::ListContextPopup(TObject* Sender, TPoint, bool&) {
  popPList->SetTag(static_cast<TComponent*>(Sender)->Tag());
}

void TfrmMain::SortPlayListByBPM(TListView* List) {
  BPMOrder = -1;
  List->AlphaSort();
}

void TfrmMain::btnListBPM1Click(TObject* Sender) {
  if (static_cast<TComponent*>(Sender)->Tag() == 2) {
    SortPlayListByBPM(List1);
  } else {
    BPMOrder = 0;
    List1->CustomSort(
        [](TListItem* a, TListItem* b, Integer) {
          return static_cast<Integer>(lstrcmpA(a->Caption().c_str(), b->Caption().c_str()));
        },
        0);
  }
}

void TfrmMain::btnListName2Click(TObject* Sender) {
  if (static_cast<TComponent*>(Sender)->Tag() == 2) {
    SortPlayListByBPM(List2);
  } else {
    BPMOrder = 0;
    List2->CustomSort(
        [](TListItem* a, TListItem* b, Integer) {
          return static_cast<Integer>(lstrcmpA(a->Caption().c_str(), b->Caption().c_str()));
        },
        0);
  }
}

void TfrmMain::btnListName1MouseUp(TObject*, TMouseButton, TShiftState, Integer, Integer) {
  if (List1->CanFocus()) List1->SetFocus();
}

void TfrmMain::List1InfoTip(TObject*, TListItem* Item, String& InfoTip) {
  InfoTip = Item->Caption() + "\n" + BPMText(Item);
}

void TfrmMain::PaintListRowBack(TListView* List, const TRect& Row, Integer Left, bool Selected,
                                Integer& Width0, Integer& Width1) {
  TCanvas* c = List->Canvas();
  Width0 = List->Columns()->Items(0)->Width();
  Width1 = List->Columns()->Items(1)->Width();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Selected ? SelectedBack : clBlack);
  c->Font()->SetColor(Selected ? SelectedText : Font()->Color());
  c->FillRect({Left, Row.Top, Width0 + Width1, Row.Bottom});
}

void TfrmMain::ListCustomDrawItem(TListView* Sender, TListItem* Item, TCustomDrawState State,
                                  bool& DefaultDraw) {
  DefaultDraw = false;
  TCanvas* c = Sender->Canvas();
  const TRect r = Item->DisplayRect(drLabel);
  Integer w0 = 0, w1 = 0;
  PaintListRowBack(Sender, r, r.Left, State.Contains(cdsSelected), w0, w1);
  c->Brush()->SetStyle(bsClear);
  c->TextRect({r.Left, r.Top, w0 - 2, r.Bottom}, r.Left + 1, r.Top, Item->Caption());
  c->TextRect({w0, r.Top, w0 + w1, r.Bottom}, w0 + 2, r.Top, BPMText(Item));
  c->Brush()->SetStyle(bsSolid);
}

void TfrmMain::popSplitClick(TObject*) {
  std::vector<TPoolEntry> pool;
  for (Integer i = 0; i < ListFiles->Items()->Count(); ++i) {
    TListItem* item = ListFiles->Items()->Item(i);
    if (item->ImageIndex() == ExplorerMp3)
      pool.push_back({item->Caption(), BPMText(item), PathOf(item)});
  }
  List1->Items()->BeginUpdate();
  List2->Items()->BeginUpdate();
  const Integer n = static_cast<Integer>(pool.size());
  for (Integer i = 0; i < n; ++i) {
    SplitSeed = GetTickCount();
    const Integer r = RandomBelow(n);
    // An empty entry goes in at r and takes the entry now at i, which then leaves.
    pool.insert(pool.begin() + r, TPoolEntry{});
    pool[static_cast<std::size_t>(r)] = pool[static_cast<std::size_t>(i)];
    pool.erase(pool.begin() + i);
  }
  for (Integer k = 0; k < n; ++k) {
    const TPoolEntry& e = pool[static_cast<std::size_t>(k)];
    AddToPlayList(k % 2 == 0 ? List2 : List1, e.Caption, e.BPM, e.Path);
  }
  List2->Items()->EndUpdate();
  List1->Items()->EndUpdate();
}

void TfrmMain::popPPlayerClick(TObject* Sender) {
  TListItem* item = PopupList()->Selected();
  if (!item) return;
  LoadEntry(static_cast<TComponent*>(Sender)->Tag() == 0 ? Deck1 : Deck2, item, true);
}

void TfrmMain::popPBPMClick(TObject*) {
  TListItem* item = PopupList()->Selected();
  if (!item) return;
  String value = BPMText(item);
  if (!InputQuery("", "BPM = ", value)) return;
  Extended number = 0;
  // The entry may have gone while the box was up.
  if (TryStrToFloat(value, number) && PopupList()->Items()->IndexOf(item) >= 0)
    item->SubItems()->SetStrings(0, value);
}

void TfrmMain::popListID3Click(TObject* Sender) {
  TListItem* item = nullptr;
  if (Sender == popListID3) {
    item = ListFiles->Selected();
    if (item && item->ImageIndex() != ExplorerMp3) item = nullptr;
  } else {
    item = PopupList()->Selected();
  }
  if (!item || !frmID3Tag) return;
  frmID3Tag->ShowFileInfo(PathOf(item));
}

void TfrmMain::popPLoadClick(TObject*) {
  if (!dlgOpen->Execute()) return;
  TListView* list = PopupList();
  TStringList paths;
  LoadPlaylistFile(dlgOpen->FileName(), paths);
  list->Items()->BeginUpdate();
  try {
    for (Integer i = 0; i < paths.Count(); ++i) {
      const String path = paths.Strings(i);
      AddToPlayList(list, PlaylistCaption(path), BPMOfFile(path), path);
    }
  } catch (...) {
    list->Items()->EndUpdate();
    throw;
  }
  list->Items()->EndUpdate();
}

void TfrmMain::popPSaveClick(TObject*) {
  if (!dlgSave->Execute()) return;
  TListView* list = PopupList();
  TStringList paths;
  String leftOut;
  for (Integer i = 0; i < list->Items()->Count(); ++i) {
    TListItem* item = list->Items()->Item(i);
    const String path = PathOf(item);
    // Such a path would read back as two lines, neither of them the file.
    if (path.find_first_of("\r\n") != String::npos)
      leftOut += "\n" + item->Caption();
    else
      paths.Add(path);
  }
  SaveLinesReplacing(paths, dlgSave->FileName());
  if (!leftOut.empty()) {
    const String text = "A playlist file cannot hold a path with a line break. Left out of " +
                        dlgSave->FileName() + ":" + leftOut;
    MessageBox(Handle(), text.c_str(), Application->Title().c_str(), MB_ICONWARNING | MB_OK);
  }
}

void TfrmMain::popLClearClick(TObject*) {
  PopupList()->Items()->Clear();
}

void TfrmMain::popPRemoveClick(TObject*) {
  TListView* list = PopupList();
  TListItem* item = list->Selected();
  if (!item) return;
  item->Delete();
  if (TListItem* focused = list->ItemFocused()) list->SetSelected(focused);
}
