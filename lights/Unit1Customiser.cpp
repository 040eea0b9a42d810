// The Customiser: building a light program entry by entry, and saving it to and loading
// it from ".bfx" files. The step plays it while "Custom" is chosen.
#include "lights/Unit1.h"

#include <memory>

void TForm1::BuildCustomiser() {
  Customizer = CreateControl<TGroupBox>(this, MainBevel, "Customizer", 4, 168, 418, 172);
  Customizer->SetCaption(" Customiser ");
  Customizer->SetColor(clBlack);

  CommandsPanel = CreateControl<TPanel>(this, Customizer, "CommandsPanel", 8, 18, 150, 96);
  CommandsPanel->SetBevelOuter(bvLowered);
  CommandsPanel->SetColor(clBlack);
  Label1 = CreateControl<TLabel>(this, CommandsPanel, "Label1", 8, 25, 36, 13);
  Label1->SetCaption("Spots :");
  Label1->SetTransparent(true);
  Panel1 = CreateControl<TPanel>(this, CommandsPanel, "Panel1", 50, 6, 25, 17);
  Panel2 = CreateControl<TPanel>(this, CommandsPanel, "Panel2", 50, 25, 25, 17);
  Panel3 = CreateControl<TPanel>(this, CommandsPanel, "Panel3", 50, 44, 25, 17);
  for (TPanel* p : {Panel1, Panel2, Panel3}) {
    p->SetColor(UnlitColor);
    p->SetBevelOuter(bvLowered);
  }
  Panel1->OnClick = [this](TObject* S) { Panel1Click(S); };
  Panel2->OnClick = [this](TObject* S) { Panel2Click(S); };
  Panel3->OnClick = [this](TObject* S) { Panel3Click(S); };
  SpeedButton1 = CreateControl<TSpeedButton>(this, CommandsPanel, "SpeedButton1", 90, 23, 50, 20);
  SpeedButton1->SetCaption("Set");
  SpeedButton1->SetFlat(true);
  SpeedButton1->SetHint("Add command line to list");
  SpeedButton1->SetShowHint(true);
  SpeedButton1->OnClick = [this](TObject* S) { SpeedButton1Click(S); };

  Label2 = CreateControl<TLabel>(this, CommandsPanel, "Label2", 8, 71, 36, 13);
  Label2->SetCaption("Bpm :");
  Label2->SetTransparent(true);
  Edit1 = CreateControl<TEdit>(this, CommandsPanel, "Edit1", 44, 67, 30, 21);
  Edit1->SetText("120");
  UpDown1 = CreateControl<TUpDown>(this, CommandsPanel, "UpDown1", 74, 67, 15, 21);
  UpDown1->SetMax(600);
  UpDown1->SetMin(40);
  UpDown1->SetPosition(120);
  UpDown1->OnClick = [this](TObject* S, TUDBtnType B) { UpDown1Click(S, B); };
  SpeedButton3 = CreateControl<TSpeedButton>(this, CommandsPanel, "SpeedButton3", 90, 67, 50, 20);
  SpeedButton3->SetCaption("Set");
  SpeedButton3->SetFlat(true);
  SpeedButton3->OnClick = [this](TObject* S) { SpeedButton3Click(S); };

  ListView1 = CreateControl<TListView>(this, Customizer, "ListView1", 166, 18, 160, 146);
  ListView1->SetViewStyle(vsReport);
  ListView1->SetColor(clBlack);
  ListView1->SetReadOnly(true);
  ListView1->SetColumnClick(false);
  ListView1->SetHideSelection(false);
  TListColumn* instruction = ListView1->Columns()->Add();
  instruction->SetCaption("Instruction");
  instruction->SetWidth(65);
  TListColumn* code = ListView1->Columns()->Add();
  code->SetCaption("Code");
  code->SetWidth(37);

  auto button = [this](const char* Name, Integer Top, const char* Caption) {
    TSpeedButton* b = CreateControl<TSpeedButton>(this, Customizer, Name, 334, Top, 74, 22);
    b->SetCaption(Caption);
    b->SetFlat(true);
    return b;
  };
  SpeedButton5 = button("SpeedButton5", 18, "^");
  SpeedButton7 = button("SpeedButton7", 46, "Del");
  SpeedButton9 = button("SpeedButton9", 74, "Clear");
  SpeedButton10 = button("SpeedButton10", 112, "Load");
  SpeedButton11 = button("SpeedButton11", 140, "Save");
  SpeedButton5->OnClick = [this](TObject* S) { SpeedButton5Click(S); };
  SpeedButton7->OnClick = [this](TObject* S) { speedbutton2Click(S); };
  SpeedButton9->OnClick = [this](TObject* S) { SpeedButton4Click(S); };
  SpeedButton10->OnClick = [this](TObject* S) { loadBtnClick(S); };
  SpeedButton11->OnClick = [this](TObject* S) { SaveBtnClick(S); };
}

