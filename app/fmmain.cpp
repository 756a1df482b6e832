#include "app/fmmain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include "app/datamodule.h"
#include "app/daybook.h"
#include "app/fmgrep.h"
#include "app/globals.h"
#include "controls/datasource.h"
#include "controls/funcbtn.h"
#include "controls/imeswitch.h"
#include "controls/inipersist.h"
#include "controls/jfont.h"
#include "controls/mudbgrid.h"
#include "controls/mupanel.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "settings/fmsetup.h"
#include "settings/muedit.h"
#include "settings/setuplinks.h"
#include "store/companion.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/datetime.h"
#include "util/inifile.h"
#include "util/messages.h"
#include "util/recovery.h"
#include "util/strutil.h"
#include "windows/fmmsgbox.h"
#include "windows/fmworddate.h"

namespace wendul {

TfmMain* fmMain = nullptr;

namespace {

const QColor kCaptionActive(74, 105, 165);

}  // namespace

TfmMain::TfmMain(QWidget* parent) : TmuForm(parent) {
  setObjectName("fmMain");
  fmMain = this;
  MainWindowObject() = this;
  BuildLayout();
  BuildMenus();
  BuildCommandTable();
  FormCreate();
  LoadIniControls(this);  // the search word, the function keys' commands
}

TfmMain::~TfmMain() {
  StoreIniControls(this);
  if (fmMain == this) fmMain = nullptr;
  if (MainWindowObject() == this) MainWindowObject() = nullptr;
}

// ---------------------------------------------------------------------------
// Layout

void TfmMain::BuildLayout() {
  setWindowTitle("Wendul");
  resize(937, 696);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(937 / 2, 696 / 2));

  auto* central = new QWidget(this);
  central->setObjectName("pnClient");
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  pnMessage = new TmuPanel(central);
  pnMessage->setObjectName("pnMessage");
  pnMessage->setFixedHeight(22);
  pnMessage->setFont(JapaneseFont(true, 12));
  pnMessage->SetAlignmentLeft();
  // A long help line is cut at the window's edge, never widening the window.
  pnMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  pnMessage->setToolTip(QString::fromUtf8(
      "ショートカットキーのヘルプを表示をします。表示を止めるのは「オプション」メニューの「全般」で行って下さい。"));
  outer->addWidget(pnMessage);

  // A pane: a 22-pixel caption bar above its content.
  auto makePane = [](const char* name, const char* captionName, const char* caption, TmuPanel** captionOut) {
    auto* pane = new QWidget;
    pane->setObjectName(name);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new TmuPanel(pane);
    bar->setObjectName(captionName);
    bar->setFixedHeight(22);
    bar->SetCaption(QString::fromUtf8(caption));
    bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    layout->addWidget(bar);
    *captionOut = bar;
    return pane;
  };
  auto makeGrid = [this](QWidget* pane, const char* name, TDataSource* source) {
    auto* grid = new TmuDBGrid(pane);
    grid->setObjectName(name);
    grid->SetDataSource(source);
    grid->SetFieldName("KEYWORD");
    grid->setFont(JapaneseFont(false, 12));
    grid->setFocusPolicy(Qt::ClickFocus);
    grid->installEventFilter(this);
    pane->layout()->addWidget(grid);
    return grid;
  };
  auto makeSplitter = [](const char* name, QWidget* parent) {
    auto* splitter = new QSplitter(Qt::Horizontal, parent);
    splitter->setObjectName(name);
    splitter->setHandleWidth(4);
    splitter->setChildrenCollapsible(false);
    return splitter;
  };

  SplitterWordCode = makeSplitter("SplitterWordCode", central);
  pnWordCode = makePane("pnWordCode", "pnWordCodeCaption", "類似単語", &pnWordCodeCaption);
  mgWordCode = makeGrid(pnWordCode, "mgWordCode", D ? D->dsMuKwd2 : nullptr);
  pnWordCode->setMinimumWidth(80);

  pnMain = makeSplitter("pnMain", nullptr);
  pnDoc = makePane("pnDoc", "pnDocCaption", "文章入力", &pnDocCaption);
  mmDoc = new TmuRichEdit(pnDoc);
  mmDoc->setObjectName("mmDoc");
  mmDoc->setFont(JapaneseFont(false, 15));
  mmDoc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmDoc->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmDoc->setContextMenuPolicy(Qt::CustomContextMenu);
  mmDoc->installEventFilter(this);
  pnDoc->layout()->addWidget(mmDoc);

