// End to end on a virtual display: the real kazpro, started as a user starts it, with a
// private prefix whose drive C: holds a folder of generated tracks, and the real BeamExe
// beside it. Everything is done with the pointer (xdotool) and seen on the screen or on the
// virtual lamp port: the folder is opened in the explorer, tracks are dragged onto the
// decks and into the playlists, deck 1 plays and the lamps step on its beats; the automatic
// mix, switched on in the settings file, lets deck 2 take over and the finished deck takes
// the next title of its playlist.
//
// Run under xvfb-run (CTest does); the screen is 1024 x 768.
#include <gtest/gtest.h>
#include <signal.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dlportio/dlportio.h"
#include "support/PlayerWindow.h"
#include "support/TestSupport.h"

namespace {

using namespace kaztest;

namespace fs = std::filesystem;

// More of the window's parts, in its client coordinates.
constexpr int kList1X = 8 + 6 + 100, kList2X = 532 + 6 + 100, kListY = 40 + 308 + 8;
constexpr int kSpotsX = 12 + 52, kSpotsY = 436 + 4 * 31 + 13;
constexpr int kPanelButtonX = 12 + 52, kExplorerY = 436 + 13, kEqualizerY = 436 + 31 + 13;
constexpr int kTitleX = 400, kTitleY = 20;
struct Area {
  int x, y, w, h;
};
constexpr Area kTitle1{8 + 14, 40 + 10, 232, 16}, kTitle2{532 + 14, 40 + 10, 232, 16};
constexpr Area kList1{8 + 6, 40 + 308, 234, 62}, kList2{532 + 6, 40 + 308, 234, 62};
constexpr Area kPos2{532 + 16, 40 + 54, 60, 14};
// The lower panels' place, and the about box, centred on the window, with its "X".
constexpr Area kPanels{126, 433, 665, 159}, kAbout{250, 175, 300, 250};
constexpr int kAboutCloseX = 250 + 274 + 10, kAboutCloseY = 175 + 6 + 10;
// "Yes" of the "Confirm Exit ?" box, centred on the window.
constexpr int kConfirmYesX = 346, kConfirmYesY = 278;

// Asks a window to close as a window manager does for its close button or Alt+F4: the
// WM_DELETE_WINDOW protocol message.
void AskToClose(const std::string& window) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  auto atom = [c](const std::string& name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    xcb_atom_t a = XCB_ATOM_NONE;
    if (r) a = r->atom;
    free(r);
    return a;
  };
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = static_cast<xcb_window_t>(std::stoul(window));
  ev.type = atom("WM_PROTOCOLS");
  ev.data.data32[0] = atom("WM_DELETE_WINDOW");
  ev.data.data32[1] = XCB_CURRENT_TIME;
  // Answered before hanging up: a busy server that finds the hang-up first closes the
  // connection without reading what is left on it, as a window manager's never is.
  free(xcb_request_check(c, xcb_send_event_checked(c, 0, ev.window, XCB_EVENT_MASK_NO_EVENT,
                                                   reinterpret_cast<const char*>(&ev))));
  xcb_disconnect(c);
}

