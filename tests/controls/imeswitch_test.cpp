// Opening the input method at start: the requests Fcitx 5 and IBus receive,
// on a bus of the test's own with stand-ins for both frameworks.
#include <gtest/gtest.h>

#include <QDBusConnection>
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

class FakeIBus : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.IBus")
  Q_PROPERTY(QStringList PreloadEngines READ PreloadEngines)
 public:
  QStringList engines{"xkb:jp::jpn", "mozc-jp"};
  QStringList set;
  QStringList PreloadEngines() const { return engines; }
 public slots:
  void SetGlobalEngine(const QString& name) { set << name; }
};

namespace {

TEST(ImeSwitch, EngineChoice) {
  EXPECT_EQ(ChooseIBusEngine({"xkb:jp::jpn", "mozc-jp", "anthy"}, true), "mozc-jp");
  EXPECT_EQ(ChooseIBusEngine({"anthy", "xkb:us::eng", "xkb:jp::jpn"}, false), "xkb:us::eng");
  EXPECT_EQ(ChooseIBusEngine({"xkb:jp::jpn"}, true), "");
  EXPECT_EQ(ChooseIBusEngine({}, false), "");
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
    ASSERT_TRUE(service.registerObject("/controller", &fcitx, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.fcitx.Fcitx5"));
    ASSERT_TRUE(service.registerObject("/org/freedesktop/IBus", &ibus,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(service.registerService("org.freedesktop.IBus"));

    RequestFcitxOpen(true, client);
    RequestFcitxOpen(false, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fcitx.calls.size() == 2; }, 3000));
    EXPECT_EQ(fcitx.calls, (QStringList{"Activate", "Deactivate"}));

    RequestIBusOpen(true, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ibus.set.size() == 1; }, 3000));
    RequestIBusOpen(false, client);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ibus.set.size() == 2; }, 3000));
    EXPECT_EQ(ibus.set, (QStringList{"mozc-jp", "xkb:jp::jpn"}));
    ibus.engines = {"xkb:jp::jpn"};  // no input method to open: nothing is set
    RequestIBusOpen(true, client);
    QTest::qWait(100);
    EXPECT_EQ(ibus.set.size(), 2);
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
