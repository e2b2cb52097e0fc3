#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <deque>
#include <mutex>

#include "Platform/FileSystemInfo.hpp"
#include "Platform/ItemAccess.hpp"
#include "Platform/WakeCounter.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {

// Batches cross from the monitor's thread to the main thread here. The eventfd counts pushes;
// the main thread's notifier fires on it and takes every batch at once, in arrival order.
class LiveMonitorController::EventInboxLocked final {
public:
    int fd() const noexcept { return wake_.fd(); }

    void push(std::vector<FileChangeEvent> batch) {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(batch));
        }
        wake_.signal();
    }

    std::deque<std::vector<FileChangeEvent>> takeAll() {
        wake_.drain();
        std::lock_guard lock(mutex_);
        return std::exchange(batches_, {});
    }

private:
    WakeCounter wake_;
    std::mutex mutex_;
    std::deque<std::vector<FileChangeEvent>> batches_;
};

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

// What stands at a node's path now. A root given as a symbolic link was scanned at its target;
// below the roots links are items of their own. Paths of any length are looked at.
enum class OnDisk { same, gone, replaced };
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

// Calls `visit` with every file at or below `top`.
template <typename Visit>
void forEachFileBelow(FileNode* top, Visit visit) {
    std::vector<FileNode*> stack{top};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        if (!n->isDir()) {
            visit(n);
            continue;
        }
        auto kids = n->children();
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
}

}  // namespace

LiveMonitorController::LiveMonitorController(QObject* parent)
    : QObject(parent), inbox_(std::make_shared<EventInboxLocked>()) {}

LiveMonitorController::~LiveMonitorController() { stop(); }

void LiveMonitorController::start(std::vector<RootRef> roots) {
    stop();
    if (roots.empty()) return;
    std::vector<std::string> paths;
    std::vector<RootRef> scanned;
    for (RootRef& root : roots) {
        if (!root) continue;
        std::string path = root->pathBytes();
        paths.push_back(path);
        scanned.push_back(root);
        watchedRoots_.push_back(WatchedRoot{std::move(path), std::move(root)});
    }
    // Made on the first start rather than with the controller, so that a controller created
    // before the application object still gets the main thread's event dispatcher.
    if (!inboxNotifier_ && inbox_->fd() >= 0) {
        inboxNotifier_ = std::make_unique<QSocketNotifier>(inbox_->fd(), QSocketNotifier::Read);
        QObject::connect(inboxNotifier_.get(), &QSocketNotifier::activated, inboxNotifier_.get(),
                         [this] { drainInbox(); });
    }
    // The handler holds only the inbox: the monitor's thread never reaches the controller.
    // The folders to watch come from the trees just scanned, not from reading them again.
    monitor_ = std::make_unique<FileSystemMonitor>(
        std::move(paths), [inbox = inbox_](std::vector<FileChangeEvent> batch) { inbox->push(std::move(batch)); },
        std::move(scanned));
    monitor_->start();

    refreshTimer_ = std::make_unique<QTimer>();
    refreshTimer_->setInterval(kRefreshIntervalMillis);
    QObject::connect(refreshTimer_.get(), &QTimer::timeout, refreshTimer_.get(), [this] {
        if (!inboxNotifier_) drainInbox();  // no eventfd: batches wait for the timer
        flushPendingRefreshIfNeeded();
    });
    refreshTimer_->start();
}

void LiveMonitorController::stop() {
    if (monitor_) {
        monitor_->stop();
        monitor_.reset();
    }
    watchedRoots_.clear();
    refreshTimer_.reset();
    hasPendingRefresh_ = false;
    pendingDirtyNodes_.clear();
    pendingTouchedAncestors_.clear();
    childLookupCache_.clear();
    linksLeftOut_.clear();
}

bool LiveMonitorController::isWatching(std::span<const RootRef> roots) const {
    if (!monitor_ || roots.size() != watchedRoots_.size()) return false;
    for (size_t i = 0; i < roots.size(); ++i)
        if (roots[i] != watchedRoots_[i].root) return false;
    return true;
}

