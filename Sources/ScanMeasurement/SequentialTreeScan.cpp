#include "ScanMeasurement/SequentialTreeScan.hpp"

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/FileSystemInfo.hpp"
#include "ScanEngine/Scan/FolderReading.hpp"
#include "ScanEngine/Scan/VolumeChecks.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"

namespace zelvane {

namespace {

// Reads one folder's entries into its children; returns the subfolders to read next.
struct PendingFolder {
    FileNode* folder;
    double budget;
    bool exclusionHeldBack;  // nothing below is left out: the filter's answer above waits for the tree
};

void readOneFolder(const PendingFolder& pending, SequentialScanContext& c, std::byte* buf,
                   std::vector<FileNode*>& kids, std::vector<bool>& waits, std::vector<PendingFolder>& stack) {
    FileNode& folder = *pending.folder;
    const double budget = pending.budget;
    FolderPath path;
    path.reset(&folder);
    int fd = openDirectory(path.get().c_str(), nullptr);
    if (fd < 0) {
        recordOpenFailure(folder, path.get(), errno, c.options.accessDeniedCounter);
        if (c.progress) c.progress->addScore(budget);
        return;
    }
    SightingJournal journal;
    EntryContext entry{&c.root.hardLinks, &c.root.cloneLinks, c.root.rootBlockSize,
                       c.options.excludeFilters && !pending.exclusionHeldBack ? &*c.options.excludeFilters : nullptr,
                       c.options.excludeFullPath, true, &journal};
    kids.clear();
    waits.clear();
    const int refused = readFolderEntries(
        fd, path, c.options.bulkReader, nullptr, buf, c.progress,
        [&](const EntryFacts& e, int, EntryCounts& counts) {
            bool exclusionWaits = false;
            FileNode* child = makeEntryNode(c.arena, &folder, e, entry, exclusionWaits);
            if (!child) return;
            kids.push_back(child);
            waits.push_back(pending.exclusionHeldBack || exclusionWaits);
            if (!e.isDir) {
                ++counts.files;
                counts.bytes = saturatingAdd(counts.bytes, child->fileSize);
                return;
            }
            ++counts.dirs;
            decideDescent(*child, e, path, c.root, journal);
        },
        [&] {
            kids.clear();
            waits.clear();
            journal.startReplay();
        });
    closeDirectory(fd, nullptr);
    if (refused) recordOpenFailure(folder, path.get(), refused, c.options.accessDeniedCounter);
    folder.setChildren(c.arena, kids);

    size_t subfolders = 0;
    for (FileNode* k : kids)
        if (k->isDir() && !k->isVolumeBoundary()) ++subfolders;
    if (subfolders == 0) {
        if (c.progress) c.progress->addScore(budget);
        return;
    }
    // Pushed in reverse so that the first subfolder is read first.
    double share = budget / double(subfolders);
    for (size_t i = kids.size(); i-- > 0;)
        if (kids[i]->isDir() && !kids[i]->isVolumeBoundary()) stack.push_back({kids[i], share, waits[i]});
}

}  // namespace

void scanDirIntoTree(FileNode& folder, double budget, SequentialScanContext& c) {
    ScanBuffer buffer;
    std::vector<FileNode*> kids;
    std::vector<bool> waits;
    std::vector<PendingFolder> stack{{&folder, budget, false}};
    while (!stack.empty()) {
        if (c.progress && c.progress->isCancelled()) return;
        const PendingFolder next = stack.back();
        stack.pop_back();
        readOneFolder(next, c, buffer.pointer(), kids, waits, stack);
    }
}

RootRef scanToTree(const std::string& rootPath, const SequentialScanOptions& options) {
    auto st = statPath(rootPath);
    if (!st) return nullptr;
    auto store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    FileNode* root = arena.makeRoot(rootPath, st->isDir(), st->size, 0, packUnixTime(st->mtime));
    root->fileID = st->ino;
    root->createdDateRaw = packUnixTime(st->btime);
    root->lastAccessDateRaw = packUnixTime(st->atime);
    if (!st->isDir()) return store->handle(root);

    std::unique_ptr<ScanProgressTracker> tracker;
    if (options.progressCallback || options.isCancelled)
        tracker = std::make_unique<ScanProgressTracker>(options.progressCallback, options.isCancelled);
    RootScanContext ctx;
    ctx.rootDevID = st->dev;
    ctx.hardLinks.setHomeDevice(st->dev);
    ctx.cloneLinks.setHomeDevice(st->dev);
    ctx.visitedDirs.setHomeDevice(st->dev);
    ctx.rootContainerID = containerDiskID(rootPath);
    ctx.visitedDirs.registerFirstSighting(st->dev, st->ino);  // met again below itself: not read twice
    if (auto fsInfo = statfsPath(rootPath)) ctx.rootBlockSize = fsInfo->blockSize;
    SequentialScanContext c{options, arena, tracker.get(), ctx};
    scanDirIntoTree(*root, 1.0, c);
    if (tracker) tracker->reportFinal();
    root->aggregateSizes();
    int32_t counter = 0;
    root->assignSortNameIndex(counter);
    return store->handle(root);
}

}  // namespace zelvane
