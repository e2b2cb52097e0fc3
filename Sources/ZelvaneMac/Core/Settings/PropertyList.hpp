#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

namespace zelvane {

// Property lists as the preference store, "Settings.plist" and "Overrides.plist" use them: a
// dictionary at the top, values of the types below. Reading takes XML and binary lists; writing
// always produces XML.
//
//   plist        QVariant
//   boolean      bool
//   integer      qlonglong (signed 64-bit; larger unsigned values wrap, as the format stores 64 bits)
//   real         double
//   string       QString
//   data         QByteArray
//   date         QDateTime (UTC)
//   array        QVariantList
//   dict         QVariantMap
//
// Values of any other QVariant type cannot be written and are left out of the output.
namespace PropertyList {

// A dictionary from the bytes of an XML or binary list; none when the bytes are not a property
// list or the top level is not a dictionary. Empty input is an empty dictionary. Arrays and
// dictionaries nested deeper than `kMaxNesting` make the bytes no property list of ours: they are
// refused before the parser, which descends by recursion, sees them.
inline constexpr int kMaxNesting = 64;
std::optional<QVariantMap> dictionaryFromData(const QByteArray& data);

// The XML form of the dictionary.
QByteArray xmlFromDictionary(const QVariantMap& dictionary);

// True when `value` (nested values included) consists only of the types above.
bool isStorable(const QVariant& value);

struct ReadResult {
    std::optional<QVariantMap> dictionary;  // none on failure
    QString error;                          // why, when it failed
    bool couldNotRead = false;  // the failure was the reading, not the bytes read: missing, not a regular file, refused
};
// A missing file is a failure like any other; callers that treat it as "nothing set" check first.
// Only a regular file is read: a FIFO, a device or a socket at `path` is refused at once.
ReadResult readFile(const QString& path);

// Written to a temporary file in the same folder and renamed over `path` only after every write
// and the close succeeded, so an earlier good file survives any failure. A symbolic link at `path`
// is written through, unless `replaceLink`: then the link itself is replaced and the file it
// names is left alone. Empty on success, else the reason.
QString writeFile(const QString& path, const QVariantMap& dictionary, bool replaceLink = false);

// Whether arrays and dictionaries in the bytes (XML or binary) nest deeper than `limit`; bytes
// that cannot be followed that far count as not too deep (the parser then judges them).
bool nestsDeeperThan(const QByteArray& data, int limit);

}  // namespace PropertyList
}  // namespace zelvane
