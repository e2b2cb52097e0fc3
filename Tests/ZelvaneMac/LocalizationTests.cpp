#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "QtTestApp.hpp"
#include "QtFileContents.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/StringsFile.hpp"

using namespace zelvane;

namespace {

QByteArray utf16(const QString& text, bool littleEndian) {
    QStringEncoder encoder(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

using testsupport::writeFile;

// Restores English after a test that installs a table.
struct TableGuard {
    ~TableGuard() { installStringsTable(nullptr); }
};

}  // namespace

TEST(StringsFile, ReadsCommentsEscapesAndBareWords) {
    const QByteArray text = R"(/* A table
   with a comment over lines */
"Tree View" = "Baumansicht";   // trailing comment
"Quote \"in\" key" = "Tab\tNew\nline \\ back \'single\'";
"Unicode \U00e9" = "\u00E9\U0041 \101\60";
"Self";
bare_key.1 = bare-value/x;
"Dup" = "first";
"Dup" = "second";
"Emoji" = "\UD83D\UDE00";
"Multi
line" = "value over
lines";
)";
    const StringsFileContents c = parseStringsFile(text);
    EXPECT_TRUE(c.problems.isEmpty()) << c.problems.front().message.toStdString();
    EXPECT_EQ(c.entries.value("Tree View"), "Baumansicht");
    EXPECT_EQ(c.entries.value("Quote \"in\" key"), "Tab\tNew\nline \\ back 'single'");
    EXPECT_EQ(c.entries.value(QString::fromUtf8("Unicode é")), QString::fromUtf8("éA A0"));
    EXPECT_EQ(c.entries.value("Self"), "Self");
    EXPECT_EQ(c.entries.value("bare_key.1"), "bare-value/x");
    EXPECT_EQ(c.entries.value("Dup"), "second");
    EXPECT_EQ(c.entries.value("Emoji"), QString::fromUtf8("😀"));
    EXPECT_EQ(c.entries.value("Multi\nline"), "value over\nlines");
    EXPECT_EQ(c.entries.size(), 8);
}

TEST(StringsFile, DecodesEachByteOrderMark) {
    const QString text = QString::fromUtf8("\"Größe\" = \"Размер 大小\";\n");
    const QByteArray utf8Bom = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    for (const QByteArray& data : {text.toUtf8(), utf8Bom, utf16(text, true), utf16(text, false)}) {
        const StringsFileContents c = parseStringsFile(data);
        EXPECT_TRUE(c.problems.isEmpty());
        EXPECT_EQ(c.entries.value(QString::fromUtf8("Größe")), QString::fromUtf8("Размер 大小"));
    }
}

// A table saved in another encoding (Latin-1 here) would show U+FFFD for every umlaut: the entries
// holding such bytes are left out and named by line, the rest of the table reads, and a bad byte
// in a comment costs nothing.
TEST(StringsFile, EntriesWithBytesNotValidInTheEncodingAreLeftOut) {
    const QByteArray text = "/* Gr\xF6\xDF" "e */\n"
                            "\"Size\" = \"Gr\xF6\xDF" "e\";\n"
                            "\"About\" = \"Info\";\n"
                            "\"Gr\xF6\xDF" "e\" = \"x\";\n"
                            "\"Real \\UFFFD\" = \"kept\";\n";
    const StringsFileContents c = parseStringsFile(text);
    EXPECT_EQ(c.entries.value("About"), "Info");
    EXPECT_FALSE(c.entries.contains("Size"));
    EXPECT_EQ(c.entries.size(), 1) << "an escaped U+FFFD in a file with bad bytes is indistinguishable";
    QList<int> lines;
    for (const StringsFileProblem& p : c.problems) lines.append(p.line);
    EXPECT_EQ(lines, (QList<int>{2, 4, 5}));
    // Without bad bytes an escaped U+FFFD is an ordinary character.
    EXPECT_EQ(parseStringsFile("\"Real \\UFFFD\" = \"kept\";\n").entries.size(), 1);
}

TEST(StringsFile, BrokenEntriesCostOnlyThemselves) {
    const QByteArray text = "\"one\" = \"1\";\n"
                            "\"two\" = \"2\"\n"            // no semicolon
                            "\"three\" = \"3\";\n"
                            "\"four\" \"4\";\n"            // no equals sign
                            "\"five\" = \"unclosed;\n"     // quote never closed on its line
                            "\"six\" = \"6\";\n"
                            "= \"seven\";\n"               // no key
                            "\"eight\" = \"8\";\n"
                            "/* never closed\n\"nine\" = \"9\";\n";
    const StringsFileContents c = parseStringsFile(text);
    EXPECT_EQ(c.entries.value("one"), "1");
    EXPECT_EQ(c.entries.value("three"), "3");
    EXPECT_EQ(c.entries.value("six"), "6");
    EXPECT_EQ(c.entries.value("eight"), "8");
    EXPECT_FALSE(c.entries.contains("two"));
    EXPECT_FALSE(c.entries.contains("four"));
    EXPECT_FALSE(c.entries.contains("five"));
    EXPECT_FALSE(c.entries.contains("nine"));
    QList<int> lines;
    for (const StringsFileProblem& p : c.problems) lines.append(p.line);
    EXPECT_EQ(lines, (QList<int>{2, 4, 5, 7, 9}));

    EXPECT_TRUE(parseStringsFile("").entries.isEmpty());
    EXPECT_TRUE(parseStringsFile("").problems.isEmpty());
    EXPECT_EQ(readStringsFile("/nonexistent/Localizable.strings").problems.size(), 1);
}

TEST(Localization, FillsFormatsInOrderAndByPosition) {
    EXPECT_EQ(fillFormat("Selected Files: %@  Total Size: %@", {QString("3"), QString("1 KB")}),
              "Selected Files: 3  Total Size: 1 KB");
    EXPECT_EQ(fillFormat("%2$@ von %1$@", {QString("A"), QString("B")}), "B von A");
    EXPECT_EQ(fillFormat("%1$@, %1$@ und %2$d", {QString("x"), int64_t(7)}), "x, x und 7");
    EXPECT_EQ(fillFormat("Number of decimal places to display: %d", {int64_t(-2)}),
              "Number of decimal places to display: -2");
    EXPECT_EQ(fillFormat("%ld/%lld/%i/%u", {int64_t(1), int64_t(2), int64_t(3), int64_t(4)}), "1/2/3/4");
    EXPECT_EQ(fillFormat("%.2f%% done", {0.126}), "0.13% done");
    EXPECT_EQ(fillFormat("%.0f|%f|%.3f", {2.5, 1.5, int64_t(2)}), "2|1.500000|2.000");
    EXPECT_EQ(fillFormat("100%", {}), "100%");
    EXPECT_EQ(fillFormat("50% off, %s and %", {QString("x")}), "50% off, %s and %");
    EXPECT_EQ(fillFormat("%@ and %@", {QString("only")}), "only and %@") << "a missing argument stays visible";
    EXPECT_EQ(fillFormat("%3$@", {QString("a")}), "%3$@");
    EXPECT_EQ(fillFormat("%@", {int64_t(42)}), "42");
    EXPECT_EQ(fillFormat("%d", {QString("text")}), "text");
    // A value that holds a placeholder is not filled again.
    EXPECT_EQ(fillPlaceholders("%@ + %@", {"%@", "b"}), "%@ + b");
}

// In a sentence written right to left, values with spaces or punctuation are isolated so that the
// bidirectional algorithm keeps them in their written order ("5.8 MB" would read "MB 5.8", "/tmp/x"
// "tmp/x/"); letters and digits alone, numbers, and left-to-right sentences stay as they were.
TEST(Localization, RightToLeftSentencesMarkValuesThatCouldBeReordered) {
    const QString lrm(QChar(0x200E)), rlm(QChar(0x200F));
    const QString arabic = QString::fromUtf8("الحجم: %@ في %@ (%d)");
    EXPECT_EQ(fillFormat(arabic, {QString("5.8 MB"), QString("/tmp/x"), int64_t(-3)}),
              QString::fromUtf8("الحجم: ") + lrm + "5.8 MB" + lrm + QString::fromUtf8(" في ") + lrm + "/tmp/x" + lrm + " (-3)");
    const QString hebrew = QString::fromUtf8("%@ קובץ");
    EXPECT_EQ(fillPlaceholders(hebrew, {"TMP"}), QString::fromUtf8("TMP קובץ"));
    EXPECT_EQ(fillPlaceholders(hebrew, {"MP3"}), QString::fromUtf8("MP3 קובץ"));
    EXPECT_EQ(fillPlaceholders(hebrew, {QString::fromUtf8("דוח 2023.pdf")}),
              rlm + QString::fromUtf8("דוח 2023.pdf") + rlm + QString::fromUtf8(" קובץ"));
    EXPECT_EQ(fillPlaceholders(hebrew, {""}), QString::fromUtf8(" קובץ"));
    EXPECT_EQ(fillPlaceholders("Total Size: %@", {"5.8 MB"}), "Total Size: 5.8 MB");
    EXPECT_EQ(fillPlaceholders(QString::fromUtf8("%@\nגודל: %@"), {"/a b", "1 KB"}),
              lrm + "/a b" + lrm + QString::fromUtf8("\nגודל: ") + lrm + "1 KB" + lrm);
}

// A format without words of its own ("«%@»: %@", a line of a failure list) joins the sentences of
// the interface language and reads in its direction, and the "d" of "%d" is no word: in Arabic the
// name in such a line is set apart too, in English nothing changes.
TEST(Localization, FormatsWithoutWordsReadInTheInterfaceLanguagesDirection) {
    TableGuard guard;
    const QString lrm(QChar(0x200E)), rlm(QChar(0x200F));
    const QString line = QString::fromUtf8("«%@»: %@");
    const QString reason = QString::fromUtf8("الملف مفقود");
    EXPECT_EQ(fillPlaceholders(line, {"back\\slash.", "No such file"}), QString::fromUtf8("«back\\slash.»: No such file"));
    auto table = std::make_shared<StringsTable>();
    table->language = "ar";
    installStringsTable(table);
    EXPECT_EQ(fillPlaceholders(line, {"back\\slash.", reason}),
              QString::fromUtf8("«") + lrm + "back\\slash." + lrm + QString::fromUtf8("»: ") + rlm + reason + rlm);
    EXPECT_EQ(fillFormat(QString::fromUtf8("%d عناصر في %@"), {int64_t(3), QString("/tmp/x")}),
              QString::fromUtf8("3 عناصر في ") + lrm + "/tmp/x" + lrm);
    EXPECT_EQ(fillPlaceholders("Total Size: %@", {"5.8 MB"}), "Total Size: 5.8 MB");
}

TEST(Localization, LooksUpTheInstalledTableAndFallsBackToTheKey) {
    TableGuard guard;
    EXPECT_EQ(localized("Tree View"), "Tree View");
    auto table = std::make_shared<StringsTable>();
    table->language = "de";
    table->entries.insert("Tree View", "Baumansicht");
    table->entries.insert("Version Date: %@", "Versionsdatum: %@");
    installStringsTable(table);
    EXPECT_EQ(localized("Tree View"), "Baumansicht");
    EXPECT_EQ(localized("About"), "About");
    EXPECT_EQ(fillPlaceholders(localized("Version Date: %@"), {"2026/09/16"}), "Versionsdatum: 2026/09/16");
}

TEST(AppLanguages, ListIsInNameOrderWithOwnNamesAndDistinctChinese) {
    const auto& list = AppLanguages::supportedLanguages();
    ASSERT_EQ(list.size(), 30u);
    ASSERT_EQ(AppLanguages::supportedLanguageCodes().size(), 30);
    QStringList names;
    QHash<QString, QString> byCode;
    for (const auto& language : list) {
        names.append(language.name);
        byCode.insert(language.code, language.name);
    }
    EXPECT_EQ(byCode.value("de"), "Deutsch");
    EXPECT_EQ(byCode.value("en"), "English");
    EXPECT_EQ(byCode.value("ja"), QString::fromUtf8("日本語"));
    EXPECT_TRUE(byCode.value("pt-BR").startsWith(QString::fromUtf8("Português"))) << byCode.value("pt-BR").toStdString();
    EXPECT_NE(byCode.value("zh-Hans"), byCode.value("zh-Hant"));
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 30) << "no two languages share a name";
    // Latin names come in alphabetical order; every name differs from its code.
    const qsizetype deutsch = names.indexOf("Deutsch"), english = names.indexOf("English");
    EXPECT_LT(deutsch, english);
    EXPECT_LT(english, names.indexOf(byCode.value("es")));
    for (const auto& language : list) EXPECT_NE(language.name, language.code) << language.code.toStdString();
    EXPECT_EQ(AppLanguages::nativeName("xx-Bogus"), "xx-Bogus");
}

