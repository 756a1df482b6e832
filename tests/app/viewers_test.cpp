// The viewers of the main window: the quick guide (one at a time) and the
// mail viewer of log mode, which reads a table kept by another program.
#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTextBlock>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app_fixture.h"
#include "controls/funcbtn.h"
#include "controls/mudbedits.h"
#include "controls/qsjis.h"
#include "util/datetime.h"
#include "windows/fmmail.h"
#include "windows/fmmanual.h"
#include "windows/fmworddate.h"

namespace wendul::test {
namespace {

template <class W>
std::vector<W*> Shown() {
  std::vector<W*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* v = qobject_cast<W*>(w); v && v->isVisible()) out.push_back(v);
  return out;
}

void Gone() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// A desktop opener first on the PATH that writes down what it was asked to
// open, one argument a line.
class FakeOpener {
 public:
  explicit FakeOpener(const std::string& folder) : log_(folder + "opened.txt") {
    const std::string bin = folder + "bin/";
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "xdg-open") << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << log_ << "'\n";
    std::filesystem::permissions(bin + "xdg-open", std::filesystem::perms::owner_all);
    oldPath_ = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
  }
  ~FakeOpener() { setenv("PATH", oldPath_.c_str(), 1); }
  // The arguments so far, once there are at least n of them (3 s at most).
  std::vector<std::string> Opened(size_t n) const {
    std::vector<std::string> lines;
    for (int i = 0; i < 300; ++i) {
      lines.clear();
      std::ifstream in(log_);
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      if (lines.size() >= n) break;
      QTest::qWait(10);
    }
    return lines;
  }

 private:
  std::string log_;
  std::string oldPath_;
};

class ViewersTest : public AppFixture {
 protected:
  const TDateTime day1 = EncodeDate(2024, 5, 3);
  const TDateTime day2 = EncodeDate(2024, 5, 4);

  void Trigger(const char* name) {
    main->findChild<QAction*>(name)->trigger();
    Settle();
  }
  // Log mode with the tables in the home folder.
  void StartLogMode() {
    Setting("system", "admin", "1");
    Setting("Path", "KWD", home->str());
    Setting("Path", "MulogText", home->str() + "log");
    std::filesystem::create_directories(home->str() + "log");
    Start({"-D"});
    ASSERT_TRUE(G().logMode);
  }
  // The mail table as the program that fills it would write it.
  void WriteMailTable() {
    MT mail("mail");
    mail.SetDatabaseName(home->str());
    mail.SetTableName("MULOG2.DB");
    for (const char* decl : {"CDATE,@", "SUBJECT,A,40", "DOC,M"}) mail.AddFieldDef(decl);
    mail.Open();
    auto add = [&](TDateTime day, const char* subject, const char* doc) {
      mail.Append();
      mail.SD("CDATE", day);
      mail.SS("SUBJECT", Sj(subject));
      mail.SS("DOC", Sj(doc));
      mail.Post();
    };
    add(day1, "会議", "明日の会議について\r\n資料 http://example.com/a?b=1 を見てください");
    add(day1, "昼食", "十二時に駅で");
    add(day2, "翌日", "別の日のメール");
    mail.Close();
  }
  // The day shown: the day table's current row.
  void ShowDay(TDateTime day) {
    MT& log = d->tbMuLog;
    log.Append();
    log.SD("CDATE", day);
    log.Post();
    Settle();
  }
};

