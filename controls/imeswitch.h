// Opening or closing the input method at start-up. Qt cannot switch a
// platform input method, but the frameworks have their own interfaces on
// D-Bus: Fcitx 5's controller (Activate / Deactivate) on the session bus,
// and IBus's own bus: the global engine (a Japanese engine to open, a
// keyboard layout to close) and, to open, the engine's hiragana mode on the
// focused input context (Mozc starts in direct input). Where neither
// answers, nothing happens and nobody is told.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>

namespace wendul {

// Asks whichever framework runs; the calls do not wait for an answer.
void RequestInputMethodOpen(bool open);

// The Fcitx 5 request on a given bus (tests run a bus of their own).
void RequestFcitxOpen(bool open, const QDBusConnection& bus);
// The IBus request on a given IBus bus: reads the daemon's engines, sets the
// global engine chosen by ChooseIBusEngine and, to open, asks the focused
// input context's engine for hiragana.
void RequestIBusOpen(bool open, const QDBusConnection& ibusBus);

// An engine as IBus describes it.
struct IBusEngine {
  QString name;      // "mozc-jp", "xkb:jp::jpn"
  QString language;  // "ja"
  uint rank = 0;
};
// The engine that should be the global one. To open: the global engine when
// it is an input method (not a keyboard layout "xkb:..."), else the first
// input method the daemon has loaded (the user's list), else the
// highest-ranked Japanese input method it knows. To close, while an input
// method is on: the first keyboard layout it has loaded. Empty when none fits.
QString ChooseIBusEngine(const QString& global, const QList<IBusEngine>& loaded, const QList<IBusEngine>& known,
                         bool open);
// The address of the user's IBus bus for this display (IBUS_ADDRESS or the
// address file IBus writes); empty when there is none.
QString IBusAddress();

}  // namespace wendul
