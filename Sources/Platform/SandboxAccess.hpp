#pragma once

// Linux has no per-application privacy gate; only sandboxes (Flatpak, strictly confined Snap)
// keep a program from the host's files.

#include <string_view>

namespace zelvane {

// True unless the process runs in a sandbox without access to the host file system.
bool hasHostFileSystemAccess();

// The decisions, apart from the files they read.
// The `filesystems=` key of the [Context] section of /.flatpak-info grants "host" (everything).
bool flatpakInfoGrantsHost(std::string_view flatpakInfo);
// The AppArmor label of /proc/self/attr/current names an enforced snap profile.
bool isStrictSnapLabel(std::string_view label);

}  // namespace zelvane
