#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListOutlineView.hpp"

namespace zelvane {

class FileListModel;
class Preferences;
class ResultTableDelegate;

struct FileListOptions {
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool enableDragDrop = true;
    bool enableDoubleClickOpen = true;
    bool operator==(const FileListOptions&) const = default;
};

// The file list's selected rows: those the view has been given, in the order shown (a file's
// member rows under it), then the top-level rows of the list from `unloadedFrom` on, which the
// view has not been given yet (a Select All or Shift+End reaching the end of a long list).
struct FileListSelection {
    std::vector<FileNode*> shown;
    SharedNodeList list;
    size_t unloadedFrom = 0;

    std::span<FileNode* const> unloaded() const {
        return list && unloadedFrom < list->size() ? std::span<FileNode* const>(*list).subspan(unloadedFrom)
                                                   : std::span<FileNode* const>();
    }
    // The rows; a node that is a member row among the shown ones and also a row not given yet
    // counts twice here, and once in `nodes()`.
    size_t size() const { return shown.size() + unloaded().size(); }
    bool empty() const { return size() == 0; }
    // Every selected node once, in the order above.
    std::vector<FileNode*> nodes() const;
    // The first `limit` of them: the work is bounded by `limit`, whatever the size of the selection.
    std::vector<FileNode*> firstNodes(size_t limit) const;
};

// The file list's table: the pipeline's rows with duplicate members under their files, cells
// painted by the shared result-table delegate, header clicks re-sorting through the pipeline.
class FileListView final : public QWidget {
    Q_OBJECT
public:
    FileListView(Preferences& preferences, std::optional<std::pair<FileListSortKey, bool>> initialSort, QWidget* parent = nullptr);
    ~FileListView() override;

    FileListPipeline& pipeline() { return *pipeline_; }
    FileListModel& model() { return *model_; }
    FileListOutlineView& outline() { return *outline_; }

    // Until set, the list has no file actions: no menu entries, no preview, renames refused.
    void setFileActions(FileActionHooks hooks) { fileActions_ = std::move(hooks); }
    // What keeps the trees of the listed nodes whole while an action lists them on the thread
    // pool (the window's roots); without it their trees are looked up once they are listed.
    void setTreesHolder(std::function<std::shared_ptr<const void>()> holder) { treesHolder_ = std::move(holder); }
    // Quick Look previews up to this many of the selected rows (it shows one at a time); a drag
    // carries up to this many (a file manager takes no more at once), and more are refused.
    static constexpr size_t kItemsPreviewed = 1'000;
    static constexpr size_t kItemsDragged = 10'000;
    void setOptions(const FileListOptions& options);
    void refreshNodes(const std::vector<FileNode*>& nodes);
    // Takes the rows of items that are gone (erased by an action or on disk) out of the selection:
    // they stay listed, drawn gone, but are neither highlighted nor acted on. The selection is
    // looked through on the thread pool; a change of it meanwhile drops the result. Rows of a
    // Select All that the view has not been given yet stay in it unless every selected row is gone.
    void dropGoneRows();
    // An in-place rename of the node's row; ends at once (`renameEditingEnded`) when it cannot start.
    void startRename(FileNode* target);
    std::vector<FileNode*> selectedNodes() const { return selection().nodes(); }
    FileListSelection selection() const;
    void activateRow(const QModelIndex& index);

signals:
    // After every change of the selected rows, and with none after the rows were replaced.
    void selectionChanged(const zelvane::FileListSelection& selection);
    // The node of the row under the pointer, none when the pointer is on no row.
    void hoveredNode(const zelvane::FileNode* node);
    void renameEditingEnded();
    // A double-click with double-click opening on: a file is to be opened, a folder shown in the
    // file manager.
    void openRequested(FileNode* file);
    void revealRequested(FileNode* folder);

private:
    void onHeaderClicked(int section);
    QMenu* makeContextMenu();
    // The selection as the file actions take it; counted and listed without holding the window.
    FileActionHooks::Selection actionSelection();
    QMimeData* dragData();

    FileActionHooks fileActions_;
    std::function<std::shared_ptr<const void>()> treesHolder_;
    FileListOptions options_;
    FileListPipeline* pipeline_ = nullptr;
    FileListModel* model_ = nullptr;
    FileListOutlineView* outline_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
    JobGeneration goneJobs_;
};

}  // namespace zelvane
