#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"

#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <span>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileSearchBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/FileViewTabModel.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {

FileViewTab::FileViewTab(const Parts& parts, ContextMenuCommands menuCommands, QWidget* parent)
    : QWidget(parent),
      parts_(parts),
      menuCommands_(std::move(menuCommands)),
      model_(std::make_unique<FileViewTabModel>(parts.preferences)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    searchBar_ = new FileSearchBar(parts_.preferences, parts_.fileResults, this);
    layout->addWidget(searchBar_);
    layout->addWidget(paneSeparator(this));
    layout->addWidget(buildContent(), 1);
    connectList();
    followState();
    updateList();
}

FileViewTab::~FileViewTab() = default;

QWidget* FileViewTab::buildContent() {
    content_ = new QStackedWidget(this);
    empty_ = new EmptyStateView(localized("No Scan Results"), zelvaneIconImage(96), firstStepsDescription(), content_);
    content_->addWidget(empty_);
    list_ = new FileListView(parts_.preferences, commandLineFileListSort(parts_.cliAutomationOptions), content_);
    content_->addWidget(list_);
    fileActions_ = std::make_unique<FileActionMenu>(list_, &parts_.liveMonitor);
    list_->setFileActions(fileActionHooks(*fileActions_));
    list_->setTreesHolder([&scans = parts_.scanControl] { return std::make_shared<const std::vector<RootRef>>(scans.heldRoots()); });
    fileActions_->setOnExportToCSV(menuCommands_.exportToCSV);
    fileActions_->setOnZoomTreemap(menuCommands_.zoomIn);
    fileActions_->setOnUnzoomTreemap(menuCommands_.zoomOut);
    return content_;
}

void FileViewTab::connectList() {
    connect(list_, &FileListView::selectionChanged, this, &FileViewTab::takeSelection);
    connect(list_, &FileListView::hoveredNode, this, [this](const FileNode* node) {
        if (parts_.controller.selectedTab() == ContentTab::fileView) parts_.hoverPathState.setNode(node);
    });
    connect(list_, &FileListView::renameEditingEnded, this, &FileViewTab::endRename);
    connect(list_, &FileListView::openRequested, this, [this](FileNode* n) { actOn(n, &FileActionController::open); });
    connect(list_, &FileListView::revealRequested, this,
            [this](FileNode* n) { actOn(n, &FileActionController::showInFileManager); });

    FileListPipeline& pipeline = list_->pipeline();
    connect(&pipeline, &FileListPipeline::resultsChanged, this, [this](const FileListResults& r) {
        parts_.fileResults.setFileResultCount(r.count);
        parts_.fileResults.setFileResultTotalSize(r.totalSize);
        parts_.fileResults.setFileResultTotalAlloc(r.totalAlloc);
    });
    connect(&pipeline, &FileListPipeline::locatingDuplicatesChanged, &parts_.fileResults,
            &FileViewResults::setFileIsLocatingDuplicates);
}

namespace {

// The selected rows as a set; empty when stopped.
NodeSet selectedSet(const FileListSelection& selection, const CancelFlag* cancel = nullptr) {
    NodeSet set;
    set.reserve(qsizetype(selection.size()));
    for (FileNode* n : selection.shown) set.insert(n);
    const std::span<FileNode* const> more = selection.unloaded();
    for (size_t i = 0; i < more.size(); ++i) {
        if (i % 65536 == 0 && isCancelled(cancel)) return {};
        set.insert(more[i]);
    }
    return set;
}

}  // namespace

void FileViewTab::takeSelection(const FileListSelection& selection) {
    if (selection.size() <= selectionSetHere_) {
        selectionJobs_.supersede();
        replaceSelection(selectedSet(selection));
        return;
    }
    // A Select All over millions of rows: the set is made (and compared with the one it replaces)
    // in the background, from the list the rows share; a newer selection drops it.
    auto shared = std::make_shared<const FileListSelection>(selection);
    runInBackground(
        this, selectionJobs_,
        [shared, before = parts_.fileSelection.nodes()](const CancelFlag& cancel) -> std::optional<NodeSet> {
            NodeSet set = selectedSet(*shared, &cancel);
            if (cancel.isSet() || set == before) return std::nullopt;
            return set;
        },
        [this](const std::optional<NodeSet>& set) {
            if (set) replaceSelection(*set);
        });
}

