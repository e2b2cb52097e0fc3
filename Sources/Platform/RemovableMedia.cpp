#include "Platform/RemovableMedia.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include "Platform/FileSystemInfo.hpp"

namespace zelvane {

namespace {

std::optional<std::string> readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buf[64];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n < 0) return std::nullopt;
    return std::string(buf, size_t(n));
}

std::optional<std::string> resolvedLink(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return std::nullopt;
    return std::string(buf, size_t(n));
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::optional<DriveFacts> driveFactsForPath(const std::string& path, const std::string& sysClassBlock) {
    const std::optional<MountEntry> mount = mountEntryForPath(path);
    if (!mount) return std::nullopt;
    DriveFacts facts;
    facts.isEjectable = startsWith(mount->mountPoint, "/media/") || startsWith(mount->mountPoint, "/run/media/");
    const std::optional<std::string> device = blockDeviceOfMountSource(mount->source);
    if (!device) return facts;

    // /sys/class/block/<partition> links into the device tree; a partition's folder sits inside
    // its disk's folder, which holds the "removable" flag.
    const std::string entry = sysClassBlock + "/" + *device;
    const std::optional<std::string> target = resolvedLink(entry);
    std::string diskEntry = entry;
    if (readSmallFile(entry + "/partition")) {
        if (target) {
            const size_t slash = target->find_last_of('/');
            if (slash != std::string::npos) {
                const std::string parent = target->substr(0, slash);
                diskEntry = sysClassBlock + "/" + parent.substr(parent.find_last_of('/') + 1);
            }
        }
    }
    if (const auto flag = readSmallFile(diskEntry + "/removable")) facts.isRemovable = !flag->empty() && (*flag)[0] == '1';
    if (target) {
        // Memory cards are left to the mount point: an internal eMMC sits on the same bus.
        const bool external = target->find("/usb") != std::string::npos || target->find("/firewire") != std::string::npos;
        facts.isInternal = !external;
    }
    return facts;
}

}  // namespace zelvane