void LiveMonitorController::keepInStep(std::vector<RootRef> trees) {
    std::vector<WatchedRoot> old = std::exchange(keptTrees_, {});
    for (RootRef& root : trees)
        if (root) keptTrees_.push_back(WatchedRoot{root->pathBytes(), std::move(root)});
    // Nothing pending may outlive its tree, which may go with `old`.
    const auto held = [this](FileNode* n) {
        while (n->parent()) n = n->parent();
        const auto is = [n](const WatchedRoot& w) { return w.root.get() == n; };
        return std::any_of(watchedRoots_.begin(), watchedRoots_.end(), is) ||
               std::any_of(keptTrees_.begin(), keptTrees_.end(), is);
    };
    std::erase_if(pendingDirtyNodes_, [&](FileNode* n) { return !held(n); });
    std::erase_if(pendingTouchedAncestors_, [&](FileNode* n) { return !held(n); });
    // The cache is keyed by folder: a tree let go may free folders whose addresses come again.
    childLookupCache_.clear();
    linksLeftOut_.clear();
}

void LiveMonitorController::drainInbox() {
    for (const auto& batch : inbox_->takeAll()) handle(batch);
}

bool LiveMonitorController::markNode(FileNode* node) {
    if (!node->flagDeletedRecursively()) return false;
    node->subtractContributionFromAncestors();
    pendingDirtyNodes_.insert(node);
    for (FileNode* a = node->parent(); a; a = a->parent()) {
        // Ancestors go in together, so one already touched has all of its own in both sets.
        if (!pendingTouchedAncestors_.insert(a).second) break;
        pendingDirtyNodes_.insert(a);
    }
    handOverSpaceOfDeletedLinks(node);
    return true;
}

const LiveMonitorController::LinksLeftOut& LiveMonitorController::linksLeftOut(FileNode* root) {
    auto [it, made] = linksLeftOut_.try_emplace(root);
    if (!made) return it->second;
    LinksLeftOut& links = it->second;
    forEachFileBelow(root, [&links](FileNode* n) {
        if (n->doNotCountAllocated() && n->fileID != 0 && !n->isDeleted()) links.emplace(n->fileID, n);
    });
    return links;
}

// A file's space stays on disk while any of its hard links is left. When the link that counted
// it goes, another link of the same tree counts it from then on; otherwise the folders would show
// the space as freed while the disk still holds it.
void LiveMonitorController::handOverSpaceOfDeletedLinks(FileNode* deleted) {
    FileNode* root = deleted;
    while (root->parent()) root = root->parent();
    const LinksLeftOut& spared = linksLeftOut(root);
    if (spared.empty()) return;
    forEachFileBelow(deleted, [&](FileNode* gone) {
        if (gone->doNotCountAllocated() || gone->fileID == 0) return;
        const auto [first, last] = spared.equal_range(gone->fileID);
        for (auto it = first; it != last; ++it) {
            FileNode* heir = it->second;
            if (heir->isDeleted() || !heir->countAllocatedSpaceFromNowOn()) continue;
            pendingDirtyNodes_.insert(heir);
            for (FileNode* a = heir->parent(); a; a = a->parent()) {
                if (!pendingTouchedAncestors_.insert(a).second) break;
                pendingDirtyNodes_.insert(a);
            }
            return;
        }
    });
}

void LiveMonitorController::handle(const std::vector<FileChangeEvent>& events) {
    // Raised unless every event of the batch repeats the removal of an already deleted node.
    bool changed = false;
    for (const FileChangeEvent& event : events) {
        // Told at once (a stopped controller has no watched roots and tells nothing).
        if (event.mustRescan() && !watchedRoots_.empty()) emit missedChanges(event.path);
        const bool arrival = event.isCreated() || event.isRenamed();
        if (!event.isRemoved() && !arrival) {
            changed = true;
            continue;
        }
        findNodes(event.path, foundScratch_);
        if (foundScratch_.empty()) {
            changed = true;
            continue;
        }
        for (FileNode* node : foundScratch_) {
            if (node->isDeleted()) {
                // Something stands again under the name of an item shown deleted (moved back, or
                // made anew): it is not read, so the result no longer matches the disk.
                if (arrival && onDisk(*node) != OnDisk::gone && !watchedRoots_.empty())
                    emit missedChanges(node->pathBytes());
                continue;
            }
            if (!event.isRemoved() && !event.isRenamed()) {
                changed = true;
                continue;
            }
            changed = true;
            // A node whose own path still leads to it is no removal: the destination of a rename,
            // or a node found under another spelling (its case twin went, or it was renamed in the
            // window from the event's name to a name that differs only in case). Another item
            // there now (removed and made again, possibly within one batch, whose flags are
            // merged per path) means the scanned one is gone and its successor is not shown.
            switch (onDisk(*node)) {
                case OnDisk::same:
                    break;
                case OnDisk::replaced:
                    markNode(node);
                    if (!watchedRoots_.empty()) emit missedChanges(node->pathBytes());
                    break;
                case OnDisk::gone:
                    markNode(node);
                    break;
            }
        }
    }
    if (changed) hasPendingRefresh_ = true;
}

