#include "ZelvaneMac/Window/ScanStatusTexts.hpp"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "ScanEngine/Support/Arithmetic.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace {

QString fixedC(double value, int decimals) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return QString::fromLatin1(buf, res.ptr - buf);
}

}  // namespace

QString fillFixedPoint(const QString& format, double value) {
    static const QRegularExpression decimalFormat(QStringLiteral("%\\.(\\d)f"));
    const QRegularExpressionMatch m = decimalFormat.match(format);
    if (!m.hasMatch()) return format;
    QString out = format;
    out.replace(m.capturedStart(), m.capturedLength(), fixedC(value, m.captured(1).toInt()));
    return out;
}

QString groupedCount(int64_t n) { return QLocale().toString(qlonglong(n)); }

QString scanStatusText(const ScanState& state, std::optional<double> duration) {
    switch (state.tag()) {
    case ScanState::Tag::scanning: {
        const ScanProgress& p = std::get<ScanState::Scanning>(state.value).progress;
        return fillPlaceholders(localized("Scanning... (Folders: %@  Files: %@)"),
                                {groupedCount(int64_t(p.dirs)), groupedCount(int64_t(p.files))});
    }
    case ScanState::Tag::completed:
        return duration ? fillFixedPoint(localized("Scan complete in %.2f seconds"), *duration) : localized("Scan complete");
    case ScanState::Tag::failed:
        return localized("Scan failed");
    case ScanState::Tag::cancelled:
        return duration ? fillFixedPoint(localized("Scan canceled after %.2f seconds"), *duration) : localized("Scan canceled");
    case ScanState::Tag::idle:
        break;
    }
    return localized("Ready...");
}

QString importShortfallText(const ImportShortfall& shortfall) {
    QString text = fillPlaceholders(localized("Lines left out because they could not be read as rows: %@"),
                                    {groupedCount(shortfall.rowsLeftOut)});
    if (shortfall.endedInsideRow)
        text += QStringLiteral("\n\n") + localized("The file ends inside a row: it may have been cut short.");
    return text;
}

bool accessDeniedNoteVisible(const ScanState& state, qsizetype deniedCount) {
    const auto tag = state.tag();
    return (tag == ScanState::Tag::completed || tag == ScanState::Tag::cancelled) && deniedCount > 0;
}

double scanProgressFraction(const ScanState& state) {
    if (!state.isScanning()) return 1.0;
    const double percent = std::get<ScanState::Scanning>(state.value).progress.percentComplete;
    return std::clamp(percent / 100.0, 0.0, 1.0);
}

namespace {

// Whether a selected folder above the node (or the "[N Files in ...]" row of its folder, for a
// file) already holds it in its totals: a folder selected with what is inside it, as Select All
// leaves the outline, counts each file once.
template <typename Contains>
bool heldBySelectedRow(const FileNode* node, const Contains& selected,
                       const std::unordered_set<const FileNode*>& foldersWithSelectedGroup) {
    if (!node->isDir() && foldersWithSelectedGroup.count(node->parent())) return true;
    for (const FileNode* up = node->parent(); up; up = up->parent())
        if (selected(up)) return true;
    return false;
}

template <typename Nodes, typename Contains>
SelectionTotals addUp(const Nodes& selection, const Contains& selected, SelectionCountMode mode, const CancelFlag* cancel) {
    SelectionTotals t;
    // Only a selected folder or group row can hold another selected row: a selection of files
    // alone (every file of a type, Select All in the File View) is not looked up at all.
    std::unordered_set<const FileNode*> foldersWithSelectedGroup;
    bool anyFolder = false;
    for (const FileNode* node : selection) {
        anyFolder = anyFolder || node->isDir();
        if (node->isSyntheticGroup() && node->parent()) foldersWithSelectedGroup.insert(node->parent());
    }
    size_t seen = 0;
    for (const FileNode* node : selection) {
        if ((++seen & 0xFFFF) == 0 && isCancelled(cancel)) break;
        // A row drawn deleted is gone from disk and from its folders' totals: it adds nothing.
        if (node->isDeleted()) continue;
        const bool held = anyFolder && heldBySelectedRow(node, selected, foldersWithSelectedGroup);
        // The File View counts its selected rows; sizes count each file once everywhere.
        if (mode == SelectionCountMode::nodes) ++t.count;
        if (held) continue;
        t.bytes = saturatingAdd(t.bytes, node->effectiveSize());
        t.alloc = saturatingAdd(t.alloc, node->effectiveAllocSize());
        if (mode == SelectionCountMode::filesBelowFolders) t.count += node->isDir() ? node->subFolderFileCount() : 1;
    }
    return t;
}

}  // namespace

SelectionTotals selectionTotals(std::span<FileNode* const> selection, SelectionCountMode mode) {
    const std::unordered_set<const FileNode*> set(selection.begin(), selection.end());
    return addUp(selection, [&](const FileNode* n) { return set.count(n) != 0; }, mode, nullptr);
}

SelectionTotals selectionTotals(const QSet<FileNode*>& selection, SelectionCountMode mode, const CancelFlag* cancel) {
    return addUp(selection, [&](const FileNode* n) { return selection.contains(const_cast<FileNode*>(n)); }, mode, cancel);
}

QString selectionSummaryText(const SelectionTotals& t, const SizeTextFormat& size) {
    return fillPlaceholders(localized("Selected Files: %@  Total Size: %@  Allocated: %@"),
                            {groupedCount(t.count), size(t.bytes), size(t.alloc)});
}

QString selectionSummaryText(std::span<FileNode* const> selection, SelectionCountMode mode, const QString& rootLabel,
                             const SizeTextFormat& size) {
    if (selection.empty()) return rootLabel;
    return selectionSummaryText(selectionTotals(selection, mode), size);
}

QString fileViewTotalsText(int64_t count, bool includeFolders, int64_t totalSize, int64_t totalAlloc,
                           const SizeTextFormat& size) {
    return fillPlaceholders(localized("(%@ %@  Total Size: %@  Allocated: %@)"),
                            {groupedCount(count), includeFolders ? localized("items") : localized("files"),
                             size(totalSize), size(totalAlloc)});
}

QString percentText(int64_t part, int64_t total) {
    if (total < 1) return QStringLiteral("0.0%");
    return fixedC(double(part) / double(total) * 100.0, 1) + QLatin1Char('%');
}

}  // namespace zelvane
