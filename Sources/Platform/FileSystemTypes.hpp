#pragma once

#include <string>
#include <string_view>

namespace zelvane {

// The file-system types this program treats specially, by the name the mount table gives and by
// the number `statfs` reports. One table holds both, so the scanner, the watcher and the volume
// list agree on what a pseudo file system is.

// The mount-table name for a `statfs` type number; empty when the number is not known here.
// ext2, ext3 and ext4 share one number and read as "ext4".
std::string fileSystemTypeName(unsigned long magic);

// Kernel file systems that hold no user data (proc, sysfs, cgroup, ...): never worth a watch, and
// never a volume a person picks.
bool isPseudoFileSystem(std::string_view typeName);
bool isPseudoFileSystemMagic(unsigned long magic);

// Parts of the running system rather than volumes a person picks: memory-backed file systems,
// container layers, images of installed packages and the desktop's helper mounts.
bool isSystemLayerFileSystem(std::string_view typeName);

}  // namespace zelvane
