// Choosing a colour: the platform's colour dialog, preset to the current
// colour. Tests put their own chooser in its place.
#pragma once

#include <QColor>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace wendul {

// The chosen colour as a colour value, or nothing when the dialog was
// cancelled. `current` may be a system colour; the dialog opens on the
// colour the palette shows for it.
std::optional<int32_t> SelectColor(QWidget* parent, int32_t current);

// Replaces the dialog (an empty function restores it); returns the previous one.
using ColorChooser = std::function<std::optional<QColor>(QWidget* parent, const QColor& initial)>;
ColorChooser SetColorChooser(ColorChooser chooser);

}  // namespace wendul
