// The lamps: the step that advances the chosen chase pattern or the custom list, paints
// the panels and writes the port byte; the flash end; "Reverse"; and the stroboscope
// radios held with the right button.
#include "lights/Unit1.h"

namespace {

enum : unsigned { kLower = 1, kMedium = 2, kUpper = 4 };

// Each chase pattern: the counter value at which it wraps back to 1, and the pairs lit at
// counter values 1 to wrap - 1.
struct TChase {
  Integer Wrap;
  unsigned Rows[6];
};
constexpr TChase kRotate{4, {kLower, kMedium, kUpper}};
constexpr TChase kPyramid{
    7, {kLower, kMedium | kLower, kUpper | kMedium | kLower, kMedium | kLower, kLower, 0}};
constexpr TChase kK2000{
    7, {kLower, kMedium | kLower, kUpper | kMedium, kUpper, kUpper | kMedium, kMedium | kLower}};
constexpr TChase kUpAndDown{5, {kLower, kMedium, kUpper, kMedium}};
constexpr TChase kRollercoaster{
    7, {kLower, kMedium | kLower, kUpper | kMedium | kLower, kUpper | kMedium, kUpper, 0}};

unsigned StepChase(const TChase& Chase) {
  StepCounter = StepCounter + 1;
  // A counter left high by another pattern wraps too.
  if (StepCounter >= Chase.Wrap || StepCounter < 1) StepCounter = 1;
  return Chase.Rows[StepCounter - 1];
}

// The caption's channel number, or 0 when it is none.
Integer ChannelOf(TPanel* Panel) {
  Integer c = 0;
  if (!TryStrToInt(Panel->Caption(), c) || c < 1 || c > 8) return 0;
  return c;
}

// A code text of the list as a number; text that is not a decimal integer lights nothing.
Integer CodeOf(const String& Text) {
  Integer v = 0;
  return ParseBfxInteger(Text, v) ? v : -1;
}

}  // namespace

Byte PortByteOf(const std::array<bool, 9>& AChannels) {
  unsigned b = 0;
  for (Integer c = 1; c <= 8; ++c)
    if (AChannels[c]) b |= 128u >> (c - 1);
  return static_cast<Byte>(b);
}

TPanel* TForm1::PositionPanel(Integer Position) const {
  switch (Position) {
    case 1:
      return spot1;
    case 2:
      return spot2;
    case 3:
      return spot3;
    case 4:
      return Strobo;
    case 5:
      return Spot21;
    case 6:
      return Spot22;
    case 7:
      return Spot23;
    case 8:
      return light;
    default:
      return nullptr;
  }
}

TPanel* TForm1::MirrorPanel(Integer Position) const {
  const bool r1 = reversechk1->Checked();
  const bool r2 = ReverseChk2->Checked();
  switch (Position) {
    case 1:
      return r1 ? spot6 : spot4;
    case 2:
      return spot5;
    case 3:
      return r1 ? spot4 : spot6;
    case 5:
      return r2 ? Spot26 : Spot24;
    case 6:
      return Spot25;
    case 7:
      return r2 ? Spot24 : Spot26;
    default:
      return nullptr;
  }
}

TRadioButton* TForm1::PatternRadio(Integer Number) const {
  switch (Number) {
    case 1:
      return Radio1;
    case 2:
      return Radio2;
    case 3:
      return Radio3;
    case 4:
      return Radio4;
    case 5:
      return Radio5;
    case 6:
      return Radio6;
    case 7:
      return Radio7;
    case 8:
      return Radio8;
    case 9:
      return Radio9;
    default:
      return nullptr;
  }
}

Integer TForm1::CheckedPattern() const {
  for (Integer n = 1; n <= 9; ++n)
    if (PatternRadio(n)->Checked()) return n;
  return 0;
}

Integer TForm1::NextCustomCode() {
  const Integer count = ListView1->Items()->Count();
  StepCounter = StepCounter + 1;
  if (StepCounter >= count || StepCounter < 0) StepCounter = 0;
  TListItem* item = ListView1->Items()->Item(StepCounter);
  return item->SubItems()->Count() > 0 ? CodeOf(item->SubItems()->Strings(0)) : -1;
}

