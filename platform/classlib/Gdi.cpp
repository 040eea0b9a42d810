#include "classlib/Gdi.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "classlib/GuiPrivate.h"

namespace {

// One device context: the canvas it belongs to, the canvases attached to it since, and
// the clipping saved by SaveDC.
struct TDcEntry {
  TCanvas* canvas = nullptr;
  std::unique_ptr<TCanvas> owned;  // contexts made by GetDC
  std::vector<TCanvas*> bound;
  std::vector<TRect> saved;
};

std::map<HDC, TDcEntry>& Registry() {
  static std::map<HDC, TDcEntry> r;
  return r;
}

std::uintptr_t g_nextDc = 0x10;

HDC NewHandle() {
  g_nextDc += 0x10;
  return reinterpret_cast<HDC>(g_nextDc);
}

TDcEntry* Find(HDC h) {
  if (!h) return nullptr;
  auto it = Registry().find(h);
  return it == Registry().end() ? nullptr : &it->second;
}

// The canvas whose state the drawing calls use: the last one attached, else the owner.
TCanvas* Current(TDcEntry* e) {
  return e->bound.empty() ? e->canvas : e->bound.back();
}

void SetClip(TDcEntry* e, const TRect& clip) {
  TCanvas* c = e->canvas;
  c->AttachSurface(c->Surface(), c->Origin(), clip);
  for (TCanvas* b : e->bound) b->AttachSurface(c->Surface(), c->Origin(), clip);
}

// The screen context's pixels: drawing there shows nowhere, measuring works.
TSurface& ScreenSurface() {
  static TSurface s;
  if (s.image.isNull()) s.image = QImage(1, 1, QImage::Format_RGB32);
  return s;
}

}  // namespace

HDC TCanvas::Handle() {
  if (bound_) return bound_;
  if (!own_) {
    own_ = NewHandle();
    Registry()[own_].canvas = this;
  }
  return own_;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value && Value == own_) return;
  if (bound_) {
    if (TDcEntry* e = Find(bound_))
      e->bound.erase(std::remove(e->bound.begin(), e->bound.end(), this), e->bound.end());
    bound_ = nullptr;
    DetachSurface();
  }
  TDcEntry* e = Find(Value);
  if (!e) return;  // a stale context: the canvas stays detached
  TCanvas* c = e->canvas;
  AttachSurface(c->Surface(), c->Origin(), c->SurfaceClip());
  bound_ = Value;
  e->bound.push_back(this);
}

void ForgetCanvasHandles(TCanvas* canvas) {
  canvas->SetHandle(nullptr);
  auto& reg = Registry();
  for (auto it = reg.begin(); it != reg.end(); ++it) {
    if (it->second.canvas != canvas) continue;
    std::vector<TCanvas*> bound = std::move(it->second.bound);
    reg.erase(it);
    for (TCanvas* b : bound) b->SetHandle(nullptr);
    return;
  }
}

HDC GetDC(HWND hWnd) {
  auto canvas = std::make_unique<TCanvas>();
  if (hWnd == 0) {
    canvas->AttachSurface(&ScreenSurface(), {0, 0}, {0, 0, 1, 1});
  } else {
    TWinControl* c = FindControl(hWnd);
    if (!c) return nullptr;
    canvas->AttachSurface(c->Surface(), {0, 0}, c->ClientRect());
  }
  HDC h = canvas->Handle();
  Registry()[h].owned = std::move(canvas);
  return h;
}

int ReleaseDC(HWND, HDC hDC) {
  TDcEntry* e = Find(hDC);
  if (!e || !e->owned) return 0;
  // Deleting the canvas forgets its context.
  std::unique_ptr<TCanvas> c = std::move(e->owned);
  c.reset();
  return 1;
}

int SaveDC(HDC hDC) {
  TDcEntry* e = Find(hDC);
  if (!e) return 0;
  e->saved.push_back(e->canvas->SurfaceClip());
  return static_cast<int>(e->saved.size());
}

BOOL RestoreDC(HDC hDC, int nSavedDC) {
  TDcEntry* e = Find(hDC);
  if (!e || nSavedDC == 0) return FALSE;
  int n = static_cast<int>(e->saved.size());
  int level = nSavedDC > 0 ? nSavedDC : n + 1 + nSavedDC;
  if (level < 1 || level > n) return FALSE;
  TRect clip = e->saved[static_cast<std::size_t>(level - 1)];
  e->saved.resize(static_cast<std::size_t>(level - 1));
  SetClip(e, clip);
  return TRUE;
}

