#include "app/fmgrep.h"

namespace wendul {

TfmGrep* fmGrep = nullptr;

TfmGrep::TfmGrep(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("fmGrep");
  setWindowTitle(QString::fromUtf8("グローバル検索"));
}

}  // namespace wendul
