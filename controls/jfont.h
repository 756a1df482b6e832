// The system's Japanese fonts. "ＭＳ ゴシック" and "ＭＳ Ｐゴシック" are asked for by
// name first; on Linux the IPA fonts stand in for them.
#pragma once

#include <QFont>

namespace wendul {

// Fixed pitch ("ＭＳ ゴシック") or proportional ("ＭＳ Ｐゴシック"), in pixels.
QFont JapaneseFont(bool proportional, int pixels);

// The same faces at a size in points (labels of the option controls).
QFont JapaneseFontPt(bool proportional, int points);

}  // namespace wendul
