// Log mode as the user meets it: the date window, day files, the day table,
// the shrink question, the search and the global search with its results.
#include <QSignalSpy>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/fmgrep.h"
#include "app_fixture.h"
#include "controls/finddialog.h"
#include "controls/funcbtn.h"
#include "controls/mudateedit.h"
#include "controls/mupanel.h"
#include "controls/qsjis.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "windows/fmworddate.h"

namespace wendul::test {
namespace {

namespace fs = std::filesystem;

TDateTime g_now = 0;
TDateTime FakeNow() { return g_now; }

class LogModeTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    log = home->str() + "log/";
  }
  void TearDown() override {
    StopLog();
    SetDiaryClock(nullptr);
    AppFixture::TearDown();
  }

  // Starts as the program does in log mode: D, the options, the main window,
  // the global-search window, whose timer makes the date window.
  void StartLog(const std::string& option = "-D2001/05/03", TDateTime now = EncodeDate(2001, 5, 20) + 0.5) {
    g_now = now;
    SetDiaryClock(&FakeNow);
    fs::create_directories(log);
    fs::create_directories(home->str() + "kwd");
    Setting("system", "admin", "1");
    Setting("Path", "MulogText", log);
    Setting("Path", "KWD", home->str() + "kwd/");
    Start({option});
    grep = new TfmGrep;
    fmGrep = grep;
    for (int i = 0; i < 50 && !(fmWordDate && main->DayLoaded()); ++i) QTest::qWait(10);
    ASSERT_TRUE(fmWordDate);
  }
  void StopLog() {
    Stop();
    delete grep;
    grep = nullptr;
    fmGrep = nullptr;
  }
  std::string DayFile(int y, int m, int d) { return log + DayLogRelPath(EncodeDate(y, m, d)); }
  static std::string Read(const std::string& path) {
    SjisString s;
    ReadWholeFile(path, &s);
    return s;
  }
  static void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  TDateTime Shown() { return fmWordDate->Date(); }
  // A key as the window system hands it to the focused window.
  static void Key(int key, const QString& text = {}) {
    qt_handleKeyEvent(QGuiApplication::focusWindow(), QEvent::KeyPress, key, {}, text, false);
    qt_handleKeyEvent(QGuiApplication::focusWindow(), QEvent::KeyRelease, key, {}, text, false);
    QApplication::processEvents();
  }
  static void Keys(const char* digits) {
    for (const char* c = digits; *c; ++c) Key(Qt::Key_0 + (*c - '0'), QString(QChar(*c)));
  }
  // Messages of one kind whose text holds a UTF-8 phrase.
  int Said(const char* kind, const char* utf8) {
    int n = 0;
    for (const auto& m : ui->messages) n += m.kind == kind && m.text.find(Sj(utf8)) != std::string::npos;
    return n;
  }
  QString Status() { return main->StatusBarMain->currentMessage(); }

  std::string log;
  TfmGrep* grep = nullptr;
};

TEST_F(LogModeTest, DaysAreSavedLoadedAndRememberedWithTheirPositions) {
  StartLog();
  const std::string may3 = DayFile(2001, 5, 3);
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 3));
  EXPECT_EQ(Read(may3), DayLogHeader(EncodeDate(2001, 5, 3), 1));
  MT& t = d->tbMuLog;
  EXPECT_EQ(t.GI("POSITION"), 0);
  EXPECT_EQ(t.GD("APPENDDATE"), t.GD("UPDATEDATE"));
  EXPECT_EQ(fmWordDate->pnKwd->Caption(), QString::number(Read(may3).size()));
  EXPECT_FALSE(main->mmDoc->isReadOnly());

  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  TypeUtf8("雨のち晴れ。");
  const int64_t caret = main->mmDoc->SelStart();
  main->CnNextDay();
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 4));
  EXPECT_EQ(Read(may3), DayLogHeader(EncodeDate(2001, 5, 3), 1) + Sj("雨のち晴れ。"));
  EXPECT_TRUE(fs::exists(DayFile(2001, 5, 4)));

  // Leaving a day without typing writes nothing, but keeps where the caret was.
  main->mmDoc->SetSelStart(10);
  const auto written = fs::last_write_time(DayFile(2001, 5, 4));
  main->CnPrevDay();
  EXPECT_EQ(fs::last_write_time(DayFile(2001, 5, 4)), written);
  EXPECT_EQ(main->mmDoc->SelStart(), caret);
  EXPECT_EQ(main->mmDoc->Text(), Read(may3));
  main->CnNextDay();
  EXPECT_EQ(main->mmDoc->SelStart(), 10);

  // 1 March back to 29 February (2000 was a leap year); a day before
  // 1998/04/01 loads nothing and keeps the edits for the day shown.
  fmWordDate->SetDate(EncodeDate(2000, 3, 1));
  main->CnPrevDay();
  EXPECT_EQ(Shown(), EncodeDate(2000, 2, 29));
  TypeUtf8("X");
  fmWordDate->SetDate(EncodeDate(1998, 3, 31));
  EXPECT_TRUE(main->Modified);
  EXPECT_FALSE(fs::exists(log + "1998"));
  fmWordDate->SetDate(EncodeDate(2001, 5, 3));
  EXPECT_NE(Read(DayFile(2000, 2, 29)).find('X'), std::string::npos);

  // The File menu does nothing in log mode.
  main->findChild<QAction*>("New1")->trigger();
  EXPECT_EQ(main->mmDoc->Text(), Read(may3));
}