  pnWordDate = makePane("pnWordDate", "pnWordDateCaption", "最新単語", &pnWordDateCaption);
  mgWordDate = makeGrid(pnWordDate, "mgWordDate", D ? D->dsMuKwd : nullptr);
  pnWordDate->setMinimumWidth(100);

  pnMain->addWidget(pnDoc);
  pnMain->addWidget(pnWordDate);
  pnMain->setStretchFactor(0, 1);
  pnMain->setStretchFactor(1, 0);
  pnMain->handle(1)->setObjectName("SplitterWordDate");
  SplitterWordCode->addWidget(pnWordCode);
  SplitterWordCode->addWidget(pnMain);
  SplitterWordCode->setStretchFactor(0, 0);
  SplitterWordCode->setStretchFactor(1, 1);
  SplitterWordCode->setSizes({150, 937 - 150});
  pnMain->setSizes({937 - 300, 150});
  outer->addWidget(SplitterWordCode, 1);

  // The panes follow the handle while it is dragged, so each step is judged.
  SplitterWordCode->setOpaqueResize(true);
  SplitterWordCode->handle(1)->installEventFilter(this);
  connect(SplitterWordCode, &QSplitter::splitterMoved, this, [this](int, int) { SplitterWordCodeMoved(); });
  connect(pnMain, &QSplitter::splitterMoved, this, [this](int, int) { ApplyGridColumnWidths(); });

  StatusBarMain = new QStatusBar(this);
  StatusBarMain->setObjectName("StatusBarMain");
  StatusBarMain->setFixedHeight(22);
  StatusBarMain->setSizeGripEnabled(true);
  setStatusBar(StatusBarMain);
  lbLearning = new QLabel(StatusBarMain);
  lbLearning->setObjectName("lbLearning");
  lbLearning->hide();
  StatusBarMain->addPermanentWidget(lbLearning);

  // Hidden helpers.
  edCurFileName = new QLineEdit(central);
  edCurFileName->setObjectName("edCurFileName");
  edCurFileName->hide();
  edWrk = new QLineEdit(central);
  edWrk->setObjectName("edWrk");
  edWrk->hide();
  auto* searchWord = new TmuEdit(central);
  searchWord->setObjectName("edGrepSearchWord");
  searchWord->IsIni = true;  // section "Text"
  searchWord->hide();
  edGrepSearchWord = searchWord;
  btKwdTitle = new QPushButton(QString::fromUtf8("並べ替え"), central);
  btKwdTitle->setObjectName("btKwdTitle");
  btKwdTitle->hide();
  connect(btKwdTitle, &QPushButton::clicked, this, [this] { CnChgKeywordSort(btKwdTitle); });
  btTest = new QPushButton("Test", central);
  btTest->setObjectName("btTest");
  btTest->hide();

  setCentralWidget(central);

  connect(pnDocCaption, &TmuPanel::clicked, this, [this] { CnSetFocusLog(pnDocCaption); });
  connect(pnWordDateCaption, &TmuPanel::clicked, this, [this] { CnSetFocusWordDate(pnWordDateCaption); });
  connect(pnWordCodeCaption, &TmuPanel::clicked, this, [this] { CnSetFocusWordCode(pnWordCodeCaption); });
  connect(mgWordDate, &TmuDBGrid::DblClick, this, [this] { mgMuKwdDblClick(mgWordDate); });
  connect(mgWordCode, &TmuDBGrid::DblClick, this, [this] { mgMuKwdDblClick(mgWordCode); });
  connect(mgWordDate, &TmuDBGrid::EnterPressed, this, [this] { mgMuKwdDblClick(mgWordDate); });
  connect(mgWordCode, &TmuDBGrid::EnterPressed, this, [this] { mgMuKwdDblClick(mgWordCode); });
  BuildDocuments();  // before the learning: a keystroke's status comes before its messages
  connect(mmDoc, &TmuRichEdit::Change, this, &TfmMain::mmDocChange);
}

