#pragma once

#include <QStringList>
#include <QWidget>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"

class QPushButton;
class QRadioButton;

namespace zelvane {

class ScanController;
class FilterHistoryMenu;
class FilterSyntaxTextField;

// What the filter panel shows from the preferences: the two texts being edited, the match mode
// and the two histories.
struct FilterPanelSettings {
    QString includeText;
    QString excludeText;
    bool matchEntirePath = false;
    QStringList includeHistory;
    QStringList excludeHistory;

    static FilterPanelSettings of(const Preferences& preferences);
    bool operator==(const FilterPanelSettings&) const = default;
};

// The include and exclude filters of the window, their match mode, Clear and Apply Filter. The
// texts are only edited here; Apply Filter (or Return in a field) makes them the applied filter.
class FilterPanel final : public QWidget {
    Q_OBJECT
public:
    FilterPanel(Preferences& preferences, ScanController& scanControl, QWidget* parent = nullptr);

    FilterSyntaxTextField& includeField() { return *include_; }
    FilterSyntaxTextField& excludeField() { return *exclude_; }
    FilterHistoryMenu& includeHistory() { return *includeHistory_; }
    FilterHistoryMenu& excludeHistory() { return *excludeHistory_; }
    QPushButton& clearButton() { return *clear_; }
    QPushButton& applyButton() { return *apply_; }

private:
    void sync();

    Preferences& preferences_;
    SettingsWatcher<FilterPanelSettings> shown_;
    ScanController& scanControl_;
    FilterSyntaxTextField* include_ = nullptr;
    FilterSyntaxTextField* exclude_ = nullptr;
    FilterHistoryMenu* includeHistory_ = nullptr;
    FilterHistoryMenu* excludeHistory_ = nullptr;
    QRadioButton* matchName_ = nullptr;
    QRadioButton* matchPath_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* apply_ = nullptr;
};

}  // namespace zelvane
