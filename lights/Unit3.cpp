#include "lights/Unit3.h"

#include <array>

#include "classlib/Dialogs.h"
#include "lights/Unit1.h"

TForm3* Form3 = nullptr;

namespace {

TLabel* MakeText(TComponent* Owner, TWinControl* Parent, Integer Left, Integer Top,
                 const char* Caption) {
  TLabel* l = new TLabel(Owner);
  l->SetParent(Parent);
  l->SetLeft(Left);
  l->SetTop(Top);
  l->SetCaption(Caption);
  l->SetTransparent(true);
  return l;
}

TSpeedButton* Button(TComponent* Owner, TWinControl* Parent, const char* Name, Integer Left,
                     Integer Top, Integer Width, const char* Caption) {
  TSpeedButton* b = CreateControl<TSpeedButton>(Owner, Parent, Name, Left, Top, Width, 22);
  b->SetCaption(Caption);
  b->SetFlat(true);
  return b;
}

}  // namespace

TForm3::TForm3(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form3");
  if (!Form3) Form3 = this;
  SetCaption("Setup");
  SetBorderStyle(bsToolWindow);
  SetPosition(poScreenCenter);
  SetColor(clBlack);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  Font()->SetColor(LitColor);
  SetVisible(false);
  SetWidth(322);
  SetHeight(245);

  SpeedButton3 = Button(this, this, "SpeedButton3", 8, 8, 88, "General");
  SpeedButton4 = Button(this, this, "SpeedButton4", 8, 34, 88, "Spots");
  SpeedButton5 = Button(this, this, "SpeedButton5", 8, 60, 88, "Pins");
  SpeedButton2 = Button(this, this, "SpeedButton2", 8, 86, 88, "Filter");
  SpeedButton1 = Button(this, this, "SpeedButton1", 8, 180, 88, "OK");
  SpeedButton3->OnClick = [this](TObject* S) { SpeedButton3Click(S); };
  SpeedButton4->OnClick = [this](TObject* S) { SpeedButton4Click(S); };
  SpeedButton5->OnClick = [this](TObject* S) { SpeedButton5Click(S); };
  SpeedButton2->OnClick = [this](TObject* S) { SpeedButton2Click(S); };
  SpeedButton1->OnClick = [this](TObject* S) { SpeedButton1Click(S); };

  BuildGeneralPage();
  BuildSpotsPage();
  BuildPinsPage();
  BuildFilterPage();
  GeneralPnl->Show();
  OnShow = [this](TObject* S) { FormShow(S); };
}

void TForm3::BuildGeneralPage() {
  GeneralPnl = MakePage("GeneralPnl", "General setup");
  SOTChk = CreateControl<TCheckBox>(this, GeneralPnl, "SOTChk", 8, 32, 180, 17);
  SOTChk->SetCaption("Stay on top");
  SOTChk->OnClick = [this](TObject* S) { SOTChkClick(S); };
  DockChk = CreateControl<TCheckBox>(this, GeneralPnl, "DockChk", 8, 54, 180, 17);
  DockChk->SetCaption("Allow dock ");
  DockChk->SetChecked(true);
  SOTChk->SetColor(clBlack);
  DockChk->SetColor(clBlack);
}

void TForm3::BuildSpotsPage() {
  Spotpnl = MakePage("Spotpnl", "Spots setup");
  MakeText(this, Spotpnl, 8, 34, "Flashs lenght (ms) :");
  FlashEdit = CreateControl<TEdit>(this, Spotpnl, "FlashEdit", 126, 30, 34, 21);
  FlashUpDwn = CreateControl<TUpDown>(this, Spotpnl, "FlashUpDwn", 160, 30, 15, 21);
  FlashUpDwn->SetMax(150);
  FlashUpDwn->SetMin(30);
  FlashUpDwn->SetPosition(100);
  FlashUpDwn->OnClick = [this](TObject* S, TUDBtnType B) { FlashUpDwnClick(S, B); };
  MakeText(this, Spotpnl, 8, 64, "Auxillary outs name (11 chars) :");
  AuxOut1 = CreateControl<TEdit>(this, Spotpnl, "AuxOut1", 8, 82, 100, 21);
  AuxOut2 = CreateControl<TEdit>(this, Spotpnl, "AuxOut2", 8, 108, 100, 21);
  AuxOut1->SetText("xxxxxxxxxxx");
  AuxOut2->SetText("xxxxxxxxxxx");
  SpeedButton6 = Button(this, Spotpnl, "SpeedButton6", 120, 94, 50, "Set");
  SpeedButton6->OnClick = [this](TObject* S) { SpeedButton6Click(S); };
}