void TfmMain::BuildMenus() {
  auto action = [this](QMenu* menu, const char* name, const char* text, auto slot,
                       QKeySequence key = QKeySequence()) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    a->setObjectName(name);
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };
  auto docOnly = [this](auto fn) {
    return [this, fn] {
      if (mmDoc->hasFocus()) fn();
    };
  };

  QMenu* file = menuBar()->addMenu(QString::fromUtf8("ファイル(&F)"));
  file->setObjectName("miFile");
  action(file, "New1", "新規作成(&N)", [this] { NewDocument(); }, QKeySequence("Ctrl+N"));
  action(file, "Open1", "ファイルを開く(&O)", [this] { OpenDocument(); }, QKeySequence("Ctrl+O"));
  action(file, "Save1", "上書き保存(&S)", [this] { SaveDocument(); }, QKeySequence("Ctrl+S"));
  action(file, "SaveAs1", "名前を付けて保存(&A)", [this] {
    if (!G().logMode) SaveDocAs();
  });
  BuildEncodings(file);
  file->addSeparator();
  action(file, "miAppClose", "終了(&X)", [this] { CnAppClose(nullptr); });

  QMenu* edit = menuBar()->addMenu(QString::fromUtf8("編集(&E)"));
  edit->setObjectName("miEdit");
  action(edit, "Copy1", "コピー(&C)", docOnly([this] { mmDoc->copy(); }), QKeySequence("Ctrl+C"));
  action(edit, "N1", "貼り付け(&P)", docOnly([this] { mmDoc->paste(); }), QKeySequence("Ctrl+V"));
  action(edit, "N3", "全選択(&A)", docOnly([this] { mmDoc->selectAll(); }), QKeySequence("Ctrl+A"));
  edit->addSeparator();
  action(edit, "miSplitKeyword_PrevString", "直前の文章から単語を切り出す(&E)",
         [this] { CnSplitKeyword_PrevString(nullptr); });
  action(edit, "miSplitKeyword_SelectString", "選択した文章から単語を切り出す(&W)",
         [this] { CnSplitKeyword_SelectString(nullptr); });

  miSearch = menuBar()->addMenu(QString::fromUtf8("検索(&S)"));
  miSearch->setObjectName("miSearch");
  action(miSearch, "miAuto", "自動(&0)", [this] { CnSeekWord(nullptr); });
  miSearchWord_xx = action(miSearch, "miSearchWord_xx", "検索(&S)", [] {}, QKeySequence("Ctrl+F"));
  miGrep_xx = action(miSearch, "miGrep_xx", "グローバル検索(&G)", [] {}, QKeySequence("Ctrl+G"));

  QMenu* view = menuBar()->addMenu(QString::fromUtf8("表示(&V)"));
  view->setObjectName("miView");
  miIsWordWrap = action(view, "miIsWordWrap", "行を折り返す", [this] {
    mmDoc->SetWordWrap(miIsWordWrap->isChecked());
  });
  miIsWordWrap->setCheckable(true);
  miIsWordWrap->setChecked(true);

  QMenu* tools = menuBar()->addMenu(QString::fromUtf8("ツール(&T)"));
  tools->setObjectName("miTool");
  action(tools, "miSetup", "オプション設定(&O)", [] {
    if (fmSetup) fmSetup->ShowSetup();
  });
  action(tools, "miOpenKWD", "単語帳(&W)", [this] { miOpenKWDClick(); });
  action(tools, "miExportMozcDict", "Mozc辞書に書き出し(&M)...", [this] { CnExportMozcDict(nullptr); });
  action(tools, "miImportMozcDict", "Mozc辞書から読み込み(&I)...", [this] { CnImportMozcDict(nullptr); });
  tools->addSeparator();
  miNoLearning = action(tools, "miNoLearning", "単語を学習しない", [this] { miNoLearningClick(); });
  miNoLearning->setCheckable(true);

  QMenu* help = menuBar()->addMenu(QString::fromUtf8("ヘルプ(&H)"));
  help->setObjectName("miHelp");
  action(help, "miOpenManual", "クイックガイド(&Q)", [this] { miOpenManualClick(); });
  action(help, "Readme1", "&Readme", [this] { Readme1Click(); });

  pmLog = new QMenu(this);
  pmLog->setObjectName("pmLog");
  action(pmLog, "MenuItem1", "選択範囲を単語帳に登録(&C)", [this] { MenuItem1Click(); });
  Text1 = action(pmLog, "Text1", "このファイルをエディターで開く(&T)", [this] { Text1Click(); });
  action(pmLog, "Grep1", "&Grep（現在は動きません）", [] {});
  connect(mmDoc, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { pmLog->exec(mmDoc->viewport()->mapToGlobal(pos)); });
}

