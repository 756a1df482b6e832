// Opening or closing the input method at start-up. Qt cannot switch a
// platform input method, but the frameworks have their own interfaces on
// D-Bus: Fcitx 5's controller (Activate / Deactivate) on the session bus,
// and IBus's own bus (SetGlobalEngine, choosing a Japanese engine among
// those the user preloads, or a keyboard layout to close). Where neither
// answers, nothing happens and nobody is told.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace wendul {

// Asks whichever framework runs; the calls do not wait for an answer.
void RequestInputMethodOpen(bool open);

// The Fcitx 5 request on a given bus (tests run a bus of their own).
void RequestFcitxOpen(bool open, const QDBusConnection& bus);
// The IBus request on a given IBus bus: reads the preloaded engines, then
// sets the global engine chosen by ChooseIBusEngine (nothing when none fits).
void RequestIBusOpen(bool open, const QDBusConnection& ibusBus);

// The engine that opens (an input method engine, not "xkb:...") or closes
// (the first keyboard layout "xkb:...") among the preloaded engines; empty
// when there is none.
QString ChooseIBusEngine(const QStringList& preloadEngines, bool open);
// The address of the user's IBus bus for this display (IBUS_ADDRESS or the
// address file IBus writes); empty when there is none.
QString IBusAddress();

}  // namespace wendul
