#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"

#include <QStackedWidget>
#include <QVBoxLayout>

#include <unordered_set>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TreemapInfoStrip.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/CoalescedUpdate.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

ByteUnitBase unitBaseOf(const Preferences& p) { return SizeTextFormat::of(p).base; }

ByteSizeDisplayMode displayModeOf(const Preferences& p) { return SizeTextFormat::of(p).mode; }

FileTreeOutlineInputs outlineInputs(const ContentViewState& s, std::vector<FileNode*> roots, int liveRevision,
                                    const NodeList& liveChanged) {
    const Preferences& p = s.preferences();
    FileTreeOutlineInputs in;
    in.roots = std::move(roots);
    in.display.byteUnitBase = unitBaseOf(p);
    in.display.byteSizeDisplayMode = displayModeOf(p);
    in.display.decimalPlaces = int(p.value(PreferenceKeys::tweakDecimalPlaces));
    in.display.fileGroupMinSize = int(p.value(PreferenceKeys::tweakFileGroupMinSize));
    in.monitorRevision = liveRevision;
    in.monitorDirtyNodes = liveChanged;
    return in;
}

}  // namespace

TreeViewTab::TreeViewTab(ContentViewState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      model_(state),
      rebuilder_(new CoalescedUpdate([this](CoalescedUpdate::Parts parts) { refresh(parts); }, this)) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    buildOutline();
    buildTypesTable();
    buildTreemapPane();
    subscribe();
    rebuilder_->runNow(CoalescedUpdate::everything);
}

void TreeViewTab::buildOutline() {
    treeContent_ = new QStackedWidget(this);
    placeholder_ = new EmptyStateView(localized("Ready to Scan"), zelvaneIconImage(96), QString(), treeContent_);
    treeContent_->addWidget(placeholder_);

    FileTreeOutlineCallbacks callbacks;
    callbacks.onSelectionChanged = [this](const std::vector<FileNode*>& nodes) {
        state_.treeSelection().set(NodeSet(nodes.begin(), nodes.end()), outline_);
    };
    callbacks.onRenameEditingEnded = [this] {
        state_.setIsRenamingInline(false);
        state_.liveMonitor().forgetNameLookups();
    };
    callbacks.onHover = [this](const std::optional<QString>& path) {
        if (state_.selectedTab() == ContentTab::treeView) state_.hoverPathState().setPath(path);
    };
    callbacks.rootDisplayLabel = [this](const FileNode& n) { return rootDisplayLabel(n); };
    callbacks.fileActions = fileActionHooks([this] { return fileActions_; });
    outline_ = new FileTreeOutlineView(outlineInputs(state_, {}, liveRevision_, {}), std::move(callbacks), state_.preferences(),
                                       commandLineRowSort(state_.cliAutomationOptions()), treeContent_);
    treeContent_->addWidget(outline_);
    fileActions_ = new FileActionMenu(outline_);
    const ContextMenuCommands commands = contextMenuCommands(state_, this);
    fileActions_->setOnExportToCSV(commands.exportToCSV);
    fileActions_->setOnZoomTreemap(commands.zoomIn);
    fileActions_->setOnUnzoomTreemap(commands.zoomOut);
    fileActions_->setOnNodesDeleted([this](const std::vector<FileNode*>& nodes) {
        state_.liveMonitor().markDeletedLocally(nodes);
    });
    state_.setIsTreeNodeExpanded([this](const FileNode* n) { return outline_->isNodeExpanded(const_cast<FileNode*>(n)); });
    state_.setIsGroupExpanded([this](const FileNode* n) { return outline_->isGroupExpanded(const_cast<FileNode*>(n)); });
}

void TreeViewTab::buildTypesTable() {
    ExtensionTableCallbacks ext;
    ext.onDisplayedChange = [this](const std::vector<ExtensionStats>& rows, const QString& key) {
        state_.fileTypes().setExtensionPanelDisplayed(rows);
        state_.fileTypes().setExtensionPanelSortKey(key);
    };
    ext.onSelectExtension = [this](const QString& e) { selectAllFiles(e); };
    ext.onExportFileTypesToCSV = [this] { emit exportFileTypesRequested(); };
    ext.onToggleShowFileTypes = [this] { state_.setShowFileTypes(!state_.showFileTypes()); };
    extTable_ = new ExtensionTableView(std::move(ext), state_.preferences(), commandLineFileTypesSort(state_.cliAutomationOptions()), this);
}

