#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "ScanEngine/Scan/AccessDeniedCounter.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ScanEngine/Interchange/CSVLineReader.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "Platform/Processors.hpp"

namespace zelvane {

namespace {

// Roots compare as objects: a new run's trees are new objects even where their contents match.
bool sameScanState(const ScanState& a, const ScanState& b) {
    if (a.tag() != b.tag()) return false;
    switch (a.tag()) {
    case ScanState::Tag::scanning:
        return std::get<ScanState::Scanning>(a.value).progress == std::get<ScanState::Scanning>(b.value).progress;
    case ScanState::Tag::failed:
        return std::get<ScanState::Failed>(a.value).message == std::get<ScanState::Failed>(b.value).message;
    case ScanState::Tag::completed:
    case ScanState::Tag::cancelled: {
        const std::vector<RootRef>& x = a.roots();
        const std::vector<RootRef>& y = b.roots();
        return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                          [](const RootRef& l, const RootRef& r) { return l.get() == r.get(); });
    }
    case ScanState::Tag::idle: return true;
    }
    return false;
}

}  // namespace

struct ScanViewModel::ImportOutcome {
    std::vector<RootRef> roots;
    VolumeCapacity driveCapacity;
    bool wasCancelled = false;
    ImportShortfall shortfall;
};

ScanViewModel::ScanViewModel(QObject* parent) : QObject(parent), importer_(&importFromCSV) {
    qRegisterMetaType<zelvane::ScanState>();
}

ScanViewModel::~ScanViewModel() = default;

// ---- published properties -------------------------------------------------------------------

void ScanViewModel::setScanState(ScanState s) {
    if (sameScanState(s, scanState_)) return;
    scanState_ = std::move(s);
    emit scanStateChanged(scanState_);
}
void ScanViewModel::setRootLabel(const QString& s) {
    rootLabel_ = s;
    emit rootLabelChanged(rootLabel_);
}
void ScanViewModel::setLastScanDuration(std::optional<double> d) {
    lastScanDuration_ = d;
    emit lastScanDurationChanged(d);
}
void ScanViewModel::setLastScanAccessDeniedPaths(const QStringList& p) {
    lastScanAccessDeniedPaths_ = p;
    emit lastScanAccessDeniedPathsChanged(p);
}

// ---- selection ------------------------------------------------------------------------------

void ScanViewModel::selectRoot(const QString& path, const QString& label) {
    supersedeRunningJob();
    setRootLabel(label);
    pendingRoot_ = path;
    pendingPaths_.reset();
    setScanState(ScanState::idle());
    updateCapacity({path});
}

void ScanViewModel::selectPaths(const QStringList& paths) {
    supersedeRunningJob();
    QStringList wrapped;
    for (const QString& p : paths) wrapped << QLatin1Char('[') + p + QLatin1Char(']');
    setRootLabel(wrapped.join(QLatin1Char(' ')));
    setScanState(ScanState::idle());
    pendingRoot_.reset();
    pendingPaths_ = paths;
    updateCapacity(paths);
}

// ---- runs -----------------------------------------------------------------------------------

void ScanViewModel::supersedeRunningJob() {
    runs_.supersede();
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("cancelled"));
        scanLogToken_.reset();
    }
}

void ScanViewModel::beginRun(const QString& logLabel) {
    countedFileTypes_.reset();
    lastImportShortfall_ = {};
    setScanState(ScanState::scanning(ScanProgress{}));
    scanStartTime_ = QDateTime::currentDateTimeUtc();
    scanLogToken_ = DebugTimingLog::begin(logLabel, rootLabel_);
    setLastScanDuration(std::nullopt);
}

void ScanViewModel::launch(DedicatedWorker::Job job, bool isImport) {
    // `this` is only reached from what the job reports, which runs on the main thread while the
    // model lives and the run is current.
    QString failure;
    if (runs_.start(std::move(job), [this, isImport](const QString& reason) { failRun(isImport, reason); }, failure))
        return;
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        scanLogToken_.reset();
    }
    setScanState(ScanState::failed(fillPlaceholders(localized("Could not start: %@"), {failure})));
}

void ScanViewModel::failRun(bool wasImport, const QString& reason) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        scanLogToken_.reset();
    }
    if (scanStartTime_) setLastScanDuration(scanStartTime_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    setScanState(ScanState::failed(fillPlaceholders(
        wasImport ? localized("Could not import %@: %@") : localized("Could not scan %@: %@"), {rootLabel_, reason})));
}

