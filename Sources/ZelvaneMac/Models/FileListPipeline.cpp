#include "ZelvaneMac/Models/FileListPipeline.hpp"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <string_view>

#include "ScanEngine/Filter/FullPathTreeFilter.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Support/FreedHeap.hpp"

namespace zelvane {

namespace {

// What the status bar says of the rows: deleted ones, still drawn struck out, are gone from disk
// and from the tree's totals, and from these. A hard link whose blocks another link counts (its
// allocated size shown in brackets) adds nothing to the allocated total, as in the tree.
FileListResults totalsOf(std::span<FileNode* const> rows) {
    FileListResults out;
    for (const FileNode* n : rows) {
        if (n->isDeleted()) continue;
        ++out.count;
        out.totalSize = saturatingAdd(out.totalSize, n->effectiveSize());
        if (!n->doNotCountAllocated()) out.totalAlloc = saturatingAdd(out.totalAlloc, n->effectiveAllocSize());
    }
    return out;
}

void walk(FileNode& folder, bool includeFolders, std::vector<FileNode*>& out) {
    // Pre-order, depth first, without recursion: deep trees must not exhaust the stack.
    std::vector<std::pair<std::span<FileNode* const>, size_t>> stack;
    stack.emplace_back(folder.children(), 0);
    while (!stack.empty()) {
        auto& [kids, next] = stack.back();
        if (next == kids.size()) {
            stack.pop_back();
            continue;
        }
        FileNode* child = kids[next++];
        if (!child->isDir()) {
            out.push_back(child);
            continue;
        }
        if (!includeFolders) {
            stack.emplace_back(child->children(), 0);
            continue;
        }
        out.push_back(child);
        stack.emplace_back(child->children(), 0);
    }
}

QString seconds(double s) { return QString::asprintf("%.2fs", s); }

double secondsSince(const std::chrono::steady_clock::time_point& t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

QString composedFilterText(const FileListInputs& in) {
    if (!in.dupsOnly || in.dupMethod == DuplicateMethod::none) return in.filterText;
    return in.filterText.isEmpty() ? QStringLiteral("=dup") : in.filterText + QStringLiteral(" =dup");
}

// Whether the rows shown depend on the duplicate groups: their filter or their order reads them.
bool rowsReadGroups(const FileListInputs& in, FileListSortKey key) {
    if (key == FileListSortKey::dupCount || key == FileListSortKey::dupSize) return true;
    const QString text = composedFilterText(in).trimmed();
    if (text.isEmpty()) return false;
    bool fullpath = in.matchEntirePath;
    const DecodedFilter filters =
        decodeFilterText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())), fullpath);
    for (const FilterGroup& group : filters)
        for (const FilterItem& item : group)
            if (item.sizeOpType == SizeOpType::dupCount || item.sizeOpType == SizeOpType::dupSize) return true;
    return false;
}

// Whether no term reads a name or a path: the comparisons other than the path's length, and the
// files-or-folders terms. Such a filter holds for a file whatever the mode, so even in full-path
// mode the list is matched on every processor instead of walking each tree in one thread; the
// files come out in the same order either way.
bool readsNoNames(const DecodedFilter& filters) {
    for (const FilterGroup& group : filters)
        for (const FilterItem& item : group) {
            if (item.foldersOnly || item.filesOnly) continue;
            if (item.sizeOpType && *item.sizeOpType != SizeOpType::pathLen) continue;
            return false;
        }
    return true;
}

}  // namespace

std::vector<FileNode*> collectFileList(const std::vector<RootRef>& roots, bool includeFolders) {
    // Sized once from the roots' counts: grown by doubling, ten million rows would hold the list
    // twice over for a moment and keep two thirds more than they use.
    size_t expected = 0;
    for (const RootRef& root : roots)
        if (root)
            expected += size_t(std::max(0, root->subFolderFileCount())) +
                        (includeFolders ? size_t(std::max(0, root->subFolderDirCount())) : 0);
    std::vector<FileNode*> out;
    out.reserve(expected);
    for (const RootRef& root : roots) {
        if (!root) continue;
        if (root->hasFlatFileList()) {
            for (FileNode* n : root->flatFileList())
                if (includeFolders || !n->isDir()) out.push_back(n);
            continue;
        }
        walk(*root, includeFolders, out);
    }
    return out;
}