void TForm1::Timer1Timer(TObject* Sender) {
  (void)Sender;
  unsigned pairs = 0;
  bool aux1 = false, aux2 = false;
  switch (CheckedPattern()) {
    case 1:
      pairs = StepChase(kRotate);
      break;
    case 2:
      pairs = StepChase(kPyramid);
      break;
    case 3:
      pairs = kUpper | kMedium | kLower;
      break;
    case 4:
      pairs = StepChase(kK2000);
      break;
    case 5:
      pairs = StepChase(kUpAndDown);
      break;
    case 6:
      pairs = StepChase(kRollercoaster);
      break;
    case 7: {
      // An empty program makes no output at all.
      if (ListView1->Items()->Count() == 0) return;
      Integer code = NextCustomCode();
      if (code >= 40 && code <= 600) {
        intervalTrkbar->SetPosition(code);
        code = NextCustomCode();
      }
      if (code >= 0 && code <= 7) pairs = static_cast<unsigned>(code);
      break;
    }
    case 8:
      aux2 = true;
      break;
    case 9:
      aux1 = true;
      break;
    default:
      break;
  }

  // Flags by position 1 to 8.
  std::array<bool, 9> lit{};
  lit[1] = lit[5] = (pairs & kUpper) != 0;
  lit[2] = lit[6] = (pairs & kMedium) != 0;
  lit[3] = lit[7] = (pairs & kLower) != 0;
  lit[4] = aux1;
  lit[8] = aux2;

  // The auxiliary panels blink while their output stays on.
  Strobo->SetColor(aux1 ? (Strobo->Color() == LitColor ? UnlitColor : LitColor) : UnlitColor);
  light->SetColor(aux2 ? (light->Color() == LitColor ? UnlitColor : LitColor) : UnlitColor);
  for (Integer p : {1, 2, 3, 5, 6, 7}) {
    const TColor c = lit[p] ? LitColor : UnlitColor;
    PositionPanel(p)->SetColor(c);
    MirrorPanel(p)->SetColor(c);
  }

  for (Integer p = 1; p <= 8; ++p) {
    const Integer c = ChannelOf(PositionPanel(p));
    if (c != 0) Channels[c] = lit[p];
  }
  WriteLamps(PortByteOf(Channels));

  if (FlashMode) CutoffTimer->SetEnabled(true);
}

void TForm1::CutoffTimerTimer(TObject* Sender) {
  (void)Sender;
  // A stroboscope keeps its light; the cut waits for the next tick.
  if (Radio9->Checked() || Radio8->Checked()) return;
  for (TPanel* p :
       {spot1, spot2, spot3, spot4, spot5, spot6, Spot21, Spot22, Spot23, Spot24, Spot25, Spot26})
    p->SetColor(UnlitColor);
  WriteLamps(0);
  CutoffTimer->SetEnabled(false);
}

void TForm1::reversechk1Click(TObject* Sender) {
  (void)Sender;
  const String c = spot4->Caption();
  spot4->SetCaption(spot6->Caption());
  spot6->SetCaption(c);
}

void TForm1::ReverseChk2Click(TObject* Sender) {
  (void)Sender;
  const String c = Spot24->Caption();
  Spot24->SetCaption(Spot26->Caption());
  Spot26->SetCaption(c);
}

void TForm1::StroboDown(TRadioButton* Pressed, TShiftState Shift) {
  if (!Shift.Contains(ssRight)) return;
  const Integer checked = CheckedPattern();
  // Pressing an already checked stroboscope holds nothing, so its release changes nothing.
  HeldPattern = PatternRadio(checked) == Pressed ? 0 : checked;
  Pressed->SetChecked(true);
}

void TForm1::StroboUp(TRadioButton* Pressed) {
  if (HeldPattern == 0) return;
  const Integer back = HeldPattern;
  HeldPattern = 0;
  Pressed->SetChecked(false);
  PatternRadio(back)->SetChecked(true);
}

void TForm1::Radio9MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                             Integer Y) {
  (void)Sender;
  (void)Button;
  (void)X;
  (void)Y;
  StroboDown(Radio9, Shift);
}

void TForm1::Radio9MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                           Integer Y) {
  (void)Sender;
  (void)Button;
  (void)Shift;
  (void)X;
  (void)Y;
  StroboUp(Radio9);
}

void TForm1::Radio8MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                             Integer Y) {
  (void)Sender;
  (void)Button;
  (void)X;
  (void)Y;
  StroboDown(Radio8, Shift);
}

void TForm1::Radio8MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                           Integer Y) {
  (void)Sender;
  (void)Button;
  (void)Shift;
  (void)X;
  (void)Y;
  StroboUp(Radio8);
}
