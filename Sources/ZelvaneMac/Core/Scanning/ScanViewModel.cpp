#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
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
};

void ScanViewModel::RunEndLocked::markEnded() {
    {
        std::lock_guard lock(mutex_);
        hasEnded_ = true;
    }
    ended_.notify_all();
}

bool ScanViewModel::RunEndLocked::hasEnded() {
    std::lock_guard lock(mutex_);
    return hasEnded_;
}

bool ScanViewModel::RunEndLocked::waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return ended_.wait_until(lock, deadline, [&] { return hasEnded_; });
}

ScanViewModel::ScanViewModel(QObject* parent) : QObject(parent), importer_(&importFromCSV) {
    qRegisterMetaType<zelvane::ScanState>();
}

ScanViewModel::~ScanViewModel() {
    // Nothing a run posts from now on reaches this object; what it posted already dies with it.
    posting_->forgetReceiver();
    for (Job& j : jobs_) j.cancel->set(true);
    // A cancelled run ends within moments. One that does not is stuck where no cancel reaches (in
    // the kernel, on a mount that no longer answers): quitting must not wait for it, and it holds
    // nothing of this object.
    const auto deadline = std::chrono::steady_clock::now() + kRunEndWait;
    for (Job& j : jobs_) {
        if (j.end->waitUntil(deadline))
            j.thread.join();
        else
            j.thread.detach();
    }
}

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
    currentCancel_->set(true);
    currentCancel_ = std::make_shared<CancelFlag>();
    ++generation_;
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("cancelled"));
        scanLogToken_.reset();
    }
}

std::shared_ptr<CancelFlag> ScanViewModel::beginRun(const QString& logLabel) {
    setScanState(ScanState::scanning(ScanProgress{}));
    scanStartTime_ = QDateTime::currentDateTimeUtc();
    scanLogToken_ = DebugTimingLog::begin(logLabel, rootLabel_);
    setLastScanDuration(std::nullopt);
    return currentCancel_;
}

void ScanViewModel::reapFinishedJobs() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->end->hasEnded()) {
            it->thread.join();
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}

bool ScanViewModel::launch(std::function<void()> body, std::shared_ptr<CancelFlag> cancel, bool isImport,
                           QString& failure) {
    reapFinishedJobs();
    auto end = std::make_shared<RunEndLocked>();
    try {
        // `this` is only reached from what is posted, which runs on the main thread while it lives.
        std::thread t([this, body = std::move(body), end, posting = posting_, generation = generation_, isImport] {
            std::optional<QString> reason;
            try {
                body();
            } catch (const std::bad_alloc&) {
                reason = QString::fromLocal8Bit(std::strerror(ENOMEM));
            } catch (const std::exception& e) {
                reason = QString::fromLocal8Bit(e.what());
            } catch (...) {
                reason = QString::fromLocal8Bit(std::strerror(EIO));
            }
            if (reason)
                posting->post([this, posting, generation, isImport, reason = *reason] {
                    posting->received();
                    failRun(generation, isImport, reason);
                });
            end->markEnded();
        });
        jobs_.push_back(Job{std::move(t), std::move(cancel), std::move(end)});
        return true;
    } catch (const std::system_error& e) {
        failure = QString::fromLocal8Bit(e.code().message());
        return false;
    }
}

void ScanViewModel::failRun(uint64_t generation, bool wasImport, const QString& reason) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (generation != generation_) return;
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        scanLogToken_.reset();
    }
    if (scanStartTime_) setLastScanDuration(scanStartTime_->msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
    setScanState(ScanState::failed(fillPlaceholders(
        wasImport ? localized("Could not import %@: %@") : localized("Could not scan %@: %@"), {rootLabel_, reason})));
}