FileListPipeline::FileListPipeline(const std::optional<std::pair<FileListSortKey, bool>>& initialSort, QObject* parent)
    : QObject(parent) {
    if (initialSort) {
        sortKey_ = initialSort->first;
        sortAscending_ = initialSort->second;
    }
    debounce_.setSingleShot(true);
    debounce_.setInterval(250);
    freeRetry_.setSingleShot(true);
    freeRetry_.setInterval(100);
    connect(&freeRetry_, &QTimer::timeout, this, &FileListPipeline::freeRetiredGroups);
    connect(&debounce_, &QTimer::timeout, this, &FileListPipeline::performRebuild);
}

FileListPipeline::~FileListPipeline() = default;

void FileListPipeline::update(const FileListInputs& next) {
    const bool rootsChanged = next.roots.size() != in_.roots.size() ||
                              !std::equal(next.roots.begin(), next.roots.end(), in_.roots.begin(),
                                          [](const RootRef& a, const RootRef& b) { return a.get() == b.get(); });
    const bool filterChanged = next.filterText != in_.filterText;
    const bool includeChanged = next.includeFolders != in_.includeFolders;
    const bool dupChanged = next.dupMethod != in_.dupMethod;
    const bool formatChanged = next.byteUnitBase != in_.byteUnitBase ||
                               next.byteSizeDisplayMode != in_.byteSizeDisplayMode ||
                               next.decimalPlaces != in_.decimalPlaces;
    const bool displayChanged = next.matchEntirePath != in_.matchEntirePath || includeChanged ||
                                next.maxFiles != in_.maxFiles || next.dupsOnly != in_.dupsOnly || formatChanged;
    const bool wasActive = active_;
    in_ = next;
    active_ = next.isActive;
    if (rootsChanged) {
        // Lists under way for the old roots must never arrive: they would be applied against the
        // new roots (and their trees may be gone by then).
        fullList_ = std::make_shared<const std::vector<FileNode*>>();
        fullListGeneration_.supersede();
        dupGeneration_.supersede();
        setLocating(false);
    }
    if (formatChanged) emit displayFormatChanged();

    if (!active_) {
        if (rootsChanged || includeChanged || dupChanged)
            pending_ = PendingRebuild::full;
        else if ((displayChanged || filterChanged) && !pending_)
            pending_ = PendingRebuild::displayOnly;
        return;
    }

    const std::optional<PendingRebuild> pending = std::exchange(pending_, std::nullopt);
    const bool activating = !wasActive;
    // A pending collection (the roots or the folder option changed while hidden) runs the whole
    // chain with the current inputs; running only this update's own change would work on an
    // empty or stale list.
    if (rootsChanged || (activating && pending == PendingRebuild::full)) {
        if (loadToken_) DebugTimingLog::end(*loadToken_);
        loadToken_ = DebugTimingLog::begin(QStringLiteral("File View load"));
        debounce_.stop();
        rebuildFullList();
    } else if (includeChanged) {
        debounce_.stop();
        rebuildFullList();
    } else if (dupChanged) {
        refreshDuplicates();
    } else if (displayChanged) {
        performRebuild();
    } else if (filterChanged) {
        scheduleFilterRebuild();
    } else if (activating && pending == PendingRebuild::displayOnly) {
        performRebuild();
    }
}

void FileListPipeline::setSort(FileListSortKey key, bool ascending) {
    sortKey_ = key;
    sortAscending_ = ascending;
    performRebuild();
}

void FileListPipeline::restoreSort(FileListSortKey key, bool ascending) {
    sortKey_ = key;
    sortAscending_ = ascending;
}

void FileListPipeline::scheduleFilterRebuild() { debounce_.start(); }

void FileListPipeline::setLocating(bool on) {
    if (locatingDuplicates_ == on) return;
    locatingDuplicates_ = on;
    emit locatingDuplicatesChanged(on);
}

void FileListPipeline::rebuildFullList() {
    if (in_.roots.empty()) {
        fullList_ = std::make_shared<const std::vector<FileNode*>>();
        fullListGeneration_.supersede();
        refreshDuplicates();
        return;
    }
    auto token = busy();
    runInBackground(
        this, fullListGeneration_,
        [roots = in_.roots, folders = in_.includeFolders] {
            return SharedNodeList(std::make_shared<const std::vector<FileNode*>>(collectFileList(roots, folders)));
        },
        [this, token](SharedNodeList list) {
            fullList_ = std::move(list);
            refreshDuplicates();
        },
        [token] {});
}

