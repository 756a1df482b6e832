// The window the user works in: the document pane and the two word panes.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "app/keystate.h"
#include "controls/muform.h"
#include "util/doccodec.h"
#include "util/wtypes.h"

class QComboBox;
class QDialog;
class QFileDialog;

namespace wendul {

class MT;
class TmuRichEdit;
class TmuDBGrid;
class TmuPanel;
class TfmMsgBox;
struct SepKeywordFailures;
class TFuncBtn;
class TmuMethodTable;
class KeyPreview;
class TfmKDB;
class TfmManual;
class RecoveryStore;
struct RecoveryRecord;
class TFindDialog;
class DayBook;

class TfmMain : public TmuForm {
  Q_OBJECT
 public:
  explicit TfmMain(QWidget* parent = nullptr);
  ~TfmMain() override;

  // --- layout ------------------------------------------------------------
  TmuPanel* pnMessage = nullptr;
  QStatusBar* StatusBarMain = nullptr;
  QWidget* pnWordCode = nullptr;
  TmuPanel* pnWordCodeCaption = nullptr;
  TmuDBGrid* mgWordCode = nullptr;
  QSplitter* SplitterWordCode = nullptr;
  QSplitter* pnMain = nullptr;  // its handle is SplitterWordDate
  QWidget* pnDoc = nullptr;
  TmuPanel* pnDocCaption = nullptr;
  TmuRichEdit* mmDoc = nullptr;
  QWidget* pnWordDate = nullptr;
  TmuPanel* pnWordDateCaption = nullptr;
  TmuDBGrid* mgWordDate = nullptr;
  QMenu* pmLog = nullptr;
  QMenu* miSearch = nullptr;
  QAction* miSearchWord_xx = nullptr;
  QAction* miGrep_xx = nullptr;
  QAction* miIsWordWrap = nullptr;
  // "単語を学習しない": the user's pause of learning, kept in [Option] is_no_learning.
  QAction* miNoLearning = nullptr;
  // Shown in the status line while learning is paused because the table failed.
  QLabel* lbLearning = nullptr;
  // The status line's encoding and line break of the document ("UTF-8  LF").
  QLabel* lbEncoding = nullptr;
  // File menu "文字コードを指定して開き直す": Shift-JIS, UTF-8, EUC-JP, UTF-16.
  QMenu* miReopen = nullptr;

  // Hidden helpers.
  QLineEdit* edCurFileName = nullptr;
  QLineEdit* edWrk = nullptr;
  QLineEdit* edGrepSearchWord = nullptr;  // a TmuEdit: the search word, kept in section "Text"
  QPushButton* btKwdTitle = nullptr;
  QPushButton* btTest = nullptr;
  QTimer* TimerStartUp = nullptr;
  QTimer* TimerStartupSlow = nullptr;
  // Fires when typing pauses: the word table's log is copied back then, not on
  // a keystroke, and a table that failed is tried again.
  QTimer* TimerIdle = nullptr;
  // Runs every second while learning is paused by a failed table, whether or
  // not the user types: learning resumes soon after the table can be written.
  QTimer* TimerLearnRetry = nullptr;

  // --- window state ------------------------------------------------------
  TDateTime EarliestDate = 0;
  int WordPattern = 0;  // handle of the compiled word pattern
  int LastPane = 0;     // 0 document, 1 similar words, 2 latest words
  bool Modified = false;
  bool InsertingWord = false;
  bool SeekDone = false;
  int64_t SavedCaret = 0;
  int64_t PrevLength = 0;
  SjisString CaptionNote;
  // A write of the word table failed (or it could not be opened): learning
  // pauses until a write succeeds again. The user is told once per episode.
  bool LearningFailed = false;
  QString StatusPosition;  // line, column and size, kept by the document commands
  // Set by New, cleared when a file is opened (saving under a name keeps it).
  bool Untitled = false;
  // The function-key bar (hidden): button n runs the command bound to Fn.
  TFuncBtn* Func01 = nullptr;
  // The commands keys can be bound to.
  TmuMethodTable* muMethodTable1 = nullptr;
  // The find dialogs of the search and the global search (fmmain_search.cpp).
  TFindDialog* FindDialog = nullptr;
  TFindDialog* GFindDialog = nullptr;
  // The key state of the lone modifiers, cleared when the window is made.
  KeyState Keys;

