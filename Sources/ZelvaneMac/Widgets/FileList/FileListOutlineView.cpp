#include "ZelvaneMac/Widgets/FileList/FileListOutlineView.hpp"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>

#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListSelectionModel.hpp"

namespace zelvane {

FileListOutlineView::FileListOutlineView(FileListModel& model, std::function<QMimeData*()> dragData, QWidget* parent)
    : ContextMenuOutlineView(parent), model_(model), dragData_(std::move(dragData)) {
    setModel(&model);
    QItemSelectionModel* given = selectionModel();
    selection_ = new FileListSelectionModel(model, this);
    setSelectionModel(selection_);
    delete given;
}

void FileListOutlineView::selectAll() {
    if (selectionMode() != ExtendedSelection && selectionMode() != MultiSelection) return;
    selection_->changeTogether([this] {
        ContextMenuOutlineView::selectAll();
        selection_->selectToListEnd(model()->rowCount());
    });
}

void FileListOutlineView::doItemsLayout() {
    model_.holdFetches(true);
    ContextMenuOutlineView::doItemsLayout();
    model_.holdFetches(false);
}

void FileListOutlineView::keyPressEvent(QKeyEvent* event) {
    // Shift+End extends to the last row of the list, given to the view or not. The view moves to
    // the last row it has and selects up to it (and may be given the next slice meanwhile); the
    // rows from there on are the selection model's run to the end.
    const bool extendToEnd = event->key() == Qt::Key_End && (event->modifiers() & Qt::ShiftModifier) &&
                             selectionMode() == ExtendedSelection;
    if (!extendToEnd) {
        ContextMenuOutlineView::keyPressEvent(event);
        return;
    }
    const int given = model()->rowCount();
    selection_->changeTogether([&] {
        ContextMenuOutlineView::keyPressEvent(event);
        const QModelIndex current = currentIndex();
        if (given > 0 && current.isValid() && selection_->isSelected(current)) selection_->selectToListEnd(given);
    });
}

void FileListOutlineView::startDrag(Qt::DropActions supportedActions) {
    if (!selection_->runToListEnd() || !dragData_) {
        ContextMenuOutlineView::startDrag(supportedActions);
        return;
    }
    QMimeData* dragged = dragData_();
    if (!dragged) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(dragged);
    drag->exec(supportedActions, defaultDropAction());
}

}  // namespace zelvane
