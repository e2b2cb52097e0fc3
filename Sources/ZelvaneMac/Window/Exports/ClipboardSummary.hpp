#pragma once

#include <QString>

#include <memory>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

struct ExportContext;

// What the listing of "Copy File and Size Info to Clipboard" is made from, read on the GUI thread
// in a time that grows with the open rows it walks into, not with the selection's sort: the nodes
// in no order, the Tree View's answers for the rows it lists below them, and the trees, held.
struct ClipboardSummaryInput {
    std::vector<FileNode*> nodes;        // the selection, else the shown roots
    std::vector<RootRef> flatListRoots;  // no selection in the File View: these roots' files
    bool fromSelection = false;          // taken in path order
    bool fileView = false;
    int groupMin = 0;
    std::unordered_set<const FileNode*> openRows;
    std::unordered_set<const FileNode*> openGroupsOf;  // folders whose grouped files' row is open
    std::shared_ptr<const void> trees;
    size_t rows = 0;  // at most this many lines: a short listing is made at once
};
constexpr size_t kRowsListedInPlace = 1'000;
ClipboardSummaryInput clipboardSummaryInput(const ExportContext& context);

// The indented size listing: the selection (else the shown roots, or the File View's files),
// largest first, with the Tree View's expanded folders listed below their row. Empty when there
// is nothing to list (the clipboard is then left alone). Any thread.
QString clipboardSummaryText(ClipboardSummaryInput input);
// Both at once, on the GUI thread.
QString clipboardSummaryText(const ExportContext& context);

}  // namespace zelvane
