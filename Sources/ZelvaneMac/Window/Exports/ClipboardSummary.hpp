#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"

namespace zelvane {

struct ExportContext;

// What the listing of "Copy File and Size Info to Clipboard" is made from, read on the GUI thread
// in a time that grows with the outline's open rows, never with the selection: the window's
// selection as it is held (a copy of a set shares its data), the Tree View's open rows, and the
// trees, held. The selection is walked where the listing is made.
struct ClipboardSummaryInput {
    NodeSet selection;                   // the selection the window shows
    std::vector<RootRef> roots;          // no selection: the shown roots (the File View: their files)
    bool fileView = false;
    int groupMin = 0;
    OpenTreeRows open;
    std::shared_ptr<const void> trees;
};
constexpr size_t kRowsListedInPlace = 1'000;
ClipboardSummaryInput clipboardSummaryInput(const ExportContext& context);
// At most this many lines: a listing this short is made at once, on the GUI thread.
size_t clipboardSummaryRowBound(const ClipboardSummaryInput& input);

// The indented size listing: the selection (else the shown roots, or the File View's files),
// largest first, with the Tree View's expanded folders listed below their row. Empty when there
// is nothing to list (the clipboard is then left alone). Any thread.
QString clipboardSummaryText(ClipboardSummaryInput input);
// Both at once, on the GUI thread.
QString clipboardSummaryText(const ExportContext& context);

}  // namespace zelvane
