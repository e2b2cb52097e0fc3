#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <unordered_set>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

ByteUnitBase unitBaseOf(const Preferences& p) {
    return p.value(PreferenceKeys::byteUnitBase) == 1024 ? ByteUnitBase::binary : ByteUnitBase::decimal;
}

ByteSizeDisplayMode displayModeOf(const Preferences& p) {
    return byteSizeDisplayModeFromRaw(int(p.value(PreferenceKeys::byteSizeDisplayMode))).value_or(ByteSizeDisplayMode::dynamic);
}

FileTreeOutlineInputs outlineInputs(const ContentViewState& s, std::vector<FileNode*> roots) {
    const Preferences& p = s.preferences();
    FileTreeOutlineInputs in;
    in.roots = std::move(roots);
    in.display.byteUnitBase = unitBaseOf(p);
    in.display.byteSizeDisplayMode = displayModeOf(p);
    in.display.decimalPlaces = int(p.value(PreferenceKeys::tweakDecimalPlaces));
    in.display.fileGroupMinSize = int(p.value(PreferenceKeys::tweakFileGroupMinSize));
    in.monitorRevision = s.monitorRevision();
    in.monitorDirtyNodes = s.monitorDirtyNodes();
    in.resetTreeExpansionTrigger = s.resetTreeExpansionTrigger();
    in.expandAllTrigger = s.expandAllTrigger();
    in.nodesToExpand = s.nodesToExpand();
    in.groupParentsToExpand = s.groupParentsToExpand();
    in.expandNodesTrigger = s.expandNodesTrigger();
    in.renameTrigger = s.treeViewRenameTrigger();
    in.renameTarget = s.treeViewRenameTarget();
    return in;
}

}  // namespace

