#include "Ostrane/AskpassStrings.hpp"

#include <QRegularExpression>

namespace ostrane {

namespace {

// Marks the texts the main program's translation tables must hold for this dialog.
constexpr const char* textKey(const char* english) { return english; }

const char* const kTitle = textKey("ZelvaneMac Administrator Access");
const char* const kOk = textKey("OK");
const char* const kCancel = textKey("Cancel");

// The longest registered language tags stay well below this; anything longer is not a tag.
constexpr qsizetype kMaxLanguageCodeLength = 64;

QStringList nonEmptyPieces(const QString& language) {
    return language.split(QLatin1Char('-'), Qt::SkipEmptyParts);
}

}  // namespace

AskpassStrings AskpassStrings::english() {
    return {QString::fromUtf8(kTitle), QString::fromUtf8(kOk), QString::fromUtf8(kCancel)};
}

QString askpassPrompt(const QStringList& arguments) {
    return arguments.size() > 1 ? arguments[1] : QStringLiteral("Password:");
}

bool isSafeLanguageCode(const QString& code) {
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z]{1,8}([-_][A-Za-z0-9]{1,8})*$"));
    return code.size() <= kMaxLanguageCodeLength && shape.match(code).hasMatch();
}

QStringList tableCandidates(const QString& language) {
    const QStringList pieces = nonEmptyPieces(language);
    if (language.startsWith(QLatin1String("zh"))) {
        const QString script = pieces.size() >= 2 ? pieces[1] : QStringLiteral("Hans");
        return {language, QStringLiteral("zh-") + script};
    }
    const QString base = pieces.isEmpty() ? language : pieces[0];
    // Norwegian Bokmål and Nynorsk share the one Norwegian table, as in the main program.
    if (base.compare(QLatin1String("nb"), Qt::CaseInsensitive) == 0 || base.compare(QLatin1String("nn"), Qt::CaseInsensitive) == 0)
        return {language, QStringLiteral("no")};
    return {language, base};
}

bool isEnglish(const QString& language) {
    const QStringList pieces = nonEmptyPieces(language);
    return !pieces.isEmpty() && pieces[0].compare(QLatin1String("en"), Qt::CaseInsensitive) == 0;
}

QStringList preferredLanguages(const QStringList& mainProgramLanguages, const QStringList& systemLanguages) {
    QStringList out;
    for (const QStringList* list : {&mainProgramLanguages, &systemLanguages}) {
        for (const QString& language : *list) {
            if (isSafeLanguageCode(language)) out << language;
        }
    }
    out << QStringLiteral("en");
    return out;
}

AskpassStrings localizedAskpassStrings(const QString& folder, const QStringList& languages,
                                       const StringTableReader& readTable) {
    const AskpassStrings english = AskpassStrings::english();
    for (const QString& language : languages) {
        if (!isSafeLanguageCode(language)) continue;
        // The keys are the English texts, so English needs no table: without this, a user who
        // chose English in the main program would be asked in the system's language.
        if (isEnglish(language)) return english;
        for (const QString& candidate : tableCandidates(language)) {
            const std::optional<StringTable> table =
                readTable(folder + QLatin1Char('/') + candidate + QStringLiteral(".lproj/Localizable.strings"));
            if (!table) continue;
            return {table->value(english.title, english.title), table->value(english.ok, english.ok),
                    table->value(english.cancel, english.cancel)};
        }
    }
    return english;
}

}  // namespace ostrane
