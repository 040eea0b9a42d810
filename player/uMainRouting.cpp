// Where the decks are heard: each on a sound card of its own, or both on the default card
// with its two sides used apart, one for the DJ's headphones and one for the main output.
// On that split the engine's balance chooses the side: 0 the headphones alone, 100 the
// main output alone, 50 both; channel mode 3 mixes a deck's own channels so that the
// balance alone decides where the whole deck goes.
#include "player/uMain.h"
#include "player/uControls.h"

Integer CardIndex1 = 0;
Integer CardIndex2 = 0;
Integer AlwaysHeadphones = 0;

namespace {

constexpr Integer HeadphoneSide = 0;
constexpr Integer BothSides = 50;
constexpr Integer MainSide = 100;
constexpr Integer SplitChannels = 3;
constexpr Integer StereoChannels = 0;

String DeviceName(Integer Index) {
  return "/dev/dsound/" + IntToStr(Index);
}

// The side of a deck that is not pre-listened: the main output, also in the headphones
// when the DJ asked for that.
Integer MainBalance() {
  return AlwaysHeadphones ? BothSides : MainSide;
}

}  // namespace

void TfrmMain::BuildRouting() {
  chk2SC = CreateControl<TCheckBox>(this, pnlSetup, "chk2SC", 16, 10, 300, 17);
  chk2SC->SetCaption("2 Sound Card output [ Mix w/ TurnTable ]");
  chk2SC->OnClick = [this](TObject* Sender) { chk2SCClick(Sender); };

  btnSC1 = CreateControl<TSpeedButton>(this, pnlSetup, "btnSC1", 34, 32, 112, 22);
  btnSC1->SetCaption("Sound Card #1 ->");
  btnSC2 = CreateControl<TSpeedButton>(this, pnlSetup, "btnSC2", 34, 58, 112, 22);
  btnSC2->SetCaption("Sound Card #2 ->");
  for (TSpeedButton* b : {btnSC1, btnSC2}) {
    b->SetFlat(true);
    b->SetEnabled(false);
    b->OnClick = [this](TObject* Sender) { btnSC1Click(Sender); };
  }
  lblSC1 = CreateControl<TLabel>(this, pnlSetup, "lblSC1", 154, 36, 0, 0);
  lblSC2 = CreateControl<TLabel>(this, pnlSetup, "lblSC2", 154, 62, 0, 0);
  for (TLabel* l : {lblSC1, lblSC2}) {
    l->SetTransparent(true);
    l->SetCaption("(Default)");
  }

  chkPreL = CreateControl<TCheckBox>(this, pnlSetup, "chkPreL", 16, 94, 320, 17);
  chkPreL->SetCaption("PreListening Mode [ with Vorn Corp. cable ]");
  chkPreL->OnClick = [this](TObject* Sender) { chkPreLClick(Sender); };
  chkASound = CreateControl<TCheckBox>(this, pnlSetup, "chkASound", 34, 116, 340, 17);
  chkASound->SetCaption("Always plays in headphones [ PreListening Mode ]");
  chkASound->OnClick = [this](TObject* Sender) { chkASoundClick(Sender); };
  for (TCheckBox* c : {chk2SC, chkPreL, chkASound}) c->SetColor(pnlSetup->Color());

  popSC = MakeMenu(this, "popSC");

  for (TSpeedButton* b : {btnPreL1, btnPreL2})
    b->OnClick = [this](TObject* Sender) { btnPreLClick(Sender); };
  Xaudio1->OnNotifyOutputDeviceInfo = [this](TObject* Sender, Byte ModuleID, Byte Index, Byte Flags,
                                             const String& Name, const String& Description) {
    Xaudio1NotifyOutputDeviceInfo(Sender, ModuleID, Index, Flags, Name, Description);
  };
}

void TfrmMain::Xaudio1NotifyOutputDeviceInfo(TObject*, Byte, Byte, Byte, const String& Name,
                                             const String& Description) {
  if (Name.find("dsound") == String::npos) return;
  const auto colon = Description.find(':');
  CardList->Add(colon == String::npos ? Description : Description.substr(colon + 1));
  // Only the first devices name a deck's card here; a card chosen further down the list
  // keeps the label the window was made with.
  const Integer c = CardList->Count();
  if (c < 1 || c > 3) return;
  if (CardIndex1 == c - 1) lblSC1->SetCaption(CardList->Strings(c - 1));
  if (CardIndex2 == c - 1) lblSC2->SetCaption(CardList->Strings(c - 1));
}

