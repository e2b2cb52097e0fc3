#pragma once

#include <functional>

class QWidget;

namespace zelvane {

class ContentViewState;
class WindowSheets;

// The window's ways out, as the menu commands start them: each shows its save dialog on its own
// (not over the window) and reports a failure through the window's "Couldn't Export" alert.
void performCSVExport(ContentViewState& state, QWidget* window);
void performExportFileTypesToCSV(ContentViewState& state, QWidget* window);
// Opens no dialog when no shown root has anything in it.
void performExportTreemapImage(ContentViewState& state, QWidget* window);
// Leaves the clipboard alone when there is nothing to list.
void performCopyFileAndSizeInfo(ContentViewState& state);

// What the result views' context menus give for "Export to .CSV file…", "Zoom in Treemap" and
// "Zoom out Treemap": the window's menu commands of those names, on the shown tab's selection.
struct ContextMenuCommands {
    std::function<void()> exportToCSV;
    std::function<void()> zoomIn;
    std::function<void()> zoomOut;
};
ContextMenuCommands contextMenuCommands(ContentViewState& state, QWidget* view);

// The sheets and alerts that belong to the program's services: Tweaks, the offer to prepare a
// portable copy and the offer to move into the Applications folder.
void bindServiceSheets(WindowSheets& sheets, ContentViewState& state);

}  // namespace zelvane
