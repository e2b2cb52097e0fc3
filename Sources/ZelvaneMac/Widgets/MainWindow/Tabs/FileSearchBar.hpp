#pragma once

#include <QWidget>

#include "ZelvaneMac/Window/FileViewTabModel.hpp"

class QCheckBox;
class QComboBox;
class QLayout;
class QRadioButton;
class QToolButton;

namespace zelvane {

class FileViewResults;
class FilterHistoryMenu;
class FilterSyntaxTextField;
class Preferences;

// The File View's search bar: match mode, folders, row cap and duplicate method above the search
// field with its history. The options are stored preferences and show what is stored; the text is
// the File View's search text.
class FileSearchBar final : public QWidget {
    Q_OBJECT
public:
    FileSearchBar(Preferences& preferences, FileViewResults& results, QWidget* parent = nullptr);

    FilterSyntaxTextField& searchField() { return *search_; }
    FilterHistoryMenu& historyMenu() { return *history_; }
    void recordSearch(const QString& text);

private:
    QLayout* buildOptionsRow();
    QWidget* buildLocatingNote();
    QWidget* buildSearchRow();
    void connectOptions();
    void connectSearch();
    void showStoredOptions();
    void showSearchText();

    Preferences& preferences_;
    SettingsWatcher<FileSearchBarSettings> stored_;
    FileViewResults& results_;
    QRadioButton* matchName_ = nullptr;
    QRadioButton* matchPath_ = nullptr;
    QCheckBox* folders_ = nullptr;
    QComboBox* maxFiles_ = nullptr;
    QComboBox* dupMethod_ = nullptr;
    QCheckBox* dupsOnly_ = nullptr;
    QWidget* locating_ = nullptr;
    FilterSyntaxTextField* search_ = nullptr;
    QToolButton* clearSearch_ = nullptr;
    FilterHistoryMenu* history_ = nullptr;
};

}  // namespace zelvane
