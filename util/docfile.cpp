#include "util/docfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/codec.h"
#include "util/doccodec.h"
#include "util/paths.h"

namespace wendul {

namespace {

SjisString J(std::string_view utf8) { return Utf8ToSjis(utf8); }

}  // namespace

SjisString DisplayName(std::string_view path) {
  if (!IsValidUtf8(path)) return SjisString(path);
  SjisString out;
  out.reserve(path.size());
  char buf[2];
  for (size_t i = 0; i < path.size();) {
    unsigned char b = static_cast<unsigned char>(path[i]);
    int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(path[i + k]) & 0x3F);
    int n = EncodeCp932Char(cp, buf);
    if (n == 0) out.push_back('?');
    else out.append(buf, static_cast<size_t>(n));
    i += static_cast<size_t>(len);
  }
  return out;
}

std::string DisplayNameUtf8(std::string_view path) {
  return IsValidUtf8(path) ? std::string(path) : SjisToUtf8(path);
}

SjisString FileErrorReason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return J("アクセスが許可されていません");
    case EROFS: return J("読み取り専用の場所です");
    case ENOSPC:
    case EDQUOT: return J("ディスクの空きが足りません");
    case ENOENT:
    case ENOTDIR: return J("そのフォルダーがありません");
    case ENAMETOOLONG: return J("ファイル名が長すぎます");
    case EISDIR: return J("同じ名前のフォルダーがあります");
    case EINVAL:
    case EILSEQ: return J("ファイル名が正しくありません");
    case EIO: return J("入出力エラーが起きました");
    case EMFILE:
    case ENFILE: return J("開いているファイルが多すぎます");
    case EBUSY:
    case ETXTBSY: return J("ファイルが使用中です");
    default: break;
  }
  return DisplayName(std::strerror(error));
}

DocRead ReadDocFile(const std::string& path, int64_t maxBytes) {
  DocRead r;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    r.error = errno;
    r.result = (errno == ENOENT) ? DocReadResult::Missing : DocReadResult::Failed;
    if (errno == EACCES) r.result = DocReadResult::Unreadable;
    return r;
  }
  if (S_ISDIR(st.st_mode)) {
    r.result = DocReadResult::Folder;
    return r;
  }
  if (!S_ISREG(st.st_mode)) {
    // A pipe or a device would block or never end.
    r.result = DocReadResult::NotRegular;
    return r;
  }
  r.size = static_cast<int64_t>(st.st_size);
  if (r.size > maxBytes) {
    r.result = DocReadResult::TooLarge;
    return r;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    r.error = errno;
    r.result = (errno == EACCES || errno == EPERM) ? DocReadResult::Unreadable : DocReadResult::Failed;
    return r;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // replaced since the look
    ::close(fd);
    r.result = DocReadResult::NotRegular;
    return r;
  }
  r.bytes.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  for (;;) {
    if (done == r.bytes.size()) {
      // The file may have grown since; read on up to the limit.
      if (static_cast<int64_t>(done) >= maxBytes) break;
      r.bytes.resize(std::min<size_t>(done + 65536, static_cast<size_t>(maxBytes) + 1));
    }
    ssize_t n = ::read(fd, r.bytes.data() + done, r.bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      r.error = errno;
      ::close(fd);
      r.bytes.clear();
      r.result = DocReadResult::Failed;
      return r;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  r.bytes.resize(done);
  r.size = static_cast<int64_t>(done);
  if (r.size > maxBytes) {
    r.bytes.clear();
    r.result = DocReadResult::TooLarge;
    return r;
  }
  r.result = DocReadResult::Ok;
  return r;
}

SjisString DocReadMessage(const std::string& path, const DocRead& r) {
  const SjisString name = DisplayName(path);
  switch (r.result) {
    case DocReadResult::Ok: return {};
    case DocReadResult::Missing: return name + J(" が見つかりません");
    case DocReadResult::Folder: return name + J(" はフォルダーです。開くファイルを指定してください。");
    case DocReadResult::NotRegular: return name + J(" は通常のファイルではないため開けません。");
    case DocReadResult::Unreadable: return name + J(" を開けません。読み取りが許可されていません。");
    case DocReadResult::TooLarge:
      return name + J(" は大きすぎるため開けません（") + std::to_string((r.size + (1 << 20) - 1) >> 20) +
             J(" MB）。開けるのは ") + std::to_string(kMaxDocBytes >> 20) + J(" MB までのファイルです。");
    case DocReadResult::Failed: break;
  }
  return name + J(" を読み込めませんでした（") + FileErrorReason(r.error) + J("）。");
}

bool SaveDocFile(const std::string& path, std::string_view bytes, SjisString* message) {
  auto fail = [&](int error) {
    if (message)
      *message = DisplayName(path) + J(" に保存できませんでした（") + FileErrorReason(error) + J("）。\r\n") +
                 J("ディスク上のファイルは元のままです。文章は変更されたまま残っています。");
    return false;
  };
  if (path.empty() || path.back() == '/') return fail(EISDIR);
  AtomicFile file;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (!S_ISREG(st.st_mode)) return fail(EINVAL);
    // The rename would replace a file its owner made read-only (with no
    // write permission for anyone it is read-only for root too).
    if (access(path.c_str(), W_OK) != 0) return fail(errno);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return fail(EACCES);
  }
  if (!file.Open(path)) return fail(file.ErrorCode());
  if (!file.Write(bytes) || !file.Commit()) return fail(file.ErrorCode());
  return true;
}

std::string DiskStamp(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

}  // namespace wendul
