// The input method's unfinished text (pre-edit) drawn in four configured
// colour pairs: the text being typed, the clause being converted, the other
// converted clauses, and a clause whose range is being set before it is
// converted. Qt passes the pre-edit with the input method's own formats;
// which part is which is read from those formats (see imecolors.cpp).
#pragma once

#include <QColor>
#include <QInputMethodEvent>
#include <array>
#include <cstdint>
#include <vector>

namespace wendul {

// One (text, background) pair of the composition display.
struct ImeColorPair {
  QColor text;
  QColor background;
};
// In this order: typed, current clause, other clauses, range being set.
using ImeColorSet = std::array<ImeColorPair, 4>;

enum class ImeSegment : uint8_t { Input = 0, Current = 1, Other = 2, RangeSet = 3 };

// The kind of every pre-edit character, from the event's formats alone: a
// conversion may well read as it was typed (a phrase that stays in
// hiragana), so the text itself tells nothing.
std::vector<ImeSegment> ClassifyPreedit(const QInputMethodEvent& e);

// The event's attributes with its text formats recoloured: each run of
// characters of one kind gets its pair; the input method's underlines and
// other marks stay. Cursor and other attributes pass unchanged.
QList<QInputMethodEvent::Attribute> ColoredPreeditAttributes(const QInputMethodEvent& e,
                                                             const ImeColorSet& colors);

}  // namespace wendul
