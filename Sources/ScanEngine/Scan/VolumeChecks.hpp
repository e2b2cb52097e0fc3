#pragma once

// Where a scan stops: other volumes, the data volume's mirror path, and which refused folders
// are worth reporting. These keep no state and may run on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

// The block device a path's file system lives on (e.g. "nvme0n1p2"), so that subvolumes of one
// device share it; none for virtual and network file systems or when the path cannot be read.
std::optional<std::string> containerDiskID(const std::string& path);

// True when the folder at `childPath` is not to be read as part of the root's volume: it cannot
// be stat'ed, or it lies on another device that is not in the root's container.
bool isDifferentVolume(const std::string& childPath, uint64_t rootDevID,
                       const std::optional<std::string>& rootContainerID);

// Folders that even an administrator cannot read. Linux has none.
bool isKnownAlwaysProtectedPath(const std::string& path);

// Lexical standardisation: empty and "." components dropped, ".." resolved, no trailing slash.
std::string standardizePath(std::string_view path);

// The path that mirrors the data volume inside the system volume; never read twice.
inline constexpr std::string_view kDataVolumeMirrorPath = "/System/Volumes/Data";

// Whether a child folder named `name` inside `parentPath` standardises to the mirror path.
// Cheap for every other name (the test only builds a path for a child named "Data").
bool isDataVolumeMirror(std::string_view parentPath, std::string_view name);

}  // namespace zelvane