void TreeViewTab::buildTreemapPane() {
    treemapPane_ = new QWidget(this);
    auto* pane = new QVBoxLayout(treemapPane_);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);
    strip_ = new TreemapInfoStrip(treemapPane_);
    connect(strip_, &TreemapInfoStrip::zoomOutRequested, this, [this] { state_.setTreemapRoot(model_.zoomOutTarget()); });
    connect(strip_, &TreemapInfoStrip::zoomResetRequested, this, [this] { state_.setTreemapRoot(nullptr); });
    pane->addWidget(strip_);
    pane->addWidget(paneSeparator(treemapPane_));
    treemapSlot_ = new QWidget(treemapPane_);
    treemapSlot_->setObjectName(QStringLiteral("treemapSlot"));
    auto* slotLayout = new QVBoxLayout(treemapSlot_);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    treemapPane_->setAutoFillBackground(true);
    treemapPane_->setBackgroundRole(QPalette::Dark);
    pane->addWidget(treemapSlot_, 1);
    // While the slot is hidden (no root has a child) the strip stays on top of a plain fill.
    pane->addStretch(0);

    treemap_ = new TreemapCanvas(treemapSlot_);
    connect(treemap_, &TreemapCanvas::selectionMade, this, [this](const TreemapSelection& nodes) { state_.treeSelection().set(nodes, treemap_); });
    connect(treemap_, &TreemapCanvas::zoomRequested, this, [this](FileNode* node) { state_.setTreemapRoot(node); });
    connect(treemap_, &TreemapCanvas::hoveredNodeChanged, this, [this](FileNode* node) {
        if (state_.selectedTab() != ContentTab::treeView) return;
        state_.hoverPathState().setPath(hoverPathOf(node));
    });
    connect(treemap_, &TreemapCanvas::nodesDeleted, this, [this](const TreemapNodeList& nodes) { state_.liveMonitor().markDeletedLocally(nodes); });
    connect(treemap_, &TreemapCanvas::showTreemapToggled, this, [this] { state_.setShowTreemap(!state_.showTreemap()); });
    connect(treemap_, &TreemapCanvas::showAllocatedSizeToggled, this, [this] { state_.treemapToggles().setShowTreemapAllocatedSize(!state_.treemapToggles().showTreemapAllocatedSize()); });
    connect(treemap_, &TreemapCanvas::showFreeSpaceToggled, this, [this] { state_.treemapToggles().setShowTreemapFreeSpace(!state_.treemapToggles().showTreemapFreeSpace()); });
    connect(treemap_, &TreemapCanvas::showFilenamesToggled, this, [this] { state_.treemapToggles().setShowTreemapFilenames(!state_.treemapToggles().showTreemapFilenames()); });
    const ContextMenuCommands commands = contextMenuCommands(state_, this);
    treemap_->fileActionMenu().setOnExportToCSV(commands.exportToCSV);
    treemap_->fileActionMenu().setOnZoomTreemap(commands.zoomIn);
    treemap_->fileActionMenu().setOnUnzoomTreemap(commands.zoomOut);
    setTreemapCanvas(treemap_);
    state_.setClearTreemapLayout(treemap_->clearAction());
    connect(this, &TreeViewTab::splitDividerDragBegan, treemap_, &TreemapCanvas::splitDragBegan);
    connect(this, &TreeViewTab::splitDividerDragEnded, treemap_, &TreemapCanvas::splitDragEnded);
}