TEST_F(ViewersTest, TheGuideOpensOnceInFrontAndShowsManualTxt) {
  Start();
  Trigger("miOpenManual");
  ASSERT_EQ(Shown<TfmManual>().size(), 1u);
  TfmManual* guide = Shown<TfmManual>()[0];
  EXPECT_TRUE(TfmManual::IsOpen());
  EXPECT_EQ(guide->objectName(), "fmManual");
  EXPECT_EQ(guide->windowTitle(), QString::fromUtf8("Wendulクイックガイド"));
  EXPECT_EQ(guide->size(), QSize(824, 643));
  EXPECT_TRUE(guide->windowFlags() & Qt::WindowStaysOnTopHint);  // admin level 0
  const QString text = guide->mmManual->toPlainText();
  EXPECT_TRUE(text.contains(QString::fromUtf8("Wendul クイックガイド")));  // decoded from code page 932
  EXPECT_FALSE(text.contains('\r'));
  EXPECT_TRUE(guide->mmManual->isReadOnly());

  Trigger("miOpenManual");  // the second time: the same window, in front
  EXPECT_EQ(Shown<TfmManual>().size(), 1u);
  EXPECT_EQ(Shown<TfmManual>()[0], guide);

  QPointer<TfmManual> gone = guide;
  ASSERT_EQ(guide->Close1->text(), QString::fromUtf8("閉じる(&C)"));
  guide->Close1->trigger();
  Gone();
  EXPECT_TRUE(gone.isNull());
  EXPECT_FALSE(TfmManual::IsOpen());
  Trigger("miOpenManual");  // made anew
  EXPECT_EQ(Shown<TfmManual>().size(), 1u);
  EXPECT_TRUE(ui->messages.empty());

  // Without its file the guide says so once and opens empty.
  TfmManual missing(home->str() + "no/Manual.TXT", true);
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_NE(ui->messages[0].text.find(Sj("クイックガイドのファイルを開けません")), std::string::npos);
  EXPECT_TRUE(missing.mmManual->toPlainText().isEmpty());
  EXPECT_FALSE(missing.windowFlags() & Qt::WindowStaysOnTopHint);  // an administrator's
}

TEST_F(ViewersTest, TheMailViewerListsTheShownDaysMailsAndClosesWithF4) {
  WriteMailTable();
  StartLogMode();
  ShowDay(day1);
  // Opened by a function key: one viewer for one key press.
  ASSERT_TRUE(main->Func01->Button(6)->BindCommand("CnOpenMail"));
  QTest::keyClick(main->mmDoc, Qt::Key_F6);
  Settle();
  ASSERT_EQ(Shown<TfmMail>().size(), 1u);
  TfmMail* viewer = Shown<TfmMail>()[0];
  EXPECT_EQ(viewer->objectName(), "fmMail");
  EXPECT_EQ(viewer->windowTitle(), "fmMail");
  EXPECT_FALSE(viewer->FBtn->isVisible());
  EXPECT_EQ(viewer->FBtn->Button(4)->text(), "end");
  EXPECT_EQ(viewer->FBtn->Button(5)->text(), "JUMP");
  // Every field is a column; the day's two mails are listed, the first shown below.
  ASSERT_EQ(viewer->mgMailList->ColumnCount(), 3);
  EXPECT_EQ(viewer->mgMailList->Columns()[1].field, "SUBJECT");
  EXPECT_EQ(viewer->mgMailList->ShownRowCount(), 2);
  EXPECT_EQ(viewer->edMailDoc->toPlainText(),
            QString::fromUtf8("明日の会議について\n資料 http://example.com/a?b=1 を見てください"));
  EXPECT_TRUE(viewer->edMailDoc->isReadOnly());
  EXPECT_TRUE(ui->messages.empty());
  {
    // F5 "JUMP", with a modifier too: the address on the caret's line goes to the desktop.
    FakeOpener opener(home->str());
    QTextCursor c(viewer->edMailDoc->document()->findBlockByNumber(0));
    viewer->edMailDoc->setTextCursor(c);
    QTest::keyClick(viewer->edMailDoc, Qt::Key_F5);  // a line without an address: nothing
    c = QTextCursor(viewer->edMailDoc->document()->findBlockByNumber(1));
    viewer->edMailDoc->setTextCursor(c);
    QTest::keyClick(viewer->edMailDoc, Qt::Key_F5, Qt::AltModifier);
    EXPECT_EQ(opener.Opened(1), std::vector<std::string>{"http://example.com/a?b=1"});
  }

  // A second viewer shares the table; closing one leaves the other showing it.
  main->CnOpenMail(nullptr);
  Settle();
  ASSERT_EQ(Shown<TfmMail>().size(), 2u);
  TfmMail* second = Shown<TfmMail>()[0] == viewer ? Shown<TfmMail>()[1] : Shown<TfmMail>()[0];
  QTest::keyClick(second->edMailDoc, Qt::Key_F4, Qt::ControlModifier);  // with a modifier too
  Gone();
  ASSERT_EQ(Shown<TfmMail>().size(), 1u);
  EXPECT_TRUE(d->tbMuLog2.Active());
  EXPECT_EQ(viewer->mgMailList->ShownRowCount(), 2);

  // The rows follow the day shown.
  ShowDay(day2);
  EXPECT_EQ(viewer->mgMailList->ShownRowCount(), 1);
  EXPECT_EQ(viewer->edMailDoc->toPlainText(), QString::fromUtf8("別の日のメール"));

  QPointer<TfmMail> gone = viewer;
  QTest::keyClick(viewer->mgMailList, Qt::Key_F4);
  Gone();
  EXPECT_TRUE(gone.isNull());
  EXPECT_FALSE(d->tbMuLog2.Active());  // the last viewer closes the table
  EXPECT_EQ(TfmMail::OpenCount(), 0);
}

