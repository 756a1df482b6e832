// The date edit: layout, setting and reading dates, the day's roll-over,
// era display with its letters and button, and moving between the fields.
#include <gtest/gtest.h>

#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "controls/mudateedit.h"
#include "support/test_support.h"
#include "util/datetime.h"
#include "util/messages.h"

namespace wendul {
namespace {

TDateTime Day(int y, int m, int d) { return EncodeDate(y, m, d); }

QRect Geo(QWidget* w) { return w->geometry(); }

// Whether the input method is told that the widget takes its text.
bool TakesInputMethod(QWidget* w) {
  QInputMethodQueryEvent q(Qt::ImEnabled);
  QCoreApplication::sendEvent(w, &q);
  return q.value(Qt::ImEnabled).toBool();
}

TEST(TmuDateEdit, LayoutFollowsTheWidth) {
  TmuDateEdit ed;
  ed.show();  // a hidden widget hears of its size when shown
  ed.resize(260, 30);
  EXPECT_EQ(ed.LayoutUnit(), 42);
  EXPECT_EQ(Geo(ed.YearEdit()), QRect(10, 2, 84, 26));
  EXPECT_EQ(Geo(ed.MonthEdit()), QRect(104, 2, 42, 26));
  EXPECT_EQ(Geo(ed.DayEdit()), QRect(156, 2, 42, 26));
  EXPECT_EQ(Geo(ed.WeekEdit()), QRect(208, 2, 40, 26));
  EXPECT_FALSE(ed.CaptionBar()->isVisibleTo(&ed));

  ed.SetIsEWBtn(true);
  ed.SetIsCap(true);
  ed.resize(300, 60);  // u = (300 - 60 - 40) div 5 = 40, h = 27
  EXPECT_EQ(ed.LayoutUnit(), 40);
  EXPECT_EQ(Geo(ed.EraButton()), QRect(10, 2, 40, 27));
  EXPECT_EQ(Geo(ed.YearEdit()), QRect(60, 2, 80, 27));
  EXPECT_EQ(Geo(ed.MonthEdit()), QRect(150, 2, 40, 27));
  EXPECT_EQ(Geo(ed.DayEdit()), QRect(200, 2, 40, 27));
  EXPECT_EQ(Geo(ed.WeekEdit()), QRect(250, 2, 40, 27));
  EXPECT_EQ(Geo(ed.CaptionBar()), QRect(10, 31, 280, 27));
  EXPECT_TRUE(ed.CaptionBar()->isVisibleTo(&ed));
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("年号"));
  EXPECT_EQ(ed.EraButton()->toolTip(), QString::fromUtf8("和暦と西暦を切り替えます"));
}

TEST(TmuDateEdit, SetAndGetDateWithTheDaysRollOver) {
  test::RecordingUi ui;
  TmuDateEdit ed;
  ed.SetIsCap(true);
  QSignalSpy changes(&ed, &TmuDateEdit::OnChange);
  ed.SetDate(Day(2001, 5, 3) + 0.75);
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes[0][0].value<QObject*>(), ed.DayEdit());
  EXPECT_EQ(ed.GetDate(), Day(2001, 5, 3));
  EXPECT_EQ(ed.YearEdit()->text(), "2001");
  EXPECT_EQ(ed.MonthEdit()->text(), "5");
  EXPECT_EQ(ed.WeekEdit()->text(), QString::fromUtf8(" (木)"));
  EXPECT_EQ(ed.CaptionBar()->text(), "2001.05.03");
  EXPECT_EQ(ed.CaptionBar()->palette().color(QPalette::WindowText), QColor(Qt::white));

  // Spinning the day below 1 or beyond the month's end moves to the next month.
  ed.SetDate(Day(2024, 3, 1));
  ed.Spin(ed.DayEdit(), -1);
  EXPECT_EQ(ed.GetDate(), Day(2024, 2, 29));
  ed.SetDate(Day(2001, 3, 1));
  ed.Spin(ed.DayEdit(), -1);
  EXPECT_EQ(ed.GetDate(), Day(2001, 2, 28));
  ed.SetDate(Day(2001, 4, 30));
  changes.clear();
  QTest::keyClick(ed.DayEdit(), Qt::Key_Up);
  EXPECT_EQ(ed.GetDate(), Day(2001, 5, 1));
  EXPECT_EQ(changes.count(), 2);  // the nested SetDate's and the field's own
  // Typing 30 in February: "3" is the 3rd, "30" the last valid date plus one.
  ed.SetDate(Day(2001, 2, 10));
  ed.DayEdit()->selectAll();
  QTest::keyClicks(ed.DayEdit(), "30");
  EXPECT_EQ(ed.GetDate(), Day(2001, 2, 4));

