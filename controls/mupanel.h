// TmuPanel: a caption panel with its own background and font colour that can
// be clicked. The main window's caption bars and the options dialog's colour
// panels are TmuPanels.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <cstdint>

#include "controls/inipersist.h"

namespace wendul {

// With IsIni set the panel keeps its background and text colour in the
// settings file: keys Name + "_Color" and Name + "_Font_Color", signed
// 32-bit colour values (a value with the top bit set names a system colour
// and is kept as it is).
class TmuPanel : public QLabel, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuPanel(QWidget* parent = nullptr);
  ~TmuPanel() override;

  // Caption (a new panel shows " ").
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }

  QColor Color() const { return color_; }
  void SetColor(const QColor& c);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor& c);
  // Background and font colour at once.
  void SetColors(const QColor& color, const QColor& fontColor);
  // Caption at the left edge (vertically centred) instead of the centre.
  void SetAlignmentLeft() { setAlignment(Qt::AlignLeft | Qt::AlignVCenter); }

  // The caption-bar looks of a pane: focused (RGB 74,105,165 with white
  // text) or normal (button face with black text).
  void SetFocusLook(bool focused);
  static QColor FocusColor() { return QColor(74, 105, 165); }
  QColor ButtonFaceColor() const;

  // The colours as colour values (0x00BBGGRR, or a system colour), exactly
  // as set: a system colour is shown in the palette's colour but kept as is.
  int32_t ColorValue() const { return colorValue_; }
  void SetColorValue(int32_t value);
  int32_t FontColorValue() const { return fontColorValue_; }
  void SetFontColorValue(int32_t value);

  // Windows colour values (0x00BBGGRR; 0x800000nn names a system colour)
  // <-> QColor, for values kept in the settings file.
  static QColor FromTColor(uint32_t value);
  static uint32_t ToTColor(const QColor& c);

 signals:
  void clicked();

 protected:
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void ApplyColors();

  QColor color_;
  QColor fontColor_;
  int32_t colorValue_ = 0;
  int32_t fontColorValue_ = 0;
  bool pressed_ = false;
};

}  // namespace wendul
