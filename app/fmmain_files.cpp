// The main window's document files: new, open, save, save as, the save
// question, files dropped on the window, the start-up document, the status
// line and the recovery record of unsaved text.
#include <QApplication>
#include <algorithm>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QTextBlock>
#include <QUrl>

#include "app/doctexts.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/memohelpers.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/companion.h"
#include "util/datetime.h"
#include "util/docfile.h"
#include "util/messages.h"
#include "util/recovery.h"
#include "util/sjisdoc.h"
#include "util/strutil.h"

namespace wendul {

namespace {

const char kCaption[] = "Wendul";

std::string FsName(const QString& name) { return QFile::encodeName(name).toStdString(); }

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void TfmMain::BuildDocuments() {
  // The status line follows the caret and the length; it is built before
  // the learning hears of a change, so that a message the learning shows
  // stays until the caret moves on.
  connect(mmDoc, &TmuRichEdit::Change, this, &TfmMain::UpdateStatusPosition);
  connect(mmDoc, &QPlainTextEdit::cursorPositionChanged, this, &TfmMain::UpdateStatusPosition);
  connect(mmDoc, &QPlainTextEdit::selectionChanged, this, &TfmMain::UpdateStatusPosition);
  // A menu's status tip clears the line; the position comes back at once.
  connect(StatusBarMain, &QStatusBar::messageChanged, this, [this](const QString& m) {
    if (m.isEmpty() && !StatusPosition.isEmpty()) StatusBarMain->showMessage(StatusPosition);
  });

  TimerRecovery = new QTimer(this);
  TimerRecovery->setObjectName("TimerRecovery");
  TimerRecovery->setSingleShot(true);
  TimerRecovery->setInterval(2000);
  connect(TimerRecovery, &QTimer::timeout, this, &TfmMain::TimerRecoveryTimer);
  // Every change counts, a word inserted from a pane included.
  connect(mmDoc, &TmuRichEdit::Change, this, [this] {
    if (recovery_) TimerRecovery->start();
  });

  mmDoc->viewport()->installEventFilter(this);
  RunFileDialog = [](QFileDialog* d) {
    return d->exec() == QDialog::Accepted ? d->selectedFiles().value(0) : QString();
  };
  RunDialog = [](QDialog* d) { return d->exec() == QDialog::Accepted; };
  Untitled = named_ = false;
  UpdateStatusPosition();
}

// ---------------------------------------------------------------------------
// The save question and the commands

bool TfmMain::DocChanged() const { return Modified || mmDoc->document()->isModified(); }

bool TfmMain::ConfirmSaveDoc() {
  if (!DocChanged()) return true;
  bool blank = true;
  for (QTextBlock b = mmDoc->document()->begin(); blank && b.isValid(); b = b.next()) {
    const QString t = b.text();
    blank = IsBlankText(std::u16string_view(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size())));
  }
  if (blank) return true;
  switch (AskYesNoCancel(kCaption, SaveQuestion(FromQ(edCurFileName->text())))) {
    case MsgAnswer::Cancel: return false;
    case MsgAnswer::Yes:
      // A save that did not happen (cancelled, or the disk refused it) keeps
      // the document: whoever asked stops.
      if (Untitled) return SaveDocAs();
      return SaveDocument();
    default: return true;
  }
}

void TfmMain::StartNewDocument() {
  Untitled = true;
  named_ = false;
  Modified = false;
  SetCurFileName(ToQ(DefaultDocName()));
  diskStamp_.clear();
  mmDoc->LoadDocument(DecodeSjisDocument(""));
  Modified = false;
  if (recovery_) recovery_->Remove();
}

void TfmMain::NewDocument() {
  if (G().logMode || !ConfirmSaveDoc()) return;
  StartNewDocument();
}

void TfmMain::OpenDocument() {
  if (G().logMode) return;
  const QString name = RunFileDialog(FileDialog(false));
  if (!name.isEmpty() && ConfirmSaveDoc()) OpenDocFile(name);
}

void TfmMain::OpenDocFile(const QString& name) {
  const std::string path = FsName(name);
  DocRead r;
  {
    WaitCursor wait;
    r = ReadDocFile(path);
  }
  if (r.result == DocReadResult::Missing) {
    NewDocument();
    MsgBox("", MissingFileText(FromQ(name)));
    return;
  }
  if (r.result != DocReadResult::Ok) {
    // The document stays as it was; at start-up that is a new one.
    if (edCurFileName->text().isEmpty()) StartNewDocument();
    ErrMsgBox(DocReadMessage(path, r));
    return;
  }
  SjisString note;
  {
    WaitCursor wait;
    SjisDocument doc = DecodeSjisDocument(r.bytes);
    std::string().swap(r.bytes);
    SetCurFileName(name);
    mmDoc->LoadDocument(doc);
    note = DocKindNote(doc);
  }
  diskStamp_ = DiskStamp(path);
  Modified = false;
  Untitled = false;
  named_ = true;
  if (recovery_) recovery_->Remove();
  if (!note.empty()) ShowStatus(note);
}

bool TfmMain::SaveDocument() {
  if (G().logMode) return false;
  // A document that never had a file of the user's choosing asks for one:
  // written under the bare default name it would land in whatever folder is
  // current and overwrite the last new document saved there.
  if (!named_) return SaveDocAs();
  const QString name = edCurFileName->text();
  if (!MayOverwrite(FsName(name), FromQ(name))) return false;
  return WriteDocFile(name);
}

bool TfmMain::MayOverwrite(const std::string& path, const SjisString& shownName) {
  // Another editor may have saved the same file meanwhile: its text would go unasked.
  const std::string now = DiskStamp(path);
  return diskStamp_.empty() || now.empty() || now == diskStamp_ ||
         !AskNotYes(kCaption, ChangedOnDiskQuestion(shownName));
}

bool TfmMain::SaveDocAs() {
  QFileDialog* dlg = FileDialog(true);
  dlg->selectFile(edCurFileName->text());
  const QString name = RunFileDialog(dlg);
  if (name.isEmpty()) return false;
  if (QFile::exists(name) && AskNotYes(kCaption, ReplaceQuestion(FromQ(name)))) return false;
  // The name changes only once the file is written: a failed save leaves
  // the document where it was.
  if (!WriteDocFile(name)) return false;
  SetCurFileName(name);
  named_ = true;
  return true;
}

bool TfmMain::WriteDocFile(const QString& name) {
  SjisDocWriter w(mmDoc->UsualLineEnd());
  {
    WaitCursor wait;
    mmDoc->WriteDocument(w);
  }
  if (w.HasLoss() && AskNotYes(kCaption, LossQuestion(w.LossLine(), w.LossColumn(), w.LossChar(), w.LossCount())))
    return false;
  SjisString why;
  bool ok;
  {
    WaitCursor wait;
    ok = SaveDocFile(FsName(name), w.Bytes(), &why);
  }
  if (!ok) {
    ErrMsgBox(why);
    return false;
  }
  diskStamp_ = DiskStamp(FsName(name));
  Modified = false;
  mmDoc->document()->setModified(false);
  if (recovery_) recovery_->Remove();
  TimerRecovery->stop();
  return true;
}

QFileDialog* TfmMain::FileDialog(bool save) {
  QFileDialog*& dlg = save ? odaSaveFile : odaOpenFile;
  if (!dlg) {
    dlg = new QFileDialog(this);
    dlg->setObjectName(save ? "odaSaveFile" : "odaOpenFile");
    // Qt's own dialog: its filter is the same on every desktop.
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setOption(QFileDialog::HideNameFilterDetails);
    dlg->setNameFilter(QString::fromUtf8(DocDialogFilter()));
    if (save) {
      dlg->setAcceptMode(QFileDialog::AcceptSave);
      dlg->setFileMode(QFileDialog::AnyFile);
      dlg->setOption(QFileDialog::DontConfirmOverwrite);  // the window asks itself
    } else {
      dlg->setAcceptMode(QFileDialog::AcceptOpen);
      dlg->setFileMode(QFileDialog::ExistingFile);
      dlg->setDefaultSuffix("TXT");
    }
  }
  // The document's folder, or the current one: never where some earlier
  // dialog of another program was left.
  const QFileInfo current(edCurFileName->text());
  dlg->setDirectory(named_ && current.dir().exists() ? current.absolutePath() : QDir::currentPath());
  return dlg;
}

void TfmMain::SetCurFileName(const QString& name) {
  edCurFileName->setText(name);
  SetCaption(name);
}

// ---------------------------------------------------------------------------
// Drops, the start-up document and the recovery record

bool TfmMain::DropFiles(QEvent* e) {
  auto* drop = static_cast<QDropEvent*>(e);
  const QMimeData* data = drop->mimeData();
  if (!data || !data->hasUrls()) return false;
  QString first;
  for (const QUrl& u : data->urls())
    if (u.isLocalFile()) {
      first = u.toLocalFile();
      break;
    }
  if (first.isEmpty()) return false;
  if (G().logMode) {  // log mode takes no files, and no path is typed into the day either
    drop->ignore();
    return true;
  }
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  if (e->type() != QEvent::Drop) return true;
  // The name as dropped: Linux names are case-sensitive and may be long.
  // Opened once the drop is over, so the question does not hold the source's drag.
  QTimer::singleShot(0, this, [this, first] {
    if (ConfirmSaveDoc()) OpenDocFile(first);
  });
  return true;
}

void TfmMain::dragEnterEvent(QDragEnterEvent* e) {
  if (!DropFiles(e)) TmuForm::dragEnterEvent(e);
}

void TfmMain::dragMoveEvent(QDragMoveEvent* e) {
  if (!DropFiles(e)) TmuForm::dragMoveEvent(e);
}

void TfmMain::dropEvent(QDropEvent* e) {
  if (!DropFiles(e)) TmuForm::dropEvent(e);
}

void TfmMain::StartupDocument() {
  setAcceptDrops(true);
  recovery_ = std::make_unique<RecoveryStore>();
  if (OfferRecovery()) return;
  const std::string file = Trim(MuAVFile(1));
  if (!file.empty()) OpenDocFile(QFile::decodeName(QByteArray::fromStdString(file)));
  else NewDocument();
}

bool TfmMain::OfferRecovery() {
  RecoveryRecord r;
  const std::string path = AskRecovery(false, &r);
  if (path.empty()) return false;
  SetCurFileName(QFile::decodeName(QByteArray::fromStdString(r.fileName)));
  diskStamp_.clear();  // what the file was when the text was read is not known
  Untitled = r.untitled;
  named_ = !r.untitled;
  RestoreRecord(r, path);
  return true;
}

std::string TfmMain::AskRecovery(bool diary, RecoveryRecord* r) {
  if (!recovery_) return {};
  std::vector<std::string> orphans = recovery_->TakeOrphans(diary);
  if (orphans.empty()) return {};
  // The newest one; older ones are offered at later starts.
  const std::string path = orphans.back();
  if (!RecoveryStore::Read(path, r)) return {};
  const MsgAnswer a =
      AskYesNoCancel(kCaption, diary ? DayRecoveryQuestion(DateStr(static_cast<TDateTime>(r->diaryDay)))
                                     : RecoveryQuestion());
  activateWindow();  // the question came before the window had ever been active
  if (a == MsgAnswer::Cancel) return {};  // kept for the next start
  if (a == MsgAnswer::No) {
    recovery_->Discard(path);
    return {};
  }
  return path;
}

void TfmMain::RestoreRecord(const RecoveryRecord& r, const std::string& path) {
  SjisDocument doc;
  const QString text = QString::fromUtf8(r.textUtf8);
  doc.text.assign(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
  doc.lineEnd = r.lineEnd;
  doc.lineCount = static_cast<size_t>(std::count(doc.text.begin(), doc.text.end(), u'\n')) + 1;
  // Lines the user had not edited come back with the bytes the file holds.
  if (!r.untitled) {
    DocRead file = ReadDocFile(r.fileName);
    if (file.result == DocReadResult::Ok) AdoptOrigins(doc, DecodeSjisDocument(file.bytes));
  }
  mmDoc->LoadDocument(doc);
  Modified = true;
  mmDoc->document()->setModified(true);
  TimerRecoveryTimer();  // kept again, now as this editor's own, before the old record goes
  recovery_->Discard(path);
  ShowStatus(RecoveredNote());
}

void TfmMain::TimerRecoveryTimer() {
  TimerRecovery->stop();
  if (!recovery_) return;
  if (!DocChanged()) {
    recovery_->Remove();
    return;
  }
  RecoveryRecord r;
  if (G().logMode) {
    // The day shown, by its file; nothing typed belongs to no day.
    if (!DayLoaded()) return;
    r.diaryDay = static_cast<int64_t>(ShownDay());
    r.fileName = DayFilePath(ShownDay());
  } else {
    r.fileName = FsName(edCurFileName->text());
    r.untitled = !named_;
  }
  r.lineEnd = mmDoc->UsualLineEnd();
  r.textUtf8 = mmDoc->PlainLines().toStdString();
  static bool told = false;
  if (!recovery_->Save(r) && !told) {
    told = true;  // once a run: the status line is no place for a nag
    ShowStatus(RecoveryWriteFailedNote());
  }
}

// ---------------------------------------------------------------------------
// The status line

void TfmMain::UpdateStatusPosition() {
  const int64_t caret = mmDoc->SelStart();
  const int line = mmDoc->LineFromChar(-1);
  const QString text = ToQ(PositionText(line + 1, caret - mmDoc->LineIndex(line) + 1, caret, mmDoc->TextLength()));
  // Unmoved: a message shown behind the position stays.
  if (text == StatusPosition && !StatusBarMain->currentMessage().isEmpty()) return;
  StatusPosition = text;
  StatusBarMain->showMessage(StatusPosition);
}

void TfmMain::CnExecute(QObject*) {
  const SjisString address = URLAtCaret(*mmDoc);
  if (Trim(address).empty()) return;
  ShowStatus(address + Utf8ToSjis(" を開きます"));
  OpenURLAtCaret(*mmDoc, "", true);
}

}  // namespace wendul
