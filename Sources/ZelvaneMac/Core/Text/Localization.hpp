#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace zelvane {

// Every fixed text a user sees is looked up with its English text as the key; paths, names and
// numbers are filled in after the lookup. Without a table, or for a key the table lacks, the key
// itself is the text.
QString localized(const char* englishKey);
QString localized(const QString& englishKey);

// Marks an English text that is looked up later rather than where it is written (a table of titles,
// a label picked at run time), so the check of the translation tables finds it.
constexpr const char* textKey(const char* english) { return english; }

// One language's translations, read from its "Localizable.strings".
struct StringsTable {
    QString language;  // as its folder names it: "de", "pt-BR", "zh-Hans"
    QHash<QString, QString> entries;
};

// The table `localized` reads from now on; none for English. The program installs one at start-up,
// before its first window; it stays valid for callers that hold texts looked up earlier.
void installStringsTable(std::shared_ptr<const StringsTable> table);
std::shared_ptr<const StringsTable> installedStringsTable();

// A value for a format: text, a whole number or a decimal number.
using FormatArgument = std::variant<QString, int64_t, double>;

// Fills a looked-up format: "%@" takes text, "%d" (also %i, %ld, %lld, %u, %lu, %llu) a whole
// number, "%f" or "%.Nf" a decimal number with N places (6 without), always with a "." and no
// grouping; "%%" is a percent sign. "%2$@" and the like take the argument of that position, so a
// translation may reorder them. A number given for "%@" is written out; text given for a number is
// inserted as it is. A placeholder without an argument, or one not understood, stays as written.
// In a format written right to left (Arabic, Hebrew), text that holds spaces, punctuation or
// symbols is set between two marks of its own direction (U+200E, or U+200F for text that starts
// right to left), so that "5.8 MB", "/tmp/x" or "(1).pdf" keep their written order inside the
// sentence; text of letters and digits alone reads correctly as it is and is inserted unchanged.
// A format's direction is that of its first letter outside the placeholders; one without any
// ("«%@»: %@") reads in the direction of the installed table's language.
QString fillFormat(const QString& format, std::initializer_list<FormatArgument> arguments);

// One placeholder of a format, as `fillFormat` reads it.
struct FormatPlaceholder {
    qsizetype start = 0;   // index of its "%"
    qsizetype length = 0;  // characters it spans, the kind included
    size_t argument = 0;   // the argument it takes: its position, or the next in turn
    bool positional = false;
    QChar kind;                  // '@', 'd', 'i', 'u', 'f', or what stood there instead (none at the end)
    std::optional<int> places;   // the N of "%.Nf"
    bool known() const {
        return kind == u'@' || kind == u'd' || kind == u'i' || kind == u'u' || kind == u'f';
    }
};

// The placeholders of a format in order; "%%" is a percent sign and gives none. A placeholder whose
// kind is not understood takes no argument from the sequence.
std::vector<FormatPlaceholder> formatPlaceholders(const QString& format);

// What a format asks of its arguments: for each position the kind it takes ("1:@" text, "2:d" whole
// number, "3:f" or "3:.2f" decimal), sorted by position, then the placeholders `fillFormat` would
// leave unfilled ("%s") as written. A translation fills correctly only when its signature equals
// its key's; a percent sign before a space or punctuation is text and not listed.
QStringList placeholderSignature(const QString& format);

// The texts-only form: every value is text.
QString fillPlaceholders(QString format, std::initializer_list<QString> values);

}  // namespace zelvane