TEST(AppLanguages, OverrideWritesAppleLanguagesOnlyForWellFormedCodes) {
    qtTestApp();
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    AppLanguages::applyLanguageOverride(preferences);
    EXPECT_FALSE(preferences.object("AppleLanguages").isValid());

    preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("pt-BR"));
    AppLanguages::applyLanguageOverride(preferences);
    EXPECT_EQ(preferences.stringList(PreferenceKeys::appleLanguages), QStringList{"pt-BR"});

    preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("tlh"));  // not offered, still a code
    AppLanguages::applyLanguageOverride(preferences);
    EXPECT_EQ(preferences.stringList(PreferenceKeys::appleLanguages), QStringList{"tlh"});

    for (const char* hostile : {"../../etc", "de/../../x", "de\n", "d", "deutsch", "de-", "de--DE", "de-DE-toolongsubtag", ""}) {
        preferences.set(PreferenceKeys::appLanguageOverride, QString::fromUtf8(hostile));
        AppLanguages::applyLanguageOverride(preferences);
        EXPECT_FALSE(preferences.object("AppleLanguages").isValid()) << hostile;
    }
    preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("system"));
    AppLanguages::applyLanguageOverride(preferences);
    EXPECT_FALSE(preferences.object("AppleLanguages").isValid());

    // A hand-written list with a hostile entry keeps only the codes.
    preferences.set(PreferenceKeys::appleLanguages, QStringLiteral("[\"../x\",\"fr\"]"));
    EXPECT_EQ(AppLanguages::preferredLanguages(preferences, {"de_DE", "de"}), (QStringList{"fr", "de-DE", "de", "en"}));
}

