// A page control whose tabs, all of one width, wrap onto several rows, the
// row of the open page lying next to the page.
#pragma once

#include <QStackedWidget>
#include <QStringList>
#include <QWidget>

class QStylePainter;

namespace wendul {

class TPageControl : public QWidget {
  Q_OBJECT

 public:
  explicit TPageControl(QWidget* parent = nullptr);

  int TabWidth = 160;
  int AddPage(QWidget* page, const QString& caption);
  int Count() const { return pages_->count(); }
  QWidget* Page(int index) const { return pages_->widget(index); }
  QString Caption(int index) const { return captions_.value(index); }
  int ActivePageIndex() const { return pages_->currentIndex(); }
  void SetActivePageIndex(int index);
  QWidget* ActivePage() const { return pages_->currentWidget(); }
  void SetActivePage(QWidget* page) { SetActivePageIndex(pages_->indexOf(page)); }
  // Where tab `index` is drawn (rows included).
  QRect TabRect(int index) const;
  // Where tab `index` draws its caption.
  QRect CaptionRect(int index) const;
  int RowCount() const;

 signals:
  void Changed(int index);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  int TabsPerRow() const;
  int RowHeight() const;
  int HeaderHeight() const { return RowCount() * RowHeight(); }
  void PlacePages();
  void PaintTab(QStylePainter& p, int index, bool selected);

  QStackedWidget* pages_;
  QStringList captions_;
};

}  // namespace wendul
