// The data grid and its data source over a real word table in a temporary
// SQLite file: the window of rows shown, following and moving the current
// record, key links, refresh on data changes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QMouseEvent>
#include <utility>
#include <memory>

#include "controls/datasource.h"
#include "controls/mudbgrid.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "support/test_support.h"

namespace wendul::test {
namespace {

SjisString Word(int i) {
  char buf[8];
  snprintf(buf, sizeof buf, "w%02d", i);
  return buf;
}

void Settle() { QCoreApplication::processEvents(); }

class GridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorLogBase(dir.str());
    table.SetDatabaseName(dir.str() + "TABLE/");
    table.SetTableName("KWD.DB");
    for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
      table.AddFieldDef(decl);
    table.Open();
    table.SetIndexFieldNames("KEYWORD");
    for (int i = 0; i < 50; ++i) Add(Word(i), 1000 + i);
    table.First();

    source = std::make_unique<TDataSource>(&table);
    grid = std::make_unique<TmuDBGrid>();
    grid->SetDataSource(source.get());
    grid->SetFieldName("KEYWORD");
    grid->SetColumnWidth(150);
    // Ten whole rows and a part of the eleventh.
    grid->show();
    grid->resize(200, 200);
    Settle();
    grid->resize(200, 200 - grid->viewport()->height() + grid->RowHeight() * 10 + grid->RowHeight() / 2);
    Settle();
    ASSERT_EQ(grid->VisibleRowCount(), 10);
  }

  void Add(const SjisString& word, TDateTime when) {
    table.Append();
    table.SS("KEYWORD", word);
    table.SD("UPDATEDATE", when);
    table.SD("APPENDDATE", when);
    table.Post();
  }

  // A key press followed by the event loop, as between a user's keys.
  void Key(Qt::Key key) {
    QTest::keyClick(grid.get(), key);
    Settle();
  }

  QString Cell(int row) const { return grid->CellText(row, 0); }
  QString CurrentCell() const { return Cell(grid->CurrentRow()); }
  QPoint RowPoint(int row) const { return QPoint(40, grid->RowHeight() * row + grid->RowHeight() / 2); }

  TempDir dir;
  RecordingUi ui;
  MT table{"tbMuKwd"};
  std::unique_ptr<TDataSource> source;  // destroyed before the table
  std::unique_ptr<TmuDBGrid> grid;
};

TEST_F(GridTest, ShowsTheRowsAroundTheCurrentRecordOnly) {
  // Ten whole rows and the partly shown eleventh.
  EXPECT_EQ(grid->ShownRowCount(), 11);
  EXPECT_EQ(Cell(0), "w00");
  EXPECT_EQ(Cell(10), "w10");
  EXPECT_EQ(grid->CurrentRow(), 0);
  EXPECT_EQ(grid->ScrollState(), 0);

  // Shift-JIS text is shown decoded.
  Add(Utf8ToSjis("\xE6\x9D\xB1\xE4\xBA\xAC"), 2000);  // 東京, after the Latin words
  table.Last();
  Settle();
  EXPECT_EQ(CurrentCell(), QString::fromUtf8("東京"));
  EXPECT_EQ(grid->CurrentRow(), 9);  // the last record sits on the last whole row
  EXPECT_EQ(Cell(0), "w41");
  EXPECT_EQ(grid->ScrollState(), 2);
}

TEST_F(GridTest, FollowsTheTablesCurrentRecord) {
  table.FindKey(SjisString("w05"));
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 5);
  EXPECT_EQ(Cell(0), "w00");  // inside the window: no scrolling
  EXPECT_EQ(grid->ScrollState(), 1);

  // One step past the bottom row scrolls by one row.
  table.FindKey(SjisString("w09"));
  table.Next();
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 9);
  EXPECT_EQ(CurrentCell(), "w10");
  EXPECT_EQ(Cell(0), "w01");
  // One step past the top row likewise.
  table.FindKey(SjisString("w01"));
  table.Prior();
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 0);
  EXPECT_EQ(CurrentCell(), "w00");

  // A jump out of reach centres the record.
  table.FindKey(SjisString("w30"));
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 4);
  EXPECT_EQ(CurrentCell(), "w30");
  EXPECT_EQ(Cell(0), "w26");

  table.First();
  Settle();
  EXPECT_EQ(Cell(0), "w00");
  EXPECT_EQ(grid->CurrentRow(), 0);
  EXPECT_EQ(grid->ScrollState(), 0);
}

