#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvane {

// The texts last used in one filter field, most recent first, stored as a JSON array of strings.
namespace FilterFieldHistory {
inline constexpr int kMaxEntries = 20;
// The text trimmed and put first; an entry equal to it ignoring case (the first such) goes; at most
// 20 entries. A blank text leaves the history as it is.
QStringList recording(const QString& text, const QStringList& history);
// Compact JSON; "[]" if it cannot be made.
QString encode(const QStringList& history);
// Text that is not a JSON array of strings (the empty text included) gives an empty list.
QStringList decode(const QString& json);
}  // namespace FilterFieldHistory

// The colouring of comparison and path terms in a filter field. Quoted runs are never coloured.
namespace FilterSyntaxHighlighter {
// (start, length) in UTF-16 units, in text order.
QList<QPoint> highlightedRanges(const QString& text);
}  // namespace FilterSyntaxHighlighter

// The row cap of the file list as the picker offers it; the stored value is the raw text.
enum class MaxFilesOption { all, oneHundred, oneThousand, tenThousand, hundredThousand };
inline constexpr MaxFilesOption kAllMaxFilesOptions[] = {MaxFilesOption::all, MaxFilesOption::oneHundred,
                                                         MaxFilesOption::oneThousand, MaxFilesOption::tenThousand,
                                                         MaxFilesOption::hundredThousand};
QString maxFilesRawValue(MaxFilesOption option);
// Exactly one of the five raw values ("ALL", "100", "1,000", "10,000", "100,000"); else none.
std::optional<MaxFilesOption> maxFilesOptionFromRaw(const QString& raw);
// A stored value read as the picker reads it: anything unrecognised is 1,000.
MaxFilesOption maxFilesOptionOrDefault(const QString& raw);
std::optional<int> maxFilesCap(MaxFilesOption option);
// "ALL" localised, or the number grouped in the current locale.
QString maxFilesDisplayLabel(MaxFilesOption option);

}  // namespace zelvane