// The encoding chosen for new files makes new days in it; every day is
// written back in its own, and a day in UTF-8 raises no alarm about its length.
TEST_F(LogModeTest, DaysKeepTheirOwnEncoding) {
  Setting("fmSetup", "cmbxNewDocEncoding", "1");  // UTF-8
  Write(DayFile(2001, 5, 2), Sj("前の日は") + "\r\n");
  StartLog();
  const std::string may3 = DayFile(2001, 5, 3);
  EXPECT_EQ(Read(may3), SjisToUtf8(DayLogHeader(EncodeDate(2001, 5, 3), 1)));
  EXPECT_EQ(main->lbEncoding->text(), "UTF-8  CRLF");
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  TypeUtf8("𠮷野家へ。");
  main->CnPrevDay();
  EXPECT_TRUE(ui->messages.empty());
  EXPECT_EQ(Read(may3), SjisToUtf8(DayLogHeader(EncodeDate(2001, 5, 3), 1)) + "𠮷野家へ。");
  EXPECT_EQ(main->lbEncoding->text(), "SJIS  CRLF");
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  TypeUtf8("晴れ");
  main->CnNextDay();
  EXPECT_EQ(Read(DayFile(2001, 5, 2)), Sj("前の日は") + "\r\n" + Sj("晴れ"));
}

TEST_F(LogModeTest, NoToTheShrinkQuestionKeepsTheDayAndItsEdits) {
  const TDateTime may3 = EncodeDate(2001, 5, 3);
  Write(DayFile(2001, 5, 3), DayLogHeader(may3, 1) + std::string(60, 'a'));
  StartLog();
  TmuRichEdit* doc = main->mmDoc;
  doc->SetSel(doc->TextLength() - 31, -1);
  Backspace();
  const SjisString edited = doc->Text();
  ui->answers.push_back(MsgAnswer::No);
  QTest::keyClick(fmWordDate->edDateEdit->DayEdit(), Qt::Key_Up);  // to the 4th and straight back
  Settle();
  ASSERT_EQ(ui->messages.size(), 1u);
  EXPECT_EQ(ui->messages[0].kind, "askNotYes");
  EXPECT_EQ(Shown(), may3);
  EXPECT_EQ(doc->Text(), edited);
  EXPECT_TRUE(main->Modified);
  EXPECT_EQ(Read(DayFile(2001, 5, 3)), DayLogHeader(may3, 1) + std::string(60, 'a'));
  EXPECT_FALSE(fs::exists(DayFile(2001, 5, 4)));

  // Closing asks again; No keeps the window open with the day.
  ui->answers.push_back(MsgAnswer::No);
  EXPECT_FALSE(main->close());
  EXPECT_EQ(doc->Text(), edited);
  Settle();
  // Yes writes the shorter text; 30 bytes fewer asks nothing.
  ui->answers.push_back(MsgAnswer::Yes);
  main->CnNextDay();
  EXPECT_EQ(Read(DayFile(2001, 5, 3)), edited);
  main->CnPrevDay();
  doc->SetSel(doc->TextLength() - 29, -1);
  Backspace();
  const size_t asked = ui->messages.size();
  main->CnNextDay();
  EXPECT_EQ(ui->messages.size(), asked);
  EXPECT_EQ(Read(DayFile(2001, 5, 3)).size(), edited.size() - 29);

  // A day keeps every byte it held: only the edited line changes, unasked.
  Write(DayFile(2001, 5, 6), "a\x82\r\nb\n\x87\x90");
  fmWordDate->SetDate(EncodeDate(2001, 5, 6));
  doc->SetSelStart(0);
  TypeUtf8("c");
  main->CnNextDay();
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 7));
  EXPECT_EQ(Read(DayFile(2001, 5, 6)), "ca\x82\r\nb\n\x87\x90");
  // A character Shift-JIS cannot hold is not written as "?" unasked.
  main->CnPrevDay();
  doc->SetSelStart(0);
  TypeUtf8("😀");
  ui->answers.push_back(MsgAnswer::No);
  main->CnNextDay();
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 6));
  EXPECT_EQ(Read(DayFile(2001, 5, 6)), "ca\x82\r\nb\n\x87\x90");
  QApplication::processEvents();  // the kept day's guard ends with this step
  ui->answers.push_back(MsgAnswer::Yes);
  main->CnNextDay();
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 7));
  EXPECT_EQ(Read(DayFile(2001, 5, 6)), "?ca\x82\r\nb\n\x87\x90");
}

