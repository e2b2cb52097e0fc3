#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

namespace zelvane {

class ScanController;
struct ExportContext;

// The window's treemap picture saved as a PNG file: what the save dialog proposes and what
// happens once the user confirmed. Main thread only.

// Whether any shown root has a child (the image export opens no dialog otherwise).
bool hasTreemapContent(const ScanController& scans);
// "Zelvane_Treemap_<timestamp>.png".
QString proposedTreemapImageName(const QDateTime& now);
// What the picture is made of, read from the window when the dialog is confirmed; the size is the
// stored one.
TreemapImageExportRequest treemapImageRequest(const ExportContext& context, bool showFreeSpace);
// After the dialog was confirmed with `path` and the size its fields showed (the stored size when
// none is given): a size that cannot be rendered is refused at once; otherwise the picture is
// made in the background and `finished` runs on the GUI thread once the file is written or the
// failure is in the window's export error. Nothing runs when the window is gone by then.
void completeTreemapImageExport(const ExportContext& context, bool showFreeSpace, const QString& path,
                                std::optional<TreemapExportSize> size = std::nullopt,
                                std::function<void()> finished = {});

}  // namespace zelvane
