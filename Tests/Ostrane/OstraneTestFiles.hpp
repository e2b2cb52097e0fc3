#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Files the prompt reads, written as the main program ships and stores them.
namespace ostrane_test {

// Replaces `path` with these bytes (folders on the way made); whether that worked.
bool writeFile(const QString& path, const QByteArray& bytes);

QByteArray xmlEscaped(const QString& text);
QByteArray stringsQuoted(const QString& text);

// A language's string table as the bundle ships it: <folder>/<lang>.lproj/Localizable.strings.
bool writeStringTable(const QString& folder, const QString& language, const QMap<QString, QString>& entries);

// The main program's preference file with one entry, its XML value given as it is.
bool writeSettings(const QString& path, const QByteArray& key, const QByteArray& xmlValue);

}  // namespace ostrane_test
