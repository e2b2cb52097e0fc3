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

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);
    setMinimumWidth(420);

    auto* title = new QLabel(localized("Colors"), this);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.1);
    title->setFont(headline);
    column->addWidget(title);

    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(new QLabel(localized("Color By:"), this));
    size_ = new QRadioButton(localized("Size"), this);
    extension_ = new QRadioButton(localized("Extension"), this);
    auto* group = new QButtonGroup(this);
    group->addButton(size_);
    group->addButton(extension_);
    pickerRow->addWidget(size_);
    pickerRow->addWidget(extension_);
    pickerRow->addStretch(1);
    column->addLayout(pickerRow);
    connect(size_, &QRadioButton::toggled, this, [this](bool on) {
        draft_.colorBySize = on;
        refreshEnabled();
    });

    column->addWidget(sheetDivider(this));

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
    column->addLayout(header);

    auto* rows = new QVBoxLayout;
    rows->setSpacing(8);
    rows->setContentsMargins(2, 0, 0, 0);
    for (int i = 0; i < ColorSettingsDraft::kSlots; ++i) {
        auto* row = new QHBoxLayout;
        auto* well = new QPushButton(this);
        well->setFixedWidth(44);
        well->setAutoDefault(false);
        well->setAccessibleName(localized("Color"));
        connect(well, &QPushButton::clicked, this, [this, i] {
            const QColor chosen = QColorDialog::getColor(draft_.colors[size_t(i)], this, localized("Color"));
            if (chosen.isValid()) setColor(i, chosen);
        });
        auto* field = new QLineEdit(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (i < draft_.extensionLists.size()) draft_.extensionLists[i] = text;
        });
        row->addWidget(well);
        row->addWidget(field, 1);
        rows->addLayout(row);
        wells_.push_back(well);
        fields_.push_back(field);
    }
    column->addLayout(rows);

    auto* presets = new QHBoxLayout;
    defaultColors_ = new QPushButton(localized("Default Colors"), this);
    colorBlind_ = new QPushButton(localized("Color Blind"), this);
    defaultExtensions_ = new QPushButton(localized("Default Extensions"), this);
    for (QPushButton* b : {defaultColors_, colorBlind_, defaultExtensions_}) b->setAutoDefault(false);
    presets->addWidget(defaultColors_);
    presets->addWidget(colorBlind_);
    presets->addStretch(1);
    presets->addWidget(defaultExtensions_);
    column->addLayout(presets);
    connect(defaultColors_, &QPushButton::clicked, this, [this] {
        draft_.useDefaultColors();
        refreshFromDraft();
    });
    connect(colorBlind_, &QPushButton::clicked, this, [this] {
        draft_.useColorBlindColors();
        refreshFromDraft();
    });
    connect(defaultExtensions_, &QPushButton::clicked, this, [this] {
        draft_.useDefaultExtensions();
        refreshFromDraft();
    });

    column->addWidget(sheetDivider(this));

    auto* buttons = new QHBoxLayout;
    cancel_ = new QPushButton(localized("Cancel"), this);
    ok_ = new QPushButton(localized("OK"), this);
    cancel_->setAutoDefault(false);
    ok_->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(ok_);
    column->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    (draft_.colorBySize ? size_ : extension_)->setChecked(true);
    refreshFromDraft();
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
        if (result == QDialog::Accepted) {
            if (onOK) onOK(draft_.choice());
        } else if (onCancel) {
            onCancel();
        }
    }
    QDialog::done(result);
}

ColorsSheet* ColorsSheet::present(QWidget* window, Preferences& preferences, std::function<void()> stored) {
    auto* sheet = new ColorsSheet(ColorSettingsDraft::fromPreferences(preferences), window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    Preferences* prefs = &preferences;
    sheet->onOK = [prefs, stored = std::move(stored)](const ColorSettingsChoice& choice) {
        storeColorSettings(*prefs, choice);
        if (stored) stored();
    };
    sheet->open();
    return sheet;
}

}  // namespace zelvane
