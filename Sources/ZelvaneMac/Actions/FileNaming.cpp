#include "ZelvaneMac/Actions/FileNaming.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>


namespace zelvane {

NameParts splitExtension(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

std::string archiveName(const std::string& stem, int n) {
    return n <= 1 ? stem + ".zip" : stem + " " + std::to_string(n) + ".zip";
}

std::string siblingName(const NameParts& parts, const std::string& suffix, int n) {
    std::string name = parts.stem + suffix;
    if (n > 1) name += " " + std::to_string(n);
    if (!parts.extension.empty()) name += "." + parts.extension;
    return name;
}

std::string firstFreeName(int folderFd, const std::function<std::string(int)>& nameFor,
                          const std::set<std::string>& reserved) {
    for (int n = 1; n < 1000000; ++n) {
        std::string name = nameFor(n);
        if (reserved.count(name)) continue;
        struct stat st {};
        if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (errno == ENOENT) return name;
        if (errno != ENAMETOOLONG) return {};
        return name;  // creating it reports the reason
    }
    return {};
}

}  // namespace zelvane
