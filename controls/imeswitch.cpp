#include "controls/imeswitch.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTimer>
#include <functional>

namespace wendul {

void RequestFcitxOpen(bool open, const QDBusConnection& bus) {
  if (!bus.isConnected()) return;
  QDBusMessage m = QDBusMessage::createMethodCall("org.fcitx.Fcitx5", "/controller", "org.fcitx.Fcitx.Controller1",
                                                  open ? "Activate" : "Deactivate");
  // No reply wanted: a bus without Fcitx answers with an error nobody reads.
  m.setAutoStartService(false);
  bus.asyncCall(m);
}

QString ChooseIBusEngine(const QString& global, const QList<IBusEngine>& loaded, const QList<IBusEngine>& known,
                         bool open) {
  auto isLayout = [](const QString& name) { return name.startsWith("xkb:"); };
  const bool imOn = !global.isEmpty() && !isLayout(global);
  if (!open) {
    if (!imOn) return QString();
    for (const IBusEngine& e : loaded)
      if (isLayout(e.name)) return e.name;
    return QString();
  }
  if (imOn) return global;
  for (const IBusEngine& e : loaded)
    if (!e.name.isEmpty() && !isLayout(e.name)) return e.name;
  const IBusEngine* best = nullptr;
  for (const IBusEngine& e : known)
    if (e.language == "ja" && !e.name.isEmpty() && !isLayout(e.name) && (!best || e.rank > best->rank)) best = &e;
  return best ? best->name : QString();
}

namespace {

const char kIBusService[] = "org.freedesktop.IBus";
const char kIBusPath[] = "/org/freedesktop/IBus";

// An IBusEngineDesc as the daemon sends it: ("IBusEngineDesc", a{sv}, name,
// long name, description, language, license, author, icon, layout, rank, ...).
IBusEngine ReadEngine(const QVariant& v) {
  IBusEngine out;
  const QVariant inner = v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
  if (!inner.canConvert<QDBusArgument>()) return out;
  const QDBusArgument arg = inner.value<QDBusArgument>();
  if (arg.currentType() != QDBusArgument::StructureType) return out;
  QString type, longName, description, license, author, icon, layout;
  QVariantMap attachments;
  arg.beginStructure();
  arg >> type >> attachments >> out.name >> longName >> description >> out.language >> license >> author >> icon >>
      layout >> out.rank;
  arg.endStructure();
  return out;
}

QList<IBusEngine> ReadEngines(const QVariant& v) {
  QList<IBusEngine> out;
  if (!v.canConvert<QDBusArgument>()) return out;
  const QDBusArgument arg = v.value<QDBusArgument>();
  if (arg.currentType() != QDBusArgument::ArrayType) return out;
  arg.beginArray();
  while (!arg.atEnd()) {
    QDBusVariant e;
    arg >> e;
    out.append(ReadEngine(e.variant()));
  }
  arg.endArray();
  return out;
}

// Hiragana from the engine of the focused input context: the name Mozc,
// Anthy and kkc give that mode; an engine without it ignores the request.
// The daemon takes it only from the context's owner: Qt's IBus plugin,
// whose connection to the daemon is named "QIBusProxy" in this process.
void AskHiragana(const QDBusConnection& bus, const QString& context) {
  if (context.isEmpty() || context == "/") return;
  QDBusMessage m = QDBusMessage::createMethodCall(kIBusService, context, "org.freedesktop.IBus.InputContext",
                                                  "PropertyActivate");
  m << QString("InputMode.Hiragana") << uint(1);  // PROP_STATE_CHECKED
  m.setAutoStartService(false);
  const QDBusConnection owner("QIBusProxy");
  (owner.isConnected() ? owner : bus).asyncCall(m);
}

// Calls `then` once the global engine changed (its engine exists then), or
// after a second at most: when the waiter goes.
void WhenGlobalEngineChanged(const QDBusConnection& bus, std::function<void()> then) {
  auto* waiter = new QObject;
  QObject::connect(waiter, &QObject::destroyed, std::move(then));
  QDBusConnection(bus).connect(kIBusService, kIBusPath, kIBusService, "GlobalEngineChanged", waiter,
                               SLOT(deleteLater()));
  QTimer::singleShot(1000, waiter, &QObject::deleteLater);
}

}  // namespace

void RequestIBusOpen(bool open, const QDBusConnection& ibusBus) {
  if (!ibusBus.isConnected()) return;
  // IBus 1.5.27 no longer lets PreloadEngines be read; what it has loaded
  // (ActiveEngines) and what it knows (Engines) still can.
  QDBusMessage get = QDBusMessage::createMethodCall(kIBusService, kIBusPath, "org.freedesktop.DBus.Properties", "GetAll");
  get << QString(kIBusService);
  get.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(ibusBus.asyncCall(get));
  QDBusConnection bus = ibusBus;
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [open, bus](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    QDBusPendingReply<QVariantMap> reply = *w;
    if (reply.isError()) return;
    const QVariantMap props = reply.value();
    const QString global = ReadEngine(props.value("GlobalEngine")).name;
    const QString engine = ChooseIBusEngine(global, ReadEngines(props.value("ActiveEngines")),
                                            ReadEngines(props.value("Engines")), open);
    if (engine.isEmpty()) return;
    const QString context = props.value("CurrentInputContext").value<QDBusObjectPath>().path();
    if (engine == global) {
      if (open) AskHiragana(bus, context);
      return;
    }
    if (open) WhenGlobalEngineChanged(bus, [bus, context] { AskHiragana(bus, context); });
    QDBusMessage set = QDBusMessage::createMethodCall(kIBusService, kIBusPath, kIBusService, "SetGlobalEngine");
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