TEST_F(GridTest, KeysMoveTheTable) {
  Key(Qt::Key_Down);
  EXPECT_EQ(table.GS("KEYWORD"), "w01");
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 1);

  Key(Qt::Key_Up);
  Key(Qt::Key_Up);  // already first: stays
  EXPECT_EQ(table.GS("KEYWORD"), "w00");

  Key(Qt::Key_Down);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(table.GS("KEYWORD"), "w11");
  Key(Qt::Key_PageUp);
  Key(Qt::Key_Up);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(table.GS("KEYWORD"), "w10");
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 0);  // paging keeps the screen row
  EXPECT_EQ(Cell(0), "w10");
  Key(Qt::Key_PageDown);
  EXPECT_EQ(table.GS("KEYWORD"), "w20");
  Key(Qt::Key_PageUp);
  EXPECT_EQ(table.GS("KEYWORD"), "w10");

  Key(Qt::Key_End);
  EXPECT_EQ(table.GS("KEYWORD"), "w49");
  Key(Qt::Key_PageDown);  // at the end: stays
  EXPECT_EQ(table.GS("KEYWORD"), "w49");
  Settle();
  EXPECT_EQ(CurrentCell(), "w49");
  EXPECT_EQ(grid->ScrollState(), 2);

  Key(Qt::Key_Home);
  EXPECT_EQ(table.GS("KEYWORD"), "w00");
  Key(Qt::Key_PageUp);  // at the start: stays
  EXPECT_EQ(table.GS("KEYWORD"), "w00");

  // The scroll bar's arrows move one record, its ends go to first and last.
  grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(table.GS("KEYWORD"), "w01");
  EXPECT_EQ(grid->verticalScrollBar()->value(), 1);
  grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(table.GS("KEYWORD"), "w49");
  EXPECT_EQ(grid->verticalScrollBar()->value(), 2);
}

TEST_F(GridTest, ClickMovesTheTableAndDoubleClickSignals) {
  QSignalSpy dbl(grid.get(), &TmuDBGrid::DblClick);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, RowPoint(3));
  EXPECT_EQ(table.GS("KEYWORD"), "w03");
  Settle();
  EXPECT_EQ(grid->CurrentRow(), 3);
  EXPECT_EQ(dbl.count(), 0);

  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, RowPoint(4));
  EXPECT_EQ(table.GS("KEYWORD"), "w04");
  EXPECT_EQ(dbl.count(), 1);

  // Below the last row nothing is hit.
  table.SetFilter("KEYWORD='w0*'");
  table.SetFiltered(true);
  Settle();
  ASSERT_EQ(grid->ShownRowCount(), 10);
  const Bookmark before = table.GetBookmark();
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, RowPoint(10));
  EXPECT_EQ(dbl.count(), 1);
  EXPECT_EQ(table.GetBookmark(), before);
}

