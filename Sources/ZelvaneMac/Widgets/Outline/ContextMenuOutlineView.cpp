#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace zelvane {

ContextMenuOutlineView::ContextMenuOutlineView(QWidget* parent) : QTreeView(parent) {
    setMouseTracking(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ContextMenuOutlineView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex at = indexAt(event->pos());
    if (!at.isValid()) return;
    QItemSelectionModel* sel = selectionModel();
    if (!sel) return;
    if (!sel->isRowSelected(at.row(), at.parent())) {
        const auto flags = (event->modifiers() & Qt::ControlModifier) ? QItemSelectionModel::Select
                                                                       : QItemSelectionModel::ClearAndSelect;
        sel->select(at, flags | QItemSelectionModel::Rows);
        sel->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
    }
    if (sel->hasSelection()) emit menuRequested(event->globalPos());
}

void ContextMenuOutlineView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && selectionModel() && selectionModel()->hasSelection()) {
        emit quickLookRequested();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Asterisk && isSignalConnected(QMetaMethod::fromSignal(&ContextMenuOutlineView::expandBelowRequested))) {
        if (currentIndex().isValid()) emit expandBelowRequested(currentIndex().siblingAtColumn(0));
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ContextMenuOutlineView::mousePressEvent(QMouseEvent* event) {
    // A right click outside the rows opens no menu and keeps the selection; the tree view would
    // clear it when the button comes up.
    rightPressBelowRows_ = event->button() == Qt::RightButton && !indexAt(event->position().toPoint()).isValid();
    if (rightPressBelowRows_) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void ContextMenuOutlineView::mouseReleaseEvent(QMouseEvent* event) {
    if (rightPressBelowRows_ && event->button() == Qt::RightButton) {
        rightPressBelowRows_ = false;
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void ContextMenuOutlineView::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
    emit rowHovered(indexAt(event->position().toPoint()));
}

bool ContextMenuOutlineView::viewportEvent(QEvent* event) {
    const bool handled = QTreeView::viewportEvent(event);
    // Leaving the rows' area (to the header, a scroll bar or out of the view) reports no row.
    if (event->type() == QEvent::Leave) emit rowHovered({});
    return handled;
}

bool ContextMenuOutlineView::beginRenaming(const QModelIndex& index, const QString& currentName,
                                           InlineRenameSession::Commit onCommit, InlineRenameSession::Ended onEditingEnded) {
    if (!index.isValid() || index.model() != model() || index.column() != 0) return false;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        if (!isExpanded(p)) return false;
    if (visualRect(index).isEmpty() && !isRowHidden(index.row(), index.parent())) scrollTo(index);
    scrollTo(index);
    if (visualRect(index).isEmpty()) return false;
    if (session_.isEditing()) endRenaming(false, session_.originalText());
    session_.begin(currentName, std::move(onCommit), std::move(onEditingEnded));
    renameIndex_ = index;
    auto* field = new QLineEdit(viewport());
    renameField_ = field;
    field->setText(currentName);
    field->setFrame(true);
    field->installEventFilter(this);
    placeRenameField();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return true;
}

void ContextMenuOutlineView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    constexpr qsizetype kRangesByRegion = 64;
    if (selected.size() + deselected.size() <= kRangesByRegion) {
        QTreeView::selectionChanged(selected, deselected);
        return;
    }
    if (isVisible() && updatesEnabled()) viewport()->update();
}

void ContextMenuOutlineView::expandRows(const std::vector<QModelIndex>& rows) {
    if (rows.empty()) return;
    // While a layout is pending the view only notes each row as open; the one layout below then
    // lays out every open row once.
    scheduleDelayedItemsLayout();
    for (const QModelIndex& i : rows) expand(i);
    executeDelayedItemsLayout();
}

void ContextMenuOutlineView::selectAll() {
    QAbstractItemModel* m = model();
    QItemSelectionModel* selection = selectionModel();
    if (!m || !selection || selectionMode() == SingleSelection || selectionMode() == NoSelection) return;
    QItemSelection all;
    const auto selectRowsOf = [&](const QModelIndex& parent) {
        const int rows = m->rowCount(parent);
        const int columns = m->columnCount(parent);
        if (rows > 0 && columns > 0)
            all.append(QItemSelectionRange(m->index(0, 0, parent), m->index(rows - 1, columns - 1, parent)));
    };
    if (openRowsSource_ && !rootIndex().isValid()) {
        selectRowsOf(QModelIndex());
        for (const QModelIndex& parent : openRowsSource_()) selectRowsOf(parent);
        if (!all.isEmpty()) replaceSelection(all);
        return;
    }
    std::vector<QModelIndex> open{rootIndex()};
    while (!open.empty()) {
        const QModelIndex parent = open.back();
        open.pop_back();
        selectRowsOf(parent);
        for (int r = m->rowCount(parent) - 1; r >= 0; --r)
            if (const QModelIndex child = m->index(r, 0, parent); isExpanded(child)) open.push_back(child);
    }
    if (!all.isEmpty()) replaceSelection(all);
}

void ContextMenuOutlineView::replaceSelection(const QItemSelection& rows) {
    QItemSelectionModel* sel = selectionModel();
    if (!sel) return;
    // A few milliseconds of comparisons at most.
    constexpr qsizetype kRangePairsCompared = 1 << 16;
    if (sel->selection().size() * rows.size() > kRangePairsCompared) {
        {
            const QSignalBlocker quiet(sel);
            sel->clearSelection();
        }
        if (isVisible() && updatesEnabled()) viewport()->update();
    }
    sel->select(rows, QItemSelectionModel::ClearAndSelect);
}

void ContextMenuOutlineView::placeRenameField() {
    if (!renameField_) return;
    QRect r = visualRect(renameIndex_);
    // The name's text starts after the 16-point icon and its gap.
    r.setLeft(r.left() + 22);
    r.setRight(std::max(r.left() + 80, r.right() - 2));
    renameField_->setGeometry(r);
}

void ContextMenuOutlineView::scrollContentsBy(int dx, int dy) {
    QTreeView::scrollContentsBy(dx, dy);
    if (renameField_) placeRenameField();
}

// Rows opened or closed above the edited one (Expand All) move it without a scroll.
void ContextMenuOutlineView::updateGeometries() {
    QTreeView::updateGeometries();
    if (renameField_) placeRenameField();
}

void ContextMenuOutlineView::endRenaming(bool commit, const QString& newText) {
    if (!session_.isEditing()) return;
    QPointer<QLineEdit> field = renameField_;
    renameField_ = nullptr;
    if (field) {
        field->removeEventFilter(this);
        field->hide();
        field->deleteLater();
    }
    setFocus(Qt::OtherFocusReason);
    const QPersistentModelIndex index = renameIndex_;
    session_.end(commit, newText, [this, index](const QString&) {
        // The model reads the node again: the new name after an accepted rename, else the old.
        if (index.isValid()) viewport()->update(visualRect(index));
    });
}

bool ContextMenuOutlineView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == renameField_ && renameField_) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                endRenaming(true, renameField_->text());
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                endRenaming(false, renameField_->text());
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            endRenaming(true, renameField_->text());
            return false;
        }
    }
    return QTreeView::eventFilter(watched, event);
}

}  // namespace zelvane