void TreeViewTab::subscribe() {
    // Each change brings up to date, on the next turn of the event loop, only the parts that show it.
    const auto touch = [this](CoalescedUpdate::Parts parts) { return [this, parts] { rebuilder_->schedule(parts); }; };
    const ScanController& scans = state_.scanControl();
    connect(&scans, &ScanController::effectiveRootsChanged, this, touch(CoalescedUpdate::everything));
    // A view is not handed back the selection it made itself.
    connect(&state_.treeSelection(), &NodeSelection::changed, this, [this](const NodeSet&, const QObject* origin) {
        rebuilder_->schedule((origin == outline_ ? 0u : unsigned(outlinePart)) | (origin == treemap_ ? 0u : unsigned(treemapPart)));
    });
    connect(&scans, &ScanController::liveChanges, this, [this](const NodeList& changed) {
        ++liveRevision_;
        liveChanged_ = changed;
        rebuilder_->schedule(outlinePart | treemapPart | stripPart);
    });
    // Outline commands wait for the outline's next update: a command given with new roots acts on
    // their rows, which the outline has not made yet.
    const ViewCommands& commands = state_.commands();
    connect(&commands, &ViewCommands::resetTreeExpansion, this, [this] {
        pendingOutline_.collapseAll = true;
        rebuilder_->schedule(outlinePart);
    });
    connect(&commands, &ViewCommands::expandAll, this, [this] {
        pendingOutline_.expandAll = true;
        rebuilder_->schedule(outlinePart);
    });
    connect(&commands, &ViewCommands::expandTreeRows, this, [this](const NodeList& folders, const NodeList& groupParents) {
        pendingOutline_.expandFolders = folders;
        pendingOutline_.expandGroupsOf = groupParents;
        rebuilder_->schedule(outlinePart);
    });
    connect(&commands, &ViewCommands::renameInTreeView, this, [this](FileNode* node) {
        pendingOutline_.rename = true;
        pendingOutline_.renameTarget = node;
        rebuilder_->schedule(outlinePart);
    });
    connect(&scans, &ScanController::treesRetiring, this, [this](const KeptTrees& kept) {
        pendingOutline_.expandFolders = kept.keep(pendingOutline_.expandFolders);
        pendingOutline_.expandGroupsOf = kept.keep(pendingOutline_.expandGroupsOf);
        pendingOutline_.renameTarget = kept.keep(pendingOutline_.renameTarget);
        liveChanged_ = kept.keep(liveChanged_);
    });
    connect(&state_, &ContentViewState::volumesChanged, this, touch(outlinePart | stripPart));
    connect(&state_.fileTypes(), &FileTypeStatistics::renewed, this, touch(typesPart));
    connect(&state_.fileTypes(), &FileTypeStatistics::extensionStatsChanged, this, touch(typesPart));
    connect(&state_.fileTypes(), &FileTypeStatistics::extensionColorRankChanged, this, touch(typesPart | treemapPart));
    connect(&state_.fileTypes(), &FileTypeStatistics::extensionColorRankRootsChanged, this, touch(treemapPart));
    connect(&state_, &ContentViewState::hasEverShownScanResultsChanged, this, touch(arrangementPart | typesPart));
    connect(&state_, &ContentViewState::showFileTypesChanged, this, touch(arrangementPart | typesPart));
    connect(&state_, &ContentViewState::showTreemapChanged, this, touch(arrangementPart | treemapPart));
    connect(&state_, &ContentViewState::treemapRootChanged, this, touch(treemapPart | stripPart));
    connect(&state_.treemapToggles(), &TreemapToggles::showTreemapAllocatedSizeChanged, this, touch(treemapPart));
    connect(&state_.treemapToggles(), &TreemapToggles::showTreemapFilenamesChanged, this, touch(treemapPart));
    connect(&state_.treemapToggles(), &TreemapToggles::showTreemapFreeSpaceChanged, this, touch(treemapPart));
    connect(&state_.viewModel(), &ScanViewModel::rootLabelChanged, this, touch(stripPart));
    connect(&state_.viewModel(), &ScanViewModel::rootCapacitiesChanged, this, touch(treemapPart));
    // Progress reports while a scan runs change nothing the placeholder shows.
    connect(&state_.viewModel(), &ScanViewModel::scanStateChanged, this, [this](const ScanState& s) {
        const bool progressOnly = s.isScanning() && placeholderShowsScanning_;
        placeholderShowsScanning_ = s.isScanning();
        if (!progressOnly) rebuilder_->schedule(placeholderPart);
    });
    connect(&state_.preferences(), &Preferences::changed, this,
            [this](const QString& key) { rebuilder_->schedule(partsShowing(key)); });
}

CoalescedUpdate::Parts TreeViewTab::partsShowing(const QString& preferenceKey) {
    struct Reader {
        std::string_view key;
        CoalescedUpdate::Parts parts;
    };
    namespace K = PreferenceKeys;
    static const Reader readers[] = {
        {K::byteUnitBase.name, outlinePart | typesPart | treemapPart | stripPart},
        {K::byteSizeDisplayMode.name, outlinePart | typesPart | treemapPart | stripPart},
        {K::tweakDecimalPlaces.name, outlinePart | typesPart},
        {K::tweakFileGroupMinSize.name, outlinePart | treemapPart},
        {K::tweakShowHorizontalLines.name, outlinePart | typesPart},
        {K::tweakAltRowColors.name, outlinePart | typesPart},
        {K::tweakEnableDragDrop.name, outlinePart},
        {K::treemapPaletteColorsJSON.name, typesPart | treemapPart},
        {K::tweakGradientEnabled.name, treemapPart},
    };
    const QByteArray key = preferenceKey.toLatin1();
    for (const Reader& r : readers)
        if (std::string_view(key.constData(), size_t(key.size())) == r.key) return r.parts;
    return 0;
}

