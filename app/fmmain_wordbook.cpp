// The main window's ways to the word book and to Mozc's user dictionary.
#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "store/mt.h"
#include "controls/forminstance.h"
#include "wordbook/fmkdb.h"
#include "wordbook/mozcdict_ui.h"

namespace wendul {

void TfmMain::miOpenKWDClick() {
  if (TfmKDB::IsOpen() && fmKDB) {
    fmKDB->showNormal();
    fmKDB->raise();
    fmKDB->activateWindow();
    return;
  }
  if (!D) return;
  TfmKDB::Links links;
  links.table = &D->tbMuKwd;
  links.source = D->dsMuKwd;
  links.toggleOrder = [this](MT& view, bool goToFirst) { ToggleKeywordOrder(view, goToFirst); };
  links.releaseTable = [] {
    if (!D) return;
    D->WordTableHeld = true;
    D->tbMuKwd2.Close();
    D->tbMuKwd.Close();
  };
  links.tableChanged = [this] { WordTableChanged(); };
  links.stayOnTop = G().adminLevel == 0;
  CreateFormInstance(fmKDB, links);
  fmKDB->show();
  fmKDB->activateWindow();
}

void TfmMain::CnExportMozcDict(QObject*) {
  if (!D) return;
  ExportMozcDictionary({this, RunFileDialog, RunDialog}, D->tbMuKwd);
}

void TfmMain::CnImportMozcDict(QObject*) {
  if (!D) return;
  if (ImportMozcDictionary({this, RunFileDialog, RunDialog}, D->tbMuKwd)) WordTableChanged();
}

void TfmMain::WordTableChanged() {
  if (!D) return;
  D->WordTableHeld = false;
  if (!D->tbMuKwd.Active() || !D->tbMuKwd2.Active()) {
    D->OpenWordTables();
    SimilarFilter("");
  }
  // The similar-word pane reads the file anew: a word renamed or deleted in
  // the word book is not offered as it was (the latest-word pane shares the
  // word book's view and follows by itself).
  for (MT* view : {&D->tbMuKwd2, &D->tbMuKwd}) {
    try {
      if (view->Active()) view->Refresh();
    } catch (const std::exception&) {
      // A damaged table: the pane shows what it can.
    }
  }
}

void TfmMain::CloseWordBook() {
  if (!fmKDB) return;
  fmKDB->close();
  delete fmKDB.data();
}

}  // namespace wendul
