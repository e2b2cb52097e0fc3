#include "ZelvaneMac/Window/Exports/WindowExports.hpp"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstring>

#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString errnoDescription(int err) {
    return err ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("unknown error");
}

// The chosen file's folder and extension, remembered once there is something to export.
void rememberFolder(Preferences& preferences, const QString& path) {
    preferences.set(PreferenceKeys::csvExportLastFolder, QFileInfo(path).absolutePath());
}

std::vector<FileNode*> rootPointers(const std::vector<RootRef>& roots) {
    std::vector<FileNode*> out;
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

// The flat file lists of the roots joined root after root (the File View's source).
std::vector<FileNode*> flatLists(const std::vector<RootRef>& roots) {
    std::vector<FileNode*> out;
    for (const RootRef& r : roots) {
        if (!r->hasFlatFileList()) continue;
        const auto list = r->flatFileList();
        out.insert(out.end(), list.begin(), list.end());
    }
    return out;
}

void sortBySizeDescending(std::vector<FileNode*>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const FileNode* a, const FileNode* b) { return a->effectiveSize() > b->effectiveSize(); });
}

}  // namespace

QString rawValue(CSVFileFormat format) {
    return format == CSVFileFormat::tsv ? QStringLiteral("tsv") : QStringLiteral("csv");
}

std::optional<CSVFileFormat> csvFileFormatFromRaw(const QString& raw) {
    if (raw == u"csv") return CSVFileFormat::csv;
    if (raw == u"tsv") return CSVFileFormat::tsv;
    return std::nullopt;
}

QString displayName(CSVFileFormat format) {
    return format == CSVFileFormat::tsv ? localized("Tab Separated Values (.tsv)")
                                        : localized("Comma Separated Values (.csv)");
}

ExportSourceSelection::ExportSourceSelection(ExportSource source, bool hasSelection, CSVFileFormat format,
                                             QObject* parent)
    : QObject(parent), source_(source), selectedOnly_(hasSelection), format_(format), hasSelection_(hasSelection) {}

void ExportSourceSelection::setSource(ExportSource source) {
    if (source == source_) return;
    source_ = source;
    emit changed();
}

void ExportSourceSelection::setSelectedOnly(bool on) {
    on = on && hasSelection_;
    if (on == selectedOnly_) return;
    selectedOnly_ = on;
    emit changed();
}

void ExportSourceSelection::setFormat(CSVFileFormat format) {
    if (format == format_) return;
    format_ = format;
    emit formatChanged(format);
    emit changed();
}

std::vector<FileNode*> currentSelectionNodes(const ContentViewState& state) {
    const NodeSet& set = state.selectedTab() == ContentTab::fileView ? state.fileSelection().nodes() : state.treeSelection().nodes();
    std::vector<FileNode*> out;
    out.reserve(size_t(set.size()));
    for (FileNode* n : set) {
        if (n && !n->isSyntheticGroup()) out.push_back(n);
    }
    // A set has no order of its own; the tree's name order gives one that stays the same.
    std::stable_sort(out.begin(), out.end(), [](const FileNode* a, const FileNode* b) {
        return a->pathBytes() < b->pathBytes();
    });
    return out;
}

QString exportTimestamp(const QDateTime& when) {
    return QLocale::c().toString(when.toLocalTime(), QStringLiteral("yyyyMMddHHmmss"));
}

QString applyCSVFormat(const QString& name, CSVFileFormat format) {
    QString stem = name;
    const qsizetype dot = stem.lastIndexOf(u'.');
    // A leading dot names a hidden file, not an extension.
    if (dot > 0) stem.truncate(dot);
    return stem + u'.' + rawValue(format);
}

QString exportStartFolder(const Preferences& preferences) {
    // A folder that is gone (or a Documents folder the user never had) would leave the panel in
    // the working folder the program was started from.
    const QString last = preferences.value(PreferenceKeys::csvExportLastFolder);
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    return existingFolderOrHome(realUserDocumentsDirectory());
}

CSVExportProposal proposeCSVExport(const ContentViewState& state, const QDateTime& now) {
    CSVExportProposal p;
    p.source = state.selectedTab() == ContentTab::fileView ? ExportSource::fileView : ExportSource::treeView;
    p.hasSelection = !currentSelectionNodes(state).empty();
    p.format = csvFileFormatFromRaw(state.preferences().value(PreferenceKeys::csvExportLastExtension))
                   .value_or(CSVFileFormat::csv);
    p.folder = exportStartFolder(state.preferences());
    p.fileName = applyCSVFormat(QStringLiteral("Zelvane_") + exportTimestamp(now), p.format);
    return p;
}

