#include "ZelvaneMac/Widgets/MainWindow/FileViewTab.hpp"

#include <QStackedWidget>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/FileSearchBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/FileViewTabModel.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {

FileViewTab::FileViewTab(ContentViewState& state, QWidget* parent)
    : QWidget(parent), state_(state), model_(std::make_unique<FileViewTabModel>(state.preferences())) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    searchBar_ = new FileSearchBar(state_.preferences(), state_.fileResults(), this);
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
    list_ = new FileListView(state_.preferences(), commandLineFileListSort(state_.cliAutomationOptions()), content_);
    content_->addWidget(list_);
    fileActions_ = std::make_unique<FileActionMenu>(list_);
    list_->setFileActions(fileActionHooks(*fileActions_));
    const ContextMenuCommands commands = contextMenuCommands(state_, this);
    fileActions_->setOnExportToCSV(commands.exportToCSV);
    fileActions_->setOnZoomTreemap(commands.zoomIn);
    fileActions_->setOnUnzoomTreemap(commands.zoomOut);
    return content_;
}

void FileViewTab::connectList() {
    connect(list_, &FileListView::selectionChanged, this, [this](const std::vector<FileNode*>& nodes) {
        state_.fileSelection().set(NodeSet(nodes.begin(), nodes.end()));
    });
    connect(list_, &FileListView::hoverPathChanged, this, [this](const std::optional<QString>& path) {
        if (state_.selectedTab() == ContentTab::fileView) state_.hoverPathState().setPath(path);
    });
    connect(list_, &FileListView::renameEditingEnded, this, &FileViewTab::endRename);
    connect(list_, &FileListView::openRequested, this, [this](FileNode* n) { actOn(n, &FileActionController::open); });
    connect(list_, &FileListView::revealRequested, this,
            [this](FileNode* n) { actOn(n, &FileActionController::showInFileManager); });
    fileActions_->setOnNodesDeleted([this](const std::vector<FileNode*>& nodes) {
        state_.liveMonitor().markDeletedLocally(nodes);
    });
    fileActions_->setOnNodesRenamed([this](const std::vector<FileNode*>& nodes) {
        state_.liveMonitor().markRenamedLocally(nodes);
    });

    FileListPipeline& pipeline = list_->pipeline();
    connect(&pipeline, &FileListPipeline::resultsChanged, this, [this](const FileListResults& r) {
        state_.fileResults().setFileResultCount(r.count);
        state_.fileResults().setFileResultTotalSize(r.totalSize);
        state_.fileResults().setFileResultTotalAlloc(r.totalAlloc);
    });
    connect(&pipeline, &FileListPipeline::locatingDuplicatesChanged, &state_.fileResults(),
            &FileViewResults::setFileIsLocatingDuplicates);
}

void FileViewTab::followState() {
    connect(&state_.scanControl(), &ScanController::effectiveRootsChanged, this, &FileViewTab::updateList);
    connect(&state_.fileResults(), &FileViewResults::fileFilterTextChanged, this, &FileViewTab::updateList);
    connect(&state_, &ContentViewState::selectedTabChanged, this, &FileViewTab::updateList);
    connect(&state_.scanControl().liveUpdates(), &LiveUpdates::liveChanges, this, [this](const NodeList& changed) {
        if (state_.selectedTab() == ContentTab::fileView) list_->refreshNodes(changed);
        list_->pipeline().recountShownRows();
    });
    connect(&state_.commands(), &ViewCommands::renameInFileView, this, [this](FileNode* node) {
        if (state_.selectedTab() == ContentTab::fileView)
            list_->startRename(node);
        else
            endRename();
    });
    connect(&state_.commands(), &ViewCommands::focusFileSearch, this,
            [this] { searchBar_->searchField().setFocus(Qt::OtherFocusReason); });
    connect(&model_->settingsWatch(), &SettingsWatch::changed, this, &FileViewTab::updateList);
}

FilterSyntaxTextField& FileViewTab::searchField() { return searchBar_->searchField(); }
FilterHistoryMenu& FileViewTab::historyMenu() { return searchBar_->historyMenu(); }

void FileViewTab::actOn(FileNode* node, void (FileActionController::*action)()) {
    fileActions_->actions().targetNodesProvider = [node] { return std::vector<FileNode*>{node}; };
    (fileActions_->actions().*action)();
}

void FileViewTab::endRename() {
    state_.setIsRenamingInline(false);
    state_.liveMonitor().forgetNameLookups();
}

FileListInputs FileViewTab::currentInputs() const {
    return model_->listInputs(state_.scanControl().effectiveRoots(), state_.fileResults().fileFilterText(),
                              state_.selectedTab() == ContentTab::fileView);
}

bool FileViewTab::showsEmptyState() const { return content_->currentWidget() == empty_; }

void FileViewTab::updateList() {
    const FileListInputs in = currentInputs();
    bool anyChildren = false;
    for (const RootRef& r : in.roots)
        if (r && r->childCount() > 0) anyChildren = true;
    content_->setCurrentWidget(anyChildren ? static_cast<QWidget*>(list_) : empty_);
    const FileViewTabSettings& s = model_->settings();
    list_->setOptions({s.showHorizontalLines, s.altRowColors, s.enableDragDrop, s.enableDoubleClickOpen});
    list_->pipeline().update(in);
}

}  // namespace zelvane
