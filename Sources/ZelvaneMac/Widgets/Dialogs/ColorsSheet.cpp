#include "ZelvaneMac/Widgets/Dialogs/ColorsSheet.hpp"

#include <QButtonGroup>
#include <QColorDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"

namespace zelvane {

namespace {

QIcon swatch(const QColor& color) {
    QPixmap pixmap(32, 14);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(color);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 13), 2, 2);
    return QIcon(pixmap);
}

}  // namespace

ColorsSheet::ColorsSheet(ColorSettingsDraft draft, QWidget* parent) : QDialog(parent), draft_(std::move(draft)) {
    setWindowTitle(localized("Colors"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(420);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    column->addWidget(buildTitle());
    column->addLayout(buildColorByRow());
    column->addWidget(sheetDivider(this));
    column->addLayout(buildSlotRows());
    column->addLayout(buildPresetRow());
    column->addWidget(sheetDivider(this));
    column->addLayout(buildButtonRow());

    (draft_.colorBySize ? size_ : extension_)->setChecked(true);
    refreshFromDraft();
}

QWidget* ColorsSheet::buildTitle() {
    auto* title = new QLabel(localized("Colors"), this);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    title->setFont(headline);
    return title;
}

QLayout* ColorsSheet::buildColorByRow() {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(localized("Color By:"), this));
    size_ = new QRadioButton(localized("Size"), this);
    extension_ = new QRadioButton(localized("Extension"), this);
    auto* group = new QButtonGroup(this);
    group->addButton(size_);
    group->addButton(extension_);
    row->addWidget(size_);
    row->addWidget(extension_);
    row->addStretch(1);
    connect(size_, &QRadioButton::toggled, this, [this](bool on) {
        draft_.colorBySize = on;
        refreshEnabled();
    });
    return row;
}

QLayout* ColorsSheet::buildSlotRows() {
    // Spaced as the sheet's own column, which it continues.
    auto* table = new QVBoxLayout;
    table->setContentsMargins(0, 0, 0, 0);
    table->setSpacing(12);
    auto* header = new QHBoxLayout;
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    auto* colorHeader = new QLabel(localized("Color"), this);
    colorHeader->setFont(caption);
    colorHeader->setMinimumWidth(44);
    extensionsHeader_ = new QLabel(localized("File Extension(s)"), this);
    extensionsHeader_->setFont(caption);
    header->addWidget(colorHeader);
    header->addWidget(extensionsHeader_, 1);
    table->addLayout(header);

    auto* rows = new QVBoxLayout;
    rows->setSpacing(8);
    rows->setContentsMargins(2, 0, 0, 0);
    for (int i = 0; i < ColorSettingsDraft::kSlots; ++i) rows->addLayout(buildSlotRow(i));
    table->addLayout(rows);
    return table;
}

QLayout* ColorsSheet::buildSlotRow(int slot) {
    auto* row = new QHBoxLayout;
    auto* well = new QPushButton(this);
    well->setFixedWidth(44);
    well->setAutoDefault(false);
    well->setAccessibleName(localized("Color"));
    connect(well, &QPushButton::clicked, this, [this, slot] {
        const QColor chosen = QColorDialog::getColor(draft_.colors[size_t(slot)], this, localized("Color"));
        if (chosen.isValid()) setColor(slot, chosen);
    });
    auto* field = new QLineEdit(this);
    connect(field, &QLineEdit::textEdited, this, [this, slot](const QString& text) {
        if (slot < draft_.extensionLists.size()) draft_.extensionLists[slot] = text;
    });
    row->addWidget(well);
    row->addWidget(field, 1);
    wells_.push_back(well);
    fields_.push_back(field);
    return row;
}

QLayout* ColorsSheet::buildPresetRow() {
    auto* row = new QHBoxLayout;
    defaultColors_ = new QPushButton(localized("Default Colors"), this);
    colorBlind_ = new QPushButton(localized("Color Blind"), this);
    defaultExtensions_ = new QPushButton(localized("Default Extensions"), this);
    row->addWidget(defaultColors_);
    row->addWidget(colorBlind_);
    row->addStretch(1);
    row->addWidget(defaultExtensions_);
    const auto preset = [this](QPushButton* button, void (ColorSettingsDraft::*apply)()) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, apply] {
            (draft_.*apply)();
            refreshFromDraft();
        });
    };
    preset(defaultColors_, &ColorSettingsDraft::useDefaultColors);
    preset(colorBlind_, &ColorSettingsDraft::useColorBlindColors);
    preset(defaultExtensions_, &ColorSettingsDraft::useDefaultExtensions);
    return row;
}

QLayout* ColorsSheet::buildButtonRow() {
    auto* row = new QHBoxLayout;
    cancel_ = new QPushButton(localized("Cancel"), this);
    ok_ = new QPushButton(localized("OK"), this);
    cancel_->setAutoDefault(false);
    ok_->setDefault(true);
    row->addStretch(1);
    row->addWidget(cancel_);
    row->addWidget(ok_);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    return row;
}

void ColorsSheet::setColor(int slot, const QColor& color) {
    if (slot < 0 || slot >= int(draft_.colors.size())) return;
    draft_.colors[size_t(slot)] = color;
    refreshWell(slot);
}

void ColorsSheet::refreshWell(int slot) {
    wells_[size_t(slot)]->setIcon(swatch(draft_.colors[size_t(slot)]));
    wells_[size_t(slot)]->setIconSize(QSize(32, 14));
}

void ColorsSheet::refreshFromDraft() {
    for (int i = 0; i < ColorSettingsDraft::kSlots; ++i) {
        refreshWell(i);
        fields_[size_t(i)]->setText(i < draft_.extensionLists.size() ? draft_.extensionLists[i] : QString());
        fields_[size_t(i)]->setCursorPosition(0);  // long lists show their beginning
    }
    refreshEnabled();
}

void ColorsSheet::refreshEnabled() {
    const bool lists = !draft_.colorBySize;
    for (QLineEdit* field : fields_) field->setEnabled(lists);
    defaultExtensions_->setEnabled(lists);
    extensionsHeader_->setForegroundRole(lists ? QPalette::WindowText : QPalette::PlaceholderText);
    extensionsHeader_->setEnabled(lists);
}

void ColorsSheet::done(int result) {
    // Reached once per sheet, whichever way it closes.
    if (!finished_) {
        finished_ = true;
        if (result == QDialog::Accepted) emit chosen(draft_.choice());
    }
    QDialog::done(result);
}

ColorsSheet* ColorsSheet::present(QWidget* window, Preferences& preferences, std::function<void()> stored) {
    auto* sheet = new ColorsSheet(ColorSettingsDraft::fromPreferences(preferences), window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    Preferences* prefs = &preferences;
    connect(sheet, &ColorsSheet::chosen, sheet, [prefs, stored = std::move(stored)](const ColorSettingsChoice& choice) {
        storeColorSettings(*prefs, choice);
        if (stored) stored();
    });
    sheet->open();
    return sheet;
}

}  // namespace zelvane
