#include "util/netfs.h"

#include <sys/vfs.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace wendul {

namespace {

// A mount point of the mount table, "\040" and the like decoded.
std::string Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const std::string_view oct = s.substr(i + 1, 3);
      if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string_view::npos) {
        out += static_cast<char>((oct[0] - '0') * 64 + (oct[1] - '0') * 8 + (oct[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool Holds(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return true;
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The file system type of the innermost mount holding path, from mountinfo.
std::string MountType(const std::string& path, std::string_view mountinfo) {
  std::string best, type;
  std::istringstream lines{std::string(mountinfo)};
  for (std::string line; std::getline(lines, line);) {
    // id parent major:minor root mount-point options [optional...] - type source super-options
    std::istringstream f(line);
    std::string id, parent, dev, root, point;
    if (!(f >> id >> parent >> dev >> root >> point)) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream rest(line.substr(dash + 3));
    std::string fstype;
    if (!(rest >> fstype)) continue;
    point = Unescape(point);
    if (Holds(point, path) && point.size() >= best.size()) {
      best = point;
      type = fstype;
    }
  }
  return type;
}

}  // namespace

std::string NetworkFileSystemOf(long magic, const std::string& path, std::string_view mountinfo) {
  switch (static_cast<unsigned long>(magic) & 0xFFFFFFFFul) {
    case 0x6969: return "NFS";
    case 0x517B: case 0xFF534D42: case 0xFE534D42: return "SMB";
    case 0x564C: return "NCP";
    case 0x73757245: return "Coda";
    case 0x5346414F: case 0x6B414653: return "AFS";
    case 0x01021997: return "9P";
    case 0x00C36400: return "Ceph";
    case 0x47504653: return "GPFS";
    case 0x0BD00BD0: return "Lustre";
    case 0x65735546: {  // FUSE: the mount table names the program behind it
      const std::string type = MountType(path, mountinfo);
      for (const char* net : {"sshfs", "rclone", "s3fs", "gcsfuse", "davfs", "curlftpfs", "glusterfs"})
        if (type == std::string("fuse.") + net || type == net) return net;
      return {};
    }
    default: return {};
  }
}

std::string NetworkFileSystem(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = fs::absolute(folder.empty() ? "." : folder, ec);
  while (!p.empty() && !fs::exists(p, ec) && p != p.root_path()) p = p.parent_path();
  const fs::path real = fs::canonical(p, ec);
  if (ec) return {};
  struct statfs st {};
  if (::statfs(real.c_str(), &st) != 0) return {};
  std::string mountinfo;
  if (st.f_type == 0x65735546) {
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream s;
    s << in.rdbuf();
    mountinfo = s.str();
  }
  return NetworkFileSystemOf(static_cast<long>(st.f_type), real.string(), mountinfo);
}

}  // namespace wendul
