#include "wordbook/exchangeui.h"

#include <QFileIconProvider>
#include <QMimeDatabase>

#include "controls/filedialogs.h"
#include "wordbook/exchangeprogress.h"
#include "wordbook/fmkdb_texts.h"

namespace wendul {

using namespace kdb;

namespace {

class NamesOnlyIconProvider final : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    if (info.isDir() || !info.isFile()) return QFileIconProvider::icon(info.isDir() ? Folder : File);
    const QIcon themed = QIcon::fromTheme(Mime(info).iconName());
    return themed.isNull() ? QFileIconProvider::icon(File) : themed;
  }
  QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QFileIconProvider::type(info);
    return Mime(info).comment();
  }

 private:
  QMimeType Mime(const QFileInfo& info) const { return mimes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension); }
  QMimeDatabase mimes_;
};

QAbstractFileIconProvider* NamesOnlyIcons() {
  // Kept for the life of the process: the dialogs' models may ask it while they die.
  static auto* provider = new NamesOnlyIconProvider;
  return provider;
}

}  // namespace

QFileDialog* MakeExchangeDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode,
                                const QString& filter, const QString& suffix) {
  auto* dialog = new QFileDialog(parent);
  dialog->setIconProvider(NamesOnlyIcons());
  dialog->setObjectName(name);
  dialog->setNameFilter(filter);
  dialog->setDefaultSuffix(suffix);
  dialog->setAcceptMode(mode);
  dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  ShowFilesTheJapaneseWay(dialog);
  return dialog;
}

bool RunExchange(QWidget* owner, ExchangeKind kind, int64_t total, const std::function<void(const TextCount&)>& work) {
  const bool import = kind == ExchangeKind::Import;
  try {
    TExchangeProgress progress(owner, QString::fromUtf8(import ? "読み込み中" : "書き出し中"),
                               QString::fromUtf8(import ? "行" : "件"), total);
    work([&](int64_t count, int64_t done) { return progress.Step(count, import ? done : count); });
    return true;
  } catch (const TextExchangeCancelled&) {
    // An export cancelled wrote nothing under the chosen name.
    if (import) MsgBox(kCaption, J("読み込みを中止しました。単語帳は読み込む前のままです。"));
  } catch (const std::exception& e) {
    if (!import) ErrMsgBox(e.what());
    else if (IsLockError(e)) ShowStoreError(e);
    else ErrMsgBox(e.what() + J("\r\n\r\n単語帳は読み込む前のままです。"));
  }
  return false;
}

}  // namespace wendul
