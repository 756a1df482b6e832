// What the word book's source files share: its caption and the ways it puts
// numbers, paths and store errors into words.
#pragma once

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QString>
#include <exception>
#include <string>

#include "controls/qsjis.h"
#include "store/mt.h"
#include "util/messages.h"

namespace wendul::kdb {

inline const char kCaption[] = "Wendul";

inline SjisString J(const char* utf8) { return FromQ(QString::fromUtf8(utf8)); }

// A path as the user reads it.
inline SjisString Shown(const QString& path) { return FromQ(QDir::toNativeSeparators(path)); }

inline std::string FsPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// 1,000,000
inline SjisString Count(int64_t n) { return FromQ(QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(n))); }

inline SjisString LockedText() {
  return J("単語の表は他のプログラムが書き込み中です。しばらくしてからもう一度お試しください。");
}

// A write lock held elsewhere gets words the user can act on.
inline void ShowStoreError(const std::exception& e) {
  if (IsLockError(e)) ErrMsgBox(LockedText() + "\r\n" + e.what());
  else ErrMsgBox(e.what());
}

}  // namespace wendul::kdb
