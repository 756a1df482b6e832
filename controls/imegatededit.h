// A single-line edit whose input method follows Qt::WA_InputMethodEnabled.
#pragma once

#include <QLineEdit>

namespace wendul {

// Qt 6's line edit tells the input method that it takes text whenever it is
// enabled and writable, whatever WA_InputMethodEnabled says: a digits-only
// field with the attribute off would still compose kana (a year typed into
// the date window with the input method on became an unfinished composition,
// and Enter only finished it). This edit answers from the attribute, so the
// input method steps aside and the keys arrive as they are.
class TImeGatedEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
};

}  // namespace wendul
