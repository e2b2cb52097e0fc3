#include "ZelvaneMac/Core/Text/AppLanguages.hpp"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <unicode/locdspnm.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ScanEngine/Support/LocalizedStandardCollator.hpp"
#include "ZelvaneMac/Core/Text/StringsFile.hpp"

namespace zelvane::AppLanguages {

namespace {

bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isAsciiLetterOrDigit(QChar c) { return isAsciiLetter(c) || (c >= u'0' && c <= u'9'); }

QString firstSubtag(const QString& code) { return code.section(u'-', 0, 0).toLower(); }

}  // namespace

const QStringList& supportedLanguageCodes() {
    static const QStringList codes{
        "en", "ar", "bg", "cs", "da", "de", "el", "es", "fi", "fr", "he", "hu", "id", "it", "ja",
        "ko", "nl", "no", "pl", "pt-BR", "ru", "sk", "sl", "sr", "sv", "th", "tr", "uk", "zh-Hans", "zh-Hant",
    };
    return codes;
}

QString nativeName(const QString& code) {
    const QByteArray id = QString(code).replace(u'-', u'_').toUtf8();
    const icu::Locale locale(id.constData());
    if (locale.isBogus()) return code;
    // Names as a menu shows them: "Français", not "français".
    UDisplayContext contexts[] = {UDISPCTX_CAPITALIZATION_FOR_UI_LIST_OR_MENU, UDISPCTX_DIALECT_NAMES};
    std::unique_ptr<icu::LocaleDisplayNames> names(icu::LocaleDisplayNames::createInstance(locale, contexts, 2));
    if (!names) return code;
    // ICU writes the bare code where it knows no name for the language.
    icu::UnicodeString language;
    names->languageDisplayName(locale.getLanguage(), language);
    if (language.isEmpty() || language.caseCompare(icu::UnicodeString(locale.getLanguage()), 0) == 0) return code;
    icu::UnicodeString name;
    names->localeDisplayName(locale, name);
    return QString(reinterpret_cast<const QChar*>(name.getBuffer()), name.length());
}

const std::vector<Language>& supportedLanguages() {
    static const std::vector<Language> languages = [] {
        std::vector<Language> list;
        list.reserve(30);
        for (const QString& code : supportedLanguageCodes()) list.push_back({code, nativeName(code)});
        const LocalizedStandardCollator collator;
        std::stable_sort(list.begin(), list.end(), [&](const Language& a, const Language& b) {
            return collator.compare(std::u16string_view(reinterpret_cast<const char16_t*>(a.name.utf16()), size_t(a.name.size())),
                                    std::u16string_view(reinterpret_cast<const char16_t*>(b.name.utf16()), size_t(b.name.size()))) < 0;
        });
        return list;
    }();
    return languages;
}

bool isWellFormedCode(const QString& code) {
    const QStringList parts = code.split(u'-');
    const QString& language = parts.front();
    if (language.size() < 2 || language.size() > 3 || !std::all_of(language.begin(), language.end(), isAsciiLetter))
        return false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.size() < 2 || part.size() > 8 || !std::all_of(part.begin(), part.end(), isAsciiLetterOrDigit))
            return false;
    }
    return true;
}

void applyLanguageOverride(Preferences& preferences) {
    const QString override = preferences.value(PreferenceKeys::appLanguageOverride);
    if (override == QLatin1String("system") || !isWellFormedCode(override)) {
        preferences.remove(QString::fromUtf8(PreferenceKeys::appleLanguages.name.data(),
                                             qsizetype(PreferenceKeys::appleLanguages.name.size())));
        return;
    }
    preferences.setStringList(PreferenceKeys::appleLanguages, {override});
}

QStringList preferredLanguages(const Preferences& preferences, const QStringList& systemLanguages) {
    QStringList out;
    const auto add = [&](QString code) {
        code.replace(u'_', u'-');
        if (isWellFormedCode(code) && !out.contains(code, Qt::CaseInsensitive)) out.append(code);
    };
    for (const QString& code : preferences.stringList(PreferenceKeys::appleLanguages)) add(code);
    for (const QString& code : systemLanguages) add(code);
    add(QStringLiteral("en"));
    return out;
}

