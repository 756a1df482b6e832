#include "controls/mupanel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>

#include "controls/tcolor.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

TmuPanel::TmuPanel(QWidget* parent) : QLabel(parent) {
  setText(QStringLiteral(" "));
  setAlignment(Qt::AlignCenter);
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setAutoFillBackground(true);
  color_ = ButtonFaceColor();
  fontColor_ = QColor(Qt::black);
  colorValue_ = static_cast<int32_t>(0x8000000F);  // button face
  fontColorValue_ = 0;
  ApplyColors();
}

TmuPanel::~TmuPanel() { StoreAlone(); }

void TmuPanel::SetColorValue(int32_t value) {
  colorValue_ = value;
  color_ = FromTColor(static_cast<uint32_t>(value));
  ApplyColors();
}

void TmuPanel::SetFontColorValue(int32_t value) {
  fontColorValue_ = value;
  fontColor_ = FromTColor(static_cast<uint32_t>(value));
  ApplyColors();
}

void TmuPanel::DoLoadIni() {
  if (Trim(GIniFileName()).empty()) PgmError("TmuPanel.Create");
  const IniEntry c = Entry("", "_Color");
  IniFile ini(GIniFileName());
  SetColorValue(ini.ReadInteger(c.section, c.key, colorValue_));
  SetFontColorValue(ini.ReadInteger(c.section, objectName().toStdString() + "_Font_Color", fontColorValue_));
}

void TmuPanel::DoStoreIni(std::vector<IniEntry>& out) {
  if (Trim(GIniFileName()).empty()) PgmError("TmuPanel.WndProc");
  out.push_back(Entry(std::to_string(colorValue_), "_Color"));
  out.push_back(Entry(std::to_string(fontColorValue_), "_Font_Color"));
}

QColor TmuPanel::ButtonFaceColor() const { return palette().color(QPalette::Active, QPalette::Button); }

void TmuPanel::SetColor(const QColor& c) {
  color_ = c;
  colorValue_ = static_cast<int32_t>(ToTColor(c));
  ApplyColors();
}

void TmuPanel::SetFontColor(const QColor& c) {
  fontColor_ = c;
  fontColorValue_ = static_cast<int32_t>(ToTColor(c));
  ApplyColors();
}

void TmuPanel::SetColors(const QColor& color, const QColor& fontColor) {
  color_ = color;
  fontColor_ = fontColor;
  colorValue_ = static_cast<int32_t>(ToTColor(color));
  fontColorValue_ = static_cast<int32_t>(ToTColor(fontColor));
  ApplyColors();
}

void TmuPanel::SetFocusLook(bool focused) {
  if (focused) SetColors(FocusColor(), Qt::white);
  else SetColors(ButtonFaceColor(), Qt::black);
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
  return ResolveColorValue(static_cast<int32_t>(value), QGuiApplication::palette());
}

uint32_t TmuPanel::ToTColor(const QColor& c) { return static_cast<uint32_t>(ToColorValue(c)); }

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
