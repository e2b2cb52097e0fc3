#include "ScanEngine/Scan/VolumeChecks.hpp"

#include <vector>

#include "Platform/FileSystemInfo.hpp"

namespace zelvane {

std::optional<std::string> containerDiskID(const std::string& path) {
    auto m = mountEntryForPath(path);
    if (!m) return std::nullopt;
    return blockDeviceOfMountSource(m->source);
}

bool isDifferentVolume(const std::string& childPath, uint64_t rootDevID,
                       const std::optional<std::string>& rootContainerID) {
    auto st = statPath(childPath);
    if (!st) return true;
    if (st->dev == rootDevID) return false;
    if (!rootContainerID) return true;
    auto child = containerDiskID(childPath);
    if (!child) return true;
    return *child != *rootContainerID;
}

bool isKnownAlwaysProtectedPath(const std::string&) { return false; }

std::string standardizePath(std::string_view path) {
    bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string_view::npos) slash = path.size();
        std::string_view c = path.substr(i, slash - i);
        i = slash + 1;
        if (c.empty() || c == ".") continue;
        if (c == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(c);
            continue;
        }
        parts.push_back(c);
    }
    std::string out;
    if (absolute) out.push_back('/');
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out.push_back('/');
        out.append(parts[k]);
    }
    if (out.empty()) out = absolute ? "/" : ".";
    return out;
}

bool isDataVolumeMirror(std::string_view parentPath, std::string_view name) {
    if (name != "Data") return false;
    std::string p(parentPath);
    p.push_back('/');
    p.append(name);
    return standardizePath(p) == kDataVolumeMirrorPath;
}

}  // namespace zelvane
