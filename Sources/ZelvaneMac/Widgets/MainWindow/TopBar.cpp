#include "ZelvaneMac/Widgets/MainWindow/TopBar.hpp"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
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
#include "ZelvaneMac/Widgets/Common/FilterIcon.hpp"
#include "ZelvaneMac/Widgets/Common/OpenPanels.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Widgets/MainWindow/BrandingPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/SelectionsBox.hpp"
#include "ZelvaneMac/Widgets/MainWindow/VolumeDropdown.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"

namespace zelvane {

namespace {

bool isElevated() { return isRunningElevated(); }

// The Scan button and its chevron sit on one rounded accent-coloured capsule.
class AccentCapsule final : public QWidget {
public:
    using QWidget::QWidget;
    void setDimmed(bool dimmed) {
        if (dimmed_ == dimmed) return;
        dimmed_ = dimmed;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor accent = palette().color(QPalette::Highlight);
        if (dimmed_) accent.setAlphaF(0.4f);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 5, 5);
        painter.fillPath(path, accent);
    }

private:
    bool dimmed_ = false;
};

// An orange shield: the mark of a process running as administrator.
QIcon adminShieldIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    shield.moveTo(16, 2);
    shield.lineTo(28, 7);
    shield.cubicTo(28, 19, 23, 26, 16, 30);
    shield.cubicTo(9, 26, 4, 19, 4, 7);
    shield.closeSubpath();
    painter.fillPath(shield, QColor(255, 149, 0));
    painter.fillRect(QRectF(12, 14, 8, 7), Qt::white);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawArc(QRectF(13, 9, 6, 9), 0, 180 * 16);
    painter.end();
    pixmap.setDevicePixelRatio(2);
    return QIcon(pixmap);
}

// Text fields take Return for themselves.
// A combo box counts too: the Return that picks a row in its popup arrives here once the popup has
// closed, with the focus back on the box, and must not also scan or open the folder panel.
bool focusTakesReturn() {
    QWidget* focus = QApplication::focusWidget();
    return qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus) ||
           qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QComboBox*>(focus);
}

}  // namespace

