#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

class Preferences;

// The interface languages a user can pin the program to, and the choice of the strings table.
namespace AppLanguages {

struct Language {
    QString code;  // "de", "pt-BR", "zh-Hans"
    QString name;  // the language's name in that language
    bool operator==(const Language&) const = default;
};

// The 30 languages offered, each named in its own language (with script or region where the code
// has them, so the two Chinese scripts differ), sorted by name as the user's locale sorts text;
// equal names keep the order of the code table. Made once per process.
const std::vector<Language>& supportedLanguages();
// The codes in the table's own order.
const QStringList& supportedLanguageCodes();

// A code's name in its own language; the code itself when none is known.
QString nativeName(const QString& code);

// Whether the text has the shape of a language code: two or three letters, then any number of
// "-" and two to eight letters or digits. Only such a code is ever used in a file path.
bool isWellFormedCode(const QString& code);

// Writes "AppleLanguages" from "appLanguageOverride": removed for "system" and for anything that is
// not a well-formed code, else a list of the one code (whether or not it is offered).
void applyLanguageOverride(Preferences& preferences);

// The languages to try for the interface, best first: "AppleLanguages", then the system's
// languages, then English. Only well-formed codes; "_" read as "-".
QStringList preferredLanguages(const Preferences& preferences, const QStringList& systemLanguages);

// The table folder to use for the preferred languages among those available (names as the
// folders give them, without ".lproj"); none when English comes first or nothing matches. A code
// matches its own folder, then the folder of a shorter form ("zh-Hans-CN" -> "zh-Hans"), then the
// script its region writes ("zh-TW" -> "zh-Hant"), then any folder of the same language.
std::optional<QString> resolveTableLanguage(const QStringList& preferred, const QStringList& available);

// The "<code>.lproj" folders under `resourcesDir` that hold a Localizable.strings.
QStringList availableTableLanguages(const QString& resourcesDir);

// Reads `<resourcesDir>/<language>.lproj/Localizable.strings`; problems go to `problems` as
// "file:line: message". A translation whose placeholders differ from its key's, or that is blank,
// is left out (with a problem naming it), so that text shows in English. None when the code is
// not well formed, the file cannot be read or nothing of it can be used.
std::shared_ptr<const StringsTable> loadStringsTable(const QString& resourcesDir, const QString& language,
                                                     QStringList* problems = nullptr);

}  // namespace AppLanguages
}  // namespace zelvane