// How many windows of a program are shown.
int ShownWindows(int pid) {
  std::istringstream in(
      Shell("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
  int n = 0;
  for (std::string id; in >> id;) ++n;
  return n;
}

// The screen as RGB bytes.
struct Screen {
  int w = 0, h = 0;
  std::string rgb;
  // Pixels of the area (window client coordinates) brighter than the dark background.
  int Lit(int ox, int oy, const Area& a) const {
    int n = 0;
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x) {
        const std::size_t i = (static_cast<std::size_t>(oy + y) * w + (ox + x)) * 3;
        if (i + 2 < rgb.size() && (static_cast<unsigned char>(rgb[i]) > 90 ||
                                   static_cast<unsigned char>(rgb[i + 1]) > 90 ||
                                   static_cast<unsigned char>(rgb[i + 2]) > 90))
          ++n;
      }
    return n;
  }
  // Pixels of the area that differ from another shot.
  int Changed(const Screen& o, int ox, int oy, const Area& a) const {
    int n = 0;
    for (int y = a.y; y < a.y + a.h; ++y)
      for (int x = a.x; x < a.x + a.w; ++x) {
        const std::size_t i = (static_cast<std::size_t>(oy + y) * w + (ox + x)) * 3;
        if (rgb.compare(i, 3, o.rgb, i, 3) != 0) ++n;
      }
    return n;
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display: run under xvfb-run";
    const std::string track = std::string(KAZ_TESTDATA_DIR) + "/kick128.mp3";
    if (!fs::exists(track)) GTEST_SKIP() << "no test media";
    prefix = kaztest::Prefix();
    // Drive C: is a folder of the prefix holding the tracks.
    const std::string c = prefix + "/drive_c";
    fs::create_directories(c + "/Music");
    for (const char* n : {"a", "b", "c", "d"})
      fs::copy_file(track, c + "/Music/" + n + ".mp3", fs::copy_options::overwrite_existing);
    fs::create_directories(prefix + "/dosdevices");
    std::error_code ec;
    fs::remove(prefix + "/dosdevices/c:", ec);
    fs::create_directory_symlink(c, prefix + "/dosdevices/c:");
    fs::create_directories(prefix + "/windows");
    // The light controller powered from its last run; a short automatic mix.
    kaztest::WriteFile(prefix + "/windows/Spots.ini", "[Parameters]\r\nPower=1\r\n");
    kaztest::WriteFile(prefix + "/windows/KAZ_PRO.ini",
                       "[Browse]\r\nLastDir=C:\\\r\n[Mix]\r\nAutoMix=1\r\nStart=12\r\n"
                       "Length=4\r\nSeek=0\r\n");
    fs::create_directories(prefix + "/runtime");
    fs::permissions(prefix + "/runtime", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (prefix + "/runtime").c_str(), 1);
    // The programs draw on the display, as a user's do.
    unsetenv("QT_QPA_PLATFORM");
  }
  void TearDown() override {
    for (int pid : {player, lights})
      if (pid > 0) {
        kill(pid, SIGTERM);
        kaztest::WaitExit(pid, 5000);
      }
  }

  // The main window's place on the screen, once the splash has left it alone.
  bool FindWindow() {
    window = kaztest::FindWindow("^KAZ$");
    if (window.empty() || !PumpUntil([&] { return ShownWindows(player) == 1; }, 20000))
      return false;
    WindowOrigin(window, ox, oy);
    return true;
  }
  void Xdo(const std::string& args) { Shell("xdotool " + args); }
  // A click, or a double click, at (x, y). The window answers the pointer in order, so
  // only what is seen afterwards needs waiting for.
  void Click(int x, int y, int clicks = 1) {
    Xdo("mousemove " + At(x, y) + (clicks == 2 ? " click --repeat 2 --delay 60 1" : " click 1"));
  }
  std::string At(int x, int y) const { return kaztest::At(ox, oy, x, y); }
  void Drag(int x, int y, int tx, int ty) { kaztest::Drag(ox, oy, x, y, tx, ty, "0.3"); }
  Screen Shot() const {
    const std::string file = prefix + "/shot.rgb";
    Shell("import -window root -depth 8 rgb:" + file);
    // KAZ_E2E_SHOTS=<folder> keeps each shot as a picture to look at.
    static int shots = 0;
    if (const char* keep = std::getenv("KAZ_E2E_SHOTS"))
      Shell("import -window root " + std::string(keep) + "/shot" + std::to_string(++shots) +
            ".png");
    Screen s;
    s.w = 1024;
    s.h = 768;
    s.rgb = kaztest::ReadFile(file);
    return s;
  }
  // Shots until one shows what is awaited (20 s at most, or `ms`); answers the last, or
  // whether it showed.
  Screen Await(const std::function<bool(const Screen&)>& seen, int ms = 20000) const {
    Screen s;
    PumpUntil([&] { return seen(s = Shot()); }, ms);
    return s;
  }
  bool Sees(const std::function<bool(const Screen&)>& seen) const { return seen(Await(seen)); }
  // The screen once the window has drawn everything: two shots alike.
  Screen Settled() const {
    Screen last = Shot();
    return Await([&](const Screen& s) { return std::exchange(last, s).rgb == s.rgb; });
  }
  // When each lit lamp step came on the virtual port (a new byte other than 0).
  std::vector<long long> LampSteps() const {
    std::istringstream in(kaztest::ReadFile(prefix + "/port/" + kDlPortLogName));
    std::string ns, port, byte;
    std::vector<long long> steps;
    int last = -1;
    while (in >> ns >> port >> byte) {
      if (port != "0378") continue;
      const int b = std::stoi(byte, nullptr, 16);
      if (b != 0 && b != last) steps.push_back(std::stoll(ns));
      last = b;
    }
    return steps;
  }

  std::string prefix, window;
  int player = -1, lights = -1;
  int ox = 0, oy = 0;
};

TEST_F(EndToEnd, TracksGoFromTheExplorerToTheDecksAndPlaylistsAndPlay) {
  player = kaztest::Spawn(std::string(KAZ_BIN_DIR) + "/kazpro", {});
  ASSERT_GT(player, 0);
  ASSERT_TRUE(FindWindow()) << "the player's window did not show, or its splash did not leave";
  const Screen start = Settled();

  // A double click on the title opens the about box; its "X" closes it at the first click.
  Click(kTitleX, kTitleY, 2);
  const auto about = [&](const Screen& s) { return s.Changed(start, ox, oy, kAbout); };
  EXPECT_TRUE(Sees([&](const Screen& s) { return about(s) > 5000; })) << "no about box";
  Click(kAboutCloseX, kAboutCloseY);
  EXPECT_TRUE(Sees([&](const Screen& s) { return about(s) < 100; }))
      << "the about box is still open";

  // The root of C: lists "Music" first; a double click opens it: the way up, then a to d.
  Click(kExplorerX, kExplorerRow0, 2);
  auto row = [](int i) { return kExplorerRow0 + i * kRowHeight; };
  const Screen opened =
      Await([&](const Screen& s) { return s.Changed(start, ox, oy, kPanels) > 0; });
  // The next click after the double click counts: EQUALIZER shows its panel.
  Click(kPanelButtonX, kEqualizerY);
  EXPECT_TRUE(Sees([&](const Screen& s) { return s.Changed(opened, ox, oy, kPanels) > 5000; }))
      << "EQUALIZER did not show its panel";
  Click(kPanelButtonX, kExplorerY);

  Drag(kExplorerX, row(1), kDeck1X, kDeckY);  // a onto deck 1
  Drag(kExplorerX, row(2), kDeck2X, kDeckY);  // b onto deck 2
  Drag(kExplorerX, row(3), kList1X, kListY);  // c into playlist 1
  Drag(kExplorerX, row(4), kList2X, kListY);  // d into playlist 2
  const Screen loaded = Await([&](const Screen& s) {
    return s.Changed(start, ox, oy, kTitle1) > 8 && s.Changed(start, ox, oy, kTitle2) > 8 &&
           s.Lit(ox, oy, kList1) > 10 && s.Lit(ox, oy, kList2) > 10;
  });
  EXPECT_GT(loaded.Changed(start, ox, oy, kTitle1), 8) << "deck 1 shows no title";
  EXPECT_GT(loaded.Changed(start, ox, oy, kTitle2), 8) << "deck 2 shows no title";
  EXPECT_EQ(start.Lit(ox, oy, kList1), 0);
  EXPECT_GT(loaded.Lit(ox, oy, kList1), 10) << "playlist 1 is empty";
  EXPECT_GT(loaded.Lit(ox, oy, kList2), 10) << "playlist 2 is empty";

  // The light controller, put over the lower panels with the "SPOTS" button.
  lights = kaztest::Spawn(std::string(KAZ_BIN_DIR) + "/BeamExe", {});
  ASSERT_GT(lights, 0);
  ASSERT_FALSE(kaztest::FindWindow("^Beam FX$").empty()) << "the light controller did not show";
  Click(kSpotsX, kSpotsY);

  // Without beats the lamps keep still.
  const std::size_t idle = LampSteps().size();
  PumpFor(3000);
  EXPECT_LE(LampSteps().size() - idle, 1u) << "the lamps step without any beat";

  // Deck 1 plays: the lamps step on its beats, 128 a minute: about 13 in six seconds from
  // the first.
  const std::size_t before = LampSteps().size();
  Xdo("mousemove " + At(kPlay1X, kPlayY) + " click 1");
  std::vector<long long> steps;
  PumpUntil(
      [&] {
        steps = LampSteps();
        steps.erase(steps.begin(), steps.begin() + static_cast<long>(before));
        return !steps.empty() && steps.back() - steps.front() >= 6'000'000'000;
      },
      20000);
  const auto stepped = std::count_if(
      steps.begin(), steps.end(), [&](long long ns) { return ns - steps.front() < 6'000'000'000; });
  std::printf("lamp steps in six seconds of play: %ld\n", static_cast<long>(stepped));
  EXPECT_GE(stepped, 6) << "the lamps did not follow deck 1's beats";
  EXPECT_LE(stepped, 26);

  // Twelve seconds before the end of the 30-second track (the settings file asks for that)
  // the mix starts deck 2 and fades over four seconds; then deck 1 stops and takes the next
  // title of its playlist.
  const Screen mixing = Shot();
  const Screen after = Await([&](const Screen& s) { return s.Lit(ox, oy, kList1) == 0; }, 60000);
  EXPECT_EQ(after.Lit(ox, oy, kList1), 0) << "playlist 1 did not give its title";
  // Its time has moved on: usually three digits differ (40 or so pixels), but a shot taken at
  // a whole second differs in the seconds digit alone, about 10.
  EXPECT_GT(after.Changed(mixing, ox, oy, kPos2), 5) << "deck 2's time did not move";
  EXPECT_GT(after.Lit(ox, oy, kList2), 10);

  // Closed by the window manager, each program keeps its own close rules: the light
  // controller gives up its key and its power; the player, mid-play, asks "Confirm Exit ?"
  // first and ends only on "Yes", writing its settings.
  AskToClose(kaztest::FindWindow("^Beam FX$"));
  EXPECT_EQ(kaztest::WaitExit(lights, 20000), 0) << "the light controller did not close";
  lights = -1;
  const std::string ini = prefix + "/windows/KAZ_PRO.ini";
  EXPECT_NE(kaztest::ReadFile(ini).find("spots=0"), std::string::npos);
  EXPECT_NE(kaztest::ReadFile(prefix + "/windows/Spots.ini").find("Power=0"), std::string::npos);
  AskToClose(window);
  EXPECT_TRUE(PumpUntil([&] { return ShownWindows(player) == 2; }, 20000)) << "no question";
  EXPECT_EQ(kaztest::TryWait(player), -1) << "the player ended without asking";
  Click(kConfirmYesX, kConfirmYesY);
  EXPECT_EQ(kaztest::WaitExit(player, 20000), 0) << "the player did not end on \"Yes\"";
  player = -1;
  EXPECT_NE(kaztest::ReadFile(ini).find("KAZ=0"), std::string::npos);
}

}  // namespace
