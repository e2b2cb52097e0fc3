#include "ZelvaneMac/Window/ScanControl.hpp"

#include <algorithm>
#include <unordered_map>

#include "ScanEngine/Scan/TreeScan.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

namespace {
std::u16string_view units(const QString& s) { return {reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())}; }
}  // namespace

std::vector<const FileNode*> selectedTreeNodes(const NodeSet& selected) {
    // A group row is the outline's own, made anew for each tree: its made-up path names nothing
    // the new tree holds (or a file of that name, which was not selected), so it is left out.
    std::vector<const FileNode*> nodes;
    nodes.reserve(size_t(selected.size()));
    for (const FileNode* node : selected)
        if (node && !node->isSyntheticGroup()) nodes.push_back(node);
    return nodes;
}

QSet<QString> selectedPathsOf(std::span<const FileNode* const> selected) {
    // Each folder's path is made once for all the selected rows inside it.
    QSet<QString> paths;
    paths.reserve(qsizetype(selected.size()));
    std::unordered_map<const FileNode*, std::string> prefixes;
    std::string path;
    for (const FileNode* node : selected) {
        const FileNode* folder = node->parent();
        if (!folder) {
            paths.insert(QString::fromStdString(node->fullPath()));
            continue;
        }
        auto [it, made] = prefixes.try_emplace(folder);
        if (made) {
            it->second = folder->fullPath();
            if (!folder->isRoot() || it->second.empty() || it->second.back() != '/') it->second.push_back('/');
        }
        path = it->second;
        const auto name = node->nameUnits();
        appendDisplayUTF8(name, path);
        paths.insert(QString::fromStdString(path));
    }
    return paths;
}

TreeRestoreState captureTreeRestoreState(std::span<const RootRef> roots, const NodePredicate& isExpanded,
                                         const NodePredicate& isGroupExpanded, const NodeSet& selected) {
    TreeRestoreState state;
    std::vector<const FileNode*> stack;
    for (const RootRef& root : roots) {
        if (!root) continue;
        stack.push_back(root.get());
        while (!stack.empty()) {
            const FileNode* node = stack.back();
            stack.pop_back();
            if (!isExpanded || !isExpanded(node)) continue;
            const QString path = QString::fromStdString(node->fullPath());
            state.expandedPaths.push_back(path);
            if (isGroupExpanded && isGroupExpanded(node)) state.expandedGroupParentPaths.push_back(path);
            auto kids = node->children();
            for (auto it = kids.rbegin(); it != kids.rend(); ++it)
                if ((*it)->isDir()) stack.push_back(*it);
        }
    }
    state.selectedPaths = selectedPathsOf(selectedTreeNodes(selected));
    std::vector<const FileNode*> groupParents;
    for (const FileNode* node : selected)
        if (node && node->isSyntheticGroup() && node->parent()) groupParents.push_back(node->parent());
    if (!groupParents.empty()) {
        std::sort(groupParents.begin(), groupParents.end());
        groupParents.erase(std::unique(groupParents.begin(), groupParents.end()), groupParents.end());
        state.selectedGroupParentPaths = selectedPathsOf(groupParents);
    }
    return state;
}

namespace {

// Finds nodes by path, each folder's children read once however many paths pass through it, and
// each folder's path walked once however many paths it holds: a rescan finds every open row and
// every selected file again, tens of thousands of paths in the same few folders, and reading a
// folder's names or walking its path down from the root once per path would take seconds.
class NodesByPath final {
public:
    explicit NodesByPath(std::span<const RootRef> roots) : roots_(roots), rootPaths_(roots.size()), folders_(roots.size()) {
        for (size_t k = 0; k < roots.size(); ++k)
            if (roots[k]) rootPaths_[k] = roots[k]->fullPath();
    }

    FileNode* find(const QString& pathText) {
        const std::string path = pathText.toStdString();
        for (size_t k = 0; k < roots_.size(); ++k) {
            const RootRef& root = roots_[k];
            if (!root) continue;
            const std::string& rootPath = rootPaths_[k];
            if (path == rootPath) return root.get();
            // A root path ending in "/" (the boot volume) is followed by no second "/".
            const bool slashed = !rootPath.empty() && rootPath.back() == '/';
            if (!path.starts_with(rootPath) || (!slashed && (path.size() <= rootPath.size() || path[rootPath.size()] != '/')))
                continue;
            // The folder above the last name, as the walk below the root found it before.
            const std::string_view rest = std::string_view(path).substr(rootPath.size() + (slashed ? 0 : 1));
            const size_t lastSlash = rest.rfind('/');
            FileNode* current = root.get();
            std::string_view last = rest;
            if (lastSlash != std::string_view::npos) {
                const std::string_view above = rest.substr(0, lastSlash);
                Folders& known = folders_[k];
                auto it = known.find(above);
                if (it == known.end()) it = known.emplace(std::string(above), walk(root.get(), above)).first;
                current = it->second;
                last = rest.substr(lastSlash + 1);
            }
            if (current && !last.empty()) current = child(*current, last);
            if (current) return current;
        }
        return nullptr;
    }

private:
    using Children = std::unordered_map<std::string, FileNode*, StringKeyHash, std::equal_to<>>;
    using Folders = std::unordered_map<std::string, FileNode*, StringKeyHash, std::equal_to<>>;

