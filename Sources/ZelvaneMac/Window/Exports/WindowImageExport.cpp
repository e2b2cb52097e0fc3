#include "ZelvaneMac/Window/Exports/WindowImageExport.hpp"

#include <algorithm>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

bool hasTreemapContent(const ScanController& scans) {
    for (const RootRef& r : scans.effectiveRoots()) {
        if (!r->children().empty()) return true;
    }
    return false;
}

QString proposedTreemapImageName(const QDateTime& now) {
    return QStringLiteral("Zelvane_Treemap_") + exportTimestamp(now) + QStringLiteral(".png");
}

TreemapImageExportRequest treemapImageRequest(const ExportContext& context, bool showFreeSpace) {
    const Preferences& prefs = context.preferences;
    TreemapImageExportRequest r;
    r.roots = context.scans.effectiveRoots();
    // A zoom made on an earlier tree is stale: only a node of one of these very roots counts.
    if (FileNode* zoom = context.treemapZoom.root()) {
        FileNode* top = zoom;
        while (top->parent()) top = top->parent();
        for (const RootRef& root : r.roots) {
            if (root.get() == top) r.zoomedNode = zoom;
        }
    }
    r.capacities = context.scans.capacities(r.roots);
    r.width = prefs.value(PreferenceKeys::treemapExportWidth);
    r.height = prefs.value(PreferenceKeys::treemapExportHeight);
    r.shadesOfGray = prefs.value(PreferenceKeys::treemapExportShadesOfGray);
    r.showFreeSpace = showFreeSpace;
    r.useAllocatedSize = context.treemapToggles.showTreemapAllocatedSize();
    r.showLabels = context.treemapToggles.showTreemapFilenames();
    r.colorRank = context.fileTypes.extensionColorRank();
    r.paletteRGB = TreemapColorSettings::storedPaletteRGB(context.preferences);
    const SizeTextFormat sizes = SizeTextFormat::of(prefs);
    r.byteUnitBase = sizes.base;
    r.byteSizeDisplayMode = sizes.mode;
    r.gradientEnabled = prefs.value(PreferenceKeys::tweakGradientEnabled);
    r.fileGroupMinSize = int(std::clamp<int64_t>(prefs.value(PreferenceKeys::tweakFileGroupMinSize), 0, 1'000'000));
    return r;
}

void completeTreemapImageExport(const ExportContext& context, bool showFreeSpace, const QString& path,
                                std::optional<TreemapExportSize> size, std::function<void()> finished) {
    rememberExportFolder(context.preferences, path);
    TreemapImageExportRequest request = treemapImageRequest(context, showFreeSpace);
    if (size) {
        request.width = size->width;
        request.height = size->height;
    }
    if (auto refusal = treemapImageSizeRefusal(request.width, request.height)) {
        context.prompts.setCsvExportErrorDetail(*refusal);
        if (finished) finished();
        return;
    }
    // The window's prompts are the receiver: the outcome arrives only while they exist.
    WindowPrompts* prompts = &context.prompts;
    exportTreemapImageInBackground(std::move(request), path, prompts,
                                   [prompts, finished = std::move(finished)](std::optional<QString> failure) {
                                       if (failure) prompts->setCsvExportErrorDetail(*failure);
                                       if (finished) finished();
                                   });
}

}  // namespace zelvane