void ScanViewModel::startScan(const std::optional<DecodedFilter>& excludeFilters, bool excludeFullPath,
                              bool showMaxModifiedDate) {
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

    auto cancel = beginRun(QStringLiteral("Scan"));
    const uint64_t generation = generation_;
    std::vector<std::string> paths;
    for (const QString& r : roots) paths.push_back(pathBytesFromQString(r));

    QString launchFailure;
    const bool launched = launch(
        [this, posting = posting_, generation, cancel, paths = std::move(paths), excludeFilters, excludeFullPath,
         showMaxModifiedDate] {
            AccessDeniedCounter denied;
            UnreadableFoldersLocked unreadable;
            ParallelScanOptions options;
            options.excludeFilters = excludeFilters;
            options.excludeFullPath = excludeFullPath;
            options.workerCount = activeProcessorCount();
            options.progressCallback = [this, posting, generation](const ScanProgress& p) {
                posting->post([this, posting, generation, p] {
                    posting->received();
                    applyProgress(generation, p);
                });
            };
            options.isCancelled = [cancel] { return cancel->isSet(); };
            options.accessDeniedCounter = &denied;
            options.unreadableFolders = &unreadable;
            std::vector<RootRef> nodes = parallelScanToTree(paths, options);
            if (showMaxModifiedDate)
                for (const RootRef& r : nodes) r->applyMaxModifiedDateToFolders();
            const bool cancelled = cancel->isSet();
            QStringList deniedPaths;
            for (const std::string& p : denied.allPaths()) deniedPaths << QString::fromStdString(p);
            posting->post([this, posting, generation, nodes = std::move(nodes), cancelled, deniedPaths,
                           unreadable = unreadable.all()]() mutable {
                posting->received();
                finishScan(generation, std::move(nodes), cancelled, deniedPaths, std::move(unreadable));
            });
        },
        cancel, false, launchFailure);
    if (!launched) failRunThatCouldNotStart(launchFailure);
}

void ScanViewModel::failRunThatCouldNotStart(const QString& reason) {
    if (scanLogToken_) {
        DebugTimingLog::end(*scanLogToken_, QStringLiteral("failed"));
        scanLogToken_.reset();
    }
    setScanState(ScanState::failed(fillPlaceholders(localized("Could not start: %@"), {reason})));
}

void ScanViewModel::applyProgress(uint64_t generation, const ScanProgress& p) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (generation != generation_ || !scanState_.isScanning()) return;
    setScanState(ScanState::scanning(p));
}

void ScanViewModel::finishScan(uint64_t generation, std::vector<RootRef> nodes, bool cancelled,
                               const QStringList& denied, std::vector<UnreadableFolder> unreadable) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (generation != generation_) return;
    lastScanUnreadableFolders_ = std::move(unreadable);
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
    auto cancel = beginRun(QStringLiteral("CSV Import"));
    const uint64_t generation = generation_;
    QString launchFailure;
    const bool launched = launch(
        [this, posting = posting_, importer = importer_, generation, cancel, path = pathBytesFromQString(filePath),
         showMaxModifiedDate] {
            std::optional<ImportOutcome> outcome;
            auto onProgress = [this, posting, generation](const CSVImportProgress& p) {
                ScanProgress sp{p.files, p.folders, 0, p.percentComplete};
                posting->post([this, posting, generation, sp] {
                    posting->received();
                    applyProgress(generation, sp);
                });
            };
            // An error of any kind becomes an absent result, and the error says why.
            CSVImportOutcome imported = importer(path, onProgress, [cancel] { return cancel->isSet(); });
            if (!imported.error) {
                CSVImportResult& r = imported.result;
                outcome = ImportOutcome{std::move(r.roots), r.driveCapacity, r.wasCancelled};
                if (showMaxModifiedDate)
                    for (const RootRef& root : outcome->roots) root->applyMaxModifiedDateToFolders();
            }
            posting->post([this, posting, generation, outcome = std::move(outcome), error = imported.error] {
                posting->received();
                finishCSVImport(generation, outcome, error);
            });
        },
        cancel, true, launchFailure);
    if (!launched) failRunThatCouldNotStart(launchFailure);
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

void ScanViewModel::finishCSVImport(uint64_t generation, const std::optional<ImportOutcome>& result,
                                    const std::optional<CSVImportError>& error) {
    Q_ASSERT(QThread::currentThread() == thread());
    if (generation != generation_) return;
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

void ScanViewModel::cancelScan() { currentCancel_->set(true); }

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
