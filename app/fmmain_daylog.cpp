// Main window in log mode: the document pane shows one day file of the diary
// at a time, the date window chooses the day. Changing the day saves the day
// shown (its text when changed, its caret and scroll positions) and loads
// the chosen one, creating its file with the dated header when missing.
#include <QAction>
#include <QKeyEvent>
#include <QTimer>
#include <limits>

#include "app/datamodule.h"
#include "app/daybook.h"
#include "app/doctexts.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/mudateedit.h"
#include "controls/murichedit.h"
#include "settings/setuplinks.h"
#include "store/companion.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/docfile.h"
#include "util/doctext.h"
#include "util/messages.h"
#include "util/paths.h"
#include "util/recovery.h"
#include "util/strutil.h"
#include "windows/fmworddate.h"

namespace wendul {

void TfmMain::StartLogMode() {
  if (!G().logMode) return;
  if (D) dayBook_ = std::make_unique<DayBook>(D->tbMuLog);
  // The File menu does nothing in log mode, and no file is taken by dropping.
  for (const char* name : {"New1", "Open1", "Save1", "SaveAs1"})
    if (QAction* a = findChild<QAction*>(name)) a->blockSignals(true);
  setAcceptDrops(false);
  // Nothing can be typed before a day is shown: it would belong to no day,
  // and there is no day file to open.
  mmDoc->setReadOnly(true);
  if (Text1) Text1->setEnabled(false);
  // A day's unsaved text is kept while typing pauses, as a document's is.
  recovery_ = std::make_unique<RecoveryStore>();
}

void TfmMain::CreateDateWindow() {
  if (!G().logMode || fmWordDate) return;
  auto* w = new TfmWordDate(this);
  w->LogMode = true;
  w->DateOption = MuAVOptDt('D');
  w->SettingsPath = G().settingsPath;
  w->OnDayChange = [this] { ChangeLogDay(true); };
  w->OnStarted = [this] {
    activateWindow();
    mmDoc->setFocus(Qt::OtherFocusReason);
    OfferDayRecovery();
  };
  // The main window's key handlers see the date window's keys too.
  w->KeyDown = [](QKeyEvent* e) {
    if (MainKeyDownHook()) MainKeyDownHook()(e);
  };
  w->KeyUp = [](QKeyEvent* e) {
    if (MainKeyUpHook()) MainKeyUpHook()(e);
  };
  w->show();
}

void TfmMain::LoadDayText(const SjisString& bytes) {
  // Loading is no typing: nothing is learned from the loaded text.
  PrevLength = std::numeric_limits<int64_t>::max();
  mmDoc->LoadDocument(DecodeDocument(bytes));
  UpdateDocFormat();
}

// Lines not edited since the day was loaded are written back as they were
// read; *loss tells the first character Shift-JIS cannot hold.
SjisString TfmMain::DayText(SjisString* lossQuestion) const {
  DocWriter w(mmDoc->UsualLineEnd(), mmDoc->Codec());
  mmDoc->WriteDocument(w);
  if (lossQuestion)
    *lossQuestion = w.HasLoss() ? LossQuestion(w.LossLine(), w.LossColumn(), w.LossChar(), w.LossCount(),
                                               mmDoc->Codec().encoding)
                                : "";
  return std::move(w.Bytes());
}

TDateTime TfmMain::ShownDay() const { return dayLoaded_ && dayBook_ ? dayBook_->Day() : 0; }

std::string TfmMain::DayFilePath(TDateTime day) const {
  return AddBackslash(G().mulogTextFolder) + DayLogRelPath(day);
}

void TfmMain::KeepShownDay(TDateTime shown) {
  // The date window's return to the day, and a second event of the same
  // step, load nothing until the next event turn.
  dayKept_ = true;
  QTimer::singleShot(0, this, [this] { dayKept_ = false; });
  if (fmWordDate && shown != 0 && fmWordDate->Date() != shown) fmWordDate->SetDate(shown);
}

bool TfmMain::ConfirmFarDay(TDateTime day) {
  if (!FarDiaryDay(day, DiaryNow()) || FileLength(DayFilePath(day)) >= 0) return true;
  return !AskNotYes("", FarDayQuestion(DateStr(day)));
}

bool TfmMain::ChangeLogDay(bool loadNew) {
  if (!G().logMode || !dayBook_ || closing_) return true;
  // A declined save keeps the day shown: the date window returning to it,
  // and a second change event of the same step, load nothing.
  if (dayKept_) return false;
  // A date before the diary begins loads nothing; closing saves the day
  // shown all the same.
  if (loadNew && fmWordDate && fmWordDate->Date() < EarliestDate) return true;
  if (loadNew && fmWordDate && !ConfirmFarDay(fmWordDate->Date())) {
    KeepShownDay(ShownDay());
    return false;
  }
  if (dayLoaded_) {
    const TDateTime shown = dayBook_->Day();
    bool saved = true;
    try {
      // Typed, or a word inserted from a pane: the rule of documents.
      const bool changed = DocChanged();
      SjisString lossQuestion;
      const SjisString text = changed ? DayText(&lossQuestion) : SjisString();
      if (changed && !Trim(text).empty()) {
        const std::string path = GetMuLogPathName(G().mulogTextFolder, true, shown);
        // Another program (or editor) wrote the day since it was read; then
        // characters Shift-JIS cannot hold would be written as "?".
        if (!MayOverwrite(path, ShownFileName(path)))
          saved = false;
        else if (!lossQuestion.empty() && AskNotYes("", lossQuestion))
          saved = false;
        else
          saved = SaveDayLog(path, text) == DaySave::Written;
        if (saved) {
          Modified = false;
          mmDoc->document()->setModified(false);
          diskStamp_ = DiskStamp(path);
          if (recovery_) recovery_->Remove();
          TimerRecovery->stop();
          dayBook_->StoreSaved(DiaryNow());
        }
      }
    } catch (const std::exception& e) {
      ErrMsgBox(e.what());
      saved = false;
    }
    if (!saved) {
      // The day stays with its edits; the date window goes back to it.
      KeepShownDay(loadNew ? shown : 0);
      return false;
    }
    dayBook_->StorePositions(mmDoc->SelStart(), mmDoc->ScrollPos());
  }
  if (!loadNew || !fmWordDate) return true;

  try {
    const TDateTime day = fmWordDate->Date();
    // From here on the shown text is not (or no longer) the current row's day.
    dayLoaded_ = false;
    if (!dayBook_->SelectDay(day, DiaryNow())) PgmError(Utf8ToSjis("日付の表 LOG.db に書き込めません"));
    const std::string path = GetMuLogPathName(G().mulogTextFolder, true, dayBook_->Day());
    std::string reason;
    if (FileLength(path) < 0 && !CreateDayLogFile(path, day, G().adminLevel, &reason, NewDocCodec()))
      PgmError(Utf8ToSjis("日記ファイルを作れません: ") + ShownFileName(path) + " (" + ShownFileName(reason) + ")");
    SjisString bytes;
    diskStamp_ = DiskStamp(path);  // before the read: a write meanwhile is seen at the save
    if (!ReadWholeFile(path, &bytes, &reason))
      PgmError(Utf8ToSjis("日記ファイルを読めません: ") + ShownFileName(path) + " (" + ShownFileName(reason) + ")");
    LoadDayText(bytes);
    RemoveStaleTemps(path.substr(0, path.rfind('/') + 1));  // left by a save that was killed
    mmDoc->setReadOnly(false);
    mmDoc->SetSelStart(dayBook_->Position());
    mmDoc->SetScrollPos(dayBook_->ScrollPosition());
    Modified = false;
    mmDoc->document()->setModified(false);
    if (recovery_) recovery_->Remove();
    dayLoaded_ = true;
    const int64_t textLength = mmDoc->TextLength();
    // In another encoding than Shift-JIS the file's length is compared with the bytes the text gives back.
    const int64_t keptLength =
        mmDoc->Codec() == DocCodec{} ? textLength : static_cast<int64_t>(DayText().size());
    if (keptLength < static_cast<int64_t>(bytes.size()))
      ErrMsgBox(Utf8ToSjis("重大なエラーです！元ファイル ") + "\"" + ShownFileName(path) + "\"" +
                Utf8ToSjis(" の長さ(") + std::to_string(bytes.size()) + Utf8ToSjis(")よりメモテキストの長さ(") +
                std::to_string(keptLength) + Utf8ToSjis(")が短いです！"));
    PrevLength = textLength;
    fmWordDate->ShowLength(textLength);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
  // The text shown belongs to no day when loading failed (it was saved when
  // changed): nothing typed may go to the wrong day's file.
  if (!dayLoaded_) mmDoc->setReadOnly(true);
  if (Text1) Text1->setEnabled(dayLoaded_);
  return true;
}

void TfmMain::OfferDayRecovery() {
  RecoveryRecord r;
  const std::string path = AskRecovery(true, &r);
  if (path.empty()) return;
  const TDateTime day = static_cast<TDateTime>(r.diaryDay);
  if (ShownDay() != day && fmWordDate) fmWordDate->SetDate(day);  // saves the day shown, loads the record's
  // Not shown (its load failed, or the day shown could not be left): the
  // record stays this editor's until it ends, and is offered at the next start.
  if (ShownDay() != day) return;
  RestoreRecord(r, path);
}

// ---------------------------------------------------------------------------
// Commands of log mode; outside it they do nothing.

void TfmMain::CnPrevDay(QObject*) {
  if (G().logMode && fmWordDate) fmWordDate->SetDate(fmWordDate->Date() - 1);
}

void TfmMain::CnNextDay(QObject*) {
  if (G().logMode && fmWordDate) fmWordDate->SetDate(fmWordDate->Date() + 1);
}

void TfmMain::CnSetFocusDate(QObject*) {
  if (!G().logMode) return;
  if (!fmWordDate) PgmError("fmWordDate = nil  CnSetFocusDate");
  fmWordDate->activateWindow();
  fmWordDate->edDateEdit->SetFocus();
}

}  // namespace wendul