TEST_F(LogModeTest, SearchInTheDocumentAndTheSearchWordKept) {
  StartLog();
  TmuRichEdit* doc = main->mmDoc;
  doc->SetSelStart(doc->TextLength());
  TypeUtf8("Tokyo 東京 tokyo");
  const SjisString text = doc->Text();
  main->SetSearchWord("TOKYO");
  doc->SetSelStart(doc->TextLength() - 2);
  main->SearchInDoc(false);  // only before the caret: found from the top
  EXPECT_EQ(doc->SelStart(), static_cast<int64_t>(text.find("Tokyo")));
  EXPECT_EQ(doc->SelLength(), 5);
  main->CnSearchWord();  // the selection is the word: the next one
  EXPECT_EQ(doc->SelStart(), static_cast<int64_t>(text.find("tokyo")));
  main->SetSearchWord(Sj("大阪"));
  main->SearchInDoc(true);
  EXPECT_TRUE(Status().endsWith(QString::fromUtf8("[大阪] は見つかりません")));

  // The search dialog opens beside the document with the selected text.
  doc->SetSel(text.find(Sj("東京")), text.find(Sj("東京")) + 4);
  main->miSearchWord_xx->trigger();
  EXPECT_TRUE(main->FindDialog->isVisible());
  EXPECT_EQ(main->FindDialog->FindText(), QString::fromUtf8("東京"));
  main->FindDialog->close();
  StopLog();
  EXPECT_EQ(IniFile(G().settingsPath).ReadString("Text", "edGrepSearchWord", ""), Sj("東京"));
}

