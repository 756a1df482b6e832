// The user interface's edge: system text (code page 932 bytes) <-> QString.
#pragma once

#include <QString>

#include "util/codec.h"

namespace wendul {

inline QString ToQ(std::string_view sjis) {
  std::u16string u = SjisToUtf16(sjis);
  return QString(reinterpret_cast<const QChar*>(u.data()), static_cast<qsizetype>(u.size()));
}

// Characters code page 932 cannot hold become '?' (the byte they are saved as).
inline SjisString FromQ(const QString& s) {
  SjisString out;
  out.reserve(static_cast<size_t>(s.size()) * 2);
  char buf[2];
  for (qsizetype i = 0; i < s.size(); ++i) {
    char32_t cp = s.at(i).unicode();
    if (QChar::isHighSurrogate(cp) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
      ++i;
      out.push_back('?');
      continue;
    }
    int n = EncodeCp932Char(cp, buf);
    if (n == 0) out.push_back('?');
    else out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

}  // namespace wendul
