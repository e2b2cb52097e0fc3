#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "TextCatalog.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/StringsFile.hpp"

using namespace zelvane;
using namespace zelvane::texts;

namespace {

const QString kSources = QStringLiteral(ZELVANE_SOURCE_DIR "/Sources");
const QString kResources = QStringLiteral(ZELVANE_SOURCE_DIR "/Sources/ZelvaneMac/Resources");

CollectedTexts collect(const char* source) {
    CollectedTexts out;
    collectFromSource(QByteArray(source), QStringLiteral("x.cpp"), out);
    return out;
}

QStringList keysOf(const CollectedTexts& c) { return c.keys.keys(); }

}  // namespace

TEST(TextCollector, ReadsLiteralsAsTheCompilerJoinsAndDecodesThem) {
    const CollectedTexts c = collect(R"cpp(
#include "localized(\"not a key\")"
#define LABEL localized("macro body is skipped")
QString localized(const char* englishKey);
// localized("in a line comment")
/* localized("in a block comment") */
const char q = '"'; const char r = '\'';
int big = 1'000'000;
auto a = localized("Move \"%@\" to the " "Trash?");
auto b = localized(
    "File \u2192 Grant\n"
    "two\tlines");
auto c = localized(QStringLiteral("Wrapped"));
auto d = localized(u8"Prefixed");
auto e = localized(R"(Raw "quoted")");
const char* titles[] = {textKey("Marked"), textKey("Also " "marked")};
auto f = localized(titles[0]);
auto g = localized(condition ? "Chosen" : "at run time");
)cpp");
    EXPECT_EQ(keysOf(c), (QStringList{QStringLiteral("Also marked"), QStringLiteral("File \u2192 Grant\ntwo\tlines"),
                                      QStringLiteral("Marked"), QStringLiteral("Move \"%@\" to the Trash?"),
                                      QStringLiteral("Prefixed"), QStringLiteral("Raw \"quoted\""),
                                      QStringLiteral("Wrapped")}));
    EXPECT_EQ(c.keys.value(QStringLiteral("Move \"%@\" to the Trash?")), QStringList{QStringLiteral("x.cpp:9")});
    EXPECT_EQ(c.keys.value(QStringLiteral("Wrapped")), QStringList{QStringLiteral("x.cpp:13")});
    // Calls that name no literal are reported, so their keys can be marked where they are written.
    EXPECT_EQ(c.indirectLookups, (QStringList{QStringLiteral("x.cpp:17"), QStringLiteral("x.cpp:18")}));
}

TEST(TextCollector, PlaceholdersMatchByPositionAndKind) {
    const auto same = [](const char* key, const char* value) {
        return placeholderSignature(QString::fromUtf8(key)) == placeholderSignature(QString::fromUtf8(value));
    };
    // A translation may reorder by position, and use "%%" and a free-standing "%" as text.
    EXPECT_TRUE(same("Selected Files: %@  Total Size: %@", "Gesamt %2$@, Dateien %1$@"));
    EXPECT_TRUE(same("You are about to open %d %@", "%2$@ : %1$d"));
    EXPECT_TRUE(same("%.1f%% done", "fertig zu %.1f %%"));
    EXPECT_TRUE(same("Size: %@", "Taille : %@ (100 %)"));
    EXPECT_TRUE(same("%ld items", "%d Elemente"));
    // Lost, added, retyped or misspelt placeholders are mismatches.
    EXPECT_FALSE(same("%@ of %@", "%@"));
    EXPECT_FALSE(same("%@", "%@ %@"));
    EXPECT_FALSE(same("%d files", "%@ Dateien"));
    EXPECT_FALSE(same("%.1f", "%.2f"));
    EXPECT_FALSE(same("%@", "%s"));
    EXPECT_FALSE(same("%@ of %@", "%1$@ of %1$@"));
}

TEST(TextCollector, ReportsMissingUnusedAndMisfilledEntries) {
    const QHash<QString, QString> table{{"Scan", "Scannen"}, {"%@ File", "Datei"}, {"Old", "Alt"}, {"Zelvane", "Z"}};
    const TableReport r = compareTable(table, {"Scan", "%@ File", "Cancel", "Zelvane"}, {"Zelvane"});
    EXPECT_EQ(r.missing, QStringList{"Cancel"});
    EXPECT_EQ(r.unused, (QStringList{"Old", "Zelvane"}));
    EXPECT_EQ(r.placeholderMismatches, QStringList{"\"%@ File\" -> \"Datei\""});
    EXPECT_FALSE(r.clean());
}

// The check of the shipped tables: every language offered has a table that the program's own
// reader takes whole, holding exactly the texts the sources look up, with their placeholders.
// On failure the missing entries are printed ready to translate.
TEST(TextTables, EveryOfferedLanguageTranslatesEveryLookedUpText) {
    const CollectedTexts collected = collectFromTree(kSources);
    ASSERT_GT(collected.keys.size(), 100);

    const StringsFileContents kept = readStringsFile(kResources + QStringLiteral("/Untranslated.strings"));
    ASSERT_TRUE(kept.problems.isEmpty());
    QStringList untranslated = kept.entries.keys();
    untranslated.sort();
    for (const QString& key : untranslated)
        EXPECT_TRUE(collected.keys.contains(key) || collected.literals.contains(key))
            << "listed as untranslated but written nowhere: " << key.toStdString();

    QStringList offered = AppLanguages::supportedLanguageCodes();
    offered.removeAll(QStringLiteral("en"));
    const QStringList shipped = AppLanguages::availableTableLanguages(kResources);
    for (const QString& code : shipped)
        EXPECT_TRUE(offered.contains(code)) << "a table for a language the menu does not offer: " << code.toStdString();

    const QList<QString> keys = collected.keys.keys();
    for (const QString& code : offered) {
        SCOPED_TRACE(code.toStdString());
        const QString path = kResources + QLatin1Char('/') + code + QStringLiteral(".lproj/Localizable.strings");
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        const StringsFileContents table = readStringsFile(path);
        TableReport report = compareTable(table.entries, keys, untranslated);
        for (const StringsFileProblem& p : table.problems)
            report.problems << QStringLiteral("line %1: %2").arg(p.line).arg(p.message);
        QString message;
        for (const QString& key : report.missing)
            message += QStringLiteral("missing (%1): %2 = %2;\n")
                           .arg(collected.keys.value(key).value(0), quotedForStringsFile(key));
        for (const QString& key : report.unused) message += QStringLiteral("not looked up: %1\n").arg(quotedForStringsFile(key));
        for (const QString& m : report.placeholderMismatches) message += QStringLiteral("placeholders differ: %1\n").arg(m);
        for (const QString& p : report.problems) message += QStringLiteral("unreadable: %1\n").arg(p);
        EXPECT_TRUE(report.clean()) << message.toStdString();
    }
}
