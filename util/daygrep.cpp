#include "util/daygrep.h"

#include <cmath>

#include "util/daylog.h"
#include "util/doctext.h"
#include "util/paths.h"

namespace wendul {

namespace {

constexpr int kMaxDays = 36500;  // i = 0 .. 36500
constexpr size_t kExcerptBytes = 200;

}  // namespace

DayGrep::DayGrep(std::string logFolder, const SjisString& word, TDateTime today, TDateTime earliest)
    : folder_(AddBackslash(logFolder)),
      finder_(word),
      today_(std::trunc(today)),
      earliest_(std::trunc(earliest)) {
  done_ = finder_.Empty();
}

bool DayGrep::Next(DayHit* hit, bool* found) {
  *found = false;
  if (done_) return false;
  if (step_ > kMaxDays || today_ - step_ < earliest_) {
    done_ = true;
    return false;
  }
  const TDateTime day = today_ - step_++;
  const std::string rel = DayLogRelPath(day);
  const std::string path = folder_ + rel;
  // A missing day (or month folder) costs one failed open and nothing more.
  if (!ReadWholeFile(path, &buffer_)) return true;
  lastFile_ = path;
  // A day kept in another encoding is searched as the editor shows it.
  if (const DocCodec codec = DetectCodec(buffer_); codec != DocCodec{})
    buffer_ = SystemText(DecodeDocument(buffer_, codec));
  const size_t at = finder_.Find(buffer_);
  if (at == SjisFinder::npos) return true;
  hit->day = day;
  hit->relPath = rel;
  hit->pos = at;
  hit->line = LineOfPos(buffer_, at);
  hit->text = CutAtChar(buffer_, ContextStart(buffer_, at), kExcerptBytes);
  *found = true;
  return true;
}

}  // namespace wendul
