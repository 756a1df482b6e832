// TmuDBGrid's cell editor: a line edit over the cell of the record being
// edited. The record is held by its bookmark, so the edit stays with its
// record when others move the table's cursor or change its order meanwhile.
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>

#include "controls/mudbgrid.h"

namespace wendul {

bool TmuDBGrid::Editing() const { return editor_ != nullptr; }

QLineEdit* TmuDBGrid::Editor() const { return editor_.data(); }

bool TmuDBGrid::StartEdit(const QString* typed) {
  if (editor_) {
    editor_->setFocus(Qt::OtherFocusReason);
    return true;
  }
  MT* t = Table();
  if (!t || !t->Active() || current_ < 0 || current_ >= ShownRowCount()) return false;
  int column = -1;
  for (int c = 0; c < ColumnCount() && column < 0; ++c)
    if (columns_[static_cast<size_t>(c)].editable) column = c;
  if (column < 0) return false;
  editRecord_ = rows_[static_cast<size_t>(current_)].bookmark;
  editColumn_ = column;
  editOriginal_ = CellText(current_, column);
  auto* editor = new QLineEdit(viewport());
  editor->setObjectName(objectName() + "_Editor");
  editor->setFrame(false);
  editor->setFont(font());
  editor->setText(typed ? *typed : editOriginal_);
  if (!typed) editor->selectAll();
  editor->installEventFilter(this);
  // Every repaint of the rows puts the editor over its record's cell again.
  viewport()->installEventFilter(this);
  editor_ = editor;
  PlaceEditor();
  editor->setFocus(Qt::OtherFocusReason);
  return true;
}

void TmuDBGrid::EndEdit(bool commit) {
  if (!editor_) return;
  QLineEdit* editor = editor_;
  editor_ = nullptr;  // the handler below may show a message: no second end
  const QString text = editor->text();
  const bool hadFocus = editor->hasFocus();
  editor->removeEventFilter(this);
  viewport()->removeEventFilter(this);
  editor->hide();
  editor->deleteLater();
  if (hadFocus) setFocus(Qt::OtherFocusReason);
  if (commit && text != editOriginal_ && OnCellEdited) OnCellEdited(editRecord_, editColumn_, editOriginal_, text);
  viewport()->update();
}

bool TmuDBGrid::EditKey(QKeyEvent* e) {
  if (editor_) return false;
  const QString text = e->text();
  const bool printable = !text.isEmpty() && text.at(0).isPrint() &&
                         !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (!printable) return false;
  if (!StartEdit(&text)) return false;
  e->accept();
  return true;
}

void TmuDBGrid::PlaceEditor() {
  if (!editor_) return;
  int row = -1;
  for (int r = 0; r < ShownRowCount() && row < 0; ++r)
    if (rows_[static_cast<size_t>(r)].bookmark == editRecord_) row = r;
  if (row < 0 || editColumn_ >= ColumnCount()) {
    editor_->hide();
    return;
  }
  int x = IndicatorWidth() + 1 - horizontalScrollBar()->value();
  for (int c = 0; c < editColumn_; ++c) x += columns_[static_cast<size_t>(c)].width + 1;
  const QRect cell(x, TitleHeight() + row * RowHeight(), columns_[static_cast<size_t>(editColumn_)].width,
                   RowHeight() - 1);
  if (editor_->geometry() != cell) editor_->setGeometry(cell);
  if (!editor_->isVisible()) editor_->show();
}

bool TmuDBGrid::eventFilter(QObject* watched, QEvent* e) {
  if (editor_ && watched == viewport() && e->type() == QEvent::Paint) PlaceEditor();
  if (editor_ && watched == editor_) {
    if (e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
          EndEdit(true);
          return true;
        case Qt::Key_Escape:
          EndEdit(false);
          return true;
        case Qt::Key_Up:
        case Qt::Key_Down: {
          EndEdit(true);
          QKeyEvent move(QEvent::KeyPress, k->key(), Qt::NoModifier);
          keyPressEvent(&move);
          return true;
        }
        default:
          break;
      }
    } else if (e->type() == QEvent::FocusOut) {
      // Another window coming to the front keeps the editor and its text;
      // a click elsewhere in this window ends the edit.
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) EndEdit(true);
    }
  }
  return QAbstractScrollArea::eventFilter(watched, e);
}

}  // namespace wendul
