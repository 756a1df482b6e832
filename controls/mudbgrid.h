// TmuDBGrid: a read-only data grid over a TDataSource, drawn like a desktop
// database grid: an indicator column with the current-record arrow, one cell
// per field column, row and column lines, a fixed row height from the font,
// resizable columns.
//
// The grid reads only the rows it shows, around the table's current record
// (MT::RowsAround / RowsFrom), so a table of any size stays responsive. It
// follows the current record and moves it (click, arrows, Page keys, Home,
// End, wheel) through the table, whose notifications then redraw the grid.
// A step past the last or first shown row scrolls by one row, paging keeps
// the current record's screen row, a jump elsewhere centres the record.
// As the row number of a record is not known cheaply, the vertical scroll
// bar has three states: at the first record, between, at the last record.
//
// The table's notifications of one burst (a word stored: lookup, edit, post)
// are gathered and applied once control returns to the event loop; Reload()
// re-reads at once. Rows deleted by another view or program are not
// announced: a click on one, or a page step from a current record that has
// gone, reads the window again.
//
// Columns marked editable take text in a cell editor (controls/mudbgrid_edit.cpp).
// The grid itself never writes to its table: the edited text goes to
// OnCellEdited, which stores it. So no record is in edit mode, and the table's
// write lock is not held, while the user types.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/mt.h"

class QLineEdit;

namespace wendul {

class TDataSource;

class TmuDBGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TmuDBGrid(QWidget* parent = nullptr);
  ~TmuDBGrid() override;

  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const { return source_; }
  MT* Table() const;

  // --- columns -------------------------------------------------------------
  struct Column {
    std::string field;  // field name in the table, e.g. "KEYWORD"
    QString title;      // shown in the title row when titles are on
    int width = 64;
    bool editable = false;  // the cell editor can change it
  };
  void SetColumns(const std::vector<Column>& columns);
  const std::vector<Column>& Columns() const { return columns_; }
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  // One column showing the field, the grid's usual use.
  void SetFieldName(const std::string& field);
  void SetColumnWidth(int column, int width);
  void SetColumnWidth(int width) { SetColumnWidth(0, width); }  // the first column
  int ColumnWidth(int column = 0) const;
  void SetTitlesVisible(bool on);
  bool TitlesVisible() const { return titles_; }

  // --- what is shown (also for tests) --------------------------------------
  int RowHeight() const;
  int VisibleRowCount() const;  // rows that fit wholly, at least 1
  int ShownRowCount() const { return static_cast<int>(rows_.size()); }
  QString CellText(int row, int column) const;
  Bookmark RowBookmark(int row) const;
  int CurrentRow() const { return current_; }  // -1: no current record shown
  // 0 at the first record, 2 at the last, 1 between (0 when empty).
  int ScrollState() const;

  // --- key links ------------------------------------------------------------
  // Shift+Enter focuses muPrevControl (else muPrevControl2); Enter focuses
  // muNextControl (else muNextControl2). A destroyed control unlinks itself.
  QPointer<QWidget> muPrevControl;
  QPointer<QWidget> muPrevControl2;
  QPointer<QWidget> muNextControl;
  QPointer<QWidget> muNextControl2;

  // Moves the table's current record n rows forward (n > 0) or back.
  void MoveBy(int n);

  // --- cell editing ---------------------------------------------------------
  // Receives an edited cell's text when the editor closes with a change, with
  // the text the cell showed when editing began; true when it was stored.
  // Refused (false), the cell shows the stored text again.
  std::function<bool(Bookmark record, int column, const QString& shown, const QString& text)> OnCellEdited;
  // Opens the editor on the current record's first editable column, holding
  // the cell's text (all selected) or, when given, the typed text. A printable
  // key pressed in the grid opens it too. Enter keeps the text, Escape drops
  // it, Up and Down keep it and move; so does a click elsewhere in the window.
  bool StartEdit(const QString* typed = nullptr);
  // Closes the editor; with commit the changed text goes to OnCellEdited.
  void EndEdit(bool commit);
  bool Editing() const;
  QLineEdit* Editor() const;

 public slots:
  // Re-reads the shown rows around the current record.
  void Reload();

 signals:
  void DblClick();
  // Enter that no key link consumed.
  void EnterPressed();
  // Focus came in / went out.
  void Enter();
  void Exit();
  void ColumnResized(int column, int width);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void changeEvent(QEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  enum class Follow { KeepPlace, Track };
  void Fetch(Follow mode);
  // When record b no longer exists, re-reads the current record and the
  // window of rows (true); a click or a page step then acts on what is there.
  bool ReadAgainIfGone(Bookmark b);
  bool InDoubleClickAfterReading(const QMouseEvent* e);
  void OnRecordMove(bool keepPlace);
  void SchedulePending();
  void RunPending();
  void UpdateScrollBars();
  void OnScrollAction(int action);
  void OnScrollReleased();
  int TitleHeight() const;
  int IndicatorWidth() const;
  int RowAt(int y) const;           // -1 when not on a shown data row
  int ColumnBorderAt(int x) const;  // column whose right border is near x, else -1
  QString DisplayText(const FieldValue& v) const;
  bool EditKey(QKeyEvent* e);  // a key that opens the editor
  void PlaceEditor();          // over its record's cell, hidden when the record is not shown

  TDataSource* source_ = nullptr;
  std::vector<Column> columns_;
  std::vector<int> fieldIndex_;  // column -> index into RowView::values
  bool titles_ = false;

  std::vector<RowView> rows_;  // shown rows, top first
  int current_ = -1;           // index of the current record in rows_
  int currentInView_ = 0;      // wished screen row of the current record
  bool topIsFirst_ = true;     // rows_[0] is the first record of the table
  bool bottomIsLast_ = true;   // rows_.back() is the last record of the table

  bool pendingData_ = false;  // notifications gathered until the event loop runs
  bool pendingMove_ = false;
  bool scheduled_ = false;
  bool keepPlaceOnce_ = false;  // the pending move is a page / wheel step
  int wheelRest_ = 0;

  std::optional<quint64> readAgainAt_;  // time of the last click that met a vanished row
  QPointer<QLineEdit> editor_;
  Bookmark editRecord_ = 0;
  int editColumn_ = -1;
  QString editOriginal_;

  int resizing_ = -1;  // column being resized by the mouse
  int resizeStartX_ = 0;
  int resizeStartWidth_ = 0;
};

}  // namespace wendul
