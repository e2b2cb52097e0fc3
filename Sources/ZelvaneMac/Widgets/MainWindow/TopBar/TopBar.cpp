#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/DeterminateProgressBar.hpp"
#include "ZelvaneMac/Widgets/Common/OpenPanels.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/BrandingPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/ScanCapsule.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/ScanStatusLine.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/SelectionsBox.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/VolumeDropdown.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"

namespace zelvane {

namespace {

// Text fields take Return for themselves.
// A combo box counts too: the Return that picks a row in its popup arrives here once the popup has
// closed, with the focus back on the box, and must not also scan or open the folder panel.
bool focusTakesReturn() {
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus) ||
           qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QComboBox*>(focus);
}

QPalette secondaryTextPalette(QPalette palette) {
    palette.setColor(QPalette::WindowText, secondaryTextColor(palette));
    return palette;
}

}  // namespace

TopBar::TopBar(const Parts& parts, QWidget* parent) : QWidget(parent), parts_(parts), customFolders_(parts.preferences) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(buildScanColumn(), 0, Qt::AlignTop);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    row->addWidget(separator);
    selections_ = new SelectionsBox(parts_.preferences, parts_.viewModel, parts_.volumeChoice, this);
    row->addWidget(selections_, 0, Qt::AlignTop);
    row->addStretch(1);
    row->addWidget(new BrandingPanel(parts_.services, this), 0, Qt::AlignTop);

    connectControls();
    installReturnKeys();
    followState();
}

QWidget* TopBar::buildScanColumn() {
    auto* column = new QWidget(this);
    auto* rows = new QVBoxLayout(column);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    rows->addLayout(buildPickerRow(column));
    statusLine_ = new ScanStatusLine(parts_.viewModel, parts_.panes, column);
    connect(statusLine_, &ScanStatusLine::accessDeniedFoldersAsked, this, &TopBar::accessDeniedFoldersAsked);
    rows->addWidget(statusLine_);
    progress_ = new DeterminateProgressBar(column);
    rows->addWidget(progress_);
    column->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return column;
}

QLayout* TopBar::buildPickerRow(QWidget* column) {
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* selectLabel = new QLabel(localized("Select:"), column);
    selectLabel->setPalette(secondaryTextPalette(palette()));
    row->addWidget(selectLabel);
    picker_ = new VolumeDropdown(column);
    picker_->setFixedWidth(279);
    row->addWidget(picker_);
    capsule_ = new ScanCapsule(column);
    row->addWidget(capsule_);
    row->addStretch(0);
    return row;
}

void TopBar::connectControls() {
    connect(picker_, &VolumeDropdown::rowPicked, this, &TopBar::handlePickerSelection);
    connect(capsule_->scanButton(), &QPushButton::clicked, this, &TopBar::pressScanButton);
    connect(capsule_, &ScanCapsule::scanAsAdminRequested, this,
            [this] { performRestartAsAdministrator(parts_.prompts, parts_.preferences, window()->frameGeometry()); });
    connect(capsule_, &ScanCapsule::scanAsNonAdminRequested, this,
            [this] { performRestartWithoutAdministrator(parts_.prompts, parts_.preferences); });
}

void TopBar::installReturnKeys() {
    // Return presses the Scan button anywhere in the window except in text fields. A shortcut
    // that matches takes the key even when it then does nothing, and a one-line field does not
    // claim Return ahead of shortcuts: so the keys stand aside while a text field has the focus,
    // and the field (an inline rename, a search) gets its Return.
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this, nullptr, nullptr, Qt::WindowShortcut);
    auto* enterKey = new QShortcut(QKeySequence(Qt::Key_Enter), this, nullptr, nullptr, Qt::WindowShortcut);
    for (QShortcut* key : {returnKey, enterKey})
        connect(key, &QShortcut::activated, this, [this] {
            if (focusTakesReturn() || !scanButton()->isEnabled() || !isVisible()) return;
            pressScanButton();
        });
    connect(qApp, &QApplication::focusChanged, this, [returnKey, enterKey] {
        const bool scanKeys = !focusTakesReturn();
        returnKey->setEnabled(scanKeys);
        enterKey->setEnabled(scanKeys);
    });
}

