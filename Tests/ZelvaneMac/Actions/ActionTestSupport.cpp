#include "ActionTestSupport.hpp"

namespace zelvane::testing {

const std::vector<std::string>& hostileNames() {
    static const std::vector<std::string> names = {
        "bad\xff\xfe name.txt", "quote\"d 'name'.txt", "new\nline.txt", "-rf.txt", "back\\slash.txt",
        "<b>bold<i>.txt", "plain.txt",
    };
    return names;
}

std::set<std::string> snapshot(const std::filesystem::path& root) {
    std::set<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator(); ++it) {
        std::string rel = it->path().native().substr(root.native().size());
        if (it->is_symlink()) out.insert(rel + " -> " + std::filesystem::read_symlink(it->path()).native());
        else if (it->is_directory()) out.insert(rel + " <dir>");
        else out.insert(rel + " = " + readText(it->path()));
    }
    return out;
}

FileNode* child(FileNode* folder, const std::string& nameBytes) {
    for (FileNode* c : folder->children())
        if (c->nameBytes() == nameBytes) return c;
    return nullptr;
}

}  // namespace zelvane::testing
