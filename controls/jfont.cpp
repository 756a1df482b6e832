#include "controls/jfont.h"

#include <QStringList>

namespace wendul {

namespace {

QFont Faces(bool proportional) {
  QFont f;
  if (proportional)
    f.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "IPAPGothic", QString::fromUtf8("IPAPゴシック"),
                   "Noto Sans CJK JP", "sans-serif"});
  else
    f.setFamilies({QString::fromUtf8("ＭＳ ゴシック"), "IPAGothic", QString::fromUtf8("IPAゴシック"),
                   "Noto Sans Mono CJK JP", "monospace"});
  f.setFixedPitch(!proportional);
  f.setStyleHint(proportional ? QFont::SansSerif : QFont::TypeWriter);
  return f;
}

}  // namespace

QFont JapaneseFont(bool proportional, int pixels) {
  QFont f = Faces(proportional);
  f.setPixelSize(pixels);
  return f;
}

QFont JapaneseFontPt(bool proportional, int points) {
  QFont f = Faces(proportional);
  f.setPointSize(points > 0 ? points : 1);
  return f;
}

}  // namespace wendul
