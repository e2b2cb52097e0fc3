#pragma once

#include <map>
#include <optional>
#include <string>

namespace zelvane {

// The labels of labelled file systems by the device that holds them, with every link of the device
// path resolved ("/dev/sdb1" -> "USB STICK"), as /dev/disk/by-label names them (bytes escaped
// there as \xNN come back as they were). Empty when the system keeps no such folder.
std::map<std::string, std::string> fileSystemLabelsByDevice();

// `path` with every symbolic link, "." and ".." resolved; none when it cannot be resolved.
std::optional<std::string> resolvedPath(const std::string& path);

}  // namespace zelvane
