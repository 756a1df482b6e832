#include "settings/fmsetup.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "settings/setuplinks.h"
#include "util/strutil.h"

namespace wendul {

TfmSetup* fmSetup = nullptr;

namespace {

struct KeyListDef {
  const char* name;
  const char* label;  // UTF-8
};

// The lists of the shortcut page, then the administrator's, in component order.
constexpr KeyListDef kKeyLists[] = {
    {"cmbxSeekWord", "類似単語抽出"},
    {"cmbxSetFocusLog", "文章入力ウィンドウにジャンプ"},
    {"cmbxSetFocusWordCode", "類似単語ウィンドウにジャンプ"},
    {"cmbxSetFocusWordDate", "最新単語ウィンドウにジャンプ"},
    {"cmbxSplitKeyword_SelectString", "選択した文章から単語を切り出す"},
    {"cmbxSplitKeyword_PrevString", "直前の文章から単語を切り出す"},
    {"cmbxChgKeywordSort", "最新単語ウィンドウの並び順の切り替え"},
    {"cmbxExecute", "URL実行"},
    {"cmbxAppClose", "Wendulの終了"},
    {"cmbxSetFocusDate", "Date"},
    {"cmbxPrevDay", "PrevDay"},
    {"cmbxNextDay", "NextDay"},
    {"cmbxOpenMail", "Mail"},
    {"cmbxSearchWord", "文字検索"},
    {"cmbxGrep", "GREP"},
};
constexpr int kShortcutPageLists = 9;

}  // namespace

TfmSetup::TfmSetup(QWidget* parent) : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("fmSetup");
  setWindowTitle(QString::fromUtf8("オプション設定"));
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("PageControl1");

  auto* shortcutPage = new QWidget;
  shortcutPage->setObjectName("tsShortCut");
  auto* shortcutBox = new QGroupBox(QString::fromUtf8("ショートカットキー設定"), shortcutPage);
  auto* grid = new QVBoxLayout(shortcutBox);
  auto* adminBox = new QWidget(this);
  adminBox->setObjectName("pnAdmin");
  auto* adminGrid = new QVBoxLayout(adminBox);
  int i = 0;
  for (const KeyListDef& def : kKeyLists) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QString::fromUtf8(def.label));
    label->setMinimumWidth(260);
    row->addWidget(label);
    row->addWidget(AddKeyList(def.name));
    (i++ < kShortcutPageLists ? grid : adminGrid)->addLayout(row);
  }
  (new QVBoxLayout(shortcutPage))->addWidget(shortcutBox);
  adminBox->hide();  // the administrator's strip

  auto* imePage = new QWidget;
  imePage->setObjectName("tsIME");
  cbxIsIMEOn = new QCheckBox(QString::fromUtf8("Wendul起動時にIMEを&ONにする"), imePage);
  cbxIsIMEOn->setObjectName("cbxIsIMEOn");
  cbxIsIMEOn->setChecked(true);
  (new QVBoxLayout(imePage))->addWidget(cbxIsIMEOn);

  auto* publicPage = new QWidget;
  publicPage->setObjectName("tsPublic");
  cbxIsShowShortCutKeyHelp =
      new QCheckBox(QString::fromUtf8("入力ウィンドウでショートカットキーのヘルプを表示をする"), publicPage);
  cbxIsShowShortCutKeyHelp->setObjectName("cbxIsShowShortCutKeyHelp");
  cbxIsShowShortCutKeyHelp->setChecked(true);
  (new QVBoxLayout(publicPage))->addWidget(cbxIsShowShortCutKeyHelp);

  tabs->addTab(shortcutPage, QString::fromUtf8("ショートカットキー"));
  tabs->addTab(imePage, QString::fromUtf8("日本語かな漢字変換（IME）"));
  tabs->addTab(publicPage, QString::fromUtf8("全般"));

  auto* btClose = new QPushButton(QString::fromUtf8("閉じる"), this);
  btClose->setObjectName("btClose");
  connect(btClose, &QPushButton::clicked, this, [this] {
    ApplyMenuShortcuts();
    BuildKeyHelp();
    hide();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(btClose, 0, Qt::AlignRight);
  resize(493, 485);
  BuildKeyHelp();
}

QComboBox* TfmSetup::AddKeyList(const char* name) {
  auto* list = new QComboBox(this);
  list->setObjectName(name);
  // FillKeyList: no key, then F01 .. F12.
  list->addItem(QString::fromUtf8("（なし）"));
  for (int k = 1; k <= 12; ++k) list->addItem(QString("F%1").arg(k, 2, 10, QChar('0')));
  list->setCurrentIndex(0);
  keyLists.push_back(list);
  return list;
}

QComboBox* TfmSetup::FindKeyList(const QString& name) const {
  for (QComboBox* list : keyLists)
    if (list->objectName() == name) return list;
  return nullptr;
}

void TfmSetup::BuildKeyHelp() {
  // The radio groups that choose key actions come with the full dialog; until
  // then the help shows the default choices.
  KeyHelpText[0] = QString::fromUtf8(
      " SHIFTキーで類似単語を抽出します   CTRLキーで最新単語ウィンドウで検索します   "
      "TABキーで類似単語ウィンドウに行きます   ALTキーで最新単語ウィンドウに行きます ");
  KeyHelpText[1] = QString::fromUtf8("  ALTキー または CTRLキー または ESCキーで文章入力ウィンドウに戻ります ");
  KeyHelpText[2] = QString::fromUtf8(" SHIFTキー または TABキー または ESCキーで文章入力ウィンドウに戻ります ");
}

void TfmSetup::ApplyMenuShortcuts() {
  QObject* main = MainWindowObject();
  if (!main) return;
  for (QComboBox* list : keyLists) {
    const QString item = "mi" + list->objectName().mid(4);
    auto* action = main->findChild<QAction*>(item);
    if (!action) continue;
    if (list->currentIndex() == 0) {
      action->setShortcut(QKeySequence());
    } else {
      std::string key = FKeyName(list->currentText().toStdString());
      action->setShortcut(QKeySequence(QString::fromStdString(key)));
    }
  }
}

void TfmSetup::SendIMEColors() {
  if (auto hook = SendIMEColorsHook()) hook();
}

void TfmSetup::ShowSetup() {
  setWindowFlag(Qt::WindowStaysOnTopHint, AdminLevelForSetup() == 0);
  show();
  raise();
  activateWindow();
}

}  // namespace wendul
