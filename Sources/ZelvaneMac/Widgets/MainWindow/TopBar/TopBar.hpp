#pragma once

#include <QWidget>

#include <functional>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"

class QLabel;
class QLayout;
class QPushButton;
class QToolButton;

namespace zelvane {

class DeterminateProgressBar;
class LiveMonitorController;
class PaneToggles;
class Preferences;
class ScanCapsule;
class ScanStatusLine;
class ScanController;
class ScanViewModel;
class SelectionsBox;
class ViewCommands;
class VolumeChoice;
class VolumeDropdown;
class WindowPrompts;
class WindowServices;

// The header strip of a main window: the volume picker with the Scan/Cancel button and its
// administrator chevron, the status line with the access-denied note and the filter toggle, the
// progress bar, and the selections box. Return presses the Scan button (also while it reads
// "Cancel") unless a text field has the focus or an in-place rename is being typed.
class TopBar final : public QWidget {
    Q_OBJECT
public:
    // The parts of the window the bar shows and changes.
    struct Parts {
        Preferences& preferences;
        ScanViewModel& viewModel;
        VolumeChoice& volumeChoice;
        LiveMonitorController& liveMonitor;
        ScanController& scans;
        const ViewCommands& commands;
        WindowPrompts& prompts;
        PaneToggles& panes;
        const WindowServices& services;
    };
    explicit TopBar(const Parts& parts, QWidget* parent = nullptr);

    // The panels behind "<Select Folder...>" and "<CSV file>"; the standard file panels unless
    // replaced (tests). An empty answer is a cancelled panel.
    void setFolderChooser(std::function<QString(QWidget*)> chooser) { chooseFolder_ = std::move(chooser); }
    void setCSVFileChooser(std::function<QString(QWidget*)> chooser) { chooseCSV_ = std::move(chooser); }

    // Picks a row of the picker as the user would (its tag).
    void handlePickerSelection(const QString& tag);
    // The Scan button: cancels a running scan, else scans or reopens the last panel.
    void pressScanButton();
    // The menu's "Select Folder…" and "Select CSV File…" run the same steps.
    void selectFolder();
    void selectCSVFile();

    VolumeDropdown* picker() const { return picker_; }
    QPushButton* scanButton() const;
    QToolButton* adminChevron() const;
    QLabel* statusLabel() const;
    QPushButton* accessDeniedNote() const;
    QToolButton* filterToggle() const;
    DeterminateProgressBar* progressBar() const { return progress_; }
    SelectionsBox* selectionsBox() const { return selections_; }

signals:
    // The access-denied note was clicked.
    void accessDeniedFoldersAsked();

private:
    QWidget* buildScanColumn();
    QLayout* buildPickerRow(QWidget* column);
    void connectControls();
    void installReturnKeys();
    void followState();
    void refreshPicker();
    void refreshScanState();
    void actOnPanelChoice(const std::function<QString()>& choose, void (ScanController::*act)(const QString&));

    Parts parts_;
    SettingsWatcher<PreferenceValue<PreferenceKeys::selectMultipleCustomFoldersJSON>> customFolders_;
    VolumeDropdown* picker_ = nullptr;
    ScanCapsule* capsule_ = nullptr;
    ScanStatusLine* statusLine_ = nullptr;
    DeterminateProgressBar* progress_ = nullptr;
    SelectionsBox* selections_ = nullptr;
    std::function<QString(QWidget*)> chooseFolder_;
    std::function<QString(QWidget*)> chooseCSV_;
};

}  // namespace zelvane
