#include "app/x11keys.h"

#include <QGuiApplication>

#include "app/keystate.h"

#ifdef WENDUL_HAVE_XCB
#include <xcb/xcb.h>
// The XKB header names a field "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <QAbstractNativeEventFilter>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#endif

namespace wendul {

#ifdef WENDUL_HAVE_XCB
namespace {

class X11KeyFilter : public QObject, public QAbstractNativeEventFilter {
 public:
  X11KeyFilter(QObject* owner, KeyState* keys) : QObject(owner), keys_(keys) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~X11KeyFilter() override {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t kind = e->response_type & 0x7f;
    if (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE) {
      const auto* k = static_cast<const xcb_key_press_event_t*>(message);
      keys_->NativeKey(kind == XCB_KEY_PRESS, {k->detail, k->time, false});
    }
    return false;  // only watched: the event goes on as usual
  }

 private:
  KeyState* keys_;
};

// The server's key-repeat delay (XKB, which Qt has set up on its connection).
uint32_t ServerRepeatDelay(xcb_connection_t* c) {
  xcb_xkb_get_controls_reply_t* r =
      xcb_xkb_get_controls_reply(c, xcb_xkb_get_controls(c, XCB_XKB_ID_USE_CORE_KBD), nullptr);
  const uint32_t delay = r && r->repeatDelay > 0 ? r->repeatDelay : kDefaultRepeatDelay;
  std::free(r);
  return delay;
}

}  // namespace
#endif

void WatchNativeKeys(QObject* owner, KeyState* keys) {
#ifdef WENDUL_HAVE_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  keys->RepeatDelay = ServerRepeatDelay(x11->connection());
  new X11KeyFilter(owner, keys);
#else
  (void)owner;
  (void)keys;
#endif
}

}  // namespace wendul
