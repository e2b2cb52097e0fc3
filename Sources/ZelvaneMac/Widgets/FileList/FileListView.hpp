#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"

namespace zelvane {

class ContextMenuOutlineView;
class FileListModel;
class Preferences;
class ResultTableDelegate;

struct FileListCallbacks {
    std::function<void(const std::vector<FileNode*>&)> onSelectionChanged;
    std::function<void(const std::optional<QString>&)> onHover;
    std::function<void()> onRenameEditingEnded;
    std::function<void(const FileNode&)> open;    // a file: open it
    std::function<void(const FileNode&)> reveal;  // a folder: show it in the file manager
    FileActionHooks fileActions;
};

struct FileListOptions {
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool enableDragDrop = true;
    bool enableDoubleClickOpen = true;
    bool operator==(const FileListOptions&) const = default;
};

// The file list's table: the pipeline's rows with duplicate members under their files, cells
// painted by the shared result-table delegate, header clicks re-sorting through the pipeline.
class FileListView final : public QWidget {
    Q_OBJECT
public:
    FileListView(FileListCallbacks callbacks, Preferences& preferences,
                 std::optional<std::pair<QString, bool>> initialSort, QWidget* parent = nullptr);
    ~FileListView() override;

    FileListPipeline& pipeline() { return *pipeline_; }
    FileListModel& model() { return *model_; }
    ContextMenuOutlineView& outline() { return *outline_; }

    void setOptions(const FileListOptions& options);
    void refreshNodes(const std::vector<FileNode*>& nodes);
    // An in-place rename of the node's row; ends at once (through the callback) when it cannot start.
    void startRename(FileNode* target);
    std::vector<FileNode*> selectedNodes() const;
    void activateRow(const QModelIndex& index);

private:
    void onHeaderClicked(int section);
    QMenu* makeContextMenu();

    FileListCallbacks callbacks_;
    FileListOptions options_;
    FileListPipeline* pipeline_ = nullptr;
    FileListModel* model_ = nullptr;
    ContextMenuOutlineView* outline_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
};

}  // namespace zelvane
