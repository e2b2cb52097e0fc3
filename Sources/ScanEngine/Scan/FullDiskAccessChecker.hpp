#pragma once

namespace zelvane {

// Whether the program may read the whole file system. Linux has no per-application privacy
// gate: only a Flatpak or Snap sandbox without host file-system access answers false.
struct FullDiskAccessChecker final {
    static bool hasFullDiskAccess();
};

}  // namespace zelvane
