#include "player/uAbout.h"

#include "player/uControls.h"
#include "player/uSkin.h"
#include "win32/Shell.h"

TfrmAbout* frmAbout = nullptr;
String UpdateServer = "www.kazpro.example";
const char* const LocalVersion = "0.8.2.0";

namespace {

constexpr const char* kUpdatePath = "/vorncorp/phtml/update.txt";
constexpr const char* kMailTarget = "mailto:kaz@kazpro.example";
constexpr const char* kWebTarget = "http://www.kazpro.example/";
constexpr TColor kMemoColor = 0x402010;  // dark blue
constexpr TColor kTextColor = 0xFF8080;

const char* const kCredits =
    "KAZ Player v2.0 PRO\r\n"
    "\r\n"
    "Two decks, tempo matching, cross-fades\r\n"
    "by hand or automatic, and beats for\r\n"
    "the lights.\r\n"
    "\r\n"
    "Programming and skin: the KAZ team.\r\n"
    "MPEG audio decoding, speed and output\r\n"
    "through the engine library.\r\n"
    "\r\n"
    "Thanks to every DJ who tried the early\r\n"
    "versions on a real night.\r\n";

const char* const kVersions =
    "0.8.2 - playlists that auto-mix takes\r\n"
    "        its next title from\r\n"
    "0.8.0 - level graph with beat detection,\r\n"
    "        link to Beam FX\r\n"
    "0.7.0 - equalizer and VU meters\r\n"
    "0.6.0 - pre-listening on a second card\r\n"
    "0.5.0 - two decks and the cross-fader";

// The box's buttons: flat, 20 pixels high.
TSpeedButton* MakeAboutButton(TfrmAbout* Owner, const String& Name, Integer Left, Integer Top,
                              Integer Width, const String& Caption) {
  return MakeButton(Owner, Owner, Name, Left, Top, Width, 20, Caption);
}

TImage* MakeLink(TfrmAbout* Owner, const String& Name, Integer Left, const String& Skin) {
  TImage* i = MakePicture(Owner, Owner, Name, Left, 224, Skin);
  i->SetCursor(crHandPoint);
  return i;
}

}  // namespace

TfrmAbout::TfrmAbout(TComponent* AOwner) : TForm(AOwner) {
  SetName("frmAbout");
  SetBorderStyle(bsNone);
  SetPosition(poMainFormCenter);
  SetCaption("A propos de KAZ Player");
  SetClientWidth(300);
  SetClientHeight(250);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);
  Font()->SetColor(kTextColor);

  imgBack = CreateControl<TImage>(this, this, "imgBack", 0, 0, 300, 250);
  LoadSkinPicture(imgBack, "ABOUT_BACK");

  btnOk = MakeAboutButton(this, "btnOk", 274, 6, 20, "X");
  btnOk->OnClick = [this](TObject* S) { btnOkClick(S); };

  txtCredits = MakePage(pnlCredits, "Credits", kCredits);
  txtVersions = MakePage(pnlVersions, "Versions", kVersions);
  txtUpdate = MakePage(pnlUpdate, "Update", "");
  pnlCredits->BringToFront();

  btnCredits = MakeAboutButton(this, "btnCredits", 11, 198, 80, "CREDITS");
  btnCredits->OnClick = [this](TObject* S) { btnCreditsClick(S); };
  btnVersions = MakeAboutButton(this, "btnVersions", 96, 198, 80, "VERSIONS");
  btnVersions->OnClick = [this](TObject* S) { btnVersionsClick(S); };
  btnUpdate = MakeAboutButton(this, "btnUpdate", 181, 198, 107, "CHECK UPDATE");
  btnUpdate->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X,
                                  Integer Y) { btnUpdateMouseDown(S, B, Sh, X, Y); };
  btnUpdate->OnMouseUp = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X,
                                Integer Y) { btnUpdateMouseUp(S, B, Sh, X, Y); };

  imgMail = MakeLink(this, "imgMail", 240, "ABOUT_MAIL");
  imgMail->OnClick = [this](TObject* S) { imgMailClick(S); };
  imgURL = MakeLink(this, "imgURL", 272, "ABOUT_WEB");
  imgURL->OnClick = [this](TObject* S) { imgURLClick(S); };

  Http = new THttpClient(this);
  Http->SetName("Http");
  Http->Request.Accept = "text/html, */*";
  Http->Request.UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
}

TfrmAbout::~TfrmAbout() {
  if (frmAbout == this) frmAbout = nullptr;
}

TMemo* TfrmAbout::MakePage(TPanel*& Panel, const String& Name, const String& Text) {
  Panel = CreateControl<TPanel>(this, this, "pnl" + Name, 11, 38, 277, 154);
  Panel->SetCaption("");
  Panel->SetBevelOuter(bvNone);
  auto* memo = CreateControl<TMemo>(this, Panel, "txt" + Name, 0, 0, 277, 154);
  memo->SetAlign(alClient);
  memo->SetReadOnly(true);
  memo->SetScrollBars(ssVertical);
  memo->SetColor(kMemoColor);
  memo->SetText(Text);
  return memo;
}

void TfrmAbout::btnOkClick(TObject*) {
  Close();
}

void TfrmAbout::btnCreditsClick(TObject*) {
  pnlCredits->BringToFront();
}

void TfrmAbout::btnVersionsClick(TObject*) {
  pnlVersions->BringToFront();
}

void TfrmAbout::btnUpdateMouseDown(TObject*, TMouseButton, TShiftState, Integer, Integer) {
  txtUpdate->SetText("Checking ...");
  pnlUpdate->BringToFront();
}

void TfrmAbout::btnUpdateMouseUp(TObject*, TMouseButton, TShiftState, Integer, Integer) {
  txtUpdate->SetText(Http->Get("http://" + UpdateServer + kUpdatePath));
  // The version follows the answer directly: an answer that ends its line puts it on a
  // line of its own.
  txtUpdate->SetText(txtUpdate->Text() + LocalVersion);
}

void TfrmAbout::imgMailClick(TObject*) {
  ShellExecuteA(Handle(), "open", kMailTarget, nullptr, nullptr, SW_SHOWNORMAL);
}

void TfrmAbout::imgURLClick(TObject*) {
  ShellExecuteA(Handle(), "open", kWebTarget, nullptr, nullptr, SW_SHOWNORMAL);
}
