// Whether a folder lies on a network file system. SQLite's locking is not
// to be trusted over one (NFS, SMB, sshfs), so the program warns when its
// word table is kept there.
#pragma once

#include <string>
#include <string_view>

namespace wendul {

// The network file system holding the folder (or, when it does not exist
// yet, its nearest existing parent): "NFS", "SMB", "sshfs", ..., or empty
// for a local one or when it cannot be told.
std::string NetworkFileSystem(const std::string& folder);

// The same decision from what the system reports: the file system's magic
// number (statfs f_type) and, for FUSE, the mount table (/proc/self/mountinfo
// text) in which the mount holding `path` (an absolute, resolved path) is found.
std::string NetworkFileSystemOf(long magic, const std::string& path, std::string_view mountinfo);

}  // namespace wendul
