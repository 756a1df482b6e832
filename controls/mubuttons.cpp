#include "controls/mubuttons.h"

#include <QMouseEvent>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "controls/qsjis.h"

namespace wendul {

namespace {
constexpr int kTextMargin = 6;
}  // namespace

TmuButton::TmuButton(QWidget* parent) : QPushButton(parent) {}

TmuButton::TmuButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

QSize TmuButton::sizeHint() const {
  QSize s = QPushButton::sizeHint();
  if (width() > 0) {
    const QRect r = fontMetrics().boundingRect(QRect(0, 0, std::max(1, width() - 2 * kTextMargin), 10000),
                                               Qt::TextWordWrap | Qt::AlignCenter, text());
    s.setHeight(std::max(s.height(), r.height() + 2 * kTextMargin));
  }
  return s;
}

void TmuButton::mousePressEvent(QMouseEvent* e) {
  if (IsSkipClick && e->button() == Qt::LeftButton) {
    e->accept();
    return;
  }
  QPushButton::mousePressEvent(e);
}

void TmuButton::mouseDoubleClickEvent(QMouseEvent* e) {
  if (IsSkipClick && e->button() == Qt::LeftButton) {
    e->accept();
    return;
  }
  QPushButton::mouseDoubleClickEvent(e);
}

void TmuButton::mouseReleaseEvent(QMouseEvent* e) {
  if (IsSkipClick && e->button() == Qt::LeftButton) {
    e->accept();
    emit clicked(false);
    return;
  }
  QPushButton::mouseReleaseEvent(e);
}

void TmuButton::paintEvent(QPaintEvent*) {
  // The bevel from the style, the caption wrapped to the button's width.
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  const QString caption = opt.text;
  opt.text.clear();
  p.drawControl(QStyle::CE_PushButton, opt);
  const QRect area = rect().adjusted(kTextMargin, 2, -kTextMargin, -2);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  p.drawText(area, Qt::TextWordWrap | Qt::AlignCenter | Qt::TextShowMnemonic, caption);
}

// ---------------------------------------------------------------------------

TmuGroupBox::TmuGroupBox(QWidget* parent) : QGroupBox(parent) { setFocusPolicy(Qt::NoFocus); }

TmuGroupBox::TmuGroupBox(const QString& caption, QWidget* parent) : TmuGroupBox(parent) { setTitle(caption); }

TmuGroupBox::~TmuGroupBox() { StoreAlone(); }

void TmuGroupBox::DoLoadIni() {
  const QString value = ToQ(ReadIni(this, FromQ(CheckedName)));
  if (value.isEmpty()) return;
  for (QObject* child : children()) {
    auto* rb = qobject_cast<QRadioButton*>(child);
    if (rb && rb->objectName() == value) {
      CheckedName = value;
      rb->setChecked(true);  // its click rule keeps CheckedName
      return;
    }
  }
  // No button of that name: the form's choice stays (see the class comment).
}

void TmuGroupBox::DoStoreIni(std::vector<IniEntry>& out) { out.push_back(Entry(FromQ(CheckedName))); }

}  // namespace wendul
