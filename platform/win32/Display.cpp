#include "win32/Display.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <memory>
#include <mutex>
#include <optional>

namespace {

struct Mode {
  SizeID size;
  short rate;
  Rotation rotation;
};

std::mutex g_mutex;
// The mode the screen had before the first change: a null record goes back to it.
std::optional<Mode> g_startMode;

}  // namespace

LONG ChangeDisplaySettingsA(DEVMODEA* lpDevMode, DWORD dwFlags) {
  if (dwFlags & CDS_UPDATEREGISTRY) return DISP_CHANGE_BADFLAGS;
  if (lpDevMode && lpDevMode->dmSize < sizeof(DEVMODEA)) return DISP_CHANGE_BADPARAM;
  std::lock_guard<std::mutex> lock(g_mutex);
  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), &XCloseDisplay);
  if (!display) return DISP_CHANGE_FAILED;
  int event = 0, error = 0;
  if (!XRRQueryExtension(display.get(), &event, &error)) return DISP_CHANGE_FAILED;
  const Window root = DefaultRootWindow(display.get());
  std::unique_ptr<XRRScreenConfiguration, void (*)(XRRScreenConfiguration*)> config(
      XRRGetScreenInfo(display.get(), root), &XRRFreeScreenConfigInfo);
  if (!config) return DISP_CHANGE_FAILED;
  Rotation rotation = 0;
  const SizeID current = XRRConfigCurrentConfiguration(config.get(), &rotation);
  if (!g_startMode) g_startMode = Mode{current, XRRConfigCurrentRate(config.get()), rotation};

  Mode target = *g_startMode;
  if (lpDevMode) {
    const DWORD f = lpDevMode->dmFields;
    int count = 0;
    XRRScreenSize* sizes = XRRConfigSizes(config.get(), &count);
    int found = -1;
    for (int i = 0; i < count; ++i) {
      if ((!(f & DM_PELSWIDTH) || sizes[i].width == static_cast<int>(lpDevMode->dmPelsWidth)) &&
          (!(f & DM_PELSHEIGHT) || sizes[i].height == static_cast<int>(lpDevMode->dmPelsHeight)))
        found = i;
    }
    if (found < 0) return DISP_CHANGE_BADMODE;
    target.size = static_cast<SizeID>(found);
    target.rate = 0;
    if (f & DM_DISPLAYFREQUENCY) {
      int rates = 0;
      short* list = XRRConfigRates(config.get(), target.size, &rates);
      for (int i = 0; i < rates; ++i)
        if (list[i] == static_cast<short>(lpDevMode->dmDisplayFrequency)) target.rate = list[i];
      if (target.rate == 0) return DISP_CHANGE_BADMODE;
    }
    target.rotation = rotation;
  }
  if (dwFlags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
  const Status s = target.rate
                       ? XRRSetScreenConfigAndRate(display.get(), config.get(), root, target.size,
                                                   target.rotation, target.rate, CurrentTime)
                       : XRRSetScreenConfig(display.get(), config.get(), root, target.size,
                                            target.rotation, CurrentTime);
  return s == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
}
