#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

// The texts the program looks up, read from its sources, and the comparison of a translation
// table with them. A key is collected where the code writes it: the literal argument of
// `localized(...)` (adjacent literals joined, escapes decoded as the compiler does) or of the
// marker `textKey(...)`, which keys written into tables and arrays carry.
namespace zelvane::texts {

struct CollectedTexts {
    // Each key with the places ("file:line") that name it.
    QMap<QString, QStringList> keys;
    // `localized(...)` calls whose argument is no literal: their keys must be marked where written.
    QStringList indirectLookups;
    // Every string literal of the sources, looked up or not.
    QSet<QString> literals;
};

// Collects from one file's text; `place` names it in the results.
void collectFromSource(const QByteArray& source, const QString& place, CollectedTexts& into);
// Every .cpp and .hpp below `sourceRoot`.
CollectedTexts collectFromTree(const QString& sourceRoot);


struct TableReport {
    QStringList missing;  // looked-up keys the table lacks
    QStringList unused;   // keys of the table nobody looks up (or kept in English on purpose)
    QStringList placeholderMismatches;  // "key -> value" whose placeholders differ
    QStringList problems;  // lines the reader could not take
    bool clean() const {
        return missing.isEmpty() && unused.isEmpty() && placeholderMismatches.isEmpty() && problems.isEmpty();
    }
};

// Compares a table with the keys to translate; `untranslated` are keys shown in English on purpose.
TableReport compareTable(const QHash<QString, QString>& table, const QList<QString>& keysToTranslate,
                         const QStringList& untranslated);

// A key or value written as a strings-file literal, escapes included, for messages and templates.
QString quotedForStringsFile(const QString& text);

}  // namespace zelvane::texts
