#include "ZelvaneMac/Window/Exports/WindowExports.hpp"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "Platform/RegularFile.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Support/NodePaths.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString errnoDescription(int err) {
    return err ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("unknown error");
}

// A save panel's choice that is a device, a FIFO or a socket gets no export: a FIFO nobody reads
// would hold the write, a device would swallow it.
bool refusedAsSpecialFile(WindowPrompts& prompts, const QString& path) {
    if (!namesASpecialFile(nativePath(path))) return false;
    prompts.setCsvExportErrorDetail(fillPlaceholders(
        localized("Couldn't write the CSV file: %@"), {localized("Not a regular file (a device, pipe or socket)")}));
    return true;
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
    // The extension is filled in, so that it reads ".csv" inside a right-to-left title too.
    return format == CSVFileFormat::tsv ? fillPlaceholders(localized("Tab Separated Values (%@)"), {QStringLiteral(".tsv")})
                                        : fillPlaceholders(localized("Comma Separated Values (%@)"), {QStringLiteral(".csv")});
}

ExportSourceSelection::ExportSourceSelection(ExportSource source, bool hasSelection, CSVFileFormat format,
                                             QObject* parent)
    : QObject(parent), source_(source), selectedOnly_(hasSelection), format_(format), hasSelection_(hasSelection) {}

void ExportSourceSelection::setSource(ExportSource source) { source_ = source; }

void ExportSourceSelection::setSelectedOnly(bool on) { selectedOnly_ = on && hasSelection_; }

void ExportSourceSelection::setFormat(CSVFileFormat format) {
    if (format == format_) return;
    format_ = format;
    emit formatChanged(format);
}

std::vector<FileNode*> currentSelectionNodes(const WindowSelections& selections) {
    std::vector<FileNode*> nodes = unorderedSelectionNodes(selections);
    orderByPath(nodes);
    return nodes;
}

std::vector<FileNode*> unorderedSelectionNodes(const WindowSelections& selections) {
    return unorderedNodes(selections.shown());
}

std::vector<FileNode*> unorderedNodes(const NodeSet& set, const CancelFlag* cancel) {
    std::vector<FileNode*> out;
    out.reserve(size_t(set.size()));
    size_t seen = 0;
    for (FileNode* n : set) {
        if (++seen % 65536 == 0 && isCancelled(cancel)) return {};
        if (n && !n->isSyntheticGroup()) out.push_back(n);
    }
    return out;
}

void orderByPath(std::vector<FileNode*>& nodes, const CancelFlag* cancel) {
    // A set has no order of its own; the tree's name order gives one that stays the same.
    orderByPathBytes(nodes, cancel);
}

bool hasCurrentSelection(const WindowSelections& selections) {
    const NodeSet& set = selections.shown();
    return std::any_of(set.begin(), set.end(), [](const FileNode* n) { return n && !n->isSyntheticGroup(); });
}

