#include "wordbook/fmkdb.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "controls/datasource.h"
#include "controls/funcbtn.h"
#include "controls/jfont.h"
#include "controls/mudbgrid.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "util/messages.h"
#include "util/strutil.h"
#include "wordbook/exchangeprogress.h"
#include "wordbook/exchangeui.h"
#include "wordbook/fmkdb_texts.h"
#include "wordbook/tabletext.h"
#include "wordbook/wordrules.h"

namespace wendul {

using namespace kdb;

namespace {

bool g_open = false;

}  // namespace

bool TfmKDB::IsOpen() { return g_open; }

TfmKDB::TfmKDB(Links links, QWidget* parent) : QWidget(parent), links_(std::move(links)) {
  g_open = true;
  setObjectName("fmKDB");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8("単語帳"));
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
  if (links_.stayOnTop) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  setFixedSize(512, 573);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FBtn = new TFuncBtn(this);
  FBtn->setObjectName("FBtn");
  FBtn->NBtn = 7;
  FBtn->setFixedHeight(30);
  FBtn->IsShift = true;
  FBtn->FontSize = 8;  // "再インデックス" fits a seventh of the window
  FBtn->RunLoaded();  // its buttons exist from here on
  layout->addWidget(FBtn);
  mgMuKwd = new TmuDBGrid(this);
  mgMuKwd->setObjectName("mgMuKwd");
  mgMuKwd->setFont(JapaneseFont(false, 12));
  mgMuKwd->SetColumns({{"KEYWORD", QString::fromUtf8("キーワード"), 177, true},
                       {"UPDATEDATE", QString::fromUtf8("最終使用日"), 151, false},
                       {"APPENDDATE", QString::fromUtf8("新規登録日"), 149, false}});
  mgMuKwd->SetTitlesVisible(true);
  mgMuKwd->SetDataSource(links_.source);
  mgMuKwd->OnCellEdited = [this](Bookmark record, int, const QString& shown, const QString& text) {
    return StoreEditedWord(record, shown, text);
  };
  connect(mgMuKwd, &TmuDBGrid::DblClick, this, [this] { mgMuKwd->StartEdit(); });
  connect(mgMuKwd, &TmuDBGrid::EnterPressed, this, [this] { mgMuKwd->StartEdit(); });
  layout->addWidget(mgMuKwd, 1);

  FBtn->SetButton(1, QString::fromUtf8("並べ替え"), QString::fromUtf8("最終使用日順と単語順を切り替えます"),
                  [this](QObject*) { FBtn_F01Click(); });
  FBtn->SetButton(2, QString::fromUtf8("書き出し"), QString::fromUtf8("単語をテキストファイルに書き出します"),
                  [this](QObject*) { FBtn_F02Click(); });
  FBtn->SetButton(3, QString::fromUtf8("読み込み"),
                  QString::fromUtf8("テキストファイルの単語で単語帳を置き換えます"), [this](QObject*) { FBtn_F03Click(); });
  FBtn->SetButton(4, QString::fromUtf8("全行削除"), QString::fromUtf8("すべての単語を削除します"),
                  [this](QObject*) { FBtn_F04Click(); });
  FBtn->SetButton(5, QString::fromUtf8("再インデックス"), QString::fromUtf8("索引を作り直します"),
                  [this](QObject*) { FBtn_F05Click(); });
  FBtn->SetButton(6, QString::fromUtf8("閉じる"), QString::fromUtf8("単語帳を閉じます"), [this](QObject*) { FBtn_F06Click(); });
  FBtn->SetButton(7, QString::fromUtf8("復元"), QString::fromUtf8("読み込みや全行削除の前のバックアップから単語帳を元に戻します"),
                  [this](QObject*) { FBtn_F07Click(); });

  const QString filter = QString::fromUtf8("テキストファイル（*.TXT） (*.TXT *.txt);;全てのファイル（*.*） (*)");
  SaveDialog = MakeExchangeDialog(this, "SaveDialog", QFileDialog::AcceptSave, filter, "TXT");
  odaOpenFile = MakeExchangeDialog(this, "odaOpenFile", QFileDialog::AcceptOpen, filter, "TXT");
  RunFileDialog = [](QFileDialog* dialog) {
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return QString();
    return dialog->selectedFiles().first();
  };
  ChooseBackup = [this](const std::vector<TableBackup>& backups) { return ShowBackupChooser(backups); };

  // Key preview: every key of this window reaches the function-key bar first.
  qApp->installEventFilter(this);
}

TfmKDB::~TfmKDB() {
  qApp->removeEventFilter(this);
  g_open = false;
}

void TfmKDB::closeEvent(QCloseEvent* e) {
  mgMuKwd->EndEdit(true);  // a word being typed is kept
  g_open = false;
  e->accept();
}

