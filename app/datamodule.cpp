#include "app/datamodule.h"

#include <filesystem>

#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/datasource.h"
#include "controls/qsjis.h"
#include "util/inifile.h"
#include "util/messages.h"
#include "util/paths.h"
#include "util/strutil.h"

namespace wendul {

TD* D = nullptr;

void DeclareWordTable(MT& table) {
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
    table.AddFieldDef(decl);
}

TD::TD(QObject* parent) : QObject(parent) {
  setObjectName("D");
  dsMuKwd = new TDataSource(&tbMuKwd, this);
  dsMuKwd->setObjectName("dsMuKwd");
  dsMuKwd2 = new TDataSource(&tbMuKwd2, this);
  dsMuKwd2->setObjectName("dsMuKwd2");
  dsGrep = new TDataSource(&tbGrep, this);
  dsGrep->setObjectName("dsGrep");
  dsMuLog = new TDataSource(&tbMuLog, this);
  dsMuLog->setObjectName("dsMuLog");
  dsMuLog2 = new TDataSource(&tbMuLog2, this);
  dsMuLog2->setObjectName("dsMuLog2");
  connect(dsMuKwd, &TDataSource::OnDataChange, this, &TD::dsMuKwdDataChange);
  connect(dsMuKwd2, &TDataSource::OnDataChange, this, &TD::dsMuKwdDataChange);
  D = this;
  DCreate();
}

TD::~TD() {
  DDestroy();
  // The data sources listen to the tables, which are destroyed before QObject
  // would delete its children.
  delete dsMuKwd;
  delete dsMuKwd2;
  delete dsGrep;
  delete dsMuLog;
  delete dsMuLog2;
  if (D == this) D = nullptr;
}

void TD::DCreate() {
  AppGlobals& g = G();
  // A file that is no settings file (binary, huge, a folder) reads as the
  // defaults and is never written; the main window says so once.
  g.settingsProblem = SettingsFileProblem(g.settingsPath);
  {
    IniFile ini(g.settingsPath);
    // Folders are named in code page 932 and become file-system names here,
    // once; an empty or relative one lies below the data folder's TABLE/.
    const std::string tables = g.programFolder + "TABLE/";
    g.kwdFolder = SettingsFolder(ini.ReadString("Path", "KWD", ""), tables);
    g.mulogTextFolder = SettingsFolder(ini.ReadString("Path", "MulogText", ""), tables);
    g.adminLevel = ini.ReadInteger("system", "admin", 0);
  }
  g.logMode = g.adminLevel > 0 && g.logOptionGiven;

  tbGrep.SetDatabaseName(g.programFolder + "TABLE/");
  tbGrep.SetTableName("GREP.DB");
  // One file holds many hits, so the key is the file and the line, not the file alone.
  for (const char* decl : {"PFNAME,A,80", "LINE,N", "TEXT,A,255", "DIARY_DATE,@", "APPENDDATE,@",
                           "PFNAME;LINE,P", "PFNAME,i"})
    tbGrep.AddFieldDef(decl);

  if (g.logMode) {
    tbMuLog.SetDatabaseName(g.kwdFolder);
    tbMuLog.SetTableName("LOG.db");
    tbMuLog.SetIndexFieldNames("CDATE");
    // The day table is created with the fields the day log uses when it is missing.
    for (const char* decl : {"CDATE,@", "POSITION,N", "SCROLL_POSITION,N", "APPENDDATE,@", "UPDATEDATE,@",
                             "CDATE,P"})
      tbMuLog.AddFieldDef(decl);
    tbMuLog.Op();
  }

  if (g.adminLevel != 0) {
    tbMuKwd.SetDatabaseName(g.kwdFolder);
    tbMuKwd.SetTableName("MU_KWD.DB");
  } else {
    tbMuKwd.SetDatabaseName(g.programFolder + "TABLE/");
    tbMuKwd.SetTableName("KWD.DB");
  }
  DeclareWordTable(tbMuKwd);
  tbMuKwd.SetIndexName("IDX_UPDATEDATE");
  tbMuKwd2.SetDatabaseName(tbMuKwd.DatabaseName());
  tbMuKwd2.SetTableName(tbMuKwd.TableName());
  tbMuKwd2.SetIndexFieldNames("KEYWORD");
  tbMuKwd2.SetFiltered(true);
  // Every keystroke commits to the word table: the log's copies and their
  // disk flushes run on a thread of their own, never inside a keystroke.
  tbMuKwd.SetBackgroundCheckpoints(true);
  tbMuKwd2.SetBackgroundCheckpoints(true);
  // A table that cannot be opened is logged; the main window says so once and
  // works on without learning.
  OpenWordTables();
}

bool TD::OpenWordTables(bool briefly) {
  for (MT* t : {&tbMuKwd, &tbMuKwd2}) {
    if (t->Active()) continue;
    try {
      try {
        if (briefly) t->OpenBriefly();
        else t->Open();
      } catch (const std::exception& e) {
        std::error_code exists;
        // A file that cannot be written: for reading, both views alike.
        if (t->ReadOnly || !IsReadOnlyError(e) || !std::filesystem::exists(t->FilePath(), exists)) throw;
        t->LogFailure(e, "MT.Op");
        tbMuKwd.Close();
        tbMuKwd2.Close();
        tbMuKwd.ReadOnly = tbMuKwd2.ReadOnly = true;
        WordTableReadOnly = true;
        return OpenWordTables(briefly);
      }
    } catch (const std::exception& e) {
      t->LogFailure(e, "MT.Op");
      WordTableError = e.what();
      const auto* db = dynamic_cast<const EDBEngineError*>(&e);
      WordTableCategory = db && !db->errors.empty() ? db->errors[0].category : 0;
      return false;
    }
  }
  WordTableError.clear();
  WordTableCategory = 0;
  return true;
}

void TD::DDestroy() {
  tbMuKwd.Cl(false);
  tbMuKwd2.Cl(false);
  tbGrep.Cl(false);
  if (G().logMode) tbMuLog.Cl(true);
}

std::string TD::KwdFolder() const { return tbMuKwd.DatabaseName(); }

void TD::dsMuKwdDataChange(TDataSource* sender) {
  MT* table = nullptr;
  if (sender == dsMuKwd) table = &tbMuKwd;
  else if (sender == dsMuKwd2) table = &tbMuKwd2;
  else PgmError("TD.dsMuKwdDataChange");
  if (!fmMain) return;
  const QString name = fmMain->edCurFileName->text();
  SjisString word;
  if (table->Active() && !table->IsEmpty()) {
    try {
      word = table->GS("KEYWORD");
    } catch (const std::exception&) {
      word.clear();
    }
  }
  const SjisString note = fmMain->CaptionNote;
  QString caption = name;
  if (!word.empty()) {
    caption += QString(8, ' ') + ToQ(word);
    if (!note.empty()) caption += QString::fromUtf8("（") + ToQ(note) + QString::fromUtf8("）");
  }
  fmMain->SetCaption(caption);
  fmMain->CaptionNote.clear();
}

}  // namespace wendul
