#pragma once

// Builds a node tree from a real directory made in a temporary folder, so that the filters are
// tested on names and sizes as the file system gives them.

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "TempFolder.hpp"

namespace zelvane::testing {

using TempDir = testsupport::TempFolder;

// Writes `size` bytes and sets the modification time (Unix seconds).
inline void writeFile(const std::string& path, size_t size, long mtimeUnix = 1700000000) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    std::string data(size, 'x');
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    struct timeval tv[2] = {{mtimeUnix, 0}, {mtimeUnix, 0}};
    utimes(path.c_str(), tv);
}

inline void makeDir(const std::string& path) { std::filesystem::create_directories(path); }

// Reads the tree below `rootPath` (symbolic links are entries, never followed); children are in
// byte order of their names. Folder totals are rolled up.
inline RootRef loadTree(const std::string& rootPath) {
    auto store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    struct stat st{};
    if (lstat(rootPath.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + rootPath);
    auto packed = [](const struct stat& s) { return packDate(referenceSecondsFromUnix(double(s.st_mtim.tv_sec))); };
    FileNode* root = arena.makeRoot(rootPath, S_ISDIR(st.st_mode), st.st_size, st.st_blocks * 512, packed(st));
    std::vector<std::pair<FileNode*, std::string>> stack{{root, rootPath}};
    while (!stack.empty()) {
        auto [node, path] = stack.back();
        stack.pop_back();
        if (!node->isDir()) continue;
        DIR* d = opendir(path.c_str());
        if (!d) continue;
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            std::string childPath = path + "/" + n;
            if (lstat(childPath.c_str(), &st) != 0) continue;
            bool dir = S_ISDIR(st.st_mode);
            FileNode* child = arena.makeNode(n, dir, dir ? 0 : st.st_size, dir ? 0 : st.st_blocks * 512, packed(st));
            node->appendChild(arena, child);
            if (dir) stack.push_back({child, childPath});
        }
    }
    root->aggregateSizes();
    return store->handle(root);
}

// Every node of the subtree in pre-order (children in array order).
inline std::vector<FileNode*> preOrder(FileNode* root) {
    std::vector<FileNode*> out;
    std::vector<FileNode*> stack{root};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        auto kids = n->children();
        for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
    }
    return out;
}

inline FileNode* findByPath(FileNode* root, const std::string& relative) {
    for (FileNode* n : preOrder(root))
        if (n->fullPath() == root->fullPath() + "/" + relative) return n;
    return nullptr;
}

}  // namespace zelvane::testing
