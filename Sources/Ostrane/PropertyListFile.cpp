#include "Ostrane/PropertyListFile.hpp"

#include <QFile>
#include <QFileInfo>

namespace ostrane {

namespace {

// Settings and string tables are kilobytes; a file far beyond that is not one of ours.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

}  // namespace

PropertyListFile PropertyListFile::read(const QString& path) {
    // Only a regular file: opening a FIFO planted in its place would wait for a writer forever.
    if (!QFileInfo(path).isFile()) return PropertyListFile(nullptr);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return PropertyListFile(nullptr);
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.isEmpty() || data.size() > kMaxFileSize) return PropertyListFile(nullptr);
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    return PropertyListFile(root);
}

PropertyListFile::~PropertyListFile() {
    if (root_) plist_free(root_);
}

}  // namespace ostrane
