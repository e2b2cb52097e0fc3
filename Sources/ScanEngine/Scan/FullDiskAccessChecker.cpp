#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"

#include "Platform/SandboxAccess.hpp"

namespace zelvane {

bool FullDiskAccessChecker::hasFullDiskAccess() { return hasHostFileSystemAccess(); }

}  // namespace zelvane
