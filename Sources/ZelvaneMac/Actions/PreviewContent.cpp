#include "ZelvaneMac/Actions/PreviewContent.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStringDecoder>

#include "Platform/FileMoves.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

namespace {

class Fd final {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QByteArray readHead(int fd, int64_t limit) {
    QByteArray data;
    data.resize(qsizetype(limit));
    qsizetype got = 0;
    while (got < data.size()) {
        ssize_t n = pread(fd, data.data() + got, size_t(data.size() - got), off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    data.resize(got);
    return data;
}

bool looksLikeText(const QMimeType& mime, const QByteArray& head) {
    if (head.contains('\0')) return false;
    return mime.inherits(QStringLiteral("text/plain")) || head.isEmpty() ||
           mime.name() == QLatin1String("application/octet-stream");
}

}  // namespace

PreviewContent loadPreviewContent(const std::string& path, QSize imageBound) {
    PreviewContent out;
    out.displayName = qStringFromPathBytes(lastComponent(path));
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        out.typeDescription = localized("The item is no longer there.");
        out.iconName = QStringLiteral("dialog-warning");
        return out;
    }
    QMimeDatabase mimes;
    out.kind = PreviewContent::Kind::facts;
    if (S_ISDIR(st.st_mode)) {
        out.isDir = true;
        QMimeType folder = mimes.mimeTypeForName(QStringLiteral("inode/directory"));
        out.typeDescription = folder.isValid() ? folder.comment() : localized("Folder");
        out.iconName = QStringLiteral("folder");
        return out;
    }
    if (S_ISLNK(st.st_mode)) {
        QMimeType link = mimes.mimeTypeForName(QStringLiteral("inode/symlink"));
        out.typeDescription = link.isValid() ? link.comment() : localized("Symbolic link");
        out.iconName = QStringLiteral("emblem-symbolic-link");
        out.size = st.st_size;
        return out;
    }
    out.size = st.st_size;
    if (!S_ISREG(st.st_mode)) {
        out.typeDescription = localized("Special file");
        out.iconName = QStringLiteral("text-x-generic");
        return out;
    }
    // Regular files only are opened: a pipe or device could block or have effects when read.
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    QByteArray head = fd.get() >= 0 ? readHead(fd.get(), kPreviewTextBytes) : QByteArray();
    QMimeType mime = mimes.mimeTypeForFileNameAndData(out.displayName, head);
    out.typeDescription = mime.comment();
    out.iconName = mime.iconName();
    if (fd.get() < 0) return out;

    if (mime.name().startsWith(QLatin1String("image/"))) {
        QFile file;
        if (file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            QImageReader reader(&file);
            reader.setAutoTransform(true);
            QSize size = reader.size();
            if (size.isValid() && (size.width() > imageBound.width() || size.height() > imageBound.height()))
                reader.setScaledSize(size.scaled(imageBound, Qt::KeepAspectRatio));
            QImage image = reader.read();
            if (!image.isNull()) {
                out.kind = PreviewContent::Kind::image;
                out.image = std::move(image);
                return out;
            }
        }
    }
    if (looksLikeText(mime, head)) {
        QStringDecoder decode(QStringDecoder::Utf8);
        out.text = decode(head);
        out.textTruncated = st.st_size > head.size();
        out.kind = PreviewContent::Kind::text;
    }
    return out;
}

}  // namespace zelvane
