// The main window's learning from the document and its two word panes.
#include <QApplication>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "controls/datasource.h"
#include "controls/mudbgrid.h"
#include "controls/mupanel.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/sepkeyword.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "util/strutil.h"
#include "wordbook/wordrules.h"
#include "windows/fmmsgbox.h"
#include "windows/fmworddate.h"

namespace wendul {

namespace {

const QColor kCaptionBusy(146, 146, 146);

SjisString NotFoundText(const SjisString& text) {
  // " は見つかりませんでした"
  return "\"" + text + "\"" + " \x82\xcd\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd";
}

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Learning from the document

void TfmMain::mmDocChange() {
  if (InsertingWord) return;
  Modified = true;
  const int64_t length = mmDoc->TextLength();
  SjisString remainder;
  if (length > PrevLength && D) remainder = LearnAtCaret();  // never raises, never shows a modal box
  PrevLength = length;
  if (fmWordDate && fmWordDate->isVisible()) fmWordDate->ShowLength(length);
  SimilarFilter(remainder);
  TimerIdle->start();
}

// The registration commands are the user's own request: they store words
// also while learning is paused, and a failure is told every time.
void TfmMain::CnSplitKeyword_PrevString(QObject*) {
  if (!D) return;
  SepKeywordFailures failures;
  try {
    SepKeywordAtCaret(D->tbMuKwd, *mmDoc, true, false, &failures);
  } catch (const std::exception& e) {
    D->tbMuKwd.LogFailure(e, "TfmMain.CnSplitKeyword_PrevString");
    failures.Add(e, e.what());
  }
  if (failures.Any()) LearningFailure(failures, true);
}

void TfmMain::CnSplitKeyword_SelectString(QObject*) {
  if (!D || mmDoc->SelLength() <= 0) return;
  const SjisString text = mmDoc->SelText();
  auto* box = new TfmMsgBox(this);
  progressBox_ = box;
  SetSepKeywordProgress([box](const SjisString& counter, const SjisString& word) { box->Progress(counter, word); });
  mmDoc->setEnabled(false);
  box->mmMessage->clear();
  box->Label1->setText(QString());  // shown with the first count, never with its design text
  box->btClose->hide();
  box->setWindowTitle(QString::fromUtf8("単語登録をしています.."));
  box->show();
  D->dsMuKwd->SetEnabled(false);
  auto finish = [this, box] {
    D->dsMuKwd->SetEnabled(true);
    box->Label1->hide();
    box->close();
    mmDoc->setEnabled(true);
    mmDoc->setFocus();
    SetSepKeywordProgress(nullptr);
  };
  SepKeywordFailures failures;
  try {
    SepKeyword(D->tbMuKwd, text, true, false, &failures);
  } catch (const std::exception& e) {
    D->tbMuKwd.LogFailure(e, "TfmMain.CnSplitKeyword_SelectString");
    failures.Add(e, e.what());
  }
  finish();
  if (failures.Any()) LearningFailure(failures, true);
}

void TfmMain::MenuItem1Click() {
  if (!mmDoc->hasFocus() || !D) return;
  const SjisString word = Trim(mmDoc->SelText());
  if (word.empty()) return;
  MT& t = D->tbMuKwd;
  // Refused as the word book refuses it: never cut, never a line break.
  const int at = t.Active() ? t.FieldIndex("KEYWORD") : -1;
  const int size = at >= 0 ? t.Fields()[static_cast<size_t>(at)].size : 0;
  if (const SjisString why = WordRefusal(word, size); !why.empty()) {
    MsgBox("Wendul", why);
    return;
  }
  try {
    const std::string index = t.IndexName();
    t.SetIndexFieldNames("KEYWORD");
    const TDateTime now = WordStampNow();
    if (t.FindKey(word)) {
      t.Edit();
    } else {
      t.Append();
      t.SS("KEYWORD", word);
      t.SD("APPENDDATE", now);
    }
    t.SD("UPDATEDATE", now);
    t.Post();
    if (index == "IDX_UPDATEDATE") t.SetIndexName("IDX_UPDATEDATE");
  } catch (const std::exception& e) {
    if (t.State() == DataSetState::Edit || t.State() == DataSetState::Insert) t.Cancel();
    t.LogFailure(e, "TfmMain.MenuItem1Click");
    SepKeywordFailures failures;
    failures.Add(e, e.what());
    LearningFailure(failures, true);
    return;
  }
  LearningRecovered();  // a write succeeded
  // The other view reads the file again, so the new word shows in the similar-word pane.
  try {
    D->tbMuKwd2.Refresh();
  } catch (const std::exception&) {
  }
}

// ---------------------------------------------------------------------------
// Word panes

int TfmMain::SimilarFilter(const SjisString& text) {
  if (!D) return 0;
  MT& t = D->tbMuKwd2;
  const SjisString trimmed = Trim(text);
  int count = 0;
  try {
    t.SetFilter("KEYWORD='" + trimmed + "*'");
    // Whether anything matches is all that callers need: counting a million
    // words on every keystroke would make typing slow.
    count = t.Active() ? static_cast<int>(t.CountAtMost(1)) : 0;
  } catch (const std::exception&) {
    return 0;  // a filter the store rejects is ignored
  }
  if (!trimmed.empty() && count == 0) ShowStatus(NotFoundText(text));
  return count;
}

bool TfmMain::SeekInLatest(const SjisString& text) {
  WaitCursor wait;
  const SjisString trimmed = Trim(text);
  if (trimmed.empty()) return true;
  if (!D) return false;
  pnWordDateCaption->SetColors(kCaptionBusy, Qt::black);
  pnWordDateCaption->repaint();
  MT& t = D->tbMuKwd;
  bool found = false;
  const Bookmark start = t.GetBookmark();
  t.DisableControls();
  try {
    t.SetIndexFieldNames("KEYWORD");
    t.SetFilter("KEYWORD='" + trimmed + "*'");
    t.SetFiltered(true);
    if (!t.IsEmpty()) {
      t.SetIndexName("IDX_UPDATEDATE");
      t.First();
      const Bookmark hit = t.GetBookmark();
      t.SetFiltered(false);
      t.SetFilter("");
      t.GotoBookmark(hit);
      found = true;
    }
  } catch (const std::exception&) {
    found = false;
  }
  if (!found) {
    try {
      t.SetFiltered(false);
      t.SetFilter("");
      t.SetIndexName("IDX_UPDATEDATE");
      if (start != 0 && t.BookmarkValid(start)) t.GotoBookmark(start);
    } catch (const std::exception&) {
    }
  }
  t.EnableControls();
  HighlightCaption(pnWordDateCaption, mgWordDate->hasFocus());
  if (found) {
    CnSetFocusWordDate(nullptr);
    return true;
  }
  mmDoc->SetSelLength(0);
  ShowStatus(NotFoundText(trimmed));
  return false;
}

void TfmMain::CnSeekWord(QObject* sender) {
  if (!mmDoc->hasFocus() || !D) return;
  mmDoc->FinishComposition();  // the seek reads the text as it will stand
  const bool latest = sender == mgWordDate;
  if (mmDoc->SelLength() > 0) {
    const SjisString selected = mmDoc->SelText();
    if (!latest) {
      if (SimilarFilter(selected) > 0) {
        SavedCaret = mmDoc->CaretPos();
        CnSetFocusWordCode(nullptr);
        SeekDone = true;
      }
    } else {
      SavedCaret = mmDoc->CaretPos();
      if (SeekInLatest(selected)) SeekDone = true;
    }
    return;
  }
  SjisString word;
  try {
    word = SepKeywordAtCaret(D->tbMuKwd, *mmDoc, true, true);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
    return;
  }
  CaptionNote = word;
  if (word.empty()) return;
  const int64_t caret = mmDoc->CaretPos();
  SavedCaret = caret;
  // The last occurrence of the word wholly inside the 30 positions before the caret.
  const int64_t windowStart = std::max<int64_t>(0, caret - 30);
  int64_t found = -1;
  for (int64_t from = windowStart;;) {
    const int64_t at = mmDoc->FindText(word, from, caret);
    if (at < 0) break;
    found = at;
    from = at + 1;
  }
  if (found >= 0) mmDoc->SetSelStart(found);
  mmDoc->SetSelLength(static_cast<int64_t>(word.size()));
  bool sought = false;
  if (!latest) {
    sought = SimilarFilter(word) > 0;
    if (sought) CnSetFocusWordCode(nullptr);
  } else {
    sought = SeekInLatest(word);
  }
  if (sought) {
    SeekDone = true;
  } else {
    // Nothing to complete it with: the selection made for it goes and the
    // caret comes back, so that what is typed next lands where it was typed.
    mmDoc->SetSelStart(caret);
  }
}

void TfmMain::InsertWord(MT& view, bool touch) {
  mmDoc->setFocus(Qt::OtherFocusReason);
  if (!view.Active() || view.IsEmpty()) return;
  // The word shown may have been renamed or deleted since (the word book,
  // another program): the pane reads the file anew and nothing is inserted.
  if (!view.RecordUnchanged()) {
    view.Refresh();
    ShowStatus(FromQ(QString::fromUtf8("選んだ単語はほかで変更または削除されていました。一覧を読み直しました。")));
    return;
  }
  const SjisString word = view.GS("KEYWORD");
  edWrk->setText(ToQ(word));
  edWrk->selectAll();
  edWrk->copy();
  if (Trim(word).empty()) return;
  InsertingWord = true;
  mmDoc->paste();
  InsertingWord = false;
  if (touch && Learning()) {
    view.Edit();
    view.SD("UPDATEDATE", WordStampNow());
    view.Post();
  }
}

void TfmMain::mgMuKwdDblClick(QObject* grid) {
  if (!D) return;
  MT* view = grid == mgWordDate ? &D->tbMuKwd : grid == mgWordCode ? &D->tbMuKwd2 : nullptr;
  if (!view) PgmError("TfmMain.mgMuKwdDblClick");
  SeekDone = false;
  try {
    InsertWord(*view, true);
    if (grid == mgWordDate) {
      D->tbMuKwd.SetIndexName("IDX_UPDATEDATE");
      D->tbMuKwd.First();
    } else {
      D->tbMuKwd.Refresh();
      D->tbMuKwd.First();
    }
  } catch (const std::exception& e) {
    // The word is in the document; only its new time stamp is lost.
    if (view->State() == DataSetState::Edit) view->Cancel();
    view->LogFailure(e, "TfmMain.mgMuKwdDblClick");
    SepKeywordFailures failures;
    failures.Add(e, e.what());
    LearningFailure(failures, false);
  }
}

void TfmMain::ToggleKeywordOrder(MT& view, bool goToFirst) {
  if (view.IndexFieldNames() != "KEYWORD") {
    view.SetIndexFieldNames("KEYWORD");
  } else {
    view.SetIndexName("IDX_UPDATEDATE");
    if (goToFirst) view.First();
  }
}

void TfmMain::CnChgKeywordSort(QObject*) {
  if (!D) return;
  try {
    ToggleKeywordOrder(D->tbMuKwd, true);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

void TfmMain::CnFilterWord(QObject*) {}

}  // namespace wendul
