// The level graph and the beat: each level a deck's output filter reports scrolls that
// deck's curve by one point; a beat line sits under the curve's recent peaks, and when the
// curve rises above it at the test point the deck's lamp lights and the light controller
// hears one beat. The graph is drawn straight on the window: a repaint wipes it until the
// next levels redraw it.
//
// The filter sends its levels synchronously from its own thread and waits: the handler
// must stay short. Its one call out of the program is the beat sent to the light
// controller, which cannot hold it for long: a light controller that stops answering is
// given up on once, and after that answers at once until it runs again.
#include "player/uMain.h"

namespace {

// The graph's test point, under the sound line.
constexpr Integer BeatPoint = 28;
// Markers from here to MarkLast place the beat line.
constexpr Integer MarkLast = 45;
constexpr Integer LastPoint = GraphPointCount - 1;
// The level the graph is scaled to.
constexpr Integer LevelReference = 16384;

std::span<const TPoint> Points(const std::array<TPoint, GraphPointCount>& p) {
  return {p.data(), p.size()};
}

}  // namespace

void TfrmMain::WMDeckLevel(TMessage& Message) {
  TXPlayer& d = Message.LParam == 1 ? Deck1 : Deck2;
  CurrentDeck = &d;
  // Before the decks are filled (no engine) there is nothing to draw for.
  if (!d.BeatLamp) return;
  const Integer top = boxGraph->Top();
  const Integer height = boxGraph->Height();
  const Integer bottom = top + height;

  d.LevelCount += 1;
  for (Integer i = 1; i < GraphPointCount; ++i) {
    d.GraphPts[i - 1].y = d.GraphPts[i].y;
    d.BeatMarks[i - 1] = d.BeatMarks[i];
  }
  Integer p = 0;
  for (const TPoint& pt : d.GraphPts)
    if (pt.y > p) p = pt.y;

  const auto l = static_cast<Integer>(static_cast<Cardinal>(Message.WParam));
  const Integer ls = Mul32(l, p) / LevelReference;
  d.LevelTotal += static_cast<Cardinal>(l);
  const Cardinal a = d.LevelTotal / d.LevelCount;
  const Integer as = Mul32(static_cast<Integer>(a), p) / LevelReference;

  // Up to 4/3 of the running average a level is drawn at a third of its scale, so only
  // what stands out from the track's own loudness reaches up.
  Integer e = 3 * ls > 4 * as ? ls : ls / 3;
  if (e > height) e = height;
  d.GraphPts[LastPoint].y = (2 * (bottom - e) + d.GraphPts[LastPoint - 1].y) / 3;

  UpdateBeatLine(d, as);

  if (d.GraphPts[BeatPoint].y < d.LineY) {
    // One beat per rise: the lit lamp remembers that this rise was sent. The quieter deck
    // of a mix gives no beats.
    if (d.BeatLamp->Brush()->Color() != clRed && DeckVolume(*d.OtherDeck) <= DeckVolume(d))
      SendMessageA(LightWindow, WM_LIGHTS_BEAT, 0, 0);
    d.BeatLamp->Brush()->SetColor(clRed);
  } else {
    d.BeatLamp->Brush()->SetColor(clBlack);
  }

  TCanvas* c = Canvas();
  TPen* pen = c->Pen();
  pen->SetColor(clBlack);
  c->Polyline(Points(d.OldPts));
  pen->SetColor(d.GraphColor);
  c->Polyline(Points(d.GraphPts));
  if (SoundLine) {
    const Integer x = d.GraphPts[BeatPoint].x;
    pen->SetColor(clBlue);
    c->MoveTo(x, top);
    c->LineTo(x, bottom);
  }
  if (d.BoomLine) DrawBeatLine(d);
  // A paused deck stays on the graph; this deck's drawing must not wipe it.
  TXPlayer& o = *d.OtherDeck;
  if (o.PlayState == 1 || o.PlayState == 2) {
    pen->SetColor(o.GraphColor);
    c->Polyline(Points(o.GraphPts));
    if (o.BoomLine) DrawBeatLine(o);
  }
  d.OldPts = d.GraphPts;
}

void TfrmMain::UpdateBeatLine(TXPlayer& Deck, Integer AverageY) {
  const Integer top = boxGraph->Top();
  const Integer bottom = top + boxGraph->Height();
  Deck.LineLeft = boxGraph->Left();
  Deck.LineRight = boxGraph->Left() + boxGraph->Width();
  Deck.OldLineY = Deck.LineY;
  if (Deck.ForceLine) {
    Deck.LineY = Deck.ForceLineY;
    return;
  }

  const Integer y1 = Deck.GraphPts[LastPoint - 2].y;
  const Integer y2 = Deck.GraphPts[LastPoint - 1].y;
  const Integer y3 = Deck.GraphPts[LastPoint].y;
  // Method 1 takes a single-point peak; method 2 a rise that stays flat for a point, which
  // suits long booming kicks whose top spans two levels.
  const bool candidate = BoomMethod == 1 ? (y1 > y2 && y2 < y3) : (y1 > y2 && y2 == y3);
  // Only peaks well above the track's average count.
  auto tall = [&](Integer v) { return 2 * (bottom - AverageY) > 3 * v; };
  Deck.BeatMarks[LastPoint] = candidate && tall(y2) ? y2 : -1;

  Integer last = -1;
  for (Integer i = BeatPoint; i <= MarkLast; ++i) {
    const Integer m = Deck.BeatMarks[i];
    if (m != -1 && tall(m)) last = m;
  }
  if (last == -1)
    Deck.LineY = Deck.OldLineY > top ? Deck.OldLineY : top;
  else
    Deck.LineY = last + 30 < bottom ? last + 30 : bottom;
}

