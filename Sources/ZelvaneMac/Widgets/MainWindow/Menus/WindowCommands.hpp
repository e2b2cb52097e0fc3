#pragma once

#include <QtGlobal>

#include <functional>

class QObject;
class QWidget;

namespace zelvane {

class JobGeneration;

class Preferences;
class WindowServices;
class WindowSheets;
struct ExportContext;

// The window's ways out, as the menu commands start them: each shows its save dialog on its own
// (not over the window) and reports a failure through the window's "Couldn't Export" alert.
void performCSVExport(const ExportContext& context, QWidget* window);
void performExportFileTypesToCSV(const ExportContext& context, QWidget* window);
// Opens no dialog when no shown root has anything in it.
void performExportTreemapImage(const ExportContext& context, QWidget* window);
// Leaves the clipboard alone when there is nothing to list. Made in the background: a later copy
// of `copies` (or its supersede) drops what is still being made, and so does `owner` going, which
// owns `copies`.
// A text longer than `limit` bytes leaves the clipboard as it was, and the user is told why.
void performCopyFileAndSizeInfo(const ExportContext& context, QWidget* window, QObject* owner, JobGeneration& copies,
                                qsizetype limit);

// What the result views' context menus give for "Export to .CSV file…", "Zoom in Treemap" and
// "Zoom out Treemap", and the file-type table for its export: the window's menu commands of those
// names, on the shown tab's selection.
struct ContextMenuCommands {
    std::function<void()> exportToCSV;
    std::function<void()> zoomIn;
    std::function<void()> zoomOut;
    std::function<void()> exportFileTypesToCSV;
};
ContextMenuCommands contextMenuCommands(const ExportContext& context, QWidget* view);

// The sheets and alerts that belong to the program's services: Tweaks, the offer to prepare a
// portable copy and the offer to move into the Applications folder.
void bindServiceSheets(WindowSheets& sheets, Preferences& preferences, const WindowServices& services);

}  // namespace zelvane
