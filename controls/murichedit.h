// TmuRichEdit: the document editor. A QPlainTextEdit that speaks the system's
// units: every position and length is a byte offset into the document's
// Shift-JIS text, a line break counting 2 (CR LF).
//
// The editor keeps the byte length of every text block in a SumTree updated
// from QTextDocument::contentsChange, so a keystroke never re-encodes the
// document; a second SumTree keeps each block's length in editor positions,
// which tells which old blocks an edit's range covered. A long line (a pasted
// article, a log line) also keeps its byte sums in runs of a few hundred
// characters, so a position <-> byte conversion costs O(log blocks + log runs
// + one run), never the length of the line. A character that code page 932
// cannot hold (an emoji, "𠮷", a surrogate pair as a whole) stays in the
// document as typed, counts 1 byte and reads as '?', which is never part of a
// word. Change() fires for changes of the text only, not for the input
// method's unfinished text.
//
// The text is laid out, painted and scrolled by the editor's own view
// (richeditview.h), which keeps a keystroke in a long paragraph from laying
// the whole paragraph out again; QPlainTextEdit's cursorRect(),
// cursorForPosition() and firstVisibleBlock() do not know that view.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <array>
#include <cstdint>
#include <memory>

#include "controls/imecolors.h"
#include "controls/sumtree.h"
#include "store/doc_editor.h"
#include "util/doctext.h"
#include "util/wtypes.h"

class QMimeData;

namespace wendul {

class ParaLayout;
class RichEditView;

class TmuRichEdit : public QPlainTextEdit, public DocEditor {
  Q_OBJECT

 public:
  explicit TmuRichEdit(QWidget* parent = nullptr);
  ~TmuRichEdit() override;

  // --- DocEditor -----------------------------------------------------------
  // The caret is the selection start, as the rich edit reports it.
  int64_t CaretPos() const override { return SelStart(); }
  int64_t TextLength() const override;
  // [from, to) in bytes; `from` inside a character moves to its end (and the
  // caller's value follows); a character that would cross `to` is left out.
  SjisString TextSlice(int64_t& from, int64_t to) const override;

  // --- caret and selection (bytes) -----------------------------------------
  int64_t SelStart() const;
  int64_t SelLength() const;
  // Caret to pos (clamped), nothing selected. A position inside a character
  // moves to the character's start.
  void SetSelStart(int64_t pos);
  // Selects len bytes from the selection start (len < 0: to the end).
  void SetSelLength(int64_t len);
  // Anchor at start, caret at end (end < 0: the end of the text).
  void SetSel(int64_t start, int64_t end);
  SjisString SelText() const;
  // Replaces the selection with text (CR LF, CR or LF each make one line
  // break), as one undo step; the caret ends after the inserted text.
  void SetSelText(const SjisString& text);

  // --- search and lines ----------------------------------------------------
  // First occurrence of text lying wholly inside [from, to) (to < 0: end of
  // text); the byte position of its start, or -1.
  int64_t FindText(const SjisString& text, int64_t from, int64_t to,
                   bool caseSensitive = false, bool wholeWord = false) const;
  // Line (text block, counted from 0) that holds byte pos; pos < 0: the line
  // of the selection start.
  int LineFromChar(int64_t pos = -1) const;
  // First byte of a line; line < 0: the line of the selection start; -1 when
  // the line does not exist.
  int64_t LineIndex(int line = -1) const;
  int LineCount() const;
  // Bytes of a line without its line break (0 for a line that does not exist).
  int64_t LineLength(int line) const;
  SjisString LineText(int line) const;

  // Vertical scroll position (the first line shown), for restoring a view.
  int ScrollPos() const;
  void SetScrollPos(int pos);

  // --- whole text (load / save; not for the keystroke path) ----------------
  SjisString Text() const;
  // Replaces the whole document (CR LF, CR or LF make line breaks; bytes that
  // are not valid Shift-JIS become U+FFFD). Emits Change(); clears undo.
  void SetText(const SjisString& text);

  // --- files ---------------------------------------------------------------
  // Replaces the whole document with a file's text (util/doctext.h). Until a
  // line is edited it is written back as it was read; in an edited line only
  // what was typed is encoded anew. A line keeps its own line break, also
  // when Enter cuts it in two, and new lines get the document's usual one.
  // Emits Change(); clears undo and the document's modified state.
  void LoadDocument(const DocText& doc);
  // Writes the document as a file's bytes into w (in w's encoding), which
  // reports characters the encoding cannot hold.
  void WriteDocument(DocWriter& w) const;
  LineEnd UsualLineEnd() const { return usualEnd_; }
  void SetUsualLineEnd(LineEnd end) { usualEnd_ = end; }
  // The encoding of the document's file. Another encoding (a save under it)
  // drops the bytes lines kept from the old one.
  DocCodec Codec() const { return codec_; }
  void SetCodec(DocCodec codec);
  // The text as it stands, lines joined by "\n" (for the recovery record).
  QString PlainLines() const;
  // Lines still written back from the bytes they were read from (tests).
  int64_t KeptLines() const;

  bool WordWrap() const;
  void SetWordWrap(bool on);

