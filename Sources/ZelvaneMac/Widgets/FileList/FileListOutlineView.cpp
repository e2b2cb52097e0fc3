#include "ZelvaneMac/Widgets/FileList/FileListOutlineView.hpp"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>

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
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& row) {
        if (!row.parent().isValid()) openRows_.insert(row.row());
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& row) {
        if (!row.parent().isValid()) openRows_.erase(row.row());
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { openRows_.clear(); });
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
    const bool toEnd = event->key() == Qt::Key_End && (event->modifiers() & Qt::ShiftModifier) &&
                       selectionMode() == ExtendedSelection;
    if (!toEnd || !model()->rowCount() || !(anchor_.isValid() || currentIndex().isValid())) {
        ContextMenuOutlineView::keyPressEvent(event);
        return;
    }
    extendToListEnd();
    event->accept();
}

void FileListOutlineView::extendToListEnd() {
    // Shift+End reaches the last row of the list, given to the view or not. The cursor goes to
    // the last row the view has (which may bring it the next slice), the rows from the anchor to
    // there are selected as ranges, and the rest is the selection model's run to the end. The
    // view's own Shift+End would find both ends among every row it has laid out and select them
    // row by row.
    const QModelIndex from = anchor_.isValid() ? QModelIndex(anchor_) : currentIndex();
    anchor_ = from;
    const int given = model()->rowCount();
    // The cursor keeps its column, as it does going to the end without Shift.
    const int column = std::max(0, currentIndex().column());
    QModelIndex last = model()->index(given - 1, column);
    if (const QModelIndex file = last.siblingAtColumn(0); isExpanded(file))
        if (const int members = model()->rowCount(file); members > 0) last = model()->index(members - 1, column, file);
    const QItemSelection rows = rowsDownFrom(from, given - 1);
    selection_->changeTogether([&] {
        selection_->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
        selection_->select(rows, QItemSelectionModel::SelectCurrent);
        selection_->selectToListEnd(given);
    });
}

QItemSelection FileListOutlineView::rowsDownFrom(const QModelIndex& from, int lastTop) const {
    QAbstractItemModel& m = *model();
    const int right = FileListModel::kColumnCount - 1;
    QItemSelection out;
    int firstTop = from.row();
    if (const QModelIndex file = from.parent(); file.isValid()) {
        out.append(QItemSelectionRange(from.siblingAtColumn(0), m.index(m.rowCount(file) - 1, right, file)));
        firstTop = file.row() + 1;
    }
    if (firstTop > lastTop) return out;
    out.append(QItemSelectionRange(m.index(firstTop, 0), m.index(lastTop, right)));
    for (auto open = openRows_.lower_bound(firstTop); open != openRows_.end() && *open <= lastTop; ++open) {
        const QModelIndex file = m.index(*open, 0);
        if (const int members = m.rowCount(file); members > 0 && isExpanded(file))
            out.append(QItemSelectionRange(m.index(0, 0, file), m.index(members - 1, right, file)));
    }
    return out;
}

QItemSelectionModel::SelectionFlags FileListOutlineView::selectionCommand(const QModelIndex& index, const QEvent* event) const {
    const QItemSelectionModel::SelectionFlags command = ContextMenuOutlineView::selectionCommand(index, event);
    // As the base view does for its own anchor: a change that is not a Shift extension moves it.
    if (!(command & QItemSelectionModel::Current)) anchor_ = index;
    return command;
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
