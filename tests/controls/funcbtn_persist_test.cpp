// The function-key bar and its buttons, the push button and radio group,
// and the persistence every persisted control shares.
#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <sstream>

#include "controls/funcbtn.h"
#include "controls/inipersist.h"
#include "controls/mubuttons.h"
#include "controls/muform.h"
#include "controls/mupanel.h"
#include "controls/pagecontrol.h"
#include "support/test_support.h"

namespace wendul {

// A form with commands, as the main window has them.
class CommandForm : public TmuForm {
  Q_OBJECT
 public:
  CommandForm() { setObjectName("fmTest"); }
  QStringList ran;
  QObject* lastSender = nullptr;
  QColor colorWhileRunning;
 public slots:
  void CnOne(QObject* sender) {
    ran << "CnOne";
    lastSender = sender;
    if (auto* b = qobject_cast<TmuSpeedButton*>(sender)) colorWhileRunning = b->FontColor();
  }
  void CnTwo(QObject*) { ran << "CnTwo"; }
};

namespace {

using test::RecordingUi;
using test::TempDir;

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class IniScope {
 public:
  IniScope() : saved_(GIniFileName()) {
    GIniFileName() = dir.str() + "T.INI";
    ResetIniWriteFailureReport();
  }
  ~IniScope() { GIniFileName() = saved_; }
  std::string path() const { return GIniFileName(); }
  IniFile ini() const { return IniFile(GIniFileName()); }
  TempDir dir;

 private:
  std::string saved_;
};

// A bar of n buttons on a command form, loaded as the form's last step.
TFuncBtn* MakeBar(CommandForm& form, int n, int width, int height) {
  auto* bar = new TFuncBtn(&form);
  bar->setObjectName("FBtn");
  bar->NBtn = n;
  bar->resize(width, height);
  LoadIniControls(&form);
  return bar;
}

std::vector<int> Lefts(TFuncBtn* bar) {
  std::vector<int> x;
  for (int i = 1; i <= bar->ButtonCount(); ++i) x.push_back(bar->Button(i)->x());
  return x;
}

TEST(TFuncBtn, LayoutRuleGivesTheExactPixels) {
  IniScope scope;
  {
    CommandForm form;
    TFuncBtn* bar = new TFuncBtn(&form);
    bar->setObjectName("Func01");
    bar->GapWidth4Button = 9;
    bar->resize(512, 30);
    LoadIniControls(&form);
    EXPECT_EQ(Lefts(bar), (std::vector<int>{0, 41, 82, 123, 173, 214, 255, 296, 346, 387, 428, 469}));
    EXPECT_EQ(bar->Button(1)->width(), 41);
    EXPECT_EQ(bar->Button(12)->objectName(), "Func01_F12");
    EXPECT_EQ(bar->Button(3)->text(), "3");
    EXPECT_FALSE(bar->Button(3)->isEnabled());  // no command yet
  }
  {
    CommandForm form;
    TFuncBtn* bar = MakeBar(form, 12, 130, 24);
    EXPECT_EQ(bar->Button(1)->width(), 10);
    EXPECT_EQ(bar->Button(5)->x(), 45);
    EXPECT_EQ(bar->Button(9)->x(), 90);
    // 24 pixels high, FontSize 0: 9.6 rounds to 10.
    EXPECT_EQ(bar->Button(1)->font().pointSize(), 10);
    bar->FontSize = 7;
    bar->LayoutButtons();
    EXPECT_EQ(bar->Button(1)->font().pointSize(), 7);
  }
  {
    CommandForm form;
    TFuncBtn* bar = MakeBar(form, 6, 512, 30);
    bar->GapWidth4Button = 20;  // no effect without twelve buttons
    bar->LayoutButtons();
    EXPECT_EQ(Lefts(bar), (std::vector<int>{0, 85, 170, 255, 340, 425}));
    EXPECT_EQ(bar->Button(6)->width(), 85);
    EXPECT_EQ(bar->Button(7), nullptr);
  }
}

TEST(TFuncBtn, DispatchRunsBoundButtonsRedAndNeverOthers) {
  IniScope scope;
  RecordingUi ui;
  CommandForm form;
  TFuncBtn* bar = MakeBar(form, 6, 300, 30);
  EXPECT_TRUE(bar->Button(3)->BindCommand("CnOne"));
  EXPECT_TRUE(bar->Button(3)->isEnabled());

  EXPECT_TRUE(bar->DispatchFunctionKey(Qt::Key_F3, Qt::NoModifier));
  EXPECT_EQ(form.ran, QStringList{"CnOne"});
  EXPECT_EQ(form.lastSender, bar->Button(3));
  EXPECT_EQ(form.colorWhileRunning, QColor(Qt::red));
  EXPECT_NE(bar->Button(3)->FontColor(), QColor(Qt::red));  // back afterwards

  EXPECT_FALSE(bar->DispatchFunctionKey(Qt::Key_F3, Qt::ShiftModifier));
  EXPECT_FALSE(bar->DispatchFunctionKey(Qt::Key_F3, Qt::NoModifier, Qt::LeftButton));
  EXPECT_EQ(form.ran.size(), 1);
  bar->IsShift = true;
  EXPECT_TRUE(bar->DispatchFunctionKey(Qt::Key_F3, Qt::ShiftModifier));
  EXPECT_EQ(form.ran.size(), 2);

  EXPECT_FALSE(bar->DispatchFunctionKey(Qt::Key_F7, Qt::NoModifier));  // no button 7
  EXPECT_FALSE(bar->DispatchFunctionKey(Qt::Key_A, Qt::NoModifier));
  EXPECT_TRUE(bar->DispatchFunctionKey(Qt::Key_F2, Qt::NoModifier));  // unbound: nothing
  bar->SetButton(2, "x", "hint");  // enabled, still no action
  EXPECT_TRUE(bar->Button(2)->isEnabled());
  EXPECT_EQ(bar->Button(2)->text(), "x");
  EXPECT_TRUE(bar->DispatchFunctionKey(Qt::Key_F2, Qt::NoModifier));
  EXPECT_EQ(form.ran.size(), 2);

  // Defaults bind only an empty button; a name that is no command binds nothing.
  bar->BindDefault(3, "CnTwo");
  EXPECT_EQ(bar->Button(3)->CommandName, "CnOne");
  bar->BindDefault(4, "CnNoSuch");
  EXPECT_FALSE(bar->Button(4)->OnClick());
  EXPECT_FALSE(bar->Button(4)->BindCommand("  "));
  EXPECT_FALSE(bar->Button(4)->BindCommand("deleteLater"));  // only commands
  bar->Button(3)->UnbindCommand();
  EXPECT_FALSE(bar->Button(3)->isEnabled());
  EXPECT_TRUE(bar->Button(3)->CommandName.isEmpty());

  // A click runs the command too, red meanwhile.
  bar->Button(5)->BindCommand("CnOne");
  bar->show();
  QTest::mouseClick(bar->Button(5), Qt::LeftButton);
  EXPECT_EQ(form.ran.last(), "CnOne");
  EXPECT_EQ(form.lastSender, bar->Button(5));
  EXPECT_EQ(form.colorWhileRunning, QColor(Qt::red));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(TFuncBtn, ButtonsKeepTheirCommandsInTheSettingsFile) {
  IniScope scope;
  scope.ini().WriteStrings({{"fmTest", "FBtn_F01", "CnTwo"}, {"fmTest", "FBtn_F02", "CnNoSuch"},
                            {"fmTest", "FBtn_F03", "close"}});
  {
    CommandForm form;
    TFuncBtn* bar = MakeBar(form, 4, 200, 30);
    EXPECT_EQ(bar->Button(1)->CommandName, "CnTwo");
    EXPECT_TRUE(bar->Button(1)->isEnabled());
    EXPECT_TRUE(bar->Button(2)->CommandName.isEmpty());  // not a command: unbound, quietly
    EXPECT_FALSE(bar->Button(3)->OnClick());
    bar->Button(4)->BindCommand("CnOne");
    EXPECT_TRUE(StoreIniControls(&form));
  }
  IniFile ini = scope.ini();
  EXPECT_EQ(ini.ReadString("fmTest", "FBtn_F01", "?"), "CnTwo");
  EXPECT_EQ(ini.ReadString("fmTest", "FBtn_F02", "?"), "");
  EXPECT_EQ(ini.ReadString("fmTest", "FBtn_F03", "?"), "");
  EXPECT_EQ(ini.ReadString("fmTest", "FBtn_F04", "?"), "CnOne");
}

TEST(TmuButton, SkipClickCallsTheHandlerOnReleaseOnly) {
  TmuButton bt(QString::fromUtf8("とても長い見出しは折り返して表示されます"), nullptr);
  bt.resize(80, 60);
  bt.show();
  QSignalSpy clicked(&bt, &QPushButton::clicked);
  QSignalSpy pressed(&bt, &QPushButton::pressed);
  bt.IsSkipClick = true;
  QTest::mousePress(&bt, Qt::LeftButton);
  EXPECT_FALSE(bt.isDown());
  EXPECT_EQ(pressed.count(), 0);
  EXPECT_EQ(clicked.count(), 0);
  QTest::mouseRelease(&bt, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_FALSE(bt.hasFocus());
  QTest::mouseDClick(&bt, Qt::LeftButton);
  EXPECT_EQ(pressed.count(), 0);
  // Keyboard activation is untouched.
  const auto before = clicked.count();
  QTest::keyClick(&bt, Qt::Key_Space);
  EXPECT_EQ(pressed.count(), 1);
  EXPECT_EQ(clicked.count(), before + 1);
  bt.IsSkipClick = false;
  QTest::mouseClick(&bt, Qt::LeftButton);
  EXPECT_EQ(pressed.count(), 2);
  EXPECT_EQ(clicked.count(), before + 2);
  // The wrapped caption needs more than one line at this width.
  EXPECT_GT(bt.sizeHint().height(), 2 * bt.fontMetrics().height());
}

TEST(TmuGroupBox, LoadsTheStoredButtonAndKeepsTheFormsChoiceForAnUnknownName) {
  IniScope scope;
  RecordingUi ui;
  auto build = [](QWidget& form) {
    auto* g = new TmuGroupBox("g", &form);
    g->setObjectName("gbox_Test");
    g->IsIni = true;
    for (const char* n : {"rb_Test_A", "rb_Test_B"}) {
      auto* rb = new QRadioButton(n, g);
      rb->setObjectName(n);
      QObject::connect(rb, &QRadioButton::toggled, g, [g, rb](bool on) {
        if (on) g->CheckedName = rb->objectName();
      });
    }
    g->findChild<QRadioButton*>("rb_Test_A")->setChecked(true);
    LoadIniControls(&form);
    return g;
  };
  for (const char* stored : {"rb_Test_B", "rb_Test_Nothing", "", "rb_test_b"}) {
    scope.ini().WriteString("fmGroups", "gbox_Test", stored);
    QWidget form;
    form.setObjectName("fmGroups");
    TmuGroupBox* g = build(form);
    const bool taken = std::string(stored) == "rb_Test_B";
    EXPECT_EQ(g->CheckedName, taken ? "rb_Test_B" : "rb_Test_A") << stored;
    EXPECT_EQ(g->findChild<QRadioButton*>("rb_Test_B")->isChecked(), taken) << stored;
    EXPECT_FALSE(g->focusPolicy() & Qt::TabFocus);
    StoreIniControls(&form);
    EXPECT_EQ(scope.ini().ReadString("fmGroups", "gbox_Test", "?"), taken ? "rb_Test_B" : "rb_Test_A");
  }
  // No stored value: the form's button, written at the end.
  IniFile(scope.path()).DeleteKey("fmGroups", "gbox_Test");
  {
    QWidget form;
    form.setObjectName("fmGroups");
    EXPECT_EQ(build(form)->CheckedName, "rb_Test_A");
  }  // destroyed without the form's store: the group stores itself
  EXPECT_EQ(scope.ini().ReadString("fmGroups", "gbox_Test", "?"), "rb_Test_A");
  EXPECT_TRUE(ui.messages.empty());
}

TEST(IniPersistence, NamesAreCheckedAndAnUnwritableFileIsReportedOnce) {
  IniScope scope;
  RecordingUi ui;
  QWidget form;
  auto* pn = new TmuPanel(&form);
  pn->setObjectName("pnX");
  // Owner first on write, file name first on read.
  EXPECT_THROW(WriteIni(pn, "1"), GeneralError);
  try {
    WriteIni(pn, "1");
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "err WriteIni Owner.Name=\"\" ");
  }
  try {
    ReadIni(pn, "");
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "err ReadIni obj.Owner.Name=''");
  }
  form.setObjectName("fmX");
  GIniFileName() = "  ";
  try {
    ReadIni(pn, "");
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "err ReadIni GIniFileName=''");
  }
  try {
    WriteIni(pn, "1");
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "err WriteIni GIniFileName=\"\" fmX");
  }
  pn->IsIni = true;
  try {
    pn->RunLoaded();
    FAIL() << "loaded without a file";
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "TmuPanel.Create");
  }

  // A folder where the file should be: nothing is written, one message for the run.
  GIniFileName() = scope.dir.str() + "plain/WENDUL.INI";
  { std::ofstream(scope.dir.str() + "plain") << "x"; }
  ui.beeps = 0;
  EXPECT_FALSE(StoreIniControls(&form));
  WriteIni(pn, "1");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("plain/WENDUL.INI"), std::string::npos);
  EXPECT_EQ(ui.beeps, 1);
  pn->IsIni = false;  // it has stored (and failed) once
}

