#include "QtFileContents.hpp"

#include <QFile>

#include <string>
#include <string_view>

namespace zelvane::testsupport {

namespace {

std::filesystem::path onDisk(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void writeFile(const QString& path, const QByteArray& bytes) {
    writeFile(onDisk(path), std::string_view(bytes.constData(), size_t(bytes.size())));
}

QByteArray readFile(const QString& path) {
    const std::string bytes = readFile(onDisk(path));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

}  // namespace zelvane::testsupport