// ---------------------------------------------------------------------------
// Lifecycle

void TfmMain::FormCreate() {
  TimerIdle = new QTimer(this);
  TimerIdle->setObjectName("TimerIdle");
  TimerIdle->setSingleShot(true);
  TimerIdle->setInterval(1500);
  connect(TimerIdle, &QTimer::timeout, this, &TfmMain::TimerIdleTimer);
  TimerLearnRetry = new QTimer(this);
  TimerLearnRetry->setObjectName("TimerLearnRetry");
  TimerLearnRetry->setInterval(1000);
  connect(TimerLearnRetry, &QTimer::timeout, this, &TfmMain::TimerLearnRetryTimer);
  mmDoc->clear();
  EarliestDate = MuStrToDateTime("1998/04/01 00:00:00", "yyyy/mm/dd hh:nn:ss");
  IsAutoHint = false;
  WordPattern = MuWGYInitStr(kWordPattern, kWordPatternLimit);
  SetWordPatternHandle(WordPattern);
  Modified = InsertingWord = SeekDone = false;
  CaptionNote.clear();
  LastPane = 0;
  PrevLength = 0;
  CreateKeyboardNameTable();
  edGrepSearchWord->setFixedWidth(0);
  SimilarFilter("");
  BuildSearch();
  StartLogMode();

  TimerStartUp = new QTimer(this);
  TimerStartUp->setObjectName("TimerStartUp");
  TimerStartUp->setSingleShot(true);
  connect(TimerStartUp, &QTimer::timeout, this, &TfmMain::TimerStartUpTimer);
  TimerStartUp->start(10);
  TimerStartupSlow = new QTimer(this);
  TimerStartupSlow->setObjectName("TimerStartupSlow");
  TimerStartupSlow->setSingleShot(true);
  TimerStartupSlow->start(2000);
}

void TfmMain::TimerStartUpTimer() {
  TimerStartUp->stop();
  IniFile ini(G().settingsPath);
  miIsWordWrap->setChecked(ini.ReadBool("Option", "is_wordwrap", true));
  miNoLearning->setChecked(ini.ReadBool("Option", "is_no_learning", false));
  ApplyLearningState();
  const QRect g = geometry();
  const int left = ini.ReadInteger("Position", "WindowLeft", g.left());
  const int top = ini.ReadInteger("Position", "WindowTop", g.top());
  const int width = ini.ReadInteger("Position", "Width", g.width());
  const int height = ini.ReadInteger("Position", "Height", g.height());
  setGeometry(left, top, std::max(width, 200), std::max(height, 150));
  const int dateWidth = ini.ReadInteger("Position", "pnWordDate_Width", pnWordDate->width());
  const int codeWidth = ini.ReadInteger("Position", "pnWordCode_Width", pnWordCode->width());
  {
    QList<int> sizes = pnMain->sizes();
    const int total = sizes[0] + sizes[1];
    sizes[1] = std::clamp(dateWidth, 100, std::max(100, total - 200));
    sizes[0] = total - sizes[1];
    pnMain->setSizes(sizes);
    QList<int> outer = SplitterWordCode->sizes();
    const int all = outer[0] + outer[1];
    outer[0] = std::clamp(codeWidth, 80, std::max(80, all - 300));
    outer[1] = all - outer[0];
    SplitterWordCode->setSizes(outer);
    codeWidthBeforeMove_ = pnWordCode->width();
  }

  StartFunctionKeys();

  if (G().adminLevel <= 0) {
    miSearch->menuAction()->setVisible(false);
    miSearchWord_xx->setVisible(false);
    miGrep_xx->setVisible(false);
    miSearchWord_xx->setShortcut(QKeySequence());
    miGrep_xx->setShortcut(QKeySequence());
  }
  btTest->hide();
  if (fmSetup) fmSetup->hide();
  mmDoc->SetWordWrap(miIsWordWrap->isChecked());

  if (!G().logMode) StartupDocument();
  mmDoc->SetImeMode(fmSetup && fmSetup->cbxIsIMEOn->isChecked() ? TmuRichEdit::ImeMode::Hiragana
                                                                 : TmuRichEdit::ImeMode::Closed);
  if (fmSetup) fmSetup->SendIMEColors();
  if (fmSetup) fmSetup->ApplyFontSize();
  ApplyGridColumnWidths();
  mmDoc->setFocus(Qt::OtherFocusReason);  // ready to type
  // Said once, over the window the user works in.
  if (D && !D->tbMuKwd.Active()) WordTableUnopened();
  StartupNotices();
  // The framework opens or closes the input method of the focused window:
  // asked once the window is active and its input context has the focus.
  imeOpenPending_ = true;
  if (isActiveWindow()) RequestImeOpenOnce();
}

