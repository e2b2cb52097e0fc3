#include "ZelvaneMac/Window/TreeViewTabChanges.hpp"

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {
namespace {

// The parts of the tab that show a setting that differs between the two.
unsigned partsDiffering(const TreeViewTabSettings& a, const TreeViewTabSettings& b) {
    using P = TreeViewTabChanges::Part;
    unsigned parts = 0;
    if (a.outlineDisplay != b.outlineDisplay || a.outlineOptions != b.outlineOptions) parts |= P::outlinePart;
    if (a.types != b.types) parts |= P::typesPart;
    if (a.treemap != b.treemap) parts |= P::treemapPart;
    if (a.strip != b.strip) parts |= P::stripPart;
    return parts;
}

}  // namespace

TreeViewTabChanges::TreeViewTabChanges(const TreeViewParts& parts, QObject* parent)
    : QObject(parent), parts_(parts), settings_(parts.preferences) {
    subscribe();
}

void TreeViewTabChanges::setSelectionOrigins(const QObject* outline, const QObject* treemap) {
    outlineOrigin_ = outline;
    treemapOrigin_ = treemap;
}

void TreeViewTabChanges::subscribe() {
    const auto parts = [this](unsigned p) { return [this, p] { touch(p); }; };
    const ScanController& scans = parts_.scanControl;
    connect(&scans, &ScanController::effectiveRootsChanged, this, parts(everyPart));
    connect(&scans, &ScanController::firstResultsShown, this, parts(arrangementPart | typesPart));
    connect(&parts_.retirement, &TreeRetirement::treesRetiring, this, &TreeViewTabChanges::dropNodesOutside);
    connect(&scans.liveUpdates(), &LiveUpdates::liveChanges, this, [this](const NodeList& changed) {
        ++liveRevision_;
        addLiveChanges(changed);
        touch(outlinePart | treemapPart | stripPart);
    });
    // A view is not handed back the selection it made itself.
    connect(&parts_.treeSelection, &NodeSelection::changed, this, [this](const NodeSet&, const QObject* origin) {
        touch((origin == outlineOrigin_ ? 0u : unsigned(outlinePart)) | (origin == treemapOrigin_ ? 0u : unsigned(treemapPart)));
    });
    const ViewCommands& commands = parts_.commands;
    // Outline commands wait for the outline's next update: a command given with new roots acts on
    // their rows, which the outline has not made yet.
    connect(&commands, &ViewCommands::resetTreeExpansion, this, [this] {
        pendingOutline_.collapseAll = true;
        touch(outlinePart);
    });
    connect(&commands, &ViewCommands::expandAll, this, [this] {
        pendingOutline_.expandAll = true;
        touch(outlinePart);
    });
    connect(&commands, &ViewCommands::expandTreeRows, this, [this](const NodeList& folders, const NodeList& groupParents) {
        pendingOutline_.expandFolders = folders;
        pendingOutline_.expandGroupsOf = groupParents;
        touch(outlinePart);
    });
    connect(&commands, &ViewCommands::renameInTreeView, this, [this](FileNode* node) {
        pendingOutline_.rename = true;
        pendingOutline_.renameTarget = node;
        touch(outlinePart);
    });
    connect(&parts_.volumeChoice, &VolumeChoice::volumesChanged, this, parts(outlinePart | stripPart));
    const FileTypeStatistics& types = parts_.fileTypes;
    connect(&types, &FileTypeStatistics::renewed, this, parts(typesPart));
    connect(&types, &FileTypeStatistics::extensionStatsChanged, this, parts(typesPart));
    connect(&types, &FileTypeStatistics::extensionColorRankChanged, this, parts(typesPart | treemapPart));
    connect(&types, &FileTypeStatistics::extensionColorRankRootsChanged, this, parts(treemapPart));
    connect(&parts_.panes, &PaneToggles::showFileTypesChanged, this, parts(arrangementPart | typesPart));
    connect(&parts_.panes, &PaneToggles::showTreemapChanged, this, parts(arrangementPart | treemapPart));
    connect(&parts_.treemapZoom, &TreemapZoom::rootChanged, this, parts(treemapPart | stripPart));
    const TreemapToggles& toggles = parts_.treemapToggles;
    connect(&toggles, &TreemapToggles::showTreemapAllocatedSizeChanged, this, parts(treemapPart));
    connect(&toggles, &TreemapToggles::showTreemapFilenamesChanged, this, parts(treemapPart));
    connect(&toggles, &TreemapToggles::showTreemapFreeSpaceChanged, this, parts(treemapPart));
    connect(&parts_.viewModel, &ScanViewModel::rootLabelChanged, this, parts(stripPart));
    connect(&parts_.viewModel, &ScanViewModel::rootCapacitiesChanged, this, parts(treemapPart));
    connect(&parts_.viewModel, &ScanViewModel::scanStateChanged, this, &TreeViewTabChanges::takeScanState);
    connect(&settings_, &SettingsWatch::changed, this,
            [this] { touch(partsDiffering(settings_.previous(), settings_.current())); });
}

OutlineCommands TreeViewTabChanges::takeOutlineCommands() { return std::exchange(pendingOutline_, {}); }

void TreeViewTabChanges::takeScanState(const ScanState& s) {
    // Progress reports while a scan runs change nothing the placeholder shows.
    const bool progressOnly = s.isScanning() && placeholderShowsScanning_;
    placeholderShowsScanning_ = s.isScanning();
    if (!progressOnly) touch(placeholderPart);
}

void TreeViewTabChanges::dropNodesOutside(const KeptTrees& kept) {
    pendingOutline_.expandFolders = kept.keep(pendingOutline_.expandFolders);
    pendingOutline_.expandGroupsOf = kept.keep(pendingOutline_.expandGroupsOf);
    pendingOutline_.renameTarget = kept.keep(pendingOutline_.renameTarget);
    liveChanged_ = kept.keep(liveChanged_);
    liveChangedSeen_ = {liveChanged_.begin(), liveChanged_.end()};
}

void TreeViewTabChanges::addLiveChanges(const NodeList& changed) {
    if (liveChangedMany_) return;
    for (FileNode* n : changed)
        if (liveChangedSeen_.insert(n).second) liveChanged_.push_back(n);
    if (liveChanged_.size() <= kLiveChangedListed) return;
    // Redrawing every shown row costs less than finding the rows of so many nodes.
    liveChangedMany_ = true;
    NodeList().swap(liveChanged_);
    std::unordered_set<const FileNode*>().swap(liveChangedSeen_);
}

void TreeViewTabChanges::liveChangesTaken() {
    liveChangedMany_ = false;
    liveChanged_.clear();
    liveChangedSeen_.clear();
}

}  // namespace zelvane
