// Windows that stay on top of the others.
//
// On X11 staying on top is a state the window manager keeps for a window (the "above"
// state of the desktop's window manager hints), asked for by a message to the root window
// while the window is mapped. Qt's own flag for it makes a new X window at the next
// showing, and a program that another program places (the lights over the player) must
// keep its window: so on X11 the state is asked for here, and asked again at each showing
// since the window manager forgets it when the window is withdrawn. Elsewhere Qt's flag
// does it.
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "classlib/ControlsPrivate.h"

#ifdef KAZ_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

constexpr const char* kTopmostProperty = "kazStaysOnTop";

#ifdef KAZ_HAVE_XCB
xcb_connection_t* X11Connection() {
  auto* app = qApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return app ? app->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  static std::map<std::string, xcb_atom_t> known;
  if (auto it = known.find(name); it != known.end()) return it->second;
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
  free(r);
  known.emplace(name, a);
  return a;
}

// Asks the window manager to add or remove the "above" state of a mapped window.
void AskAbove(xcb_connection_t* c, xcb_window_t w, bool on) {
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
  if (!tree) return;
  const xcb_window_t root = tree->root;
  free(tree);
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = w;
  ev.type = Atom(c, "_NET_WM_STATE");
  ev.data.data32[0] = on ? 1 : 0;  // add, remove
  ev.data.data32[1] = Atom(c, "_NET_WM_STATE_ABOVE");
  ev.data.data32[3] = 1;  // asked by an application
  xcb_send_event(c, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(c);
}
#endif

bool OnX11() {
#ifdef KAZ_HAVE_XCB
  return QGuiApplication::platformName() == "xcb" && X11Connection() != nullptr;
#else
  return false;
#endif
}

}  // namespace

bool StaysOnTop(QWidget* w) {
  return w->property(kTopmostProperty).toBool();
}

Qt::WindowFlags WithoutStayOnTopOnX11(Qt::WindowFlags f) {
  if (OnX11()) f &= ~Qt::WindowStaysOnTopHint;
  return f;
}

void SetStaysOnTop(QWidget* w, bool on) {
  const bool was = StaysOnTop(w);
  w->setProperty(kTopmostProperty, on);
  if (OnX11()) {
    ShowStaysOnTop(w);
    return;
  }
  if (was == on && bool(w->windowFlags() & Qt::WindowStaysOnTopHint) == on) return;
  Qt::WindowFlags f = w->windowFlags();
  f.setFlag(Qt::WindowStaysOnTopHint, on);
  SetTopLevelFlags(w, f);
}

void ShowStaysOnTop(QWidget* w) {
#ifdef KAZ_HAVE_XCB
  QWindow* win = w->windowHandle();
  if (!OnX11() || !w->isVisible() || !win || !win->handle()) return;
  const bool on = StaysOnTop(w);
  AskAbove(X11Connection(), static_cast<xcb_window_t>(win->winId()), on);
  // With no window manager nothing keeps the order: a window put on top goes there now.
  if (on) RaiseWindow(w);
#else
  (void)w;
#endif
}
