// The light controller's link and the window's own handling: the two programs find each
// other through "KAZ_PRO.ini" and then only send each other messages. The light
// controller's window is put over the player's lower panel so that it looks docked, and
// follows the player's window while it is dragged.
#include "classlib/Dialogs.h"
#include "player/uMain.h"

namespace {

void SendToLights(UINT Msg, WPARAM WParam, LPARAM LParam) {
  // Whether anyone is there is never asked: with no light controller this reaches nothing.
  SendMessageA(LightWindow, Msg, WParam, LParam);
}

}  // namespace

void TfrmMain::BindLink() {
  SetMessageHandler(WM_LIGHTS_ATTACH, [this](TMessage& Message) { WMLightsAttach(Message); });
  // A close from outside the window (the window manager's close button, Alt+F4) asks as "X"
  // does: a slip of the hand must not end a set mid-play.
  SetMessageHandler(WM_CLOSE, [this](TMessage&) { btnCloseClick(btnClose); });

  btnSpots->OnClick = [this](TObject* Sender) { btnSpotsClick(Sender); };
  btnBrowse->OnClick = [this](TObject* Sender) { btnBrowseClick(Sender); };
  btnEQ->OnClick = [this](TObject* Sender) { btnEQClick(Sender); };
  btnAudio->OnClick = [this](TObject* Sender) { btnAudioClick(Sender); };
  btnSetup->OnClick = [this](TObject* Sender) { btnSetupClick(Sender); };
  btnMin->OnClick = [this](TObject* Sender) { btnMinClick(Sender); };
  btnClose->OnClick = [this](TObject* Sender) { btnCloseClick(Sender); };
  for (TImage* background : {imgBk, imgTitle}) {
    background->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                                     int Y) { imgBkMouseDown(Sender, Button, Shift, X, Y); };
    background->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
      imgBkMouseMove(Sender, Shift, X, Y);
    };
    background->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                                   int Y) { imgBkMouseUp(Sender, Button, Shift, X, Y); };
  }
}

void TfrmMain::WMLightsAttach(TMessage& Message) {
  LightWindow = static_cast<HWND>(Message.WParam);
}

void TfrmMain::SendLightsMove() {
  const Integer x = Left() + pnlBrowse->Left() + 110;
  const Integer y = Top() + pnlBrowse->Top() + 1;
  SendToLights(WM_LIGHTS_MOVE, static_cast<WPARAM>(static_cast<Cardinal>(x)),
               static_cast<LPARAM>(y));
}

void TfrmMain::btnSpotsClick(TObject*) {
  pnlSpots->BringToFront();
  SendToLights(WM_LIGHTS_SHOW, 1, 0);
  SendLightsMove();
  BringWindowToTop(LightWindow);
}

void TfrmMain::btnBrowseClick(TObject*) {
  pnlBrowse->BringToFront();
  SendToLights(WM_LIGHTS_SHOW, 0, 0);
}

void TfrmMain::btnEQClick(TObject*) {
  pnlEQ->BringToFront();
  SendToLights(WM_LIGHTS_SHOW, 0, 0);
}

void TfrmMain::btnAudioClick(TObject*) {
  pnlCD->BringToFront();
  SendToLights(WM_LIGHTS_SHOW, 0, 0);
}

void TfrmMain::btnSetupClick(TObject*) {
  pnlSetup->BringToFront();
  SendToLights(WM_LIGHTS_SHOW, 0, 0);
}

void TfrmMain::imgBkMouseDown(TObject*, TMouseButton Button, TShiftState, Integer X, Integer Y) {
  DragOrigin = {X, Y};
  if (Button == mbRight) {
    const TPoint at = Mouse->CursorPos();
    MainPop->Popup(at.x, at.y);
  }
}

void TfrmMain::imgBkMouseMove(TObject*, TShiftState Shift, Integer X, Integer Y) {
  // x = 0 marks "no drag": a press at the very left edge of the background starts none.
  if (!LeftAlone(Shift) || DragOrigin.x == 0) return;
  SetLeft(Left() + X - DragOrigin.x);
  SetTop(Top() + Y - DragOrigin.y);
  // The light controller's window follows, shown or not, so it is in place when shown.
  SendLightsMove();
}

void TfrmMain::imgBkMouseUp(TObject*, TMouseButton, TShiftState, Integer, Integer) {
  DragOrigin = {0, 0};
}

void TfrmMain::btnMinClick(TObject*) {
  Application->Minimize();
  SendToLights(WM_LIGHTS_SHOW, 0, 0);
}

void TfrmMain::btnCloseClick(TObject*) {
  if (MessageBoxA(Handle(), "Confirm Exit ?", "", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // From here on the engines' late reports find nothing to update.
  Closing = -1;
  Hide();
  Close();
}
