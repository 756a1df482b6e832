// Learning while typing, and its pause: chosen by the user ("単語を学習しない"),
// or forced by a word table that cannot be written. A failing table must
// never cost the user a keystroke: the user is told once, in a box that does
// not take the keyboard, learning pauses, and it resumes by itself once a
// write succeeds again (tried every second, typing or not, by a probe that
// waits for nothing longer than a frame).
#include <sqlite3.h>

#include <QApplication>
#include <QMessageBox>
#include <QStatusBar>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/mt.h"
#include "store/mt_safe.h"
#include "store/sepkeyword.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "util/netfs.h"

namespace wendul {

namespace {

// Folder and file names are file-system text (UTF-8); a value read from the
// settings file may still be in the system code page.
QString Utf8OrSjis(const std::string& path) {
  const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
  const QString utf8 = QString::fromUtf8(bytes);
  return utf8.contains(QChar::ReplacementCharacter) ? ToQ(path) : utf8;
}

// The engine's messages are English and short; the user reads why in Japanese.
QString Reason(int category, const std::string& message) {
  const char* why;
  switch (category) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: why = "ほかのプログラムが単語表を使っています（ロック中）。"; break;
    case SQLITE_READONLY:
    case SQLITE_PERM: why = "単語表が読み取り専用で、書き込めません。"; break;
    case SQLITE_FULL: why = "ディスクに空きがありません。"; break;
    case SQLITE_CORRUPT: why = "単語表が傷んでいます。単語帳の「再インデックス」(F5) で、読める単語から作り直せます。"; break;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_MISUSE: why = "単語表を開けません。"; break;
    default: why = "単語表への書き込みに失敗しました。"; break;
  }
  return QString::fromUtf8(why) + "\n(" + Utf8OrSjis(message) + ")";
}

QString FolderOf(const MT& t) {
  const std::string path = t.FilePath();
  const size_t slash = path.find_last_of('/');
  return Utf8OrSjis(slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
}

}  // namespace

bool TfmMain::Learning() const { return !LearningFailed && !(miNoLearning && miNoLearning->isChecked()); }

SjisString TfmMain::LearnAtCaret() {
  SepKeywordFailures failures;
  SjisString remainder;
  try {
    // Paused: the word being typed is still cut out for the similar-word
    // pane, but the table is not touched.
    remainder = SepKeywordAtCaret(D->tbMuKwd, *mmDoc, false, !Learning(), &failures);
  } catch (const std::exception& e) {
    D->tbMuKwd.LogFailure(e, "TfmMain.mmDocChange");
    failures.Add(e, e.what());
  }
  if (failures.Any()) LearningFailure(failures, false);
  return remainder;
}

void TfmMain::LearningFailure(const SepKeywordFailures& failures, bool command) {
  const bool told = LearningFailed;
  LearningFailed = true;
  if (!failures.word.empty()) probeWord_ = failures.word;
  ApplyLearningState();
  if (told && !command) return;  // once per episode: the caption says the rest
  const QString head = command ? QString::fromUtf8("単語を登録できませんでした。")
                               : QString::fromUtf8("単語表に書き込めないため、単語の学習を一時停止しました。");
  ShowLearningNotice(head + "\n" +
                     QString::fromUtf8("文章の入力はこのまま続けられます。書き込めるようになれば、"
                                       "数秒のうちに学習を再開します。\n\n") +
                     QString::fromUtf8("単語表: ") + Utf8OrSjis(D->tbMuKwd.FilePath()) + "\n" +
                     QString::fromUtf8("理由: ") + Reason(failures.category, failures.message));
}

void TfmMain::WordTableUnopened() {
  LearningFailed = true;
  ApplyLearningState();
  ShowLearningNotice(QString::fromUtf8("単語表を開けないため、単語の学習をせずに起動しました。\n") +
                     QString::fromUtf8("文章の入力と保存はふつうにできます。フォルダーが使えるようになれば、"
                                       "数秒のうちに学習を始めます。\n\n") +
                     QString::fromUtf8("フォルダー: ") + FolderOf(D->tbMuKwd) + "\n" +
                     QString::fromUtf8("理由: ") + Reason(D->WordTableCategory, D->WordTableError));
}

void TfmMain::StartupNotices() {
  if (!G().settingsProblem.empty()) {
    ErrMsgBox(G().settingsProblem + "\r\n" +
              FromQ(QString::fromUtf8("既定の設定で起動します。この設定ファイルは読み込まず、変更もしません。")));
  }
  if (!D) return;
  const std::string network = NetworkFileSystem(D->KwdFolder());
  if (network.empty()) return;
  // SQLite's locks are not to be trusted over a network: two computers
  // writing at once can corrupt the file.
  ErrMsgBox(FromQ(QString::fromUtf8("単語表のフォルダーはネットワーク上のファイルシステム（") +
                  QString::fromStdString(network) + QString::fromUtf8("）にあります。\r\n") +
                  QString::fromUtf8("フォルダー: ") + FolderOf(D->tbMuKwd) + "\r\n" +
                  QString::fromUtf8("単語表をネットワーク越しに共有すると、ロックが正しく働かずに単語表が壊れることがあります。"
                                    "ほかのコンピューターから同時に使わないでください。ローカルのフォルダーに置くことをお勧めします。")));
}

void TfmMain::ShowLearningNotice(const QString& text) {
  Beep();
  auto* box = qobject_cast<QMessageBox*>(learningNotice_.data());
  if (!box) {
    // Not modal and not activated: the keys typed while it is up still reach
    // the document. Its parent keeps it over the main window.
    box = new QMessageBox(QMessageBox::Warning, "Wendul", text, QMessageBox::Ok, this);
    box->setObjectName("LearningNotice");
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    learningNotice_ = box;
  } else {
    box->setText(text);
  }
  QWidget* typingIn = QApplication::focusWidget();
  box->show();
  // A window system that activates new windows anyway is overruled: the user
  // goes on typing where he was.
  if (typingIn && typingIn->window() == this) {
    activateWindow();
    typingIn->setFocus(Qt::OtherFocusReason);
  }
}

void TfmMain::LearningRecovered() {
  if (!LearningFailed) return;
  LearningFailed = false;
  probeWord_.clear();
  ApplyLearningState();
  // What the box said is over.
  if (QWidget* box = learningNotice_.data()) {
    learningNotice_ = nullptr;  // closing releases it; the next episode gets its own
    box->close();
  }
}

void TfmMain::RetryLearning() {
  if (D->WordTableHeld) return;  // the word book is putting a new file in place
  MT& t = D->tbMuKwd;
  // A write where the word that failed would go (taken back at once) tells
  // whether learning works now; a word of control characters stands in when
  // none failed. A failure is logged, except a read-only one that a new open
  // may cure.
  auto probe = [this, &t](bool reopened) {
    try {
      const TDateTime now = Now();
      t.ProbeWrite({FieldValue::Of(probeWord_.empty() ? SjisString("\x01\x01") : probeWord_), FieldValue::OfDate(now),
                    FieldValue::OfDate(now)});
      return 0;
    } catch (const std::exception& e) {
      const auto* db = dynamic_cast<const EDBEngineError*>(&e);
      const int category = db && !db->errors.empty() ? db->errors[0].category : SQLITE_ERROR;
      if (reopened || category != SQLITE_READONLY) t.LogFailure(e, "MT.ProbeWrite");
      return category;
    }
  };
  if (t.Active() && D->tbMuKwd2.Active()) {
    const int failed = probe(false);
    if (failed == 0) {
      LearningRecovered();
      return;
    }
    if (failed != SQLITE_READONLY) return;
    // The engine keeps a file it found read-only so for the connection's
    // life: only a new open sees that it was made writable, and only a file
    // and folder that can be written now are worth one (the panes start
    // again from the top).
    if (!TableFileWritable(t)) return;
    t.Close();
    D->tbMuKwd2.Close();
    if (D->WordTableReadOnly) {
      t.ReadOnly = D->tbMuKwd2.ReadOnly = false;
      D->WordTableReadOnly = false;
    }
  }
  // Typing goes on meanwhile: a file held elsewhere fails the open at once.
  const bool opened = D->OpenWordTables(true);
  SimilarFilter("");  // the panes show whatever is open now
  if (opened && probe(true) == 0) LearningRecovered();
}

void TfmMain::TimerIdleTimer() {
  if (!D) return;
  // A user's pause touches nothing, not even to find out whether the table works.
  if (LearningFailed && !(miNoLearning && miNoLearning->isChecked())) RetryLearning();
  D->tbMuKwd.CheckpointSoon();  // on the word table's own thread
}

void TfmMain::TimerLearnRetryTimer() {
  if (!D || !LearningFailed) {
    TimerLearnRetry->stop();
    return;
  }
  if (!(miNoLearning && miNoLearning->isChecked())) RetryLearning();
}

void TfmMain::miNoLearningClick() { ApplyLearningState(); }

void TfmMain::ApplyLearningState() {
  // Paused by a failure: tried again every second until a write works.
  if (TimerLearnRetry) {
    if (LearningFailed && !TimerLearnRetry->isActive()) TimerLearnRetry->start();
    else if (!LearningFailed) TimerLearnRetry->stop();
  }
  if (!lbLearning) return;
  const bool user = miNoLearning && miNoLearning->isChecked();
  if (!user && LearningFailed) {
    lbLearning->setText(QString::fromUtf8("単語表が使えないため、単語の学習を一時停止中"));
    lbLearning->show();
  } else {
    lbLearning->hide();
  }
  SetCaption(captionBase_);
}

void TfmMain::SetCaption(const QString& caption) {
  captionBase_ = caption;
  QString title = caption;
  if (miNoLearning && miNoLearning->isChecked()) title += QString::fromUtf8("　［単語を学習しない］");
  else if (LearningFailed) title += QString::fromUtf8("　［単語の学習を一時停止中］");
  // Learning moves the view once per stored word; only a real change reaches the window system.
  if (windowTitle() != title) setWindowTitle(title);
}

}  // namespace wendul