void TfmMain::RequestImeOpenOnce() {
  if (!imeOpenPending_) return;
  imeOpenPending_ = false;
  const bool imeOn = fmSetup && fmSetup->cbxIsIMEOn->isChecked();
  QTimer::singleShot(300, this, [imeOn] { RequestInputMethodOpen(imeOn); });
}

void TfmMain::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange) {
    if (isActiveWindow()) FormActivate();
    else FormDeactivate();
  }
  TmuForm::changeEvent(e);
}

void TfmMain::FormActivate() {
  ActiveWindowMarker() = 0;
  if (fmSetup) {
    mmDoc->setToolTip(fmSetup->KeyHelpText[0]);
    mgWordDate->setToolTip(fmSetup->KeyHelpText[1]);
    mgWordCode->setToolTip(fmSetup->KeyHelpText[2]);
  }
  PaneEnter(LastPane);
  RequestImeOpenOnce();
}

void TfmMain::FormDeactivate() {
  PaneExit(0);
  PaneExit(1);
  PaneExit(2);
}

void TfmMain::closeEvent(QCloseEvent* e) {
  // In file mode a changed document is saved, dropped or kept open, as the
  // user says. In log mode the shown day is saved first; a declined or
  // failed save keeps the window open with the day and its edits.
  // A global search stops first: it must not go on with closed tables.
  if (fmGrep) fmGrep->GrepRunning = false;
  if (!closing_ && (G().logMode ? !ChangeLogDay(false) : !ConfirmSaveDoc())) {
    e->ignore();
    return;
  }
  FormClose();
  e->accept();
}

void TfmMain::FormClose() {
  if (closing_) return;
  closing_ = true;
  if (G().logMode && D) D->tbMuLog.Cl(true);
  MuWGYTerm(WordPattern);
  SetWordPatternHandle(0);
  WordPattern = 0;
  if (fmSetup) fmSetup->close();
  if (recovery_) recovery_->Remove();  // asked and answered: nothing is left to recover
  try {
    IniFile ini(G().settingsPath);
    ini.WriteBool("Option", "is_wordwrap", miIsWordWrap->isChecked());
    ini.WriteBool("Option", "is_no_learning", miNoLearning->isChecked());
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
      const QRect g = geometry();
      ini.WriteInteger("Position", "WindowLeft", g.left());
      ini.WriteInteger("Position", "WindowTop", g.top());
      ini.WriteInteger("Position", "Width", g.width());
      ini.WriteInteger("Position", "Height", g.height());
      ini.WriteInteger("Position", "pnWordDate_Width", pnWordDate->width());
      ini.WriteInteger("Position", "pnWordCode_Width", pnWordCode->width());
    }
  } catch (const std::exception& e) {
    ReportIniWriteFailure(e);
  }
  if (fmWordDate) fmWordDate->close();
  if (fmGrep) fmGrep->close();
  CloseWordBook();
  QApplication::quit();
}

void TfmMain::resizeEvent(QResizeEvent* e) {
  TmuForm::resizeEvent(e);
  mmDoc->viewport()->update();
  ApplyGridColumnWidths();
}

// A refused move puts the similar-word pane back where the drag step began,
// and while the document is too narrow takes 10 more pixels from it (a move
// that narrows the pane more than that is kept: it widens the document).
void TfmMain::SplitterWordCodeMoved() {
  const int wanted = pnWordCode->width();
  if (!SplitterWordCodeCanResize(wanted)) {
    int width = std::max(80, codeWidthBeforeMove_);
    if (mmDoc->width() < 200) width = std::max(80, std::min(wanted, width - 10));
    QList<int> sizes = SplitterWordCode->sizes();
    const int total = sizes[0] + sizes[1];
    sizes[0] = width;
    sizes[1] = total - width;
    SplitterWordCode->setSizes(sizes);
  }
  codeWidthBeforeMove_ = pnWordCode->width();
  ApplyGridColumnWidths();
}