void ScanViewModel::startScan(const std::optional<DecodedFilter>& excludeFilters, bool excludeFullPath,
                              bool showMaxModifiedDate, std::optional<FileTypeCounting> countFileTypes) {
    // With nothing selected there is nothing to start, and the run in progress (an import, say)
    // must go on: superseding it would drop its outcome and leave the state scanning for good.
    QStringList roots;
    if (pendingPaths_ && !pendingPaths_->isEmpty())
        roots = *pendingPaths_;
    else if (pendingRoot_)
        roots = {*pendingRoot_};
    else
        return;
    supersedeRunningJob();
    lastScanWasCSVImport_ = false;

    beginRun(QStringLiteral("Scan"));
    std::vector<std::string> paths;
    for (const QString& r : roots) paths.push_back(pathBytesFromQString(r));

    launch(
        [this, paths = std::move(paths), excludeFilters, excludeFullPath, showMaxModifiedDate,
         countFileTypes = std::move(countFileTypes)](const CancelFlag& cancel, const DedicatedWorker::Reports& reports) {
            AccessDeniedCounter denied;
            UnreadableFoldersLocked unreadable;
            ParallelScanOptions options;
            options.excludeFilters = excludeFilters;
            options.excludeFullPath = excludeFullPath;
            options.workerCount = activeProcessorCount();
            options.progressCallback = [this, reports](const ScanProgress& p) {
                reports.post([this, p] { applyProgress(p); });
            };
            options.isCancelled = [&cancel] { return cancel.isSet(); };
            options.accessDeniedCounter = &denied;
            options.unreadableFolders = &unreadable;
            options.newestDateToFolders = showMaxModifiedDate;
            std::optional<ScanExtensionCounter> types;
            if (countFileTypes) options.folderEntries = &types.emplace();
            std::vector<RootRef> nodes = parallelScanToTree(paths, options);
            std::optional<CountedFileTypes> counted;
            if (types) {
                counted.emplace();
                for (const RootRef& r : nodes) counted->roots.push_back(r.get());
                counted->counting = *countFileTypes;
                counted->stats = types->finish(countFileTypes->colorBySize, countFileTypes->extensionLists);
            }
            const bool cancelled = cancel.isSet();
            QStringList deniedPaths;
            for (const std::string& p : denied.allPaths()) deniedPaths << QString::fromStdString(p);
            reports.post([this, nodes = std::move(nodes), cancelled, deniedPaths, unreadable = unreadable.all(),
                          counted = std::move(counted)]() mutable {
                finishScan(std::move(nodes), cancelled, deniedPaths, std::move(unreadable), std::move(counted));
            });
        },
        false);
}

void ScanViewModel::applyProgress(const ScanProgress& p) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (!scanState_.isScanning()) return;
    setScanState(ScanState::scanning(p));
}