void TfrmMain::DrawBeatLine(TXPlayer& Deck) {
  TCanvas* c = Canvas();
  TPen* pen = c->Pen();
  if (Deck.OldLineY != 0) {
    pen->SetColor(clBlack);
    c->MoveTo(Deck.LineLeft, Deck.OldLineY);
    c->LineTo(Deck.LineRight, Deck.OldLineY);
  }
  pen->SetColor(Deck.GraphColor);
  pen->SetStyle(psDot);
  c->MoveTo(Deck.LineLeft, Deck.LineY);
  c->LineTo(Deck.LineRight, Deck.LineY);
  pen->SetStyle(psSolid);
}

// The filter reports each level as long before it is heard as the graph's newest point
// stands ahead of the test point, so the points beyond the sound line are audio still to
// come. A pause or a seek means that audio is not heard now (or not at all), and after it
// the filter reports the audio to come afresh, all at once: the old points then sweep past
// the test point in a moment and would light the lamp, and send beats, for kicks never
// heard or heard later. Flattened and unmarked they pass without a beat. A seek drops them
// as it is sent (the new audio's levels come after the handler returns), a pause when the
// engine reports it. No level of the audio before either comes after it: the filter
// checks each on this thread against the commands given here just before it delivers.
void TfrmMain::DropUnheard(TXPlayer& Deck) {
  const Integer bottom = boxGraph->Top() + boxGraph->Height();
  for (Integer i = BeatPoint + 1; i < GraphPointCount; ++i) {
    Deck.GraphPts[i].y = bottom;
    Deck.BeatMarks[i] = -1;
  }
}

void TfrmMain::EraseBeatLine(TXPlayer& Deck) {
  TCanvas* c = Canvas();
  c->Pen()->SetColor(clBlack);
  c->MoveTo(Deck.LineLeft, Deck.LineY);
  c->LineTo(Deck.LineRight, Deck.LineY);
}

void TfrmMain::btnGraphOptionsClick(TObject* Sender) {
  const bool one = Sender == btnGraphOptions1;
  CurrentDeck = one ? &Deck1 : &Deck2;
  // Deck 1's button is left of the graph: its menu opens leftwards, deck 2's rightwards.
  popGraphOptions->SetAlignment(one ? paRight : paLeft);
  popGraphOptions->SetTag(one ? 0 : 1);
  popBoomLine->SetChecked(CurrentDeck->BoomLine != 0);
  const TPoint at = Mouse->CursorPos();
  popGraphOptions->Popup(at.x, at.y);
}

void TfrmMain::popSoundLineClick(TObject*) {
  SoundLine = SoundLine ? 0 : -1;
  popSoundLine->SetChecked(SoundLine != 0);
  // The line goes with the rest of the drawing; the next levels draw what is on.
  boxGraph->Repaint();
}

void TfrmMain::popBoomLineClick(TObject*) {
  popBoomLine->SetChecked(!popBoomLine->Checked());
  TXPlayer& d = popGraphOptions->Tag() == 0 ? Deck1 : Deck2;
  d.BoomLine = popBoomLine->Checked() ? -1 : 0;
  if (!d.BoomLine) EraseBeatLine(d);
}

void TfrmMain::popBDetectClick(TObject* Sender) {
  auto* item = static_cast<TMenuItem*>(Sender);
  item->SetDefault(true);
  item->SetChecked(true);
  BoomMethod = item->Tag();
}

void TfrmMain::btnForceBoomLineMouseDown(TObject*, TMouseButton, TShiftState, Integer X,
                                         Integer Y) {
  SliderGrab = {X, Y};
}

void TfrmMain::btnForceBoomLineMouseMove(TObject* Sender, TShiftState Shift, Integer, Integer Y) {
  if (Shift != TShiftState{ssRight}) return;
  auto* handle = static_cast<TSpeedButton*>(Sender);
  TXPlayer& d = handle == btnForceBoomLine1 ? Deck1 : Deck2;
  Integer t = handle->Top() + Y - SliderGrab.y;
  if (t < 0) t = 0;
  if (t > pnlLine1->Height() - 20) t = pnlLine1->Height() - 20;
  handle->SetTop(t);
  d.ForceLineY = handle->Top() + pnlLine1->Top() + 11;
}

void TfrmMain::btnForceBoomLineClick(TObject* Sender) {
  auto* handle = static_cast<TSpeedButton*>(Sender);
  TXPlayer& d = handle == btnForceBoomLine1 ? Deck1 : Deck2;
  if (handle->Tag() == 0) {
    handle->SetTag(1);
    d.ForceLine = -1;
    handle->Font()->SetColor(clRed);
    d.ForceLineY = handle->Top() + pnlLine1->Top() + 11;
  } else {
    handle->SetTag(0);
    d.ForceLine = 0;
    handle->Font()->SetColor(Font()->Color());
  }
}
