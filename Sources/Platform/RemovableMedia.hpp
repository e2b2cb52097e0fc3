#pragma once

#include <optional>
#include <string>

namespace zelvane {

// What the system tells about the drive that holds a path.
struct DriveFacts {
    std::optional<bool> isInternal;   // false for a drive on USB or FireWire
    std::optional<bool> isRemovable;  // the kernel's "removable" flag of the whole disk
    std::optional<bool> isEjectable;  // mounted where desktops mount media (/media, /run/media)
};

// Facts for the file system holding `path`: the block device of its mount is looked up in
// /sys/class/block (the partition's disk, its "removable" flag and whether it hangs off a USB or
// FireWire bus); the mount point tells whether a desktop mounted it as media. None when the
// path's mount cannot be found; single facts stay unknown when the system does not say.
std::optional<DriveFacts> driveFactsForPath(const std::string& path, const std::string& sysClassBlock = "/sys/class/block");

}  // namespace zelvane
