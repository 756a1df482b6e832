// The main window's ways to the word book and to Mozc's user dictionary.
#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
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
  // The similar-word view reads the file anew once its content was replaced.
  links.tableReplaced = [] {
    if (D && D->tbMuKwd2.Active()) D->tbMuKwd2.Refresh();
  };
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
  if (ImportMozcDictionary({this, RunFileDialog, RunDialog}, D->tbMuKwd) && D->tbMuKwd2.Active()) {
    try {
      D->tbMuKwd2.Refresh();  // the similar-word view reads the file anew
    } catch (const std::exception&) {
    }
  }
}

void TfmMain::CloseWordBook() {
  if (!fmKDB) return;
  fmKDB->close();
  delete fmKDB.data();
}

}  // namespace wendul