    // The node below `from` named by the "/"-separated pieces of `rest` (empty pieces dropped).
    FileNode* walk(FileNode* from, std::string_view rest) {
        FileNode* current = from;
        while (current && !rest.empty()) {
            const size_t slash = rest.find('/');
            const std::string_view piece = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
            if (!piece.empty()) current = child(*current, piece);
        }
        return current;
    }

    // The first child of that name, as a walk of the children in order finds it.
    FileNode* child(const FileNode& folder, std::string_view name) {
        auto [it, made] = children_.try_emplace(&folder);
        Children& byName = it->second;
        if (made)
            for (FileNode* c : folder.children()) byName.try_emplace(c->name(), c);
        const auto found = byName.find(name);
        return found == byName.end() ? nullptr : found->second;
    }

    std::span<const RootRef> roots_;
    std::vector<std::string> rootPaths_;
    // Per root: the part of a path below the root, up to its last name, and the folder it names.
    std::vector<Folders> folders_;
    std::unordered_map<const FileNode*, Children> children_;
};

}  // namespace

FileNode* nodeAtPath(const QString& pathText, std::span<const RootRef> roots) { return NodesByPath(roots).find(pathText); }

TreeRestoreMatch matchTreeRestoreState(const TreeRestoreState& state, std::span<const RootRef> roots) {
    TreeRestoreMatch match;
    NodesByPath nodes(roots);
    for (const QString& p : state.expandedPaths)
        if (FileNode* n = nodes.find(p)) match.nodesToExpand.push_back(n);
    for (const QString& p : state.expandedGroupParentPaths)
        if (FileNode* n = nodes.find(p)) match.groupParentsToExpand.push_back(n);
    for (const QString& p : state.selectedPaths)
        if (FileNode* n = nodes.find(p)) match.selected.insert(n);
    for (const QString& p : state.selectedGroupParentPaths)
        if (FileNode* n = nodes.find(p); n && n->isDir()) match.selectedGroupsOf.push_back(n);
    return match;
}

NodeSet filesWithExtension(std::span<const RootRef> roots, const std::string& ext, const CancelFlag* cancel) {
    NodeSet found;
    std::vector<FileNode*> stack;
    std::string buffer;
    for (const RootRef& root : roots) {
        if (!root) continue;
        stack.push_back(root.get());
        while (!stack.empty()) {
            FileNode* node = stack.back();
            stack.pop_back();
            if (node->isDir()) {
                if (cancel && cancel->isSet()) return found;
                for (FileNode* child : node->children()) stack.push_back(child);
                continue;
            }
            if (detectedExtensionInto(*node, buffer) == ext) found.insert(node);
        }
    }
    return found;
}

QString trimmedFilterText(const QString& text) { return text.trimmed(); }

std::optional<std::vector<RootRef>> buildFilteredRoots(std::span<const RootRef> roots, const QString& includeText,
                                                       const QString& excludeText, bool matchEntirePath) {
    const QString include = trimmedFilterText(includeText);
    const QString exclude = trimmedFilterText(excludeText);
    if ((include.isEmpty() && exclude.isEmpty()) || roots.empty()) return std::nullopt;

    bool includeFullPath = matchEntirePath;
    bool excludeFullPath = matchEntirePath;
    std::optional<DecodedFilter> includeFilters;
    std::optional<DecodedFilter> excludeFilters;
    if (!include.isEmpty()) includeFilters = decodeFilterText(units(include), includeFullPath);
    if (!exclude.isEmpty()) excludeFilters = decodeFilterText(units(exclude), excludeFullPath);

    FilteredTreeOptions options;
    options.includeFilters = includeFilters ? &*includeFilters : nullptr;
    options.includeFullpath = includeFullPath;
    options.excludeFilters = excludeFilters ? &*excludeFilters : nullptr;
    options.excludeFullpath = excludeFullPath;

    std::vector<RootRef> filtered;
    filtered.reserve(roots.size());
    for (const RootRef& root : roots) {
        if (!root) continue;
        if (RootRef copy = loadFilteredTree(*root, options)) filtered.push_back(std::move(copy));
    }
    assignSortNameIndices(std::span<const RootRef>(filtered));
    return filtered;
}

ScanExclude scanExcludeFilter(bool showFilterPanel, const QString& excludeText, bool matchEntirePath) {
    ScanExclude result;
    const QString text = showFilterPanel ? trimmedFilterText(excludeText) : QString();
    if (text.isEmpty()) return result;
    result.fullPath = matchEntirePath;
    result.filters = decodeFilterText(units(text), result.fullPath);
    return result;
}

bool sameRootObjects(std::span<const RootRef> a, std::span<const RootRef> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].get() != b[i].get()) return false;
    return true;
}

std::vector<VolumeCapacity> capacitiesFor(std::span<const RootRef> roots, const std::vector<RootCapacity>& known) {
    // Looked up by the path's exact bytes: a root whose path is not valid UTF-8 still finds its
    // volume.
    std::unordered_map<std::string, VolumeCapacity> byPath;
    for (const RootCapacity& c : known) byPath.try_emplace(pathBytesFromQString(c.path), c.capacity());
    std::vector<VolumeCapacity> result;
    result.reserve(roots.size());
    for (const RootRef& root : roots) {
        auto it = root ? byPath.find(root->pathBytes()) : byPath.end();
        result.push_back(it == byPath.end() ? VolumeCapacity{} : it->second);
    }
    return result;
}

}  // namespace zelvane
