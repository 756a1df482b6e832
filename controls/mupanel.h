// TmuPanel: a caption panel with its own background and font colour that can
// be clicked. The main window's caption bars and the options dialog's colour
// panels are TmuPanels.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <cstdint>

namespace wendul {

class TmuPanel : public QLabel {
  Q_OBJECT

 public:
  explicit TmuPanel(QWidget* parent = nullptr);

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

  // Persistence (the settings layer reads these).
  QString VName;
  bool IsIni = false;

  // Windows colour values (0x00BBGGRR; 0x800000nn names a system colour)
  // <-> QColor, for values kept in the settings file.
  static QColor FromTColor(uint32_t value);
  static uint32_t ToTColor(const QColor& c);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void ApplyColors();

  QColor color_;
  QColor fontColor_;
  bool pressed_ = false;
};

}  // namespace wendul
