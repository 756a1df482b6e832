// The long-paragraph layout against Qt's own: the same lines, heights and
// caret places as a QTextLayout of the same text, after every one of a
// series of random edits, each of which shapes only the runs around it.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "controls/jfont.h"
#include "controls/paralayout.h"

using wendul::ParaLayout;

namespace {

struct QtLines {
  std::vector<int> start, length;
  std::vector<qreal> y;
  QTextLayout layout;
  QtLines(const QString& text, const QFont& font, qreal width) : layout(text, font) {
    QTextOption option;
    option.setWrapMode(width > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal h = 0;
    for (;;) {
      QTextLine l = layout.createLine();
      if (!l.isValid()) break;
      l.setLeadingIncluded(true);
      l.setLineWidth(width > 0 ? width : 1e6);
      l.setPosition(QPointF(0, h));
      start.push_back(l.textStart());
      length.push_back(l.textLength());
      y.push_back(h);
      h += l.height();
      if (l.leading() < 0) h += std::ceil(l.leading());
    }
    layout.endLayout();
  }
};

// The first difference between the two layouts, or "".
std::string Differ(const ParaLayout& p, const QString& text, const QFont& font, qreal width) {
  const QtLines q(text, font, width);
  for (int i = 0; i < std::min(p.LineCount(), static_cast<int>(q.start.size())); ++i) {
    const auto& l = p.LineAt(i);
    // Heights may differ by a pixel where another face meets a line's end:
    // Qt counts the next item's face in.
    const qreal qh = i + 1 < static_cast<int>(q.y.size()) ? q.y[i + 1] - q.y[i] : l.height;
    if (l.start != q.start[i] || l.length != q.length[i] || std::abs(l.height - qh) > 1)
      return "line " + std::to_string(i) + " '" + text.mid(l.start, l.length).toStdString() + "' vs '" +
             text.mid(q.start[i], q.length[i]).toStdString() + "' then '" +
             text.mid(q.start[i] + q.length[i], 24).toStdString() + "': " + std::to_string(l.start) + "+" + std::to_string(l.length) + " height " +
             std::to_string(l.height) + " vs Qt " + std::to_string(q.start[i]) + "+" + std::to_string(q.length[i]) +
             " height " + std::to_string(qh);
    const QTextLine ql = q.layout.lineAt(i);
    for (int pos = l.start; pos <= l.start + l.length; ++pos) {
      if (pos < text.size() && text.at(pos).isLowSurrogate()) continue;
      if (std::abs(p.CursorX(i, pos) - ql.cursorToX(pos)) > 0.51)
        return "x of " + std::to_string(pos) + " on line " + std::to_string(i) + ": " +
               std::to_string(p.CursorX(i, pos)) + " vs Qt " + std::to_string(ql.cursorToX(pos));
    }
  }
  if (p.LineCount() != static_cast<int>(q.start.size()))
    return "lines " + std::to_string(p.LineCount()) + " vs Qt " + std::to_string(q.start.size());
  return {};
}

const char* const kPieces[] = {"東京タワーと", "写真を撮りました。", "abc ", "0123456789 ", "「確認」", "　",
                               "ｶﾀｶﾅ", "ー", "、", "Internationalization", "😀", "e\xCC\x81", "・"};

QString Prose(std::mt19937& rng, int chars) {
  QString t;
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  while (t.size() < chars) t += QString::fromUtf8(kPieces[pick(rng)]);
  return t;
}

}  // namespace

TEST(ParaLayout, BreaksAndPlacesLikeQtThroughEdits) {
  for (const bool proportional : {false, true}) {
    const QFont font = wendul::JapaneseFont(proportional, 15);
    for (const qreal width : {0.0, 137.0, 600.0}) {
      std::mt19937 rng(proportional * 7 + static_cast<int>(width));
      QString text = Prose(rng, 3000);
      ParaLayout p;
      p.Update(text, font, nullptr, width, 80);
      ASSERT_EQ(Differ(p, text, font, width), "") << "width " << width;
      for (int step = 0; step < 60; ++step) {
        std::uniform_int_distribution<int> at(0, static_cast<int>(text.size()));
        int pos = at(rng);
        if (pos < text.size() && text.at(pos).isLowSurrogate()) --pos;
        const int64_t shapedBefore = ParaLayout::CharsShaped();
        if (step % 3 == 2 && text.size() > 10) {
          int end = std::min<int>(static_cast<int>(text.size()), pos + 1 + static_cast<int>(rng() % 30));
          if (end < text.size() && text.at(end).isLowSurrogate()) ++end;
          text.remove(pos, end - pos);
        } else {
          text.insert(pos, QString::fromUtf8(kPieces[rng() % std::size(kPieces)]));
        }
        p.Update(text, font, nullptr, width, 80);
        // Only the runs around the edit were shaped again.
        EXPECT_LT(ParaLayout::CharsShaped() - shapedBefore, 400) << "step " << step;
        ASSERT_EQ(Differ(p, text, font, width), "") << "width " << width << ", step " << step;
      }
      // And the same as a layout made from scratch.
      ParaLayout fresh;
      fresh.Update(text, font, nullptr, width, 80);
      ASSERT_EQ(fresh.LineCount(), p.LineCount());
      for (int i = 0; i < p.LineCount(); ++i) {
        EXPECT_EQ(fresh.LineAt(i).start, p.LineAt(i).start);
        EXPECT_EQ(fresh.LineAt(i).height, p.LineAt(i).height);
      }
    }
  }
}

TEST(ParaLayout, GlyphsOfParagraphsNotDrawnLatelyAreLetGoAndDrawnAlikeAgain) {
  const QFont font = wendul::JapaneseFont(false, 15);
  std::mt19937 rng(3);
  auto draw = [&](const ParaLayout& p) {
    QImage img(400, 120, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    painter.setPen(Qt::black);
    for (int i = 0; i < 6; ++i) p.DrawLine(&painter, i, QPointF(0, i * 20), {});
    return img;
  };
  std::vector<std::unique_ptr<ParaLayout>> paras;
  for (size_t k = 0; k < ParaLayout::kWithGlyphs + 3; ++k) {
    paras.push_back(std::make_unique<ParaLayout>());
    paras.back()->Update(Prose(rng, 2000), font, nullptr, 380, 80);
  }
  const QImage first = draw(*paras[0]);
  for (auto& p : paras) draw(*p);  // the first is drawn longest ago: its glyphs go
  const int64_t shaped = ParaLayout::CharsShaped();
  EXPECT_EQ(draw(*paras[0]), first);
  // Only the runs of the lines drawn were shaped again.
  EXPECT_GT(ParaLayout::CharsShaped(), shaped);
  EXPECT_LT(ParaLayout::CharsShaped() - shaped, 400);
}