int IntersectClipRect(HDC hDC, int left, int top, int right, int bottom) {
  TDcEntry* e = Find(hDC);
  if (!e) return RGN_ERROR;
  TPoint o = e->canvas->Origin();
  TRect r{left + o.x, top + o.y, right + o.x, bottom + o.y};
  TRect clip;
  IntersectRect(clip, e->canvas->SurfaceClip(), r);
  SetClip(e, clip);
  return IsRectEmpty(clip) ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC hDC, RECT* rect) {
  TDcEntry* e = Find(hDC);
  if (!e || !rect) return RGN_ERROR;
  TRect c = e->canvas->ClipRect();
  *rect = {c.Left, c.Top, c.Right, c.Bottom};
  return IsRectEmpty(c) ? NULLREGION : SIMPLEREGION;
}

COLORREF SetTextColor(HDC hDC, COLORREF color) {
  TDcEntry* e = Find(hDC);
  if (!e) return CLR_INVALID;
  TFont* f = Current(e)->Font();
  COLORREF old = ColorToRGB(f->Color());
  f->SetColor(color);
  return old;
}

COLORREF GetTextColor(HDC hDC) {
  TDcEntry* e = Find(hDC);
  return e ? ColorToRGB(Current(e)->Font()->Color()) : CLR_INVALID;
}

COLORREF SetBkColor(HDC hDC, COLORREF color) {
  TDcEntry* e = Find(hDC);
  if (!e) return CLR_INVALID;
  TBrush* b = Current(e)->Brush();
  COLORREF old = ColorToRGB(b->Color());
  TBrushStyle style = b->Style();
  b->SetColor(color);
  b->SetStyle(style);
  return old;
}

int SetBkMode(HDC hDC, int mode) {
  TDcEntry* e = Find(hDC);
  if (!e) return 0;
  TBrush* b = Current(e)->Brush();
  int old = b->Style() == bsClear ? TRANSPARENT : OPAQUE;
  b->SetStyle(mode == TRANSPARENT ? bsClear : bsSolid);
  return old;
}

COLORREF GetNearestColor(HDC hDC, COLORREF color) {
  return Find(hDC) ? ColorToRGB(color) : CLR_INVALID;
}

int DrawTextA(HDC hDC, LPCSTR text, int nCount, RECT* rect, UINT format) {
  TDcEntry* e = Find(hDC);
  if (!e || !text || !rect) return 0;
  TCanvas* c = Current(e);
  String raw = nCount < 0 ? String(text) : String(text, static_cast<std::size_t>(nCount));
  // Shown text and the position of the underlined character.
  String shown;
  int underline = -1;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char ch = raw[i];
    if (ch == '\t' && (format & DT_EXPANDTABS)) {
      shown += "        ";
      continue;
    }
    if (ch == '&' && !(format & DT_NOPREFIX)) {
      if (i + 1 < raw.size()) {
        ++i;
        if (raw[i] != '&') underline = static_cast<int>(shown.size());
        shown += raw[i];
      }
      continue;
    }
    if (ch == '\r' || ch == '\n') {
      if (format & DT_SINGLELINE) continue;
    }
    shown += ch;
  }
  TSize ext = c->TextExtent(shown.empty() ? String(" ") : shown);
  if (shown.empty()) ext.cx = 0;
  if (format & DT_CALCRECT) {
    rect->right = rect->left + ext.cx;
    rect->bottom = rect->top + ext.cy;
    return ext.cy;
  }
  int x = rect->left, y = rect->top;
  if (format & DT_CENTER)
    x = (rect->left + rect->right - ext.cx) / 2;
  else if (format & DT_RIGHT)
    x = rect->right - ext.cx;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER)
      y = (rect->top + rect->bottom - ext.cy) / 2;
    else if (format & DT_BOTTOM)
      y = rect->bottom - ext.cy;
  }
  TRect box{rect->left, rect->top, rect->right, rect->bottom};
  TBrushStyle style = c->Brush()->Style();
  TColor bk = c->Brush()->Color();
  if (format & DT_NOCLIP) {
    c->TextOut(x, y, shown);
  } else {
    // An opaque background covers the text's cell only, as the platform's text output
    // does; the rectangle itself is not filled.
    if (style != bsClear) {
      TRect cell{x, y, x + ext.cx, y + ext.cy};
      TRect fill;
      if (IntersectRect(fill, cell, box)) c->FillRect(fill);
    }
    c->Brush()->SetStyle(bsClear);
    c->TextRect(box, x, y, shown);
    c->Brush()->SetColor(bk);
    c->Brush()->SetStyle(style);
  }
  if (underline >= 0) {
    int ux = x + c->TextWidth(shown.substr(0, static_cast<std::size_t>(underline)));
    int uw = c->TextWidth(shown.substr(static_cast<std::size_t>(underline), 1));
    int uy = y + ext.cy - 1;
    TColor pen = c->Pen()->Color();
    Integer width = c->Pen()->Width();
    c->Pen()->SetColor(c->Font()->Color());
    c->Pen()->SetWidth(1);
    if (uy < box.Bottom || (format & DT_NOCLIP)) {
      c->MoveTo(ux, uy);
      c->LineTo(ux + uw, uy);
    }
    c->Pen()->SetColor(pen);
    c->Pen()->SetWidth(width);
  }
  return ext.cy;
}