  // --- operations used by other windows and tests -------------------------
  void ShowStatus(const SjisString& text);
  int SimilarFilter(const SjisString& text);
  bool SeekInLatest(const SjisString& text);
  void InsertWord(MT& view, bool touch);
  void ToggleKeywordOrder(MT& view, bool goToFirst);
  // --- documents (fmmain_files.cpp) ----------------------------------------
  // Asks whether to save a changed document; false: the caller stops.
  bool ConfirmSaveDoc();
  // Loads a file, or starts a new document when it is missing.
  void OpenDocFile(const QString& name);
  // The same with the file name's bytes, which need not be UTF-8.
  void OpenDocPath(const std::string& path);
  // Reads the document's file again in the encoding the user names; a
  // changed text is dropped only when the user says so.
  void ReopenAs(DocEncoding encoding);
  // The document's file name as bytes of the file system.
  std::string DocPath() const;
  // The encoding of new documents and day files (the options dialog's choice).
  DocCodec NewDocCodec() const;
  // Saves under a name chosen in the save dialog; true when written.
  bool SaveDocAs();
  // The File menu's commands (nothing in log mode).
  void NewDocument();
  void OpenDocument();
  bool SaveDocument();
  // The text differs from the file: typed, or a word inserted from a pane.
  bool DocChanged() const;
  // The file dialogs run through this (tests answer them): the chosen
  // file, or "" when the user cancelled.
  std::function<QString(QFileDialog*)> RunFileDialog;
  // Other modal dialogs run through this (tests answer them): true when accepted.
  std::function<bool(QDialog*)> RunDialog;
  QFileDialog* odaOpenFile = nullptr;
  QFileDialog* odaSaveFile = nullptr;
  // Fires when typing pauses: unsaved text goes to the recovery record.
  QTimer* TimerRecovery = nullptr;
  // Words are learned while typing and touched when inserted: neither paused
  // by the user nor by a failed table.
  bool Learning() const;
  // The caption without the learning note (set by the data module).
  void SetCaption(const QString& caption);
  bool SplitterWordCodeCanResize(int newWidth);
  bool SplitterWordDateCanResize(int newWidth);

  // --- log mode (fmmain_daylog.cpp) --------------------------------------
  // Saves the shown day (its text when changed, its positions) and, with
  // loadNew, loads the date window's day. False when the shown day stays:
  // its save was declined or failed, so its text and edits are kept.
  bool ChangeLogDay(bool loadNew);
  // Made by the global-search window's start-up timer in log mode.
  void CreateDateWindow();
  bool DayLoaded() const { return dayLoaded_; }
  // The day shown in the document pane (0 before any day is shown).
  TDateTime ShownDay() const;

  // --- search (fmmain_search.cpp) ----------------------------------------
  // Finds the search word from the selection's end (fromStart: from the
  // top), then once more from the top; ASCII letters in either case.
  void SearchInDoc(bool fromStart);
  SjisString SearchWord() const;
  void SetSearchWord(const SjisString& word);
  // The global-search window's actions.
  void OpenGrepResult();
  void CloseGrepWindow();
  void GrepResultEnter();