void TForm1::TogglePair(TPanel* Panel, Integer Bit) {
  const bool on = Panel->Color() == UnlitColor;
  Panel->SetColor(on ? LitColor : UnlitColor);
  CommandBits[Bit] = on;
}

void TForm1::Panel1Click(TObject* Sender) {
  (void)Sender;
  TogglePair(Panel1, 0);
}

void TForm1::Panel2Click(TObject* Sender) {
  (void)Sender;
  TogglePair(Panel2, 1);
}

void TForm1::Panel3Click(TObject* Sender) {
  (void)Sender;
  TogglePair(Panel3, 2);
}

void TForm1::AppendEntry(const String& Caption, const String& Code) {
  TListItem* item = ListView1->Items()->Add();
  item->SetCaption(Caption);
  item->SubItems()->Add(Code);
}

void TForm1::SpeedButton1Click(TObject* Sender) {
  (void)Sender;
  const Integer code =
      (CommandBits[0] ? 4 : 0) + (CommandBits[1] ? 2 : 0) + (CommandBits[2] ? 1 : 0);
  AppendEntry(PatternCaption(code), IntToStr(code));
}

void TForm1::SpeedButton3Click(TObject* Sender) {
  (void)Sender;
  AppendEntry(TempoCaption, Edit1->Text());
}

void TForm1::UpDown1Click(TObject* Sender, TUDBtnType Button) {
  (void)Sender;
  (void)Button;
  Edit1->SetText(IntToStr(UpDown1->Position()));
}

void TForm1::speedbutton2Click(TObject* Sender) {
  (void)Sender;
  TListItem* selected = ListView1->Selected();
  if (!selected) return;
  const Integer index = selected->Index();
  ListView1->Items()->Delete(index);
  const Integer count = ListView1->Items()->Count();
  if (count == 0) {
    Radio1->SetChecked(true);
    return;
  }
  // The first entry has none before it: the new first one is selected then.
  ListView1->SetSelected(ListView1->Items()->Item(index > 0 ? index - 1 : 0));
}

void TForm1::SpeedButton4Click(TObject* Sender) {
  (void)Sender;
  ListView1->Items()->Clear();
}

void TForm1::SaveBtnClick(TObject* Sender) {
  (void)Sender;
  TListItems* items = ListView1->Items();
  if (items->Count() == 0) return;
  if (!SaveDialog1->Execute()) return;
  TStringList lines;
  for (Integer i = 0; i < items->Count(); ++i) {
    TStrings* sub = items->Item(i)->SubItems();
    lines.Add(sub->Count() > 0 ? sub->Strings(0) : String());
  }
  lines.SaveToFile(SaveDialog1->FileName());
}

void TForm1::loadBtnClick(TObject* Sender) {
  (void)Sender;
  if (!OpenDialog1->Execute()) return;
  // Read first: a file that cannot be read leaves the list as it was.
  TStringList lines;
  lines.LoadFromFile(OpenDialog1->FileName());
  std::vector<String> text;
  text.reserve(static_cast<std::size_t>(lines.Count()));
  for (Integer i = 0; i < lines.Count(); ++i) text.push_back(lines.Strings(i));
  bool invalid = false;
  const std::vector<TBfxEntry> entries = ReadBfxLines(text, invalid);

  TListItems* items = ListView1->Items();
  items->BeginUpdate();
  items->Clear();
  for (const TBfxEntry& e : entries) AppendEntry(e.Caption, e.Code);
  items->EndUpdate();
  if (invalid) Application->MessageBox("Invalid commands detected", "Errors in file", MB_OKCANCEL);
}

void TForm1::SpeedButton5Click(TObject* Sender) {
  (void)Sender;
  Customiser1->SetChecked(false);
  SetClientHeight(150);
}

void TForm1::Customiser1Click(TObject* Sender) {
  (void)Sender;
  if (Customiser1->Checked()) {
    Customiser1->SetChecked(false);
    SetClientHeight(150);
  } else {
    Customiser1->SetChecked(true);
    SetClientHeight(345);
  }
}

void TForm1::Radio7Click(TObject* Sender) {
  (void)Sender;
  SetClientHeight(345);
  Customiser1->SetChecked(true);
  if (ListView1->Items()->Count() == 0) Radio1->SetChecked(true);
}
