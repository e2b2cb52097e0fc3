#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

namespace zelvane {

class ContentViewState;
class Preferences;

// The ways out of a window: CSV/TSV of the tree, a list or the selection; the file-type table as
// CSV; the treemap as PNG; a size listing on the clipboard. These are the parts without widgets:
// what the dialogs propose and what happens once the user confirmed. Main thread only.

enum class CSVFileFormat { csv, tsv };
QString rawValue(CSVFileFormat format);
std::optional<CSVFileFormat> csvFileFormatFromRaw(const QString& raw);
QString displayName(CSVFileFormat format);

enum class ExportSource { treeView, fileView };

// The choices of one CSV export, shared by its save dialog's options view and its completion.
class ExportSourceSelection final : public QObject {
    Q_OBJECT
public:
    ExportSourceSelection(ExportSource source, bool hasSelection, CSVFileFormat format, QObject* parent = nullptr);

    ExportSource source() const { return source_; }
    void setSource(ExportSource source);
    bool selectedOnly() const { return selectedOnly_; }
    void setSelectedOnly(bool on);  // stays off while there is no selection
    CSVFileFormat format() const { return format_; }
    void setFormat(CSVFileFormat format);
    bool hasSelection() const { return hasSelection_; }

signals:
    void formatChanged(CSVFileFormat format);
    void changed();

private:
    ExportSource source_;
    bool selectedOnly_;
    CSVFileFormat format_;
    const bool hasSelection_;
};

// The selection an export or copy works on: the File View's when that tab is shown, else the
// Tree View's. Synthetic group rows never reach a file.
std::vector<FileNode*> currentSelectionNodes(const ContentViewState& state);

// "yyyyMMddHHmmss" of `when` in local time.
QString exportTimestamp(const QDateTime& when);
// `name` without its extension, with the format's extension instead ("report.txt" -> "report.tsv").
QString applyCSVFormat(const QString& name, CSVFileFormat format);
// Where the save dialogs start: the folder of the last export, else the real user's documents.
QString exportStartFolder(const Preferences& preferences);

// The CSV export's dialog set-up, made when the dialog opens.
struct CSVExportProposal {
    ExportSource source;
    bool hasSelection;
    CSVFileFormat format;
    QString folder;
    QString fileName;  // "Zelvane_<timestamp>.<ext>"
};
CSVExportProposal proposeCSVExport(const ContentViewState& state, const QDateTime& now);

// After the dialog was confirmed with `path`: writes the file, or sets the window's export error.
void completeCSVExport(ContentViewState& state, const ExportSourceSelection& selection, const QString& path);

// "Zelvane_FT_<timestamp>.csv".
QString proposedFileTypesName(const QDateTime& now);
void completeFileTypesExport(ContentViewState& state, const QString& path);

// Whether any shown root has a child (the image export opens no dialog otherwise).
bool hasTreemapContent(const ContentViewState& state);
QString proposedTreemapImageName(const QDateTime& now);
// What the picture is made of, read from the window when the dialog is confirmed; the size is the
// stored one.
TreemapImageExportRequest treemapImageRequest(const ContentViewState& state, bool showFreeSpace);
// After the dialog was confirmed with `path` and the size its fields showed (the stored size when
// none is given): a size that cannot be rendered is refused at once; otherwise the picture is
// made in the background and `finished` runs on the GUI thread once the file is written or the
// failure is in the window's export error. Nothing runs when the window is gone by then.
void completeTreemapImageExport(ContentViewState& state, bool showFreeSpace, const QString& path,
                                std::optional<TreemapExportSize> size = std::nullopt,
                                std::function<void()> finished = {});

// The indented size listing of "Copy File and Size Info to Clipboard"; empty when there is
// nothing to list (the clipboard is then left alone).
QString clipboardSummaryText(const ContentViewState& state);

// The eleven settings of the Tweaks sheet, worked on as a copy and stored all at once.
struct TweaksSettings {
    bool enableDragDrop = true;
    bool enableDoubleClickOpen = true;
    bool enableRename = true;
    bool monitorFileSystemForChanges = true;
    bool showMaxModifiedDate = true;
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool gradientEnabled = true;
    int64_t byteUnitBaseRaw = 1000;
    int64_t decimalPlaces = 1;
    int64_t fileGroupMinSize = 4;
    bool operator==(const TweaksSettings&) const = default;
};
TweaksSettings loadTweaks(const Preferences& preferences);
// Every field, changed or not, in the order of the sheet.
void storeTweaks(Preferences& preferences, const TweaksSettings& settings);

}  // namespace zelvane