void completeCSVExport(ContentViewState& state, const ExportSourceSelection& selection, const QString& path) {
    Preferences& prefs = state.preferences();
    if (!prefs.value(PreferenceKeys::csvExportFiles) && !prefs.value(PreferenceKeys::csvExportFolders)) {
        state.prompts().setCsvExportErrorDetail(localized(
            "Either one or both of \"Export Files\" and \"Export Folders\" must be selected for the export to be valid."));
        return;
    }
    const std::vector<RootRef>& roots = state.scanControl().effectiveRoots();
    std::vector<FileNode*> nodes;
    bool flat = false;
    if (selection.selectedOnly()) {
        nodes = currentSelectionNodes(state);
    } else if (selection.source() == ExportSource::treeView) {
        nodes = rootPointers(roots);
    } else {
        nodes = flatLists(roots);
        flat = true;
    }
    if (nodes.empty()) {
        state.prompts().setCsvExportErrorDetail(localized("There's nothing to export."));
        return;
    }
    rememberFolder(prefs, path);
    const QString extension = QFileInfo(path).suffix().toLower();
    prefs.set(PreferenceKeys::csvExportLastExtension, extension.isEmpty() ? QStringLiteral("csv") : extension);

    CSVExportOptions options{};
    options.exportFiles = prefs.value(PreferenceKeys::csvExportFiles);
    options.exportFolders = prefs.value(PreferenceKeys::csvExportFolders);
    options.exportFileID = prefs.value(PreferenceKeys::csvExportFileID);
    options.exportDates = prefs.value(PreferenceKeys::csvExportDates);
    options.exportFolderSizes = prefs.value(PreferenceKeys::csvExportFolderSizes);
    options.splitFilename = prefs.value(PreferenceKeys::csvSplitFilename);
    options.exportDriveCapacity = prefs.value(PreferenceKeys::csvExportDriveCapacity);
    options.exportPercentOfParent = prefs.value(PreferenceKeys::csvExportPercentOfParent);
    options.maxDepth = int(std::clamp<int64_t>(prefs.value(PreferenceKeys::csvMaxDepth), 0, 999));
    // The name the user finally confirmed decides the delimiter, whatever the dialog proposed.
    options.useTabDelimiter = extension == u"tsv";
    options.useUTC = false;

    // Capacities belong to the shown roots, looked up by the very root node (its path may not be
    // text): a selected node that is not a root has none.
    const std::vector<VolumeCapacity> capacities = state.scanControl().capacities(roots);
    const DriveCapacityQuery query = [&](const FileNode& node) {
        for (size_t i = 0; i < roots.size() && i < capacities.size(); ++i) {
            if (roots[i].get() == &node) return capacities[i];
        }
        return VolumeCapacity{};
    };
    if (const auto error = exportToCSV(std::span<FileNode* const>(nodes), options, flat, query, nativePath(path))) {
        if (error->kind == CSVExportError::Kind::noFilesOrFoldersSelected) {
            state.prompts().setCsvExportErrorDetail(localized(
                "Either one or both of \"Export Files\" and \"Export Folders\" must be selected for the export to be valid."));
            return;
        }
        state.prompts().setCsvExportErrorDetail(
            fillPlaceholders(localized("Couldn't write the CSV file: %@"), {errnoDescription(error->underlyingErrno)}));
    }
}

QString proposedFileTypesName(const QDateTime& now) {
    return QStringLiteral("Zelvane_FT_") + exportTimestamp(now) + QStringLiteral(".csv");
}

void completeFileTypesExport(ContentViewState& state, const QString& path) {
    rememberFolder(state.preferences(), path);
    std::vector<ExtensionStats> rows = state.fileTypes().extensionPanelDisplayed();
    if (rows.empty()) {
        rows = state.fileTypes().extensionStats();
        std::stable_sort(rows.begin(), rows.end(),
                         [](const ExtensionStats& a, const ExtensionStats& b) { return a.totalAlloc > b.totalAlloc; });
    }
    const bool byAllocated = state.fileTypes().extensionPanelSortKey() == u"allocated";
    if (const auto error = exportFileTypesToCSV(rows, byAllocated, nativePath(path))) {
        state.prompts().setCsvExportErrorDetail(
            fillPlaceholders(localized("Couldn't write the CSV file: %@"), {errnoDescription(error->underlyingErrno)}));
    }
}

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
    if (FileNode* zoom = state.treemapRoot()) {
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
    rememberFolder(state.preferences(), path);
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
    ContentViewState* s = &state;
    exportTreemapImageInBackground(std::move(request), path, &state,
                                   [s, finished = std::move(finished)](std::optional<QString> failure) {
                                       if (failure) s->prompts().setCsvExportErrorDetail(*failure);
                                       if (finished) finished();
                                   });
}

