#pragma once

class QFrame;
class QWidget;

namespace zelvane {

// A thin plain line in the palette's mid tone between the rows of a pane (a bar above a list, a
// strip above the treemap).
QFrame* paneSeparator(QWidget* parent);

// A sunken line between the groups of a sheet.
QFrame* sheetDivider(QWidget* parent);

}  // namespace zelvane
