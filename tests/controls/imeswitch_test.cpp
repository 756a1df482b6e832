// Opening the input method at start: the requests Fcitx 5 and IBus receive,
// on a bus of the test's own with stand-ins for both frameworks.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTest>

#include "controls/imeswitch.h"

namespace wendul {

class FakeFcitx : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.fcitx.Fcitx.Controller1")
 public:
  QStringList calls;
 public slots:
  void Activate() { calls << "Activate"; }
  void Deactivate() { calls << "Deactivate"; }
};

// IBus 1.5.27 as its daemon answers: PreloadEngines can be written, not
// read; the global engine, the loaded and the known engines are engine
// descriptions.
class FakeIBus : public QDBusVirtualObject {
 public:
  QString global = "xkb:jp::jpn";
  QStringList loaded;
  QStringList set;

  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
    if (m.member() == "Get") {
      bus.send(m.createErrorReply(QDBusError::AccessDenied, "Property PreloadEngines is not readable"));
    } else if (m.member() == "GetAll") {
      QVariantMap props;
      props["GlobalEngine"] = QVariant::fromValue(Desc(global));
      props["ActiveEngines"] = QVariant::fromValue(List(loaded));
      props["Engines"] = QVariant::fromValue(List({"xkb:jp::jpn", "xkb:us::eng", "anthy", "mozc-jp", "pinyin"}));
      props["CurrentInputContext"] = QVariant::fromValue(QDBusObjectPath("/org/freedesktop/IBus/InputContext_7"));
      bus.send(m.createReply(QVariant::fromValue(props)));
    } else if (m.member() == "SetGlobalEngine") {
      global = m.arguments().value(0).toString();
      set << global;
      bus.send(m.createReply());
      QDBusMessage changed =
          QDBusMessage::createSignal("/org/freedesktop/IBus", "org.freedesktop.IBus", "GlobalEngineChanged");
      changed << global;
      bus.send(changed);
    } else {
      return false;
    }
    return true;
  }

 private:
  static QDBusVariant Desc(const QString& name) {
    const bool layout = name.startsWith("xkb:");
    const QString language = name == "pinyin" ? "zh" : name == "xkb:us::eng" ? "en" : "ja";
    const uint rank = name == "mozc-jp" ? 80 : name == "pinyin" ? 99 : 50;
    QDBusArgument a;
    a.beginStructure();
    a << QString("IBusEngineDesc") << QVariantMap() << name << name << QString() << language << QString("GPL")
      << QString() << QString() << QString(layout ? name.mid(4, 2) : "default") << rank << QString()
      << QString("あ");
    a.endStructure();
    return QDBusVariant(QVariant::fromValue(a));
  }
  static QDBusArgument List(const QStringList& names) {
    QDBusArgument a;
    a.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const QString& n : names) a << Desc(n);
    a.endArray();
    return a;
  }
};

class FakeInputContext : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.IBus.InputContext")
 public:
  QStringList activated;
 public slots:
  void PropertyActivate(const QString& name, uint state) { activated << name + "=" + QString::number(state); }
};

namespace {

TEST(ImeSwitch, EngineChoice) {
  const QList<IBusEngine> known{{"xkb:jp::jpn", "ja", 50}, {"anthy", "ja", 50}, {"mozc-jp", "ja", 80},
                                {"pinyin", "zh", 99}};
  // Open: the input method already on, else the first one loaded, else the best Japanese one known.
  EXPECT_EQ(ChooseIBusEngine("anthy", {}, known, true), "anthy");
  EXPECT_EQ(ChooseIBusEngine("xkb:jp::jpn", {known[0], known[1], known[2]}, known, true), "anthy");
  EXPECT_EQ(ChooseIBusEngine("xkb:jp::jpn", {}, known, true), "mozc-jp");
  EXPECT_EQ(ChooseIBusEngine("", {}, {{"xkb:jp::jpn", "ja", 50}}, true), "");
  // Close: the first layout loaded, only while an input method is on.
  const IBusEngine us{"xkb:us::eng", "en", 50};
  EXPECT_EQ(ChooseIBusEngine("mozc-jp", {known[1], us, known[0]}, known, false), "xkb:us::eng");
  EXPECT_EQ(ChooseIBusEngine("xkb:jp::jpn", {us}, known, false), "");
  EXPECT_EQ(ChooseIBusEngine("mozc-jp", {}, known, false), "");
}

TEST(ImeSwitch, FrameworksReceiveTheRequestOnTheirBus) {
  QProcess daemon;
  daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  if (!daemon.waitForStarted(3000) || !daemon.waitForReadyRead(3000)) GTEST_SKIP() << "no dbus-daemon";
  const QString address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
  {
    QDBusConnection service = QDBusConnection::connectToBus(address, "ime-test-service");
    QDBusConnection client = QDBusConnection::connectToBus(address, "ime-test-client");
    ASSERT_TRUE(service.isConnected());
    FakeFcitx fcitx;
    FakeIBus ibus;
    FakeInputContext context;
    ASSERT_TRUE(service.registerObject("/controller", &fcitx, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.fcitx.Fcitx5"));
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/IBus", &ibus));
    ASSERT_TRUE(service.registerObject("/org/freedesktop/IBus/InputContext_7", &context, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.IBus"));

    RequestFcitxOpen(true, client);
    RequestFcitxOpen(false, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fcitx.calls.size() == 2; }, 3000));
    EXPECT_EQ(fcitx.calls, (QStringList{"Activate", "Deactivate"}));

    // Nothing loaded (no panel wrote the list): the best Japanese engine, then its hiragana.
    RequestIBusOpen(true, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return context.activated.size() == 1; }, 3000));
    EXPECT_EQ(ibus.set, QStringList{"mozc-jp"});
    EXPECT_EQ(context.activated, QStringList{"InputMode.Hiragana=1"});
    // Already on: hiragana only. Closing: the user's layout, no mode asked.
    RequestIBusOpen(true, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return context.activated.size() == 2; }, 3000));
    ibus.loaded = {"mozc-jp", "xkb:us::eng"};
    RequestIBusOpen(false, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ibus.set.size() == 2; }, 3000));
    EXPECT_EQ(ibus.set, (QStringList{"mozc-jp", "xkb:us::eng"}));
    QTest::qWait(50);
    EXPECT_EQ(context.activated.size(), 2);
  }
  QDBusConnection::disconnectFromBus("ime-test-service");
  QDBusConnection::disconnectFromBus("ime-test-client");
  daemon.kill();
  daemon.waitForFinished(3000);
}

TEST(ImeSwitch, NobodyAnsweringIsQuiet) {
  // A bus without either framework: the calls fail where nobody listens.
  QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "ime-test-none");
  RequestFcitxOpen(true, none);
  RequestIBusOpen(true, none);
  QTest::qWait(20);
  QDBusConnection::disconnectFromBus("ime-test-none");
  SUCCEED();
}

}  // namespace
}  // namespace wendul

#include "imeswitch_test.moc"
