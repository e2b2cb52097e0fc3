#include "ZelvaneMac/Widgets/FileList/FileListSelectionModel.hpp"

#include <QScopedValueRollback>

#include <algorithm>
#include <utility>

#include "ZelvaneMac/Models/FileListModel.hpp"

namespace zelvane {

FileListSelectionModel::FileListSelectionModel(FileListModel& model, QObject* parent)
    : QItemSelectionModel(nullptr, parent), model_(model) {
    connect(this, &QItemSelectionModel::selectionChanged, this, [this] {
        changed_ = true;
        if (inside_) return;
        // The view's clearSelection, which the base does not let a subclass see.
        if (!hasSelection()) {
            dropRun();
            current_.clear();
        }
        announce();
    });
    // The base makes its current selection final whenever rows are inserted, so that a Shift
    // extension after the view was given the next slice would leave the rows it no longer
    // reaches selected. Connected before the base's own handler (the model is set below), this
    // takes the current selection out of the way and gives it back once the rows are in, with
    // the rows of the run among them.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex& at) {
        if (at.isValid() || current_.isEmpty()) return;
        if (!(currentCommand_ & Select) || (currentCommand_ & (Deselect | Toggle))) {
            current_.clear();
            return;
        }
        heldCurrent_ = std::exchange(current_, {});
        const QScopedValueRollback inside(inside_, true);
        QItemSelectionModel::select(QItemSelection(), Select | Current);
    });
    connect(&model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& at, int first, int last) {
        if (at.isValid()) return;
        // The selected nodes stay the same: nothing to announce.
        const QScopedValueRollback keep(changed_);
        if (!heldCurrent_.isEmpty()) selectHere(std::exchange(heldCurrent_, {}), Select | Current);
        // Rows given to the view inside the run come selected.
        if (runFrom_) selectGivenRows(std::max(first, int(*runFrom_)), last);
    });
    setModel(&model_);
}

void FileListSelectionModel::selectHere(const QItemSelection& given, QItemSelectionModel::SelectionFlags command) {
    if (command == NoUpdate) return;
    // The view asks for whole rows with a cell and the Rows flag. The current selection is kept
    // here as those whole rows, since it is given back without the flag when rows go in.
    QItemSelection selection = given;
    if (command & Rows) {
        selection.clear();
        for (const QItemSelectionRange& range : given) {
            const QModelIndex parent = range.parent();
            selection.merge(QItemSelection(model_.index(range.top(), 0, parent),
                                           model_.index(range.bottom(), model_.columnCount(parent) - 1, parent)),
                            Select);
        }
        command &= ~SelectionFlags(Rows);
    }
    // The base finalizes its current selection unless told to change it, and makes what it is
    // given the current selection when it selects, deselects or toggles.
    if ((command & Clear) || !(command & Current)) current_.clear();
    if (command & (Select | Deselect | Toggle)) {
        current_ = selection;
        currentCommand_ = command;
    }
    const QScopedValueRollback inside(inside_, true);
    QItemSelectionModel::select(selection, command);
}

void FileListSelectionModel::selectGivenRows(int first, int last) {
    if (first > last) return;
    const QItemSelectionRange rows(model_.index(first, 0), model_.index(last, FileListModel::kColumnCount - 1));
    if (runIsCurrent_) {
        QItemSelection extended = current_;
        extended.append(rows);
        selectHere(extended, Select | Current);
    } else {
        selectHere(QItemSelection(rows.topLeft(), rows.bottomRight()), Select);
    }
}

void FileListSelectionModel::select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) {
    if (command == NoUpdate) return;
    const std::optional<size_t> runBefore = runFrom_;
    if (command & Clear) dropRun();
    else if (command & Current) {
        if (runIsCurrent_) dropRun();
    } else {
        runIsCurrent_ = false;
    }
    changed_ = false;
    selectHere(selection, command);
    if (changed_ || runFrom_ != runBefore) announce();
}

void FileListSelectionModel::selectToListEnd(int row) {
    const size_t listRows = model_.listRows();
    const std::optional<size_t> runBefore = runFrom_;
    changed_ = false;
    if (row < 0 || size_t(row) >= listRows) return;
    runIsCurrent_ = true;
    runFrom_ = size_t(row);
    selectGivenRows(row, model_.rowCount() - 1);
    if (changed_ || runFrom_ != runBefore) announce();
}

void FileListSelectionModel::changeTogether(const std::function<void()>& change) {
    {
        const QScopedValueRollback quiet(quiet_, quiet_ + 1);
        change();
    }
    if (quiet_ == 0 && std::exchange(pending_, false)) emit selectedRowsChanged();
}

void FileListSelectionModel::clear() {
    const std::optional<size_t> runBefore = runFrom_;
    dropRun();
    current_.clear();
    changed_ = false;
    {
        const QScopedValueRollback inside(inside_, true);
        QItemSelectionModel::clear();
    }
    if (changed_ || runBefore) announce();
}

void FileListSelectionModel::reset() {
    const std::optional<size_t> runBefore = runFrom_;
    dropRun();
    current_.clear();
    const bool had = hasSelection();
    {
        const QScopedValueRollback inside(inside_, true);
        QItemSelectionModel::reset();
    }
    if (had || runBefore) announce();
}

void FileListSelectionModel::dropRun() {
    runFrom_.reset();
    runIsCurrent_ = false;
}

void FileListSelectionModel::announce() {
    if (quiet_ > 0)
        pending_ = true;
    else
        emit selectedRowsChanged();
}

}  // namespace zelvane
