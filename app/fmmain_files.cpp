// The main window's document files: new, open, save, save as, the save
// question, files dropped on the window, the start-up document, the status
// line and the recovery record of unsaved text.
#include <QApplication>
#include <QComboBox>
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
#include <sys/stat.h>

#include "app/doctexts.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/filedialogs.h"
#include "controls/memohelpers.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/companion.h"
#include "util/datetime.h"
#include "util/docfile.h"
#include "util/doctext.h"
#include "util/messages.h"
#include "util/paths.h"
#include "util/recovery.h"
#include "util/strutil.h"

namespace wendul {

namespace {

const char kCaption[] = "Wendul";

std::string FsName(const QString& name) { return QFile::encodeName(name).toStdString(); }

// A dropped file's name as bytes: the address keeps them percent-encoded,
// while QUrl::toLocalFile would turn a name that is not UTF-8 into U+FFFD.
std::string DroppedPath(const QUrl& url) {
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

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
  SetCurFileName(SjisToUtf8(DefaultDocName()));
  diskStamp_.clear();
  DocText empty;
  empty.codec = NewDocCodec();
  mmDoc->LoadDocument(empty);
  UpdateDocFormat();
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

void TfmMain::OpenDocFile(const QString& name) { OpenDocPath(FsName(name)); }

void TfmMain::OpenDocPath(const std::string& path) { LoadDocFile(path, nullptr); }

void TfmMain::LoadDocFile(const std::string& path, const DocEncoding* wanted) {
  DocRead r;
  {
    WaitCursor wait;
    r = ReadDocFile(path);
  }
  if (r.result == DocReadResult::Missing) {
    NewDocument();
    MsgBox("", MissingFileText(DisplayName(path)));
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
    DocText doc = wanted ? DecodeDocument(r.bytes, CodecForReopen(r.bytes, *wanted)) : DecodeDocument(r.bytes);
    std::string().swap(r.bytes);
    SetCurFileName(path);
    mmDoc->LoadDocument(doc);
    note = DocKindNote(doc);
  }
  UpdateDocFormat();
  RemoveStaleTemps(FolderOfPath(path));
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
  const std::string path = DocPath();
  if (!MayOverwrite(path, DisplayName(path))) return false;
  return WriteDocFile(path, mmDoc->Codec());
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
  QComboBox* encodings = SaveEncodingList(dlg);
  const QString name = RunFileDialog(dlg);
  if (name.isEmpty()) return false;
  // The name as shown stands for the document's own file, whose bytes need not be UTF-8.
  const bool same =
      !docPathShown_.isEmpty() && QFileInfo(name).absoluteFilePath() == QFileInfo(docPathShown_).absoluteFilePath();
  const std::string path = same ? DocPath() : FsName(name);
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && AskNotYes(kCaption, ReplaceQuestion(DisplayName(path)))) return false;
  // The name changes only once the file is written: a failed save leaves
  // the document where it was.
  if (!WriteDocFile(path, CodecChoiceAt(encodings->currentIndex()))) return false;
  SetCurFileName(path);
  named_ = true;
  return true;
}

bool TfmMain::WriteDocFile(const std::string& path, DocCodec codec) {
  DocWriter w(mmDoc->UsualLineEnd(), codec);
  {
    WaitCursor wait;
    mmDoc->WriteDocument(w);
  }
  if (w.HasLoss() && AskNotYes(kCaption, LossQuestion(w.LossLine(), w.LossColumn(), w.LossChar(), w.LossCount(),
                                                      codec.encoding)))
    return false;
  SjisString why;
  bool ok;
  {
    WaitCursor wait;
    ok = SaveDocFile(path, w.Bytes(), &why);
  }
  if (!ok) {
    ErrMsgBox(why);
    return false;
  }
  mmDoc->SetCodec(codec);
  UpdateDocFormat();
  diskStamp_ = DiskStamp(path);
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
    ShowFilesTheJapaneseWay(dlg);
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
  const QFileInfo current(QFile::decodeName(QByteArray::fromStdString(DocPath())));
  dlg->setDirectory(named_ && current.dir().exists() ? current.absolutePath() : QDir::currentPath());
  return dlg;
}

void TfmMain::SetCurFileName(const std::string& path) {
  docPath_ = path;
  docPathShown_ = QString::fromStdString(DisplayNameUtf8(path));
  edCurFileName->setText(docPathShown_);
  SetCaption(docPathShown_);
}

std::string TfmMain::DocPath() const {
  const QString shown = edCurFileName->text();
  return shown == docPathShown_ ? docPath_ : FsName(shown);
}

// ---------------------------------------------------------------------------
// Drops, the start-up document and the recovery record

bool TfmMain::DropFiles(QEvent* e) {
  auto* drop = static_cast<QDropEvent*>(e);
  const QMimeData* data = drop->mimeData();
  if (!data || !data->hasUrls()) return false;
  std::string first;
  for (const QUrl& u : data->urls())
    if (u.isLocalFile()) {
      first = DroppedPath(u);
      break;
    }
  if (first.empty()) return false;
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
    if (ConfirmSaveDoc()) OpenDocPath(first);
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
  if (!file.empty()) OpenDocPath(file);
  else NewDocument();
}

bool TfmMain::OfferRecovery() {
  RecoveryRecord r;
  const std::string path = AskRecovery(false, &r);
  if (path.empty()) return false;
  SetCurFileName(r.fileName);
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
  // A save killed with the editor may have left its temporary file there.
  if (!r->untitled) RemoveStaleTemps(FolderOfPath(r->fileName));
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
  DocText doc;
  const QString text = QString::fromUtf8(r.textUtf8);
  doc.text.assign(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
  doc.lineEnd = r.lineEnd;
  doc.codec = r.codec;
  doc.lineCount = static_cast<size_t>(std::count(doc.text.begin(), doc.text.end(), u'\n')) + 1;
  // Lines the user had not edited come back with the bytes the file holds.
  if (!r.untitled) {
    DocRead file = ReadDocFile(r.fileName);
    if (file.result == DocReadResult::Ok) AdoptOrigins(doc, DecodeDocument(file.bytes, r.codec));
  }
  mmDoc->LoadDocument(doc);
  UpdateDocFormat();
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
    r.fileName = DocPath();
    r.untitled = !named_;
  }
  r.lineEnd = mmDoc->UsualLineEnd();
  r.codec = mmDoc->Codec();
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
