// The platform's drawing calls on device contexts, as the widgets call them by name, and
// the records of owner-drawn items. A device context here is a canvas's handle
// (TCanvas::Handle): drawing through either lands on the same pixels with the same
// clipping, and a canvas attached to a context (TCanvas::SetHandle) draws there too.
// GUI thread only.
#pragma once

#include "classlib/Graphics.h"
#include "win32/Types.h"

// ---------------------------------------------------------------------------------------
// Owner-drawn items: WM_MEASUREITEM and WM_DRAWITEM carry a pointer to these in LParam.

constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;

constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;

constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_CHECKED = 0x0008;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_DEFAULT = 0x0020;

// The receiver fills in the size of the item.
struct MEASUREITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;  // for a menu: the item's command
  UINT itemWidth = 0;
  UINT itemHeight = 0;
  UINT_PTR itemData = 0;
};

struct DRAWITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;
  UINT itemAction = 0;
  UINT itemState = 0;
  UINT_PTR hwndItem = 0;  // for a menu: its menu handle
  HDC hDC = nullptr;      // clipped to the item
  RECT rcItem{};
  UINT_PTR itemData = 0;
};

// ---------------------------------------------------------------------------------------
// Device contexts.

// The context of a window's client area (its surface), or of the screen for 0 (good for
// measuring text). Give it back with ReleaseDC.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// Saves the clipping; answers the level to give RestoreDC (0 on failure). RestoreDC takes a
// level, or -n for the n-th last save.
int SaveDC(HDC hDC);
BOOL RestoreDC(HDC hDC, int nSavedDC);

constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
// Narrows the clipping to the rectangle (context coordinates).
int IntersectClipRect(HDC hDC, int left, int top, int right, int bottom);
int GetClipBox(HDC hDC, RECT* rect);

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
// Text and background of the canvas that draws on the context (its font colour, its brush
// colour and style); each answers the previous value.
COLORREF SetTextColor(HDC hDC, COLORREF color);
COLORREF GetTextColor(HDC hDC);
COLORREF SetBkColor(HDC hDC, COLORREF color);
int SetBkMode(HDC hDC, int mode);
// Every colour is shown as it is on these true-colour surfaces.
COLORREF GetNearestColor(HDC hDC, COLORREF color);

constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_EXPANDTABS = 0x0040;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_RTLREADING = 0x20000;
// Text in the rectangle with the canvas's font and colours; "&" underlines the next
// character unless DT_NOPREFIX ("&&" shows one "&"). nCount -1: up to the NUL. Answers
// the height of the text; DT_CALCRECT only sets the rectangle's right and bottom.
int DrawTextA(HDC hDC, LPCSTR text, int nCount, RECT* rect, UINT format);

constexpr UINT DFC_MENU = 2;
constexpr UINT DFCS_MENUARROW = 0x0000;
constexpr UINT DFCS_MENUCHECK = 0x0001;
constexpr UINT DFCS_MENUBULLET = 0x0002;
// The platform's small pictures; for DFC_MENU a black glyph on white filling the rectangle.
BOOL DrawFrameControl(HDC hDC, RECT* rect, UINT type, UINT state);

// ---------------------------------------------------------------------------------------
// Screen metrics.

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXMENUCHECK = 71;
constexpr int SM_CYMENUCHECK = 72;
// Sizes of the look this library draws (the classic 96 dpi one); 0 for an unknown index.
int GetSystemMetrics(int nIndex);

constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
// What a context's pixels hold: one plane of 32 bits on every surface here; 0 for another
// index or no context.
int GetDeviceCaps(HDC hDC, int nIndex);
