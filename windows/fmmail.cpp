#include "windows/fmmail.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "controls/datasource.h"
#include "controls/funcbtn.h"
#include "controls/jfont.h"
#include "controls/mudbedits.h"
#include "controls/mudbgrid.h"
#include "controls/qsjis.h"
#include "store/mt.h"

namespace wendul {

namespace {
int g_openCount = 0;
}  // namespace

int TfmMail::OpenCount() { return g_openCount; }

TfmMail::TfmMail(MT& table, TDataSource* source, QWidget* parent)
    : QWidget(parent, Qt::Window), table_(table) {
  ++g_openCount;
  setObjectName("fmMail");
  setWindowTitle("fmMail");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(710, 680);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  // Twelve keys, never shown: F4 and F5 act with or without a modifier.
  FBtn = new TFuncBtn(this);
  FBtn->setObjectName("FBtn");
  FBtn->NBtn = 12;
  FBtn->IsShift = true;
  FBtn->RunLoaded();
  FBtn->hide();

  auto* split = new QSplitter(Qt::Vertical, this);
  split->setChildrenCollapsible(false);
  mgMailList = new TmuDBGrid(split);
  mgMailList->setObjectName("mgMailList");
  mgMailList->setFont(JapaneseFont(false, 12));
  mgMailList->setAttribute(Qt::WA_InputMethodEnabled, false);
  mgMailList->SetTitlesVisible(true);
  edMailDoc = new TmuDBMemo(split);
  edMailDoc->setObjectName("edMailDoc");
  edMailDoc->setReadOnly(true);
  edMailDoc->setFont(JapaneseFont(false, 15));
  edMailDoc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The caret can be placed on an address and the text selected and copied.
  edMailDoc->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  split->addWidget(mgMailList);
  split->addWidget(edMailDoc);
  split->setSizes({329, 317});
  layout->addWidget(split, 1);

  FBtn->SetButton(4, "end", QString::fromUtf8("メールビューアを閉じます"), [this](QObject*) { close(); });
  FBtn->SetButton(5, "JUMP", QString::fromUtf8("カーソルの行のアドレスを開きます"), [this](QObject*) {
    if (OpenURLAtCaret) OpenURLAtCaret(edMailDoc);
  });
  for (int n : {1, 2, 3, 6, 7, 8, 9, 10, 11, 12}) FBtn->SetButton(n, QString(), QString());

  // Every key of the viewer goes to the function-key bar first. The filters
  // sit on the viewer's own controls: an application-wide one, installed
  // while the key that opened the viewer is still being delivered, would
  // make the application hand that key to the opener once more.
  for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(mgMailList), static_cast<QWidget*>(edMailDoc)})
    w->installEventFilter(this);

  // Another viewer may have the table open already: they share it. A
  // failure is logged and shown by Op; the viewer stays open and empty.
  if (!table_.Active()) table_.Op();
  BuildColumns();
  mgMailList->SetDataSource(source);
  edMailDoc->Bind(edMailDoc, source, "DOC");
}

TfmMail::~TfmMail() {
  if (!closed_) --g_openCount;
}

void TfmMail::BuildColumns() {
  // All fields of the table, the memo's as well.
  std::vector<TmuDBGrid::Column> columns;
  for (const FieldInfo& f : table_.Fields()) {
    const int width = f.type == 'A' ? std::clamp(f.size * 7, 60, 240) : f.type == '@' ? 150 : f.type == 'M' ? 240 : 80;
    columns.push_back({f.name, ToQ(f.name), width, false});
  }
  mgMailList->SetColumns(columns);
}

bool TfmMail::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (FBtn->DispatchFunctionKey(k->key(), k->modifiers())) return true;
  }
  return QWidget::eventFilter(watched, e);
}

void TfmMail::closeEvent(QCloseEvent* e) {
  if (!closed_) {
    closed_ = true;
    // The last viewer closes the table; the others still show it.
    if (--g_openCount == 0) table_.Cl(false);
  }
  e->accept();
}

}  // namespace wendul