TopBar::TopBar(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state), scans_(state.scanControl()) {
    chooseFolder_ = [this](QWidget* owner) {
        return chooseFolderIn(owner, localized("Select Folder"), openPanelStartFolder(state_));
    };
    chooseCSV_ = [this](QWidget* owner) {
        return chooseFileIn(owner, localized("Select CSV File"), openPanelStartFolder(state_),
                            localized("CSV or TSV files (*.csv *.tsv);;All files (*)"));
    };

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    leftColumn_ = new QWidget(this);
    auto* column = new QVBoxLayout(leftColumn_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* firstRow = new QHBoxLayout;
    firstRow->setSpacing(12);
    auto* selectLabel = new QLabel(localized("Select:"), leftColumn_);
    QPalette secondary = selectLabel->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    selectLabel->setPalette(secondary);
    firstRow->addWidget(selectLabel);
    picker_ = new VolumeDropdown(leftColumn_);
    picker_->setFixedWidth(279);
    picker_->setOnSelect([this](const QString& tag) { handlePickerSelection(tag); });
    firstRow->addWidget(picker_);

    auto* capsule = new AccentCapsule(leftColumn_);
    scanControl_ = capsule;
    auto* capsuleRow = new QHBoxLayout(capsule);
    capsuleRow->setContentsMargins(0, 0, 0, 0);
    capsuleRow->setSpacing(0);
    scanButton_ = new QPushButton(capsule);
    scanButton_->setFlat(true);
    scanButton_->setAutoDefault(false);
    scanButton_->setCursor(Qt::PointingHandCursor);
    QPalette white = scanButton_->palette();
    white.setColor(QPalette::ButtonText, Qt::white);
    white.setColor(QPalette::WindowText, Qt::white);
    scanButton_->setPalette(white);
    scanButton_->setStyleSheet(QStringLiteral("QPushButton { border: none; color: white; background: transparent; }"));
    if (isElevated()) {
        scanButton_->setIcon(adminShieldIcon());
        scanButton_->setLayoutDirection(Qt::RightToLeft);  // the shield after the text
    }
    // One width for both labels, never below 85, so the button does not jump when it switches.
    const QFontMetrics metrics(scanButton_->font());
    const int iconExtra = isElevated() ? 4 + 16 : 0;
    // The button's own padding comes on top of a label, so a longer one than English is not clipped.
    constexpr int kPadding = 12;
    const int labelWidth = std::max({metrics.horizontalAdvance(localized("Scan")) + iconExtra + kPadding,
                                     metrics.horizontalAdvance(localized("Cancel")) + iconExtra + kPadding, 85});
    scanButton_->setFixedSize(labelWidth, 24);
    capsuleRow->addWidget(scanButton_);
    auto* divider = new QFrame(capsule);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedSize(1, 14);
    divider->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.6); background: rgba(255,255,255,0.6);"));
    capsuleRow->addWidget(divider, 0, Qt::AlignVCenter);
    chevron_ = new QToolButton(capsule);
    chevron_->setArrowType(Qt::DownArrow);
    chevron_->setAutoRaise(true);
    chevron_->setFixedSize(20, 24);
    chevron_->setAccessibleName(localized("Admin mode options"));
    chevron_->setStyleSheet(QStringLiteral("QToolButton { border: none; color: white; background: transparent; }"));
    chevron_->setPalette(white);
    capsuleRow->addWidget(chevron_);
    capsule->setToolTip(isElevated() ? localized("Running as Administrator") : QString());
    firstRow->addWidget(capsule);
    firstRow->addStretch(0);
    column->addLayout(firstRow);

    auto* secondRow = new QHBoxLayout;
    secondRow->setContentsMargins(0, 4, 0, 0);
    secondRow->setSpacing(8);
    status_ = new QLabel(leftColumn_);
    status_->setFont(calloutFont());
    status_->setPalette(secondary);
    secondRow->addWidget(status_);
    secondRow->addStretch(1);
    secondRow->addSpacing(4);
    deniedNote_ = new QPushButton(leftColumn_);
    deniedNote_->setFlat(true);
    deniedNote_->setAutoDefault(false);
    deniedNote_->setCursor(Qt::PointingHandCursor);
    deniedNote_->setText(localized("Access to some folders was denied"));
    deniedNote_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    deniedNote_->setIconSize(QSize(11, 11));
    QFont caption = captionFont();
    caption.setUnderline(true);
    deniedNote_->setFont(caption);
    deniedNote_->setPalette(secondary);
    deniedNote_->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; text-align: left; }"));
    secondRow->addWidget(deniedNote_);
    filterToggle_ = new QToolButton(leftColumn_);
    filterToggle_->setCheckable(true);
    filterToggle_->setAutoRaise(true);
    filterToggle_->setIcon(filterIcon(secondaryTextColor(palette()), 12));
    filterToggle_->setToolTip(localized("Filter"));
    secondRow->addWidget(filterToggle_);
    column->addLayout(secondRow);

    progress_ = new DeterminateProgressBar(leftColumn_);
    column->addWidget(progress_);
    leftColumn_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row->addWidget(leftColumn_, 0, Qt::AlignTop);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    row->addWidget(separator);

    selections_ = new SelectionsBox(state_, this);
    row->addWidget(selections_, 0, Qt::AlignTop);
    row->addStretch(1);
    row->addWidget(new BrandingPanel(state_, this), 0, Qt::AlignTop);

    connect(scanButton_, &QPushButton::clicked, this, &TopBar::pressScanButton);
    connect(chevron_, &QToolButton::clicked, this, &TopBar::showAdminMenu);
    connect(this, &TopBar::scanAsAdminRequested, this,
            [this] { performRestartAsAdministrator(state_, window()->frameGeometry()); });
    connect(this, &TopBar::scanAsNonAdminRequested, this, [this] { performRestartWithoutAdministrator(state_); });
    connect(deniedNote_, &QPushButton::clicked, this, [this] { state_.prompts().setShowAccessDeniedFoldersSheet(true); });
    connect(filterToggle_, &QToolButton::toggled, this, [this](bool on) { state_.setShowFilterPanel(on); });
    connect(&state_, &ContentViewState::showFilterPanelChanged, filterToggle_, &QToolButton::setChecked);
    filterToggle_->setChecked(state_.showFilterPanel());

    // Return presses the Scan button anywhere in the window except in text fields. A shortcut
    // that matches takes the key even when it then does nothing, and a one-line field does not
    // claim Return ahead of shortcuts: so the keys stand aside while a text field has the focus,
    // and the field (an inline rename, a search) gets its Return.
    auto* returnKey = new QShortcut(QKeySequence(Qt::Key_Return), this, nullptr, nullptr, Qt::WindowShortcut);
    auto* enterKey = new QShortcut(QKeySequence(Qt::Key_Enter), this, nullptr, nullptr, Qt::WindowShortcut);
    for (QShortcut* key : {returnKey, enterKey})
        connect(key, &QShortcut::activated, this, [this] {
            if (focusTakesReturn() || !scanButton_->isEnabled() || !isVisible()) return;
            pressScanButton();
        });
    connect(qApp, &QApplication::focusChanged, this, [returnKey, enterKey] {
        const bool scanKeys = !focusTakesReturn();
        returnKey->setEnabled(scanKeys);
        enterKey->setEnabled(scanKeys);
    });

    ScanViewModel& model = state_.viewModel();
    connect(&state_, &ContentViewState::volumesChanged, this, &TopBar::refreshPicker);
    connect(&state_, &ContentViewState::selectedVolumeIDChanged, this, &TopBar::refreshPicker);
    connect(&state_.preferences(), &Preferences::changed, this, [this](const QString& key) {
        if (key == QLatin1String(PreferenceKeys::selectMultipleCustomFoldersJSON.name.data())) refreshPicker();
    });
    connect(&model, &ScanViewModel::scanStateChanged, this, &TopBar::refreshScanState);
    connect(&model, &ScanViewModel::lastScanDurationChanged, this, &TopBar::refreshScanState);
    connect(&model, &ScanViewModel::lastScanAccessDeniedPathsChanged, this, &TopBar::refreshScanState);
    connect(&state_, &ContentViewState::isRenamingInlineChanged, this, &TopBar::refreshScanButtonEnabled);
    refreshPicker();
    refreshScanState();
    refreshScanButtonEnabled();
}