  // An impossible month: the caption's text vanishes, the last date stays.
  ed.MonthEdit()->setText("13");
  EXPECT_EQ(ed.GetDate(), Day(2001, 2, 4));
  EXPECT_EQ(ed.CaptionBar()->palette().color(QPalette::WindowText), QColor(0, 128, 128));
  try {
    ed.GetDate(false);
    ADD_FAILURE();
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), "2001/13/4" + test::Sj(" は日付としておかしいです"));
  }

  // Digits only, at most 2 in the day field (a full field beeps).
  ed.SetDate(Day(2001, 5, 3));
  ed.DayEdit()->setCursorPosition(1);
  const int beeps = ui.beeps;
  QTest::keyClicks(ed.DayEdit(), "x1");
  EXPECT_EQ(ed.DayEdit()->text(), "31");
  QTest::keyClicks(ed.DayEdit(), "2");
  EXPECT_EQ(ed.DayEdit()->text(), "31");
  EXPECT_EQ(ui.beeps, beeps + 1);

  changes.clear();
  ed.SetDate(0);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(ed.YearEdit()->text(), "");
  EXPECT_EQ(ed.DayEdit()->text(), "");
  EXPECT_EQ(ed.WeekEdit()->text(), "");
  EXPECT_EQ(ed.GetDate(), 0);
}

TEST(TmuDateEdit, EraDisplayLettersAndButton) {
  TmuDateEdit ed;
  ed.SetIsEWBtn(true);
  ed.SetDate(Day(1999, 7, 1));
  ed.SetIsJMode(true);
  EXPECT_EQ(ed.YearEdit()->text(), "11");
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("平成"));
  EXPECT_EQ(ed.GetDate(), Day(1999, 7, 1));
  ed.EraButton()->click();
  EXPECT_FALSE(ed.IsJMode());
  EXPECT_EQ(ed.YearEdit()->text(), "1999");
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("西暦"));
  ed.EraButton()->click();
  EXPECT_EQ(ed.YearEdit()->text(), "11");

  // In era mode a letter changes the era of the year shown: 昭和 20 is 1945.
  ed.YearEdit()->setText("20");
  QSignalSpy changes(&ed, &TmuDateEdit::OnChange);
  QTest::keyClicks(ed.MonthEdit(), "s");
  EXPECT_EQ(ed.GetDate(), Day(1945, 7, 1));
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("昭和"));
  EXPECT_EQ(ed.MonthEdit()->text(), "7");  // the letter itself is not typed
  EXPECT_EQ(changes.count(), 1);

  // 令和 from 1 May 2019; 平成 31 before it; SetDate follows the era.
  ed.SetDate(Day(2019, 5, 1));
  EXPECT_EQ(ed.YearEdit()->text(), "1");
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("令和"));
  ed.SetDate(Day(2019, 4, 30));
  EXPECT_EQ(ed.YearEdit()->text(), "31");
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("平成"));
  QTest::keyClicks(ed.DayEdit(), "R");
  EXPECT_EQ(ed.GetDate(), Day(2049, 4, 30));  // 令和 31
  // Before 明治 the era display keeps the western year.
  ed.SetDate(Day(1850, 1, 2));
  EXPECT_EQ(ed.YearEdit()->text(), "1850");
  EXPECT_EQ(ed.EraButton()->text(), QString::fromUtf8("西暦"));
  EXPECT_EQ(ed.GetDate(), Day(1850, 1, 2));

  // In western mode a letter shows the date's own era, whatever the letter.
  TmuDateEdit west;
  west.SetDate(Day(2020, 2, 2));
  QTest::keyClicks(west.DayEdit(), "m");
  EXPECT_TRUE(west.IsJMode());
  EXPECT_EQ(west.Era(), 4);
  EXPECT_EQ(west.YearEdit()->text(), "2");
  EXPECT_EQ(west.GetDate(), Day(2020, 2, 2));
}

TEST(TmuDateEdit, ArrowsEnterAndF12MoveBetweenFields) {
  TmuDateEdit ed;
  QWidget after;
  ed.SetMuNextControl(&after);
  ed.show();
  ed.SetDate(Day(2001, 5, 3));
  ed.SetFocus();
  QApplication::setActiveWindow(&ed);
  EXPECT_TRUE(ed.DayEdit()->hasFocus());
  // Digits only: the input method steps aside, so a year typed with it on
  // arrives as digits and Enter chooses it.
  for (QWidget* field : {ed.YearEdit(), ed.MonthEdit(), ed.DayEdit()}) EXPECT_FALSE(TakesInputMethod(field));
  ed.DayEdit()->setCursorPosition(0);
  QTest::keyClick(ed.DayEdit(), Qt::Key_Left);
  EXPECT_TRUE(ed.MonthEdit()->hasFocus());
  ed.MonthEdit()->setCursorPosition(1);
  QTest::keyClick(ed.MonthEdit(), Qt::Key_Right);
  EXPECT_TRUE(ed.DayEdit()->hasFocus());
  QTest::keyClick(ed.DayEdit(), Qt::Key_F12);
  EXPECT_TRUE(ed.MonthEdit()->hasFocus());
  QTest::keyClick(ed.MonthEdit(), Qt::Key_Return);
  EXPECT_TRUE(ed.DayEdit()->hasFocus());
  QSignalSpy keys(&ed, &TmuDateEdit::OnKeyDown);
  QTest::keyClick(ed.DayEdit(), Qt::Key_Return);  // the control's own next control
  EXPECT_EQ(keys.count(), 1);
  QTest::keyClick(ed.DayEdit(), Qt::Key_PageUp);
  EXPECT_EQ(ed.GetDate(), Day(2001, 5, 4));
}

}  // namespace
}  // namespace wendul
