// The word book's commands that replace the whole table (import, delete all,
// rebuild, restore). Each asks first, naming how many words are replaced by
// how many, keeps a backup of the table before it changes anything, shows
// its progress with the hourglass, and can be cancelled until the table's
// file is being written.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/funcbtn.h"
#include "controls/mudbgrid.h"
#include "store/mt_safe.h"
#include "util/datetime.h"
#include "wordbook/exchangeprogress.h"
#include "wordbook/fmkdb.h"
#include "wordbook/fmkdb_texts.h"
#include "wordbook/tabletext.h"

namespace wendul {

using namespace kdb;

namespace {

// Long work on the table, shown in stages.
class WorkProgress {
 public:
  explicit WorkProgress(QWidget* owner) : progress_(owner, Title(TableWork::Copying), QString::fromUtf8("語"), 0) {}
  TableProgress Callback() {
    return [this](TableWork work, int64_t done, int64_t total) {
      if (work == TableWork::Installing) progress_.NoCancel();
      progress_.SetStage(Title(work), total);
      return progress_.Step(work == TableWork::Reading ? done : 0, done);
    };
  }

 private:
  static QString Title(TableWork work) {
    switch (work) {
      case TableWork::Copying: return QString::fromUtf8("バックアップ中");
      case TableWork::Checking: return QString::fromUtf8("単語の表を点検中");
      case TableWork::Reading: return QString::fromUtf8("単語を読み出し中");
      case TableWork::Indexing: return QString::fromUtf8("索引を作成中");
      case TableWork::Installing: return QString::fromUtf8("単語の表に書き込み中（中止できません）");
    }
    return {};
  }
  WaitCursor wait_;
  TExchangeProgress progress_;
};

// "単語帳の 1,000 語", or without a count when the table cannot say.
SjisString WordsNow(MT& t) {
  try {
    return J("単語帳の ") + Count(t.RecordCount()) + J(" 語");
  } catch (const std::exception&) {
    return J("いまの単語帳");
  }
}

SjisString Unchanged() { return J("単語帳はそのままです。"); }

QString ReasonText(const std::string& reason) {
  if (reason == "import") return QString::fromUtf8("読み込みの前");
  if (reason == "deleteall") return QString::fromUtf8("全行削除の前");
  if (reason == "restore") return QString::fromUtf8("復元の前");
  if (reason == "reindex") return QString::fromUtf8("再インデックスの前");
  return QString::fromStdString(reason);
}

}  // namespace

void TfmKDB::Changed() {
  if (links_.tableChanged) {
    links_.tableChanged();
  } else if (!links_.table->Active()) {
    links_.table->Op();
  }
}

bool TfmKDB::KeepBackup(const char* reason, const SjisString& what) {
  try {
    WorkProgress progress(this);
    BackupTable(*links_.table, reason, progress.Callback());
    return true;
  } catch (const TableWorkCancelled&) {
    MsgBox(kCaption, what + J("をやめました。") + Unchanged());
  } catch (const std::exception& e) {
    ErrMsgBox(J("単語帳のバックアップを作れないため、") + what + J("をやめました。") + Unchanged() + "\r\n" + e.what());
  }
  return false;
}

void TfmKDB::FBtn_F03Click() {
  mgMuKwd->EndEdit(true);
  const QString path = RunFileDialog(odaOpenFile);
  if (path.isEmpty()) return;
  const SjisString name = Shown(path);
  if (!QFileInfo::exists(path)) {
    MsgBox(kCaption, name + J(" が見つかりません"));
    return;
  }
  MT& t = *links_.table;
  TableTextSurvey survey;
  try {
    WaitCursor wait;
    survey = SurveyTableText(FsPath(path));
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
    return;
  }
  if (survey.encoding != TextEncoding::ShiftJis) {
    const char* kind = survey.encoding == TextEncoding::Utf8    ? " は UTF-8 のファイルです。"
                       : survey.encoding == TextEncoding::Utf16 ? " は UTF-16 のファイルです。"
                       : survey.encoding == TextEncoding::Utf32 ? " は UTF-32 のファイルです。"
                                                                : " はテキストファイルではありません。";
    MsgBox(kCaption, name + J(kind) +
                         J("読み込めるのはシフトJISのテキストファイル（単語帳の「書き出し」で作ったファイル）だけです。") +
                         Unchanged());
    return;
  }
  if (survey.records == 0) {
    MsgBox(kCaption, name + J(" には単語がありません。") + Unchanged() +
                         J("すべての単語を消すときは「全行削除」(F4) を使ってください。"));
    return;
  }
  if (AskNotYes(kCaption, WordsNow(t) + J("を、") + name + J(" の ") + Count(survey.records) +
                              J(" 語で置き換えますか？\r\n置き換える前の単語帳はバックアップしておき、「復元」(F7) で戻せます。")))
    return;
  if (!KeepBackup("import", J("読み込み"))) return;
  TmuText importer;
  importer.IsSkipTableCheck = true;
  importer.DatabaseName = t.DatabaseName();
  bool done = false;
  try {
    WaitCursor wait;
    TExchangeProgress progress(this, QString::fromUtf8("読み込み中"), QString::fromUtf8("行"),
                               QFileInfo(path).size());
    importer.OnCount = [&](int64_t lines, int64_t bytes) {
      // The lines are read: the indexes are built, and the work can still be cancelled.
      if (bytes >= QFileInfo(path).size()) progress.SetStage(QString::fromUtf8("索引を作成中"), 0);
      return progress.Step(lines, bytes);
    };
    // The import replaces the whole table, in one transaction.
    importer.TextImport(FsPath(path), t.TableName(), true, false);
    done = true;
  } catch (const TextExchangeCancelled&) {
    MsgBox(kCaption, J("読み込みを中止しました。単語帳は読み込む前のままです。"));
  } catch (const std::exception& e) {
    if (IsLockError(e)) ShowStoreError(e);
    else ErrMsgBox(e.what() + J("\r\n\r\n単語帳は読み込む前のままです。"));
  }
  if (!done) return;
  try {
    t.Refresh();
    t.First();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
  Changed();
  MsgBox(kCaption, name + J(" を読み込みました。"));
}

void TfmKDB::FBtn_F04Click() {
  mgMuKwd->EndEdit(false);
  MT& t = *links_.table;
  if (AskNotYes("", J("全行削除してもいいですか？\r\n") + WordsNow(t) +
                        J("がすべて削除され、0 語になります。削除する前の単語帳はバックアップしておき、「復元」(F7) で戻せます。")))
    return;
  if (!KeepBackup("deleteall", J("全行削除"))) return;
  try {
    t.EmptyT();
  } catch (const std::exception& e) {
    ShowStoreError(e);
  }
  Changed();
}

void TfmKDB::FBtn_F05Click() {
  mgMuKwd->EndEdit(true);
  if (AskNotYes(kCaption, J("再インデックスしますか？"))) return;
  MT& t = *links_.table;
  if (links_.releaseTable) links_.releaseTable();
  else t.Cl(false);
  RebuildReport report;
  bool done = false;
  try {
    WorkProgress progress(this);
    report = RebuildTable(t, progress.Callback());
    done = true;
  } catch (const TableWorkCancelled&) {
    MsgBox(kCaption, J("再インデックスを中止しました。") + Unchanged());
  } catch (const std::exception& e) {
    ErrMsgBox(J("再インデックスできませんでした。") + Unchanged() + "\r\n" +
              (IsLockError(e) ? LockedText() : SjisString(e.what())));
  }
  Changed();
  if (!done) return;
  if (!report.damaged) {
    MsgBox(kCaption, J("再インデックスしました。"));
    return;
  }
  SjisString text = J("単語の表が傷んでいたため、読めた ") + Count(report.records) + J(" 語で作り直しました。");
  if (report.fromIndexes > 0)
    text += J("\r\nそのうち ") + Count(report.fromIndexes) +
            J(" 語は傷んだ所にあったため、索引から取り戻しました（新規登録日は空欄です）。");
  if (report.before > report.records)
    text += J("\r\n元の表の ") + Count(report.before) + J(" 語のうち、") + Count(report.before - report.records) +
            J(" 語は読めませんでした。");
  text += J("\r\n傷んだ元のファイルは ") + PathText(report.kept) + J(" として残してあります。");
  MsgBox(kCaption, text);
}

void TfmKDB::FBtn_F07Click() {
  mgMuKwd->EndEdit(true);
  MT& t = *links_.table;
  std::vector<TableBackup> backups;
  {
    WaitCursor wait;
    backups = ListBackups(t);
  }
  if (backups.empty()) {
    MsgBox(kCaption, J("単語帳のバックアップはまだありません。バックアップは読み込み・全行削除・再インデックス・復元の前に作られます。"));
    return;
  }
  const int at = ChooseBackup ? ChooseBackup(backups) : -1;
  if (at < 0 || static_cast<size_t>(at) >= backups.size()) return;
  const TableBackup& b = backups[static_cast<size_t>(at)];
  if (b.records < 0) {
    MsgBox(kCaption, PathText(b.path) + J(" は読めません。") + Unchanged());
    return;
  }
  const SjisString when = DateTimeStr(b.made);
  if (AskNotYes(kCaption, WordsNow(t) + J("を、") + when + J(" のバックアップの ") + Count(b.records) +
                              J(" 語で置き換えますか？\r\nいまの単語帳もバックアップしておき、「復元」(F7) で戻せます。")))
    return;
  if (links_.releaseTable) links_.releaseTable();
  else t.Cl(false);
  bool done = false;
  try {
    WorkProgress progress(this);
    RestoreTable(t, b.path, progress.Callback());
    done = true;
  } catch (const TableWorkCancelled&) {
    MsgBox(kCaption, J("復元を中止しました。") + Unchanged());
  } catch (const std::exception& e) {
    ErrMsgBox(J("復元できませんでした。") + Unchanged() + "\r\n" + (IsLockError(e) ? LockedText() : SjisString(e.what())));
  }
  Changed();
  if (done) MsgBox(kCaption, when + J(" のバックアップから ") + Count(b.records) + J(" 語を戻しました。"));
}

int TfmKDB::ShowBackupChooser(const std::vector<TableBackup>& backups) {
  QDialog dialog(this);
  dialog.setObjectName("BackupChooser");
  dialog.setWindowTitle(QString::fromUtf8("単語帳の復元"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QString::fromUtf8("単語帳を戻すバックアップを選んでください（新しい順）:"), &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName("lbBackups");
  for (const TableBackup& b : backups) {
    const QString words = b.records < 0 ? QString::fromUtf8("（読めません）")
                                        : QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(b.records)) +
                                              QString::fromUtf8(" 語");
    list->addItem(ToQ(DateTimeStr(b.made)) + QString::fromUtf8("　") + words + QString::fromUtf8("　") +
                  ReasonText(b.reason));
  }
  list->setCurrentRow(0);
  list->setMinimumWidth(420);
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(&dialog);
  buttons->addButton(QString::fromUtf8("復元"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
  if (dialog.exec() != QDialog::Accepted) return -1;
  return list->currentRow();
}

}  // namespace wendul
