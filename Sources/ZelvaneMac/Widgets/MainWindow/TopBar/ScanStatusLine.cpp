#include "ZelvaneMac/Widgets/MainWindow/TopBar/ScanStatusLine.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/FilterIcon.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"

namespace zelvane {

ScanStatusLine::ScanStatusLine(const ScanViewModel& viewModel, PaneToggles& panes, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      panes_(panes) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(8);
    status_ = new QLabel(this);
    status_->setFont(calloutFont());
    status_->setPalette(secondaryTextPalette());
    row->addWidget(status_);
    row->addStretch(1);
    row->addSpacing(4);
    addDeniedNote();
    addFilterToggle();

    const ScanViewModel& model = viewModel_;
    connect(&model, &ScanViewModel::scanStateChanged, this, &ScanStatusLine::refresh);
    connect(&model, &ScanViewModel::lastScanDurationChanged, this, &ScanStatusLine::refresh);
    connect(&model, &ScanViewModel::lastScanAccessDeniedPathsChanged, this, &ScanStatusLine::refresh);
    refresh();
}

QPalette ScanStatusLine::secondaryTextPalette() const {
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(secondary));
    return secondary;
}

void ScanStatusLine::addDeniedNote() {
    deniedNote_ = new QPushButton(this);
    deniedNote_->setFlat(true);
    deniedNote_->setAutoDefault(false);
    deniedNote_->setCursor(Qt::PointingHandCursor);
    deniedNote_->setText(localized("Access to some folders was denied"));
    deniedNote_->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    deniedNote_->setIconSize(QSize(11, 11));
    QFont caption = captionFont();
    caption.setUnderline(true);
    deniedNote_->setFont(caption);
    deniedNote_->setPalette(secondaryTextPalette());
    deniedNote_->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0px; text-align: left; }"));
    layout()->addWidget(deniedNote_);
    connect(deniedNote_, &QPushButton::clicked, this, &ScanStatusLine::accessDeniedFoldersAsked);
}

void ScanStatusLine::addFilterToggle() {
    filterToggle_ = new QToolButton(this);
    filterToggle_->setCheckable(true);
    filterToggle_->setAutoRaise(true);
    filterToggle_->setIcon(filterIcon(secondaryTextColor(palette()), 12));
    filterToggle_->setToolTip(localized("Filter"));
    layout()->addWidget(filterToggle_);
    filterToggle_->setChecked(panes_.showFilterPanel());
    connect(filterToggle_, &QToolButton::toggled, this, [this](bool on) { panes_.setShowFilterPanel(on); });
    connect(&panes_, &PaneToggles::showFilterPanelChanged, filterToggle_, &QToolButton::setChecked);
}

void ScanStatusLine::refresh() {
    const ScanViewModel& model = viewModel_;
    status_->setText(scanStatusText(model.scanState(), model.lastScanDuration()));
    deniedNote_->setVisible(accessDeniedNoteVisible(model.scanState(), model.lastScanAccessDeniedPaths().size()));
}

}  // namespace zelvane
