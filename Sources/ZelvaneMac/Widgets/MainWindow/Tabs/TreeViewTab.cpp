#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"

#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreemapInfoStrip.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"

namespace zelvane {

namespace {

// A callback that a pane of the tab keeps: once the tab is gone it does nothing.
template <class F>
auto guarded(TreeViewTab* tab, F f) {
    return [tab = QPointer<TreeViewTab>(tab), f](auto&&... args) {
        if (tab) f(*tab, std::forward<decltype(args)>(args)...);
    };
}

}  // namespace

TreeViewTab::TreeViewTab(const TreeViewParts& parts, ContextMenuCommands menuCommands, QWidget* parent)
    : QWidget(parent),
      parts_(parts),
      menuCommands_(std::move(menuCommands)),
      changes_(new TreeViewTabChanges(parts, this)),
      model_(parts, *changes_),
      rebuilder_(new CoalescedUpdate([this](CoalescedUpdate::Parts changed) { refresh(changed); }, this)) {
    buildOutline();
    buildTypesTable();
    buildTreemapPane();
    followGoneRows();
    panes_ = new TreeViewPanes(*this, {treeContent_, extTable_, treemapPane_}, parts_.preferences, parts_.panes);
    connect(panes_, &TreeViewPanes::dividerDragBegan, this, &TreeViewTab::splitDividerDragBegan);
    connect(panes_, &TreeViewPanes::dividerDragEnded, this, &TreeViewTab::splitDividerDragEnded);
    changes_->setSelectionOrigins(outline_, treemap_);
    connect(changes_, &TreeViewTabChanges::partsChanged, rebuilder_, &CoalescedUpdate::schedule);
    rebuilder_->runNow(CoalescedUpdate::everything);
    // A rescan's restore finds a selected group row in the outline's rows of the new roots, which
    // the outline takes first if that update is still queued.
    parts_.scanControl.rescanRestore().setGroupRowOf([this](FileNode* folder) {
        rebuilder_->runNow();
        return outline_->model().syntheticGroupOf(folder);
    });
}

TreeViewTab::~TreeViewTab() {
    parts_.scanControl.rescanRestore().setGroupRowOf({});
    // The panes call back into this tab: they go while it is whole.
    delete treeContent_;
    delete extTable_;
    delete treemapPane_;
}

void TreeViewTab::buildOutline() {
    treeContent_ = new QStackedWidget(this);
    placeholder_ = new EmptyStateView(localized("Ready to Scan"), zelvaneIconImage(96), QString(), treeContent_);
    treeContent_->addWidget(placeholder_);
    const QPointer<TreeViewTab> tab(this);
    outline_ = new FileTreeOutlineView(model_.outlineInputs(), fileActionHooks([tab] { return tab ? tab->fileActions_ : nullptr; }),
                                       parts_.preferences, commandLineOutlineSort(parts_.cliAutomationOptions), treeContent_);
    treeContent_->addWidget(outline_);
    fileActions_ = new FileActionMenu(outline_, &parts_.liveMonitor);
    bindContextMenuCommands(*fileActions_);
    connect(outline_, &FileTreeOutlineView::selectionChanged, this,
            [this](const std::vector<FileNode*>&, const NodeSet& set) { parts_.treeSelection.set(set, outline_); });
    // The window's selection is the outline's rows only when the outline made it: a selection of
    // millions made elsewhere (every file of a type) is shown in part, and the menu acts on the
    // rows shown.
    connect(&parts_.treeSelection, &NodeSelection::changed, this,
            [this](const NodeSet&, const QObject* origin) { selectionFromOutline_ = origin == outline_; });
    outline_->setLargeSelection([this] { return largeActionSelection(); });
    connect(outline_, &FileTreeOutlineView::renameEditingEnded, this, [this] {
        parts_.commands.setIsRenamingInline(false);
        parts_.liveMonitor.forgetNameLookups();
    });
    connect(outline_, &FileTreeOutlineView::hoveredNode, this, [this](const FileNode* node) {
        if (parts_.controller.selectedTab() == ContentTab::treeView) parts_.hoverPathState.setNode(node);
    });
    parts_.treeExpansion.attach(outline_);
}

void TreeViewTab::buildTypesTable() {
    auto displayed = guarded(this, [](TreeViewTab& t, const std::vector<ExtensionStats>& rows, FileTypesSortKey key) {
        t.parts_.fileTypes.setExtensionPanelDisplayed(rows);
        t.parts_.fileTypes.setExtensionPanelSortKey(key);
    });
    extTable_ = new ExtensionTableView(std::move(displayed), parts_.preferences, commandLineFileTypesSort(parts_.cliAutomationOptions), this);
    connect(extTable_, &ExtensionTableView::selectExtensionRequested, this, [this](const QString& e) { parts_.scanControl.selectAllFiles(e); });
    connect(extTable_, &ExtensionTableView::exportFileTypesToCSVRequested, this, [this] {
        if (menuCommands_.exportFileTypesToCSV) menuCommands_.exportFileTypesToCSV();
    });
    connect(extTable_, &ExtensionTableView::toggleShowFileTypesRequested, this,
            [this] { parts_.panes.setShowFileTypes(!parts_.panes.showFileTypes()); });
}

void TreeViewTab::buildTreemapPane() {
    treemapPane_ = new QWidget(this);
    treemapPane_->setAutoFillBackground(true);
    treemapPane_->setBackgroundRole(QPalette::Dark);
    auto* pane = new QVBoxLayout(treemapPane_);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);
    strip_ = new TreemapInfoStrip(treemapPane_);
    TreemapZoom& zoom = parts_.treemapZoom;
    connect(strip_, &TreemapInfoStrip::zoomOutRequested, this, [this, &zoom] { zoom.setRoot(model_.zoomOutTarget()); });
    connect(strip_, &TreemapInfoStrip::zoomResetRequested, this, [&zoom] { zoom.setRoot(nullptr); });
    pane->addWidget(strip_);
    pane->addWidget(paneSeparator(treemapPane_));
    // The slot is hidden while no shown root has a child; the strip then stays on top of a plain fill.
    treemapSlot_ = new QWidget(treemapPane_);
    treemapSlot_->setObjectName(QStringLiteral("treemapSlot"));
    auto* slotLayout = new QVBoxLayout(treemapSlot_);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    pane->addWidget(treemapSlot_, 1);
    pane->addStretch(0);