QString clipboardSummaryText(const ContentViewState& state) {
    const bool fileView = state.selectedTab() == ContentTab::fileView;
    std::vector<FileNode*> nodes = currentSelectionNodes(state);
    if (nodes.empty()) {
        const std::vector<RootRef>& roots = state.scanControl().effectiveRoots();
        nodes = fileView ? flatLists(roots) : rootPointers(roots);
    }
    if (nodes.empty()) return {};
    sortBySizeDescending(nodes);

    const int groupMin = int(std::clamp<int64_t>(state.preferences().value(PreferenceKeys::tweakFileGroupMinSize), 0, 1'000'000));
    const NodePredicate& expanded = state.isTreeNodeExpanded();
    QString text;
    const auto emitLine = [&](const FileNode& node, int depth, bool flat) {
        const QString size = QString::fromStdString(formatSizeForClipboardExport(node.effectiveSize()));
        if (size.size() < 20) text += QString(20 - size.size(), u' ');
        text += size;
        text += QString(2 * (depth + 1), u' ');
        if (node.isSyntheticGroup() || (!flat && !node.isDir())) text += QString::fromStdString(node.name());
        else text += QString::fromStdString(node.fullPath());
        text += u'\n';
    };
    // Walked with an explicit stack: an expanded chain can be deeper than the thread's stack.
    struct Item {
        const FileNode* node;
        int depth;
        bool flat;
        std::shared_ptr<FileNode> keepGroup;  // a synthetic group lives as long as its entry
    };
    for (FileNode* start : nodes) {
        std::vector<Item> stack{{start, fileView ? 0 : start->depth(), fileView, nullptr}};
        while (!stack.empty()) {
            Item item = std::move(stack.back());
            stack.pop_back();
            emitLine(*item.node, item.depth, item.flat);
            if (item.flat || !item.node->isDir() || !expanded || !expanded(item.node)) continue;
            FileNode::Grouped grouped = item.node->groupedChildren(groupMin);
            std::vector<FileNode*> children = grouped.nodes;
            sortBySizeDescending(children);
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                stack.push_back({*it, item.depth + 1, false, (*it)->isSyntheticGroup() ? grouped.group : nullptr});
            }
        }
    }
    return text;
}

TweaksSettings loadTweaks(const Preferences& p) {
    TweaksSettings s;
    s.enableDragDrop = p.value(PreferenceKeys::tweakEnableDragDrop);
    s.enableDoubleClickOpen = p.value(PreferenceKeys::tweakEnableDoubleClickOpen);
    s.enableRename = p.value(PreferenceKeys::tweakEnableRename);
    s.monitorFileSystemForChanges = p.value(PreferenceKeys::monitorFileSystemForChanges);
    s.showMaxModifiedDate = p.value(PreferenceKeys::tweakShowMaxModifiedDate);
    s.showHorizontalLines = p.value(PreferenceKeys::tweakShowHorizontalLines);
    s.altRowColors = p.value(PreferenceKeys::tweakAltRowColors);
    s.gradientEnabled = p.value(PreferenceKeys::tweakGradientEnabled);
    s.byteUnitBaseRaw = p.value(PreferenceKeys::byteUnitBase);
    s.decimalPlaces = p.value(PreferenceKeys::tweakDecimalPlaces);
    s.fileGroupMinSize = p.value(PreferenceKeys::tweakFileGroupMinSize);
    return s;
}

void storeTweaks(Preferences& p, const TweaksSettings& s) {
    p.set(PreferenceKeys::tweakEnableDragDrop, s.enableDragDrop);
    p.set(PreferenceKeys::tweakEnableDoubleClickOpen, s.enableDoubleClickOpen);
    p.set(PreferenceKeys::tweakEnableRename, s.enableRename);
    p.set(PreferenceKeys::monitorFileSystemForChanges, s.monitorFileSystemForChanges);
    p.set(PreferenceKeys::tweakShowMaxModifiedDate, s.showMaxModifiedDate);
    p.set(PreferenceKeys::tweakShowHorizontalLines, s.showHorizontalLines);
    p.set(PreferenceKeys::tweakAltRowColors, s.altRowColors);
    p.set(PreferenceKeys::tweakGradientEnabled, s.gradientEnabled);
    p.set(PreferenceKeys::byteUnitBase, s.byteUnitBaseRaw);
    p.set(PreferenceKeys::tweakDecimalPlaces, s.decimalPlaces);
    p.set(PreferenceKeys::tweakFileGroupMinSize, s.fileGroupMinSize);
}

}  // namespace zelvane