 public slots:
  // Commands: found by name ("Cn...") for function keys and option lists.
  void CnAppClose(QObject* sender = nullptr);
  void CnSeekWord(QObject* sender = nullptr);
  void CnChgKeywordSort(QObject* sender = nullptr);
  void CnFilterWord(QObject* sender = nullptr);
  void CnSplitKeyword_PrevString(QObject* sender = nullptr);
  void CnSplitKeyword_SelectString(QObject* sender = nullptr);
  void CnSetFocusLog(QObject* sender = nullptr);
  void CnSetFocusWordDate(QObject* sender = nullptr);
  void CnSetFocusWordCode(QObject* sender = nullptr);
  void CnSetFocusDate(QObject* sender = nullptr);
  void CnPrevDay(QObject* sender = nullptr);
  void CnNextDay(QObject* sender = nullptr);
  void CnSearchWord(QObject* sender = nullptr);
  void CnGrep(QObject* sender = nullptr);
  void CnOpenMail(QObject* sender = nullptr);
  void CnExecute(QObject* sender = nullptr);
  // The words learned, offered to the desktop's input method: the word table
  // written as a Mozc user dictionary, and such a dictionary's words read in.
  void CnExportMozcDict(QObject* sender = nullptr);
  void CnImportMozcDict(QObject* sender = nullptr);
  void TimerRecoveryTimer();

  void mmDocChange();
  void mgMuKwdDblClick(QObject* grid);
  void MenuItem1Click();
  void TimerStartUpTimer();
  void TimerIdleTimer();
  void TimerLearnRetryTimer();
  void miNoLearningClick();
  // Keyboard dispatch (fmmain_keys.cpp). Every key-down meant for a control
  // of this window (and those other windows pass on), before the control
  // sees it: the key count, the function keys, the lone modifiers.
  void FormKeyDown(QKeyEvent* e);
  // Every key-up, before the control: a lone modifier, Tab or Esc acts in
  // the focused pane. True when the key is consumed.
  bool FormKeyUp(QKeyEvent* e);
  // The focused control's own key-downs; true when consumed.
  bool mmDocKeyDown(QKeyEvent* e);
  bool mgMuKwdKeyDown(QObject* sender, QKeyEvent* e);
  // Sets the options dialog's lists to the function-key bindings; raises
  // "SetupProcParam() not find Component :" + list name for a command
  // without a list.
  void SetupProcParam();
  // Tools menu "単語帳(&W)": opens the word book, or brings it to the front.
  void miOpenKWDClick();
  // Help menu "クイックガイド(&Q)": opens the guide, or brings it to the front.
  void miOpenManualClick();
  // Help menu "&Readme": the read-me, opened by the desktop.
  void Readme1Click();
  // Popup "このファイルをエディターで開く(&T)": the shown file, as stored on disk.
  void Text1Click();

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void CloseWordBook();  // with the main window: nothing of it outlives the tables
  void FocusPane(QWidget* pane);
  // Documents (fmmain_files.cpp).
  void BuildDocuments();
  void StartupDocument();
  bool OfferRecovery();
  // The newest record of an editor that no longer runs (of a diary day or of
  // a document), once the user wants it back: its path, or "" (No: deleted;
  // Cancel: kept for the next start).
  std::string AskRecovery(bool diary, RecoveryRecord* r);
  // The record's text in the pane, changed and unsaved, then kept as this
  // editor's own record; the old record goes.
  void RestoreRecord(const RecoveryRecord& r, const std::string& path);
  void SetCurFileName(const std::string& path);
  void StartNewDocument();
  // Reads a file into the document, in `wanted` or the detected encoding.
  void LoadDocFile(const std::string& path, const DocEncoding* wanted);
  bool WriteDocFile(const std::string& path, DocCodec codec);
  QFileDialog* FileDialog(bool save);
  void UpdateStatusPosition();
  // Encodings (fmmain_encoding.cpp): the reopen menu, the save dialog's
  // choice, the status line's encoding and line break.
  void BuildEncodings(QMenu* file);
  QComboBox* SaveEncodingList(QFileDialog* dialog);
  void UpdateDocFormat();
  // The bytes of the current file name, and the name shown for them; a name
  // put into edCurFileName by other means is encoded as it stands.
  std::string docPath_;
  QString docPathShown_;
  bool DropFiles(QEvent* e);
  std::unique_ptr<RecoveryStore> recovery_;
  // The document has a file of the user's choosing (opened or saved as): a
  // save writes there without asking for a name.
  bool named_ = false;
  // The file as this window last read or wrote it (device, inode, size,
  // modification time): the document, or the day shown in log mode; "" when
  // unknown. A save first checks that no other program has written the file
  // since.
  std::string diskStamp_;
  // True when the file may be written: unchanged on disk since, or the user
  // says so. Both modes ask this one question.
  bool MayOverwrite(const std::string& path, const SjisString& shownName);
  void FormCreate();
  void BuildMenus();
  void BuildLayout();
  void FormActivate();
  // The input method's state chosen in the options, asked for once the
  // window is first active after start-up.
  void RequestImeOpenOnce();
  bool imeOpenPending_ = false;
  void FormDeactivate();
  void FormClose();
  void PaneEnter(int pane);
  void PaneExit(int pane);
  void HighlightCaption(TmuPanel* caption, bool on);
  void ApplyGridColumnWidths();
  void SplitterWordCodeMoved();
  // Learning (fmmain_learnpause.cpp).
  SjisString LearnAtCaret();
  void LearningFailure(const SepKeywordFailures& failures, bool command);
  void WordTableUnopened();
  // Said once at start: a settings file that cannot be used, a word table
  // folder on a network file system.
  void StartupNotices();
  void LearningRecovered();
  void RetryLearning();
  // The word whose store failed last: the retry's probe writes where it goes.
  SjisString probeWord_;
  // The word book changed the word table (fmmain_wordbook.cpp): the panes follow.
  void WordTableChanged();
  void ApplyLearningState();
  void ShowLearningNotice(const QString& text);

