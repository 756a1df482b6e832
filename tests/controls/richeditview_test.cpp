// The document editor's own view of a long paragraph against a stock
// QPlainTextEdit showing the same text: the caret goes to the same places
// with the line keys and the mouse, in wrapped and unwrapped text; the input
// method's unfinished text is shown and measured in a long paragraph; a
// keystroke there shapes only around the caret.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "controls/jfont.h"
#include "controls/murichedit.h"
#include "controls/paralayout.h"
#include "controls/richeditview.h"
#include "util/codec.h"

using wendul::ParaLayout;
using wendul::TmuRichEdit;

namespace {

QString LongParagraph(int chars) {
  const QString sentence = QString::fromUtf8("東京タワーと東京駅の写真を撮りました。abc 0123456789 四月の旅行記です、");
  QString t;
  while (t.size() < chars) t += sentence;
  t.truncate(chars);
  return t;
}

void Prepare(QPlainTextEdit& e, const QString& text, bool wrap) {
  e.setFont(wendul::JapaneseFont(false, 15));
  e.setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  e.resize(520, 300);
  e.setPlainText(text);
  e.show();
  QApplication::processEvents();
}

}  // namespace

TEST(RichEditView, LineKeysAndClicksInALongParagraphGoWhereQtsGo) {
  const QString text = QString::fromUtf8("一行目\n") + LongParagraph(4000) + QString::fromUtf8("\n最後の行\n短い");
  for (const bool wrap : {true, false}) {
    TmuRichEdit ed;
    QPlainTextEdit stock;
    Prepare(ed, text, wrap);
    Prepare(stock, text, wrap);
    ed.SetWordWrap(wrap);
    ASSERT_TRUE(ed.TextView().IsLong(ed.document()->findBlockByNumber(1)));
    ASSERT_FALSE(ed.TextView().IsLong(ed.document()->findBlockByNumber(0)));
    ASSERT_EQ(ed.TextView().LinesIn(ed.document()->findBlockByNumber(1)).size(),
              static_cast<size_t>(stock.document()->findBlockByNumber(1).layout()->lineCount()));

    auto both = [&](auto&& act) {
      act(static_cast<QPlainTextEdit&>(ed));
      act(stock);
      QApplication::processEvents();
    };
    auto setCaret = [&](int pos) {
      both([&](QPlainTextEdit& e) {
        QTextCursor c = e.textCursor();
        c.setPosition(pos);
        e.setTextCursor(c);
      });
    };
    // Down through the paragraph and back up, End and Home on its lines.
    setCaret(5);
    const Qt::Key keys[] = {Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_End, Qt::Key_Down,
                            Qt::Key_Home, Qt::Key_Down, Qt::Key_Down, Qt::Key_End, Qt::Key_Up, Qt::Key_Up,
                            Qt::Key_PageDown, Qt::Key_Down, Qt::Key_PageUp};
    for (int round = 0; round < (wrap ? 12 : 2); ++round) {
      for (Qt::Key k : keys) {
        both([&](QPlainTextEdit& e) { QTest::keyClick(&e, k); });
        ASSERT_EQ(ed.textCursor().position(), stock.textCursor().position())
            << (wrap ? "wrapped" : "not wrapped") << ", round " << round << ", key " << k;
      }
    }
    both([&](QPlainTextEdit& e) { QTest::keyClick(&e, Qt::Key_Down, Qt::ShiftModifier); });
    EXPECT_EQ(ed.textCursor().anchor(), stock.textCursor().anchor());
    EXPECT_EQ(ed.textCursor().position(), stock.textCursor().position());

    // Both views at the caret: the same top line; clicks land alike.
    setCaret(2000);
    ASSERT_EQ(ed.verticalScrollBar()->value(), stock.verticalScrollBar()->value());
    ASSERT_EQ(ed.horizontalScrollBar()->value(), stock.horizontalScrollBar()->value());
    for (int y = 5; y < 280; y += 23) {
      for (int x = 3; x < 500; x += 37) {
        both([&](QPlainTextEdit& e) { QTest::mouseClick(e.viewport(), Qt::LeftButton, {}, QPoint(x, y)); });
        ASSERT_EQ(ed.textCursor().position(), stock.textCursor().position()) << "click at " << x << "," << y;
      }
    }
    // A drag selects from where it began.
    both([&](QPlainTextEdit& e) {
      QTest::mousePress(e.viewport(), Qt::LeftButton, {}, QPoint(40, 30));
      QMouseEvent move(QEvent::MouseMove, QPointF(300, 120), e.viewport()->mapToGlobal(QPointF(300, 120)),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(e.viewport(), &move);
      QTest::mouseRelease(e.viewport(), Qt::LeftButton, {}, QPoint(300, 120));
    });
    EXPECT_TRUE(ed.textCursor().hasSelection());
    EXPECT_EQ(ed.textCursor().anchor(), stock.textCursor().anchor());
    EXPECT_EQ(ed.textCursor().position(), stock.textCursor().position());
  }
}

TEST(RichEditView, PreeditInALongParagraphIsDrawnInItsColoursAndFollowedByTheCaret) {
  TmuRichEdit ed;
  ed.SetIMEColors({{{Qt::black, QColor(255, 255, 0)}, {Qt::white, Qt::blue}, {Qt::red, Qt::green}, {Qt::gray, Qt::cyan}}});
  Prepare(ed, LongParagraph(6000), true);
  ed.setFocus();
  ed.SetSelStart(ed.TextLength() / 2);
  QApplication::processEvents();
  const QTextBlock block = ed.document()->firstBlock();
  ASSERT_TRUE(ed.TextView().IsLong(block));
  const QRect before = ed.inputMethodQuery(Qt::ImCursorRectangle).toRect();
  const int64_t bytes = ed.TextLength();
  ASSERT_TRUE(ed.rect().contains(before.center()));

  // A keystroke in the paragraph shapes only around the caret.
  int64_t shaped = ParaLayout::CharsShaped();
  QInputMethodEvent typing(QString::fromUtf8("とうきょう"), {});
  QApplication::sendEvent(&ed, &typing);
  EXPECT_LT(ParaLayout::CharsShaped() - shaped, 400);
  EXPECT_EQ(ed.TextLength(), bytes);  // the text is as it was
  const QRect during = ed.inputMethodQuery(Qt::ImCursorRectangle).toRect();
  EXPECT_NE(during.topLeft(), before.topLeft());  // after the unfinished text
  const QImage shot = ed.viewport()->grab().toImage();
  bool yellow = false;
  for (int y = 0; y < shot.height() && !yellow; ++y)
    for (int x = 0; x < shot.width() && !yellow; ++x) yellow = shot.pixelColor(x, y) == QColor(255, 255, 0);
  EXPECT_TRUE(yellow) << "the unfinished text in its background colour";

  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("東京"));
  QApplication::sendEvent(&ed, &commit);
  EXPECT_TRUE(ed.CheckByteIndex());
  EXPECT_EQ(ed.TextView().LinesIn(block).back().first + ed.TextView().LinesIn(block).back().second, 6002);
  EXPECT_TRUE(ed.rect().contains(ed.inputMethodQuery(Qt::ImCursorRectangle).toRect().center()));
  // The text around the caret, not the whole paragraph, with the caret in it.
  const QString around = ed.inputMethodQuery(Qt::ImSurroundingText).toString();
  const int at = ed.inputMethodQuery(Qt::ImCursorPosition).toInt();
  EXPECT_LE(around.size(), 2 * wendul::RichEditView::kSurrounding + 2);
  EXPECT_TRUE(around.left(at).endsWith(QString::fromUtf8("東京")));
  EXPECT_EQ(ed.inputMethodQuery(Qt::ImAnchorPosition).toInt(), at);
}

