#include "FileTypesCSVExporter.hpp"

#include "Localization.hpp"

#include <QMimeDatabase>
#include <QMimeType>

#include <unicode/ustring.h>

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

}  // namespace zelvane