TEST_F(LogModeTest, GlobalSearchListsOneRowPerDayAndOpensResults) {
  const std::string hit = Sj("今日は雨。") + "\r\n" + Sj("傘を忘れた。雨");
  Write(DayFile(2001, 5, 10), Sj("晴れ"));
  Write(DayFile(2001, 5, 9), hit);
  Write(DayFile(2000, 1, 2), Sj("小雨"));
  Write(DayFile(1998, 3, 1), Sj("雨"));  // before the earliest diary date
  StartLog();
  main->SetSearchWord(Sj("雨"));
  main->CnGrep();
  MT& t = d->tbGrep;
  ASSERT_TRUE(t.Active());
  ASSERT_EQ(t.RecordCount(), 2);
  t.First();  // newest first
  EXPECT_EQ(t.GS("PFNAME"), "2001/05/YDay09.TXT");
  EXPECT_EQ(t.GI("LINE"), 1);
  ASSERT_EQ(grep->mgMuKwd->ColumnCount(), 2);  // titled in Japanese, not by the field names
  EXPECT_EQ(grep->mgMuKwd->Columns()[0].title + grep->mgMuKwd->Columns()[1].title, QString::fromUtf8("日記ファイル行"));
  EXPECT_EQ(t.GS("TEXT"), hit);
  EXPECT_EQ(t.GD("DIARY_DATE"), EncodeDate(2001, 5, 9));
  EXPECT_EQ(grep->mgMuKwd->ShownRowCount(), 2);
  EXPECT_FALSE(grep->GrepRunning);
  EXPECT_FALSE(fs::exists(log + "2001/04"));  // no folder for days without files
  EXPECT_TRUE(grep->isVisible());
  EXPECT_EQ(grep->windowTitle(), QString::fromUtf8("雨"));

  // Moving in the results opens the day with the word selected.
  t.Next();
  Settle();
  EXPECT_EQ(Shown(), EncodeDate(2000, 1, 2));
  EXPECT_EQ(main->mmDoc->SelText(), Sj("雨"));

  // ENTER: "b.bat" only when it is on the path, with its arguments as a list.
  const std::string saved = getenv("PATH");
  setenv("PATH", home->str().c_str(), 1);
  QTest::keyClick(grep->mgMuKwd, Qt::Key_Return);
  EXPECT_TRUE(Status().contains("b.bat"));
  const std::string out = home->str() + "args.txt";
  Write(home->str() + "b.bat", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + out + "'\n");
  fs::permissions(home->str() + "b.bat", fs::perms::owner_all);
  main->mmDoc->SetSel(0, 2);  // "小" selected
  QTest::keyClick(grep->mgMuKwd, Qt::Key_Return);
  for (int i = 0; i < 100 && !fs::exists(out); ++i) QTest::qWait(10);
  setenv("PATH", saved.c_str(), 1);
  QTest::qWait(50);
  EXPECT_EQ(Read(out), "/fi\n" + SjisToUtf8(Sj("小")) + "\n" + log + "2000/01/YDay02.TXT\n");

  // Closing the window goes back to the day shown when the search began.
  grep->btTest->click();
  EXPECT_FALSE(grep->isVisible());
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 3));

  // A single hit opens its day at once; "中止" stops the walk.
  main->SetSearchWord(Sj("小雨"));
  main->CnGrep();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(Shown(), EncodeDate(2000, 1, 2));
  EXPECT_EQ(main->mmDoc->SelStart(), 0);
  EXPECT_EQ(main->mmDoc->SelLength(), 4);
  QTimer::singleShot(0, grep->btAboatGrep, &QPushButton::click);
  main->SetSearchWord(Sj("雨"));
  main->CnGrep();
  EXPECT_EQ(t.RecordCount(), 0);

  // Closing the main window stops the walk first: nothing goes on with the
  // closed tables, no day is opened, nothing is said.
  QTimer::singleShot(0, main, &QWidget::close);
  main->SetSearchWord(Sj("小雨"));
  const size_t said = ui->messages.size();
  main->CnGrep();
  EXPECT_FALSE(main->isVisible());
  EXPECT_FALSE(grep->GrepRunning);
  EXPECT_EQ(t.RecordCount(), 0);
  EXPECT_EQ(ui->messages.size(), said);
}

TEST_F(LogModeTest, DateWindowStartsFromTheOptionAndKeepsItsPlace) {
  StartLog("-D-2", EncodeDate(2024, 3, 2) + 0.125);  // 03:00 belongs to the 1st
  EXPECT_EQ(Shown(), EncodeDate(2024, 2, 28));
  EXPECT_EQ(fmWordDate->windowTitle(), " ");
  EXPECT_EQ(fmWordDate->size(), QSize(281, 35));
  EXPECT_EQ(fmWordDate->edDateEdit->geometry(), QRect(72, 2, 217, 30));
  fmWordDate->move(40, 50);
  const QPoint at = fmWordDate->pos();
  StopLog();
  EXPECT_EQ(IniFile(G().settingsPath).ReadInteger("Position", "fmWordDate_WindowLeft", -1), at.x());
  StartLog("-D7", EncodeDate(2024, 3, 2) + 0.5);
  EXPECT_EQ(Shown(), EncodeDate(2024, 3, 7));
  EXPECT_EQ(fmWordDate->pos(), at);
  QTest::qWait(20);
  EXPECT_TRUE(main->mmDoc->hasFocus());

  // Function keys of the main window work in the date window.
  main->Func01->Button(3)->BindCommand("CnNextDay");
  QTest::keyClick(fmWordDate->edDateEdit->DayEdit(), Qt::Key_F3);
  EXPECT_EQ(Shown(), EncodeDate(2024, 3, 8));
  QTest::keyClick(grep->mgMuKwd, Qt::Key_F3);  // and in the global-search window
  EXPECT_EQ(Shown(), EncodeDate(2024, 3, 9));
  main->CnSetFocusDate();
  QTest::qWait(20);
  EXPECT_TRUE(fmWordDate->edDateEdit->DayEdit()->hasFocus());
  // Back to the document by its key (F5): the main window takes the keyboard.
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == fmWordDate; }));
  QTest::keyClick(fmWordDate->edDateEdit->DayEdit(), Qt::Key_F5);
  EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == main && main->mmDoc->hasFocus(); }));
}

