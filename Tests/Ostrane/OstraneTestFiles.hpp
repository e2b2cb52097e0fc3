#pragma once

#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>

// Files the prompt reads, written as the main program ships and stores them.
namespace ostrane_test {

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray xmlEscaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

inline QByteArray stringsQuoted(const QString& text) {
    QString escaped = text;
    escaped.replace("\\", "\\\\").replace("\"", "\\\"");
    return "\"" + escaped.toUtf8() + "\"";
}

// A language's string table as the bundle ships it: <folder>/<lang>.lproj/Localizable.strings.
inline bool writeStringTable(const QString& folder, const QString& language, const QMap<QString, QString>& entries) {
    QByteArray text = "/* Administrator access */\n";
    for (auto it = entries.begin(); it != entries.end(); ++it)
        text += stringsQuoted(it.key()) + " = " + stringsQuoted(it.value()) + ";\n";
    return writeFile(folder + "/" + language + ".lproj/Localizable.strings", text);
}

// The main program's preference file with one entry, its XML value given as it is.
inline bool writeSettings(const QString& path, const QByteArray& key, const QByteArray& xmlValue) {
    return writeFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n<key>" +
                               key + "</key>" + xmlValue + "\n</dict>\n</plist>\n");
}

}  // namespace ostrane_test