  QPointer<TfmMsgBox> progressBox_;
  QPointer<QWidget> learningNotice_;
  QString captionBase_;
  int codeWidthBeforeMove_ = 0;
  // The function-key bar and the command table (fmmain_keys.cpp).
  void BuildCommandTable();
  // Start-up: default keys, the options dialog's lists, the menu shortcuts.
  void StartFunctionKeys();
  KeyPreview* keyPreview_ = nullptr;
  KeyPane FocusedPane() const;
  int64_t DocCaret() const;
  bool PreviewKeyDown(QKeyEvent* e);
  void DeleteWord(MT& view, MT& other);
  QPointer<TfmKDB> fmKDB;  // the word book while it is open
  QPointer<TfmManual> fmManual;  // the quick guide while it is open
  // Log mode and search (fmmain_daylog.cpp, fmmain_search.cpp).
  void StartLogMode();
  void BuildSearch();
  void OpenFindDialog(TFindDialog* dialog);
  void FindDialogClose();
  void LoadDayText(const SjisString& bytes);
  SjisString DayText(SjisString* lossQuestion = nullptr) const;
  std::string DayFilePath(TDateTime day) const;  // no folder is made
  // A save declined or a far day not wanted: the day shown stays, and the
  // date window goes back to it.
  void KeepShownDay(TDateTime shown);
  // A far day's file is made only when the user says so.
  bool ConfirmFarDay(TDateTime day);
  // Unsaved text of a day, kept when the editor was killed, offered at start.
  void OfferDayRecovery();
  QAction* Text1 = nullptr;  // greyed until a day is shown in log mode
  std::unique_ptr<DayBook> dayBook_;
  bool dayLoaded_ = false;
  // A declined save keeps the day: the date window's return to it, and the
  // second change event of a spun day, load nothing until the next event turn.
  bool dayKept_ = false;
  // The day's file holds bytes the editor does not give back as they were.
  TDateTime grepDate_ = 0;  // the date window's date when the global search started
  bool closing_ = false;
};

extern TfmMain* fmMain;

}  // namespace wendul