void TfrmMain::btnSC1Click(TObject* Sender) {
  const bool one = Sender == btnSC1;
  const Integer current = one ? CardIndex1 : CardIndex2;
  popSC->Items()->Clear();
  // The default device is what the decks share outside two-card mode: never offered.
  for (Integer i = 1; i < CardList->Count(); ++i) {
    auto* item = new TMenuItem(this);
    item->SetCaption(CardList->Strings(i));
    item->SetTag(i);
    item->SetRadioItem(true);
    item->SetGroupIndex(1);
    item->SetChecked(i == current);
    item->OnClick = [this](TObject* S) { SoundCardItemClick(S); };
    popSC->Items()->Add(item);
  }
  popSC->SetTag(one ? 0 : 1);
  const TPoint at = Mouse->CursorPos();
  popSC->Popup(at.x, at.y);
}

void TfrmMain::SoundCardItemClick(TObject* Sender) {
  const Integer index = static_cast<TMenuItem*>(Sender)->Tag();
  const bool one = popSC->Tag() == 0;
  (one ? CardIndex1 : CardIndex2) = index;
  (one ? lblSC1 : lblSC2)->SetCaption(CardList->Strings(index));
  chk2SCClick(chk2SC);
}

void TfrmMain::chk2SCClick(TObject*) {
  if (!chk2SC->Checked()) {
    btnSC1->SetEnabled(false);
    btnSC2->SetEnabled(false);
    if (!Deck1.Xaudio) return;
    Xaudio1->SetOutputName(DeviceName(0));
    Xaudio2->SetOutputName(DeviceName(0));
    return;
  }
  // The two modes exclude each other; leaving pre-listening puts both sides back together.
  if (chkPreL->Checked()) chkPreL->SetChecked(false);
  btnSC1->SetEnabled(true);
  btnSC2->SetEnabled(true);
  if (!Deck1.Xaudio) return;
  Xaudio1->SetOutputName(DeviceName(CardIndex1));
  Xaudio2->SetOutputName(DeviceName(CardIndex2));
}

void TfrmMain::chkPreLClick(TObject*) {
  Integer balance = BothSides;
  Integer channels = StereoChannels;
  if (chkPreL->Checked()) {
    if (chk2SC->Checked()) chk2SC->SetChecked(false);
    balance = MainBalance();
    channels = SplitChannels;
  }
  for (TSpeedButton* b : {btnPreL1, btnPreL2}) {
    b->SetVisible(chkPreL->Checked());
    // A deck cannot stay in the headphones alone once the mode is left (or entered anew):
    // its button goes off. Its level stays where the DJ has it.
    if (b->Tag() != 0) {
      b->SetTag(0);
      b->Font()->SetColor(Font()->Color());
    }
  }
  if (!Deck1.Xaudio) return;
  Xaudio1->SetOutputVolume(balance, -1, -1);
  Xaudio2->SetOutputVolume(balance, -1, -1);
  Xaudio1->SetOutputChannels(channels);
  Xaudio2->SetOutputChannels(channels);
}

void TfrmMain::chkASoundClick(TObject*) {
  AlwaysHeadphones = chkASound->Checked() ? -1 : 0;
  if (!chkPreL->Checked() || !Deck1.Xaudio) return;
  for (TXPlayer* d : {&Deck1, &Deck2})
    if (d->PreLButton->Tag() == 0) d->Xaudio->SetOutputVolume(MainBalance(), -1, -1);
}

void TfrmMain::btnPreLClick(TObject* Sender) {
  TXPlayer& d = Sender == btnPreL1 ? Deck1 : Deck2;
  if (!d.Xaudio) return;
  TSpeedButton* b = d.PreLButton;
  if (b->Tag() == 0) {
    b->Font()->SetColor(clRed);
    b->SetTag(1);
    d.Xaudio->SetOutputVolume(HeadphoneSide, -1, -1);
    SetDeckVolume(d, 100);
    PlaceVSlider(d.VolTrack, d.VolThumb, 0, 100, 0);
  } else {
    b->Font()->SetColor(Font()->Color());
    b->SetTag(0);
    SetDeckVolume(d, 0);
    d.Xaudio->SetOutputVolume(MainBalance(), -1, -1);
    PlaceVSlider(d.VolTrack, d.VolThumb, 100, 100, 0);
  }
}
