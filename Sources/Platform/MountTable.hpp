#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

// One line of /proc/self/mountinfo.
struct MountEntry {
    uint64_t device = 0;     // makedev(major, minor) of the mounted file system
    std::string mountPoint;  // unescaped
    std::string fsType;      // "ext4", "nfs4", "fuse.sshfs", ...
    std::string source;      // "/dev/nvme0n1p2", "server:/export", "tmpfs", ...
    std::string root;        // the part of the file system mounted here ("/" for a whole one)
    bool isRemote = false;   // a network file system
};

// The kernel's mount table, parsed from mountinfo text. Later lines hide earlier ones at the same
// mount point, as the kernel stacks them.
class MountTable final {
public:
    static MountTable parse(std::string_view mountinfoText);
    // The current process's table (read once per call), the root file system always among it.
    static MountTable current();
    // What `stat` and `statfs` tell of "/": its device and type, as a mount at "/". In a chroot
    // or a container the kernel may list the root file system elsewhere or not at all.
    static MountEntry rootFileSystem();
    // Puts `root` in front when no mount sits at "/", so every absolute path has a mount.
    void addRootIfMissing(MountEntry root);

    const std::vector<MountEntry>& entries() const { return entries_; }
    // The mount whose mount point is the longest prefix of `absolutePath` (the last one wins).
    const MountEntry* mountContaining(std::string_view absolutePath) const;

    static bool isRemoteFileSystemType(std::string_view fsType);

private:
    std::vector<MountEntry> entries_;
};

}  // namespace zelvane
