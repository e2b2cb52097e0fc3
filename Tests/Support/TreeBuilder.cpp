#include "TreeBuilder.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zelvane::testsupport {

FileNode* TreeBuilder::chain(FileNode* parent, int depth, std::string_view name) {
    for (int i = 0; i < depth; ++i) parent = folder(parent, name);
    return parent;
}

RootRef TreeBuilder::finish(FileNode* root) {
    root->aggregateSizes();
    return store_->handle(root);
}

namespace {

int32_t modificationDate(const struct stat& st) {
    return packDate(referenceSecondsFromUnix(double(st.st_mtim.tv_sec)));
}

}  // namespace

RootRef readTreeFromDisk(const std::string& path) {
    TreeBuilder tree;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("cannot read " + path);
    FileNode* root = S_ISDIR(st.st_mode) ? tree.root(path, modificationDate(st))
                                         : tree.fileRoot(path, st.st_size, int64_t(st.st_blocks) * 512, modificationDate(st));
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::pair<FileNode*, std::string>> pending{{root, path}};
    while (!pending.empty()) {
        auto [folder, folderPath] = std::move(pending.back());
        pending.pop_back();
        if (!folder->isDir()) continue;
        std::vector<std::string> names;
        if (DIR* d = ::opendir(folderPath.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string_view name = e->d_name;
                if (name != "." && name != "..") names.emplace_back(name);
            }
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::string childPath = folderPath + "/" + name;
            if (::lstat(childPath.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                pending.emplace_back(tree.folder(folder, name, modificationDate(st)), std::move(childPath));
                continue;
            }
            FileNode* file = tree.file(folder, name, st.st_size, int64_t(st.st_blocks) * 512, modificationDate(st));
            if (st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second) file->setDoNotCountAllocated(true);
        }
    }
    return tree.finish(root);
}

FileNode* childNamed(const FileNode* folder, std::string_view name) {
    for (FileNode* child : folder->children())
        if (child->name() == name) return child;
    return nullptr;
}

FileNode* nodeAt(FileNode* root, std::string_view relative) {
    FileNode* node = root;
    while (node && !relative.empty()) {
        const size_t slash = relative.find('/');
        node = childNamed(node, relative.substr(0, slash));
        relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
    }
    return node;
}

std::vector<FileNode*> preOrder(FileNode* root) {
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

}  // namespace zelvane::testsupport
