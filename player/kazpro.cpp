// The player program: splash, main window, ID3 dialog and about box, then the message loop
// until the main window closes.
#include "classlib/Forms.h"
#include "player/uAbout.h"
#include "player/uID3Tag.h"
#include "player/uMain.h"
#include "player/uSkin.h"
#include "player/uSplash.h"
#include "widgets/RXConst.h"

int main() {
  Application->Initialize();
  // The skin's pictures and the widget kit's cursors are in place before any window.
  RegisterSkinPictures();
  InstallRxCursors();
  Application->SetTitle("KAZ v2.0 PRO");

  frmSplash = new TfrmSplash(Application);
  frmSplash->AfterConstruction();
  frmSplash->Show();
  frmSplash->lblLoad->SetCaption("Loading Application ...");
  frmSplash->prgBar->SetPosition(10);
  frmSplash->Repaint();

  Application->CreateForm(frmMain);
  Application->CreateForm(frmID3Tag);
  Application->CreateForm(frmAbout);
  Application->Run();
  return 0;
}