TEST(IniPersistence, PanelColoursLoadUnchangedAndGarbageKeepsTheDefault) {
  IniScope scope;
  std::ofstream(scope.path(), std::ios::binary)
      << "[fmColors]\r\npnA_Color=-2147483640\r\npnA_Font_Color=255\r\n"
         "pnB_Color=yellow\r\npnB_Font_Color=\r\npnB_Color=0\r\npnC_Color=\x83\x41\r\npnC_Font_Color=65280";
  {
    QWidget form;
    form.setObjectName("fmColors");
    TmuPanel* p[3];
    const char* names[] = {"pnA", "pnB", "pnC"};
    for (int i = 0; i < 3; ++i) {
      p[i] = new TmuPanel(&form);
      p[i]->setObjectName(names[i]);
      p[i]->SetColorValue(0x00FFFF);
      p[i]->SetFontColorValue(0);
      p[i]->IsIni = true;
    }
    LoadIniControls(&form);
    EXPECT_EQ(p[0]->ColorValue(), -2147483640);  // a system colour, kept as it is
    EXPECT_EQ(p[0]->Color(), QGuiApplication::palette().color(QPalette::Text));
    EXPECT_EQ(p[0]->FontColorValue(), 255);
    EXPECT_EQ(p[0]->FontColor(), QColor(255, 0, 0));
    EXPECT_EQ(p[1]->ColorValue(), 0x00FFFF);  // not a number (the first key wins)
    EXPECT_EQ(p[1]->FontColorValue(), 0);
    EXPECT_EQ(p[2]->ColorValue(), 0x00FFFF);  // code page 932 bytes
    EXPECT_EQ(p[2]->FontColorValue(), 65280);   // the last line without a line break
    p[2]->SetColor(QColor(0, 0, 255));
    EXPECT_TRUE(StoreIniControls(&form));
    EXPECT_EQ(scope.ini().ReadString("fmColors", "pnC_Color", ""), "16711680");
  }
  EXPECT_EQ(scope.ini().ReadString("fmColors", "pnA_Color", ""), "-2147483640");
  EXPECT_NE(Get(scope.path()).find("pnB_Color=0\r\n"), std::string::npos);  // the duplicate stays
}

TEST(TPageControl, TabsWrapIntoRowsWithTheOpenPageNextToIt) {
  TPageControl pc;
  pc.resize(485, 300);
  for (const char* c : {"a", "b", "c", "d", "e", "f"}) pc.AddPage(new QWidget, c);
  EXPECT_EQ(pc.RowCount(), 2);
  pc.SetActivePageIndex(3);
  EXPECT_GT(pc.TabRect(3).y(), pc.TabRect(0).y());  // its row at the bottom
  EXPECT_EQ(pc.TabRect(4).x(), 2 + 160);
  pc.SetActivePageIndex(0);
  EXPECT_GT(pc.TabRect(0).y(), pc.TabRect(3).y());
  pc.show();
  QTest::mouseClick(&pc, Qt::LeftButton, {}, pc.TabRect(5).center());
  EXPECT_EQ(pc.ActivePageIndex(), 5);
  EXPECT_TRUE(pc.Page(5)->isVisible());
}

}  // namespace
}  // namespace wendul

#include "funcbtn_persist_test.moc"
