#include "lights/Unit2.h"

#include "lights/Unit1.h"

TForm2* Form2 = nullptr;

namespace {

TLabel* MakeLabel(TForm2* Owner, const char* Name, Integer Left, Integer Top, const char* Text) {
  TLabel* l = new TLabel(Owner);
  l->SetName(Name);
  l->SetParent(Owner);
  l->SetLeft(Left);
  l->SetTop(Top);
  l->SetCaption(Text);
  l->SetTransparent(true);
  return l;
}

}  // namespace

TForm2::TForm2(TComponent* AOwner) : TForm(AOwner) {
  SetName("Form2");
  if (!Form2) Form2 = this;
  SetCaption("About Beam FX Plugin");
  SetBorderStyle(bsToolWindow);
  SetPosition(poScreenCenter);
  SetColor(clBlack);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  Font()->SetColor(LitColor);
  SetClientWidth(300);
  SetClientHeight(170);
  SetVisible(false);

  Logo1 = new TPaintBox(this);
  Logo1->SetName("Logo1");
  Logo1->SetParent(this);
  Logo1->SetBounds(8, 8, 64, 64);
  Logo1->OnPaint = [this](TObject* S) { PaintLampLogo(S); };
  Logo2 = new TPaintBox(this);
  Logo2->SetName("Logo2");
  Logo2->SetParent(this);
  Logo2->SetBounds(84, 8, 208, 64);
  Logo2->OnPaint = [this](TObject* S) { PaintBeamLogo(S); };

  Label1 = MakeLabel(this, "Label1", 8, 84, "Designed for :");
  Label1->Font()->SetStyle(TFontStyles{fsBold});
  Label2 = MakeLabel(this, "Label2", 16, 102,
                     "eight lamps or relays on the data lines of a parallel port,");
  Label3 = MakeLabel(this, "Label3", 16, 118, "one lamp per line, switched through a driver");
  Label4 = MakeLabel(this, "Label4", 16, 134, "board; the player's beats step the lamps.");
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::PaintLampLogo(TObject* Sender) {
  (void)Sender;
  TCanvas* c = Logo1->Canvas();
  c->Brush()->SetColor(clBlack);
  c->FillRect(TRect{0, 0, 64, 64});
  c->Brush()->SetColor(LitColor);
  c->Pen()->SetColor(LitColor);
  c->Ellipse(TRect{16, 8, 48, 40});
  c->FillRect(TRect{26, 40, 38, 56});
}

void TForm2::PaintBeamLogo(TObject* Sender) {
  (void)Sender;
  TCanvas* c = Logo2->Canvas();
  c->Brush()->SetColor(clBlack);
  c->FillRect(TRect{0, 0, 208, 64});
  c->Font()->SetName("Tahoma");
  c->Font()->SetHeight(-32);
  c->Font()->SetStyle(TFontStyles{fsBold});
  c->Font()->SetColor(LitColor);
  c->TextOut(8, 12, "Beam FX");
}