void DrawMenuGlyph(TCanvas* c, const TRect& r, UINT kind, TColor color) {
  TColor brush = c->Brush()->Color();
  TBrushStyle bstyle = c->Brush()->Style();
  TColor pen = c->Pen()->Color();
  Integer pwidth = c->Pen()->Width();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(color);
  c->Pen()->SetColor(color);
  c->Pen()->SetWidth(1);
  int w = r.Width(), h = r.Height();
  int cx = r.Left + w / 2, cy = r.Top + h / 2;
  switch (kind) {
    case DFCS_MENUCHECK: {
      // A tick three pixels thick: down from the left third, then up to the right.
      int x0 = r.Left + w / 4 - 1, y0 = cy - 1;
      int x1 = cx - 1, y1 = y0 + (x1 - x0);
      int x2 = r.Right - w / 4, y2 = y1 - (x2 - x1);
      for (int d = 0; d < 3; ++d) {
        c->MoveTo(x0, y0 + d);
        c->LineTo(x1, y1 + d);
        c->LineTo(x2 + 1, y2 + d - 1);
      }
      break;
    }
    case DFCS_MENUBULLET: {
      int d = std::max(2, std::min(w, h) / 3);
      c->Ellipse(cx - d / 2, cy - d / 2, cx - d / 2 + d, cy - d / 2 + d);
      break;
    }
    default: {
      // The sub-menu arrow: a small triangle pointing right.
      int half = std::max(1, std::min(w, h) / 4);
      for (int i = 0; i <= half; ++i) {
        c->MoveTo(cx - half / 2 + i, cy - half + i);
        c->LineTo(cx - half / 2 + i, cy + half - i + 1);
      }
    }
  }
  c->Brush()->SetColor(brush);
  c->Brush()->SetStyle(bstyle);
  c->Pen()->SetColor(pen);
  c->Pen()->SetWidth(pwidth);
}

BOOL DrawFrameControl(HDC hDC, RECT* rect, UINT type, UINT state) {
  TDcEntry* e = Find(hDC);
  if (!e || !rect || type != DFC_MENU) return FALSE;
  TCanvas* c = Current(e);
  TRect r{rect->left, rect->top, rect->right, rect->bottom};
  TColor brush = c->Brush()->Color();
  TBrushStyle bstyle = c->Brush()->Style();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clWhite);
  c->FillRect(r);
  c->Brush()->SetColor(brush);
  c->Brush()->SetStyle(bstyle);
  DrawMenuGlyph(c, r, state & 0xFF, clBlack);
  return TRUE;
}

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return Screen->Width();
    case SM_CYSCREEN:
      return Screen->Height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
      return 16;
    case SM_CYCAPTION:
      return 19;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_CYMENU:
      return 19;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
      return 13;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

int GetDeviceCaps(HDC hDC, int nIndex) {
  if (!Find(hDC)) return 0;
  return nIndex == BITSPIXEL ? 32 : nIndex == PLANES ? 1 : 0;
}
