#include "controls/inipersist.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

#include "controls/qsjis.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

bool g_writeFailureReported = false;

SjisString OwnerName(const QObject* control) {
  const QWidget* owner = OwnerForm(control);
  return owner ? Trim(owner->objectName().toStdString()) : SjisString();
}

}  // namespace

std::string& GIniFileName() {
  static std::string name;
  return name;
}

std::string DefaultIniFileName() {
  const QFileInfo exe(QCoreApplication::applicationFilePath());
  return (exe.absolutePath() + "/" + exe.completeBaseName() + ".INI").toStdString();
}

QWidget* OwnerForm(const QObject* control) {
  for (const QObject* o = control; o; o = o->parent()) {
    if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow())
      return const_cast<QWidget*>(static_cast<const QWidget*>(o));
  }
  return nullptr;
}

SjisString ReadIni(const QObject* control, const SjisString& def) {
  if (Trim(GIniFileName()).empty()) PgmError("err ReadIni GIniFileName=''");
  const SjisString section = OwnerName(control);
  if (section.empty()) PgmError("err ReadIni obj.Owner.Name=''");
  return IniFile(GIniFileName()).ReadString(section, control->objectName().toStdString(), def);
}

void WriteIni(const QObject* control, const SjisString& value) {
  const SjisString section = OwnerName(control);
  if (section.empty()) PgmError("err WriteIni Owner.Name=\"\" ");
  if (Trim(GIniFileName()).empty()) PgmError("err WriteIni GIniFileName=\"\" " + section);
  try {
    IniFile(GIniFileName()).WriteString(section, control->objectName().toStdString(), value);
  } catch (const GeneralError& e) {
    ReportIniWriteFailure(e);
  }
}

void ReportIniWriteFailure(const std::exception& e) {
  if (g_writeFailureReported) return;
  g_writeFailureReported = true;
  ErrMsgBox(SjisString(e.what()) + "\r\n" +
            FromQ(QString::fromUtf8("このたび変えた設定は保存されませんでした。設定ファイルは元のままです。")));
}

void ResetIniWriteFailureReport() { g_writeFailureReported = false; }

// ---------------------------------------------------------------------------

void LoadedControl::RunLoaded() {
  if (loadedRun_) return;
  loadedRun_ = true;
  Loaded();
}

void IniPersisted::LoadIni() {
  if (IsIni) DoLoadIni();
}

void IniPersisted::CollectIni(std::vector<IniEntry>& out) {
  if (!IsIni || stored_) return;
  stored_ = true;
  DoStoreIni(out);
}

IniEntry IniPersisted::Entry(const SjisString& value, const char* keySuffix) const {
  const QObject* o = IniObject();
  const SjisString section = OwnerName(o);
  if (section.empty()) PgmError("err WriteIni Owner.Name=\"\" ");
  if (Trim(GIniFileName()).empty()) PgmError("err WriteIni GIniFileName=\"\" " + section);
  return {section, o->objectName().toStdString() + keySuffix, value};
}

void IniPersisted::StoreAlone() {
  if (!IsIni || stored_) return;
  std::vector<IniEntry> entries;
  try {
    CollectIni(entries);
    if (!entries.empty()) IniFile(GIniFileName()).WriteStrings(entries);
  } catch (const std::exception& e) {
    // A destructor never throws; a control without a form or file name is a
    // programming fault that only loses this control's value.
    ReportIniWriteFailure(e);
  }
}

// ---------------------------------------------------------------------------

void LoadIniControls(QWidget* form) {
  if (auto* self = dynamic_cast<LoadedControl*>(form)) self->RunLoaded();
  for (QWidget* w : form->findChildren<QWidget*>()) {
    if (auto* c = dynamic_cast<LoadedControl*>(w)) c->RunLoaded();
  }
}

bool StoreIniControls(QWidget* form) {
  std::vector<IniEntry> entries;
  try {
    for (QWidget* w : form->findChildren<QWidget*>()) {
      if (auto* p = dynamic_cast<IniPersisted*>(w)) p->CollectIni(entries);
    }
    if (auto* self = dynamic_cast<IniPersisted*>(form)) self->CollectIni(entries);
    if (!entries.empty()) IniFile(GIniFileName()).WriteStrings(entries);
  } catch (const std::exception& e) {
    ReportIniWriteFailure(e);
    return false;
  }
  return true;
}

}  // namespace wendul