void LiveMonitorController::findNodes(std::string_view path, std::vector<FileNode*>& found, bool exactOnly) {
    found.clear();
    // Roots may overlap (a folder and a folder inside it, scanned as two trees), and copies of a
    // tree hold its paths too: each tree that holds the path has a node of its own to follow.
    auto lookIn = [&](const WatchedRoot& w) {
        if (path == w.path) {
            found.push_back(w.root.get());
            return;
        }
        std::string_view prefix = w.path;
        const bool addSlash = prefix.empty() || prefix.back() != '/';
        if (path.size() > prefix.size() && path.starts_with(prefix) && (!addSlash || path[prefix.size()] == '/'))
            if (FileNode* node = findBelow(w.root.get(), path.substr(prefix.size() + (addSlash ? 1 : 0)), exactOnly))
                found.push_back(node);
    };
    for (const WatchedRoot& w : watchedRoots_) lookIn(w);
    for (const WatchedRoot& k : keptTrees_) {
        const bool watched = std::any_of(watchedRoots_.begin(), watchedRoots_.end(),
                                         [&](const WatchedRoot& w) { return w.root == k.root; });
        if (!watched) lookIn(k);
    }
}

FileNode* LiveMonitorController::findBelow(FileNode* root, std::string_view rest, bool exactOnly) {
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

FileNode* LiveMonitorController::childByName(std::u16string_view name, FileNode* folder, bool exactOnly) {
    auto [it, fresh] = childLookupCache_.try_emplace(folder);
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

void LiveMonitorController::flushPendingRefreshIfNeeded() {
    if (!hasPendingRefresh_) return;
    // Siblings of deleted items show changed percentages.
    for (FileNode* ancestor : pendingTouchedAncestors_)
        for (FileNode* child : ancestor->children()) pendingDirtyNodes_.insert(child);
    pendingTouchedAncestors_.clear();
    hasPendingRefresh_ = false;
    if (pendingDirtyNodes_.empty()) return;
    std::vector<FileNode*> batch(pendingDirtyNodes_.begin(), pendingDirtyNodes_.end());
    pendingDirtyNodes_.clear();
    emit nodesChanged(batch);
}

void LiveMonitorController::markElsewhere(FileNode* node) {
    std::vector<FileNode*> same;
    findNodes(node->pathBytes(), same, true);
    for (FileNode* other : same)
        if (other != node) markNode(other);
}

void LiveMonitorController::markDeletedLocally(std::span<FileNode* const> nodes) {
    for (FileNode* node : nodes) {
        if (!node) continue;
        markNode(node);
        markElsewhere(node);
    }
    hasPendingRefresh_ = true;
    flushPendingRefreshIfNeeded();
}

// The item in the other trees kept in step takes the new name too: it is the child of the folder
// of the same path with the node's file identifier whose own name is gone from the disk (hard
// links in one folder share the identifier, but only the renamed one lost its name).
void LiveMonitorController::renameElsewhere(FileNode* node) {
    FileNode* parent = node->parent();
    if (!parent || node->fileID == 0) return;
    std::vector<FileNode*> folders;
    findNodes(parent->pathBytes(), folders, true);
    const std::u16string name = node->name16();
    for (FileNode* folder : folders) {
        if (folder == parent) continue;
        for (FileNode* twin : folder->children()) {
            if (twin->fileID != node->fileID || twin->isDir() != node->isDir() || twin->isDeleted() ||
                twin->name16() == name || onDisk(*twin) != OnDisk::gone)
                continue;
            twin->rename(std::u16string_view(name));
            pendingDirtyNodes_.insert(twin);
            break;
        }
    }
}

void LiveMonitorController::markRenamedLocally(std::span<FileNode* const> nodes) {
    forgetNameLookups();
    for (FileNode* node : nodes) {
        if (!node) continue;
        pendingDirtyNodes_.insert(node);
        renameElsewhere(node);
    }
    forgetNameLookups();
    hasPendingRefresh_ = true;
    flushPendingRefreshIfNeeded();
}

}  // namespace zelvane
