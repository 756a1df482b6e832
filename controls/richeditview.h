// How the document editor lays its text out, paints it, scrolls and places
// the caret, in place of QPlainTextEdit's own view.
//
// QPlainTextEdit asks Qt to lay a paragraph out whole after every change of
// it, which in a paragraph of 10,000 characters costs a frame per keystroke.
// Here a paragraph of ordinary length keeps Qt's own layout (laid out as
// QPlainTextEdit would), and a long one is laid out by ParaLayout, which
// shapes again only what an edit touched. Everything that needs to know
// where a line or a character is (painting, scrolling, the caret, clicks
// and drags, Up/Down/Home/End/Page keys, the input method's cursor
// rectangle) is answered here; QPlainTextEdit keeps the editing itself
// (typing, deleting, undo, the clipboard, the input method's text).
//
// Scrolling is QPlainTextEdit's: the vertical scroll bar counts lines, a
// paragraph not yet laid out counts one, and only paragraphs that come into
// view (or that the caret passes) are laid out.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextDocumentLayout>
#include <QPointF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <utility>
#include <vector>

class QInputMethodEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QDragMoveEvent;
class QDropEvent;
class QTextLayout;

namespace wendul {

class ParaLayout;
class RichEditView;
class TmuRichEdit;

// The document's layout: QPlainTextEdit requires one of this class. It lays
// nothing out itself; it tells the view what changed, and answers Qt's own
// view code so that it never lays a paragraph out or scrolls by itself.
class RichEditDocLayout : public QPlainTextDocumentLayout {
 public:
  RichEditDocLayout(QTextDocument* doc, RichEditView* view);
  QRectF blockBoundingRect(const QTextBlock& block) const override;
  QSizeF documentSize() const override;
  void Detach() { view_ = nullptr; }

 protected:
  void documentChanged(int from, int charsRemoved, int charsAdded) override;

 private:
  RichEditView* view_;
};

class RichEditView : public QObject {
 public:
  explicit RichEditView(TmuRichEdit* edit);
  ~RichEditView() override;

  // A paragraph of at least this many positions gets the long layout; one
  // that has it keeps it down to kShortPara, so typing around the limit does
  // not switch layouts on every key.
  static constexpr int kLongPara = 1000;
  static constexpr int kShortPara = 500;

  // --- from the editor's event handlers -------------------------------------
  void Paint(QPaintEvent* e);
  void Resized();
  void Scrolled();
  void Shown();
  void WrapOrFontChanged();
  // Navigation by lines and pages; true when the key was taken.
  bool Key(QKeyEvent* e);
  void MousePress(QMouseEvent* e);
  void MouseMove(QMouseEvent* e);
  void MouseRelease(QMouseEvent* e);
  void MouseDoubleClick(QMouseEvent* e);
  bool DragMove(QDragMoveEvent* e);
  bool Drop(QDropEvent* e);
  void DragLeave();
  // What the input method asks that depends on the layout (the caret's
  // rectangles, the position under a point), and the text around the caret
  // cut to kSurrounding characters on each side in a long paragraph; an
  // invalid value for the rest (QPlainTextEdit answers those).
  QVariant InputMethodQuery(Qt::InputMethodQuery query, const QVariant& argument) const;
  static constexpr int kSurrounding = 1000;
  void EnsureCaretVisible();
  // After an input-method event: the caret in the unfinished text, kept in view.
  void InputMethodDone(const QInputMethodEvent& e);

  // --- geometry (tests) -----------------------------------------------------
  // The caret's rectangle in viewport coordinates.
  QRect CaretRect() const;
  // The document position under a viewport point.
  int PositionAt(const QPointF& viewportPoint) const;
  // Whether the block is laid out by ParaLayout.
  bool IsLong(const QTextBlock& b) const;
  // Start and length of each of the block's lines as laid out now.
  std::vector<std::pair<int, int>> LinesIn(const QTextBlock& b) const;
  int TopLine() const { return topLine_; }
  // The content's x at the left of the viewport, plus one.
  qreal ShownLeft() const;

  // From the document layout.
  void DocumentChanged(int from, int removed, int added);

 private:
  struct Lines;
  Lines LinesOf(const QTextBlock& b) const;
  void LayOut(const QTextBlock& b) const;
  void LayOutQt(const QTextBlock& b) const;
  QString LayoutText(const QTextBlock& b) const;
  qreal WrapWidth() const;
  qreal Margin() const;
  // Layout position of a document position (the pre-edit counted in).
  int ToLayout(const QTextBlock& b, int docPos) const;
  int FromLayout(const QTextBlock& b, int layoutPos) const;
  // The visual line (block, line in block) of global line number n.
  QTextBlock BlockOfLine(int n, int* lineInBlock) const;
  // y of the top of a block in the viewport when it is at most `reach`
  // lines from the top line; false otherwise.
  bool BlockTop(const QTextBlock& b, qreal* top, int reach = 400) const;
  qreal TopY() const;
  void SetTopLine(int line);
  // The view's top line becomes `line` (the scroll bar already says so).
  void ScrollTo(int line);
  void UpdateScrollBars();
  // Paints the block again (its lines firstLine to lastLine; lastLine -1:
  // to the view's bottom, -2: to the block's end).
  void UpdateBlock(const QTextBlock& b, bool toBottom, int firstLine = 0, int lastLine = -2);
  void UpdateCaret();
  // The line before or after (block, line); false at the document's ends.
  bool StepLine(QTextBlock& b, int& line, int dir) const;
  // Moves the caret to x on a line of b; mode as QTextCursor's.
  void MoveTo(const QTextBlock& b, int line, qreal x, QTextCursor::MoveMode mode);
  void PageMove(int dir, QTextCursor::MoveMode mode);
  QRectF CaretRectOf(const QTextCursor& c) const;
  void SelectTo(int pos, qreal x);
  void AutoScroll();
  bool Preediting() const;
  void CommitPreedit();

  TmuRichEdit* ed_;
  RichEditDocLayout* layout_ = nullptr;
  int topLine_ = 0;
  mutable qreal maxWidth_ = 0;  // widest line laid out so far (no wrapping)
  int bottomLines_ = -1;        // lines that fit above the end; -1: to be counted
  QRect lastCaret_;
  int preeditCursor_ = 0;  // the caret's place in the input method's unfinished text
  // Up and Down keep the column they started in.
  qreal goalX_ = -1;
  bool movingVertically_ = false;
  // Mouse.
  bool mousePressed_ = false;
  bool mightDrag_ = false;
  bool moveSelecting_ = false;
  QPoint pressPoint_;
  QPoint lastMouse_;
  QTextCursor wordOnDoubleClick_;
  QTextCursor blockOnTripleClick_;
  QElapsedTimer tripleClick_;
  QPointF tripleClickPoint_;
  QTimer autoScroll_;
  int dropPos_ = -1;
};

}  // namespace wendul
