#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class LiveMonitorController;
class Preferences;
class ScanViewModel;
class ExtensionStatsJob;
class ScanController;

// Keeps the live monitor on the trees a window scanned, as far as the monitoring preference
// allows, and hands on what it reports: the nodes it changed, once the tree took them, to the
// views; the volume's free space and the per-type totals are then brought up to date.
//
// The monitor watches the scanned trees whichever the window shows; the filter panel's copy is
// kept in step with them, so a deletion seen or made while either is shown is marked in both. A
// tree imported from a CSV/TSV file is never watched: nothing says it matches the disk.
//
// When the monitor says that it missed changes (its event queue overflowed, or the watch table is
// full) the shown result is no longer known to match the disk: `resultIsStale` turns true until
// the next scan or import starts, and the window says so rather than go on as if it were live.
// So too when something is mounted or unmounted at or below a watched root: inotify tells of
// neither, and the tree then shows what the disk there no longer holds.
//
// Main thread only.
class LiveUpdates final : public QObject {
    Q_OBJECT
public:
    LiveUpdates(LiveMonitorController& liveMonitor, Preferences& preferences, ScanViewModel& viewModel,
                const ScanController& scans, ExtensionStatsJob& stats, QObject* parent = nullptr);

    // The shown roots changed: the scanned trees are watched (unless imported), every held tree
    // is kept in step.
    void watchShown();
    // A picker or sheet that stopped monitoring closed without a new choice.
    void resume();
    // A scan is starting, or a sheet that may stay open a while is opening.
    void pause();
    // A scan is running: what was missed belonged to the result it replaces.
    void clearStale() {
        mountsWhenWatched_.reset();
        setResultIsStale(false);
    }
    bool resultIsStale() const { return resultIsStale_; }
    // The mount table changed (the window's volume watcher said so).
    void mountsChanged();

signals:
    // Nodes the live monitor changed (their sizes, names or deletion), after the tree took them.
    void liveChanges(const zelvane::NodeList& changed);
    void resultIsStaleChanged(bool stale);

private:
    void watchScanned();
    bool mayWatch(const std::vector<RootRef>& roots) const;
    void take(const std::vector<FileNode*>& changed);
    void setResultIsStale(bool stale);
    // The mount points at or below the scanned roots, each with what is mounted there.
    std::vector<std::string> mountsBelowScanned() const;

    LiveMonitorController& liveMonitor_;
    ScanViewModel& viewModel_;
    const ScanController& scans_;
    ExtensionStatsJob& stats_;
    SettingsWatcher<PreferenceValue<PreferenceKeys::monitorFileSystemForChanges>> monitoring_;
    bool resultIsStale_ = false;
    // The mounts below the scanned roots when they were first watched; none before then, and
    // none again from the start of the next scan.
    std::optional<std::vector<std::string>> mountsWhenWatched_;
};

}  // namespace zelvane
