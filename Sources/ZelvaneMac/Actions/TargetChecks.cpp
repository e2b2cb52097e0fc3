#include "ZelvaneMac/Actions/TargetChecks.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_set>

#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

std::vector<ActionTarget> resolveTargets(std::span<FileNode* const> nodes, Change change, std::vector<Failure>& refused,
                                         const CancelFlag* cancel, const NodePaths* paths) {
    std::vector<ActionTarget> withoutFullPath;
    std::vector<ActionTarget> items =
        resolveActionTargets(nodes, rulesOf(change).dropsNestedItems, &withoutFullPath, cancel, paths);
    for (ActionTarget& t : withoutFullPath) refused.push_back({std::move(t), alerts::withoutFullPathReason()});
    return items;
}

TargetPaths resolvePathsToReach(std::span<FileNode* const> nodes, NodePaths paths, std::vector<Failure>& refused,
                                const CancelFlag* cancel) {
    std::vector<ActionTarget> withoutFullPath;
    TargetPaths items = resolveTargetPaths(nodes, std::move(paths), &withoutFullPath, cancel);
    for (ActionTarget& t : withoutFullPath) refused.push_back({std::move(t), alerts::withoutFullPathReason()});
    return items;
}

CheckedTargets checkTargets(std::vector<ActionTarget> items, Change change, std::vector<Failure>& refused, DiskTotals* disk) {
    const ChangeRules& rules = rulesOf(change);
    CheckedTargets checked;
    if (!rules.keepsToWhatWasShown) {
        checked.kept = std::move(items);
        return checked;
    }
    std::vector<ActionTarget>& kept = checked.kept;
    kept.reserve(items.size());
    // The folders of the targets found to be real folders (no link on the way from the root).
    std::unordered_set<const FileNode*> realFolders;
    for (auto& t : items) {
        if (t.path == "/") {
            refused.push_back({std::move(t), alerts::topFolderReason()});
            continue;
        }
        if (t.node && t.node->parent() && !t.fromImport && !realFolders.count(t.node->parent())) {
            const FileNode* root = t.node;
            while (root->parent()) root = root->parent();
            std::string linkAt;
            const int err = checkNoLinkOnTheWay(root->pathBytes(), t.path, linkAt);
            if (err == ELOOP) {
                refused.push_back({std::move(t), alerts::linkAboveReason(linkAt)});
                continue;
            }
            // Other failures are the action's own to meet and report.
            if (err == 0) realFolders.insert(t.node->parent());
        }
        if (t.isImpliedFolder) {
            refused.push_back({std::move(t), alerts::impliedFolderReason()});
            continue;
        }
        if (rules.erases) {
            ItemInFolder item;
            MountCheck mounts;
            if (int err = openItemFolder(t.path, item)) mounts.error = err;
            else mounts = checkMounts(item, t.path);
            if (mounts.error == ENOENT) {
                // Already gone: nothing is left to erase, and nothing failed.
                if (disk) disk->vanished.push_back(t.node);
                continue;
            }
            if (mounts.error) {
                refused.push_back({std::move(t), alerts::errorText(mounts.error)});
                continue;
            }
            if (mounts.isMountPoint) {
                refused.push_back({std::move(t), alerts::mountPointReason()});
                continue;
            }
            if (!mounts.mountBelow.empty()) {
                refused.push_back({std::move(t), alerts::mountBelowReason(joinPath(item.name, mounts.mountBelow))});
                continue;
            }
            ItemFacts onDisk;
            const bool isFolderNow = readItemFacts(item.folder.get(), item.name, onDisk) == 0 && onDisk.isDir();
            // What the window shows of this item may not be what the disk holds: the rows of an
            // import may be old, a filter hides some of a folder's items, and a row may name a
            // folder where a file is now or the other way round. The question says what the disk
            // holds now.
            const bool showsAll = !t.fromImport && !t.fromFilteredTree;
            if (disk && (isFolderNow != t.isDir || (isFolderNow && !showsAll))) checked.unseen.emplace_back(kept.size(), isFolderNow);
        }
        kept.push_back(std::move(t));
    }
    return checked;
}

std::vector<DiskSurvey> surveyUnseen(const CheckedTargets& checked, const std::atomic<bool>& cancelled) {
    std::vector<DiskSurvey> surveys(checked.unseen.size());
    for (size_t i = 0; i < checked.unseen.size() && !cancelled.load(); ++i)
        surveys[i] = surveyItem(checked.kept[checked.unseen[i].first].path, &cancelled);
    return surveys;
}

