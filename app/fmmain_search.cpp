// Main window: the search in the document and the global search over the
// diary. Both use one search word, the hidden edit edGrepSearchWord (kept in
// the settings file), and both match ASCII letters in either case and only
// where a character starts.
#include <QAction>
#include <QApplication>
#include <cmath>
#include <filesystem>

#include "app/datamodule.h"
#include "app/daybook.h"
#include "app/fmgrep.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/grepsearch.h"
#include "controls/datasource.h"
#include "controls/finddialog.h"
#include "controls/mudbgrid.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/companion.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/messages.h"
#include "util/pathsearch.h"
#include "util/sjisfind.h"
#include "util/strutil.h"
#include "windows/fmworddate.h"

namespace wendul {

namespace {

// The global search gives the window its turn this often.
constexpr int kGrepSliceMs = 25;

}  // namespace

SjisString TfmMain::SearchWord() const { return FromQ(edGrepSearchWord->text()); }

void TfmMain::SetSearchWord(const SjisString& word) { edGrepSearchWord->setText(ToQ(word)); }

void TfmMain::BuildSearch() {
  FindDialog = new TFindDialog(this);
  FindDialog->setObjectName("FindDialog");
  GFindDialog = new TFindDialog(this);
  GFindDialog->setObjectName("GFindDialog");
  connect(FindDialog, &TFindDialog::OnFind, this, [this] {
    SetSearchWord(FromQ(FindDialog->FindText()));
    SearchInDoc(false);  // the dialog stays open for the next hit
  });
  connect(GFindDialog, &TFindDialog::OnFind, this, [this] {
    SetSearchWord(FromQ(GFindDialog->FindText()));
    GFindDialog->close();
    CnGrep(GFindDialog);
  });
  connect(FindDialog, &TFindDialog::OnClose, this, &TfmMain::FindDialogClose);
  connect(GFindDialog, &TFindDialog::OnClose, this, &TfmMain::FindDialogClose);
  connect(miSearchWord_xx, &QAction::triggered, this, [this] { OpenFindDialog(FindDialog); });
  connect(miGrep_xx, &QAction::triggered, this, [this] { OpenFindDialog(GFindDialog); });
  // Every change of the result table's current row opens that day.
  if (D) connect(D->dsGrep, &TDataSource::RecordMove, this, &TfmMain::OpenGrepResult);
  // The document pane's popup menu (it opens only over the pane).
  if (QAction* grep = findChild<QAction*>("Grep1"))
    connect(grep, &QAction::triggered, this, [this] { CnGrep(nullptr); });
}

void TfmMain::OpenFindDialog(TFindDialog* dialog) {
  if (mmDoc->SelLength() > 0) SetSearchWord(mmDoc->SelText());
  dialog->SetFindText(edGrepSearchWord->text());
  dialog->Execute(mmDoc->mapToGlobal(QPoint(mmDoc->width(), 0)));
}

void TfmMain::FindDialogClose() {
  if (ActiveWindowMarker() == 0) {
    activateWindow();
  } else if (ActiveWindowMarker() == 3 && fmGrep) {
    fmGrep->activateWindow();
  }
}

void TfmMain::CnSearchWord(QObject*) {
  if (mmDoc->SelLength() > 0) SetSearchWord(mmDoc->SelText());
  SearchInDoc(false);
}

void TfmMain::SearchInDoc(bool fromStart) {
  const SjisString word = SearchWord();
  if (word.empty()) return;
  // The whole text once per search: a command, not a keystroke.
  const SjisString text = mmDoc->Text();
  const SjisFinder finder(word);
  const int64_t start = fromStart ? 0 : mmDoc->SelStart() + mmDoc->SelLength();
  size_t hit = finder.Find(text, static_cast<size_t>(std::clamp<int64_t>(start, 0, text.size())));
  if (hit == SjisFinder::npos) hit = finder.Find(text, 0);
  if (hit == SjisFinder::npos) {
    ShowStatus("[" + word + Utf8ToSjis("] は見つかりません"));
    return;
  }
  mmDoc->SetSelStart(static_cast<int64_t>(hit));
  mmDoc->SetSelLength(static_cast<int64_t>(word.size()));
}

// ---------------------------------------------------------------------------
// Global search

void TfmMain::CnGrep(QObject*) {
  if (G().adminLevel < 1 || !G().logMode || !fmGrep || !D) return;
  if (fmGrep->GrepRunning) return;  // one search at a time
  if (mmDoc->SelLength() > 0) SetSearchWord(mmDoc->SelText());
  const SjisString word = SearchWord();
  if (word.empty()) return;

  QPointer<TfmGrep> grep = fmGrep;
  grep->Prepare(height(), y(), ToQ(word));
  grep->GrepRunning = true;
  grep->show();
  grep->SetRunningLook(true);
  grep->activateWindow();
  grep->mgMuKwd->setFocus(Qt::OtherFocusReason);

  MT& table = D->tbGrep;
  table.SetIndexName("IDX_PFNAME");
  bool ready = table.Active() || table.Op();
  if (ready) {
    try {
      table.EmptyT();
    } catch (const std::exception& e) {
      table.muShowExceptionError(e, "TfmMain.CnGrep", true);
      ready = false;
    }
  }
  if (fmWordDate) grepDate_ = fmWordDate->Date();
  std::error_code ec;
  if (ready && !std::filesystem::is_directory(G().mulogTextFolder, ec)) {
    ErrMsgBox(ShownFileName(G().mulogTextFolder) + Utf8ToSjis(" が存在しません GetMuLogPathName"));
    ready = false;
  }
  if (ready) {
    GrepSearch search(table, G().mulogTextFolder, word, std::trunc(DiaryNow()), EarliestDate);
    bool more = true;
    while (more) {
      // The window's turn: "中止", ESC and repainting act here.
      QApplication::processEvents();
      if (!grep || !grep->GrepRunning || !table.Active() || closing_) break;
      more = search.RunSlice(kGrepSliceMs);
      if (grep && !search.LastFile().empty()) grep->ShowProgress(QString::fromStdString(search.LastFile()));
      if (grep) grep->mgMuKwd->Reload();
    }
  }
  if (grep) {
    grep->SetRunningLook(false);
    grep->GrepRunning = false;
  }
  if (closing_) return;  // the window closed meanwhile: nothing is opened on its closed tables
  if (table.Active() && table.CountAtMost(2) == 1) {
    table.First();
    OpenGrepResult();
  }
  mmDoc->setReadOnly(G().logMode && !DayLoaded());
}

void TfmMain::OpenGrepResult() {
  if (!fmGrep || fmGrep->GrepRunning || !D || !fmWordDate || closing_) return;
  MT& table = D->tbGrep;
  if (!table.Active() || table.GetBookmark() == 0) return;
  const TDateTime day = table.GD("DIARY_DATE");
  fmWordDate->SetDate(day);
  // The first occurrence in the day now shown (unless the old day was kept).
  if (dayLoaded_ && dayBook_ && dayBook_->Day() == day) SearchInDoc(true);
}

void TfmMain::CloseGrepWindow() {
  if (!fmGrep || !D) return;
  fmGrep->GrepRunning = false;
  D->tbGrep.Cl(false);
  fmGrep->hide();
  if (fmWordDate && grepDate_ != 0) fmWordDate->SetDate(grepDate_);
}

void TfmMain::GrepResultEnter() {
  if (!D || !D->tbGrep.Active() || D->tbGrep.GetBookmark() == 0) return;
  // The helper is started only when it is there, with its arguments as a
  // list: no shell reads the selected text or the file name.
  const std::string program = FindProgramOnPath("b.bat");
  if (program.empty()) {
    ShowStatus(Utf8ToSjis("\"b.bat\" が見つかりません（PATH にありません）"));
    return;
  }
  std::vector<std::string> argv{program, "/fi"};
  const SjisString selected = Trim(mmDoc->SelText());
  if (!selected.empty()) argv.push_back(SjisToUtf8(selected));
  argv.push_back(G().mulogTextFolder + D->tbGrep.GS("PFNAME"));
  if (!MuCreateProcessShow(argv)) ShowStatus(Utf8ToSjis("\"b.bat\" を起動できません"));
}

}  // namespace wendul
