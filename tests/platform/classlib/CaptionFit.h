// Whether a form's designed captions fit: every control is painted once, hidden ones
// included, and each drawn text that is (part of) a caption of the form must lie within the
// clipping it is drawn under; labels of one parent must not run into each other. The
// answer lists what does not fit, one line each (empty: all fit).
#pragma once

#include <string>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

namespace captionfit {

inline void Collect(TComponent* owner, std::vector<TControl*>& controls,
                    std::vector<String>& captions) {
  for (Integer i = 0; i < owner->ComponentCount(); ++i) {
    auto* c = dynamic_cast<TControl*>(owner->Components(i));
    if (!c) continue;
    controls.push_back(c);
    String shown = StripAccel(c->Caption());
    if (!shown.empty()) captions.push_back(shown);
    if (auto* lv = dynamic_cast<TListView*>(c))
      for (Integer k = 0; k < lv->Columns()->Count(); ++k)
        captions.push_back(lv->Columns()->Items(k)->Caption());
  }
}

inline bool IsCaptionText(const String& text, const std::vector<String>& captions) {
  if (text.find_first_not_of(' ') == String::npos) return false;
  for (const String& c : captions)
    if (c.find(text) != String::npos) return true;
  return false;
}

inline std::vector<std::string> Misfits(TForm* form) {
  std::vector<TControl*> controls;
  std::vector<String> captions;
  Collect(form, controls, captions);
  if (!form->Caption().empty()) captions.push_back(form->Caption());
  std::vector<std::string> out;
  SetTextObserverForTesting([&](const TTextDrawn& t) {
    if (!IsCaptionText(t.Text, captions)) return;
    if (t.Cell.Left < t.Clip.Left || t.Cell.Right > t.Clip.Right)
      out.push_back(form->Name() + ": \"" + t.Text + "\" needs " +
                    std::to_string(t.Cell.Right - t.Cell.Left) + " pixels, has " +
                    std::to_string(t.Clip.Right - std::max(t.Clip.Left, t.Cell.Left)));
  });
  // Hidden graphic controls are shown for the measure (a hidden radio or label may be
  // shown later); windowed ones paint into their own surfaces whether shown or not. A
  // hidden one that does not lie within its parent can never be seen whole: it is left out
  // (the display-mode buttons, whose size is the mode they ask for).
  auto insideParent = [](TControl* c) {
    return !c->Parent() || (c->Left() >= 0 && c->Top() >= 0 &&
                            c->Left() + c->Width() <= c->Parent()->ClientWidth() &&
                            c->Top() + c->Height() <= c->Parent()->ClientHeight());
  };
  std::erase_if(captions, [&](const String& text) {
    for (TControl* c : controls)
      if (!c->Visible() && !insideParent(c) && StripAccel(c->Caption()) == text) return true;
    return false;
  });
  std::vector<TControl*> shownForIt;
  for (TControl* c : controls)
    if (!c->Visible() && !dynamic_cast<TWinControl*>(c) && insideParent(c)) {
      c->SetVisible(true);
      shownForIt.push_back(c);
    }
  form->Invalidate();
  form->RenderPending();
  for (TControl* c : controls)
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
      w->Invalidate();
      w->RenderPending();
    }
  SetTextObserverForTesting(nullptr);
  for (TControl* c : shownForIt) c->SetVisible(false);

  for (std::size_t i = 0; i < controls.size(); ++i) {
    auto* a = dynamic_cast<TLabel*>(controls[i]);
    if (!a || a->Caption().empty()) continue;
    for (std::size_t k = i + 1; k < controls.size(); ++k) {
      auto* b = dynamic_cast<TLabel*>(controls[k]);
      if (!b || b->Caption().empty() || b->Parent() != a->Parent()) continue;
      TRect x;
      if (IntersectRect(x, a->BoundsRect(), b->BoundsRect()))
        out.push_back(form->Name() + ": \"" + a->Caption() + "\" runs into \"" + b->Caption() +
                      "\"");
    }
  }
  return out;
}

}  // namespace captionfit
