#pragma once

// Real folders in a temporary directory, and the reader that turns one into a node tree.

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "TempFolder.hpp"
#include "TreeBuilder.hpp"

namespace zelvane::testing {

using TempDir = testsupport::TempFolder;

inline void makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdir " + path);
}

inline void writeFile(const std::string& path, size_t bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("open " + path);
    std::string data(bytes, 'x');
    size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(fd, data.data() + done, bytes - done);
        if (n <= 0) break;
        done += size_t(n);
    }
    ::close(fd);
}

// The tree below `path`, read as a scan reads it; children by name, folders found by path.
inline RootRef readTree(const std::string& path) { return testsupport::readTreeFromDisk(path); }
using testsupport::nodeAt;
inline FileNode* child(FileNode* folder, std::string_view name) { return testsupport::childNamed(folder, name); }

}  // namespace zelvane::testing
