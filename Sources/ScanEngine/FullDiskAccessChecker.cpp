#include "FullDiskAccessChecker.hpp"

#include "SandboxAccess.hpp"

namespace zelvane {

bool FullDiskAccessChecker::hasFullDiskAccess() { return hasHostFileSystemAccess(); }

}  // namespace zelvane