std::optional<QString> resolveTableLanguage(const QStringList& preferred, const QStringList& available) {
    const auto find = [&](const QString& code) -> std::optional<QString> {
        for (const QString& folder : available)
            if (folder.compare(code, Qt::CaseInsensitive) == 0) return folder;
        return std::nullopt;
    };
    for (const QString& code : preferred) {
        const QString language = firstSubtag(code);
        // English is the text of the keys themselves.
        if (language == QLatin1String("en")) return std::nullopt;
        QStringList parts = code.split(u'-');
        while (!parts.isEmpty()) {
            if (auto hit = find(parts.join(u'-'))) return hit;
            parts.removeLast();
        }
        if (language == QLatin1String("zh")) {
            const QString upper = code.toUpper();
            const bool traditional = upper.contains(QLatin1String("-HANT")) || upper.endsWith(QLatin1String("-TW")) ||
                                     upper.endsWith(QLatin1String("-HK")) || upper.endsWith(QLatin1String("-MO"));
            if (auto hit = find(traditional ? QStringLiteral("zh-Hant") : QStringLiteral("zh-Hans"))) return hit;
        }
        if (language == QLatin1String("nb") || language == QLatin1String("nn")) {
            if (auto hit = find(QStringLiteral("no"))) return hit;
        }
        for (const QString& folder : available)
            if (firstSubtag(folder) == language) return folder;
    }
    return std::nullopt;
}

QStringList availableTableLanguages(const QString& resourcesDir) {
    QStringList out;
    const QDir dir(resourcesDir);
    for (const QString& entry : dir.entryList({QStringLiteral("*.lproj")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString code = entry.chopped(6);
        if (isWellFormedCode(code) && QFileInfo(dir.filePath(entry + QStringLiteral("/Localizable.strings"))).isFile())
            out.append(code);
    }
    return out;
}

std::shared_ptr<const StringsTable> loadStringsTable(const QString& resourcesDir, const QString& language,
                                                     QStringList* problems) {
    if (!isWellFormedCode(language)) return nullptr;
    const QString path = QDir(resourcesDir).filePath(language + QStringLiteral(".lproj/Localizable.strings"));
    StringsFileContents contents = readStringsFile(path);
    if (problems)
        for (const StringsFileProblem& problem : contents.problems)
            problems->append(QStringLiteral("%1:%2: %3").arg(path).arg(problem.line).arg(problem.message));
    // A translation that asks for other values than the code passes would show a raw "%2$@" or
    // lose a number, and a blank one would leave a button without a title: the English text is
    // better than either.
    bool dropped = false;
    for (auto it = contents.entries.begin(); it != contents.entries.end();) {
        const bool blank = it.value().trimmed().isEmpty() && !it.key().trimmed().isEmpty();
        if (!blank && placeholderSignature(it.key()) == placeholderSignature(it.value())) {
            ++it;
            continue;
        }
        if (problems)
            problems->append(QStringLiteral("%1: the translation of \"%2\" %3; the English text is used")
                                 .arg(path, QString(it.key()).replace(u'\n', QStringLiteral("\\n")), blank ? QStringLiteral("is blank")
                                                            : QStringLiteral("has other placeholders than the text")));
        it = contents.entries.erase(it);
        dropped = true;
    }
    // Nothing usable and something wrong (a file that cannot be read, nothing but broken entries):
    // no table, as the password prompt decides too. An empty file is an empty table.
    if (contents.entries.isEmpty() && (dropped || !contents.problems.isEmpty())) return nullptr;
    auto table = std::make_shared<StringsTable>();
    table->language = language;
    table->entries = std::move(contents.entries);
    return table;
}

}  // namespace zelvane::AppLanguages
