#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

// One field with its history: the text, a short divider and the pull-down, framed as one control.
QWidget* comboField(QWidget* parent, FilterSyntaxTextField*& field, FilterHistoryMenu*& menu) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("filterComboField"));
    QColor rim = secondaryTextColor(frame->palette());
    rim.setAlphaF(0.35);
    frame->setStyleSheet(QStringLiteral("#filterComboField { background: palette(base); border: 1px solid %1; border-radius: 4px; }")
                             .arg(rim.name(QColor::HexArgb)));
    frame->setMinimumWidth(200);
    frame->setFixedHeight(22);
    frame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(6, 0, 2, 0);
    row->setSpacing(0);
    field = new FilterSyntaxTextField(frame);
    row->addWidget(field, 1);
    auto* divider = new QFrame(frame);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(14);
    row->addWidget(divider);
    menu = new FilterHistoryMenu(frame);
    row->addWidget(menu);
    return frame;
}

}  // namespace

FilterPanel::FilterPanel(Preferences& preferences, ScanController& scanControl, QWidget* parent)
    : QWidget(parent), preferences_(preferences), shown_(preferences), scanControl_(scanControl) {
    Preferences& prefs = preferences_;
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(5);

    auto* includeLabel = new QLabel(localized("Include Filter:"), this);
    auto* excludeLabel = new QLabel(localized("Exclude Filter:"), this);
    grid->addWidget(includeLabel, 0, 0);
    grid->addWidget(excludeLabel, 1, 0);
    grid->addWidget(comboField(this, include_, includeHistory_), 0, 1);
    grid->addWidget(comboField(this, exclude_, excludeHistory_), 1, 1);
    matchName_ = new QRadioButton(localized("Match file name only"), this);
    matchPath_ = new QRadioButton(localized("Match entire path"), this);
    matchName_->setAutoExclusive(false);
    matchPath_->setAutoExclusive(false);
    grid->addWidget(matchName_, 0, 2);
    grid->addWidget(matchPath_, 1, 2);
    clear_ = new QPushButton(localized("Clear"), this);
    apply_ = new QPushButton(localized("Apply Filter"), this);
    apply_->setDefault(true);
    grid->addWidget(clear_, 0, 3);
    grid->addWidget(apply_, 1, 3);
    grid->setColumnStretch(1, 1);
    // The columns share the wider title of each pair, with floors, so the rows line up in any language.
    grid->setColumnMinimumWidth(0, std::max({includeLabel->sizeHint().width(), excludeLabel->sizeHint().width(), 88}));
    grid->setColumnMinimumWidth(2, std::max({matchName_->sizeHint().width(), matchPath_->sizeHint().width(), 170}));
    const int buttonWidth = std::max({clear_->sizeHint().width(), apply_->sizeHint().width(), 90});
    clear_->setFixedWidth(buttonWidth);
    apply_->setFixedWidth(buttonWidth);

    const auto applyFilters = [this] { scanControl_.applyFilters(); };
    struct Field {
        FilterSyntaxTextField* field;
        FilterHistoryMenu* menu;
        const StringKey& text;
        const StringKey& history;
    };
    for (const Field& f : {Field{include_, includeHistory_, PreferenceKeys::includeFilterText, PreferenceKeys::includeFilterHistoryJSON},
                           Field{exclude_, excludeHistory_, PreferenceKeys::excludeFilterText, PreferenceKeys::excludeFilterHistoryJSON}}) {
        const StringKey* textKey = &f.text;
        const StringKey* historyKey = &f.history;
        const auto record = [&prefs, historyKey](const QString& t) { recordFilterHistory(prefs, *historyKey, t); };
        connect(f.field, &FilterSyntaxTextField::submitted, this, applyFilters);
        connect(f.field, &FilterSyntaxTextField::editingEnded, this, record);
        connect(f.field, &FilterSyntaxTextField::textEdited, this, [&prefs, textKey](const QString& t) { prefs.set(*textKey, t); });
        connect(f.menu, &FilterHistoryMenu::entryPicked, this, [&prefs, textKey, record](const QString& entry) {
            prefs.set(*textKey, entry);
            record(entry);
        });
        connect(f.menu, &FilterHistoryMenu::clearPicked, this, [&prefs, historyKey] { prefs.set(*historyKey, QStringLiteral("[]")); });
    }
    connect(matchName_, &QRadioButton::clicked, this, [this, &prefs] {
        prefs.set(PreferenceKeys::filterMatchEntirePath, false);
        sync();
    });
    connect(matchPath_, &QRadioButton::clicked, this, [this, &prefs] {
        prefs.set(PreferenceKeys::filterMatchEntirePath, true);
        sync();
    });
    connect(clear_, &QPushButton::clicked, this, [&prefs] {
        prefs.set(PreferenceKeys::includeFilterText, QString());
        prefs.set(PreferenceKeys::excludeFilterText, QString());
    });
    connect(apply_, &QPushButton::clicked, this, applyFilters);
    connect(&shown_, &SettingsWatch::changed, this, &FilterPanel::sync);
    sync();
}

FilterPanelSettings FilterPanelSettings::of(const Preferences& p) {
    return {p.value(PreferenceKeys::includeFilterText), p.value(PreferenceKeys::excludeFilterText),
            p.value(PreferenceKeys::filterMatchEntirePath),
            FilterFieldHistory::decode(p.value(PreferenceKeys::includeFilterHistoryJSON)),
            FilterFieldHistory::decode(p.value(PreferenceKeys::excludeFilterHistoryJSON))};
}

void FilterPanel::sync() {
    const FilterPanelSettings& shown = shown_.current();
    include_->setText(shown.includeText);
    exclude_->setText(shown.excludeText);
    matchPath_->setChecked(shown.matchEntirePath);
    matchName_->setChecked(!shown.matchEntirePath);
    includeHistory_->setHistory(shown.includeHistory);
    excludeHistory_->setHistory(shown.excludeHistory);
}

}  // namespace zelvane