TEST_F(LogModeTest, ADayIsGuardedAsADocumentIs) {
  StartLog();
  TmuRichEdit* doc = main->mmDoc;
  const TDateTime may3 = EncodeDate(2001, 5, 3), may4 = EncodeDate(2001, 5, 4);
  const std::string header3 = DayLogHeader(may3, 1), header4 = DayLogHeader(may4, 1);

  // A word inserted from a pane is a change even when it is the only one.
  StoreWord("東京駅", 200);
  doc->SetSelStart(doc->TextLength());
  main->mgWordDate->setFocus();
  QTest::keyClick(main->mgWordDate, Qt::Key_Return);
  ASSERT_EQ(doc->Text(), header3 + Sj("東京駅"));
  main->CnNextDay();
  EXPECT_EQ(Read(DayFile(2001, 5, 3)), header3 + Sj("東京駅"));

  // Another program adds to the day shown: asked before it is overwritten;
  // No keeps both the file and the day on screen, changed.
  const std::string other = header4 + Sj("別のエディターで書いた段落。") + "\r\n";
  Write(DayFile(2001, 5, 4), other);
  doc->SetSelStart(doc->TextLength());
  TypeUtf8("画面の文。");
  const SjisString typed = doc->Text();
  main->CnNextDay();
  EXPECT_EQ(Said("askNotYes", "ほかのプログラムで変更されています"), 1);
  EXPECT_EQ(Shown(), may4);
  EXPECT_EQ(doc->Text(), typed);
  EXPECT_TRUE(main->DocChanged());
  EXPECT_EQ(Read(DayFile(2001, 5, 4)), other);
  Settle();
  ui->answers.push_back(MsgAnswer::Yes);
  main->CnNextDay();
  EXPECT_EQ(Shown(), EncodeDate(2001, 5, 5));
  EXPECT_EQ(Read(DayFile(2001, 5, 4)), typed);

  // A day file its owner made read-only is refused, as a document is; the
  // day stays shown and changed.
  main->CnPrevDay();
  fs::permissions(DayFile(2001, 5, 4), fs::perms::owner_read);
  TypeUtf8("追記");
  const SjisString more = doc->Text();
  main->CnNextDay();
  EXPECT_EQ(Said("message", "アクセスが許可されていません"), 1);
  EXPECT_EQ(Shown(), may4);
  EXPECT_EQ(doc->Text(), more);
  EXPECT_EQ(Read(DayFile(2001, 5, 4)), typed);
  fs::permissions(DayFile(2001, 5, 4), fs::perms::owner_read | fs::perms::owner_write);
  Settle();

  // Closing while the date window holds a day before the diary saves the day shown.
  fmWordDate->SetDate(EncodeDate(1998, 3, 31));
  EXPECT_TRUE(main->close());
  EXPECT_EQ(Read(DayFile(2001, 5, 4)), more);
}

