// TmuMethodTable: the hidden panel that lists the commands keys can be bound
// to, in 24 slots. Binding and running go by name; the slots only say
// which commands there are.
#pragma once

#include <QStringList>
#include <array>

#include "controls/mupanel.h"

namespace wendul {

class TmuMethodTable : public TmuPanel {
  Q_OBJECT

 public:
  explicit TmuMethodTable(QWidget* parent = nullptr) : TmuPanel(parent) { hide(); }

  // OnCmd01 .. OnCmd24: command names, empty when the slot is unused.
  std::array<QString, 24> OnCmd;
  QStringList Commands() const {
    QStringList names;
    for (const QString& n : OnCmd)
      if (!n.isEmpty()) names << n;
    return names;
  }
};

}  // namespace wendul
