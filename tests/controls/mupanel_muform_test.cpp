// Caption panels and the form base: clicks, colours, hints, destruction and
// commands found by name.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

#include "controls/muform.h"
#include "controls/mupanel.h"

namespace wendul {
namespace {

TEST(TmuPanel, CaptionColoursAndClick) {
  TmuPanel pn;
  EXPECT_EQ(pn.Caption(), " ");
  EXPECT_FALSE(pn.IsIni);
  pn.SetCaption(QString::fromUtf8("最新単語"));
  pn.resize(100, 22);
  pn.show();

  pn.SetFocusLook(true);
  EXPECT_EQ(pn.Color(), QColor(74, 105, 165));
  EXPECT_EQ(pn.FontColor(), QColor(Qt::white));
  EXPECT_EQ(pn.palette().color(QPalette::Window), QColor(74, 105, 165));
  pn.SetFocusLook(false);
  EXPECT_EQ(pn.Color(), pn.ButtonFaceColor());
  EXPECT_EQ(pn.FontColor(), QColor(Qt::black));

  QSignalSpy clicked(&pn, &TmuPanel::clicked);
  QTest::mouseClick(&pn, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicked.count(), 1);
  QTest::mouseClick(&pn, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicked.count(), 1);

  // Colour values as the settings file keeps them (0x00BBGGRR).
  EXPECT_EQ(TmuPanel::ToTColor(QColor(74, 105, 165)), 10840394u);
  EXPECT_EQ(TmuPanel::FromTColor(9605778u), QColor(146, 146, 146));
  EXPECT_EQ(TmuPanel::FromTColor(0x8000000Fu), QGuiApplication::palette().color(QPalette::Button));
}

class CommandHost : public QObject {
  Q_OBJECT
 public:
  QObject* lastSender = nullptr;
  int runs = 0;
 public slots:
  void CnSeekWord(QObject* sender) {
    ++runs;
    lastSender = sender;
  }
  void CnAppClose(QObject*) { ++runs; }
  void Helper(QObject*) { ++runs; }  // not a command: no "Cn" prefix
};

TEST(TmuForm, CommandsAreFoundByNameAndOnlyCommands) {
  CommandHost host;
  QObject sender;
  EXPECT_TRUE(TmuForm::InvokeCommand(&host, "CnSeekWord", &sender));
  EXPECT_EQ(host.runs, 1);
  EXPECT_EQ(host.lastSender, &sender);
  EXPECT_FALSE(TmuForm::InvokeCommand(&host, "CnSetFocusKwd", &sender));  // no such command
  EXPECT_FALSE(TmuForm::InvokeCommand(&host, "Helper", &sender));
  EXPECT_FALSE(TmuForm::InvokeCommand(&host, "deleteLater", &sender));
  EXPECT_FALSE(TmuForm::InvokeCommand(nullptr, "CnSeekWord", &sender));
  EXPECT_EQ(host.runs, 1);
  EXPECT_TRUE(TmuForm::HasCommand(&host, "CnAppClose"));
  EXPECT_EQ(TmuForm::CommandNames(&host), (QStringList{"CnSeekWord", "CnAppClose"}));
}

TEST(TmuForm, HintsAndDestruction) {
  auto* form = new TmuForm;
  EXPECT_TRUE(form->IsAutoHint);
  form->statusBar();  // the automatic hint shows in an existing status bar
  QSignalSpy hints(form, &TmuForm::OnAppHint);
  QStatusTipEvent tip(QStringLiteral("hint one"));
  QApplication::sendEvent(form, &tip);
  ASSERT_EQ(hints.count(), 1);
  EXPECT_EQ(hints.at(0).at(0).toString(), "hint one");
  EXPECT_EQ(form->statusBar()->currentMessage(), "hint one");

  // Without the automatic hint the text only reaches the handler.
  form->IsAutoHint = false;
  QStatusTipEvent tip2(QStringLiteral("hint two"));
  QApplication::sendEvent(form, &tip2);
  EXPECT_EQ(hints.count(), 2);
  EXPECT_EQ(form->statusBar()->currentMessage(), "hint one");

  // OnDestroyMU fires while the child controls still exist.
  auto* child = new TmuPanel(form);
  child->setObjectName("pnChild");
  QString seen;
  QObject::connect(form, &TmuForm::OnDestroyMU, [&](TmuForm* f) {
    auto* p = f->findChild<TmuPanel*>("pnChild");
    seen = p ? p->Caption() : QString("gone");
  });
  child->SetCaption("kept");
  delete form;
  EXPECT_EQ(seen, "kept");
}

}  // namespace
}  // namespace wendul

#include "mupanel_muform_test.moc"
