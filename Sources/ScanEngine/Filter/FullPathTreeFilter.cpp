#include "ScanEngine/Filter/FullPathTreeFilter.hpp"

#include <cstdint>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/FilterMatching.hpp"
#include "ScanEngine/Tree/NameSort.hpp"

namespace zelvane {

namespace {

// A plain word without '/': once an ancestor's name contains it, it holds for the whole subtree.
bool isMonotonic(const FilterItem& t) noexcept {
    return !t.regex && !t.foldersOnly && !t.filesOnly && !t.filterNoExtension && !t.sizeOp && !t.wildcards &&
           !t.pathSeparator;
}

bool needsFullPath(const FilterItem& t) noexcept {
    if (t.sizeOp && t.sizeOpType) return false;  // a path length is counted, never built
    if (t.regex) return true;
    if (t.foldersOnly || t.filesOnly || t.filterNoExtension || t.fileExtension) return false;
    return t.wildcards || t.pathSeparator;
}

struct Frame {
    FileNode* node;
    uint32_t nextChild;
    uint32_t statesMark;  // entries of `statesSet` above this mark were set at this node
    uint32_t pathMark;    // the path buffer's length before this node's name (once appended)
};

}  // namespace

bool evaluateNonMonotonicItem(const FilterItem& item, const FileNode& node, bool subFolderSizeAvailable,
                              std::optional<std::u16string>& fullPathLazy) {
    auto path = [&]() -> std::u16string_view {
        if (!fullPathLazy) {
            fullPathLazy.emplace();
            filtermatch::buildFullPath(node, *fullPathLazy);
        }
        return *fullPathLazy;
    };
    return filtermatch::evaluateTerm(item, node, true, subFolderSizeAvailable, path);
}

std::vector<FileNode*> filterTreeFullPath(FileNode& root, const DecodedFilter& filters, bool includeFolders,
                                          bool subFolderSizeAvailable) {
    std::vector<const FilterItem*> terms;
    std::vector<uint32_t> groupEnds;
    for (const FilterGroup& group : filters) {
        for (const FilterItem& t : group) terms.push_back(&t);
        groupEnds.push_back(uint32_t(terms.size()));
    }
    std::vector<uint8_t> monotonic(terms.size());
    bool pathNeeded = false;
    for (size_t i = 0; i < terms.size(); ++i) {
        monotonic[i] = isMonotonic(*terms[i]);
        pathNeeded = pathNeeded || needsFullPath(*terms[i]);
    }
    // Whether the current node or one of its ancestors has a name containing monotonic term i.
    std::vector<uint8_t> state(std::max<size_t>(terms.size(), 1), 0);
    std::vector<uint32_t> statesSet;

    // The walk may start below a real root: the ancestors above it settle their words for good,
    // and their path is the start of every path of the walk.
    std::u16string path;
    if (FileNode* above = root.parent()) {
        for (size_t i = 0; i < terms.size(); ++i) {
            if (!monotonic[i]) continue;
            for (const FileNode* n = above; n && !state[i]; n = n->parent())
                if (auto u = n->nameUnits(); containsCaseFolded(u, terms[i]->filterTextUnits)) state[i] = true;
        }
        if (pathNeeded) filtermatch::buildFullPath(*above, path);
    }

    // `path` holds the path of the first `pathFrames` frames of the stack. It is extended only when
    // a term needs the current node's path (most nodes are settled by cheaper tests first) and cut
    // back when the walk leaves a frame, so a node's path costs the names not yet in the buffer.
    std::vector<Frame> stack;
    size_t pathFrames = 0;
    auto currentPath = [&]() -> std::u16string_view {
        for (; pathFrames < stack.size(); ++pathFrames) {
            Frame& f = stack[pathFrames];
            f.pathMark = uint32_t(path.size());
            if (const FileNode* p = f.node->parent(); p && !filtermatch::rootEndsWithSlash(*p)) path.push_back(u'/');
            auto name = f.node->nameUnits();
            path.append(name.view());
        }
        return path;
    };

    std::vector<FileNode*> result;
    auto enter = [&](FileNode* node) {
        stack.push_back(Frame{node, 0, uint32_t(statesSet.size()), 0});
        const auto stored = node->nameUnits();
        const std::u16string_view name = stored;
        bool allHold = true;
        uint32_t i = 0;
        for (uint32_t end : groupEnds) {
            bool holds = false;
            for (; i < end; ++i) {
                const FilterItem& t = *terms[i];
                bool matched;
                if (monotonic[i]) {
                    // Every monotonic term is evaluated, even in a settled group, so that its
                    // state is right for the subtree.
                    matched = state[i];
                    if (!matched && containsCaseFolded(name, t.filterTextUnits)) {
                        state[i] = 1;
                        statesSet.push_back(i);
                        matched = true;
                    }
                } else if (holds || !allHold) {
                    continue;  // the outcome is settled and this term sets no state
                } else {
                    matched = filtermatch::evaluateTerm(t, *node, true, subFolderSizeAvailable, currentPath);
                }
                if (matched != t.notFlag) holds = true;
            }
            if (!holds) allHold = false;
        }
        if (allHold && (includeFolders || !node->isDir())) result.push_back(node);
    };
    auto leave = [&]() {
        const Frame& f = stack.back();
        for (size_t k = f.statesMark; k < statesSet.size(); ++k) state[statesSet[k]] = 0;
        statesSet.resize(f.statesMark);
        if (pathFrames == stack.size()) {
            path.resize(f.pathMark);
            --pathFrames;
        }
        stack.pop_back();
    };

    enter(&root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        auto kids = top.node->children();
        if (top.nextChild < kids.size()) {
            FileNode* child = kids[top.nextChild++];
            enter(child);  // may reallocate the stack: `top` is not used after this
        } else {
            leave();
        }
    }
    return result;
}

}  // namespace zelvane
