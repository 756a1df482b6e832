#include "app/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

#include "controls/enterbuttons.h"
#include "util/messages.h"

namespace wendul {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The program speaks Japanese whatever the desktop's language: Qt's file
  // dialogs write sizes, dates and the kinds of files by the default locale
  // ("34 bytes", "8 Dec", "plain text document" under an English one).
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  // Qt's own texts (file dialogs, edit menus) in Japanese when the desktop
  // has Qt's translations installed; English otherwise.
  auto* qt = new QTranslator(this);
  if (qt->load(QLocale(QLocale::Japanese, QLocale::Japan), "qtbase", "_",
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    installTranslator(qt);
  InstallEnterPressesButtons(this);
}

bool TApplication::notify(QObject* receiver, QEvent* e) {
  try {
    return QApplication::notify(receiver, e);
  } catch (const std::exception& ex) {
    ShowException(&ex);
  } catch (...) {
    ShowException(nullptr);
  }
  return false;
}

void ShowException(const std::exception* e) {
  static bool showing = false;
  // The system's own errors carry their text in the system code page; others
  // (the engine's, the library's) are English and get a Japanese first line.
  SjisString text;
  if (dynamic_cast<const GeneralError*>(e)) {
    text = e->what();
  } else {
    // "エラーが発生しました。"
    text = "\x83\x47\x83\x89\x81\x5b\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
    // "（原因不明）"
    text += e ? "\r\n" + std::string(e->what()) : std::string("\x81\x69\x8c\xb4\x88\xf6\x95\x73\x96\xbe\x81\x6a");
  }
  if (showing) {
    std::fprintf(stderr, "wendul: %s\n", text.c_str());
    return;
  }
  showing = true;
  try {
    MsgBox("Wendul", text);
  } catch (...) {
  }
  showing = false;
}

}  // namespace wendul
