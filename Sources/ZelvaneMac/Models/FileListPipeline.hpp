#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "ScanEngine/Analysis/DuplicateDetection.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Models/FileListSorting.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

namespace zelvane {

// What the file list is asked to show; the tab hands a fresh set on every change of the window.
struct FileListInputs {
    std::vector<RootRef> roots;
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    int decimalPlaces = 1;
    QString filterText;
    bool matchEntirePath = true;
    bool includeFolders = false;
    std::optional<int> maxFiles;
    DuplicateMethod dupMethod = DuplicateMethod::none;
    bool dupsOnly = false;
    bool isActive = false;
};

struct FileListResults {
    int count = 0;
    int64_t totalSize = 0;
    int64_t totalAlloc = 0;
    bool operator==(const FileListResults&) const = default;
};

// The flat list of every file (and, when asked, folder) of the roots, in collection order. Any thread.
std::vector<FileNode*> collectFileList(const std::vector<RootRef>& roots, bool includeFolders);

// A list of rows shared between the stages, the model and the jobs that read it: never copied,
// never changed once made.
using SharedNodeList = std::shared_ptr<const std::vector<FileNode*>>;

// The duplicate groups the file list gave its nodes, shared with the background jobs that give
// and take them. One job at a time changes the nodes; a job superseded before its turn changes
// nothing. Groups taken off their nodes are kept (`takeRetired`) until no reader can still be in
// them: the GUI thread frees them once no stage that reads groups runs.
class DupAssignmentsLocked final {
public:
    struct Assigned {
        std::vector<DupGroupRef> groups;
        std::vector<RootRef> roots;  // the trees of the members, alive while they hold the groups
    };
    // Takes the groups given before off their members and gives each of these to its members,
    // unless `superseded` is set by the time it is this job's turn. False when nothing changed.
    // Background threads only: it may take long, and it waits for another job under way.
    bool replace(Assigned next, const CancelFlag& superseded);
    // The groups taken off their nodes since the last call. Any thread; never waits for a job.
    std::vector<Assigned> takeRetired();

private:
    std::mutex turn_;   // held by the job that changes the nodes, for the length of its change
    std::mutex state_;  // held for moments only, by the job and by the GUI thread
    Assigned current_;
    std::vector<Assigned> retired_;
};

// The coordinator of the file list: collects every file of the roots, finds duplicates, then
// filters, sorts and caps in the background, each stage with its own generation, and publishes
// the rows. While the list is not shown, changes are only recorded and run when it is shown again.
// GUI thread only; no widgets.
class FileListPipeline final : public QObject {
    Q_OBJECT
public:
    enum class PendingRebuild { full, displayOnly };

    explicit FileListPipeline(const std::optional<std::pair<FileListSortKey, bool>>& initialSort = std::nullopt,
                              QObject* parent = nullptr);
    ~FileListPipeline() override;

    void update(const FileListInputs& inputs);
    // A header click: the new order applies through a rebuild.
    void setSort(FileListSortKey key, bool ascending);
    // The order stored from an earlier run, taken before anything is listed: no rebuild.
    void restoreSort(FileListSortKey key, bool ascending);

    // A token whose life is one background run; the widget side shows the busy cursor meanwhile.
    void setBusyHook(std::function<std::shared_ptr<void>()> hook) { busyHook_ = std::move(hook); }
    void setDebounceMilliseconds(int ms) { debounce_.setInterval(ms); }

    const std::vector<FileNode*>& displayed() const { return *displayed_; }
    const SharedNodeList& displayedList() const { return displayed_; }
    // Which of the shown rows have member rows, made with them; unknown without a duplicate method.
    const std::shared_ptr<const RowsWithCopies>& displayedCopies() const { return displayedCopies_; }
    const DecodedFilter& highlightFilters() const { return highlightFilters_; }
    bool highlightFullPath() const { return highlightFullPath_; }
    FileListSortKey sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    const FileListInputs& inputs() const { return in_; }
    bool isLocatingDuplicates() const { return locatingDuplicates_; }
    const FileListResults& results() const { return results_; }
    std::optional<PendingRebuild> pendingRebuild() const { return pending_; }
    size_t fullListSize() const { return fullList_->size(); }
    bool debouncePending() const { return debounce_.isActive(); }

    // The totals of the rows shown again after live monitoring or a file action deleted some of
    // them: rows drawn deleted stay in the list but no longer count, as in the tree.
    void recountShownRows();

    // The stages; public so that tests can start them in a chosen order.
    void rebuildFullList();
    void refreshDuplicates();
    void performRebuild();
    void scheduleFilterRebuild();

signals:
    void rowsPublished();
    void resultsChanged(const zelvane::FileListResults& results);
    void locatingDuplicatesChanged(bool locating);
    void duplicateColumnsVisibleChanged(bool visible);
    void displayFormatChanged();

private:
    std::shared_ptr<void> busy() const { return busyHook_ ? busyHook_() : nullptr; }
    void setLocating(bool on);
    // Group sets taken off their nodes are freed once no stage that reads groups runs: at once
    // when small, else on the background road.
    void freeRetiredGroups();

    FileListInputs in_;
    bool active_ = false;
    std::optional<PendingRebuild> pending_;
    FileListSortKey sortKey_ = FileListSortKey::allocated;
    bool sortAscending_ = false;
    SharedNodeList fullList_ = std::make_shared<const std::vector<FileNode*>>();
    SharedNodeList displayed_ = std::make_shared<const std::vector<FileNode*>>();
    std::shared_ptr<const RowsWithCopies> displayedCopies_ = std::make_shared<const RowsWithCopies>();
    // The trees the shown rows and the assigned duplicate groups belong to: kept alive until they
    // are replaced, even when the window has moved on to other roots.
    std::vector<RootRef> displayedRoots_;
    DecodedFilter highlightFilters_;
    bool highlightFullPath_ = false;
    std::shared_ptr<DupAssignmentsLocked> assignments_ = std::make_shared<DupAssignmentsLocked>();
    // Whether this list may have given groups that a refresh must take back.
    bool mayHaveGroups_ = false;
    // Held by every stage under way that reads duplicate groups through the nodes.
    std::shared_ptr<int> groupReaders_ = std::make_shared<int>(0);
    std::vector<DupAssignmentsLocked::Assigned> unfreed_;
    bool locatingDuplicates_ = false;
    FileListResults results_;
    std::optional<QUuid> loadToken_;
    JobGeneration fullListGeneration_;
    JobGeneration dupGeneration_;
    JobGeneration rebuildGeneration_;
    JobGeneration recountGeneration_;
    QTimer debounce_;
    QTimer freeRetry_;
    std::function<std::shared_ptr<void>()> busyHook_;
};

}  // namespace zelvane
