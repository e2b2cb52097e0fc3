#pragma once

#include <QPersistentModelIndex>

#include <functional>
#include <set>

#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"

class QMimeData;

namespace zelvane {

class FileListModel;
class FileListSelectionModel;

// The file list's rows. Select All and Shift+End reach the end of the list, past the rows the
// view has been given so far, and a drag of such a selection carries every selected row.
class FileListOutlineView final : public ContextMenuOutlineView {
    Q_OBJECT
public:
    // `dragData` makes what a drag of the whole selection carries.
    FileListOutlineView(FileListModel& model, std::function<QMimeData*()> dragData, QWidget* parent = nullptr);

    FileListSelectionModel& rowSelection() const { return *selection_; }
    void selectAll() override;
    // Lays out the rows given so far without asking for the next slice: the view asks for it
    // once the end of the rows comes in sight, and every slice more costs each later layout.
    void doItemsLayout() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event = nullptr) const override;

private:
    void extendToListEnd();
    // The rows shown from `from` down to the top-level row `lastTop`, as whole rows: one range of
    // top-level rows and one for the member rows of each file open among them.
    QItemSelection rowsDownFrom(const QModelIndex& from, int lastTop) const;

    FileListModel& model_;
    FileListSelectionModel* selection_ = nullptr;
    std::function<QMimeData*()> dragData_;
    // Where a Shift extension starts: the row the last change that was not one went to, as the
    // base view keeps it for itself.
    mutable QPersistentModelIndex anchor_;
    // The top-level rows whose member rows are shown.
    std::set<int> openRows_;
};

}  // namespace zelvane