void ScanViewModel::finishScan(std::vector<RootRef> nodes, bool cancelled, const QStringList& denied,
                               std::vector<UnreadableFolder> unreadable, std::optional<CountedFileTypes> counted) {
    Q_ASSERT(QThread::currentThread() == thread());
    lastScanUnreadableFolders_ = std::move(unreadable);
    countedFileTypes_ = std::move(counted);
    if (scanStartTime_) setLastScanDuration(scanStartTime_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    setLastScanAccessDeniedPaths(denied);
    if (scanLogToken_) {
        if (cancelled)
            DebugTimingLog::end(*scanLogToken_, QStringLiteral("cancelled"));
        else if (nodes.empty())
            DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        else
            DebugTimingLog::end(*scanLogToken_);
        scanLogToken_.reset();
    }
    if (cancelled)
        setScanState(ScanState::cancelled(std::move(nodes)));
    else if (nodes.empty())
        setScanState(ScanState::failed(fillPlaceholders(localized("Could not read %@"), {rootLabel_})));
    else
        setScanState(ScanState::completed(std::move(nodes)));
}

void ScanViewModel::startCSVImport(const QString& filePath, bool showMaxModifiedDate) {
    supersedeRunningJob();
    pendingRoot_.reset();
    pendingPaths_.reset();
    lastScanWasCSVImport_ = true;
    setRootLabel(QLatin1Char('[') + filePath + QLatin1Char(']'));
    beginRun(QStringLiteral("CSV Import"));
    launch(
        [this, importer = importer_, path = pathBytesFromQString(filePath), showMaxModifiedDate](
            const CancelFlag& cancel, const DedicatedWorker::Reports& reports) {
            std::optional<ImportOutcome> outcome;
            auto onProgress = [this, reports](const CSVImportProgress& p) {
                ScanProgress sp{p.files, p.folders, 0, p.percentComplete};
                reports.post([this, sp] { applyProgress(sp); });
            };
            // An error of any kind becomes an absent result, and the error says why.
            CSVImportOutcome imported = importer(path, onProgress, [&cancel] { return cancel.isSet(); });
            if (!imported.error) {
                CSVImportResult& r = imported.result;
                outcome = ImportOutcome{std::move(r.roots), r.driveCapacity, r.wasCancelled,
                                        ImportShortfall{r.rowsLeftOut, r.endedInsideRow}};
                if (showMaxModifiedDate)
                    for (const RootRef& root : outcome->roots) root->applyMaxModifiedDateToFolders();
            }
            reports.post([this, outcome = std::move(outcome), error = imported.error] { finishCSVImport(outcome, error); });
        },
        true);
}

namespace {

// Why an import failed, in the user's words.
QString importFailureReason(const std::optional<CSVImportError>& error) {
    if (!error) return localized("No valid rows found");
    switch (error->kind) {
    case CSVImportError::Kind::notRegularFile: return localized("Not a regular file (a device, pipe or socket)");
    case CSVImportError::Kind::lineTooLong:
        return fillPlaceholders(localized("A line is longer than %d MiB"),
                                {QString::number(CSVLineReader::kMaxLineBytes >> 20)});
    case CSVImportError::Kind::noValidRowsFound: return localized("No valid rows found");
    case CSVImportError::Kind::couldNotReadFile: break;
    }
    return QString::fromLocal8Bit(std::strerror(error->underlyingErrno));
}

}  // namespace

void ScanViewModel::finishCSVImport(const std::optional<ImportOutcome>& result,
                                    const std::optional<CSVImportError>& error) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (scanStartTime_) setLastScanDuration(scanStartTime_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    if (scanLogToken_) {
        if (!result)
            DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        else if (result->wasCancelled)
            DebugTimingLog::end(*scanLogToken_, QStringLiteral("cancelled"));
        else if (result->roots.empty())
            DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        else
            DebugTimingLog::end(*scanLogToken_);
        scanLogToken_.reset();
    }
    setLastScanAccessDeniedPaths({});
    lastImportShortfall_ = result ? result->shortfall : ImportShortfall{};
    const QString failure =
        fillPlaceholders(localized("Could not import %@: %@"), {rootLabel_, importFailureReason(error)});
    if (!result) {
        setScanState(ScanState::failed(failure));
    } else if (!result->roots.empty()) {
        if (result->driveCapacity.isKnown()) {
            const int64_t total = *result->driveCapacity.total;
            const int64_t free = *result->driveCapacity.available;
            totalCapacity_ = total;
            emit totalCapacityChanged(totalCapacity_);
            availableCapacity_ = free;
            emit availableCapacityChanged(availableCapacity_);
            rootCapacities_ = {RootCapacity{qStringFromPathBytes(result->roots.front()->nameBytes()), total, free,
                                            result->driveCapacity.reserved}};
            emit rootCapacitiesChanged(rootCapacities_);
        } else {
            totalCapacity_.reset();
            emit totalCapacityChanged(totalCapacity_);
            availableCapacity_.reset();
            emit availableCapacityChanged(availableCapacity_);
            rootCapacities_.clear();
            emit rootCapacitiesChanged(rootCapacities_);
        }
        if (result->wasCancelled)
            setScanState(ScanState::cancelled(result->roots));
        else
            setScanState(ScanState::completed(result->roots));
    } else if (result->wasCancelled) {
        setScanState(ScanState::cancelled({}));
    } else {
        setScanState(ScanState::failed(failure));
    }
}

void ScanViewModel::cancelScan() { runs_.cancel(); }

// ---- capacities -----------------------------------------------------------------------------

VolumeCapacity ScanViewModel::queryVolumeCapacity(const QString& path) {
    return volumeCapacity(pathBytesFromQString(path));
}

void ScanViewModel::updateCapacity(const QStringList& paths) {
    std::vector<RootCapacity> list;
    bool complete = !paths.isEmpty();
    int64_t total = 0, available = 0;
    // Roots on one volume (a folder and a folder inside it, two folders of one disk) share its
    // space: each volume is added once, or the box would show a disk twice its size.
    std::unordered_set<uint64_t> countedVolumes;
    for (const QString& p : paths) {
        VolumeCapacity c = queryVolumeCapacity(p);
        list.push_back({p, c.total, c.available, c.reserved});
        if (!c.total || !c.available) {
            complete = false;
            continue;
        }
        const std::optional<PathStat> st = statPath(pathBytesFromQString(p));
        if (st && !countedVolumes.insert(st->dev).second) continue;
        total += *c.total;
        available += *c.available;
    }
    rootCapacities_ = std::move(list);
    emit rootCapacitiesChanged(rootCapacities_);
    totalCapacity_ = complete ? std::optional<int64_t>(total) : std::nullopt;
    emit totalCapacityChanged(totalCapacity_);
    availableCapacity_ = complete ? std::optional<int64_t>(available) : std::nullopt;
    emit availableCapacityChanged(availableCapacity_);
}

void ScanViewModel::refreshCapacityForLiveChange() {
    QStringList paths;
    for (const RootCapacity& c : rootCapacities_) paths << c.path;
    updateCapacity(paths);
}

}  // namespace zelvane
