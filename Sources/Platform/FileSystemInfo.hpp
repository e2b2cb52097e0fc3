#pragma once

// File and file-system facts that the scanners need beyond the bulk listing: `stat` with birth
// time and file flags, `statfs` with the mount source and whether the file system is local, the
// mount table, and the process's descriptor ceiling.

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/BulkAttributes.hpp"
#include "Platform/MountTable.hpp"

namespace zelvane {

struct PathStat {
    uint64_t dev = 0;  // full 64-bit device number
    uint64_t ino = 0;
    uint32_t mode = 0;
    uint32_t uid = 0;
    uint32_t nlink = 0;
    int64_t size = 0;
    int64_t blocks512 = 0;
    timespec64 mtime;
    timespec64 atime;
    timespec64 btime;        // zero when the file system does not know it
    uint32_t flags = 0;      // UF_* bits as the bulk records carry them
    bool isDir() const;
};

// `stat` (following symbolic links unless `followLinks` is false); errno is kept on failure.
std::optional<PathStat> statPath(const std::string& path, bool followLinks = true);

struct FileSystemStat {
    int64_t blockSize = 0;  // f_bsize
    bool isLocal = true;
    std::string mountSource;
    std::string fsType;
};

// `statfs` plus the path's mount entry. errno is kept on failure.
std::optional<FileSystemStat> statfsPath(const std::string& path);

// The mount entry holding `path` (by device number, else by the longest mount point), if any.
// The mount table is read once and read again only after the kernel reports a change to it.
std::optional<MountEntry> mountEntryForPath(const std::string& path);

// The block device name of a mount source ("/dev/nvme0n1p2" -> "nvme0n1p2"); none for sources
// that are not devices (network shares, tmpfs, proc, overlay).
std::optional<std::string> blockDeviceOfMountSource(std::string_view source);

// /proc/sys/fs/nr_open: the most descriptors a process may be allowed; 0 when unreadable.
int64_t systemMaxFilesPerProcess();

// Refusals that a restart with administrator rights can fix: on Linux both EACCES and EPERM.
inline bool isPermissionError(int err) { return err == EACCES || err == EPERM; }

}  // namespace zelvane
