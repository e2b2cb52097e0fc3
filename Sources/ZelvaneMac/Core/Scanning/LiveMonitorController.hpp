#pragma once

#include <QObject>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Monitor/FileChangeEvent.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

class QSocketNotifier;
class QTimer;

namespace zelvane {

class FileSystemMonitor;

// Keeps a finished scan tree in step with deletions on disk while a window shows it. Items that
// are reported removed, or renamed away, are marked deleted with their subtree and their sizes
// and counts are taken out of every ancestor; the nodes whose display changed go out through
// `nodesChanged` in one batch every half second. The controller never adds nodes: new files wait
// for the next scan.
//
// An item counts as the one scanned only while its path leads to the same kind of item with the
// same file identifier: one replaced by another under its name (a folder moved away and a new
// one made, a file saved over by a rename) is the scanned one deleted, and since its successor
// is not read, the window is told that the result no longer shows everything
// (`missedChanges`).
//
// Marks reach every tree that holds the item: the watched trees and the copies made of them
// (`keepInStep`), whichever of them a deletion was seen or made in.
//
// Confined to the main thread (the thread that made it, which runs a Qt event loop). Batches of
// the monitor's thread reach it through a locked inbox and an eventfd watched on the main
// thread, so no lock is held while the tree is changed and the monitor never touches it.
class LiveMonitorController final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMillis = 500;

    explicit LiveMonitorController(QObject* parent = nullptr);
    ~LiveMonitorController() override;

    // Watches the roots (after a `stop()`); with no roots nothing is watched and no timer runs.
    // The controller holds the roots, and so their tree, until it stops.
    void start(std::vector<RootRef> roots);
    // Stops watching and forgets everything pending.
    void stop();
    // The application deleted these itself: mark them, and the same items in every other tree
    // kept in step, and refresh at once.
    void markDeletedLocally(std::span<FileNode* const> nodes);
    // The trees whose marks follow the watched ones' and each other's (a scanned tree and the
    // copies made of it), whether or not anything is watched; held until replaced.
    void keepInStep(std::vector<RootRef> trees);
    // A node was renamed in place: names looked up earlier are looked up again.
    void forgetNameLookups() { childLookupCache_.clear(); }
    // The application renamed these itself: the same items in the other trees kept in step take
    // the new names, and the views that show their names refresh at once.
    void markRenamedLocally(std::span<FileNode* const> nodes);

    // Applies one batch of the monitor (called on the main thread for each batch delivered).
    void handle(const std::vector<FileChangeEvent>& events);

    bool isWatching() const { return monitor_ != nullptr; }
    // Watching exactly these root objects, in this order.
    bool isWatching(std::span<const RootRef> roots) const;
    bool hasPendingRefresh() const { return hasPendingRefresh_; }
    const FileSystemMonitor* monitor() const { return monitor_.get(); }

signals:
    // The nodes whose sizes, names or deletion changed, once the tree took the change.
    void nodesChanged(const std::vector<zelvane::FileNode*>& nodes);
    // The monitor missed changes below this watched path (its queue overflowed, or the watch
    // table is full), or an item came back that was not read: the tree may no longer match the
    // disk there.
    void missedChanges(const std::string& path);

private:
    struct WatchedRoot {
        std::string path;  // exact bytes
        RootRef root;
    };
    // A folder's children by exact name, and (built only when an exact lookup fails) by folded
    // name, where a key shared by several children maps to null.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view s) const noexcept { return std::hash<std::u16string_view>()(s); }
    };
    struct ChildLookup {
        std::unordered_map<std::u16string, FileNode*, NameHash, std::equal_to<>> exact;
        std::unordered_map<std::u16string, FileNode*> folded;
        bool foldedBuilt = false;
    };
    class EventInboxLocked;

    void drainInbox();
    void flushPendingRefreshIfNeeded();
    // The node of `path` in every watched or kept tree that holds it; with `exactOnly`, names
    // must match byte for byte (no case-insensitive fallback).
    void findNodes(std::string_view path, std::vector<FileNode*>& found, bool exactOnly = false);
    FileNode* findBelow(FileNode* root, std::string_view relativePath, bool exactOnly);
    FileNode* childByName(std::u16string_view name, FileNode* folder, bool exactOnly);
    bool markNode(FileNode* node);
    // Marks the node's item in the other trees kept in step.
    void markElsewhere(FileNode* node);
    // Gives the node's new name to its item in the other trees kept in step.
    void renameElsewhere(FileNode* node);
    // Hard links of one tree whose space another link counts, by file identifier; gathered on
    // the first deletion in that tree, for as long as the tree is shown.
    using LinksLeftOut = std::unordered_multimap<uint64_t, FileNode*>;
    const LinksLeftOut& linksLeftOut(FileNode* root);
    void handOverSpaceOfDeletedLinks(FileNode* deleted);

    std::vector<WatchedRoot> watchedRoots_;
    std::vector<WatchedRoot> keptTrees_;
    std::unique_ptr<FileSystemMonitor> monitor_;
    std::unique_ptr<QTimer> refreshTimer_;
    bool hasPendingRefresh_ = false;
    std::unordered_set<FileNode*> pendingDirtyNodes_;
    std::unordered_set<FileNode*> pendingTouchedAncestors_;
    std::unordered_map<const FileNode*, ChildLookup> childLookupCache_;
    std::unordered_map<const FileNode*, LinksLeftOut> linksLeftOut_;

    std::shared_ptr<EventInboxLocked> inbox_;
    std::unique_ptr<QSocketNotifier> inboxNotifier_;
    std::u16string nameScratch_;
    std::vector<FileNode*> foundScratch_;
};

}  // namespace zelvane
