// The window the user works in: the document pane and the two word panes.
#pragma once

#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <array>

#include "controls/muform.h"
#include "util/wtypes.h"

namespace wendul {

class MT;
class TmuRichEdit;
class TmuDBGrid;
class TmuPanel;
class TfmMsgBox;
class TfmKDB;

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

  // Hidden helpers.
  QLineEdit* edCurFileName = nullptr;
  QLineEdit* edWrk = nullptr;
  QLineEdit* edGrepSearchWord = nullptr;
  QPushButton* btKwdTitle = nullptr;
  QPushButton* btTest = nullptr;
  QTimer* TimerStartUp = nullptr;
  QTimer* TimerStartupSlow = nullptr;
  // Fires when typing pauses: the word table's log is copied back then, not on a keystroke.
  QTimer* TimerIdle = nullptr;

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
  QString StatusPosition;  // line, column and size, kept by the document commands
  // Function keys F1..F12: the command bound to each ("" = none).
  std::array<QString, 12> FuncCommands;

  // --- operations used by other windows and tests -------------------------
  void ShowStatus(const SjisString& text);
  int SimilarFilter(const SjisString& text);
  bool SeekInLatest(const SjisString& text);
  void InsertWord(MT& view, bool touch);
  void ToggleKeywordOrder(MT& view, bool goToFirst);
  void OpenDocument(const QString& path);
  void NewDocument();
  bool SplitterWordCodeCanResize(int newWidth);
  bool SplitterWordDateCanResize(int newWidth);

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

  void mmDocChange();
  void mgMuKwdDblClick(QObject* grid);
  void MenuItem1Click();
  void TimerStartUpTimer();
  // Tools menu "単語帳(&W)": opens the word book, or brings it to the front.
  void miOpenKWDClick();

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void CloseWordBook();  // with the main window: nothing of it outlives the tables
  void FormCreate();
  void BuildMenus();
  void BuildLayout();
  void FormActivate();
  void FormDeactivate();
  void FormClose();
  void SetupProcParam();
  void PaneEnter(int pane);
  void PaneExit(int pane);
  void HighlightCaption(TmuPanel* caption, bool on);
  void ApplyGridColumnWidths();
  void BindFunctionKeys();

  QPointer<TfmMsgBox> progressBox_;
  QPointer<TfmKDB> fmKDB;  // the word book while it is open
  bool closing_ = false;
};

extern TfmMain* fmMain;

}  // namespace wendul