TEST(RichEditView, WhatIsShownAfterTypingAndScrollingIsWhatAFullPaintShows) {
  // Typing repaints only what changed and scrolls the rest by moving pixels;
  // the screen must show what painting everything shows.
  TmuRichEdit ed;
  QString text;
  for (int i = 0; i < 60; ++i) text += QString::fromUtf8("短い行です\n");
  text += LongParagraph(3000);
  Prepare(ed, text, true);
  ed.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&ed));
  ed.setFocus();  // the caret is drawn
  auto shown = [&] {
    QApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(ed.winId()).toImage();
  };
  auto same = [&] {  // what the screen shows, then what a full paint shows
    const QImage now = shown();
    ed.viewport()->update();
    return now == shown();
  };
  auto type = [&](const QString& t) {
    QInputMethodEvent commit;
    commit.setCommitString(t);
    QApplication::sendEvent(&ed, &commit);
  };
  ed.SetSelStart(ed.LineIndex(58));
  for (int i = 0; i < 12; ++i) {
    QTest::keyClick(&ed, Qt::Key_Return);  // the lines below move down, the view follows
    type(QString::fromUtf8("追加"));
    ASSERT_TRUE(same()) << "after line " << i;
  }
  QTest::keyClick(&ed, Qt::Key_Up);  // the caret leaves where the scrolled pixels put it
  ASSERT_TRUE(same()) << "after Up";
  ed.SetSelStart(ed.LineIndex(ed.LineCount() - 1) + 2000);  // into the long paragraph
  for (int i = 0; i < 20; ++i) {
    type(QString::fromUtf8(i % 5 == 4 ? "。" : "東"));
    ASSERT_TRUE(same()) << "after key " << i << " in the long paragraph";
  }
  for (int i = 0; i < 6; ++i) {
    ed.verticalScrollBar()->triggerAction(i < 3 ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
    ASSERT_TRUE(same()) << "after scrolling " << i;
  }
  // Wrapping off and on again moves the caret's place on the screen without
  // moving it in the text; then it moves.
  ed.SetWordWrap(false);
  QTest::keyClick(&ed, Qt::Key_End);
  type(QStringLiteral("xyz"));
  ed.SetWordWrap(true);
  QApplication::processEvents();
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(&ed, Qt::Key_Up);
    ASSERT_TRUE(same()) << "after Up " << i << " with wrapping back on";
  }
}
