#pragma once

#include <QByteArray>
#include <QMimeData>

#include <memory>

namespace zelvane {

// Files put on the clipboard by a copy: their list of URLs ("text/uri-list") and the desktop file
// managers' list of copied files. The URL list is made once, where the copy is made (on the thread
// pool for a large one), and every paste is handed those very bytes; the file managers' list is made
// from it when asked for. A copy of hundreds of thousands of files thus keeps each URL once, as its
// bytes, instead of as a URL object in a list of variants and again in the file managers' list
// (about 1.6 KB a file), and a paste of ten million no longer has the window lay out 1.7 GB anew.
class CopiedFilesMimeData final : public QMimeData {
public:
    // Adds a URL, given encoded.
    void append(const QByteArray& encodedUrl);
    // Gives back the buffer's spare room once every URL is in.
    void finish() { urls_.squeeze(); }
    bool isEmpty() const { return urls_.isEmpty(); }

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QByteArray urls_;  // the URL list as pasted: each URL encoded and followed by CR LF
};

// Text for the clipboard held as its UTF-8 bytes, which a program pasting it is handed as they are.
// Held as text, every paste converted all of it again on the GUI thread (over a second for the
// paths of ten million files) and it took twice the room meanwhile.
std::unique_ptr<QMimeData> plainTextMimeData(const QByteArray& utf8);

}  // namespace zelvane
