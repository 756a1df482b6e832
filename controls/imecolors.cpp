#include "controls/imecolors.h"

#include <QTextCharFormat>

namespace wendul {

// How the input methods of this platform mark the parts of a pre-edit, and
// which colour pair each part gets.
//
// Fcitx 5 (its Qt plugin) sends one text format per segment of the
// pre-edit: a segment flagged Underline gets a dashed underline, a segment
// flagged HighLight gets the palette's highlight as background (and the
// highlighted-text colour as foreground); a Cursor attribute gives the
// caret. Japanese engines (mozc, anthy, kkc) underline the text while it is
// typed and, once it is converted, flag the clause being converted HighLight
// and underline the others.
//
// IBus (Qt's ibus plugin) sends one text format per attribute of the IBus
// text, formats of identical ranges merged; attributes may overlap (anthy
// underlines the whole pre-edit and sets a background on the current clause
// only). Underline single/double/low/error become single, dashed,
// dash-dot and wave underlines; foreground and background attributes become
// brushes. Mozc underlines typed text, and gives the clause being converted a
// double underline with a light-blue background and black text; the other
// clauses keep a single underline. Engines such as chewing mark the current
// phrase by a double underline alone, at the caret.
//
// So, character by character:
// - A background brush marks the clause being converted ("変換中の色（カレント）");
//   the rest of that pre-edit are the other clauses ("変換中の色（その他）").
// - Without any background, a pre-edit whose parts carry different formats
//   (double against single underline) is being converted too: the part where
//   the caret stands is the current clause, the others the other clauses.
// - Otherwise the whole pre-edit is text being typed ("入力中の色").
// Neither framework reports a clause whose range is being set before it is
// converted (Mozc converts the clause again as its range changes), so the
// fourth pair ("変換範囲設定中の色") is kept but never drawn here. The text
// itself is never compared with what was typed: a conversion may come out
// exactly as typed (a phrase left in hiragana) and is still a conversion.
// The configured pair replaces the method's foreground and background; its
// underlines and other marks stay.

namespace {

bool HasBackground(const QTextCharFormat& f) {
  return f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush;
}

// The formats of the event merged per character (overlaps included).
std::vector<QTextCharFormat> MergedFormats(const QInputMethodEvent& e, qsizetype n) {
  std::vector<QTextCharFormat> out(static_cast<size_t>(n));
  for (const QInputMethodEvent::Attribute& a : e.attributes()) {
    if (a.type != QInputMethodEvent::TextFormat) continue;
    const QTextCharFormat f = a.value.value<QTextFormat>().toCharFormat();
    const qsizetype from = std::clamp<qsizetype>(a.start, 0, n);
    const qsizetype to = std::clamp<qsizetype>(static_cast<qsizetype>(a.start) + a.length, from, n);
    for (qsizetype i = from; i < to; ++i) out[static_cast<size_t>(i)].merge(f);
  }
  return out;
}

qsizetype CursorOf(const QInputMethodEvent& e, qsizetype n) {
  for (const QInputMethodEvent::Attribute& a : e.attributes())
    if (a.type == QInputMethodEvent::Cursor) return std::clamp<qsizetype>(a.start, 0, n);
  return n;
}

}  // namespace

std::vector<ImeSegment> ClassifyPreedit(const QInputMethodEvent& e) {
  const QString pre = e.preeditString();
  const qsizetype n = pre.size();
  std::vector<ImeSegment> kind(static_cast<size_t>(n), ImeSegment::Input);
  if (n == 0) return kind;
  const std::vector<QTextCharFormat> formats = MergedFormats(e, n);

  bool marked = false;
  for (const QTextCharFormat& f : formats) marked = marked || HasBackground(f);
  if (marked) {
    for (qsizetype i = 0; i < n; ++i)
      kind[static_cast<size_t>(i)] = HasBackground(formats[static_cast<size_t>(i)]) ? ImeSegment::Current : ImeSegment::Other;
    return kind;
  }

  bool mixed = false;
  for (qsizetype i = 1; i < n && !mixed; ++i) mixed = !(formats[static_cast<size_t>(i)] == formats[0]);
  if (!mixed) return kind;  // all being typed
  // The run of one format where the caret stands is the current clause.
  qsizetype c = CursorOf(e, n);
  if (c >= n) c = n - 1;
  qsizetype from = c, to = c + 1;
  while (from > 0 && formats[static_cast<size_t>(from - 1)] == formats[static_cast<size_t>(c)]) --from;
  while (to < n && formats[static_cast<size_t>(to)] == formats[static_cast<size_t>(c)]) ++to;
  for (qsizetype i = 0; i < n; ++i)
    kind[static_cast<size_t>(i)] = (i >= from && i < to) ? ImeSegment::Current : ImeSegment::Other;
  return kind;
}

QList<QInputMethodEvent::Attribute> ColoredPreeditAttributes(const QInputMethodEvent& e,
                                                             const ImeColorSet& colors) {
  const QString pre = e.preeditString();
  const qsizetype n = pre.size();
  const std::vector<ImeSegment> kind = ClassifyPreedit(e);
  const std::vector<QTextCharFormat> formats = MergedFormats(e, n);

  QList<QInputMethodEvent::Attribute> attrs;
  for (const QInputMethodEvent::Attribute& a : e.attributes())
    if (a.type != QInputMethodEvent::TextFormat) attrs.append(a);
  // One format per run of characters of one kind and one method format.
  for (qsizetype i = 0; i < n;) {
    qsizetype j = i + 1;
    while (j < n && kind[static_cast<size_t>(j)] == kind[static_cast<size_t>(i)] &&
           formats[static_cast<size_t>(j)] == formats[static_cast<size_t>(i)])
      ++j;
    QTextCharFormat f = formats[static_cast<size_t>(i)];
    const ImeColorPair& pair = colors[static_cast<size_t>(kind[static_cast<size_t>(i)])];
    f.setForeground(pair.text);
    f.setBackground(pair.background);
    attrs.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, static_cast<int>(i),
                                              static_cast<int>(j - i), f));
    i = j;
  }
  return attrs;
}

}  // namespace wendul