TEST_F(ViewersTest, AddressesTheShownFileAndTheReadmeGoToTheDesktopOpener) {
  Start();
  FakeOpener opener(home->str());
  ASSERT_TRUE(main->Func01->Button(9)->BindCommand("CnExecute"));
  main->mmDoc->SetText(Sj("一行目\r\n資料は http://example.com/a?b=1 を見る\r\nttp://example.jp/x\r\nwww.example.org"));
  auto executeOnLine = [this](int line) {
    main->mmDoc->SetSelStart(main->mmDoc->LineIndex(line) + 2);
    main->mmDoc->SetSelLength(0);
    QTest::keyClick(main->mmDoc, Qt::Key_F9);
  };
  executeOnLine(0);  // no address: nothing opened, nothing said
  EXPECT_FALSE(main->StatusBarMain->currentMessage().contains(QString::fromUtf8("を開きます")));
  executeOnLine(1);
  EXPECT_TRUE(main->StatusBarMain->currentMessage().endsWith(QString::fromUtf8("http://example.com/a?b=1 を開きます")));
  opener.Opened(1);
  executeOnLine(2);
  opener.Opened(2);  // openers run on their own: one at a time keeps the order
  executeOnLine(3);
  EXPECT_EQ(opener.Opened(3), (std::vector<std::string>{"http://example.com/a?b=1", "http://example.jp/x",
                                                        "http://www.example.org"}));

  // The read-me beside the program, and the shown file as stored.
  Trigger("Readme1");
  EXPECT_EQ(opener.Opened(4).back(), ShippedFile("README.TXT"));
  const std::string doc = home->str() + "memo.TXT";
  std::ofstream(doc) << "memo\r\n";
  main->edCurFileName->setText(QString::fromStdString(doc));
  Trigger("Text1");
  EXPECT_EQ(opener.Opened(5).back(), doc);
  main->edCurFileName->setText(QString::fromUtf8("新規ファイル.TXT"));
  Trigger("Text1");  // never saved: there is nothing to open
  QTest::qWait(100);
  EXPECT_EQ(opener.Opened(5).size(), 5u);
}

TEST_F(ViewersTest, AMissingMailTableIsReportedAndTheViewerStaysOpenEmpty) {
  StartLogMode();
  // Before a day is shown there is no file to open: the popup item is greyed.
  EXPECT_FALSE(main->findChild<QAction*>("Text1")->isEnabled());
  main->CreateDateWindow();
  for (int i = 0; i < 100 && !main->DayLoaded(); ++i) QTest::qWait(10);
  fmWordDate->SetDate(day1);
  // In log mode the popup opens the file of the day shown.
  {
    FakeOpener opener(home->str());
    ASSERT_TRUE(main->findChild<QAction*>("Text1")->isEnabled());
    Trigger("Text1");
    EXPECT_EQ(opener.Opened(1), std::vector<std::string>{home->str() + "log/2024/05/YDay03.TXT"});
  }
  main->CnOpenMail(nullptr);
  Settle();
  ASSERT_EQ(Shown<TfmMail>().size(), 1u);
  TfmMail* viewer = Shown<TfmMail>()[0];
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_NE(ui->messages[0].text.find("MULOG2.DB"), std::string::npos);
  EXPECT_FALSE(d->tbMuLog2.Active());
  EXPECT_EQ(viewer->mgMailList->ShownRowCount(), 0);
  EXPECT_TRUE(viewer->edMailDoc->toPlainText().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(home->str() + "MULOG2.DB")));  // never created
  QTest::keyClick(viewer->edMailDoc, Qt::Key_F4, Qt::ShiftModifier);
  Gone();
  EXPECT_TRUE(Shown<TfmMail>().empty());

  // Outside log mode the command does nothing.
  Stop();
  G() = AppGlobals{};
  Setting("system", "admin", "0");
  Start();
  main->CnOpenMail(nullptr);
  EXPECT_TRUE(Shown<TfmMail>().empty());
}

}  // namespace
}  // namespace wendul::test
