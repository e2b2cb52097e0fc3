#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"

class QItemSelection;

namespace zelvane {

class FileNode;
class FileTreeOutlineModel;

// The outline's selected rows, taken on the GUI thread as runs of rows copied whole from their
// folders' row lists, and put in the order they are shown on any thread. Taking them costs the
// folders that hold selected rows and a copy of the rows' pointers: no row is looked at alone.
class SelectedRowRuns final {
public:
    // GUI thread: the rows `selection` holds in its first column, as `model` shows them now.
    SelectedRowRuns(const QItemSelection& selection, const FileTreeOutlineModel& model);

    // Any thread, while the trees and the outline's group rows are held: the rows' nodes from the
    // top down, group rows included, each row once, at most `most` of them; nothing once `cancel`
    // is set.
    std::vector<FileNode*> inRowOrder(const CancelFlag& cancel, size_t most = SIZE_MAX) const;
    size_t rowCount() const { return nodes_.size(); }

private:
    struct Run {
        int top;
        int bottom;
        size_t at;  // where its rows start in nodes_
    };
    // The selected rows of one folder (the first: the roots' rows), and the rows of it that hold
    // selected rows further down, by the index of their own folder.
    struct Folder {
        std::vector<Run> runs;
        std::vector<std::pair<int, size_t>> opened;
    };

    void walk(size_t folder, std::vector<FileNode*>& out, size_t most, const CancelFlag& cancel) const;

    std::vector<Folder> folders_;
    std::vector<FileNode*> nodes_;
};

}  // namespace zelvane