void FileViewTab::replaceSelection(const NodeSet& nodes) {
    // Freeing a set of ten million nodes holds the GUI thread about as long as a frame takes ten
    // times over: the set replaced is let go on the thread pool.
    NodeSet replaced = parts_.fileSelection.nodes();
    parts_.fileSelection.set(nodes);
    if (size_t(replaced.size()) <= selectionSetHere_) return;
    runInBackground(this, [replaced = std::move(replaced)]() mutable {
        replaced = NodeSet();
        return true;
    }, [](bool) {});
}

void FileViewTab::followState() {
    connect(&parts_.scanControl, &ScanController::effectiveRootsChanged, this, &FileViewTab::updateList);
    connect(&parts_.viewModel, &ScanViewModel::scanStateChanged, this, &FileViewTab::showOutcome);
    connect(&parts_.fileResults, &FileViewResults::fileFilterTextChanged, this, &FileViewTab::updateList);
    connect(&parts_.controller, &MainWindowController::selectedTabChanged, this, &FileViewTab::updateList);
    connect(&parts_.scanControl.liveUpdates(), &LiveUpdates::liveChanges, this, [this](const NodeList& changed) {
        if (parts_.controller.selectedTab() == ContentTab::fileView) list_->refreshNodes(changed);
        list_->pipeline().recountShownRows();
        // Selected rows whose items went leave the selection once the whole change is in.
        if (!parts_.fileSelection.isEmpty())
            goneWhileSelected_ = goneWhileSelected_ || std::any_of(changed.begin(), changed.end(), [](const FileNode* n) { return n->isDeleted(); });
        if (goneWhileSelected_ && !parts_.liveMonitor.moreChangesFollow()) {
            goneWhileSelected_ = false;
            list_->dropGoneRows();
        }
    });
    connect(&parts_.commands, &ViewCommands::renameInFileView, this, [this](FileNode* node) {
        if (parts_.controller.selectedTab() == ContentTab::fileView)
            list_->startRename(node);
        else
            endRename();
    });
    connect(&parts_.commands, &ViewCommands::focusFileSearch, this,
            [this] { searchBar_->searchField().setFocus(Qt::OtherFocusReason); });
    connect(&model_->settingsWatch(), &SettingsWatch::changed, this, &FileViewTab::updateList);
}

FilterSyntaxTextField& FileViewTab::searchField() { return searchBar_->searchField(); }
FilterHistoryMenu& FileViewTab::historyMenu() { return searchBar_->historyMenu(); }

void FileViewTab::actOn(FileNode* node, void (FileActionController::*action)(const std::vector<FileNode*>&)) {
    (fileActions_->actions().*action)({node});
}

void FileViewTab::endRename() {
    parts_.commands.setIsRenamingInline(false);
    parts_.liveMonitor.forgetNameLookups();
}

FileListInputs FileViewTab::currentInputs() const {
    return model_->listInputs(parts_.scanControl.effectiveRoots(), parts_.fileResults.fileFilterText(),
                              parts_.controller.selectedTab() == ContentTab::fileView);
}

bool FileViewTab::showsEmptyState() const { return content_->currentWidget() == empty_; }

void FileViewTab::showOutcome() {
    // A scan or import that failed says why here too, as the Tree View does.
    const ScanState& state = parts_.viewModel.scanState();
    const bool failed = state.tag() == ScanState::Tag::failed;
    if (!failed && !showsFailure_) return;
    showsFailure_ = failed;
    if (failed) {
        empty_->setTitle(localized("Scan Failed"));
        empty_->setIcon(QStringLiteral("dialog-warning"));
        empty_->setDescription(std::get<ScanState::Failed>(state.value).message);
    } else {
        empty_->setTitle(localized("No Scan Results"));
        empty_->setIcon(zelvaneIconImage(96));
        empty_->setDescription(firstStepsDescription());
    }
}

void FileViewTab::updateList() {
    const FileListInputs in = currentInputs();
    bool anyChildren = false;
    for (const RootRef& r : in.roots)
        if (r && r->childCount() > 0) anyChildren = true;
    showOutcome();
    content_->setCurrentWidget(anyChildren ? static_cast<QWidget*>(list_) : empty_);
    const FileViewTabSettings& s = model_->settings();
    list_->setOptions({s.showHorizontalLines, s.altRowColors, s.enableDragDrop, s.enableDoubleClickOpen});
    list_->pipeline().update(in);
}

}  // namespace zelvane