TreeViewTab::~TreeViewTab() {
    state_.setIsTreeNodeExpanded({});
    state_.setIsGroupExpanded({});
    state_.setClearTreemapLayout({});
    // The panes call back into this tab: they go while it is whole.
    delete treeContent_;
    delete extTable_;
    delete treemapPane_;
}

void TreeViewTab::refreshNow() { rebuilder_->runNow(); }

std::vector<FileNode*> TreeViewTab::effectiveRoots() const { return model_.effectiveRoots(); }

QString TreeViewTab::rootDisplayLabel(const FileNode& node) const { return model_.rootDisplayLabel(node); }

bool TreeViewTab::showsOutline() const { return treeContent_->currentWidget() == outline_; }

void TreeViewTab::setTreemapCanvas(QWidget* canvas) {
    if (!canvas) return;
    canvas->setParent(treemapSlot_);
    treemapSlot_->layout()->addWidget(canvas);
}

void TreeViewTab::refresh(CoalescedUpdate::Parts parts) {
    const Preferences& p = state_.preferences();
    // The panes read the trees by plain pointer: the tab holds the trees it shows until they are
    // replaced in every pane (new roots bring every part up to date).
    std::vector<RootRef> holding = state_.scanControl().effectiveRoots();
    const std::vector<FileNode*> roots = effectiveRoots();
    if (parts & arrangementPart) {
        // A split made anew takes the table in, which then needs its rows.
        if (arrangePanes()) parts |= typesPart;
    }
    if (parts & placeholderPart) updatePlaceholder();

    FileTreeOutlineOptions options;
    options.showHorizontalLines = p.value(PreferenceKeys::tweakShowHorizontalLines);
    options.altRowColors = p.value(PreferenceKeys::tweakAltRowColors);
    options.enableDragDrop = p.value(PreferenceKeys::tweakEnableDragDrop);
    if (parts & outlinePart) {
        std::unordered_set<FileNode*> selection(state_.treeSelection().nodes().begin(), state_.treeSelection().nodes().end());
        outline_->update(outlineInputs(state_, roots, liveRevision_, liveChanged_), options, selection,
                         std::exchange(pendingOutline_, {}));
    }
    if ((parts & typesPart) && extSplit_) {
        ExtensionTableInputs ext;
        ext.stats = state_.fileTypes().extensionStats();
        ext.statsGeneration = state_.fileTypes().generation();
        ext.colorRank = state_.fileTypes().extensionColorRank();
        ext.paletteRGB = state_.currentPaletteRGB();
        ext.byteUnitBase = unitBaseOf(p);
        ext.byteSizeDisplayMode = displayModeOf(p);
        ext.decimalPlaces = int(p.value(PreferenceKeys::tweakDecimalPlaces));
        ext.showFileTypes = state_.showFileTypes();
        extTable_->update(ext, options.altRowColors, options.showHorizontalLines);
    }
    if (parts & treemapPart) {
        bool anyChild = false;
        for (const FileNode* r : roots) anyChild = anyChild || r->childCount() > 0;
        treemapSlot_->setVisible(anyChild);
        // A hidden treemap makes no pictures; it catches up when it is shown again.
        if (state_.showTreemap()) treemap_->update(treemapInputs());
    }
    if (parts & stripPart) updateInfoStrip();
    if ((parts & (outlinePart | treemapPart | stripPart)) == (outlinePart | treemapPart | stripPart))
        shownRoots_ = std::move(holding);
}