void TopBar::refreshPicker() {
    const QStringList custom = state_.preferences().stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    picker_->setRows(volumePickerRows(state_.volumes(), custom), state_.volumes());
    picker_->setSelection(state_.selectedVolumeID().value_or(QString()));
}

void TopBar::refreshScanState() {
    const ScanViewModel& model = state_.viewModel();
    const ScanState& scanState = model.scanState();
    const bool scanning = scanState.isScanning();
    scanButton_->setText(scanning ? localized("Cancel") : localized("Scan"));
    chevron_->setEnabled(!scanning);
    status_->setText(scanStatusText(scanState, model.lastScanDuration()));
    deniedNote_->setVisible(accessDeniedNoteVisible(scanState, model.lastScanAccessDeniedPaths().size()));
    progress_->setFraction(scanProgressFraction(scanState));
}

void TopBar::refreshScanButtonEnabled() {
    const bool renaming = state_.isRenamingInline();
    scanButton_->setEnabled(!renaming);
    static_cast<AccentCapsule*>(scanControl_)->setDimmed(renaming);
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
    if (!scanButton_->isEnabled()) return;
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
    state_.liveMonitor().stop();
    const QString path = chooseFolder_ ? chooseFolder_(window()) : QString();
    rememberOpenPanelChoice(state_, path);
    if (path.isEmpty())
        scans_.resumeLiveMonitoringForCurrentRoots();
    else
        scans_.scanChosenFolder(path);
}

void TopBar::selectCSVFile() {
    state_.liveMonitor().stop();
    const QString path = chooseCSV_ ? chooseCSV_(window()) : QString();
    rememberOpenPanelChoice(state_, path);
    if (path.isEmpty())
        scans_.resumeLiveMonitoringForCurrentRoots();
    else
        scans_.importChosenCSV(path);
}

void TopBar::showAdminMenu() {
    if (!chevron_->isEnabled()) return;
    QMenu menu(this);
    const int buttonWidth = scanButton_->width();
    menu.setMinimumWidth(buttonWidth + 1 + chevron_->width());
    if (isElevated())
        menu.addAction(localized("Scan as Non-Admin"), this, &TopBar::scanAsNonAdminRequested);
    else
        menu.addAction(adminShieldIcon(), localized("Scan as Admin"), this, &TopBar::scanAsAdminRequested);
    // Under the left edge of the Scan button, as wide as the whole control.
    menu.exec(chevron_->mapToGlobal(QPoint(-(buttonWidth + 1), chevron_->height() + 4)));
}

}  // namespace zelvane
