// The labelled edit: labels, spin, digits, byte limit, focus links, steps,
// its value and both ways of keeping its text.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QTest>

#include "controls/inipersist.h"
#include "controls/qsjis.h"
#include "settings/muedit.h"
#include "support/test_support.h"

namespace wendul {
namespace {

using test::RecordingUi;
using test::Sj;
using test::TempDir;

// Whether the input method is told that the edit takes its text.
bool TakesInputMethod(QWidget* w) {
  QInputMethodQueryEvent q(Qt::ImEnabled);
  QCoreApplication::sendEvent(w, &q);
  return q.value(Qt::ImEnabled).toBool();
}

struct Form {
  Form() {
    saved = GIniFileName();
    GIniFileName() = dir.str() + "E.INI";
    w.setObjectName("fmEdit");
    w.resize(400, 200);
  }
  ~Form() { GIniFileName() = saved; }
  TmuEdit* Edit(const char* name, QRect g, const char* text = "") {
    auto* ed = new TmuEdit(&w);
    ed->setObjectName(name);
    ed->setGeometry(g);
    ed->setText(text);
    return ed;
  }
  void Show() {
    w.show();
    w.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
  }
  IniFile ini() const { return IniFile(GIniFileName()); }
  TempDir dir;
  QWidget w;
  std::string saved;
};

TEST(TmuEdit, LabelsSitBesideTheFieldAndTheSpinNeverWraps) {
  Form f;
  TmuEdit* ed = f.Edit("ed_Rows", QRect(150, 40, 40, 21), "98");
  ed->SetIsDigit(true);
  ed->IsUpDown = true;
  ed->Max = 99;
  ed->SetCaption(QString::fromUtf8("右矢印キーを押したとき"));
  ed->SetCaptionR(QString::fromUtf8("行下がる"));
  LoadIniControls(&f.w);
  f.Show();
  QLabel* left = ed->LeftLabel();
  QLabel* right = ed->RightLabel();
  ASSERT_TRUE(left && right && ed->UpDown());
  EXPECT_EQ(left->geometry().right() + 1, 150 - 4);  // its right edge 4 pixels left of the field
  EXPECT_EQ(left->y(), 42);
  EXPECT_EQ(right->x(), 150 + 40 + 4 + 10);  // after the 10-pixel spin
  EXPECT_EQ(ed->UpDown()->geometry(), QRect(190, 40, 10, 21));
  EXPECT_TRUE(left->isVisible());
  ed->move(170, 60);  // the labels follow
  EXPECT_EQ(left->geometry().right() + 1, 166);
  EXPECT_EQ(right->y(), 62);
  ed->SetCaption("x");
  EXPECT_EQ(left->text(), "x");
  EXPECT_EQ(left->geometry().right() + 1, 166);

  EXPECT_EQ(ed->UpDownPosition(), 98);
  ed->StepUpDown(+1);
  ed->StepUpDown(+1);
  EXPECT_EQ(ed->text(), "99");  // stops at Max
  ed->setFocus();
  QTest::keyClick(ed, Qt::Key_PageUp);  // PageUp knows no Max
  EXPECT_EQ(ed->text(), "100");
  ed->StepUpDown(+1);
  EXPECT_EQ(ed->text(), "99");
  ed->setText("1");
  ed->SetIncrement(5);
  ed->StepUpDown(-1);
  EXPECT_EQ(ed->text(), "0");  // stops at Min, never wraps to Max
  QTest::keyClick(ed, Qt::Key_PageDown);
  EXPECT_EQ(ed->text(), "-1");
  ed->setText("abc");
  QTest::keyClick(ed, Qt::Key_PageUp);
  EXPECT_EQ(ed->text(), "abc");
}

TEST(TmuEdit, DigitsByteLimitAndFocusLinks) {
  RecordingUi ui;
  Form f;
  TmuEdit* digits = f.Edit("ed_Digits", QRect(10, 10, 80, 21));
  TmuEdit* limited = f.Edit("ed_Limited", QRect(10, 40, 80, 21));
  TmuEdit* other = f.Edit("ed_Other", QRect(10, 70, 80, 21));
  digits->SetIsDigit(true);
  EXPECT_EQ(digits->text(), "0");  // switching on fills an empty field
  EXPECT_TRUE(digits->alignment() & Qt::AlignRight);
  EXPECT_FALSE(digits->testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_FALSE(TakesInputMethod(digits));
  LoadIniControls(&f.w);
  f.Show();

  digits->setFocus();
  digits->selectAll();
  QTest::keyClicks(digits, "1a.5x");
  EXPECT_EQ(digits->text(), "1.5");
  QTest::keyClick(digits, Qt::Key_Backspace);
  EXPECT_EQ(digits->text(), "1.");
  EXPECT_EQ(ui.beeps, 0);  // refused silently
  // Committed input-method text obeys the same rule.
  QInputMethodEvent im;
  im.setCommitString(QString::fromUtf8("２3ア"));
  QApplication::sendEvent(digits, &im);
  EXPECT_EQ(digits->text(), "1.3");

  // "ab" + one double-byte character = 4 bytes: full.
  limited->MaxLength = 4;
  limited->setText(QString::fromUtf8("abあ"));
  limited->setFocus();
  limited->end(false);
  QTest::keyClicks(limited, "c");
  EXPECT_EQ(limited->text(), QString::fromUtf8("abあ"));
  EXPECT_EQ(ui.beeps, 1);
  limited->setSelection(0, 1);  // with a selection it is replaced
  QTest::keyClicks(limited, "c");
  EXPECT_EQ(limited->text(), QString::fromUtf8("cbあ"));
  limited->setText("ab");
  QInputMethodEvent im2;
  im2.setCommitString(QString::fromUtf8("東京"));
  limited->end(false);
  QApplication::sendEvent(limited, &im2);
  EXPECT_EQ(limited->text(), QString::fromUtf8("ab東"));  // what fits, and a beep
  EXPECT_EQ(ui.beeps, 2);

  // ENTER: nothing without a next control, never a new line or a beep.
  QTest::keyClick(limited, Qt::Key_Return);
  EXPECT_TRUE(limited->hasFocus());
  limited->muNextControl = other;
  other->muPrevControl = limited;
  QTest::keyClick(limited, Qt::Key_Return);
  EXPECT_TRUE(other->hasFocus());
  QTest::keyClick(other, Qt::Key_F12);
  EXPECT_TRUE(limited->hasFocus());
  EXPECT_EQ(ui.beeps, 2);

  // Upper case for the options' fields.
  other->IsUpperCase = true;
  other->setFocus();
  QTest::keyClicks(other, "ab1");
  EXPECT_EQ(other->text(), "AB1");

  digits->SetIsDigit(false);
  digits->setText(" 0 ");
  digits->SetIsDigit(true);
  digits->SetIsDigit(false);
  EXPECT_EQ(digits->text(), "");
  EXPECT_TRUE(digits->testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_TRUE(TakesInputMethod(digits));
}

TEST(TmuEdit, ValueAndBothStorageSchemes) {
  Form f;
  f.ini().WriteStrings({{"fmEdit", "ed_New", "abc"}, {"Text", "edOld", "\x8c\x9f\x8d\xf5"}, {"fmEdit", "edOld", "no"}});
  {
    TmuEdit* fresh = f.Edit("ed_New", QRect(10, 10, 40, 21), "8");
    fresh->IsIni = true;
    fresh->IsNewVersionIni = true;
    fresh->IsUpDown = true;
    TmuEdit* old = f.Edit("edOld", QRect(10, 40, 40, 21));
    old->IsIni = true;
    TmuEdit* missing = f.Edit("ed_Missing", QRect(10, 70, 40, 21), "11");
    missing->IsIni = true;
    missing->IsNewVersionIni = true;
    LoadIniControls(&f.w);
    EXPECT_EQ(fresh->text(), "abc");  // not a number: loaded as text
    EXPECT_EQ(fresh->Val(), 0);
    EXPECT_EQ(fresh->UpDownPosition(), 0);
    EXPECT_EQ(old->text(), QString::fromUtf8("検索"));  // section "Text"
    EXPECT_EQ(missing->text(), "11");
    EXPECT_EQ(missing->Val(), 11);
    missing->setText(" 12.5 ");
    EXPECT_EQ(missing->Val(), 12.5);
    missing->SetVal(0.1);
    EXPECT_EQ(missing->text(), "0.1");
    missing->SetVal(42);
    EXPECT_EQ(missing->text(), "42");
    old->setText("  ");  // cleared: an empty value, not a missing key
    EXPECT_TRUE(StoreIniControls(&f.w));
  }
  IniFile ini = f.ini();
  EXPECT_EQ(ini.ReadString("fmEdit", "ed_Missing", "?"), "42");
  EXPECT_TRUE(ini.ValueExists("Text", "edOld"));
  EXPECT_EQ(ini.ReadString("Text", "edOld", "?"), "");
  EXPECT_EQ(ini.ReadString("fmEdit", "edOld", "?"), "no");  // the old scheme never writes there
}

}  // namespace
}  // namespace wendul