void FileListPipeline::freeRetiredGroups() {
    for (auto& r : assignments_->takeRetired()) unfreed_.push_back(std::move(r));
    // A stage under way may still hold a group it read through a node: its groups wait for it,
    // and are looked at again shortly.
    if (unfreed_.empty()) return;
    if (groupReaders_.use_count() > 1) {
        freeRetry_.start();
        return;
    }
    size_t groups = 0;
    for (const auto& r : unfreed_) groups += r.groups.size();
    auto sets = std::exchange(unfreed_, {});
    constexpr size_t kFreeHere = 4096;
    if (groups <= kFreeHere) return;  // few: freed here, now
    runInBackground(this, [sets = std::make_shared<decltype(sets)>(std::move(sets))]() mutable {
        sets.reset();
        trimFreedHeap();
        return true;
    }, [](bool) {});
}

void FileListPipeline::refreshDuplicates() {
    emit duplicateColumnsVisibleChanged(in_.dupMethod != DuplicateMethod::none);
    if (in_.dupMethod == DuplicateMethod::none || fullList_->empty()) {
        setLocating(false);
        if (!mayHaveGroups_) {
            dupGeneration_.supersede();
            performRebuild();
            return;
        }
        // The groups given before are taken back on the background road; the rows follow.
        auto token = busy();
        runInBackground(
            this, dupGeneration_,
            [assignments = assignments_](const CancelFlag& superseded) {
                return assignments->replace({}, superseded);
            },
            [this, token](bool) {
                mayHaveGroups_ = false;
                freeRetiredGroups();
                // Hidden meanwhile: the rows wait for the list to be shown, as every change does.
                if (active_)
                    performRebuild();
                else if (!pending_)
                    pending_ = PendingRebuild::displayOnly;
            },
            [token] {});
        return;
    }
    setLocating(true);
    mayHaveGroups_ = true;
    const QUuid entry = DebugTimingLog::begin(QStringLiteral("Duplicate detection"));
    const auto start = std::chrono::steady_clock::now();
    auto token = busy();
    struct Detection {
        size_t files = 0;
        size_t groups = 0;
        double queue = 0;
        double compute = 0;
    };
    // Found and given to the nodes on the background road, the groups in bulk: the GUI thread
    // only learns that it is done.
    runInBackground(
        this, dupGeneration_,
        [list = fullList_, method = in_.dupMethod, start, assignments = assignments_,
         roots = in_.roots](const CancelFlag& superseded) {
            Detection d;
            trimFreedHeap();
            d.queue = secondsSince(start);
            const auto computeStart = std::chrono::steady_clock::now();
            std::vector<DupGroupRef> groups = detectDuplicates(*list, method, &superseded);
            d.compute = secondsSince(computeStart);
            d.files = list->size();
            d.groups = groups.size();
            assignments->replace({std::move(groups), roots}, superseded);
            trimFreedHeap();
            return d;
        },
        [this, entry, token](Detection d) {
            const QString detail = QString::number(d.files) + QStringLiteral(" files, ") +
                                   QString::number(d.groups) + QStringLiteral(" groups, ") +
                                   QStringLiteral("queue ") + seconds(d.queue) + QStringLiteral(", compute ") +
                                   seconds(d.compute);
            freeRetiredGroups();
            setLocating(false);
            DebugTimingLog::end(entry, detail);
            performRebuild();
        },
        [this, entry, token] {
            freeRetiredGroups();
            DebugTimingLog::end(entry, QStringLiteral("superseded before reaching main"));
        });
    // A search of millions of files takes seconds: rows that do not depend on it are shown
    // meanwhile, and shown again with their duplicates once it ends. A shorter list waits for it.
    constexpr size_t kListShownBeforeDuplicates = 100000;
    if (fullList_->size() >= kListShownBeforeDuplicates && !rowsReadGroups(in_, sortKey_)) performRebuild();
}

