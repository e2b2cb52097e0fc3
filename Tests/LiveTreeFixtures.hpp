#pragma once

// Real folders in a temporary directory, and a small reader that turns one into a node tree.

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

// The tree below `path` (symbolic links are entries, never followed), totals rolled up.
inline RootRef readTree(const std::string& path) {
    auto store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("lstat " + path);
    FileNode* root = arena.makeRoot(path, S_ISDIR(st.st_mode), st.st_size, st.st_blocks * 512, 0);
    std::vector<std::pair<std::string, FileNode*>> stack{{path, root}};
    while (!stack.empty()) {
        auto [dirPath, folder] = std::move(stack.back());
        stack.pop_back();
        if (!folder->isDir()) continue;
        DIR* d = ::opendir(dirPath.c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            std::string childPath = dirPath + "/" + name;
            if (::lstat(childPath.c_str(), &st) != 0) continue;
            const bool isDir = S_ISDIR(st.st_mode);
            FileNode* child = arena.makeNode(name, isDir, isDir ? 0 : st.st_size, isDir ? 0 : st.st_blocks * 512, 0);
            folder->appendChild(arena, child);
            if (isDir) stack.emplace_back(childPath, child);
        }
        ::closedir(d);
    }
    root->aggregateSizes();
    return store->handle(root);
}

// A child by exact name, or null.
inline FileNode* child(FileNode* folder, std::string_view name) {
    for (FileNode* c : folder->children())
        if (c->name() == name) return c;
    return nullptr;
}

// A node by relative path ("a/b/c"), or null.
inline FileNode* nodeAt(FileNode* root, std::string_view rel) {
    FileNode* n = root;
    while (n && !rel.empty()) {
        size_t slash = rel.find('/');
        n = child(n, rel.substr(0, slash));
        rel = slash == std::string_view::npos ? std::string_view() : rel.substr(slash + 1);
    }
    return n;
}

}  // namespace zelvane::testing
