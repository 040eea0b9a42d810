#include "player/uSplash.h"

#include "player/uSkin.h"

TfrmSplash* frmSplash = nullptr;
std::function<void(const String& Text, Integer Percent)> SplashProgressObserverForTesting;

TfrmSplash::TfrmSplash(TComponent* AOwner) : TForm(AOwner) {
  SetName("frmSplash");
  SetBorderStyle(bsNone);
  SetFormStyle(fsStayOnTop);
  SetPosition(poDesktopCenter);
  SetClientWidth(280);
  SetClientHeight(150);
  SetColor(clBlack);

  imgBack = new TImage(this);
  imgBack->SetName("imgBack");
  imgBack->SetParent(this);
  imgBack->SetBounds(0, 0, 280, 150);
  imgBack->SetAutoSize(true);
  LoadSkinPicture(imgBack, "KAZ_SPLASH");

  lblLoad1 = new TLabel(this);
  lblLoad1->SetName("lblLoad1");
  lblLoad1->SetParent(this);
  lblLoad1->SetBounds(41, 75, 0, 0);
  lblLoad1->SetParentFont(false);
  lblLoad1->Font()->SetName("Tahoma");
  lblLoad1->Font()->SetColor(0xFFE0C0);
  lblLoad1->SetTransparent(true);
  lblLoad1->SetCaption("Loading : ");

  lblLoad = new TLabel(this);
  lblLoad->SetName("lblLoad");
  lblLoad->SetParent(this);
  lblLoad->SetBounds(91, 75, 0, 0);
  lblLoad->SetParentFont(false);
  lblLoad->Font()->SetName("Tahoma");
  lblLoad->Font()->SetColor(clWhite);
  lblLoad->Font()->SetStyle({fsBold});
  lblLoad->SetTransparent(true);
  lblLoad->SetCaption("MainForm");

  prgBar = new TALProgressBar(this);
  prgBar->SetName("prgBar");
  prgBar->SetParent(this);
  prgBar->SetBounds(40, 95, 200, 20);
  prgBar->SetBarColor1(0x3F2601);
  prgBar->SetBarColor2(0xAA6804);
  prgBar->SetBarColorStyle(cs2Colors);
  prgBar->SetBorderColor1(0x764803);
  prgBar->SetBorderColor2(clBlack);
  prgBar->SetShowPosText(false);
  prgBar->Font()->SetName("Tahoma");
  prgBar->Font()->SetHeight(-11);
  prgBar->SetMin(0);
  prgBar->SetMax(100);
  prgBar->SetPosition(100);

  Timer = new TTimer(this);
  Timer->SetName("Timer");
  Timer->SetEnabled(false);
  Timer->SetInterval(1000);
  Timer->OnTimer = [this](TObject* Sender) { TimerTimer(Sender); };
}

TfrmSplash::~TfrmSplash() {
  if (frmSplash == this) frmSplash = nullptr;
}

void TfrmSplash::TimerTimer(TObject*) {
  Timer->SetEnabled(false);
  Close();
  // Nothing may reach the splash once it is on its way out.
  if (frmSplash == this) frmSplash = nullptr;
  Release();
}

void SplashProgress(const String& Text, Integer Percent) {
  if (frmSplash) {
    frmSplash->lblLoad->SetCaption(Text);
    frmSplash->prgBar->SetPosition(Percent);
    frmSplash->lblLoad->Repaint();
    frmSplash->prgBar->Repaint();
  }
  if (SplashProgressObserverForTesting) SplashProgressObserverForTesting(Text, Percent);
}
