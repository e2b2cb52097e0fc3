#include "Ostrane/PropertyListFile.hpp"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrane {

namespace {

// Settings and string tables are kilobytes; a file far beyond that is not one of ours.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

}  // namespace

PropertyListFile PropertyListFile::read(const QString& path) {
    // Only a regular file, judged by what was opened (without waiting: opening a FIFO planted in
    // its place would wait for a writer forever), so nothing swapped in after a look is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return PropertyListFile(nullptr);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return PropertyListFile(nullptr);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) return PropertyListFile(nullptr);
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