void TopBar::followState() {
    ScanViewModel& model = parts_.viewModel;
    connect(&parts_.volumeChoice, &VolumeChoice::volumesChanged, this, &TopBar::refreshPicker);
    connect(&parts_.volumeChoice, &VolumeChoice::selectedVolumeIDChanged, this, &TopBar::refreshPicker);
    connect(&customFolders_, &SettingsWatch::changed, this, &TopBar::refreshPicker);
    connect(&model, &ScanViewModel::scanStateChanged, this, &TopBar::refreshScanState);
    connect(&parts_.commands, &ViewCommands::isRenamingInlineChanged, this,
            [this] { capsule_->setDimmed(parts_.commands.isRenamingInline()); });
    refreshPicker();
    refreshScanState();
    capsule_->setDimmed(parts_.commands.isRenamingInline());
}

QPushButton* TopBar::scanButton() const { return capsule_->scanButton(); }
QToolButton* TopBar::adminChevron() const { return capsule_->chevron(); }
QLabel* TopBar::statusLabel() const { return statusLine_->statusLabel(); }
QPushButton* TopBar::accessDeniedNote() const { return statusLine_->accessDeniedNote(); }
QToolButton* TopBar::filterToggle() const { return statusLine_->filterToggle(); }

void TopBar::refreshPicker() {
    const QStringList custom = parts_.preferences.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    picker_->setRows(volumePickerRows(parts_.volumeChoice.volumes(), custom), parts_.volumeChoice.volumes());
    picker_->setSelection(parts_.volumeChoice.selectedVolumeID().value_or(QString()));
}

void TopBar::refreshScanState() {
    const ScanState& scanState = parts_.viewModel.scanState();
    capsule_->setScanning(scanState.isScanning());
    progress_->setFraction(scanProgressFraction(scanState));
}

void TopBar::handlePickerSelection(const QString& tag) {
    const QStringList custom = parts_.preferences.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    const PickerChoice choice = decidePickerChoice(tag, parts_.volumeChoice.volumes(), custom,
                                                   parts_.preferences.value(PreferenceKeys::autoScanAfterSelection));
    switch (choice.action) {
    case PickerChoice::Action::none:
        break;
    case PickerChoice::Action::selectFolder:
        selectFolder();
        break;
    case PickerChoice::Action::selectMultiple:
        parts_.scans.requestSelectMultiple();
        break;
    case PickerChoice::Action::selectCSV:
        selectCSVFile();
        break;
    case PickerChoice::Action::selectRoot:
        parts_.volumeChoice.setSelectedVolumeID(tag);
        parts_.viewModel.selectRoot(choice.path, choice.label);
        if (choice.scan) parts_.scans.startScan();
        break;
    }
    refreshPicker();
}

void TopBar::pressScanButton() {
    if (!scanButton()->isEnabled()) return;
    if (parts_.viewModel.scanState().isScanning()) {
        parts_.viewModel.cancelScan();
        return;
    }
    switch (scanButtonAction(parts_.volumeChoice.selectedVolumeID())) {
    case PickerChoice::Action::selectFolder: selectFolder(); break;
    case PickerChoice::Action::selectMultiple: parts_.scans.requestSelectMultiple(); break;
    case PickerChoice::Action::selectCSV: selectCSVFile(); break;
    default: parts_.scans.startScan(); break;
    }
}

void TopBar::selectFolder() {
    actOnPanelChoice(
        [this] {
            return chooseFolder_ ? chooseFolder_(window())
                                 : chooseFolderIn(window(), localized("Select Folder"),
                                                  openPanelStartFolder(parts_.volumeChoice));
        },
        &ScanController::scanChosenFolder);
}

void TopBar::selectCSVFile() {
    actOnPanelChoice(
        [this] {
            return chooseCSV_ ? chooseCSV_(window())
                              : chooseFileIn(window(), localized("Select CSV File"), openPanelStartFolder(parts_.volumeChoice),
                                             localized("CSV or TSV files (*.csv *.tsv);;All files (*)"));
        },
        &ScanController::importChosenCSV);
}

void TopBar::actOnPanelChoice(const std::function<QString()>& choose, void (ScanController::*act)(const QString&)) {
    // The live monitor rests while the panel is up; a cancelled panel resumes it.
    parts_.liveMonitor.stop();
    const QString path = choose();
    rememberOpenPanelChoice(parts_.volumeChoice, path);
    if (path.isEmpty())
        parts_.scans.resumeLiveMonitoringForCurrentRoots();
    else
        (parts_.scans.*act)(path);
}

}  // namespace zelvane
