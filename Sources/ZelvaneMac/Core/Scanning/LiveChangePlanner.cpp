#include "ZelvaneMac/Core/Scanning/LiveChangePlanner.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cerrno>

#include "Platform/FileSystemInfo.hpp"
#include "Platform/ItemAccess.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {

namespace {

// The folded form of a name for the case-insensitive fallback: full Unicode upper-casing (a sharp
// s becomes SS), then canonical composition so that precomposed and decomposed accents meet.
std::u16string foldedKey(std::u16string_view name) {
    icu::UnicodeString s(false, reinterpret_cast<const UChar*>(name.data()), int32_t(name.size()));
    icu::UnicodeString upper(s);
    upper.toUpper(icu::Locale::getRoot());
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString key = U_SUCCESS(status) ? nfc->normalize(upper, status) : upper;
    if (U_FAILURE(status)) key = upper;
    return std::u16string(reinterpret_cast<const char16_t*>(key.getBuffer()), size_t(key.length()));
}

// Whether the event's path names the node by the node's own name, byte for byte, rather than
// by another spelling that found it (a root is named by its path).
bool reportsOwnName(std::string_view path, const FileNode& node) {
    if (node.isRoot()) return true;
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const size_t slash = path.rfind('/');
    std::string name;
    node.appendNameBytes(name);
    return path.substr(slash == std::string_view::npos ? 0 : slash + 1) == name;
}

}  // namespace

OnDisk onDisk(const FileNode& node) {
    const std::string path = node.pathBytes();
    bool isDir = false;
    uint64_t inode = 0;
    if (node.isRoot()) {
        auto st = statPath(path, true);
        if (!st) return OnDisk::gone;
        isDir = st->isDir();
        inode = st->ino;
    } else if (auto st = statPath(path, false)) {
        isDir = st->isDir();
        inode = st->ino;
    } else {
        // Deeper than the system takes a path at once: looked at from the folder that holds it.
        ItemFacts facts;
        if (errno != ENAMETOOLONG || readItemFacts(path, facts) != 0) return OnDisk::gone;
        isDir = facts.isDir();
        inode = facts.inode;
    }
    if (isDir != node.isDir() || (node.fileID != 0 && inode != node.fileID)) return OnDisk::replaced;
    return OnDisk::same;
}

LinksLeftOut gatherLinksLeftOut(FileNode* root) {
    LinksLeftOut links;
    forEachFileBelow(root, [&links](FileNode* n) {
        if (n->doNotCountAllocated() && n->fileID != 0 && !n->isDeleted()) links.emplace(n->fileID, n);
    });
    return links;
}

void TreePathIndex::find(std::string_view path, std::span<const FollowedTree> trees, std::vector<FileNode*>& found,
                         bool exactOnly, const FileNode* skipRoot) {
    found.clear();
    for (const FollowedTree& t : trees) {
        if (t.root.get() == skipRoot) continue;
        if (path == t.path) {
            found.push_back(t.root.get());
            continue;
        }
        std::string_view prefix = t.path;
        const bool addSlash = prefix.empty() || prefix.back() != '/';
        if (path.size() > prefix.size() && path.starts_with(prefix) && (!addSlash || path[prefix.size()] == '/'))
            if (FileNode* node = findBelow(t.root.get(), path.substr(prefix.size() + (addSlash ? 1 : 0)), exactOnly))
                found.push_back(node);
    }
}

FileNode* TreePathIndex::findBelow(FileNode* root, std::string_view rest, bool exactOnly) {
    FileNode* node = root;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        std::string_view piece = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (piece.empty()) continue;
        nameScratch_.resize(piece.size());
        nameScratch_.resize(decodeNameUTF8(piece, nameScratch_.data()));
        node = childByName(nameScratch_, node, exactOnly);
        if (!node) return nullptr;
    }
    return node;
}

FileNode* TreePathIndex::childByName(std::u16string_view name, FileNode* folder, bool exactOnly) {
    auto [it, fresh] = children_.try_emplace(folder);
    ChildLookup& lookup = it->second;
    if (fresh) {
        auto kids = folder->children();
        lookup.exact.reserve(kids.size());
        // A name shown deleted may be taken again by a file renamed in the window: the
        // name belongs to the one that is still there.
        for (FileNode* child : kids) {
            auto [slot, inserted] = lookup.exact.try_emplace(child->name16(), child);
            if (!inserted && slot->second->isDeleted()) slot->second = child;
        }
    }
    if (auto hit = lookup.exact.find(name); hit != lookup.exact.end()) return hit->second;
    if (exactOnly) return nullptr;
    // Names that differ only in case are different files on most Linux file systems: the folded
    // match serves case-insensitive ones and is taken only when it names a single child.
    if (!lookup.foldedBuilt) {
        lookup.foldedBuilt = true;
        for (FileNode* child : folder->children()) {
            auto childName = child->nameUnits();
            auto [slot, inserted] = lookup.folded.try_emplace(foldedKey(childName), child);
            if (!inserted) slot->second = nullptr;
        }
    }
    auto hit = lookup.folded.find(foldedKey(name));
    return hit == lookup.folded.end() ? nullptr : hit->second;
}

