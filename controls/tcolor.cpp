#include "controls/tcolor.h"

namespace wendul {

QColor ResolveColorValue(int32_t value, const QPalette& pal) {
  const uint32_t v = static_cast<uint32_t>(value);
  if (!(v & 0x80000000u))
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
  // The system colour indices of the settings file, onto the palette's roles.
  switch (v & 0xFFu) {
    case 1: case 4: return pal.color(QPalette::Window);   // desktop, menu
    case 5: return pal.color(QPalette::Base);              // window
    case 7: return pal.color(QPalette::WindowText);        // menu text
    case 8: return pal.color(QPalette::Text);              // window text
    case 13: return pal.color(QPalette::Highlight);
    case 14: return pal.color(QPalette::HighlightedText);
    case 15: return pal.color(QPalette::Button);           // button face
    case 16: return pal.color(QPalette::Dark);             // button shadow
    case 17: return pal.color(QPalette::Disabled, QPalette::Text);  // grey text
    case 18: return pal.color(QPalette::ButtonText);
    case 20: return pal.color(QPalette::Light);
    case 21: return pal.color(QPalette::Shadow);
    case 22: return pal.color(QPalette::Midlight);
    case 23: return pal.color(QPalette::ToolTipText);
    case 24: return pal.color(QPalette::ToolTipBase);
    default: return pal.color(QPalette::WindowText);
  }
}

int32_t ToColorValue(const QColor& c) {
  return static_cast<int32_t>(static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
                              (static_cast<uint32_t>(c.blue()) << 16));
}

}  // namespace wendul
