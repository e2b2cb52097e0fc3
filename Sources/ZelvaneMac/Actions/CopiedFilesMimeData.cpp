#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"

#include <QStringList>
#include <QVariant>

namespace zelvane {

namespace {

QString uriListType() { return QStringLiteral("text/uri-list"); }
// File managers of the desktop take copied files from this type; "copy" (not "cut") keeps the
// originals where they are.
QString copiedFilesType() { return QStringLiteral("x-special/gnome-copied-files"); }

}  // namespace

void CopiedFilesMimeData::append(const QByteArray& encodedUrl) {
    // One URL a line, each line ended by CR LF; an encoded URL holds neither.
    urls_ += encodedUrl;
    urls_ += "\r\n";
}

QStringList CopiedFilesMimeData::formats() const {
    if (urls_.isEmpty()) return {};
    return {uriListType(), copiedFilesType()};
}

bool CopiedFilesMimeData::hasFormat(const QString& mimeType) const {
    return !urls_.isEmpty() && (mimeType == uriListType() || mimeType == copiedFilesType());
}

QVariant CopiedFilesMimeData::retrieveData(const QString& mimeType, QMetaType) const {
    if (urls_.isEmpty()) return {};
    if (mimeType == uriListType()) return urls_;
    if (mimeType == copiedFilesType()) {
        // "copy", then the URLs, each on a line of its own after it.
        QByteArray files;
        files.reserve(urls_.size() + 4);
        files += "copy";
        for (qsizetype from = 0; from < urls_.size();) {
            const qsizetype end = urls_.indexOf("\r\n", from);
            files += '\n';
            files.append(urls_.constData() + from, end - from);
            from = end + 2;
        }
        return files;
    }
    return {};
}

std::unique_ptr<QMimeData> plainTextMimeData(const QByteArray& utf8) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/plain"), utf8);
    return data;
}

}  // namespace zelvane