TEST(AppLanguages, ResolvesTheTableFolderLikeAUserExpects) {
    const QStringList available{"de", "pt-BR", "zh-Hans", "zh-Hant", "no"};
    using AppLanguages::resolveTableLanguage;
    EXPECT_EQ(resolveTableLanguage({"de-AT", "en"}, available), "de");
    EXPECT_EQ(resolveTableLanguage({"en-GB", "de"}, available), std::nullopt) << "English first needs no table";
    EXPECT_EQ(resolveTableLanguage({"fr", "pt-BR"}, available), "pt-BR");
    EXPECT_EQ(resolveTableLanguage({"pt-PT"}, available), "pt-BR");
    EXPECT_EQ(resolveTableLanguage({"zh-TW"}, available), "zh-Hant");
    EXPECT_EQ(resolveTableLanguage({"zh-CN"}, available), "zh-Hans");
    EXPECT_EQ(resolveTableLanguage({"zh-Hant-HK"}, available), "zh-Hant");
    EXPECT_EQ(resolveTableLanguage({"nb-NO"}, available), "no");
    EXPECT_EQ(resolveTableLanguage({"fr", "it"}, available), std::nullopt);
}

TEST(AppLanguages, LoadsTablesFromTheBundleResources) {
    QTemporaryDir dir;
    writeFile(dir.filePath("de.lproj/Localizable.strings"), "\"About\" = \"Über\";\n\"broken\" = ;\n");
    writeFile(dir.filePath("fr.lproj/Other.strings"), "\"About\" = \"À propos\";\n");
    QDir().mkpath(dir.filePath("bad name.lproj"));
    EXPECT_EQ(AppLanguages::availableTableLanguages(dir.path()), QStringList{"de"});
    QStringList problems;
    const auto table = AppLanguages::loadStringsTable(dir.path(), "de", &problems);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->entries.value("About"), QString::fromUtf8("Über"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.front().endsWith("Localizable.strings:2: expected a quoted string")) << problems.front().toStdString();
    EXPECT_FALSE(AppLanguages::loadStringsTable(dir.path(), "../de", nullptr));
    EXPECT_FALSE(AppLanguages::loadStringsTable(dir.path(), "fr", nullptr));
}

