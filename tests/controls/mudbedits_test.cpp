// The data edit and memo over a real table, and the key links of the edit
// wrappers and the list box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QSignalSpy>
#include <QTest>

#include "controls/datasource.h"
#include "controls/mudbedits.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "support/test_support.h"

namespace wendul::test {
namespace {

struct Window {
  Window() { w.resize(300, 300); }
  // Shown once its controls are there.
  void Show() {
    w.show();
    w.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
  }
  QWidget w;
};

TEST(TmuDBEdit, DigitsStepsAndLinksThatClearThemselves) {
  Window win;
  auto* ed = new TmuDBEdit(&win.w);
  auto* prev = new QLineEdit(&win.w);
  auto* next = new QLineEdit(&win.w);
  ed->muPrevControl = prev;
  ed->muNextControl = next;
  ed->SetIsDigit(true);
  EXPECT_FALSE(ed->testAttribute(Qt::WA_InputMethodEnabled));
  QInputMethodQueryEvent query(Qt::ImEnabled);
  QCoreApplication::sendEvent(ed, &query);
  EXPECT_FALSE(query.value(Qt::ImEnabled).toBool());  // the input method itself is told
  win.Show();
  ed->setFocus();
  QTest::keyClicks(ed, "4a.1");
  EXPECT_EQ(ed->text(), "4.1");
  QTest::keyClick(ed, Qt::Key_Backspace);
  QTest::keyClick(ed, Qt::Key_Backspace);
  QTest::keyClick(ed, Qt::Key_1);
  EXPECT_EQ(ed->text(), "41");
  QTest::keyClick(ed, Qt::Key_PageUp);
  EXPECT_EQ(ed->text(), "42");
  ed->setText("x");
  QTest::keyClick(ed, Qt::Key_PageUp);
  EXPECT_EQ(ed->text(), "x");
  QTest::keyClick(ed, Qt::Key_F12);
  EXPECT_TRUE(prev->hasFocus());
  ed->setFocus();
  QTest::keyClick(ed, Qt::Key_Return);
  EXPECT_TRUE(next->hasFocus());
  ed->setFocus();
  delete next;
  EXPECT_FALSE(ed->muNextControl);
  QTest::keyClick(ed, Qt::Key_Return);  // discarded, nowhere to go
  EXPECT_TRUE(ed->hasFocus());
  EXPECT_TRUE(IsNotNumberChar('a', true));
  EXPECT_FALSE(IsNotNumberChar('a', false));
  EXPECT_FALSE(IsNotNumberChar('.', true));
  EXPECT_FALSE(IsNotNumberChar(QChar(8), true));
}

TEST(TmuDBEdit, ShowsAndWritesTheFieldOfTheCurrentRecord) {
  TempDir dir;
  SetErrorLogBase(dir.str());
  MT table("t");
  table.SetDatabaseName(dir.str() + "TABLE/");
  table.SetTableName("KWD.DB");
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P"}) table.AddFieldDef(decl);
  table.Open();
  table.SetIndexFieldNames("KEYWORD");
  for (const char* w : {"aa", "bb"}) {
    table.Append();
    table.SS("KEYWORD", w);
    table.Post();
  }
  table.First();
  TDataSource source(&table);
  Window win;
  auto* ed = new TmuDBEdit(&win.w);
  auto* memo = new TmuDBMemo(&win.w);
  auto* other = new QLineEdit(&win.w);
  memo->move(0, 40);
  memo->muNextControl = other;
  ed->Bind(ed, &source, "KEYWORD");
  memo->Bind(memo, &source, "KEYWORD");
  win.Show();
  EXPECT_EQ(ed->text(), "aa");
  table.Next();
  EXPECT_EQ(ed->text(), "bb");
  EXPECT_EQ(memo->toPlainText(), "bb");

  ed->setFocus();
  ed->selectAll();
  QTest::keyClicks(ed, "cc");
  other->setFocus();  // leaving writes the record
  EXPECT_EQ(table.GS("KEYWORD"), "cc");
  // The memo keeps its line break and then moves on.
  memo->setFocus();
  memo->moveCursor(QTextCursor::End);
  QTest::keyClick(memo, Qt::Key_Return);
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(memo->toPlainText(), "cc\n");
}

TEST(TmuListBox, KeysAndTheClickBeforeItsOwnHandling) {
  Window win;
  auto* list = new TmuListBox(&win.w);
  auto* mask = new TmuMaskEdit(&win.w);
  list->addItems({"a", "b"});
  list->resize(100, 100);
  list->muPrevControl = mask;
  list->muNextControl = mask;
  mask->muPrevControl = list;
  mask->muNextControl = list;
  mask->move(0, 120);
  win.Show();
  QSignalSpy click(list, &TmuListBox::OnClickMU);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(click.count(), 1);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_TRUE(mask->hasFocus());
  QTest::keyClick(mask, Qt::Key_F12);
  EXPECT_TRUE(list->hasFocus());
  QTest::keyClick(list, Qt::Key_F12);
  EXPECT_TRUE(mask->hasFocus());
  QTest::keyClick(mask, Qt::Key_Return);
  EXPECT_TRUE(list->hasFocus());
}

}  // namespace
}  // namespace wendul::test
