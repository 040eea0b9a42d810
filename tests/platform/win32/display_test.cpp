// Display modes: without an X server nothing changes; on one, a mode its screen lacks is
// refused and the current one is accepted.
#include <gtest/gtest.h>

#include <cstdlib>

#include "win32/Display.h"

namespace {

DEVMODEA Mode(DWORD width, DWORD height, DWORD rate) {
  DEVMODEA m{};
  m.dmSize = sizeof m;
  m.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | (rate ? DM_DISPLAYFREQUENCY : 0);
  m.dmPelsWidth = width;
  m.dmPelsHeight = height;
  m.dmDisplayFrequency = rate;
  return m;
}

TEST(Display, RefusesWhatItCannotDo) {
  DEVMODEA m = Mode(1152, 864, 75);
  EXPECT_EQ(ChangeDisplaySettingsA(&m, CDS_UPDATEREGISTRY), DISP_CHANGE_BADFLAGS);
  m.dmSize = 40;
  EXPECT_EQ(ChangeDisplaySettingsA(&m, 0), DISP_CHANGE_BADPARAM);
  m = Mode(1152, 864, 75);
  const LONG r = ChangeDisplaySettingsA(&m, 0);
  if (!std::getenv("DISPLAY")) {
    EXPECT_EQ(r, DISP_CHANGE_FAILED);
    GTEST_SKIP() << "no X server: the rest runs under xvfb-run";
  }
  // The virtual screen has one mode, 1024 x 768.
  EXPECT_EQ(r, DISP_CHANGE_BADMODE);
  m = Mode(1024, 768, 0);
  EXPECT_EQ(ChangeDisplaySettingsA(&m, CDS_TEST), DISP_CHANGE_SUCCESSFUL);
}

}  // namespace
