// The main window's ways into the about box: the title picture and the two items of the
// background's menu.
#include "player/uAbout.h"
#include "player/uMain.h"

void TfrmMain::BindAbout() {
  imgTitle->OnDblClick = [this](TObject* Sender) { imgTitleDblClick(Sender); };
  popAbout->OnClick = [this](TObject* Sender) { imgTitleDblClick(Sender); };
  popUpdate->OnClick = [this](TObject* Sender) { popUpdateClick(Sender); };
}

void TfrmMain::imgTitleDblClick(TObject*) {
  if (!frmAbout) return;
  frmAbout->pnlCredits->BringToFront();
  frmAbout->ShowModal();
}

void TfrmMain::popUpdateClick(TObject*) {
  if (!frmAbout) return;
  frmAbout->pnlUpdate->BringToFront();
  // Down, then up: the answer is in before the box shows; without one the box stays shut
  // and the error report tells why.
  frmAbout->btnUpdateMouseDown(frmAbout->btnUpdate, mbLeft, {ssLeft}, 0, 0);
  frmAbout->btnUpdateMouseUp(frmAbout->btnUpdate, mbLeft, {}, 0, 0);
  frmAbout->ShowModal();
}
