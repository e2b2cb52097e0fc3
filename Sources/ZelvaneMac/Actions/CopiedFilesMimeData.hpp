#pragma once

#include <QByteArray>
#include <QMimeData>

#include <memory>

namespace zelvane {

// Files put on the clipboard by a copy: their list of URLs ("text/uri-list") and the desktop file
// managers' list of copied files, both made when asked for from one buffer of encoded URLs. A
// copy of hundreds of thousands of files thus keeps each URL once, as its bytes, instead of as a
// URL object in a list of variants and again in the file managers' list (about 1.6 KB a file).
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
    QByteArray urls_;  // each URL encoded and followed by '\n'
};

// Text for the clipboard held as its UTF-8 bytes, which a program pasting it is handed as they are.
// Held as text, every paste converted all of it again on the GUI thread (over a second for the
// paths of ten million files) and it took twice the room meanwhile.
std::unique_ptr<QMimeData> plainTextMimeData(const QByteArray& utf8);

}  // namespace zelvane
