// The main window's viewers: the quick guide, the mail viewer of log mode,
// and what it hands to the desktop to open (addresses, the shown file, the
// read-me).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBlock>

#include "app/daybook.h"
#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/datasource.h"
#include "controls/forminstance.h"
#include "controls/mudbedits.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "store/syshelpers.h"
#include "util/codec.h"
#include "util/daylog.h"
#include "util/filehelpers.h"
#include "util/paths.h"
#include "util/strutil.h"
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
  // JUMP: the address on the text's caret line, by the rule of CnExecute.
  viewer->OpenURLAtCaret = [](TmuDBMemo* memo) {
    OpenAddress(URLInLine(FromQ(memo->textCursor().block().text())), "", true);
  };
  viewer->show();
  viewer->activateWindow();
}

void TfmMain::Readme1Click() { ShellOpen(ShippedFile("README.TXT")); }

void TfmMain::Text1Click() {
  // As stored on disk: the document is not saved first.
  if (G().logMode) {
    if (!D || !dayBook_ || !DayLoaded()) return;  // greyed then: no day, no file
    ShellOpen(GetMuLogPathName(G().mulogTextFolder, true, dayBook_->Day()));
    return;
  }
  std::string name = DocPath();
  if (name.empty()) name = "新規ファイル.TXT";  // a new document's name, in the current folder
  // The name's bytes as they are (they need not be UTF-8), below the current folder when relative.
  if (name[0] != '/') name = QFile::encodeName(QDir::currentPath()).toStdString() + "/" + name;
  ShellOpen(name);
}

}  // namespace wendul
