#include "FullPathTreeFilter.hpp"

#include <cstdint>

#include "FileNode.hpp"
#include "FilterMatching.hpp"
#include "NameSort.hpp"

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
    uint32_t pathMark;    // the path buffer's length before this node's name was appended
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
    // and the path buffer starts with their path.
    std::u16string path;
    if (FileNode* above = root.parent()) {
        for (size_t i = 0; i < terms.size(); ++i) {
            if (!monotonic[i]) continue;
            for (const FileNode* n = above; n && !state[i]; n = n->parent())
                state[i] = containsCaseFolded(n->nameUnits(), terms[i]->filterTextUnits);
        }
        if (pathNeeded) filtermatch::buildFullPath(*above, path);
    }

    std::vector<FileNode*> result;
    std::vector<Frame> stack;
    auto enter = [&](FileNode* node) {
        Frame f{node, 0, uint32_t(statesSet.size()), uint32_t(path.size())};
        if (pathNeeded) {
            // The path grows and shrinks with the walk, so each node's path costs its own name.
            if (const FileNode* p = node->parent(); p && !filtermatch::rootEndsWithSlash(*p)) path.push_back(u'/');
            path.append(node->nameUnits());
        }
        const std::u16string_view pathView = path;
        auto pathFn = [&]() { return pathView; };
        const std::u16string_view name = node->nameUnits();

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
                    matched = filtermatch::evaluateTerm(t, *node, true, subFolderSizeAvailable, pathFn);
                }
                if (matched != t.notFlag) holds = true;
            }
            if (!holds) allHold = false;
        }
        if (allHold && (includeFolders || !node->isDir())) result.push_back(node);
        stack.push_back(f);
    };
    auto leave = [&](const Frame& f) {
        for (size_t k = f.statesMark; k < statesSet.size(); ++k) state[statesSet[k]] = 0;
        statesSet.resize(f.statesMark);
        path.resize(f.pathMark);
    };

    enter(&root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        auto kids = top.node->children();
        if (top.nextChild < kids.size()) {
            FileNode* child = kids[top.nextChild++];
            enter(child);  // may reallocate the stack: `top` is not used after this
        } else {
            Frame done = top;
            stack.pop_back();
            leave(done);
        }
    }
    return result;
}

}  // namespace zelvane
