#include "ZelvaneMac/Window/MainWindowController.hpp"

#include <QTimer>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowTitle.hpp"

namespace zelvane {

MainWindowController::MainWindowController(Preferences& preferences, ScanViewModel& viewModel,
                                           const VolumeChoice& volumeChoice, FileTypeStatistics& fileTypes,
                                           ViewCommands& commands, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      viewModel_(viewModel),
      volumeChoice_(volumeChoice),
      fileTypes_(fileTypes),
      commands_(commands) {
    title_ = windowTitle();
    connect(&viewModel_, &ScanViewModel::rootLabelChanged, this, &MainWindowController::refreshTitle);
    connect(&volumeChoice_, &VolumeChoice::selectedVolumeIDChanged, this, &MainWindowController::refreshTitle);
    connect(this, &MainWindowController::selectedTabChanged, this, &MainWindowController::handleSelectedTabChange);
}

void MainWindowController::setSelectedTab(ContentTab value) {
    if (value == selectedTab_) return;
    selectedTab_ = value;
    emit selectedTabChanged(selectedTab_);
}

QString MainWindowController::windowTitle() const {
    const QString marker = selectionKindMarker(volumeChoice_.selectedVolumeID(),
                                               preferences_.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON));
    return zelvane::windowTitle(viewModel_.rootLabel(), marker);
}

void MainWindowController::refreshTitle() {
    QString title = windowTitle();
    if (title == title_) return;
    title_ = std::move(title);
    emit windowTitleChanged(title_);
}

void MainWindowController::restoreStoredTab() {
    isRestoringSelectedTab_ = true;
    setSelectedTab(restoredTab(preferences_.value(PreferenceKeys::selectedTab)));
    QTimer::singleShot(0, this, [this] { isRestoringSelectedTab_ = false; });
}

void MainWindowController::recomputeColorRank() {
    fileTypes_.setExtensionColorRank(colorRankFor(fileTypes_.extensionStats(),
                                                  preferences_.value(PreferenceKeys::treemapColorBySize),
                                                  TreemapColorSettings::storedExtensionLists(preferences_)));
}

void MainWindowController::handleSelectedTabChange(ContentTab tab) {
    if (tab == ContentTab::about) {
        isRestoringSelectedTab_ = false;
        return;
    }
    preferences_.set(PreferenceKeys::selectedTab, rawValue(tab));
    if (tab == ContentTab::fileView && !isRestoringSelectedTab_) commands_.focusFileSearch();
    isRestoringSelectedTab_ = false;
}

}  // namespace zelvane