std::vector<FileNode*> rootNodes(const std::vector<RootRef>& roots) {
    std::vector<FileNode*> out;
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

std::vector<FileNode*> withoutDeleted(std::vector<FileNode*> nodes) {
    std::erase_if(nodes, [](const FileNode* n) { return n->isDeleted(); });
    return nodes;
}

std::vector<FileNode*> joinedFlatFileLists(const std::vector<RootRef>& roots) {
    std::vector<FileNode*> out;
    for (const RootRef& r : roots) {
        if (!r->hasFlatFileList()) continue;
        const auto list = r->flatFileList();
        out.insert(out.end(), list.begin(), list.end());
    }
    return withoutDeleted(std::move(out));
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

void rememberExportFolder(Preferences& preferences, const QString& path) {
    preferences.set(PreferenceKeys::csvExportLastFolder, QFileInfo(path).absolutePath());
}

CSVExportProposal proposeCSVExport(const ExportContext& context, const QDateTime& now) {
    CSVExportProposal p;
    p.source = context.selections.onFileView() ? ExportSource::fileView : ExportSource::treeView;
    p.hasSelection = hasCurrentSelection(context.selections);
    p.format = csvFileFormatFromRaw(context.preferences.value(PreferenceKeys::csvExportLastExtension))
                   .value_or(CSVFileFormat::csv);
    p.folder = exportStartFolder(context.preferences);
    p.fileName = applyCSVFormat(QStringLiteral("Zelvane_") + exportTimestamp(now), p.format);
    return p;
}

void completeCSVExport(const ExportContext& context, const ExportSourceSelection& selection, const QString& path) {
    Preferences& prefs = context.preferences;
    if (!prefs.value(PreferenceKeys::csvExportFiles) && !prefs.value(PreferenceKeys::csvExportFolders)) {
        context.prompts.setCsvExportErrorDetail(localized(
            "Either one or both of \"Export Files\" and \"Export Folders\" must be selected for the export to be valid."));
        return;
    }
    const std::vector<RootRef>& roots = context.scans.effectiveRoots();
    std::vector<FileNode*> nodes;
    bool flat = false;
    // A selection of more than a few is listed and put in order by the write in the background
    // (the set is shared, not copied): ordering the paths of Select All over an opened outline
    // takes tens of milliseconds, of millions seconds.
    const NodeSet& selected = context.selections.shown();
    const bool listedLater = selection.selectedOnly() && size_t(selected.size()) > kSelectionListedInPlace;
    // So is the whole File View of many rows: walking the trees for their flat lists grows with
    // them. The write holds the trees, whose shape no longer changes (deletions only mark nodes).
    const bool wholeFileView = !selection.selectedOnly() && selection.source() != ExportSource::treeView;
    int64_t flatRows = 0;
    if (wholeFileView)
        for (const RootRef& r : roots)
            if (r->hasFlatFileList()) flatRows += int64_t(std::max(0, r->subFolderFileCount())) + std::max(0, r->subFolderDirCount());
    const bool joinedLater = wholeFileView && flatRows > kRowsWrittenInPlace;
    if (selection.selectedOnly()) {
        if (!listedLater) nodes = withoutDeleted(currentSelectionNodes(context.selections));
    } else if (selection.source() == ExportSource::treeView) {
        nodes = rootNodes(roots);
    } else {
        if (!joinedLater) nodes = joinedFlatFileLists(roots);
        flat = true;
    }
    const auto nothingToExport = [prompts = &context.prompts] {
        prompts->setCsvExportErrorDetail(localized("There's nothing to export."));
    };
    if (!listedLater && !joinedLater && nodes.empty()) return nothingToExport();
    if (refusedAsSpecialFile(context.prompts, path)) return;
    rememberExportFolder(prefs, path);
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
    const std::vector<VolumeCapacity> capacities = context.scans.capacities(roots);
    // The write holds every tree the window holds (the nodes are in one of them), so a rescan
    // meanwhile frees none of them before the file is complete.
    struct Written {
        bool nothing = false;
        std::optional<CSVExportError> error;
    };
    auto write = [nodes, listed = listedLater ? selected : NodeSet(), listedLater, joinedLater, options, flat, roots, capacities,
                  held = context.scans.selectionHeld(), target = nativePath(path)] {
        const DriveCapacityQuery query = [&](const FileNode& node) {
            for (size_t i = 0; i < roots.size() && i < capacities.size(); ++i) {
                if (roots[i].get() == &node) return capacities[i];
            }
            return VolumeCapacity{};
        };
        if (joinedLater) {
            const std::vector<FileNode*> joined = joinedFlatFileLists(roots);
            if (joined.empty()) return Written{true, std::nullopt};
            return Written{false, exportToCSV(std::span<FileNode* const>(joined), options, flat, query, target)};
        }
        if (!listedLater) return Written{false, exportToCSV(std::span<FileNode* const>(nodes), options, flat, query, target)};
        std::vector<FileNode*> ordered = withoutDeleted(unorderedNodes(listed));
        if (ordered.empty()) return Written{true, std::nullopt};
        orderByPath(ordered);
        return Written{false, exportToCSV(std::span<FileNode* const>(ordered), options, flat, query, target)};
    };
    auto report = [prompts = &context.prompts, nothingToExport](const Written& written) {
        if (written.nothing) return nothingToExport();
        const std::optional<CSVExportError>& error = written.error;
        if (!error) return;
        if (error->kind == CSVExportError::Kind::noFilesOrFoldersSelected) {
            prompts->setCsvExportErrorDetail(localized(
                "Either one or both of \"Export Files\" and \"Export Folders\" must be selected for the export to be valid."));
            return;
        }
        prompts->setCsvExportErrorDetail(
            fillPlaceholders(localized("Couldn't write the CSV file: %@"), {errnoDescription(error->underlyingErrno)}));
    };
    // A small table is written at once; one of many rows in the background, the window going on
    // meanwhile, and a failure reaches its alert when the write ends.
    int64_t rows = listedLater || joinedLater ? kRowsWrittenInPlace + 1 : 0;
    for (const FileNode* n : nodes)
        rows += 1 + (flat || !n->isDir() ? 0 : int64_t(n->subFolderFileCount()) + n->subFolderDirCount());
    if (rows <= kRowsWrittenInPlace) {
        report(write());
        return;
    }
    runInBackground(&context.prompts, std::move(write), std::move(report));
}

QString proposedFileTypesName(const QDateTime& now) {
    return QStringLiteral("Zelvane_FT_") + exportTimestamp(now) + QStringLiteral(".csv");
}

void completeFileTypesExport(const ExportContext& context, const QString& path) {
    if (refusedAsSpecialFile(context.prompts, path)) return;
    rememberExportFolder(context.preferences, path);
    std::vector<ExtensionStats> rows = context.fileTypes.extensionPanelDisplayed();
    if (rows.empty()) {
        rows = context.fileTypes.extensionStats();
        std::stable_sort(rows.begin(), rows.end(),
                         [](const ExtensionStats& a, const ExtensionStats& b) { return a.totalAlloc > b.totalAlloc; });
    }
    const bool byAllocated = context.fileTypes.extensionPanelSortKey() == FileTypesSortKey::allocated;
    auto report = [prompts = &context.prompts](const std::optional<FileTypesCSVExportError>& error) {
        if (!error) return;
        prompts->setCsvExportErrorDetail(
            fillPlaceholders(localized("Couldn't write the CSV file: %@"), {errnoDescription(error->underlyingErrno)}));
    };
    // Each row's description is a lookup in the system's type database, tens of microseconds
    // each: a table of thousands of extensions is written in the background.
    if (rows.size() <= kFileTypesWrittenInPlace) {
        report(exportFileTypesToCSV(rows, byAllocated, nativePath(path)));
        return;
    }
    runInBackground(
        &context.prompts,
        [rows = std::move(rows), byAllocated, target = nativePath(path)] {
            return exportFileTypesToCSV(rows, byAllocated, target);
        },
        std::move(report));
}

}  // namespace zelvane