  // --- input method --------------------------------------------------------
  // One (text, background) pair of the composition display.
  struct ImeColor {
    QColor text;
    QColor background;
  };
  // In this order: text being typed, clause being converted, other clauses,
  // text while the conversion range is set. Applied to the preedit text of
  // later input-method events (imecolors.h).
  void SetIMEColors(const std::array<ImeColor, 4>& colors);
  const std::array<ImeColor, 4>& IMEColors() const { return imeColors_; }
  bool HasIMEColors() const { return imeColorsSet_; }

  // Wished input-method state. Qt cannot open, close or switch the platform
  // input method of a widget; Closed only hints "prefer Latin" to the input
  // method, the others leave the hints alone. The value is kept for callers.
  enum class ImeMode { NoPreference, Closed, Hiragana };
  void SetImeMode(ImeMode mode);
  ImeMode imeMode() const { return imeMode_; }

  // Link of the reading capture; no window of this system sets it.
  QPointer<QWidget> muIMEControl;

  // The input method's unfinished text shown at the caret ("" when none).
  QString PreeditText() const;
  // An open composition becomes text where it is being typed. The caret and
  // selection setters and pasting do this first: the input method would
  // otherwise commit it later over whatever the program selected.
  void FinishComposition();

  // --- conversions for owners (status line and the like) -------------------
  int64_t PosToByte(int pos) const;
  // A byte inside a character (or between CR and LF) moves to the
  // character's end when forward is true, else to its start.
  int ByteToPos(int64_t byte, bool forward = false, int64_t* snapped = nullptr) const;

  // Recomputes every block's length (and a long line's runs) and compares
  // with the kept ones (tests).
  bool CheckByteIndex() const;
  // Number of text blocks measured so far by all editors (tests and
  // benchmarks check that a keystroke measures only the blocks it touched).
  static int64_t BlocksMeasured();
  // Number of characters counted so far to keep the byte index (a keystroke
  // in a long line counts the runs around the change, not the line).
  static int64_t CharsMeasured();
  // Times any editor measured its whole document again (loading a text, or
  // an edit the index could not follow).
  static int64_t IndexRebuilds();
  // The view: how the text is laid out and where the caret is (tests).
  const RichEditView& TextView() const { return *view_; }
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  // Also the form the input method asks with an argument (found by name).
  Q_INVOKABLE QVariant inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const;

 signals:
  // Every change of the text, like the rich edit's change notification; an
  // update of the input method's unfinished text is none.
  void Change();

 protected:
  void insertFromMimeData(const QMimeData* source) override;
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  // The view: layout, painting, scrolling, the caret and the mouse
  // (richeditview.h).
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void showEvent(QShowEvent* e) override;
  void changeEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  friend class RichEditView;
  // The long layout kept with a block (created when asked), and dropped.
  ParaLayout* ParaOf(const QTextBlock& b, bool create) const;
  void DropPara(const QTextBlock& b) const;

  void OnContentsChange(int position, int removed, int added);
  void SplitOrigins(int position, int removed, int added);
  // The pre-edit with the configured colours.
  void ShowInputMethodEvent(QInputMethodEvent* e);
  void RebuildIndex() const;
  void EnsureIndex() const;
  // Byte length of a block plus 2, from its text; a long line's runs are
  // built or, when its previous text was kept, updated around what changed.
  // `keepText` keeps the text for the next edit.
  int64_t MeasureBlock(const QTextBlock& b, bool keepText) const;
  // The block being edited keeps its glyphs (Qt would shape the line twice
  // per keystroke) and, when long, its text; the previous one drops both.
  void SetActiveBlock(const QTextBlock& b) const;
  static void ReleaseBlock(const QTextBlock& b);
  QString BlockText(const QTextBlock& b) const;
  // Bytes of the first k characters of block b.
  int64_t BytesInBlock(const QTextBlock& b, qsizetype k) const;
  // Appends the text of char positions [pos, endPos) to out, stopping before
  // a character that would take out past byteLimit bytes (byteLimit < 0: no
  // limit).
  void AppendRange(int pos, int endPos, int64_t byteLimit, SjisString& out) const;
  QString RangeString(int pos, int endPos) const;

  mutable SumTree blocks_;  // byte length of each block + 2 for its line break
  mutable SumTree chars_;   // length of each block in editor positions, its break included
  // At the start of the block last edited, while activeSet_. Made once and
  // only moved: replacing the whole text clears the document, which sets its
  // cursors aside, reports the new empty line, and then restores them; a
  // cursor freed in between would be written through afterwards.
  mutable QTextCursor active_;
  mutable bool activeSet_ = false;
  std::array<ImeColor, 4> imeColors_;
  bool imeColorsSet_ = false;
  // While an input-method event that cannot change the text (no commit, no
  // replacement, nothing selected) is handled: Qt reports its pre-edit as a
  // change of the block, which is none.
  bool imeOnly_ = false;
  bool inImeEvent_ = false;
  bool textTouched_ = false;
  ImeMode imeMode_ = ImeMode::NoPreference;
  LineEnd usualEnd_ = LineEnd::CRLF;
  bool loading_ = false;  // the whole text is being replaced
  DocCodec codec_;
  bool anyOrigin_ = false;  // some line was loaded with an origin
  std::unique_ptr<RichEditView> view_;
};

}  // namespace wendul
