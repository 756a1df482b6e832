#include "wordbook/mozcdict_ui.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "controls/inipersist.h"
#include "controls/mudateedit.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "wordbook/exchangeui.h"
#include "wordbook/fmkdb_texts.h"
#include "wordbook/wordreading.h"

namespace wendul {

using namespace kdb;

namespace {

QString Filter() { return QString::fromUtf8("Mozc辞書ファイル（*.txt） (*.txt *.TXT);;全てのファイル（*.*） (*)"); }

TDateTime Today() { return std::floor(Now()); }

// The settings file's value of a control of the dialog, or def when it has none.
SjisString Stored(const QObject* control, const SjisString& def) {
  try {
    return ReadIni(control, def);
  } catch (const std::exception&) {
    return def;
  }
}

void Store(const QObject* control, const SjisString& value) {
  try {
    WriteIni(control, value);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

}  // namespace

TfmMozcExport::TfmMozcExport(QWidget* parent) : QDialog(parent) {
  setObjectName("fmMozcExport");
  setWindowTitle(QString::fromUtf8("Mozc辞書に書き出し"));
  setMinimumWidth(560);
  auto* layout = new QVBoxLayout(this);
  auto* about = new QLabel(QString::fromUtf8(
      "覚えた単語を、日本語入力 Mozc（IBus・Fcitx5）のユーザー辞書の形で書き出します。\n"
      "読みは形態素解析器 MeCab で付けます。読めない単語は除きます。"), this);
  about->setWordWrap(true);
  layout->addWidget(about);
  rbAll = new QRadioButton(QString::fromUtf8("すべての単語(&A)"), this);
  rbAll->setObjectName("rbAll");
  layout->addWidget(rbAll);
  auto* sinceRow = new QHBoxLayout;
  rbSince = new QRadioButton(QString::fromUtf8("この日以降に登録した単語(&S)"), this);
  rbSince->setObjectName("rbSince");
  edSince = new TmuDateEdit(this);
  edSince->setObjectName("edSince");
  edSince->setFixedSize(280, 28);  // room for a four-digit year and its spin buttons
  sinceRow->addWidget(rbSince);
  sinceRow->addWidget(edSince);
  sinceRow->addStretch(1);
  layout->addLayout(sinceRow);
  cbxLatinDigits = new QCheckBox(QString::fromUtf8("英字と数字だけの単語も書き出す（読みは単語そのまま）(&L)"), this);
  cbxLatinDigits->setObjectName("cbxLatinDigits");
  layout->addWidget(cbxLatinDigits);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btOK = new QPushButton(QString::fromUtf8("書き出す(&E)"), this);
  btOK->setObjectName("btOK");
  btOK->setDefault(true);
  btCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
  btCancel->setObjectName("btCancel");
  buttons->addWidget(btOK);
  buttons->addWidget(btCancel);
  layout->addLayout(buttons);
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(rbSince, &QRadioButton::toggled, edSince, &QWidget::setEnabled);
  edSince->SetMuNextControl(btOK);  // ENTER in the day goes on to the button

  // The last choice; the date is that of the last export (today at first).
  TDateTime since = Today();
  try {
    const SjisString text = Stored(edSince, "");
    if (!text.empty()) since = MuStrToDateTime(text, "yyyy/mm/dd");
  } catch (const std::exception&) {
  }
  edSince->SetDate(since);
  (Stored(rbSince, "0") == "1" ? rbSince : rbAll)->setChecked(true);
  edSince->setEnabled(rbSince->isChecked());
  cbxLatinDigits->setChecked(Stored(cbxLatinDigits, "0") == "1");
}

MozcExportChoice TfmMozcExport::Choice() {
  MozcExportChoice c;
  c.since = rbSince->isChecked();
  c.sinceDate = std::floor(edSince->GetDate());
  c.latinDigits = cbxLatinDigits->isChecked();
  return c;
}

void TfmMozcExport::Remember() {
  Store(rbSince, rbSince->isChecked() ? "1" : "0");
  Store(cbxLatinDigits, cbxLatinDigits->isChecked() ? "1" : "0");
  Store(edSince, DateStr(Today()));
}

void ExportMozcDictionary(const MozcDictDialogs& ui, MT& table) {
  // The analyser first: without it there is nothing to ask about.
  std::unique_ptr<TWordReading> reading;
  try {
    reading = std::make_unique<TWordReading>();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
    return;
  }
  TfmMozcExport choose(ui.owner);
  if (!ui.runDialog(&choose)) return;
  const MozcExportChoice choice = choose.Choice();
  std::unique_ptr<QFileDialog> dialog(
      MakeExchangeDialog(ui.owner, "odaMozcSave", QFileDialog::AcceptSave, Filter(), "txt"));
  dialog->selectFile("wendul-mozc.txt");
  const QString path = ui.runFileDialog(dialog.get());
  if (path.isEmpty()) return;
  const SjisString name = Shown(path);
  if (QFileInfo::exists(path) && AskNotYes(kCaption, name + J(" はすでに存在しますが置き換えますか？"))) return;
  int64_t total = 0;  // the bar's end; a damaged table has none and says so below
  try {
    total = table.RecordCount();
  } catch (const std::exception&) {
  }
  MozcExportCounts n;
  if (!RunExchange(ui.owner, ExchangeKind::Export, total, [&](const TextCount& count) {
        n = MozcDictExport(table, FsPath(path), choice, *reading, count);
      }))
    return;
  choose.Remember();
  SjisString text = name + J(" へ書き出しました。\r\n\r\n書き出した単語: ") + Count(n.written) + J(" 語");
  if (n.unreadable) text += J("\r\n読みが分からず除いた単語: ") + Count(n.unreadable) + J(" 語");
  if (n.latinDigits) text += J("\r\n英字と数字だけのため除いた単語: ") + Count(n.latinDigits) + J(" 語");
  if (n.older) text += J("\r\n") + DateStr(choice.sinceDate) + J(" より前に登録したため除いた単語: ") + Count(n.older) + J(" 語");
  if (n.written > kMozcMaxEntries)
    text += J("\r\n\r\nMozc の辞書は 1 つに ") + Count(kMozcMaxEntries) +
            J(" 語までです。日付で分けて書き出し、別の辞書に取り込んでください。");
  text += J("\r\n\r\nMozc の辞書ツールで「管理」→「新規辞書にインポート...」を選んでこのファイルを取り込むと、"
            "IBus でも Fcitx5 でも変換の候補に出ます。");
  MsgBox(kCaption, text);
}

bool ImportMozcDictionary(const MozcDictDialogs& ui, MT& table) {
  std::unique_ptr<QFileDialog> dialog(
      MakeExchangeDialog(ui.owner, "odaMozcOpen", QFileDialog::AcceptOpen, Filter(), "txt"));
  const QString path = ui.runFileDialog(dialog.get());
  if (path.isEmpty()) return false;
  const SjisString name = Shown(path);
  if (!QFileInfo::exists(path)) {
    MsgBox(kCaption, name + J(" が見つかりません"));
    return false;
  }
  TmuText importer;
  importer.Format = TextFormat::MozcDictionary;
  importer.IsSkipTableCheck = true;
  importer.DatabaseName = table.DatabaseName();
  // The words are added to the table, in one transaction.
  if (!RunExchange(ui.owner, ExchangeKind::Import, QFileInfo(path).size(), [&](const TextCount& count) {
        importer.OnCount = count;
        importer.TextImport(FsPath(path), table.TableName(), false, false);
      }))
    return false;
  try {
    table.Refresh();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
  MsgBox(kCaption, name + J(" を読み込みました。\r\n\r\n新しく登録した単語: ") + Count(importer.RowsPosted()) +
                       J(" 語\r\nすでにあった単語: ") + Count(importer.Duplicates()) + J(" 語"));
  return importer.RowsPosted() > 0;
}

}  // namespace wendul
