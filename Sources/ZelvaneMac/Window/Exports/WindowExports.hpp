#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class Preferences;
struct ExportContext;
struct WindowSelections;

// The window's tables as files: CSV/TSV of the tree, a list or the selection; the file-type table
// as CSV; and what every way out of the window shares (the selection it works on, the timestamped
// names, the folder the save dialogs start in). These are the parts without widgets: what the
// dialogs propose and what happens once the user confirmed. Main thread only.

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

private:
    ExportSource source_;
    bool selectedOnly_;
    CSVFileFormat format_;
    const bool hasSelection_;
};

// The selection an export or copy works on: the File View's when that tab is shown, else the
// Tree View's. Synthetic group rows never reach a file.
std::vector<FileNode*> currentSelectionNodes(const WindowSelections& selections);
// The same nodes as they are held, in no order; `orderByPath` gives them currentSelectionNodes'
// order. Ordering grows with the selection: work that may run long does it on the thread pool.
std::vector<FileNode*> unorderedSelectionNodes(const WindowSelections& selections);
// The same of a set as it was handed out (any thread): group rows are left out. Both give up
// early (nothing listed, the order left as it was) once `cancel` is set.
std::vector<FileNode*> unorderedNodes(const NodeSet& set, const CancelFlag* cancel = nullptr);
void orderByPath(std::vector<FileNode*>& nodes, const CancelFlag* cancel = nullptr);
// Whether that selection holds anything besides group rows, without putting it in order.
bool hasCurrentSelection(const WindowSelections& selections);

// The shown roots themselves, and their flat file lists joined root after root (the File View's
// source), without the items marked deleted.
std::vector<FileNode*> rootNodes(const std::vector<RootRef>& roots);
std::vector<FileNode*> joinedFlatFileLists(const std::vector<RootRef>& roots);
// What an export writes of these: the items marked deleted (still drawn, struck out) are gone
// from the disk and from every total, and so from every export.
std::vector<FileNode*> withoutDeleted(std::vector<FileNode*> nodes);

// "yyyyMMddHHmmss" of `when` in local time.
QString exportTimestamp(const QDateTime& when);
// `name` without its extension, with the format's extension instead ("report.txt" -> "report.tsv").
QString applyCSVFormat(const QString& name, CSVFileFormat format);
// Where the save dialogs start: the folder of the last export, else the real user's documents.
QString exportStartFolder(const Preferences& preferences);
// The chosen file's folder, remembered once there is something to export.
void rememberExportFolder(Preferences& preferences, const QString& path);

// The CSV export's dialog set-up, made when the dialog opens.
struct CSVExportProposal {
    ExportSource source;
    bool hasSelection;
    CSVFileFormat format;
    QString folder;
    QString fileName;  // "Zelvane_<timestamp>.<ext>"
};
CSVExportProposal proposeCSVExport(const ExportContext& context, const QDateTime& now);

// After the dialog was confirmed with `path`: writes the file, or sets the window's export error.
// A table of more than `kRowsWrittenInPlace` rows is written in the background, and so is a
// selection of more than `kSelectionListedInPlace` nodes, which is listed and ordered there too.
constexpr int64_t kRowsWrittenInPlace = 100'000;
constexpr size_t kSelectionListedInPlace = 1'000;
void completeCSVExport(const ExportContext& context, const ExportSourceSelection& selection, const QString& path);

// "Zelvane_FT_<timestamp>.csv".
QString proposedFileTypesName(const QDateTime& now);
// Writes the file-type table, or sets the window's export error; a table of more than
// `kFileTypesWrittenInPlace` extensions is written in the background.
constexpr size_t kFileTypesWrittenInPlace = 256;
void completeFileTypesExport(const ExportContext& context, const QString& path);

}  // namespace zelvane