TreemapCanvasInputs TreeViewTab::treemapInputs() const {
    const Preferences& p = state_.preferences();
    const ScanController& scans = state_.scanControl();
    TreemapCanvasInputs in;
    in.roots = scans.effectiveRoots();
    // Only a folder of the trees shown: a zoom target left from an older tree is ignored.
    in.zoomedNode = model_.validatedZoomNode();
    in.useAllocatedSize = state_.treemapToggles().showTreemapAllocatedSize();
    in.showLabels = state_.treemapToggles().showTreemapFilenames();
    in.showFreeSpace = state_.treemapToggles().showTreemapFreeSpace();
    in.capacities = scans.capacities(in.roots);
    in.byteUnitBase = unitBaseOf(p);
    in.byteSizeDisplayMode = displayModeOf(p);
    in.gradientEnabled = p.value(PreferenceKeys::tweakGradientEnabled);
    in.fileGroupMinSize = int(std::clamp<int64_t>(p.value(PreferenceKeys::tweakFileGroupMinSize), 0, INT32_MAX));
    in.colorRank = state_.fileTypes().extensionColorRank();
    in.paletteRGB = state_.currentPaletteRGB();
    in.colorRankReady = scans.colorRankReady();
    in.selection = state_.treeSelection().nodes();
    in.monitorRevision = liveRevision_;
    return in;
}

bool TreeViewTab::arrangePanes() {
    const TreeViewTabModel::Arrangement arrangement = model_.arrangement();
    if (arrangedAs_ && *arrangedAs_ == arrangement) return false;
    arrangedAs_ = arrangement;
    const bool withTypes = arrangement.withTypes;
    const bool withTreemap = arrangement.withTreemap;
    // Take the panes out of the old splits before those go.
    for (QWidget* w : {static_cast<QWidget*>(treeContent_), static_cast<QWidget*>(extTable_), treemapPane_}) {
        w->setParent(this);
        w->hide();
    }
    QWidget* old = layout_->count() ? layout_->itemAt(0)->widget() : nullptr;
    if (old) {
        layout_->removeWidget(old);
        if (old != treeContent_) old->deleteLater();
    }
    extSplit_ = nullptr;
    treeSplit_ = nullptr;
    QWidget* top = treeContent_;
    if (withTypes) {
        extSplit_ = new AutosavingSplitter({QStringLiteral("ZelvaneMac.ExtSplit"), Qt::Horizontal, 200, 220, 0.65},
                                           state_.preferences(), this);
        extSplit_->setPane(0, treeContent_);
        extSplit_->setPane(1, extTable_);
        connect(extSplit_, &AutosavingSplitter::dividerDragBegan, this, &TreeViewTab::splitDividerDragBegan);
        connect(extSplit_, &AutosavingSplitter::dividerDragEnded, this, &TreeViewTab::splitDividerDragEnded);
        top = extSplit_;
    }
    QWidget* whole = top;
    if (withTreemap) {
        treeSplit_ = new AutosavingSplitter({QStringLiteral("ZelvaneMac.TreeSplit"), Qt::Vertical, 150, 60, 0.621},
                                            state_.preferences(), this);
        treeSplit_->setPane(0, top);
        treeSplit_->setPane(1, treemapPane_);
        connect(treeSplit_, &AutosavingSplitter::dividerDragBegan, this, &TreeViewTab::splitDividerDragBegan);
        connect(treeSplit_, &AutosavingSplitter::dividerDragEnded, this, &TreeViewTab::splitDividerDragEnded);
        if (state_.awaitsWindowFrameRestore()) {
            treeSplit_->holdInitialSizes();
            connect(&state_, &ContentViewState::awaitsWindowFrameRestoreChanged, treeSplit_,
                    [split = treeSplit_](bool waiting) {
                        if (!waiting) split->releaseInitialSizes();
                    });
        }
        whole = treeSplit_;
    }
    layout_->addWidget(whole);
    whole->show();
    layout_->activate();
    return true;
}

void TreeViewTab::updatePlaceholder() {
    const TreeViewTabModel::Placeholder shown = model_.placeholder();
    if (!shown.showsOutline) {
        placeholder_->setTitle(shown.title);
        if (shown.iconName.isEmpty())
            placeholder_->setIcon(zelvaneIconImage(96));
        else
            placeholder_->setIcon(shown.iconName);
        placeholder_->setDescription(shown.description);
    }
    treeContent_->setCurrentWidget(shown.showsOutline ? static_cast<QWidget*>(outline_) : placeholder_);
}

QStringList TreeViewTab::infoStripTexts() const {
    const Preferences& p = state_.preferences();
    return model_.infoStripTexts(unitBaseOf(p), displayModeOf(p));
}

bool TreeViewTab::zoomButtonsShown() const { return model_.validatedZoomNode() != nullptr; }

void TreeViewTab::updateInfoStrip() { strip_->setTexts(infoStripTexts(), zoomButtonsShown(), std::max(40, width() - 200)); }

void TreeViewTab::selectAllFiles(const QString& extension) { state_.scanControl().selectAllFiles(extension); }

}  // namespace zelvane
