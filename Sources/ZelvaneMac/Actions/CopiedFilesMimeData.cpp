#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"

#include <QStringList>
#include <QVariant>

namespace zelvane {

namespace {

QString uriListType() { return QStringLiteral("text/uri-list"); }
// Programs that paste text are handed the list of URLs as it is, encoded. Left to the platform, a
// request for text made the URLs anew from the list, decoded, on the GUI thread: ten million of
// them held the window for twenty seconds and took gigabytes, for each request (clipboard managers
// ask for text at every copy); and a decoded name holding a line break read as two lines.
QString plainTextType() { return QStringLiteral("text/plain"); }
// File managers of the desktop take copied files from this type; "copy" (not "cut") keeps the
// originals where they are.
QString copiedFilesType() { return QStringLiteral("x-special/gnome-copied-files"); }

constexpr char kCopyLine[] = "copy";
constexpr qsizetype kUrlsFrom = sizeof(kCopyLine);  // after "copy" and its '\n'

// The bytes of `whole` from `from` on, sharing its buffer: no copy is made, and the buffer lives as
// long as the part does, so a paste still being handed out in pieces (a large one over X11 is)
// reads whole bytes even when a newer copy has replaced this one on the clipboard meanwhile.
QByteArray sharedTail(const QByteArray& whole, qsizetype from) {
    QByteArray part = whole;  // one more reference to the same buffer
    QByteArray::DataPointer& bytes = part.data_ptr();
    bytes.setBegin(bytes.data() + from);
    bytes.size -= from;
    return part;
}

}  // namespace

CopiedFilesMimeData::CopiedFilesMimeData() : files_(kCopyLine) {}

void CopiedFilesMimeData::append(const QByteArray& encodedUrl) {
    files_ += '\n';
    files_ += encodedUrl;
}

bool CopiedFilesMimeData::isEmpty() const { return files_.size() < kUrlsFrom; }

QStringList CopiedFilesMimeData::formats() const {
    if (isEmpty()) return {};
    return {uriListType(), copiedFilesType(), plainTextType()};
}

bool CopiedFilesMimeData::hasFormat(const QString& mimeType) const {
    return !isEmpty() && (mimeType == uriListType() || mimeType == copiedFilesType() || mimeType == plainTextType());
}

QVariant CopiedFilesMimeData::retrieveData(const QString& mimeType, QMetaType) const {
    if (isEmpty()) return {};
    if (mimeType == uriListType() || mimeType == plainTextType()) return sharedTail(files_, kUrlsFrom);
    if (mimeType == copiedFilesType()) return files_;
    return {};
}

std::unique_ptr<QMimeData> plainTextMimeData(const QByteArray& utf8) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("text/plain"), utf8);
    return data;
}

}  // namespace zelvane
