#include "controls/finddialog.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace wendul {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("検索"));
  setModal(false);
  auto* grid = new QGridLayout(this);
  auto* label = new QLabel(QString::fromUtf8("検索する文字列(&N):"), this);
  edFindText = new QLineEdit(this);
  edFindText->setObjectName("edFindText");
  edFindText->setMinimumWidth(220);
  label->setBuddy(edFindText);
  btFindNext = new QPushButton(QString::fromUtf8("次を検索(&F)"), this);
  btFindNext->setObjectName("btFindNext");
  btFindNext->setDefault(true);
  btCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
  btCancel->setObjectName("btCancel");
  grid->addWidget(label, 0, 0);
  grid->addWidget(edFindText, 0, 1);
  grid->addWidget(btFindNext, 0, 2);
  grid->addWidget(btCancel, 1, 2);
  connect(edFindText, &QLineEdit::textChanged, this, [this](const QString& t) { btFindNext->setEnabled(!t.isEmpty()); });
  connect(btFindNext, &QPushButton::clicked, this, [this] {
    if (!edFindText->text().isEmpty()) emit OnFind();
  });
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  btFindNext->setEnabled(false);
}

QString TFindDialog::FindText() const { return edFindText->text(); }

void TFindDialog::SetFindText(const QString& text) { edFindText->setText(text); }

void TFindDialog::Execute(const QPoint& pos) {
  adjustSize();
  QPoint at = pos;
  // Beside the document when there is room; never off the screen.
  if (const QScreen* screen = QGuiApplication::screenAt(pos) ? QGuiApplication::screenAt(pos) : QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - frameGeometry().width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - frameGeometry().height())));
  }
  move(at);
  show();
  raise();
  activateWindow();
  edFindText->setFocus(Qt::OtherFocusReason);
  edFindText->selectAll();
}

void TFindDialog::done(int r) {
  QDialog::done(r);
  emit OnClose();
}

}  // namespace wendul
