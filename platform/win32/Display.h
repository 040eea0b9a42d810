// Display modes: switching the screen to another size and refresh rate, through the X
// server's RandR extension.
#pragma once

#include "win32/Types.h"

constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;

constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
constexpr LONG DISP_CHANGE_RESTART = 1;
constexpr LONG DISP_CHANGE_FAILED = -1;
constexpr LONG DISP_CHANGE_BADMODE = -2;
constexpr LONG DISP_CHANGE_BADFLAGS = -4;
constexpr LONG DISP_CHANGE_BADPARAM = -5;

constexpr DWORD CDS_UPDATEREGISTRY = 0x00000001;
constexpr DWORD CDS_TEST = 0x00000002;

#pragma pack(push, 2)
struct DEVMODEA {
  BYTE dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  union {
    struct {
      SHORT dmOrientation, dmPaperSize, dmPaperLength, dmPaperWidth, dmScale, dmCopies,
          dmDefaultSource, dmPrintQuality;
    };
    struct {
      LONG x, y;
      DWORD dmDisplayOrientation, dmDisplayFixedOutput;
    } dmPosition;
  };
  SHORT dmColor, dmDuplex, dmYResolution, dmTTOption, dmCollate;
  BYTE dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel, dmPelsWidth, dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod, dmICMIntent, dmMediaType, dmDitherType, dmReserved1, dmReserved2,
      dmPanningWidth, dmPanningHeight;
};
#pragma pack(pop)
static_assert(sizeof(DEVMODEA) == 156);

// Switches the screen of $DISPLAY to the size (and, with DM_DISPLAYFREQUENCY, the rate)
// the record names; a null record goes back to the mode the screen had before the first
// change. Nothing is stored (CDS_UPDATEREGISTRY is refused); CDS_TEST only checks.
// DISP_CHANGE_BADMODE when the screen has no such mode, DISP_CHANGE_FAILED without an X
// server or RandR.
LONG ChangeDisplaySettingsA(DEVMODEA* lpDevMode, DWORD dwFlags);
