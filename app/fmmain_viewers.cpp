// The main window's viewers: the quick guide, the mail viewer of log mode,
// and what it hands to the desktop to open (addresses, the shown file, the
// read-me).
#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/datasource.h"
#include "controls/forminstance.h"
#include "controls/mudbedits.h"
#include "util/paths.h"
#include "windows/fmmail.h"
#include "windows/fmmanual.h"

namespace wendul {

void TfmMain::miOpenManualClick() {
  if (TfmManual::IsOpen() && fmManual) {
    fmManual->showNormal();
    fmManual->raise();
    fmManual->activateWindow();
    return;
  }
  CreateFormInstance(fmManual, ShippedFile("Manual.TXT"), G().adminLevel > 0, this);
  fmManual->show();
  fmManual->activateWindow();
}

void TfmMain::CnOpenMail(QObject*) {
  if (!G().logMode || !D) return;
  MT& mail = D->tbMuLog2;
  if (!mail.Active()) {
    // The mail table (alias "DB_MULOG", table "MULOG2") is kept by another
    // program beside the day table; the viewer only reads it, a day's rows
    // being those whose CDATE is the day shown.
    mail.SetDatabaseName(D->tbMuLog.DatabaseName());
    mail.SetTableName("MULOG2.DB");
    mail.ReadOnly = true;
    mail.SetMasterSource(&D->tbMuLog, "CDATE");
  }
  auto* viewer = new TfmMail(mail, D->dsMuLog2, this);
  viewer->OpenURLAtCaret = [](TmuDBMemo*) {};
  viewer->show();
  viewer->activateWindow();
}

void TfmMain::CnExecute(QObject*) {}

void TfmMain::Readme1Click() {}

void TfmMain::Text1Click() {}

}  // namespace wendul