void FileListPipeline::performRebuild() {
    std::optional<QUuid> loadToken = std::exchange(loadToken_, std::nullopt);
    const QString text = composedFilterText(in_);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        highlightFilters_.clear();
        highlightFullPath_ = in_.matchEntirePath;
    } else {
        bool fullpath = in_.matchEntirePath;
        highlightFilters_ = decodeFilterText(std::u16string_view(reinterpret_cast<const char16_t*>(trimmed.utf16()),
                                                                 size_t(trimmed.size())),
                                             fullpath);
        highlightFullPath_ = fullpath;
    }
    const QUuid entry = DebugTimingLog::begin(QStringLiteral("File View filter"));
    const auto start = std::chrono::steady_clock::now();
    auto token = busy();
    struct Rebuild {
        SharedNodeList rows;
        std::shared_ptr<const RowsWithCopies> copies;
        std::vector<RootRef> roots;
        FileListResults results;
        size_t fullCount = 0;
        double queue = 0;
        double compute = 0;
    };
    runInBackground(
        this, rebuildGeneration_,
        [roots = in_.roots, fullList = fullList_, matchEntirePath = in_.matchEntirePath,
         includeFolders = in_.includeFolders, maxFiles = in_.maxFiles, key = sortKey_, ascending = sortAscending_,
         dups = in_.dupMethod != DuplicateMethod::none,
         text = trimmed.toStdU16String(), start, readers = groupReaders_](const CancelFlag& superseded) mutable {
            Rebuild r;
            r.roots = roots;
            r.queue = secondsSince(start);
            const auto computeStart = std::chrono::steady_clock::now();
            r.fullCount = fullList->size();
            // The whole list is read where it lies; only a filter makes a list of its own.
            std::vector<FileNode*> matched;
            std::span<FileNode* const> rows = *fullList;
            if (!text.empty()) {
                bool fullpath = matchEntirePath;
                const DecodedFilter filters = decodeFilterText(std::u16string_view(text), fullpath);
                if (fullpath && !roots.empty() && (includeFolders || !readsNoNames(filters))) {
                    for (const RootRef& root : roots) {
                        auto part = filterTreeFullPath(*root, filters, includeFolders, true);
                        matched.insert(matched.end(), part.begin(), part.end());
                    }
                } else {
                    // Matched in chunks on several threads; the chunks are joined in list order.
                    constexpr size_t kChunk = 16384;
                    const size_t chunks = (fullList->size() + kChunk - 1) / kChunk;
                    std::vector<std::vector<FileNode*>> parts(chunks);
                    parallelFor(chunks, parallelWorkerCount(), 1, [&](size_t c, unsigned) {
                        const size_t end = std::min(fullList->size(), (c + 1) * kChunk);
                        for (size_t i = c * kChunk; i < end; ++i)
                            if (matchItem(*(*fullList)[i], filters, fullpath, true)) parts[c].push_back((*fullList)[i]);
                    }, &superseded);
                    size_t total = 0;
                    for (const auto& part : parts) total += part.size();
                    matched.reserve(total);
                    for (auto& part : parts) {
                        matched.insert(matched.end(), part.begin(), part.end());
                        std::vector<FileNode*>().swap(part);
                    }
                }
                rows = matched;
            }
            // Only the rows kept are ordered in full: a cap picks its rows without sorting the rest.
            const size_t cap = maxFiles ? size_t(std::max(*maxFiles, 0)) : rows.size();
            if (!superseded.isSet()) r.rows = std::make_shared<const std::vector<FileNode*>>(sortNodes(rows, key, ascending, cap));
            else r.rows = std::make_shared<const std::vector<FileNode*>>();
            r.results = totalsOf(*r.rows);
            r.copies = std::make_shared<const RowsWithCopies>(dups ? RowsWithCopies(*r.rows, &superseded) : RowsWithCopies());
            r.compute = secondsSince(computeStart);
            readers.reset();  // read no group from here on
            return r;
        },
        [this, entry, loadToken, token](Rebuild r) {
            displayed_ = std::move(r.rows);
            displayedCopies_ = std::move(r.copies);
            displayedRoots_ = std::move(r.roots);
            results_ = r.results;
            emit resultsChanged(results_);
            emit rowsPublished();
            DebugTimingLog::end(entry, QString::number(r.fullCount) + QStringLiteral(" -> ") +
                                           QString::number(r.results.count) + QStringLiteral(" files, queue ") +
                                           seconds(r.queue) + QStringLiteral(", compute ") + seconds(r.compute));
            if (loadToken) DebugTimingLog::end(*loadToken, QString::number(r.results.count) + QStringLiteral(" files"));
            freeRetiredGroups();
        },
        [this, entry, token] {
            DebugTimingLog::end(entry, QStringLiteral("superseded before reaching main"));
            freeRetiredGroups();
        });
}

void FileListPipeline::recountShownRows() {
    const auto apply = [this](const FileListResults& now) {
        if (now == results_) return;
        results_ = now;
        emit resultsChanged(results_);
    };
    // A list of up to a hundred thousand rows is counted here; a longer one in the background.
    constexpr size_t kCountHere = 100000;
    if (displayed_->size() <= kCountHere) {
        apply(totalsOf(*displayed_));
        return;
    }
    runInBackground(
        this, recountGeneration_, [rows = displayed_] { return totalsOf(*rows); },
        [this, apply, rows = displayed_](FileListResults now) {
            if (rows == displayed_) apply(now);
        });
}

}  // namespace zelvane
