#include "controls/mupanel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>

namespace wendul {

TmuPanel::TmuPanel(QWidget* parent) : QLabel(parent) {
  setText(QStringLiteral(" "));
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setAutoFillBackground(true);
  color_ = ButtonFaceColor();
  fontColor_ = QColor(Qt::black);
  ApplyColors();
}

QColor TmuPanel::ButtonFaceColor() const { return palette().color(QPalette::Active, QPalette::Button); }

void TmuPanel::SetColor(const QColor& c) {
  color_ = c;
  ApplyColors();
}

void TmuPanel::SetFontColor(const QColor& c) {
  fontColor_ = c;
  ApplyColors();
}

void TmuPanel::SetColors(const QColor& color, const QColor& fontColor) {
  color_ = color;
  fontColor_ = fontColor;
  ApplyColors();
}

void TmuPanel::SetFocusLook(bool focused) {
  if (focused) {
    color_ = FocusColor();
    fontColor_ = QColor(Qt::white);
  } else {
    color_ = ButtonFaceColor();
    fontColor_ = QColor(Qt::black);
  }
  ApplyColors();
}

void TmuPanel::ApplyColors() {
  QPalette p = palette();
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(g, QPalette::Window, color_);
    p.setColor(g, QPalette::WindowText, fontColor_);
  }
  // Only the panel's own roles change, so the button face read above stays
  // the style's.
  setPalette(p);
  update();
}

QColor TmuPanel::FromTColor(uint32_t value) {
  if (value & 0x80000000u) {
    // A system colour: its index names a role of the platform's palette.
    const QPalette pal = QGuiApplication::palette();
    switch (value & 0xFFu) {
      case 5: return pal.color(QPalette::Base);              // window
      case 8: return pal.color(QPalette::Text);              // window text
      case 13: return pal.color(QPalette::Highlight);
      case 14: return pal.color(QPalette::HighlightedText);
      case 15: return pal.color(QPalette::Button);           // button face
      case 18: return pal.color(QPalette::ButtonText);
      default: return pal.color(QPalette::WindowText);
    }
  }
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

uint32_t TmuPanel::ToTColor(const QColor& c) {
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}

void TmuPanel::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(e);
}

void TmuPanel::mouseReleaseEvent(QMouseEvent* e) {
  const bool was = pressed_;
  pressed_ = false;
  QLabel::mouseReleaseEvent(e);
  if (was && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
}

}  // namespace wendul
