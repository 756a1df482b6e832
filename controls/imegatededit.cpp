#include "controls/imegatededit.h"

namespace wendul {

QVariant TImeGatedEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  if (query == Qt::ImEnabled && !testAttribute(Qt::WA_InputMethodEnabled)) return false;
  return QLineEdit::inputMethodQuery(query);
}

}  // namespace wendul
