// Colour values as the settings file keeps them: 0x00BBGGRR, or, with the
// top bit set, the index of a system colour that the palette supplies.
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace wendul {

constexpr int32_t kClWindowText = static_cast<int32_t>(0x80000008);  // -2147483640

// A value as the palette shows it (a system colour looked up by its role).
QColor ResolveColorValue(int32_t value, const QPalette& palette);
// A plain colour as a value (never a system colour).
int32_t ToColorValue(const QColor& c);

}  // namespace wendul