TreeViewTab::TreeViewTab(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    treeContent_ = new QStackedWidget(this);
    placeholder_ = new EmptyStateView(localized("Ready to Scan"), zelvaneIconImage(96), QString(), treeContent_);
    treeContent_->addWidget(placeholder_);

    FileTreeOutlineCallbacks callbacks;
    callbacks.onSelectionChanged = [this](const std::vector<FileNode*>& nodes) {
        state_.setSelectedNodes(NodeSet(nodes.begin(), nodes.end()));
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
    outline_ = new FileTreeOutlineView(outlineInputs(state_, {}), std::move(callbacks), state_.preferences(),
                                       commandLineRowSort(state_.cliAutomationOptions()), treeContent_);
    treeContent_->addWidget(outline_);
    fileActions_ = new FileActionMenu(outline_);
    fileActions_->setOnNodesDeleted([this](const std::vector<FileNode*>& nodes) {
        state_.liveMonitor().markDeletedLocally(nodes);
    });
    state_.setIsTreeNodeExpanded([this](const FileNode* n) { return outline_->isNodeExpanded(const_cast<FileNode*>(n)); });
    state_.setIsGroupExpanded([this](const FileNode* n) { return outline_->isGroupExpanded(const_cast<FileNode*>(n)); });

    ExtensionTableCallbacks ext;
    ext.onDisplayedChange = [this](const std::vector<ExtensionStats>& rows, const QString& key) {
        state_.setExtensionPanelDisplayed(rows);
        state_.setExtensionPanelSortKey(key);
    };
    ext.onSelectExtension = [this](const QString& e) { selectAllFiles(e); };
    ext.onExportFileTypesToCSV = [this] { emit exportFileTypesRequested(); };
    ext.onToggleShowFileTypes = [this] { state_.setShowFileTypes(!state_.showFileTypes()); };
    extTable_ = new ExtensionTableView(std::move(ext), state_.preferences(), commandLineFileTypesSort(state_.cliAutomationOptions()), this);

    treemapPane_ = new QWidget(this);
    auto* pane = new QVBoxLayout(treemapPane_);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);
    auto* strip = new QWidget(treemapPane_);
    strip->setAutoFillBackground(true);
    strip->setBackgroundRole(QPalette::Window);
    auto* stripRows = new QVBoxLayout(strip);
    stripRows->setContentsMargins(4, 0, 4, 0);
    stripRows->setSpacing(0);
    auto* row1 = new QHBoxLayout;
    row1->setSpacing(4);
    QFont callout = font();
    callout.setPointSizeF(callout.pointSizeF() * 0.95);
    auto makeLabel = [&] {
        auto* l = new QLabel(strip);
        l->setFont(callout);
        l->setForegroundRole(QPalette::PlaceholderText);
        return l;
    };
    stripPath_ = makeLabel();
    stripPath_->setMinimumWidth(40);
    stripDash_ = makeLabel();
    stripSize_ = makeLabel();
    row1->addStretch();
    row1->addWidget(stripPath_, 0);
    row1->addWidget(stripDash_);
    row1->addWidget(stripSize_);
    row1->addStretch();
    stripRows->addLayout(row1);
    zoomRow_ = new QWidget(strip);
    auto* row2 = new QHBoxLayout(zoomRow_);
    row2->setContentsMargins(0, 0, 0, 0);
    row2->setSpacing(4);
    auto zoomButton = [&](const QString& label, auto action) {
        auto* b = new QPushButton(label, zoomRow_);
        b->setFont(callout);
        b->setFixedSize(22, 18);
        connect(b, &QPushButton::clicked, this, action);
        row2->addWidget(b);
    };
    zoomButton(QStringLiteral(".."), [this] {
        FileNode* z = validatedZoomNode();
        state_.setTreemapRoot(z && z->parent() ? z->parent() : nullptr);
    });
    zoomButton(QStringLiteral("/"), [this] { state_.setTreemapRoot(nullptr); });
    row2->addStretch();
    stripRows->addWidget(zoomRow_);
    strip->setFixedHeight(28);
    pane->addWidget(strip);
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
    TreemapCanvasCallbacks tc;
    tc.setSelection = [this](const TreemapSelection& nodes) { state_.setSelectedNodes(nodes); };
    tc.onZoom = [this](FileNode* node) { state_.setTreemapRoot(node); };
    tc.onHover = [this](FileNode* node) {
        if (state_.selectedTab() != ContentTab::treeView) return;
        state_.hoverPathState().setPath(hoverPathOf(node));
    };
    tc.onNodesDeleted = [this](const TreemapNodeList& nodes) { state_.liveMonitor().markDeletedLocally(nodes); };
    tc.onToggleShowTreemap = [this] { state_.setShowTreemap(!state_.showTreemap()); };
    tc.onToggleShowAllocatedSize = [this] { state_.setShowTreemapAllocatedSize(!state_.showTreemapAllocatedSize()); };
    tc.onToggleShowFreeSpace = [this] { state_.setShowTreemapFreeSpace(!state_.showTreemapFreeSpace()); };
    tc.onToggleShowFilenames = [this] { state_.setShowTreemapFilenames(!state_.showTreemapFilenames()); };
    treemap_->setCallbacks(std::move(tc));
    setTreemapCanvas(treemap_);
    state_.setClearTreemapLayout(treemap_->clearAction());
    connect(this, &TreeViewTab::splitDividerDragBegan, treemap_, &TreemapCanvas::splitDragBegan);
    connect(this, &TreeViewTab::splitDividerDragEnded, treemap_, &TreemapCanvas::splitDragEnded);

    // Every change of what the tab shows schedules one update on the next turn of the event loop.
    const auto later = [this] { scheduleRefresh(); };
    connect(&state_, &ContentViewState::selectedNodesChanged, this, later);
    connect(&state_, &ContentViewState::monitorRevisionChanged, this, later);
    connect(&state_, &ContentViewState::resetTreeExpansionTriggerChanged, this, later);
    connect(&state_, &ContentViewState::expandAllTriggerChanged, this, later);
    connect(&state_, &ContentViewState::expandNodesTriggerChanged, this, later);
    connect(&state_, &ContentViewState::treeViewRenameTriggerChanged, this, later);
    connect(&state_, &ContentViewState::extensionStatsGenerationChanged, this, later);
    connect(&state_, &ContentViewState::extensionStatsChanged, this, later);
    connect(&state_, &ContentViewState::extensionColorRankChanged, this, later);
    connect(&state_, &ContentViewState::hasEverShownScanResultsChanged, this, later);
    connect(&state_, &ContentViewState::showFileTypesChanged, this, later);
    connect(&state_, &ContentViewState::showTreemapChanged, this, later);
    connect(&state_, &ContentViewState::treemapRootChanged, this, later);
    connect(&state_, &ContentViewState::showTreemapAllocatedSizeChanged, this, later);
    connect(&state_, &ContentViewState::showTreemapFilenamesChanged, this, later);
    connect(&state_, &ContentViewState::showTreemapFreeSpaceChanged, this, later);
    connect(&state_, &ContentViewState::extensionColorRankRootsChanged, this, later);
    connect(&state_.scanControl(), &ScanController::effectiveRootsChanged, this, later);
    connect(&state_, &ContentViewState::volumesChanged, this, later);
    connect(&state_.viewModel(), &ScanViewModel::scanStateChanged, this, later);
    connect(&state_.viewModel(), &ScanViewModel::rootLabelChanged, this, later);
    connect(&state_.preferences(), &Preferences::changed, this, later);
    refresh();
}