TEST_F(LogModeTest, TheDateWindowLoadsOnlyTheDateTheUserMeans) {
  StartLog();
  fmWordDate->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == fmWordDate; }));
  TmuDateEdit* ed = fmWordDate->edDateEdit;
  ed->YearEdit()->setFocus();
  ASSERT_TRUE(ed->YearEdit()->hasFocus());
  ed->YearEdit()->selectAll();
  // 1999 typed over 2001: 2019 on the way is loaded nowhere; ENTER chooses.
  Keys("1999");
  EXPECT_EQ(main->ShownDay(), EncodeDate(2001, 5, 3));
  Key(Qt::Key_Return);
  EXPECT_EQ(main->ShownDay(), EncodeDate(1999, 5, 3));
  // Backspacing to 19 and typing 98: chosen when typing pauses.
  ed->YearEdit()->setFocus();
  ed->YearEdit()->end(false);
  Key(Qt::Key_Backspace);
  Key(Qt::Key_Backspace);
  Keys("98");
  EXPECT_TRUE(ed->ChoicePending());
  EXPECT_TRUE(QTest::qWaitFor([&] { return main->ShownDay() == EncodeDate(1998, 5, 3); }));
  // No day of the digits on the way: no file, no row (the row comes first).
  EXPECT_FALSE(fs::exists(log + "2019"));
  EXPECT_FALSE(fs::exists(log + "0199"));

  // A stray "h" turns the year into 平成 10; 2002 typed then is the year
  // 3990: asked before its day is made, and No goes back to the day shown.
  Key(Qt::Key_H, "h");
  ASSERT_TRUE(ed->IsJMode());
  EXPECT_EQ(ed->YearEdit()->text(), "10");
  ed->YearEdit()->selectAll();
  Keys("2002");
  Key(Qt::Key_Return);
  EXPECT_EQ(Said("askNotYes", "来年より先の日付です"), 1);
  EXPECT_EQ(main->ShownDay(), EncodeDate(1998, 5, 3));
  EXPECT_EQ(Shown(), EncodeDate(1998, 5, 3));
  EXPECT_FALSE(fs::exists(log + "3990"));
  // Esc is the way back to western years (and drops digits typed since), W too.
  ed->YearEdit()->setFocus();
  Keys("1");
  Key(Qt::Key_Escape);
  EXPECT_FALSE(ed->IsJMode());
  EXPECT_EQ(ed->YearEdit()->text(), "1998");
  Key(Qt::Key_H, "h");
  Key(Qt::Key_W, "w");
  EXPECT_FALSE(ed->IsJMode());
  EXPECT_EQ(ed->YearEdit()->text(), "1998");
  // A spin chooses at once; leaving a field chooses a whole date, and half
  // a year left behind gives way to the chosen date again.
  ed->DayEdit()->setFocus();
  Key(Qt::Key_Up);
  EXPECT_EQ(main->ShownDay(), EncodeDate(1998, 5, 4));
  ed->MonthEdit()->setFocus();
  ed->MonthEdit()->selectAll();
  Keys("6");
  ed->YearEdit()->setFocus();
  Settle();
  EXPECT_EQ(main->ShownDay(), EncodeDate(1998, 6, 4));
  ed->YearEdit()->selectAll();
  Keys("19");
  ed->DayEdit()->setFocus();
  Settle();
  EXPECT_EQ(ed->YearEdit()->text(), "1998");
  EXPECT_EQ(main->ShownDay(), EncodeDate(1998, 6, 4));
}

// Run in a child process by the test below: types into a day, pauses long
// enough for the recovery record, and is killed.
TEST_F(LogModeTest, ChildTypesIntoADayAndIsKilled) {
  const char* childHome = getenv("WENDUL_CHILD_HOME");
  if (!childHome) GTEST_SKIP() << "run by AKilledDaysTextComesBackAtTheNextStart";
  setenv("WENDUL_HOME", childHome, 1);
  log = std::string(childHome) + "/log/";
  StartLog();
  main->mmDoc->SetSelStart(main->mmDoc->TextLength());
  TypeUtf8("書きかけの日記");
  QTest::qWait(2600);  // typing pauses
  fs::remove_all(home->path());  // this process's own, unused home
  raise(SIGKILL);
}

TEST_F(LogModeTest, AKilledDaysTextComesBackAtTheNextStart) {
  ASSERT_TRUE(RunKilledChild("LogModeTest.ChildTypesIntoADayAndIsKilled"));
  const TDateTime may3 = EncodeDate(2001, 5, 3);
  EXPECT_EQ(Read(DayFile(2001, 5, 3)), DayLogHeader(may3, 1));

  // Started on another day: the question names the day, Yes shows it with the text.
  ui->answers = {MsgAnswer::Yes};
  StartLog("-D2001/05/10");
  EXPECT_TRUE(QTest::qWaitFor([&] { return main->ShownDay() == may3; }));
  EXPECT_EQ(Said("askYesNoCancel", "2001/05/03 の日記に前回保存されなかった文章があります。復元しますか？"), 1);
  EXPECT_EQ(main->mmDoc->Text(), DayLogHeader(may3, 1) + Sj("書きかけの日記"));
  EXPECT_TRUE(main->DocChanged());
  main->CnNextDay();
  EXPECT_EQ(Read(DayFile(2001, 5, 3)), DayLogHeader(may3, 1) + Sj("書きかけの日記"));
  StopLog();
  ui->messages.clear();
  StartLog();
  EXPECT_TRUE(ui->messages.empty());  // nothing left to offer
}

}  // namespace
}  // namespace wendul::test
