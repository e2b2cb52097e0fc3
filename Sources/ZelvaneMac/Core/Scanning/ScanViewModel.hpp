#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Scan/UnreadableFoldersLocked.hpp"
#include "ZelvaneMac/Core/Scanning/ScanState.hpp"
#include "ZelvaneMac/Core/Support/DedicatedWorker.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "Platform/VolumeCapacity.hpp"

namespace zelvane {

// The volume of one selected root as `volumeCapacity` measures it, the export mode's one source:
// the window's exports write the same three numbers for the same volume.
struct RootCapacity {
    QString path;
    std::optional<int64_t> total;
    std::optional<int64_t> available;
    int64_t reserved = 0;  // the blocks kept for the administrator: neither used nor available
    bool operator==(const RootCapacity&) const = default;

    VolumeCapacity capacity() const { return {total, available, reserved}; }
};

// How a scan ranks the file types it counts as it reads, for the treemap's colours.
struct FileTypeCounting {
    bool colorBySize = true;
    QStringList extensionLists;
    bool operator==(const FileTypeCounting&) const = default;
};

// The per-extension totals of a scan's trees, counted while it read them.
struct CountedFileTypes {
    std::vector<const FileNode*> roots;  // the scan's roots, compared as objects, never read
    FileTypeCounting counting;
    ExtensionStatsResult stats;
};

// What the last import could not read of its file: the lines that were no row, and whether the
// file ended inside one (it was cut short).
struct ImportShortfall {
    int64_t rowsLeftOut = 0;
    bool endedInsideRow = false;
    bool any() const { return rowsLeftOut > 0 || endedInsideRow; }
    bool operator==(const ImportShortfall&) const = default;
};

// The life of one scan or CSV import for one window (or the command-line runner): selection, the
// background job, progress, cancellation, the outcome and the capacities of the selected roots.
//
// The model lives on the main thread; every property change is a signal emitted there, in the
// order the steps make them. Runs go on the model's DedicatedWorker: starting a run or selecting
// roots stops the job that is running, and whatever an older job reports later is dropped, so
// only the newest run's outcome ever reaches the state.
//
// A run never holds the model up when it goes: the worker cancels its runs and waits a moment for
// them, and a run still busy after that (stuck in the kernel on a hung mount, say) is left to end
// on its own, reporting to nobody. Running out of memory fails the run with that reason.
class ScanViewModel final : public QObject {
    Q_OBJECT
public:
    // How long the model waits for its cancelled runs when it goes.
    static constexpr std::chrono::milliseconds kRunEndWait{1500};
    using CSVImportFunction = std::function<CSVImportOutcome(const std::string& path, const CSVImportProgressHandler&,
                                                             const CSVImportCancelQuery&)>;

    explicit ScanViewModel(QObject* parent = nullptr);
    ~ScanViewModel() override;
    // What an import runs; importFromCSV unless a test puts a stand-in here.
    void setCSVImportFunction(CSVImportFunction importer) { importer_ = std::move(importer); }

    void selectRoot(const QString& path, const QString& label);
    void selectPaths(const QStringList& paths);
    // With `countFileTypes`, the scan also counts the totals of each extension as it reads, so
    // that they are there with its roots (`takeCountedFileTypes`).
    void startScan(const std::optional<DecodedFilter>& excludeFilters, bool excludeFullPath, bool showMaxModifiedDate,
                   std::optional<FileTypeCounting> countFileTypes = std::nullopt);
    // Whether startScan() has a root to scan (none after a CSV import, which selects none).
    bool hasPendingSelection() const { return (pendingPaths_ && !pendingPaths_->isEmpty()) || pendingRoot_; }
    void startCSVImport(const QString& filePath, bool showMaxModifiedDate);
    void cancelScan();
    void refreshCapacityForLiveChange();

    const ScanState& scanState() const { return scanState_; }
    const QString& rootLabel() const { return rootLabel_; }
    std::optional<double> lastScanDuration() const { return lastScanDuration_; }
    const QStringList& lastScanAccessDeniedPaths() const { return lastScanAccessDeniedPaths_; }
    // Every folder the last scan could not read (roots among them), set before its final state.
    const std::vector<UnreadableFolder>& lastScanUnreadableFolders() const { return lastScanUnreadableFolders_; }
    bool lastScanWasCSVImport() const { return lastScanWasCSVImport_; }
    // Of the last import that gave a result, set before its final state; nothing for a scan.
    const ImportShortfall& lastImportShortfall() const { return lastImportShortfall_; }
    std::optional<int64_t> totalCapacity() const { return totalCapacity_; }
    std::optional<int64_t> availableCapacity() const { return availableCapacity_; }
    const std::vector<RootCapacity>& rootCapacities() const { return rootCapacities_; }
    // What the last scan counted of its file types, set before its final state; given once, and
    // dropped as the next run starts.
    std::optional<CountedFileTypes> takeCountedFileTypes() { return std::exchange(countedFileTypes_, std::nullopt); }

    // The capacity of the volume holding `path`; absent values when it cannot be asked.
    static VolumeCapacity queryVolumeCapacity(const QString& path);

signals:
    void scanStateChanged(const zelvane::ScanState& state);
    void rootLabelChanged(const QString& label);
    void lastScanDurationChanged(std::optional<double> seconds);
    void lastScanAccessDeniedPathsChanged(const QStringList& paths);
    void totalCapacityChanged(std::optional<int64_t> bytes);
    void availableCapacityChanged(std::optional<int64_t> bytes);
    void rootCapacitiesChanged(const std::vector<zelvane::RootCapacity>& capacities);

private:
    void setScanState(ScanState s);
    void setRootLabel(const QString& s);
    void setLastScanDuration(std::optional<double> d);
    void setLastScanAccessDeniedPaths(const QStringList& p);
    void applyProgress(const ScanProgress& p);
    void finishScan(std::vector<RootRef> nodes, bool cancelled, const QStringList& denied,
                    std::vector<UnreadableFolder> unreadable, std::optional<CountedFileTypes> counted);
    struct ImportOutcome;
    void finishCSVImport(const std::optional<ImportOutcome>& result, const std::optional<CSVImportError>& error);
    // A run whose job ended by an exception.
    void failRun(bool wasImport, const QString& reason);
    void updateCapacity(const QStringList& paths);
    // Stops the running job (if any) and makes its later reports stale.
    void supersedeRunningJob();
    void beginRun(const QString& logLabel);
    // Starts the run's job; a job that could not start fails the run at once.
    void launch(DedicatedWorker::Job job, bool isImport);

    ScanState scanState_ = ScanState::idle();
    QString rootLabel_;
    std::optional<double> lastScanDuration_;
    QStringList lastScanAccessDeniedPaths_;
    std::vector<UnreadableFolder> lastScanUnreadableFolders_;
    std::optional<CountedFileTypes> countedFileTypes_;
    bool lastScanWasCSVImport_ = false;
    ImportShortfall lastImportShortfall_;
    std::optional<QDateTime> scanStartTime_;
    std::optional<QUuid> scanLogToken_;
    std::optional<int64_t> totalCapacity_;
    std::optional<int64_t> availableCapacity_;
    std::vector<RootCapacity> rootCapacities_;
    std::optional<QString> pendingRoot_;
    std::optional<QStringList> pendingPaths_;
    CSVImportFunction importer_;
    // Last, so that it goes first: the runs' reports reach the model only while all of it exists.
    DedicatedWorker runs_{this, kRunEndWait};
};

}  // namespace zelvane

Q_DECLARE_METATYPE(zelvane::ScanState)
