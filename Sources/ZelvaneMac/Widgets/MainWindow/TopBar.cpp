#include "ZelvaneMac/Widgets/MainWindow/TopBar.hpp"

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
#include "ZelvaneMac/Widgets/MainWindow/BrandingPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ScanCapsule.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ScanStatusLine.hpp"
#include "ZelvaneMac/Widgets/MainWindow/SelectionsBox.hpp"
#include "ZelvaneMac/Widgets/MainWindow/VolumeDropdown.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
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

TopBar::TopBar(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state), scans_(state.scanControl()) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(buildScanColumn(), 0, Qt::AlignTop);
    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    row->addWidget(separator);
    selections_ = new SelectionsBox(state_, this);
    row->addWidget(selections_, 0, Qt::AlignTop);
    row->addStretch(1);
    row->addWidget(new BrandingPanel(state_, this), 0, Qt::AlignTop);

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
    statusLine_ = new ScanStatusLine(state_, column);
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
            [this] { performRestartAsAdministrator(state_, window()->frameGeometry()); });
    connect(capsule_, &ScanCapsule::scanAsNonAdminRequested, this, [this] { performRestartWithoutAdministrator(state_); });
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
    ScanViewModel& model = state_.viewModel();
    connect(&state_, &ContentViewState::volumesChanged, this, &TopBar::refreshPicker);
    connect(&state_, &ContentViewState::selectedVolumeIDChanged, this, &TopBar::refreshPicker);
    connect(&state_.preferences(), &Preferences::changed, this, [this](const QString& key) {
        if (key == QLatin1String(PreferenceKeys::selectMultipleCustomFoldersJSON.name.data())) refreshPicker();
    });
    connect(&model, &ScanViewModel::scanStateChanged, this, &TopBar::refreshScanState);
    connect(&state_, &ContentViewState::isRenamingInlineChanged, this,
            [this] { capsule_->setDimmed(state_.isRenamingInline()); });
    refreshPicker();
    refreshScanState();
    capsule_->setDimmed(state_.isRenamingInline());
}

QPushButton* TopBar::scanButton() const { return capsule_->scanButton(); }
QToolButton* TopBar::adminChevron() const { return capsule_->chevron(); }
QLabel* TopBar::statusLabel() const { return statusLine_->statusLabel(); }
QPushButton* TopBar::accessDeniedNote() const { return statusLine_->accessDeniedNote(); }
QToolButton* TopBar::filterToggle() const { return statusLine_->filterToggle(); }

void TopBar::refreshPicker() {
    const QStringList custom = state_.preferences().stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    picker_->setRows(volumePickerRows(state_.volumes(), custom), state_.volumes());
    picker_->setSelection(state_.selectedVolumeID().value_or(QString()));
}

void TopBar::refreshScanState() {
    const ScanState& scanState = state_.viewModel().scanState();
    capsule_->setScanning(scanState.isScanning());
    progress_->setFraction(scanProgressFraction(scanState));
}

void TopBar::handlePickerSelection(const QString& tag) {
    const QStringList custom = state_.preferences().stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    const PickerChoice choice = decidePickerChoice(tag, state_.volumes(), custom,
                                                   state_.preferences().value(PreferenceKeys::autoScanAfterSelection));
    switch (choice.action) {
    case PickerChoice::Action::none:
        break;
    case PickerChoice::Action::selectFolder:
        selectFolder();
        break;
    case PickerChoice::Action::selectMultiple:
        scans_.requestSelectMultiple();
        break;
    case PickerChoice::Action::selectCSV:
        selectCSVFile();
        break;
    case PickerChoice::Action::selectRoot:
        state_.setSelectedVolumeID(tag);
        state_.viewModel().selectRoot(choice.path, choice.label);
        if (choice.scan) scans_.startScan();
        break;
    }
    refreshPicker();
}

void TopBar::pressScanButton() {
    if (!scanButton()->isEnabled()) return;
    if (state_.viewModel().scanState().isScanning()) {
        state_.viewModel().cancelScan();
        return;
    }
    switch (scanButtonAction(state_.selectedVolumeID())) {
    case PickerChoice::Action::selectFolder: selectFolder(); break;
    case PickerChoice::Action::selectMultiple: scans_.requestSelectMultiple(); break;
    case PickerChoice::Action::selectCSV: selectCSVFile(); break;
    default: scans_.startScan(); break;
    }
}

void TopBar::selectFolder() {
    actOnPanelChoice(
        [this] {
            return chooseFolder_ ? chooseFolder_(window())
                                 : chooseFolderIn(window(), localized("Select Folder"), openPanelStartFolder(state_));
        },
        &ScanController::scanChosenFolder);
}

void TopBar::selectCSVFile() {
    actOnPanelChoice(
        [this] {
            return chooseCSV_ ? chooseCSV_(window())
                              : chooseFileIn(window(), localized("Select CSV File"), openPanelStartFolder(state_),
                                             localized("CSV or TSV files (*.csv *.tsv);;All files (*)"));
        },
        &ScanController::importChosenCSV);
}

void TopBar::actOnPanelChoice(const std::function<QString()>& choose, void (ScanController::*act)(const QString&)) {
    // The live monitor rests while the panel is up; a cancelled panel resumes it.
    state_.liveMonitor().stop();
    const QString path = choose();
    rememberOpenPanelChoice(state_, path);
    if (path.isEmpty())
        scans_.resumeLiveMonitoringForCurrentRoots();
    else
        (scans_.*act)(path);
}

}  // namespace zelvane
