#pragma once

#include <QWidget>

#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QRadioButton;
class QStackedWidget;
class QToolButton;

namespace zelvane {

class ContentViewState;
class EmptyStateView;
class FileActionMenu;
class FileListView;
class FilterHistoryMenu;
class FilterSyntaxTextField;
struct FileListInputs;

// The File View tab: the search bar (match mode, folders, row cap, duplicate method, the search
// field with its history) above the file list, or the empty state when no root has anything to list.
class FileViewTab final : public QWidget {
    Q_OBJECT
public:
    FileViewTab(ContentViewState& state, QWidget* parent = nullptr);
    ~FileViewTab() override;

    FileListView& fileList() { return *list_; }
    FilterSyntaxTextField& searchField() { return *search_; }
    FilterHistoryMenu& historyMenu() { return *history_; }
    bool showsEmptyState() const;
    FileListInputs currentInputs() const;
    void recordSearch(const QString& text);

private:
    void buildSearchBar(QWidget* bar);
    void syncControls();
    void updateList();

    ContentViewState& state_;
    QStackedWidget* content_ = nullptr;
    EmptyStateView* empty_ = nullptr;
    FileListView* list_ = nullptr;
    std::unique_ptr<FileActionMenu> fileActions_;
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
