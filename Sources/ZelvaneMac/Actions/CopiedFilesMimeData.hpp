#pragma once

#include <QByteArray>
#include <QMimeData>

#include <limits>
#include <memory>

namespace zelvane {

// The most bytes one type on the clipboard may hold. The desktop's clipboard hands a large paste
// over in pieces announced by a count that the programs reading it keep in a signed 32-bit number:
// from 2 GiB on, the whole content went out in one request that held the window for seconds, took
// gigabytes more, and crashed the program pasting it, which got nothing.
constexpr qsizetype kClipboardBytesLimit = std::numeric_limits<int>::max();

// Files put on the clipboard by a copy: their list of URLs ("text/uri-list", and the same as
// "text/plain") and the desktop file managers' list of copied files. Both are laid out in one buffer, once, where the copy is made (on
// the thread pool for a large one): "copy", then each URL on a line of its own. The file managers'
// list is that buffer; the URL list is the same bytes after "copy\n", handed out as a view that shares
// the buffer. A paste of either, of ten million files, thus costs the window nothing that grows with
// the list, and the copy keeps each URL once.
class CopiedFilesMimeData final : public QMimeData {
public:
    CopiedFilesMimeData();

    // Adds a URL, given encoded.
    void append(const QByteArray& encodedUrl);
    // Gives back the buffer's spare room once every URL is in.
    void finish() { files_.squeeze(); }
    bool isEmpty() const;
    // The bytes of the file managers' list, the larger of the two types.
    qsizetype size() const { return files_.size(); }

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    // "copy", then each URL after a '\n'; an encoded URL holds no line break. The URL list's readers
    // take LF-ended lines as well as CR LF ones.
    QByteArray files_;
};

// Text for the clipboard held as its UTF-8 bytes, which a program pasting it is handed as they are.
// Held as text, every paste converted all of it again on the GUI thread (over a second for the
// paths of ten million files) and it took twice the room meanwhile.
std::unique_ptr<QMimeData> plainTextMimeData(const QByteArray& utf8);

}  // namespace zelvane
