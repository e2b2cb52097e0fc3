#include "ZelvaneMac/Widgets/MainWindow/TopBar/SelectionsBox.hpp"

#include <QGridLayout>
#include <QLabel>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"

namespace zelvane {

SelectionsBoxSettings SelectionsBoxSettings::of(const Preferences& preferences) {
    return {SizeTextFormat::of(preferences), preferences.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON)};
}

SelectionsBox::SelectionsBox(Preferences& preferences, ScanViewModel& viewModel, const VolumeChoice& volumeChoice, QWidget* parent)
    : QWidget(parent),
      settings_(preferences),
      viewModel_(viewModel),
      volumeChoice_(volumeChoice) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(2);
    QFont bold = calloutFont();
    bold.setBold(true);
    QFont digits = calloutFont();
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));

    selectionLabel_ = new QLabel(localized("Selection:"), this);
    selectionLabel_->setFont(bold);
    selectionLabel_->setMinimumWidth(kLabelColumnWidth);
    grid->addWidget(selectionLabel_, 0, 0);
    selectionValue_ = new QLabel(this);
    selectionValue_->setFont(bold);
    selectionValue_->setTextFormat(Qt::PlainText);
    grid->addWidget(selectionValue_, 0, 1, 1, 2);

    const char* labels[3] = {textKey("Total Space:"), textKey("Space Used:"), textKey("Space Free:")};
    for (int r = 0; r < 3; ++r) {
        stat_[r][0] = new QLabel(localized(labels[r]), this);
        stat_[r][0]->setFont(calloutFont());
        stat_[r][0]->setPalette(secondary);
        stat_[r][0]->setMinimumWidth(kLabelColumnWidth);
        stat_[r][1] = new QLabel(this);
        stat_[r][1]->setFont(digits);
        stat_[r][1]->setFixedWidth(kValueColumnWidth);
        stat_[r][1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        stat_[r][2] = new QLabel(this);
        stat_[r][2]->setFont(digits);
        stat_[r][2]->setPalette(secondary);
        for (int c = 0; c < 3; ++c) grid->addWidget(stat_[r][c], r + 1, c);
    }
    grid->setColumnStretch(3, 1);

    ScanViewModel& model = viewModel_;
    connect(&model, &ScanViewModel::rootLabelChanged, this, &SelectionsBox::refresh);
    connect(&model, &ScanViewModel::totalCapacityChanged, this, &SelectionsBox::refresh);
    connect(&model, &ScanViewModel::availableCapacityChanged, this, &SelectionsBox::refresh);
    connect(&volumeChoice_, &VolumeChoice::selectedVolumeIDChanged, this, &SelectionsBox::refresh);
    connect(&settings_, &SettingsWatch::changed, this, &SelectionsBox::refresh);
    refresh();
}

void SelectionsBox::refresh() {
    const ScanViewModel& model = viewModel_;
    const SelectionsBoxSettings& settings = settings_.current();
    const QString marker = selectionKindMarker(volumeChoice_.selectedVolumeID(), settings.customFolders);
    const QString label = shownName(model.rootLabel(), layoutDirection());
    const int valueWidth = kValueColumnWidth;
    if (marker.isEmpty()) {
        // The label alone, right-aligned in the value column and cut in the middle when long.
        selectionValue_->setText(selectionValue_->fontMetrics().elidedText(label, Qt::ElideMiddle, valueWidth));
        selectionValue_->setFixedWidth(valueWidth);
        selectionValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else {
        // The separator stands outside the path's own direction: inside it, a right-to-left window
        // would put the spaces at the path's far end and the path against the marker.
        const QString separator = localized("  ");
        const QFontMetrics metrics = selectionValue_->fontMetrics();
        const QString shown = metrics.elidedText(label, Qt::ElideMiddle, 360 - metrics.horizontalAdvance(separator));
        selectionValue_->setText(marker + separator + shown);
        selectionValue_->setMinimumWidth(valueWidth);
        selectionValue_->setMaximumWidth(QWIDGETSIZE_MAX);
        selectionValue_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    selectionValue_->setToolTip(plainToolTip(label));

    const auto total = model.totalCapacity();
    const auto available = model.availableCapacity();
    const bool known = total && available;
    for (auto& row : stat_)
        for (QLabel* cell : row) cell->setVisible(known);
    if (!known) return;
    const SizeTextFormat& size = settings.sizes;
    const int64_t used = *total - *available;
    stat_[0][1]->setText(size(*total));
    stat_[0][2]->clear();
    stat_[1][1]->setText(size(used));
    stat_[1][2]->setText(fillPlaceholders(localized("  (%@)"), {percentText(used, *total)}));
    stat_[2][1]->setText(size(*available));
    stat_[2][2]->setText(fillPlaceholders(localized("  (%@)"), {percentText(*available, *total)}));
}

QStringList SelectionsBox::lines() const {
    QStringList out{selectionLabel_->text() + QLatin1Char(' ') + selectionValue_->text()};
    for (const auto& row : stat_) {
        if (row[0]->isHidden()) continue;
        out << row[0]->text() + QLatin1Char(' ') + row[1]->text() + row[2]->text();
    }
    return out;
}

}  // namespace zelvane