TEST_F(GridTest, DataChangesAreShownAndADisabledSourceHoldsThemBack) {
  Add("a-first", 5);  // sorts before every "w.." word
  table.First();
  Settle();
  EXPECT_EQ(Cell(0), "a-first");
  EXPECT_EQ(Cell(1), "w00");

  source->SetEnabled(false);
  Add("a-second", 6);
  table.First();
  Settle();
  EXPECT_EQ(Cell(1), "w00");  // the grid did not follow
  QSignalSpy data(source.get(), &TDataSource::OnDataChange);
  source->SetEnabled(true);
  EXPECT_EQ(data.count(), 1);
  Settle();
  EXPECT_EQ(Cell(1), "a-second");

  // An edit of a shown row appears once posted.
  table.FindKey(SjisString("w02"));
  table.Delete();
  Settle();
  for (int r = 0; r < grid->ShownRowCount(); ++r) EXPECT_NE(Cell(r), "w02");

  // Emptied by a filter: nothing shown, keys do nothing.
  table.SetFilter("KEYWORD='zzz*'");
  table.SetFiltered(true);
  Settle();
  EXPECT_EQ(grid->ShownRowCount(), 0);
  EXPECT_EQ(grid->CurrentRow(), -1);
  QTest::keyClick(grid.get(), Qt::Key_Down);
  QTest::keyClick(grid.get(), Qt::Key_PageDown);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(GridTest, RowsDeletedElsewhereAreReadAgainWhenNotFound) {
  // Another program (a second connection) deletes shown rows and the
  // current record; the grid does not hear of it.
  MT other("other");
  other.SetDatabaseName(table.DatabaseName());
  other.SetTableName(table.TableName());
  other.SetIndexFieldNames("KEYWORD");
  other.Open();
  auto removeElsewhere = [&](std::initializer_list<const char*> words) {
    for (const char* w : words) {
      ASSERT_TRUE(other.FindKey(SjisString(w))) << w;
      other.Delete();
    }
  };
  removeElsewhere({"w00", "w03", "w04", "w05"});
  EXPECT_EQ(Cell(4), "w04");

  // A click on a vanished row shows what the table holds now, without a
  // message; the current record, gone too, gives way to the one after it.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, RowPoint(4));
  Settle();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(Cell(0), "w01");
  EXPECT_EQ(Cell(2), "w06");
  EXPECT_EQ(CurrentCell(), "w01");
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, RowPoint(2));
  Settle();
  EXPECT_EQ(table.GS("KEYWORD"), "w06");

  // Page Down after the current record vanished pages on from the record
  // that followed it; so does the wheel's step.
  removeElsewhere({"w06"});
  Key(Qt::Key_PageDown);
  EXPECT_EQ(table.GS("KEYWORD"), "w17");
  removeElsewhere({"w17", "w18", "w19", "w20"});
  QWheelEvent wheel(QPointF(40, 10), grid->viewport()->mapToGlobal(QPointF(40, 10)), {}, {0, -120},
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(grid->viewport(), &wheel);
  Settle();
  EXPECT_EQ(table.GS("KEYWORD"), "w24");
  for (int r = 0; r < grid->ShownRowCount(); ++r) EXPECT_NE(Cell(r), "w20");

  // A double click whose first click meets a vanished row chooses nothing,
  // not the word that took its place under the mouse; a later click does.
  const int row = grid->CurrentRow() + 2;
  const std::string gone = Cell(row).toStdString();
  removeElsewhere({gone.c_str()});
  QSignalSpy dbl(grid.get(), &TmuDBGrid::DblClick);
  auto mouse = [&](QEvent::Type type, quint64 at) {
    QMouseEvent e(type, RowPoint(row), grid->viewport()->mapToGlobal(QPointF(RowPoint(row))), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    e.setTimestamp(at);
    QApplication::sendEvent(grid->viewport(), &e);
  };
  for (auto [type, at] : {std::pair{QEvent::MouseButtonPress, 1000}, {QEvent::MouseButtonRelease, 1050},
                          {QEvent::MouseButtonPress, 1150}, {QEvent::MouseButtonDblClick, 1150},
                          {QEvent::MouseButtonRelease, 1200}})
    mouse(type, static_cast<quint64>(at));
  Settle();
  EXPECT_EQ(dbl.count(), 0);
  EXPECT_EQ(table.GS("KEYWORD"), "w24");
  EXPECT_NE(Cell(row).toStdString(), gone);
  mouse(QEvent::MouseButtonPress, 9000);
  EXPECT_EQ(table.GS("KEYWORD"), Cell(row).toStdString());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(GridTest, DataSourceSignalsFollowTheTable) {
  QSignalSpy onData(source.get(), &TDataSource::OnDataChange);
  QSignalSpy moves(source.get(), &TDataSource::RecordMove);
  QSignalSpy data(source.get(), &TDataSource::DataChange);
  table.Next();
  EXPECT_EQ(moves.count(), 1);
  EXPECT_EQ(onData.count(), 1);
  ASSERT_EQ(onData.at(0).at(0).value<TDataSource*>(), source.get());
  Add("new", 1);
  EXPECT_GE(data.count(), 1);

  source->SetEnabled(false);
  const int before = onData.count();
  table.Next();
  Add("newer", 2);
  EXPECT_EQ(onData.count(), before);
}

TEST_F(GridTest, EnterFollowsTheKeyLinks) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* prev = new QLineEdit;
  auto* next = new QLineEdit;
  auto* next2 = new QLineEdit;
  layout->addWidget(prev);
  grid->setParent(&window);
  layout->addWidget(grid.get());
  layout->addWidget(next);
  layout->addWidget(next2);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QSignalSpy enter(grid.get(), &TmuDBGrid::EnterPressed);

  // No links: the main window hears Enter.
  grid->setFocus();
  QTest::keyClick(grid.get(), Qt::Key_Return);
  EXPECT_EQ(enter.count(), 1);

  // Only a next control: Shift+Enter goes there as well.
  grid->muNextControl = next;
  QTest::keyClick(grid.get(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), next);

  grid->muPrevControl = prev;
  grid->setFocus();
  QTest::keyClick(grid.get(), Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(QApplication::focusWidget(), prev);

  // A control that cannot take the focus falls back to the second link.
  grid->muNextControl2 = next2;
  next->setEnabled(false);
  grid->setFocus();
  QTest::keyClick(grid.get(), Qt::Key_Enter);
  EXPECT_EQ(QApplication::focusWidget(), next2);

  // A destroyed control unlinks itself.
  delete next2;
  EXPECT_TRUE(grid->muNextControl2.isNull());
  grid->setFocus();
  QTest::keyClick(grid.get(), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), grid.get());
  EXPECT_EQ(enter.count(), 1);

  grid->setParent(nullptr);
}

TEST_F(GridTest, FocusSignalsAndColumnResize) {
  QSignalSpy in(grid.get(), &TmuDBGrid::Enter);
  QSignalSpy out(grid.get(), &TmuDBGrid::Exit);
  QSignalSpy resized(grid.get(), &TmuDBGrid::ColumnResized);
  QLineEdit other;
  grid->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
  grid->clearFocus();
  in.clear();
  out.clear();
  grid->setFocus();
  EXPECT_TRUE(grid->hasFocus());
  EXPECT_EQ(in.count(), 1);
  grid->clearFocus();
  EXPECT_EQ(out.count(), 1);

  // Dragging the right border of the column (indicator 11 + 1, width 150).
  const int border = 11 + 150 + 1;
  QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, QPoint(border, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(border + 30, 5), grid->viewport()->mapToGlobal(QPointF(border + 30, 5)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid->viewport(), &move);
  QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, QPoint(border + 30, 5));
  EXPECT_EQ(grid->ColumnWidth(), 180);
  ASSERT_EQ(resized.count(), 1);
  EXPECT_EQ(table.GS("KEYWORD"), "w00");  // a resize is not a click on a row
}

}  // namespace
}  // namespace wendul::test
