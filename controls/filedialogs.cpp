#include "controls/filedialogs.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTreeView>
#include <algorithm>

namespace wendul {

namespace {

// The dialog's own model answers from the desktop's locale; its size and
// date columns are written anew here.
class JapaneseColumns : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const int column = index.column();
    if (role != Qt::DisplayRole || (column != 1 && column != 3)) return QIdentityProxyModel::data(index, role);
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files) return QIdentityProxyModel::data(index, role);
    const QFileInfo info = files->fileInfo(mapToSource(index));
    if (column == 1) return info.isDir() ? QString() : FileSizeText(info.size());
    return QLocale().toString(info.lastModified(), QStringLiteral("yyyy/MM/dd HH:mm"));
  }
};

}  // namespace

QString FileSizeText(long long bytes) {
  if (bytes < 1024) return QString::number(bytes) + QString::fromUtf8(" バイト");
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double v = static_cast<double>(bytes) / 1024;
  int unit = 0;
  for (; v >= 1024 && unit < 3; ++unit) v /= 1024;
  return QLocale().toString(v, 'f', 1) + " " + kUnits[unit];
}

void ShowFilesTheJapaneseWay(QFileDialog* dialog) {
  dialog->setProxyModel(new JapaneseColumns(dialog));
  if (dialog->width() < 760 || dialog->height() < 460)
    dialog->resize(std::max(dialog->width(), 760), std::max(dialog->height(), 460));
  // Wide enough for "1,024.0 KB", "平文テキストドキュメント" and a date with its
  // time; the name takes the rest.
  if (auto* details = dialog->findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const int widths[] = {0, 90, 170, 130};
    for (int column = 1; column < 4 && column < header->count(); ++column) header->resizeSection(column, widths[column]);
  }
}

}  // namespace wendul
