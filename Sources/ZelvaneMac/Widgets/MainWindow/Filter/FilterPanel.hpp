#pragma once

#include <QWidget>

class QPushButton;
class QRadioButton;

namespace zelvane {

class Preferences;
class ScanController;
class FilterHistoryMenu;
class FilterSyntaxTextField;

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
