#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace ostrane {

// The three texts of the password dialog. The English texts are also the keys under which the main
// program's string tables hold their translations.
struct AskpassStrings {
    QString title;
    QString ok;
    QString cancel;

    static AskpassStrings english();
    bool operator==(const AskpassStrings&) const = default;
};

// One language's string table: English text -> translation.
using StringTable = QHash<QString, QString>;
// Reads the table at a path; none when the file is missing, unreadable or not a dictionary of
// strings to strings.
using StringTableReader = std::function<std::optional<StringTable>(const QString& path)>;

// sudo's prompt: the first argument after the program's own path; "Password:" without one.
QString askpassPrompt(const QStringList& arguments);

// A language code is used as part of a file path, so only the shape of a language tag passes:
// letters, then pieces of letters and digits joined by "-" or "_". Nothing that could name another
// folder ("..", "/", an empty piece) gets through.
bool isSafeLanguageCode(const QString& code);

// The two table names tried for one language, in order (both kept even when equal):
//   "zh..."     : the code itself, then "zh-" + its second piece ("zh-Hans" for a bare "zh");
//   "nb", "nn"  : the code itself, then "no";
//   other       : the code itself, then its first piece ("pt-BR" -> "pt").
QStringList tableCandidates(const QString& language);

// Whether the code names English ("en", "en-GB"): its texts are the keys themselves.
bool isEnglish(const QString& language);

// The languages in the order they are tried: the main program's choice, then the system's
// preferred languages, then "en". Duplicates are kept; unsafe codes are dropped.
QStringList preferredLanguages(const QStringList& mainProgramLanguages, const QStringList& systemLanguages);

// The first table that reads, among "<folder>/<candidate>.lproj/Localizable.strings" for each
// language's candidates, decides every text; a key it lacks falls back to English. English met
// before any table that reads, or no table reads: English.
AskpassStrings localizedAskpassStrings(const QString& folder, const QStringList& languages,
                                       const StringTableReader& readTable);

}  // namespace ostrane
