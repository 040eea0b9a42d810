// How long the player's owner-drawn popup menus take to open: from Popup until the menu
// window is built, every item measured and drawn, and ready to show (the tracker hook is
// called at that moment). The menu is the level graph's options menu: three items, one
// with a sub-menu of two radio items, one item bold. Prints `menu_open_ms` (mean) and
// `menu_open_max_ms` (the slowest of the runs, the first one included).
// Also the skinned slider with its default images: a whole repaint of the refresh slider
// (159 x 29) in `slider_repaint_us`, and one value change with the thumb drawn at its new
// place in `slider_move_us`.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "classlib/Forms.h"
#include "classlib/Menus.h"
#include "widgets/RXSlider.h"
#include "widgets/RxMenus.h"

void RegisterSkinPictures();

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 200;

TMenuItem* Add(TMenuItem* parent, const String& caption) {
  auto* i = new TMenuItem(Application);
  i->SetCaption(caption);
  parent->Add(i);
  return i;
}

void MeasureSlider() {
  RegisterSkinPictures();
  auto* form = new TForm(Application);
  form->SetBounds(0, 0, 300, 100);
  form->AfterConstruction();
  form->Show();
  auto* slider = new TRxSlider(form);
  slider->SetParent(form);
  slider->SetBounds(10, 10, 159, 29);
  slider->SetMaxValue(90);
  slider->SetIncrement(1);
  Application->ProcessMessages();
  auto t0 = Clock::now();
  for (int i = 0; i < kRuns; ++i) slider->Repaint();
  auto t1 = Clock::now();
  for (int i = 0; i < kRuns; ++i) {
    slider->SetValue(i % 91);
    slider->Update();
  }
  auto t2 = Clock::now();
  std::printf("slider_repaint_us %.1f\n",
              std::chrono::duration<double, std::micro>(t1 - t0).count() / kRuns);
  std::printf("slider_move_us %.1f\n",
              std::chrono::duration<double, std::micro>(t2 - t1).count() / kRuns);
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  auto* menu = new TRxPopupMenu(Application);
  menu->SetStyle(msBtnRaised);
  menu->SetAlignment(paRight);
  Add(menu->Items(), "Sound Line")->SetChecked(true);
  Add(menu->Items(), "Beat Line");
  TMenuItem* detect = Add(menu->Items(), "Beat Detection");
  TMenuItem* m1 = Add(detect, "Method 1");
  TMenuItem* m2 = Add(detect, "Method 2");
  for (TMenuItem* m : {m1, m2}) m->SetRadioItem(true);
  m1->SetDefault(true);
  m1->SetChecked(true);

  Clock::time_point start;
  double total = 0, worst = 0;
  SetMenuTrackerForTesting([&](TMenuTracking&) {
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    total += ms;
    worst = std::max(worst, ms);
  });
  for (int i = 0; i < kRuns; ++i) {
    start = Clock::now();
    menu->Popup(400, 300);
  }
  SetMenuTrackerForTesting(nullptr);
  std::printf("menu_open_ms %.3f\n", total / kRuns);
  std::printf("menu_open_max_ms %.3f\n", worst);
  MeasureSlider();
  return 0;
}