// The 8-outs switch and the two steps of the pin wizard.
void TForm3::BuildPinsPage() {
  PinsPnl = MakePage("PinsPnl", "Pins allocation");
  Nouts = CreateControl<TCheckBox>(this, PinsPnl, "Nouts", 8, 30, 180, 17);
  Nouts->SetCaption("Enable 8 outs mode");
  Nouts->SetColor(clBlack);
  Nouts->OnClick = [this](TObject* S) { NoutsClick(S); };
  MakeText(this, PinsPnl, 8, 56, "Pin allocation wizard :");
  Step1Pnl = CreateControl<TPanel>(this, PinsPnl, "Step1Pnl", 8, 88, 185, 100);
  Step1Pnl->SetColor(clBlack);
  Step1Pnl->SetBevelOuter(bvLowered);
  MakeText(this, Step1Pnl, 6, 6, "1 - Select the pin to configure :");
  Edit1 = CreateControl<TEdit>(this, Step1Pnl, "Edit1", 6, 28, 30, 21);
  Edit1->SetText("1");
  UpDown1 = CreateControl<TUpDown>(this, Step1Pnl, "UpDown1", 36, 28, 15, 21);
  UpDown1->SetMax(8);
  UpDown1->SetMin(1);
  UpDown1->SetPosition(1);
  UpDown1->OnClick = [this](TObject* S, TUDBtnType B) { UpDown1Click(S, B); };
  SpeedButton8 = Button(this, Step1Pnl, "SpeedButton8", 110, 70, 68, "Next >");
  SpeedButton8->OnClick = [this](TObject* S) { SpeedButton8Click(S); };
  Step2Pnl = CreateControl<TPanel>(this, PinsPnl, "Step2Pnl", 8, 88, 185, 100);
  Step2Pnl->SetColor(clBlack);
  Step2Pnl->SetBevelOuter(bvLowered);
  Step2Pnl->SetVisible(false);
  MakeText(this, Step2Pnl, 6, 6, "2 - Select the enlighted spot :");
  Combo1 = CreateControl<TComboBox>(this, Step2Pnl, "Combo1", 6, 28, 170, 21);
  Combo1->SetStyle(csDropDownList);
  for (const char* s : {"Upper spot 1", "Medium spot 1", "Lower spot 1", "Auxillary 1",
                        "Upper spot 2", "Medium spot 2", "Lower spot 2", "Auxillary 2"})
    Combo1->Items()->Add(s);
  SpeedButton11 = Button(this, Step2Pnl, "SpeedButton11", 6, 70, 52, "< Prev");
  SpeedButton12 = Button(this, Step2Pnl, "SpeedButton12", 64, 70, 52, "Cancel");
  FinishBtn = Button(this, Step2Pnl, "FinishBtn", 122, 70, 56, "Finish");
  SpeedButton11->OnClick = [this](TObject* S) { SpeedButton11Click(S); };
  SpeedButton12->OnClick = [this](TObject* S) { SpeedButton12Click(S); };
  FinishBtn->OnClick = [this](TObject* S) { FinishBtnClick(S); };
}

void TForm3::BuildFilterPage() {
  FilterPnl = MakePage("FilterPnl", "Filter setup");
  MakeText(this, FilterPnl, 8, 34, "Ignore booms within :");
  IgnEdit = CreateControl<TEdit>(this, FilterPnl, "IgnEdit", 8, 52, 40, 21);
  UpDown2 = CreateControl<TUpDown>(this, FilterPnl, "UpDown2", 48, 52, 15, 21);
  UpDown2->SetMax(500);
  UpDown2->SetMin(50);
  UpDown2->SetIncrement(10);
  UpDown2->SetPosition(200);
  UpDown2->OnClick = [this](TObject* S, TUDBtnType B) { UpDown2Click(S, B); };
  MakeText(this, FilterPnl, 70, 56, "ms after a boom.");
  Label11 = MakeText(this, FilterPnl, 8, 82, "For Bpms < ");
  Label11->SetName("Label11");
  MakeText(this, FilterPnl, 8, 112, "Ignored booms : ");
  ActivityLbl = MakeText(this, FilterPnl, 104, 112, "0000");
  ActivityLbl->SetName("ActivityLbl");
  SpeedButton7 = Button(this, FilterPnl, "SpeedButton7", 8, 136, 60, "Reset");
  SpeedButton7->OnClick = [this](TObject* S) { SpeedButton7Click(S); };
}

TForm3::~TForm3() {
  if (Form3 == this) Form3 = nullptr;
}

TPanel* TForm3::MakePage(const char* Name, const char* Title) {
  TPanel* page = CreateControl<TPanel>(this, this, Name, 104, 8, 201, 201);
  page->SetColor(clBlack);
  page->SetBevelOuter(bvLowered);
  page->SetVisible(false);
  TLabel* title = MakeText(this, page, 8, 6, Title);
  title->Font()->SetStyle(TFontStyles{fsBold});
  return page;
}

void TForm3::FormShow(TObject* Sender) {
  (void)Sender;
  const Integer flash = Form1->CutoffTimer->Interval();
  FlashEdit->SetText(IntToStr(flash));
  FlashUpDwn->SetPosition(flash);
  AuxOut1->SetText(Form1->Radio9->Caption());
  AuxOut2->SetText(Form1->Radio8->Caption());
  const Integer filter = Form1->FilterTimer->Interval();
  IgnEdit->SetText(IntToStr(filter));
  UpDown2->SetPosition(filter);
  Label11->SetCaption("For Bpms < " + IntToStr(60000 / UpDown2->Position()));
  SetHeight(245);
  SetWidth(322);
  for (TPanel* page : {GeneralPnl, Spotpnl, PinsPnl, FilterPnl}) {
    page->SetLeft(104);
    page->SetTop(8);
  }
  PinsPnl->SetWidth(201);
  PinsPnl->SetHeight(201);
  Step2Pnl->SetLeft(8);
  Step2Pnl->SetTop(88);
}

