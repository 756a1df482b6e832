#include "controls/imeswitch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

namespace wendul {

void RequestFcitxOpen(bool open, const QDBusConnection& bus) {
  if (!bus.isConnected()) return;
  QDBusMessage m = QDBusMessage::createMethodCall("org.fcitx.Fcitx5", "/controller", "org.fcitx.Fcitx.Controller1",
                                                  open ? "Activate" : "Deactivate");
  // No reply wanted: a bus without Fcitx answers with an error nobody reads.
  m.setAutoStartService(false);
  bus.asyncCall(m);
}

QString ChooseIBusEngine(const QStringList& preloadEngines, bool open) {
  for (const QString& e : preloadEngines) {
    const bool layout = e.startsWith("xkb:");
    if (layout != open && !e.isEmpty()) return e;
  }
  return QString();
}

void RequestIBusOpen(bool open, const QDBusConnection& ibusBus) {
  if (!ibusBus.isConnected()) return;
  QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.IBus", "/org/freedesktop/IBus",
                                                    "org.freedesktop.DBus.Properties", "Get");
  get << QString("org.freedesktop.IBus") << QString("PreloadEngines");
  get.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(ibusBus.asyncCall(get));
  QDBusConnection bus = ibusBus;
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [open, bus](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    QDBusPendingReply<QDBusVariant> reply = *w;
    if (reply.isError()) return;
    const QString engine = ChooseIBusEngine(reply.value().variant().toStringList(), open);
    if (engine.isEmpty()) return;
    QDBusMessage set = QDBusMessage::createMethodCall("org.freedesktop.IBus", "/org/freedesktop/IBus",
                                                      "org.freedesktop.IBus", "SetGlobalEngine");
    set << engine;
    set.setAutoStartService(false);
    bus.asyncCall(set);
  });
}

QString IBusAddress() {
  const QByteArray env = qgetenv("IBUS_ADDRESS");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  QString machineId;
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    QFile f(QString::fromLatin1(path));
    if (f.open(QIODevice::ReadOnly)) {
      machineId = QString::fromLatin1(f.readAll()).trimmed();
      if (!machineId.isEmpty()) break;
    }
  }
  if (machineId.isEmpty()) return QString();
  // The file is named after the display: "<machine id>-<host or unix>-<number>",
  // or "...-unix-wayland-0" and the like under Wayland.
  QString suffix;
  const QString wayland = QString::fromLocal8Bit(qgetenv("WAYLAND_DISPLAY"));
  const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
  if (!wayland.isEmpty()) {
    suffix = "unix-" + wayland;
  } else {
    static const QRegularExpression re("^([^:]*):(\\d+)");
    const QRegularExpressionMatch m = re.match(display);
    if (!m.hasMatch()) return QString();
    suffix = (m.captured(1).isEmpty() ? QStringLiteral("unix") : m.captured(1)) + "-" + m.captured(2);
  }
  QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
  if (config.isEmpty()) config = QDir::homePath() + "/.config";
  QFile f(config + "/ibus/bus/" + machineId + "-" + suffix);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.startsWith("IBUS_ADDRESS=")) return QString::fromLocal8Bit(line.mid(13)).trimmed();
  }
  return QString();
}

void RequestInputMethodOpen(bool open) {
  // No input method serves windows that are never on a screen.
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
  // Only a session bus that is there: asking for one would start a bus
  // daemon of its own.
  const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (!qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty() || (!runtime.isEmpty() && QFile::exists(runtime + "/bus")))
    RequestFcitxOpen(open, QDBusConnection::sessionBus());
  const QString address = IBusAddress();
  if (!address.isEmpty()) RequestIBusOpen(open, QDBusConnection::connectToBus(address, "wendul-ibus"));
}

}  // namespace wendul
