#include "TestTrees.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zelvane::fixtures {

void writeFile(const std::filesystem::path& path, int64_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string chunk(4096, 'x');
    for (int64_t left = size; left > 0; left -= int64_t(chunk.size()))
        out.write(chunk.data(), std::streamsize(std::min<int64_t>(left, int64_t(chunk.size()))));
    if (!out) throw std::runtime_error("write failed: " + path.string());
}

void writePhotosMusicAndNotes(const std::filesystem::path& root) {
    for (int i = 0; i < 8; ++i) writeFile(root / ("Photos/img" + std::to_string(i) + ".jpg"), 40000 + i * 1000);
    for (int i = 0; i < 3; ++i) writeFile(root / ("Music/Album/track" + std::to_string(i) + ".mp3"), 90000);
    writeFile(root / "notes.txt", 1200);
}

RootRef loadTreeFromDisk(const std::filesystem::path& rootPath) {
    auto store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    struct stat st {};
    if (lstat(rootPath.c_str(), &st) != 0) throw std::runtime_error("lstat failed");
    FileNode* root = arena.makeRoot(rootPath.string(), S_ISDIR(st.st_mode), st.st_size, int64_t(st.st_blocks) * 512, 0);
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::pair<FileNode*, std::filesystem::path>> pending{{root, rootPath}};
    while (!pending.empty()) {
        auto [folder, path] = pending.back();
        pending.pop_back();
        if (!folder->isDir()) continue;
        std::vector<std::filesystem::path> entries;
        for (const auto& e : std::filesystem::directory_iterator(path)) entries.push_back(e.path());
        std::sort(entries.begin(), entries.end());
        std::vector<FileNode*> kids;
        for (const auto& p : entries) {
            if (lstat(p.c_str(), &st) != 0) continue;
            const bool dir = S_ISDIR(st.st_mode);
            FileNode* node = arena.makeNode(p.filename().string(), dir, dir ? 0 : st.st_size,
                                            dir ? 0 : int64_t(st.st_blocks) * 512, 0);
            if (!dir && st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second)
                node->setDoNotCountAllocated(true);
            kids.push_back(node);
            if (dir) pending.emplace_back(node, p);
        }
        folder->setChildren(arena, kids);
    }
    root->aggregateSizes();
    return store->handle(root);
}

FileNode* childNamed(FileNode* folder, std::string_view name) {
    for (FileNode* k : folder->children())
        if (k->name() == name) return k;
    return nullptr;
}

}  // namespace zelvane::fixtures
