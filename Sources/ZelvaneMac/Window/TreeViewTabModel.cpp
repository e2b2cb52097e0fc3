#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

#include <algorithm>
#include <memory>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/TreeViewTabChanges.hpp"

namespace zelvane {

// The outline and the treemap start out grouping as a fresh store says.
static_assert(PreferenceKeys::tweakFileGroupMinSize.defaultValue == FileNode::defaultMinGroupSize);

TreeViewTabSettings TreeViewTabSettings::of(const Preferences& p) {
    namespace K = PreferenceKeys;
    const SizeTextFormat sizes = SizeTextFormat::of(p);
    const int decimalPlaces = int(p.value(K::tweakDecimalPlaces));
    const int64_t groupMinSize = p.value(K::tweakFileGroupMinSize);
    const bool altRowColors = p.value(K::tweakAltRowColors);
    const bool horizontalLines = p.value(K::tweakShowHorizontalLines);
    const QString palette = p.value(K::treemapPaletteColorsJSON);
    TreeViewTabSettings s;
    s.outlineDisplay = {sizes.base, sizes.mode, decimalPlaces, int(groupMinSize)};
    s.outlineOptions = {horizontalLines, altRowColors, p.value(K::tweakEnableDragDrop)};
    s.types = {sizes, decimalPlaces, altRowColors, horizontalLines, palette};
    s.treemap = {sizes, p.value(K::tweakGradientEnabled), int(std::clamp<int64_t>(groupMinSize, 0, INT32_MAX)), palette};
    s.strip = sizes;
    return s;
}

TreeViewTabModel::Arrangement TreeViewTabModel::arrangement() const {
    return {parts_.scanControl.hasEverShownScanResults() && parts_.panes.showFileTypes(), parts_.panes.showTreemap()};
}

TreeViewTabModel::Placeholder TreeViewTabModel::placeholder() const {
    const ScanState& s = parts_.viewModel.scanState();
    switch (s.tag()) {
    case ScanState::Tag::scanning:
        return {false, localized("Scanning…"), localized("This may take a moment for large volumes."),
                QStringLiteral("system-search")};
    case ScanState::Tag::completed: return {true, {}, {}, {}};
    case ScanState::Tag::failed:
        return {false, localized("Scan Failed"), std::get<ScanState::Failed>(s.value).message,
                QStringLiteral("dialog-warning")};
    case ScanState::Tag::cancelled:
        if (!s.roots().empty()) return {true, {}, {}, {}};
        return {false, localized("Scan Cancelled"), localized("Click Scan to try again."), QStringLiteral("process-stop")};
    case ScanState::Tag::idle: break;
    }
    return {false, localized("Ready to Scan"), firstStepsDescription(), {}};
}

std::vector<FileNode*> TreeViewTabModel::effectiveRoots() const {
    std::vector<FileNode*> out;
    const std::vector<RootRef>& roots = parts_.scanControl.effectiveRoots();
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

QString TreeViewTabModel::rootDisplayLabel(const FileNode& node) const {
    const QString name = qStringFromUtf8(node.name());
    if (parts_.viewModel.lastScanWasCSVImport()) return name;
    for (const VolumeInfo& v : parts_.volumeChoice.volumes())
        if (v.path == name) return name + QStringLiteral(" (") + v.displayName + QLatin1Char(')');
    return name;
}

FileNode* TreeViewTabModel::validatedZoomNode() const { return parts_.treemapZoom.shownIn(effectiveRoots()); }

FileNode* TreeViewTabModel::zoomOutTarget() const { return parts_.treemapZoom.zoomOutTargetIn(effectiveRoots()); }

QStringList TreeViewTabModel::infoStripTexts() const {
    const SizeTextFormat& format = changes_.settings().strip;
    const auto bytes = [&](int64_t n) { return qStringFromUtf8(humanBytes(n, format.base, format.mode, 1)); };
    const std::vector<FileNode*> roots = effectiveRoots();
    if (FileNode* z = validatedZoomNode()) return {qStringFromUtf8(z->fullPath()), localized("—"), bytes(z->effectiveAllocSize())};
    if (roots.size() == 1) return {rootDisplayLabel(*roots[0]), localized("—"), bytes(roots[0]->effectiveAllocSize())};
    if (roots.size() > 1) {
        int64_t total = 0;
        for (const FileNode* r : roots) total += r->effectiveAllocSize();
        return {parts_.viewModel.rootLabel(), localized("—"), bytes(total)};
    }
    return {localized("Treemap")};
}

bool TreeViewTabModel::treemapHasContent() const {
    const std::vector<FileNode*> roots = effectiveRoots();
    return std::any_of(roots.begin(), roots.end(), [](const FileNode* r) { return r->childCount() > 0; });
}

FileTreeOutlineInputs TreeViewTabModel::outlineInputs() const {
    FileTreeOutlineInputs in;
    in.roots = effectiveRoots();
    in.rootLabels.reserve(in.roots.size());
    for (const FileNode* r : in.roots) in.rootLabels.push_back(rootDisplayLabel(*r));
    in.display = changes_.settings().outlineDisplay;
    in.monitorRevision = changes_.liveRevision();
    in.monitorDirtyNodes = changes_.liveChanged();
    in.monitorChangedMany = changes_.liveChangedMany();
    in.trees = parts_.scanControl.selectionHeld();
    return in;
}

FileTreeOutlineOptions TreeViewTabModel::outlineOptions() const { return changes_.settings().outlineOptions; }

ExtensionTableInputs TreeViewTabModel::typesInputs() const {
    const TreeViewTabSettings::Types& settings = changes_.settings().types;
    const FileTypeStatistics& types = parts_.fileTypes;
    ExtensionTableInputs ext;
    ext.stats = types.extensionStats();
    ext.statsGeneration = types.generation();
    ext.colorRank = types.extensionColorRank();
    ext.paletteRGB = TreemapColorSettings::storedPaletteRGB(parts_.preferences);
    ext.byteUnitBase = settings.sizes.base;
    ext.byteSizeDisplayMode = settings.sizes.mode;
    ext.decimalPlaces = settings.decimalPlaces;
    ext.showFileTypes = parts_.panes.showFileTypes();
    return ext;
}

TreemapCanvasInputs TreeViewTabModel::treemapInputs() const {
    const TreeViewTabSettings::Treemap& settings = changes_.settings().treemap;
    const ScanController& scans = parts_.scanControl;
    const TreemapToggles& toggles = parts_.treemapToggles;
    TreemapCanvasInputs in;
    in.roots = scans.effectiveRoots();
    // Only a folder of the trees shown: a zoom target left from an older tree is ignored.
    in.zoomedNode = validatedZoomNode();
    in.useAllocatedSize = toggles.showTreemapAllocatedSize();
    in.showLabels = toggles.showTreemapFilenames();
    in.showFreeSpace = toggles.showTreemapFreeSpace();
    in.capacities = scans.capacities(in.roots);
    in.byteUnitBase = settings.sizes.base;
    in.byteSizeDisplayMode = settings.sizes.mode;
    in.gradientEnabled = settings.gradientEnabled;
    in.fileGroupMinSize = settings.fileGroupMinSize;
    in.colorRank = parts_.fileTypes.extensionColorRank();
    in.paletteRGB = TreemapColorSettings::storedPaletteRGB(parts_.preferences);
    in.colorRankReady = scans.treemapColorsReady();
    in.selection = parts_.treeSelection.nodes();
    in.selectionHeld = scans.selectionHeld();
    in.monitorRevision = changes_.liveRevision();
    return in;
}

}  // namespace zelvane