    treemap_ = new TreemapCanvas(&parts_.liveMonitor, treemapSlot_);
    slotLayout->addWidget(treemap_);
    connect(treemap_, &TreemapCanvas::selectionMade, this,
            [this](const TreemapSelection& nodes) { parts_.treeSelection.set(nodes, treemap_); });
    connect(treemap_, &TreemapCanvas::zoomRequested, &parts_.treemapZoom, &TreemapZoom::setRoot);
    connect(treemap_, &TreemapCanvas::hoveredNodeChanged, this, [this](FileNode* node) {
        if (parts_.controller.selectedTab() == ContentTab::treeView) parts_.hoverPathState.setNode(node);
    });
    PaneToggles& panes = parts_.panes;
    connect(treemap_, &TreemapCanvas::showTreemapToggled, &panes, [&panes] { panes.setShowTreemap(!panes.showTreemap()); });
    TreemapToggles& toggles = parts_.treemapToggles;
    connect(treemap_, &TreemapCanvas::showAllocatedSizeToggled, &toggles,
            [&toggles] { toggles.setShowTreemapAllocatedSize(!toggles.showTreemapAllocatedSize()); });
    connect(treemap_, &TreemapCanvas::showFreeSpaceToggled, &toggles,
            [&toggles] { toggles.setShowTreemapFreeSpace(!toggles.showTreemapFreeSpace()); });
    connect(treemap_, &TreemapCanvas::showFilenamesToggled, &toggles,
            [&toggles] { toggles.setShowTreemapFilenames(!toggles.showTreemapFilenames()); });
    bindContextMenuCommands(treemap_->fileActionMenu());
    connect(&parts_.scanControl, &ScanController::scanStarting, treemap_, &TreemapCanvas::clearPicture);
    connect(this, &TreeViewTab::splitDividerDragBegan, treemap_, &TreemapCanvas::splitDragBegan);
    connect(this, &TreeViewTab::splitDividerDragEnded, treemap_, &TreemapCanvas::splitDragEnded);
}

// A selection of more rows than the actions list in place (Select All after Expand All on
// millions): the context menu counts the window's selection instead of listing the rows, and the
// actions that take a selection of any size list it on the thread pool, as the File menu does.
std::optional<FileActionHooks::Selection> TreeViewTab::largeActionSelection() const {
    const NodeSet shown = parts_.treeSelection.nodes();
    if (!selectionFromOutline_ || size_t(shown.size()) <= FileActionController::kItemsCopiedInPlace) return std::nullopt;
    FileActionHooks::Selection out;
    const QPointer<FileTreeOutlineView> view(outline_);
    out.nodes = [view] { return view ? view->actionTargets() : std::vector<FileNode*>{}; };
    out.count = [count = size_t(shown.size())] { return count; };
    out.previewed = [view] { return view ? view->firstActionTargets(FileListView::kItemsPreviewed) : std::vector<FileNode*>{}; };
    // In the order of the rows, as the actions on a few rows take them.
    out.listing = [view, count = size_t(shown.size()), trees = parts_.scanControl.selectionHeld()] {
        NodeListing listing;
        listing.count = count;
        if (view) listing.gather = view->actionTargetsLater();
        listing.trees = trees;
        return listing;
    };
    return out;
}

