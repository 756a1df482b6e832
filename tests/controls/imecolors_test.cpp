// Pre-edit colours: events shaped as the Fcitx 5 and IBus Qt plugins send
// them, and the colours of the pre-edit the document pane lays out.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTextBlock>
#include <QTextLayout>

#include "controls/imecolors.h"
#include "controls/murichedit.h"
#include "controls/tcolor.h"

namespace wendul {
namespace {

using Attr = QInputMethodEvent::Attribute;
using K = ImeSegment;

QTextCharFormat Underline(QTextCharFormat::UnderlineStyle s) {
  QTextCharFormat f;
  f.setUnderlineStyle(s);
  return f;
}
// Fcitx 5: HighLight = the palette's highlight behind highlighted text.
QTextCharFormat FcitxHighlight() {
  QTextCharFormat f;
  f.setBackground(QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight));
  f.setForeground(QGuiApplication::palette().color(QPalette::Active, QPalette::HighlightedText));
  return f;
}
QTextCharFormat Brush(bool background, QRgb rgb) {
  QTextCharFormat f;
  if (background) f.setBackground(QColor(rgb));
  else f.setForeground(QColor(rgb));
  return f;
}
Attr Format(int start, int length, const QTextCharFormat& f) { return Attr(QInputMethodEvent::TextFormat, start, length, f); }
Attr Cursor(int pos) { return Attr(QInputMethodEvent::Cursor, pos, 1, QVariant()); }

std::vector<K> Kinds(const QString& pre, const QList<Attr>& attrs) {
  QInputMethodEvent e(pre, attrs);
  return ClassifyPreedit(e);
}

TEST(ImeColors, FcitxSegmentsMapOntoTheFourPairs) {
  const auto dash = Underline(QTextCharFormat::DashUnderline);
  // Typing: one underlined segment, the caret at its end.
  EXPECT_EQ(Kinds(QString::fromUtf8("とうきょうに"), {Format(0, 6, dash), Cursor(6)}), std::vector<K>(6, K::Input));
  // Converted: "東京" highlighted (current), "に" underlined.
  EXPECT_EQ(Kinds(QString::fromUtf8("東京に"), {Format(0, 2, FcitxHighlight()), Format(2, 1, dash), Cursor(0)}),
            (std::vector<K>{K::Current, K::Current, K::Other}));
  // The next clause becomes current.
  EXPECT_EQ(Kinds(QString::fromUtf8("東京に"), {Format(0, 2, dash), Format(2, 1, FcitxHighlight()), Cursor(2)}),
            (std::vector<K>{K::Other, K::Other, K::Current}));
  EXPECT_TRUE(Kinds(QString(), {}).empty());
  // A conversion that reads exactly as typed is a conversion all the same.
  Kinds(QString::fromUtf8("きしゃのきしゃ"), {Format(0, 7, dash), Cursor(7)});
  EXPECT_EQ(Kinds(QString::fromUtf8("きしゃのきしゃ"), {Format(0, 3, FcitxHighlight()), Format(3, 4, dash), Cursor(0)}),
            (std::vector<K>{K::Current, K::Current, K::Current, K::Other, K::Other, K::Other, K::Other}));
  // The whole text highlighted as it was typed (converted to hiragana): the current clause.
  EXPECT_EQ(Kinds(QString::fromUtf8("きしゃのきしゃ"), {Format(0, 7, FcitxHighlight()), Cursor(7)}),
            std::vector<K>(7, K::Current));
}

TEST(ImeColors, IBusAttributesOverlapAndMergeAsThePluginSendsThem) {
  const auto single = Underline(QTextCharFormat::SingleUnderline);
  const auto dashed = Underline(QTextCharFormat::DashUnderline);  // IBus double underline
  // Mozc: typing underlined single.
  EXPECT_EQ(Kinds(QString::fromUtf8("かいぎ"), {Format(0, 3, single), Cursor(3)}), std::vector<K>(3, K::Input));
  // Mozc converting: the current clause double-underlined with a light-blue
  // background and black text, one merged format per attribute of its range.
  QTextCharFormat current = dashed;
  current.merge(Brush(true, 0xD1EAFF));
  current.merge(Brush(false, 0x000000));
  EXPECT_EQ(Kinds(QString::fromUtf8("会議は"),
                  {Format(0, 2, current), Format(0, 2, current), Format(0, 2, current), Format(2, 1, single), Cursor(0)}),
            (std::vector<K>{K::Current, K::Current, K::Other}));
  // "sorehadouka" converted stays in hiragana: still the current clause and the others.
  EXPECT_EQ(Kinds(QString::fromUtf8("それはどうか"), {Format(0, 6, single), Cursor(6)}), std::vector<K>(6, K::Input));
  EXPECT_EQ(Kinds(QString::fromUtf8("それはどうか"), {Format(0, 3, current), Format(3, 3, single), Cursor(0)}),
            (std::vector<K>{K::Current, K::Current, K::Current, K::Other, K::Other, K::Other}));
  // Anthy: the whole text underlined, a background on the current clause only.
  EXPECT_EQ(Kinds(QString::fromUtf8("会議は"),
                  {Format(0, 3, single), Format(2, 1, Brush(true, 0xC8C8F0)), Format(2, 1, Brush(false, 0)), Cursor(2)}),
            (std::vector<K>{K::Other, K::Other, K::Current}));
  // Chewing: no background; the phrase at the caret double-underlined.
  EXPECT_EQ(Kinds(QString::fromUtf8("今天天氣"), {Format(0, 2, single), Format(2, 2, dashed), Cursor(3)}),
            (std::vector<K>{K::Other, K::Other, K::Current, K::Current}));
  // Attributes beyond the text are clamped, not trusted.
  EXPECT_EQ(Kinds("ab", {Format(-3, 100, single), Cursor(99)}), std::vector<K>(2, K::Input));
}

TEST(ImeColors, TheDocumentPaneDrawsThePreeditInThePairs) {
  TmuRichEdit ed;
  const QColor typedText(0, 0, 255), typedBack(255, 255, 255);
  ed.SetIMEColors({{{typedText, typedBack}, {QColor(0, 0, 0), QColor(255, 255, 0)},
                    {QColor(1, 2, 3), QColor(0, 255, 0)}, {QColor(255, 255, 255), QColor(0, 0, 255)}}});
  auto formats = [&] { return ed.textCursor().block().layout()->formats(); };

  QInputMethodEvent typing(QString::fromUtf8("とうきょう"),
                           {Format(0, 5, Underline(QTextCharFormat::DashUnderline)), Cursor(5)});
  QApplication::sendEvent(&ed, &typing);
  auto f = formats();
  ASSERT_EQ(f.size(), 1);
  EXPECT_EQ(f[0].format.foreground().color(), typedText);
  EXPECT_EQ(f[0].format.background().color(), typedBack);
  EXPECT_EQ(f[0].format.underlineStyle(), QTextCharFormat::DashUnderline);  // the method's mark stays

  QTextCharFormat mozc = Underline(QTextCharFormat::DashUnderline);
  mozc.merge(Brush(true, 0xD1EAFF));
  QInputMethodEvent converting(QString::fromUtf8("東京"),
                               {Format(0, 1, mozc), Format(1, 1, Underline(QTextCharFormat::SingleUnderline)), Cursor(0)});
  QApplication::sendEvent(&ed, &converting);
  f = formats();
  ASSERT_EQ(f.size(), 2);
  EXPECT_EQ(f[0].start, 0);
  EXPECT_EQ(f[0].format.background().color(), QColor(255, 255, 0));
  EXPECT_EQ(f[0].format.foreground().color(), QColor(0, 0, 0));
  EXPECT_EQ(f[1].format.background().color(), QColor(0, 255, 0));
  EXPECT_EQ(f[1].format.foreground().color(), QColor(1, 2, 3));

  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("東京"));
  QApplication::sendEvent(&ed, &commit);
  EXPECT_EQ(ed.TextLength(), 4);
  EXPECT_TRUE(formats().isEmpty());
}

TEST(ImeColors, SystemColoursResolveToThePalette) {
  QPalette pal;
  pal.setColor(QPalette::Text, QColor(10, 20, 30));
  pal.setColor(QPalette::Highlight, QColor(40, 50, 60));
  EXPECT_EQ(ResolveColorValue(kClWindowText, pal), QColor(10, 20, 30));
  EXPECT_EQ(ResolveColorValue(static_cast<int32_t>(0x8000000D), pal), QColor(40, 50, 60));
  EXPECT_EQ(ResolveColorValue(16711680, pal), QColor(0, 0, 255));  // 0x00BBGGRR
  EXPECT_EQ(ResolveColorValue(65535, pal), QColor(255, 255, 0));
  EXPECT_EQ(ToColorValue(QColor(0, 0, 255)), 16711680);
}

}  // namespace
}  // namespace wendul