void TForm3::ShowPage(TPanel* Page) {
  for (TPanel* p : {GeneralPnl, Spotpnl, PinsPnl, FilterPnl}) p->SetVisible(p == Page);
}

void TForm3::SpeedButton3Click(TObject* Sender) {
  (void)Sender;
  ShowPage(GeneralPnl);
}

void TForm3::SpeedButton4Click(TObject* Sender) {
  (void)Sender;
  ShowPage(Spotpnl);
}

void TForm3::SpeedButton5Click(TObject* Sender) {
  (void)Sender;
  ShowPage(PinsPnl);
  Step1Pnl->Show();
  // Channel 1 alone, so the user sees which lamp pin 1 drives.
  Form1->WriteLamps(128);
}

void TForm3::SpeedButton2Click(TObject* Sender) {
  (void)Sender;
  ShowPage(FilterPnl);
}

void TForm3::SpeedButton1Click(TObject* Sender) {
  (void)Sender;
  Hide();
}

void TForm3::SOTChkClick(TObject* Sender) {
  (void)Sender;
  Form1->SetFormStyle(SOTChk->Checked() ? fsStayOnTop : fsNormal);
}

void TForm3::FlashUpDwnClick(TObject* Sender, TUDBtnType Button) {
  (void)Sender;
  (void)Button;
  FlashEdit->SetText(IntToStr(FlashUpDwn->Position()));
  Form1->CutoffTimer->SetInterval(static_cast<Word>(FlashUpDwn->Position()));
}

void TForm3::SpeedButton6Click(TObject* Sender) {
  (void)Sender;
  AuxOut1->SetText(AuxOut1->Text().substr(0, 11));
  AuxOut2->SetText(AuxOut2->Text().substr(0, 11));
  Form1->Radio9->SetCaption(AuxOut1->Text());
  Form1->Radio8->SetCaption(AuxOut2->Text());
}

void TForm3::NoutsClick(TObject* Sender) {
  (void)Sender;
  Form1->Radio8->SetVisible(Nouts->Checked());
}

void TForm3::UpDown1Click(TObject* Sender, TUDBtnType Button) {
  (void)Sender;
  (void)Button;
  const Integer pin = UpDown1->Position();
  Edit1->SetText(IntToStr(pin));
  Form1->WriteLamps(0);
  if (pin >= 1 && pin <= 8) Form1->WriteLamps(static_cast<Byte>(128u >> (pin - 1)));
}

void TForm3::SpeedButton8Click(TObject* Sender) {
  (void)Sender;
  if (Form1->CheckBox1->Checked()) {
    ShowMessage("Spots configuration needs power off");
    return;
  }
  Step1Pnl->Hide();
  Step2Pnl->SetLeft(Step1Pnl->Left());
  Step2Pnl->SetTop(Step1Pnl->Top());
  Step2Pnl->Show();
}

void TForm3::ShowStep1() {
  Step2Pnl->Hide();
  Step1Pnl->Show();
}

void TForm3::SpeedButton11Click(TObject* Sender) {
  (void)Sender;
  ShowStep1();
}

void TForm3::SpeedButton12Click(TObject* Sender) {
  (void)Sender;
  ShowStep1();
}

void TForm3::FinishBtnClick(TObject* Sender) {
  (void)Sender;
  const Integer chosen = Combo1->ItemIndex();
  if (chosen < 0) return;
  std::array<Integer, 9> channel{};
  for (Integer p = 1; p <= 8; ++p) channel[p] = StrToIntDef(Form1->PositionPanel(p)->Caption(), 0);
  const Integer sel = chosen + 1;
  const Integer old = channel[sel];
  const Integer pin = UpDown1->Position();
  Integer j = 0;
  for (Integer p = 1; p <= 8; ++p)
    if (channel[p] == pin) j = p;
  // The two positions swap channels, so the eight stay a permutation.
  channel[sel] = pin;
  if (j != 0) channel[j] = old;
  for (Integer p = 1; p <= 8; ++p) {
    Form1->PositionPanel(p)->SetCaption(IntToStr(channel[p]));
    if (TPanel* mirror = Form1->MirrorPanel(p)) mirror->SetCaption(IntToStr(channel[p]));
  }
  ShowStep1();
}

void TForm3::UpDown2Click(TObject* Sender, TUDBtnType Button) {
  (void)Sender;
  (void)Button;
  const Integer ms = UpDown2->Position();
  IgnEdit->SetText(IntToStr(ms));
  Form1->FilterTimer->SetInterval(static_cast<Word>(ms));
  Label11->SetCaption("For Bpms < " + IntToStr(60000 / ms));
  BeatFilterBusy = false;
}

void TForm3::SpeedButton7Click(TObject* Sender) {
  (void)Sender;
  ActivityLbl->SetCaption("0000");
}