// Selected rows whose items went (erased or trashed from the window, removed on disk) leave the
// selection once the whole change is in, as the File View's do: none stays highlighted while the
// status line counts nothing. They go once the outline has taken the change, which is when a
// group row whose files all went is known to be gone too.
void TreeViewTab::followGoneRows() {
    connect(&parts_.scanControl.liveUpdates(), &LiveUpdates::liveChanges, this, [this](const NodeList& changed) {
        if (!parts_.treeSelection.isEmpty())
            goneWhileSelected_ = goneWhileSelected_ || std::any_of(changed.begin(), changed.end(), [](const FileNode* n) { return n->isDeleted(); });
        if (!goneWhileSelected_ || parts_.liveMonitor.moreChangesFollow()) return;
        goneWhileSelected_ = false;
        dropGoneOnUpdate_ = true;  // the change brings the outline's update
    });
    connect(&parts_.treeSelection, &NodeSelection::changed, this, [this] { goneJobs_.supersede(); });
}

void TreeViewTab::dropGoneFromSelection() {
    // The outline's rows are the selection: they are deselected as the user would, and the
    // window's selection follows them.
    if (selectionFromOutline_) {
        outline_->dropGoneRows();
        return;
    }
    // One made elsewhere (the treemap, every file of a type) may be millions of nodes: looked
    // through on the thread pool, and dropped when the selection changes meanwhile.
    const NodeSet chosen = parts_.treeSelection.nodes();
    runInBackground(
        this, goneJobs_,
        [chosen, trees = parts_.scanControl.selectionHeld()](const CancelFlag& cancel) -> std::optional<NodeSet> {
            size_t seen = 0;
            bool anyGone = false;
            for (const FileNode* n : chosen) {
                if ((++seen & 0xFFFF) == 0 && cancel.isSet()) return std::nullopt;
                if (n->isDeleted()) {
                    anyGone = true;
                    break;
                }
            }
            if (!anyGone) return std::nullopt;
            NodeSet kept;
            for (FileNode* n : chosen)
                if (!n->isDeleted()) kept.insert(n);
            return kept;
        },
        [this](const std::optional<NodeSet>& kept) {
            if (kept) parts_.treeSelection.set(*kept);
        });
}

void TreeViewTab::bindContextMenuCommands(FileActionMenu& menu) {
    menu.setOnExportToCSV(menuCommands_.exportToCSV);
    menu.setOnZoomTreemap(menuCommands_.zoomIn);
    menu.setOnUnzoomTreemap(menuCommands_.zoomOut);
}

void TreeViewTab::refreshNow() { rebuilder_->runNow(); }

bool TreeViewTab::showsOutline() const { return treeContent_->currentWidget() == outline_; }

void TreeViewTab::refresh(CoalescedUpdate::Parts parts) {
    // The panes read the trees by plain pointer: the tab holds the trees it shows until they are
    // replaced in every pane (new roots bring every part up to date).
    std::vector<RootRef> holding = parts_.scanControl.effectiveRoots();
    // A split made anew takes the table in, which then needs its rows.
    if ((parts & Part::arrangementPart) && panes_->arrange(model_.arrangement())) parts |= Part::typesPart;
    // The treemap first: its layout runs in the background while the outline makes its rows.
    if (parts & Part::treemapPart) {
        treemapSlot_->setVisible(model_.treemapHasContent());
        // A hidden treemap makes no pictures; it catches up when it is shown again.
        if (parts_.panes.showTreemap()) treemap_->update(model_.treemapInputs());
    }
    // The outline shown instead of the placeholder does not change the treemap's size.
    if (parts & Part::placeholderPart) updatePlaceholder();
    const FileTreeOutlineOptions options = model_.outlineOptions();
    if (parts & Part::outlinePart) {
        outline_->update(model_.outlineInputs(), options, parts_.treeSelection.nodes(), changes_->takeOutlineCommands());
        changes_->liveChangesTaken();
        if (std::exchange(dropGoneOnUpdate_, false)) dropGoneFromSelection();
    }
    if ((parts & Part::typesPart) && panes_->extSplit()) extTable_->update(model_.typesInputs(), options.altRowColors, options.showHorizontalLines);
    if (parts & Part::stripPart) strip_->setTexts(infoStripTexts(), zoomButtonsShown(), std::max(40, width() - 200));
    const unsigned everyView = Part::outlinePart | Part::treemapPart | Part::stripPart;
    if ((parts & everyView) == everyView) shownRoots_ = std::move(holding);
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

}  // namespace zelvane
