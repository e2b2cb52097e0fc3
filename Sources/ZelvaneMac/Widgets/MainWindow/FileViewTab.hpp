#pragma once

#include <QWidget>

#include <memory>

class QStackedWidget;

namespace zelvane {

class ContentViewState;
class EmptyStateView;
class FileActionController;
class FileActionMenu;
class FileListView;
class FileNode;
class FileSearchBar;
class FileViewTabModel;
class FilterHistoryMenu;
class FilterSyntaxTextField;
struct FileListInputs;

// The File View tab: the search bar above the file list, or the empty state when no root has
// anything to list.
class FileViewTab final : public QWidget {
    Q_OBJECT
public:
    FileViewTab(ContentViewState& state, QWidget* parent = nullptr);
    ~FileViewTab() override;

    FileListView& fileList() { return *list_; }
    FilterSyntaxTextField& searchField();
    FilterHistoryMenu& historyMenu();
    bool showsEmptyState() const;
    FileListInputs currentInputs() const;

private:
    QWidget* buildContent();
    void connectList();
    void followState();
    void actOn(FileNode* node, void (FileActionController::*action)());
    void endRename();
    void updateList();

    ContentViewState& state_;
    std::unique_ptr<FileViewTabModel> model_;
    FileSearchBar* searchBar_ = nullptr;
    QStackedWidget* content_ = nullptr;
    EmptyStateView* empty_ = nullptr;
    FileListView* list_ = nullptr;
    std::unique_ptr<FileActionMenu> fileActions_;
};

}  // namespace zelvane
