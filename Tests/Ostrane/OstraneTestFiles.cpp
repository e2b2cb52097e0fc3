#include "OstraneTestFiles.hpp"

#include <stdexcept>

#include "QtFileContents.hpp"

namespace ostrane_test {

bool writeFile(const QString& path, const QByteArray& bytes) {
    try {
        zelvane::testsupport::writeFile(path, bytes);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QByteArray xmlEscaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

QByteArray stringsQuoted(const QString& text) {
    QString escaped = text;
    escaped.replace("\\", "\\\\").replace("\"", "\\\"");
    return "\"" + escaped.toUtf8() + "\"";
}

bool writeStringTable(const QString& folder, const QString& language, const QMap<QString, QString>& entries) {
    QByteArray text = "/* Administrator access */\n";
    for (auto it = entries.begin(); it != entries.end(); ++it)
        text += stringsQuoted(it.key()) + " = " + stringsQuoted(it.value()) + ";\n";
    return writeFile(folder + "/" + language + ".lproj/Localizable.strings", text);
}

bool writeSettings(const QString& path, const QByteArray& key, const QByteArray& xmlValue) {
    return writeFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n<key>" +
                               key + "</key>" + xmlValue + "\n</dict>\n</plist>\n");
}

}  // namespace ostrane_test
