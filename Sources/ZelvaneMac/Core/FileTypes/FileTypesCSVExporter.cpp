#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"

#include "Platform/FileReplacement.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

#include <QMimeDatabase>
#include <QMimeType>

#include <unicode/ustring.h>

#include <charconv>
#include <limits>

namespace zelvane {
namespace {

// Full upper-case mapping of the root locale, so "ß" gives "SS" and "i" gives "I" in every locale.
QString upperCasedIndependentOfLocale(const QString& text) {
    QString out(text.size() * 3 + 4, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strToUpper(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                   reinterpret_cast<const UChar*>(text.constData()),
                                   static_cast<int32_t>(text.size()), "", &status);
    if (U_FAILURE(status) || n < 0 || n > out.size()) return text.toUpper();
    out.truncate(n);
    return out;
}

template <typename T>
void appendNumber(std::string& out, T value) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, r.ptr);
}

void appendPercent(std::string& out, double value) {
    char buffer[400];  // room for any finite double in fixed notation
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    out.append(buffer, r.ptr);
}

}  // namespace

QString fileTypeDescription(const QString& extension) {
    if (extension.isEmpty()) return localized("(No Extension)");

    // Only a type named by a file-name pattern counts: the database's catch-all for unknown
    // data and folder types are no description of the extension.
    const QMimeDatabase db;
    const QList<QMimeType> types = db.mimeTypesForFileName(QStringLiteral("file.") + extension);
    for (const QMimeType& type : types) {
        if (!type.isValid() || type.isDefault() || type.name().startsWith(QLatin1String("inode/"))) continue;
        const QString comment = type.comment();
        if (!comment.isEmpty()) return comment;
    }
    return fillPlaceholders(localized("%@ File"), {upperCasedIndependentOfLocale(extension)});
}

std::string fileTypesCSVText(std::span<const ExtensionStats> stats, bool percentIsAllocatedBased) {
    int64_t sizeSum = 0;
    int64_t allocSum = 0;
    for (const ExtensionStats& s : stats) {
        sizeSum = saturatingAdd(sizeSum, s.totalSize);
        allocSum = saturatingAdd(allocSum, s.totalAlloc);
    }
    const int64_t sum = percentIsAllocatedBased ? allocSum : sizeSum;

    std::string out = "Extension,File Type,Percent,Size,Allocated,Files\n";
    out.reserve(out.size() + stats.size() * 64);
    for (const ExtensionStats& s : stats) {
        const int64_t basis = percentIsAllocatedBased ? s.totalAlloc : s.totalSize;
        const double percent = sum >= 1 ? double(basis) / double(sum) * 100.0 : 0.0;
        appendCSVQuoted(out, s.ext);
        out.push_back(',');
        appendCSVQuoted(out, fileTypeDescription(QString::fromStdString(s.ext)).toStdString());
        out.push_back(',');
        appendPercent(out, percent);
        out.push_back(',');
        appendNumber(out, s.totalSize);
        out.push_back(',');
        appendNumber(out, s.totalAlloc);
        out.push_back(',');
        appendNumber(out, s.fileCount);
        out.push_back('\n');
    }
    return out;
}

std::optional<FileTypesCSVExportError> exportFileTypesToCSV(std::span<const ExtensionStats> stats,
                                                            bool percentIsAllocatedBased, const std::string& path) {
    if (const int err = replaceFileContents(path, fileTypesCSVText(stats, percentIsAllocatedBased)))
        return FileTypesCSVExportError{err};
    return std::nullopt;
}

}  // namespace zelvane
