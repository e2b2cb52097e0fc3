#pragma once

#include <functional>

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

private:
    FileListModel& model_;
    FileListSelectionModel* selection_ = nullptr;
    std::function<QMimeData*()> dragData_;
};

}  // namespace zelvane
