#include "controls/selectcolor.h"

#include <QColorDialog>
#include <QGuiApplication>

#include "controls/tcolor.h"

namespace wendul {

namespace {

ColorChooser& Chooser() {
  static ColorChooser chooser;
  return chooser;
}

}  // namespace

std::optional<int32_t> SelectColor(QWidget* parent, int32_t current) {
  const QColor initial = ResolveColorValue(current, QGuiApplication::palette());
  std::optional<QColor> chosen;
  if (Chooser()) {
    chosen = Chooser()(parent, initial);
  } else {
    const QColor c = QColorDialog::getColor(initial, parent);
    if (c.isValid()) chosen = c;
  }
  if (!chosen || !chosen->isValid()) return std::nullopt;
  return ToColorValue(*chosen);
}

ColorChooser SetColorChooser(ColorChooser chooser) {
  ColorChooser previous = std::move(Chooser());
  Chooser() = std::move(chooser);
  return previous;
}

}  // namespace wendul