bool TfmKDB::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (FBtn->DispatchFunctionKey(k->key(), k->modifiers())) return true;
    if (watched == mgMuKwd && mgMuKwdKeyDown(k->key())) return true;
  }
  return QWidget::eventFilter(watched, e);
}

bool TfmKDB::mgMuKwdKeyDown(int key) {
  MT& t = *links_.table;
  switch (key) {
    case Qt::Key_Delete:
      // At once, without a question; only the word shown (its record's id
      // may hold another word since another program replaced the table).
      try {
        t.Delete();
      } catch (const std::exception& e) {
        if (IsRecordChanged(e)) {
          MsgBox(kCaption, J("この単語はほかで変更または削除されています。削除しませんでした。"));
          try {
            t.Refresh();
          } catch (const std::exception&) {
          }
        } else {
          ShowStoreError(e);
        }
        return true;
      }
      Changed();
      return true;
    case Qt::Key_Left:
      mgMuKwd->MoveBy(-8);
      return true;
    case Qt::Key_Right:
      mgMuKwd->MoveBy(8);
      return true;
    default:
      return false;
  }
}

bool TfmKDB::StoreEditedWord(int64_t record, const QString& shown, const QString& text) {
  MT& t = *links_.table;
  const SjisString kept = J("単語は元のままです。");
  std::u16string u16 = text.toStdU16String();
  SjisString word;
  if (!TryUtf16ToSjis(u16, word)) {
    MsgBox(kCaption, J("「") + FromQ(text) + J("」にはシフトJISにない文字があります。") + kept);
    return false;
  }
  if (Trim(word).empty()) {
    MsgBox(kCaption, J("単語が空です。") + kept);
    return false;
  }
  const int at = t.FieldIndex("KEYWORD");
  const int size = at >= 0 ? t.Fields()[static_cast<size_t>(at)].size : 0;
  if (const SjisString why = WordRefusal(word, size); !why.empty()) {
    MsgBox(kCaption, why + kept);
    return false;
  }
  try {
    // The record may hold another word by now (ids are reused after an
    // import elsewhere): only the word the cell showed is changed.
    if (!t.BookmarkValid(record)) {
      MsgBox(kCaption, J("この単語はもう削除されています。"));
      return false;
    }
    t.GotoBookmark(record);
    if (ToQ(t.GS("KEYWORD")) != shown) {
      MsgBox(kCaption, J("この単語はほかで変更されています。") + kept);
      return false;
    }
    if (t.GS("KEYWORD") == word) return true;
    // The write lock is taken only now, for this one change.
    t.Edit();
    t.SS("KEYWORD", word);
    t.Post();
  } catch (const std::exception& e) {
    if (t.State() == DataSetState::Edit || t.State() == DataSetState::Insert) {
      try {
        t.Cancel();
      } catch (const std::exception&) {
      }
    }
    if (IsKeyViolation(e)) MsgBox(kCaption, J("「") + word + J("」はすでに登録されています。") + kept);
    else if (IsRecordChanged(e)) MsgBox(kCaption, J("この単語はほかで変更されています。") + kept);
    else ShowStoreError(e);
    return false;
  }
  Changed();
  return true;
}

void TfmKDB::FBtn_F01Click() {
  mgMuKwd->EndEdit(true);
  try {
    if (links_.toggleOrder) links_.toggleOrder(*links_.table, true);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

void TfmKDB::FBtn_F02Click() {
  mgMuKwd->EndEdit(true);
  const QString path = RunFileDialog(SaveDialog);
  if (path.isEmpty()) return;
  const SjisString name = Shown(path);
  if (QFileInfo::exists(path) && AskNotYes(kCaption, name + J(" はすでに存在しますが置き換えますか？"))) return;
  MT& t = *links_.table;
  t.DisableControls();
  bool done = false;
  TextExportReport report;
  try {
    int64_t total = 0;
    try {
      total = t.RecordCount();
    } catch (const std::exception&) {
      // A damaged table is written as far as it can be read.
    }
    TExchangeProgress progress(this, QString::fromUtf8("書き出し中"), QString::fromUtf8("件"), total);
    report = TextExport(t, FsPath(path), false, true, [&](int64_t n, int64_t) { return progress.Step(n, n); });
    done = true;
  } catch (const TextExchangeCancelled&) {
    // Nothing was written under the chosen name.
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
  t.EnableControls();
  if (!done) return;
  SjisString text = name + J(" へ書き出しました。");
  if (report.damaged)
    text += J("\r\n単語の表が傷んでいるため、読めた ") + Count(report.records) +
            J(" 語だけを書き出しました。「再インデックス」(F5) で表を作り直せます。");
  MsgBox(kCaption, text);
}

void TfmKDB::FBtn_F06Click() { close(); }

}  // namespace wendul