std::vector<ActionTarget> applySurveys(CheckedTargets checked, const std::vector<DiskSurvey>& surveys,
                                       std::vector<Failure>& refused, DiskTotals& disk) {
    std::vector<ActionTarget>& kept = checked.kept;
    std::vector<bool> drop(kept.size(), false);
    for (size_t i = 0; i < checked.unseen.size(); ++i) {
        const DiskSurvey& survey = surveys[i];
        const auto [index, isFolder] = checked.unseen[i];
        ActionTarget& t = kept[index];
        if (survey.error == ENOENT && survey.failedPath == lastComponent(t.path)) {
            // Gone since it was shown: nothing is left to act on, and nothing failed.
            disk.vanished.push_back(t.node);
            drop[index] = true;
        } else if (survey.error) {
            refused.push_back({t, alerts::unreadableBelowReason(survey.failedPath, survey.error)});
            drop[index] = true;
        } else if (!survey.mountBelow.empty()) {
            refused.push_back({t, alerts::mountBelowReason(survey.mountBelow)});
            drop[index] = true;
        } else {
            // A folder counts what it holds; what is no folder is one item itself.
            disk.surveyed[t.node] = {isFolder ? survey.items : 1, survey.bytes};
        }
    }
    std::vector<ActionTarget> surveyed;
    for (size_t i = 0; i < kept.size(); ++i)
        if (!drop[i]) surveyed.push_back(std::move(kept[i]));
    return surveyed;
}

std::vector<ActionTarget> refuseUntouchable(std::vector<ActionTarget> items, Change change, std::vector<Failure>& refused) {
    return checkTargets(std::move(items), change, refused).kept;
}

bool deletionCouldSucceed(const std::string& path) {
    ItemInFolder item;
    ItemFacts facts;
    ItemFacts folder;
    if (openItemFolder(path, item) != 0 || readItemFacts(item.folder.get(), item.name, facts) != 0 ||
        readItemFacts(item.folder.get(), "", folder) != 0)
        return false;
    if (::faccessat(item.folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
    if (facts.immutable || facts.appendOnly || folder.immutable || folder.appendOnly) return false;
    const uid_t me = ::geteuid();
    if ((folder.mode & S_ISVTX) && me != 0 && facts.uid != me && folder.uid != me) return false;
    return true;
}

void nodesGoneBelow(FileNode* folder, std::vector<FileNode*>& gone, const std::atomic<bool>& stop) {
    std::vector<FileNode*> stack{folder};
    while (!stack.empty() && !stop.load(std::memory_order_relaxed)) {
        FileNode* current = stack.back();
        stack.pop_back();
        for (FileNode* child : current->children()) {
            if (child->isSyntheticGroup() || child->isDeleted()) continue;
            ItemFacts facts;
            const int err = readItemFacts(child->pathBytes(), facts);
            if (err == ENOENT) gone.push_back(child);
            else if (err == 0 && child->isDir()) stack.push_back(child);
        }
    }
}

ShownFileSystem shownFileSystem(const ActionTarget& t) {
    return t.node && t.node->isRoot() ? ShownFileSystem::item : ShownFileSystem::containingFolder;
}

HeldTrees holdTrees(const std::vector<FileNode*>& nodes) {
    HeldTrees held;
    // Items of one folder come together in a selection: their tree is looked up once.
    const FileNode* lastParent = nullptr;
    NodeStore* lastStore = nullptr;
    for (FileNode* node : nodes) {
        if (!node) continue;
        NodeStore* store = node->parent() && node->parent() == lastParent ? lastStore : node->store();
        lastParent = node->parent();
        lastStore = store;
        if (!store || std::any_of(held.begin(), held.end(), [store](const auto& h) { return h.get() == store; })) continue;
        std::shared_ptr<NodeStore> shared = store->weak_from_this().lock();
        if (shared) held.push_back(std::move(shared));
    }
    return held;
}

NodeListing NodeListing::of(std::vector<FileNode*> nodes) {
    NodeListing listing;
    listing.count = nodes.size();
    listing.trees = std::make_shared<HeldTrees>(holdTrees(nodes));
    listing.gather = [listed = std::make_shared<std::vector<FileNode*>>(std::move(nodes))](const CancelFlag&) {
        return std::move(*listed);
    };
    return listing;
}

std::vector<FileNode*> NodeListing::list(const CancelFlag& cancel) const { return listWithPaths(cancel).nodes; }

NodeListing::Listed NodeListing::listWithPaths(const CancelFlag& cancel) const {
    Listed listed;
    listed.nodes = gather ? gather(cancel) : std::vector<FileNode*>();
    if (cancel.isSet()) return listed;
    if (inPathOrder) listed.paths = orderByPathBytes(listed.nodes, &cancel);
    else if (order) order(listed.nodes, &cancel);
    return listed;
}

}  // namespace zelvane