TreeViewTab::~TreeViewTab() {
    state_.setIsTreeNodeExpanded({});
    state_.setIsGroupExpanded({});
    state_.setClearTreemapLayout({});
    // The panes call back into this tab: they go while it is whole.
    refreshPending_ = false;
    delete treeContent_;
    delete extTable_;
    delete treemapPane_;
}

void TreeViewTab::scheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_) refresh();
    });
}

void TreeViewTab::refreshNow() { refresh(); }

std::vector<FileNode*> TreeViewTab::effectiveRoots() const {
    std::vector<FileNode*> out;
    const std::vector<RootRef>& roots = state_.scanControl().effectiveRoots();
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

QString TreeViewTab::rootDisplayLabel(const FileNode& node) const {
    const QString name = qStringFromUtf8(node.name());
    if (state_.viewModel().lastScanWasCSVImport()) return name;
    for (const VolumeInfo& v : state_.volumes())
        if (v.path == name) return name + QStringLiteral(" (") + v.displayName + QLatin1Char(')');
    return name;
}

bool TreeViewTab::showsOutline() const { return treeContent_->currentWidget() == outline_; }

void TreeViewTab::setTreemapCanvas(QWidget* canvas) {
    if (!canvas) return;
    canvas->setParent(treemapSlot_);
    treemapSlot_->layout()->addWidget(canvas);
}

void TreeViewTab::refresh() {
    refreshPending_ = false;
    const Preferences& p = state_.preferences();
    // The panes read the trees by plain pointer: the tab holds the trees it shows until they are
    // replaced in every pane.
    std::vector<RootRef> holding = state_.scanControl().effectiveRoots();
    const std::vector<FileNode*> roots = effectiveRoots();
    arrangePanes();
    updatePlaceholder();

    FileTreeOutlineOptions options;
    options.showHorizontalLines = p.value(PreferenceKeys::tweakShowHorizontalLines);
    options.altRowColors = p.value(PreferenceKeys::tweakAltRowColors);
    options.enableDragDrop = p.value(PreferenceKeys::tweakEnableDragDrop);
    std::unordered_set<FileNode*> selection(state_.selectedNodes().begin(), state_.selectedNodes().end());
    outline_->update(outlineInputs(state_, roots), options, selection);

    if (extSplit_) {
        ExtensionTableInputs ext;
        ext.stats = state_.extensionStats();
        ext.statsGeneration = state_.extensionStatsGeneration();
        ext.colorRank = state_.extensionColorRank();
        ext.paletteRGB = state_.currentPaletteRGB();
        ext.byteUnitBase = unitBaseOf(p);
        ext.byteSizeDisplayMode = displayModeOf(p);
        ext.decimalPlaces = int(p.value(PreferenceKeys::tweakDecimalPlaces));
        ext.showFileTypes = state_.showFileTypes();
        extTable_->update(ext, options.altRowColors, options.showHorizontalLines);
    }
    bool anyChild = false;
    for (const FileNode* r : roots) anyChild = anyChild || r->childCount() > 0;
    treemapSlot_->setVisible(anyChild);
    // A hidden treemap makes no pictures; it catches up when it is shown again.
    if (state_.showTreemap()) treemap_->update(treemapInputs());
    updateInfoStrip();
    shownRoots_ = std::move(holding);
}

TreemapCanvasInputs TreeViewTab::treemapInputs() const {
    const Preferences& p = state_.preferences();
    const ScanController& scans = state_.scanControl();
    TreemapCanvasInputs in;
    in.roots = scans.effectiveRoots();
    // Only a folder of the trees shown: a zoom target left from an older tree is ignored.
    if (FileNode* z = state_.treemapRoot()) {
        FileNode* top = z;
        while (top->parent()) top = top->parent();
        for (const RootRef& r : in.roots)
            if (r.get() == top) in.zoomedNode = z;
    }
    in.useAllocatedSize = state_.showTreemapAllocatedSize();
    in.showLabels = state_.showTreemapFilenames();
    in.showFreeSpace = state_.showTreemapFreeSpace();
    in.capacities = scans.capacities(in.roots);
    in.byteUnitBase = unitBaseOf(p);
    in.byteSizeDisplayMode = displayModeOf(p);
    in.gradientEnabled = p.value(PreferenceKeys::tweakGradientEnabled);
    in.fileGroupMinSize = int(std::clamp<int64_t>(p.value(PreferenceKeys::tweakFileGroupMinSize), 0, INT32_MAX));
    in.colorRank = state_.extensionColorRank();
    in.paletteRGB = state_.currentPaletteRGB();
    in.colorRankReady = scans.colorRankReady();
    in.selection = state_.selectedNodes();
    in.monitorRevision = state_.monitorRevision();
    return in;
}

void TreeViewTab::arrangePanes() {
    const bool withTypes = state_.hasEverShownScanResults() && state_.showFileTypes();
    const bool withTreemap = state_.showTreemap();
    const int arrangement = (withTypes ? 1 : 0) | (withTreemap ? 2 : 0);
    if (arrangement == arrangedAs_) return;
    arrangedAs_ = arrangement;
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
}

void TreeViewTab::updatePlaceholder() {
    const ScanState& s = state_.viewModel().scanState();
    bool outline = false;
    switch (s.tag()) {
    case ScanState::Tag::scanning:
        placeholder_->setTitle(localized("Scanning…"));
        placeholder_->setIcon(QStringLiteral("system-search"));
        placeholder_->setDescription(localized("This may take a moment for large volumes."));
        break;
    case ScanState::Tag::completed: outline = true; break;
    case ScanState::Tag::failed:
        placeholder_->setTitle(localized("Scan Failed"));
        placeholder_->setIcon(QStringLiteral("dialog-warning"));
        placeholder_->setDescription(std::get<ScanState::Failed>(s.value).message);
        break;
    case ScanState::Tag::cancelled:
        if (!s.roots().empty()) {
            outline = true;
            break;
        }
        placeholder_->setTitle(localized("Scan Cancelled"));
        placeholder_->setIcon(QStringLiteral("process-stop"));
        placeholder_->setDescription(localized("Click Scan to try again."));
        break;
    case ScanState::Tag::idle:
        placeholder_->setTitle(localized("Ready to Scan"));
        placeholder_->setIcon(zelvaneIconImage(96));
        placeholder_->setDescription(firstStepsDescription());
        break;
    }
    treeContent_->setCurrentWidget(outline ? static_cast<QWidget*>(outline_) : placeholder_);
}

FileNode* TreeViewTab::validatedZoomNode() const {
    FileNode* z = state_.treemapRoot();
    if (!z) return nullptr;
    const std::vector<FileNode*> roots = effectiveRoots();
    // Only a node of the tree now shown: an older tree's node is not read beyond this walk.
    FileNode* top = z;
    while (top->parent()) top = top->parent();
    return std::find(roots.begin(), roots.end(), top) != roots.end() ? z : nullptr;
}

QStringList TreeViewTab::infoStripTexts() const {
    const Preferences& p = state_.preferences();
    const auto size = [&](const FileNode& n) {
        return qStringFromUtf8(humanBytes(n.effectiveAllocSize(), unitBaseOf(p), displayModeOf(p), 1));
    };
    const std::vector<FileNode*> roots = effectiveRoots();
    if (FileNode* z = validatedZoomNode()) return {qStringFromUtf8(z->fullPath()), localized("—"), size(*z)};
    if (roots.size() == 1) return {rootDisplayLabel(*roots[0]), localized("—"), size(*roots[0])};
    if (roots.size() > 1) {
        int64_t total = 0;
        for (const FileNode* r : roots) total += r->effectiveAllocSize();
        return {state_.viewModel().rootLabel(), localized("—"),
                qStringFromUtf8(humanBytes(total, unitBaseOf(p), displayModeOf(p), 1))};
    }
    return {localized("Treemap")};
}

bool TreeViewTab::zoomButtonsShown() const { return validatedZoomNode() != nullptr; }

void TreeViewTab::updateInfoStrip() {
    QStringList t = infoStripTexts();
    if (!t.isEmpty()) t[0] = withVisibleControlCharacters(t[0]);
    const QFontMetrics fm(stripPath_->font());
    const int room = std::max(40, width() - 200);
    stripPath_->setText(fm.elidedText(t.value(0), Qt::ElideMiddle, room));
    stripPath_->setToolTip(t.value(0));
    stripDash_->setVisible(t.size() == 3);
    stripSize_->setVisible(t.size() == 3);
    stripDash_->setText(t.value(1));
    stripSize_->setText(t.value(2));
    const bool zoomed = zoomButtonsShown();
    zoomRow_->setVisible(zoomed);
    zoomRow_->parentWidget()->setFixedHeight(zoomed ? 48 : 28);
}

void TreeViewTab::selectAllFiles(const QString& extension) { state_.scanControl().selectAllFiles(extension); }

}  // namespace zelvane