// A table edited by hand: a translation that asks for more, fewer or other values than the program
// passes, or that is blank, is left out and named, so that text shows in English instead of a raw
// "%2$@" or an empty button. A table of which nothing can be used is no table.
TEST(AppLanguages, TranslationsThatWouldFillWronglyShowInEnglish) {
    QTemporaryDir dir;
    writeFile(dir.filePath("de.lproj/Localizable.strings"),
              "\"%@ of %@\" = \"%2$@ von %1$@\";\n"
              "\"Version Date: %@\" = \"Versionsdatum: %2$@\";\n"
              "\"Move %d items to the Trash?\" = \"Objekte in den Papierkorb legen?\";\n"
              "\"Scan complete in %.2f seconds\" = \"Fertig nach %@ Sekunden\";\n"
              "\"Cancel\" = \"  \";\n"
              "\"  \" = \"  \";\n");
    QStringList problems;
    const auto table = AppLanguages::loadStringsTable(dir.path(), "de", &problems);
    ASSERT_TRUE(table);
    EXPECT_EQ(QStringList(table->entries.keys()).size(), 2);
    EXPECT_EQ(table->entries.value("%@ of %@"), "%2$@ von %1$@");
    EXPECT_EQ(table->entries.value("  "), "  ");
    EXPECT_EQ(problems.size(), 4) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems.join('\n').contains("\"Version Date: %@\" has other placeholders")) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems.join('\n').contains("\"Cancel\" is blank")) << problems.join('\n').toStdString();
    TableGuard guard;
    installStringsTable(table);
    EXPECT_EQ(fillPlaceholders(localized("Version Date: %@"), {"2026/09/16"}), "Version Date: 2026/09/16");
    EXPECT_EQ(fillPlaceholders(localized("%@ of %@"), {"1", "3"}), "3 von 1");
    EXPECT_EQ(localized("Cancel"), "Cancel");

    writeFile(dir.filePath("fr.lproj/Localizable.strings"), "\"About\" = ;\n\"%@ of %@\" = \"%@\";\n");
    EXPECT_FALSE(AppLanguages::loadStringsTable(dir.path(), "fr", nullptr)) << "nothing usable";
    writeFile(dir.filePath("it.lproj/Localizable.strings"), "");
    EXPECT_TRUE(AppLanguages::loadStringsTable(dir.path(), "it", nullptr)) << "an empty table is a table";
}
