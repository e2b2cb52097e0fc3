#include "ZelvaneMac/Window/Exports/WindowImageExport.hpp"

#include <algorithm>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

bool hasTreemapContent(const ContentViewState& state) {
    for (const RootRef& r : state.scanControl().effectiveRoots()) {
        if (!r->children().empty()) return true;
    }
    return false;
}

QString proposedTreemapImageName(const QDateTime& now) {
    return QStringLiteral("Zelvane_Treemap_") + exportTimestamp(now) + QStringLiteral(".png");
}

TreemapImageExportRequest treemapImageRequest(const ContentViewState& state, bool showFreeSpace) {
    const Preferences& prefs = state.preferences();
    TreemapImageExportRequest r;
    r.roots = state.scanControl().effectiveRoots();
    // A zoom made on an earlier tree is stale: only a node of one of these very roots counts.
    if (FileNode* zoom = state.treemapZoom().root()) {
        FileNode* top = zoom;
        while (top->parent()) top = top->parent();
        for (const RootRef& root : r.roots) {
            if (root.get() == top) r.zoomedNode = zoom;
        }
    }
    r.capacities = state.scanControl().capacities(r.roots);
    r.width = prefs.value(PreferenceKeys::treemapExportWidth);
    r.height = prefs.value(PreferenceKeys::treemapExportHeight);
    r.shadesOfGray = prefs.value(PreferenceKeys::treemapExportShadesOfGray);
    r.showFreeSpace = showFreeSpace;
    r.useAllocatedSize = state.treemapToggles().showTreemapAllocatedSize();
    r.showLabels = state.treemapToggles().showTreemapFilenames();
    r.colorRank = state.fileTypes().extensionColorRank();
    r.paletteRGB = state.currentPaletteRGB();
    const SizeTextFormat sizes = SizeTextFormat::of(prefs);
    r.byteUnitBase = sizes.base;
    r.byteSizeDisplayMode = sizes.mode;
    r.gradientEnabled = prefs.value(PreferenceKeys::tweakGradientEnabled);
    r.fileGroupMinSize = int(std::clamp<int64_t>(prefs.value(PreferenceKeys::tweakFileGroupMinSize), 0, 1'000'000));
    return r;
}

void completeTreemapImageExport(ContentViewState& state, bool showFreeSpace, const QString& path,
                                std::optional<TreemapExportSize> size, std::function<void()> finished) {
    rememberExportFolder(state.preferences(), path);
    TreemapImageExportRequest request = treemapImageRequest(state, showFreeSpace);
    if (size) {
        request.width = size->width;
        request.height = size->height;
    }
    if (auto refusal = treemapImageSizeRefusal(request.width, request.height)) {
        state.prompts().setCsvExportErrorDetail(*refusal);
        if (finished) finished();
        return;
    }
    // The window's state is the receiver: the outcome arrives only while it exists.
    ContentViewState* s = &state;
    exportTreemapImageInBackground(std::move(request), path, &state,
                                   [s, finished = std::move(finished)](std::optional<QString> failure) {
                                       if (failure) s->prompts().setCsvExportErrorDetail(*failure);
                                       if (finished) finished();
                                   });
}

}  // namespace zelvane
