#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// The reader of translation tables ("Localizable.strings"). It depends on Qt Core alone, so that
// the password prompt, which links nothing else of the program, can compile it too.
namespace zelvane {

struct StringsFileProblem {
    int line = 0;  // 1-based line where the broken entry starts
    QString message;
    bool operator==(const StringsFileProblem&) const = default;
};

struct StringsFileContents {
    QHash<QString, QString> entries;
    // What could not be read. Each broken entry is skipped up to the end of the line it started
    // on, and reading goes on, so one typo loses one entry, never the rest of the table.
    QList<StringsFileProblem> problems;
};

// The text of a table: `"key" = "value";` entries, keys and values quoted (or bare words of
// letters, digits and _ . - $ : /), `"key";` meaning the key is its own value, /* */ and //
// comments, and the escapes \" \\ \' \n \t \r \a \b \f \v, \0 and up to three octal digits, \uXXXX
// and \UXXXX (UTF-16 units, pairs joined). Encoded as UTF-8 (with or without a byte-order mark) or
// UTF-16 with a byte-order mark; an entry holding bytes that are not valid in that encoding is
// broken (a bad byte in a comment costs nothing). A key given twice keeps its last value.
StringsFileContents parseStringsFile(const QByteArray& data);

// The same for a file; a file that cannot be read gives one problem at line 0.
StringsFileContents readStringsFile(const QString& path);

}  // namespace zelvane
