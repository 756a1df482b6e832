// The main window and the encodings of document files: the status line's
// encoding and line break, the File menu's reopen in a chosen encoding, the
// save dialog's choice of encoding and the encoding of new documents.
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>

#include "app/doctexts.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/murichedit.h"
#include "settings/fmsetup.h"
#include "util/docfile.h"
#include "util/messages.h"

namespace wendul {

void TfmMain::BuildEncodings(QMenu* file) {
  lbEncoding = new QLabel(StatusBarMain);
  lbEncoding->setObjectName("lbEncoding");
  lbEncoding->setToolTip(QString::fromUtf8("文書ファイルの文字コードと改行"));
  StatusBarMain->addPermanentWidget(lbEncoding);

  miReopen = file->addMenu(QString::fromUtf8("文字コードを指定して開き直す(&R)"));
  miReopen->setObjectName("miReopen");
  const struct {
    const char* name;
    const char* caption;
    DocEncoding encoding;
  } items[] = {{"miReopenSjis", "Shift-JIS(&S)", DocEncoding::ShiftJis},
               {"miReopenUtf8", "UTF-8(&U)", DocEncoding::Utf8},
               {"miReopenEucJp", "EUC-JP(&E)", DocEncoding::EucJp},
               {"miReopenUtf16", "UTF-16(&W)", DocEncoding::Utf16LE}};
  for (const auto& item : items) {
    QAction* a = miReopen->addAction(QString::fromUtf8(item.caption));
    a->setObjectName(item.name);
    const DocEncoding e = item.encoding;
    connect(a, &QAction::triggered, this, [this, e] { ReopenAs(e); });
  }
  // Only a document read from or written to a file can be read again.
  connect(file, &QMenu::aboutToShow, this, [this] { miReopen->setEnabled(!G().logMode && named_); });
}

void TfmMain::ReopenAs(DocEncoding encoding) {
  if (G().logMode || !named_) return;
  const std::string path = DocPath();
  if (DocChanged() && AskNotYes("Wendul", ReopenQuestion(DisplayName(path)))) return;
  LoadDocFile(path, &encoding);
}

QComboBox* TfmMain::SaveEncodingList(QFileDialog* dialog) {
  auto* list = dialog->findChild<QComboBox*>("cmbxEncoding");
  if (!list) {
    list = new QComboBox(dialog);
    list->setObjectName("cmbxEncoding");
    for (const DocCodec& c : CodecChoices()) list->addItem(QString::fromStdString(CodecChoiceCaption(c)));
    auto* label = new QLabel(QString::fromUtf8("文字コード(&E):"), dialog);
    label->setBuddy(list);
    // Qt's own dialog lays its rows out in a grid: one more row below them.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
      const int row = grid->rowCount();
      grid->addWidget(label, row, 0);
      grid->addWidget(list, row, 1);
    }
  }
  list->setCurrentIndex(CodecChoiceIndex(mmDoc->Codec()));
  return list;
}

void TfmMain::UpdateDocFormat() {
  if (lbEncoding)
    lbEncoding->setText(QString::fromStdString(DocFormatText(mmDoc->Codec(), mmDoc->UsualLineEnd())));
}

DocCodec TfmMain::NewDocCodec() const {
  return fmSetup && fmSetup->cmbxNewDocEncoding ? CodecChoiceAt(fmSetup->cmbxNewDocEncoding->currentIndex())
                                                : DocCodec{};
}

}  // namespace wendul
