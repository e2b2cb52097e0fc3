#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/RescanRestore.hpp"
#include "ZelvaneMac/Window/ScanControl.hpp"

namespace zelvane {

class ExtensionStatsJob;
class FileTypeStatistics;
class FilteredCopy;
class HoverPathState;
class LiveMonitorController;
class LiveUpdates;
class NodeSelection;
class PaneToggles;
class Preferences;
class ScanViewModel;
class TreeExpansion;
class TreeRetirement;
class ViewCommands;
class VolumeChoice;
class WindowPrompts;

// The road by which a scan, a CSV import or a filter change reaches the views of one window.
// It starts scans through the window's ScanViewModel, keeps the filtered copy of the tree,
// decides which roots the views show (`effectiveRoots`) and runs the window's handlers when the
// scan roots or the shown roots change, in this order:
//   scan roots:  1 filtered copy, 2 "results were shown";
//   shown roots: 3 live monitoring, 4 per-extension statistics in the background, 5 restore of
//                the outline's expansion and selection (looked for in the background).
// Views follow `effectiveRootsChanged`, and the live monitor's reports through `liveUpdates()`.
//
// Nodes are referred to by plain pointer (selections, the zoomed node, rename targets, ...).
// Before a tree can be released this controller announces it through the window's
// `TreeRetirement`, and every holder drops its own pointers outside the trees still shown or held, so no view ever reads a freed
// node; this includes a selection that a rescan could not find again.
//
// GUI thread only.
class ScanController final : public QObject {
    Q_OBJECT
public:
    // The parts of the window the scan road reads and changes.
    struct Parts {
        Preferences& preferences;
        ScanViewModel& viewModel;
        LiveMonitorController& liveMonitor;
        PaneToggles& panes;
        NodeSelection& treeSelection;
        NodeSelection& fileSelection;
        HoverPathState& hoverPathState;
        WindowPrompts& prompts;
        VolumeChoice& volumeChoice;
        FileTypeStatistics& fileTypes;
        ViewCommands& commands;
        const TreeExpansion& treeExpansion;
        TreeRetirement& retirement;
    };
    explicit ScanController(const Parts& parts, QObject* parent = nullptr);
    ~ScanController() override;

    void startScan();
    void applyFilters();
    void reloadFilteredTree(const std::vector<RootRef>& roots);

    // The roots of a completed or cancelled run; empty otherwise.
    std::vector<RootRef> scanRoots() const;
    // The filtered copy while the filter panel is shown and one exists, else the scan roots.
    const std::vector<RootRef>& effectiveRoots() const { return effectiveRoots_; }
    // The file types were counted for exactly the shown root objects: their colour ranks and the
    // table's rows.
    bool colorRankReady() const;
    // Their colour ranks, which may come a moment before the rows.
    bool treemapColorsReady() const;
    // The copy the filter panel shows, and the texts it was made with.
    const FilteredCopy& filteredCopy() const { return *filtered_; }
    // The trees this window holds: the scan's and the filtered copy (the shown ones are one of them).
    std::vector<RootRef> heldRoots() const;
    // What work on the thread pool holds while it reads the window's selections: those trees and
    // the outline's own group rows, which the Tree View's selection may hold as well.
    std::shared_ptr<const void> selectionHeld() const;
    // Some roots were shown once in this window (it stays true).
    bool hasEverShownScanResults() const { return hasEverShownScanResults_; }

    // What a scan in place of the shown roots reopens; the live monitor's reports and staleness.
    const RescanRestore& rescanRestore() const { return restore_; }
    RescanRestore& rescanRestore() { return restore_; }
    LiveUpdates& liveUpdates() const { return *live_; }
    FileNode* node(const QString& atPath) const;
    // Selects every file of the shown roots whose extension is `withExtension`: at once in a tree
    // of up to `kEntriesWalkedInPlace` entries, else once a background walk has found them.
    void selectAllFiles(const QString& withExtension);
    static constexpr int64_t kEntriesWalkedInPlace = 100'000;
    std::vector<VolumeCapacity> capacities(const std::vector<RootRef>& roots) const;

    // The ends of the three ways to choose roots. A folder from the panel is scanned at once; a
    // CSV/TSV file is imported; a confirmed multi-root choice is selected and scanned when
    // "autoScanAfterSelection" is on. An empty choice keeps the previous selection.
    void scanChosenFolder(const QString& path);
    void importChosenCSV(const QString& path);
    void finishSelectMultiple(const QStringList& checkedPaths);
    // The multi-root sheet opens with monitoring stopped (its panel may take a while).
    void requestSelectMultiple();
    // A picker or sheet that stopped monitoring closed without a new choice.
    void resumeLiveMonitoringForCurrentRoots();

signals:
    // A scan is about to start: what was laid out for the old result is stale.
    void scanStarting();
    void firstResultsShown();
    void effectiveRootsChanged(const std::vector<zelvane::RootRef>& roots);

private:
    void handleScanStateChange();
    void recomputeEffectiveRoots();

    Parts parts_;
    FilteredCopy* filtered_;
    ExtensionStatsJob* stats_;
    LiveUpdates* live_;
    RescanRestore restore_;
    std::vector<RootRef> lastScanRoots_;
    std::vector<RootRef> effectiveRoots_;
    std::optional<CountedFileTypes> countedTypes_;  // what the scan of new roots counted, while they are handed over
    bool inScanRootsChange_ = false;
    JobGeneration selectJobs_;
    bool hasEverShownScanResults_ = false;
};

}  // namespace zelvane
