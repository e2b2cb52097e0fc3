#include "Platform/FileSystemLabels.hpp"

#include <dirent.h>

#include <cctype>
#include <climits>
#include <cstdlib>

namespace zelvane {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescapeLabel(const char* name) {
    std::string out;
    for (const char* c = name; *c; ++c) {
        if (c[0] == '\\' && c[1] == 'x' && hexValue(c[2]) >= 0 && hexValue(c[3]) >= 0) {
            out.push_back(char(hexValue(c[2]) * 16 + hexValue(c[3])));
            c += 3;
        } else {
            out.push_back(*c);
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (path.empty() || !::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

std::map<std::string, std::string> fileSystemLabelsByDevice() {
    std::map<std::string, std::string> labels;
    DIR* d = ::opendir("/dev/disk/by-label");
    if (!d) return labels;
    while (const dirent* entry = ::readdir(d)) {
        if (entry->d_name[0] == '.') continue;
        if (auto device = resolvedPath(std::string("/dev/disk/by-label/") + entry->d_name))
            labels.emplace(std::move(*device), unescapeLabel(entry->d_name));
    }
    ::closedir(d);
    return labels;
}

}  // namespace zelvane
