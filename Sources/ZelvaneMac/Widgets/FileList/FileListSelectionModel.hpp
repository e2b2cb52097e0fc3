#pragma once

#include <QItemSelectionModel>

#include <cstddef>
#include <functional>
#include <optional>

namespace zelvane {

class FileListModel;

// The file list's selection. The list reaches the view a slice at a time, so a Select All or a
// Shift+End would otherwise hold only the rows the view has been given so far. Here such a
// selection also holds the rows not given yet: every top-level row from one row to the end of
// the list, kept as that row alone, and the rows the view is given later come selected. A
// change that replaces the selection, or the Shift extension that made it, drops that run; a
// Ctrl+click keeps it. GUI thread only.
class FileListSelectionModel final : public QItemSelectionModel {
    Q_OBJECT
public:
    explicit FileListSelectionModel(FileListModel& model, QObject* parent = nullptr);

    // The first top-level row of the run of selected rows that reaches past the rows given to
    // the view, up to the end of the list; none when the selection ends among the rows given.
    std::optional<size_t> runToListEnd() const { return runFrom_; }
    // Selects every top-level row from `row` to the end of the list with the current selection,
    // as a Shift extension to the last row would if every row had been given to the view.
    void selectToListEnd(int row);
    // Runs `change` (which may select and extend several times) and announces the selected rows
    // once after it.
    void changeTogether(const std::function<void()>& change);

    using QItemSelectionModel::select;
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override;
    void clear() override;
    void reset() override;

signals:
    // After every change of the selected rows, those not given to the view included.
    void selectedRowsChanged();

private:
    void selectHere(const QItemSelection& given, QItemSelectionModel::SelectionFlags command);
    void selectGivenRows(int first, int last);
    void dropRun();
    void announce();

    FileListModel& model_;
    std::optional<size_t> runFrom_;
    // The run belongs to the current selection (what a Shift extension replaces), not to the
    // selection kept under it.
    bool runIsCurrent_ = false;
    // What the base holds as its current selection, to extend it as rows come.
    QItemSelection current_;
    QItemSelectionModel::SelectionFlags currentCommand_;
    // The current selection while rows go in.
    QItemSelection heldCurrent_;
    // Inside a change made here; a change of the base's selection outside one is a clear.
    bool inside_ = false;
    int quiet_ = 0;
    bool pending_ = false;
    bool changed_ = false;
};

}  // namespace zelvane
