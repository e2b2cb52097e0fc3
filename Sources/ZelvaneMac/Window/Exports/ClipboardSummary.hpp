#pragma once

#include <QString>

namespace zelvane {

struct ExportContext;

// The indented size listing of "Copy File and Size Info to Clipboard": the selection (else the
// shown roots, or the File View's files), largest first, with the Tree View's expanded folders
// listed below their row. Empty when there is nothing to list (the clipboard is then left alone).
QString clipboardSummaryText(const ExportContext& context);

}  // namespace zelvane
