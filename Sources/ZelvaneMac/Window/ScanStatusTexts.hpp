#pragma once

#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Core/Scanning/ScanState.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"

namespace zelvane {

// The top bar's line under the picker: progress while scanning, the outcome afterwards.
QString scanStatusText(const ScanState& state, std::optional<double> lastScanDuration);

// The access-denied note shows after a completed or cancelled scan that met refused folders.
bool accessDeniedNoteVisible(const ScanState& state, qsizetype deniedCount);

// The progress bar: the scan's share while scanning, full in every other state.
double scanProgressFraction(const ScanState& state);

// The alert's text after an import that left lines of its file out.
QString importShortfallText(const ImportShortfall& shortfall);


// A whole number with the user's locale's grouping.
QString groupedCount(int64_t n);

enum class SelectionCountMode { filesBelowFolders, nodes };

// What "Selected Files: ..." adds up. Rows drawn deleted add nothing, and a row inside a selected
// folder (or "[N Files in ...]" row) adds nothing more: each file is counted once.
struct SelectionTotals {
    int64_t count = 0;
    int64_t bytes = 0;
    int64_t alloc = 0;
};

// The totals of a selection. Any thread that may read the tree; a set `cancel` stops it early.
SelectionTotals selectionTotals(std::span<FileNode* const> selection, SelectionCountMode mode);
SelectionTotals selectionTotals(const QSet<FileNode*>& selection, SelectionCountMode mode, const CancelFlag* cancel = nullptr);

// "Selected Files: ..." for a non-empty selection; the model's root label for an empty one.
QString selectionSummaryText(std::span<FileNode* const> selection, SelectionCountMode mode, const QString& rootLabel,
                             const SizeTextFormat& size);
QString selectionSummaryText(const SelectionTotals& totals, const SizeTextFormat& size);

QString fileViewTotalsText(int64_t count, bool includeFolders, int64_t totalSize, int64_t totalAlloc,
                           const SizeTextFormat& size);

// "75.0%" of `part` in `total`, "0.0%" for a total below 1.
QString percentText(int64_t part, int64_t total);

// A localised format with one "%.Nf" filled in the C locale (Qt sets the process locale).
QString fillFixedPoint(const QString& format, double value);

}  // namespace zelvane