bool TfmMain::SplitterWordCodeCanResize(int newWidth) {
  if (newWidth < 80) return false;
  if (mmDoc->width() < 200) return false;
  return true;
}

bool TfmMain::SplitterWordDateCanResize(int newWidth) { return newWidth >= 100; }

void TfmMain::ApplyGridColumnWidths() {
  mgWordCode->SetColumnWidth(std::max(10, pnWordCode->width() - 33));
  mgWordDate->SetColumnWidth(std::max(10, pnWordDate->width() - 33));
}

void TfmMain::ShowStatus(const SjisString& text) {
  StatusBarMain->showMessage(StatusPosition + QString(10, ' ') + ToQ(text));
}

// ---------------------------------------------------------------------------
// Focus of the panes

bool TfmMain::eventFilter(QObject* watched, QEvent* e) {
  if ((watched == mmDoc || watched == mmDoc->viewport()) &&
      (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove || e->type() == QEvent::Drop) && DropFiles(e))
    return true;  // a file dropped on the document opens it; text drops stay the editor's
  if (e->type() == QEvent::MouseButtonPress && watched == SplitterWordCode->handle(1))
    codeWidthBeforeMove_ = pnWordCode->width();  // a drag begins
  if (e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut) {
    const int pane = watched == mmDoc ? 0 : watched == mgWordCode ? 1 : watched == mgWordDate ? 2 : -1;
    if (pane >= 0) {
      if (e->type() == QEvent::FocusIn) {
        PaneEnter(pane);
      } else {
        PaneExit(pane);
      }
    }
  }
  return TmuForm::eventFilter(watched, e);
}

void TfmMain::HighlightCaption(TmuPanel* caption, bool on) {
  if (on) caption->SetColors(kCaptionActive, Qt::white);
  else caption->SetColors(palette().color(QPalette::Button), Qt::black);
}

void TfmMain::PaneEnter(int pane) {
  LastPane = pane;
  const bool help = fmSetup && fmSetup->cbxIsShowShortCutKeyHelp->isChecked();
  switch (pane) {
    case 0:
      HighlightCaption(pnDocCaption, true);
      if (help) pnMessage->SetCaption(fmSetup->KeyHelpText[0]);
      if (SeekDone) {
        // Leaving a pane without inserting puts the caret back where the seek began.
        mmDoc->SetSelStart(SavedCaret);
        mmDoc->SetSelLength(0);
        SeekDone = false;
      }
      break;
    case 1:  // mgWordCodeEnter
      HighlightCaption(pnWordCodeCaption, true);
      if (help)
        pnMessage->SetCaption(QString::fromUtf8("ENTERキーで単語を文章に挿入します  ") + fmSetup->KeyHelpText[2]);
      break;
    case 2:  // mgWordDateEnter
      HighlightCaption(pnWordDateCaption, true);
      if (help)
        pnMessage->SetCaption(QString::fromUtf8("ENTERキーで単語を文章に挿入します  ") + fmSetup->KeyHelpText[1]);
      break;
  }
}

void TfmMain::PaneExit(int pane) {
  HighlightCaption(pane == 0 ? pnDocCaption : pane == 1 ? pnWordCodeCaption : pnWordDateCaption, false);
}

// The pane commands run from the date and global-search windows too: the
// main window takes the keyboard as well, or the keys would stay there.
void TfmMain::FocusPane(QWidget* pane) {
  if (!isActiveWindow()) activateWindow();
  pane->setFocus(Qt::OtherFocusReason);
}
void TfmMain::CnSetFocusLog(QObject*) { FocusPane(mmDoc); }
void TfmMain::CnSetFocusWordDate(QObject*) { FocusPane(mgWordDate); }
void TfmMain::CnSetFocusWordCode(QObject*) { FocusPane(mgWordCode); }

void TfmMain::CnAppClose(QObject*) {
  if (fmGrep && fmGrep->GrepRunning) {
    fmGrep->GrepRunning = false;
    fmGrep->close();
  }
  close();
}

}  // namespace wendul
