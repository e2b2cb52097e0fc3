#include "ZelvaneMac/Window/MainWindowController.hpp"

#include <QTimer>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowTitle.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"

namespace zelvane {

MainWindowController::MainWindowController(ContentViewState& state, QObject* parent)
    : QObject(parent), state_(state) {
    title_ = windowTitle();
    connect(&state_.viewModel(), &ScanViewModel::rootLabelChanged, this, &MainWindowController::refreshTitle);
    connect(&state_, &ContentViewState::selectedVolumeIDChanged, this, &MainWindowController::refreshTitle);
    connect(&state_, &ContentViewState::selectedTabChanged, this, &MainWindowController::handleSelectedTabChange);
    connect(&state_.treeSelection(), &NodeSelection::changed, this,
            &MainWindowController::handleSelectedNodesChange);
}

QString MainWindowController::windowTitle() const {
    const QString marker = selectionKindMarker(state_.selectedVolumeID(),
                                               state_.preferences().stringList(PreferenceKeys::selectMultipleCustomFoldersJSON));
    return zelvane::windowTitle(state_.viewModel().rootLabel(), marker);
}

void MainWindowController::refreshTitle() {
    QString title = windowTitle();
    if (title == title_) return;
    title_ = std::move(title);
    emit windowTitleChanged(title_);
}

void MainWindowController::restoreStoredTab() {
    state_.setIsRestoringSelectedTab(true);
    state_.setSelectedTab(restoredTab(state_.preferences().value(PreferenceKeys::selectedTab)));
    QTimer::singleShot(0, this, [this] { state_.setIsRestoringSelectedTab(false); });
}

void MainWindowController::recomputeColorRank() {
    state_.fileTypes().setExtensionColorRank(colorRankFor(state_.fileTypes().extensionStats(),
                                                          state_.preferences().value(PreferenceKeys::treemapColorBySize),
                                                          state_.currentExtensionLists()));
}

void MainWindowController::handleSelectedTabChange(ContentTab tab) {
    if (tab == ContentTab::about) {
        state_.setIsRestoringSelectedTab(false);
        return;
    }
    state_.preferences().set(PreferenceKeys::selectedTab, rawValue(tab));
    if (tab == ContentTab::fileView && !state_.isRestoringSelectedTab()) state_.commands().focusFileSearch();
    state_.setIsRestoringSelectedTab(false);
}

void MainWindowController::handleSelectedNodesChange() {
    if (state_.suppressReselectChildClear()) {
        state_.setSuppressReselectChildClear(false);
    } else {
        state_.setLastChildNodeForReselect(nullptr);
    }
}

}  // namespace zelvane