bool LiveChangePlanner::goneOrPlanned(const FileNode* node) const {
    if (node->isDeleted()) return true;
    for (const FileNode* n = node; n; n = n->parent())
        if (planned_.count(n)) return true;
    return false;
}

std::shared_ptr<const LinksLeftOut> LiveChangePlanner::linksOf(const RootRef& root) {
    Links& entry = links_[root.get()];
    if (!entry.links || entry.root.lock() != root) {
        entry.root = root;
        entry.links = std::make_shared<const LinksLeftOut>(gatherLinksLeftOut(root.get()));
    }
    return entry.links;
}

TreePathIndex& LiveChangePlanner::index(uint64_t lookupEpoch) {
    if (lookupEpoch != lookupEpoch_) {
        index_.clear();
        lookupEpoch_ = lookupEpoch;
    }
    return index_;
}

LiveChangePlan LiveChangePlanner::plan(const std::vector<FileChangeEvent>& events, const std::vector<FollowedTree>& trees,
                                       uint64_t lookupEpoch, bool gatherLinks, std::span<FileNode* const> removed) {
    TreePathIndex& names = index(lookupEpoch);
    using Kind = LiveChangePlan::Step::Kind;
    LiveChangePlan out;
    planned_.clear();
    std::unordered_set<FileNode*> folders;  // above the marked nodes
    std::unordered_set<FileNode*> changed;
    const auto mark = [&](FileNode* node, Kind kind) {
        out.steps.push_back({kind, node, {}});
        planned_.insert(node);
        changed.insert(node);
        // Folders go in together, so one already listed has all of its own listed.
        for (FileNode* a = node->parent(); a; a = a->parent())
            if (!folders.insert(a).second) break;
    };
    // What the application removed itself, in every tree that holds it.
    for (FileNode* node : removed) {
        if (goneOrPlanned(node)) continue;
        mark(node, Kind::markGone);
        FileNode* root = node;
        while (root->parent()) root = root->parent();
        if (std::all_of(trees.begin(), trees.end(), [root](const FollowedTree& t) { return t.root.get() == root; }))
            continue;
        names.find(node->pathBytes(), trees, found_, true, root);
        for (FileNode* same : found_)
            if (!goneOrPlanned(same)) mark(same, Kind::markGone);
    }
    for (const FileChangeEvent& event : events) {
        if (event.mustRescan()) out.steps.push_back({Kind::tellMissed, nullptr, event.path});
        const bool arrival = event.isCreated() || event.isRenamed();
        if (!event.isRemoved() && !arrival) {
            out.changed = true;
            continue;
        }
        names.find(event.path, trees, found_);
        if (found_.empty()) {
            out.changed = true;
            continue;
        }
        for (FileNode* node : found_) {
            if (goneOrPlanned(node)) {
                // Something stands again under the name of an item shown deleted (moved back, or
                // made anew): it is not read, so the result no longer matches the disk.
                if (arrival && onDisk(*node) != OnDisk::gone) out.steps.push_back({Kind::tellMissed, nullptr, node->pathBytes()});
                continue;
            }
            out.changed = true;
            if (!event.isRemoved() && !event.isRenamed()) continue;
            // The name the event reports removed is the node's own: the scanned item is gone,
            // whatever stands there now. The file system may give an item made at once under the
            // name the number of the removed one, so the look at the disk cannot tell them apart.
            if (event.isRemoved() && reportsOwnName(event.path, *node)) {
                mark(node, onDisk(*node) == OnDisk::gone ? Kind::markGone : Kind::markReplaced);
                continue;
            }
            // A node whose own path still leads to it is no removal: the destination of a rename,
            // or a node found under another spelling (its case twin went, or it was renamed in the
            // window from the event's name to a name that differs only in case). Another item
            // there now (removed and made again, possibly within one batch, whose flags are
            // merged per path) means the scanned one is gone and its successor is not shown.
            switch (onDisk(*node)) {
                case OnDisk::same:
                    break;
                case OnDisk::replaced:
                    mark(node, Kind::markReplaced);
                    break;
                case OnDisk::gone:
                    mark(node, Kind::markGone);
                    break;
            }
        }
    }
    // Siblings of deleted items show changed percentages.
    for (FileNode* folder : folders) {
        changed.insert(folder);
        for (FileNode* child : folder->children()) changed.insert(child);
    }
    out.changedNodes.assign(changed.begin(), changed.end());
    planned_.clear();
    if (!changed.empty() || gatherLinks) {
        // Forget the hard links of trees no longer followed; gather those of the others.
        std::erase_if(links_, [](const auto& entry) { return entry.second.root.expired(); });
        for (const FollowedTree& t : trees) out.links.emplace_back(t.root.get(), linksOf(t.root));
    }
    for (const FollowedTree& t : trees) out.trees.push_back(t.root);
    return out;
}

}  // namespace zelvane
