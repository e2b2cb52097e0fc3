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
#include "TreeBuilder.hpp"

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

using testsupport::readTreeFromDisk;

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
