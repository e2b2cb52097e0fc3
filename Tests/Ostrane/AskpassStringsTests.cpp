#include "Ostrane/AskpassStrings.hpp"
#include "Ostrane/DialogPlacement.hpp"
#include "Ostrane/MainProgramSettings.hpp"
#include "Ostrane/StringTableFile.hpp"
#include "OstraneTestFiles.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrane;
using ostrane_test::writeFile;
using ostrane_test::writeSettings;
using ostrane_test::writeStringTable;

namespace {

QMap<QString, QString> table(const QString& title, const QString& ok, const QString& cancel) {
    return {{"ZelvaneMac Administrator Access", title}, {"OK", ok}, {"Cancel", cancel}};
}

}  // namespace

TEST(AskpassLanguages, TwoCandidateTablesPerLanguage) {
    const struct {
        const char* language;
        QStringList candidates;
    } cases[] = {
        {"pt-BR", {"pt-BR", "pt"}},
        {"de-CH", {"de-CH", "de"}},
        {"zh-Hant-TW", {"zh-Hant-TW", "zh-Hant"}},
        {"zh", {"zh", "zh-Hans"}},
        {"zh-TW", {"zh-TW", "zh-TW"}},
        {"en", {"en", "en"}},
        {"nb-NO", {"nb-NO", "no"}},
        {"nn", {"nn", "no"}},
        {"es-419", {"es-419", "es"}},
    };
    for (const auto& c : cases) EXPECT_EQ(tableCandidates(c.language), c.candidates) << c.language;
}

TEST(AskpassLanguages, OnlyLanguageTagsBecomePartsOfPaths) {
    for (const char* safe : {"de", "pt-BR", "zh-Hant-TW", "zh_CN", "es-419", "C"})
        EXPECT_TRUE(isSafeLanguageCode(safe)) << safe;
    for (const char* unsafe : {"", "..", "../../etc/ostrane", "de/CH", "de-", "-de", "de--CH", "de CH", "de.CH",
                               "de\nCH", "\xC3\xBC", "abcdefghi", "de-abcdefghi"})
        EXPECT_FALSE(isSafeLanguageCode(QString::fromUtf8(unsafe))) << unsafe;
    EXPECT_FALSE(isSafeLanguageCode(QString("de") + QString("-ab").repeated(30)));
    EXPECT_FALSE(isSafeLanguageCode(QString("de") + QChar(0) + "x"));
}

TEST(AskpassLanguages, MainProgramFirstThenSystemThenEnglishWithUnsafeCodesDropped) {
    EXPECT_EQ(preferredLanguages({"pt-BR", "../x", "fr"}, {"de-CH", "de", "de/.."}),
              (QStringList{"pt-BR", "fr", "de-CH", "de", "en"}));
    EXPECT_EQ(preferredLanguages({}, {}), QStringList{"en"});
    EXPECT_EQ(preferredLanguages({"en"}, {"en"}), (QStringList{"en", "en", "en"}));
}

TEST(AskpassLanguages, PromptIsTheFirstArgumentOrPassword) {
    EXPECT_EQ(askpassPrompt({"/x/Ostrane"}), "Password:");
    EXPECT_EQ(askpassPrompt({}), "Password:");
    EXPECT_EQ(askpassPrompt({"/x/Ostrane", "[sudo] password for anna: ", "extra"}), "[sudo] password for anna: ");
    EXPECT_EQ(askpassPrompt({"/x/Ostrane", ""}), "");
}

TEST(AskpassStrings, TablesOfRegionScriptAndSwissGermanAreFound) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeStringTable(dir.path(), "pt", table("Acesso de Administrador", "OK", "Cancelar")));
    ASSERT_TRUE(writeStringTable(dir.path(), "zh-Hant", table("管理員權限", "好", "取消")));
    ASSERT_TRUE(writeStringTable(dir.path(), "zh-Hans", table("管理员权限", "好", "取消")));
    ASSERT_TRUE(writeStringTable(dir.path(), "de", table("Administratorzugriff", "OK", "Abbrechen")));
    ASSERT_TRUE(writeStringTable(dir.path(), "fr-CA", table("Accès administrateur (CA)", "OK", "Annuler")));
    ASSERT_TRUE(writeStringTable(dir.path(), "fr", table("Accès administrateur", "OK", "Annuler")));

    const struct {
        const char* language;
        AskpassStrings expected;
    } cases[] = {
        {"pt-BR", {"Acesso de Administrador", "OK", "Cancelar"}},
        {"zh-Hant-TW", {"管理員權限", "好", "取消"}},
        {"zh", {"管理员权限", "好", "取消"}},
        {"de-CH", {"Administratorzugriff", "OK", "Abbrechen"}},
        {"fr-CA", {"Accès administrateur (CA)", "OK", "Annuler"}},
        {"ja-JP", AskpassStrings::english()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(localizedAskpassStrings(dir.path(), {c.language}, readStringTable), c.expected) << c.language;
    }
    // A later language wins only when the earlier ones have no table at all.
    EXPECT_EQ(localizedAskpassStrings(dir.path(), preferredLanguages({"ja"}, {"de-CH"}), readStringTable).cancel,
              "Abbrechen");
}

// The main program shows English without a table; the prompt must not skip English for the next
// language that has one, or a user who chose English is asked in the system's language.
TEST(AskpassStrings, EnglishChosenInTheMainProgramIsEnglishEvenWhenTheSystemSpeaksAnother) {
    QTemporaryDir dir;
    ASSERT_TRUE(writeStringTable(dir.path(), "de", table("Administratorzugriff", "OK", "Abbrechen")));
    ASSERT_TRUE(writeStringTable(dir.path(), "no", table("Administratortilgang", "OK", "Avbryt")));
    EXPECT_EQ(localizedAskpassStrings(dir.path(), preferredLanguages({"en"}, {"de-DE", "de"}), readStringTable),
              AskpassStrings::english());
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"en-GB", "de"}, readStringTable), AskpassStrings::english());
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"fr", "de"}, readStringTable).cancel, "Abbrechen");
    EXPECT_EQ(localizedAskpassStrings(dir.path(), preferredLanguages({}, {"nb-NO", "en"}), readStringTable).cancel, "Avbryt");
}

TEST(AskpassStrings, FirstReadableTableDecidesAndUnreadableOnesAreSkipped) {
    QTemporaryDir dir;
    // A table without "Cancel": its other texts are used, the button reads "Cancel", later
    // languages are not consulted.
    ASSERT_TRUE(writeStringTable(dir.path(), "it", {{"ZelvaneMac Administrator Access", "Accesso"}, {"OK", "Va bene"}}));
    ASSERT_TRUE(writeStringTable(dir.path(), "de", table("Administratorzugriff", "OK", "Abbrechen")));
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"it", "de"}, readStringTable),
              (AskpassStrings{"Accesso", "Va bene", "Cancel"}));

    static const char junk[] = "\x01\x02\xff\0 not a table";
    // Nothing but broken entries, binary junk, a folder where the file should be: each is passed
    // over for the next candidate.
    ASSERT_TRUE(writeFile(dir.path() + "/es-MX.lproj/Localizable.strings", "\"OK\" = ;\n\"Cancel\" \"x\";\n"));
    ASSERT_TRUE(writeFile(dir.path() + "/nl.lproj/Localizable.strings", QByteArray::fromRawData(junk, sizeof junk - 1)));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/sv.lproj/Localizable.strings"));
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"es-MX", "nl", "sv", "de"}, readStringTable).title,
              "Administratorzugriff");

    // One broken entry loses that entry only, as in the main program; the table still decides.
    ASSERT_TRUE(writeFile(dir.path() + "/fi.lproj/Localizable.strings",
                          "\"ZelvaneMac Administrator Access\" = \"Yll\\u00e4pit\\u00e4j\\u00e4\";\n"
                          "\"OK\" = broken entry;\n"
                          "\"Cancel\" = \"Peruuta\";\n"));
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"fi", "de"}, readStringTable),
              (AskpassStrings{"Ylläpitäjä", "OK", "Peruuta"}));

    // A FIFO in a table's place held the prompt in the open until some writer came, and /dev/zero
    // never ended: neither is read, and the next candidate decides.
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/pl.lproj"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/pl.lproj/Localizable.strings").constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/cs.lproj"));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/cs.lproj/Localizable.strings"));
    EXPECT_FALSE(readStringTable(dir.path() + "/pl.lproj/Localizable.strings").has_value());
    EXPECT_FALSE(readStringTable(dir.path() + "/cs.lproj/Localizable.strings").has_value());
    EXPECT_EQ(localizedAskpassStrings(dir.path(), {"pl", "cs", "de"}, readStringTable).title, "Administratorzugriff");
}

TEST(AskpassStrings, LanguageCodesNeverReachOutsideTheProgramFolder) {
    QTemporaryDir dir;
    const QString program = dir.path() + "/bundle/Resources";
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(writeStringTable(dir.path() + "/bundle", "planted", table("Planted", "Planted", "Planted")));
    std::vector<QString> asked;
    const StringTableReader recording = [&](const QString& path) {
        asked.push_back(path);
        return readStringTable(path);
    };
    EXPECT_EQ(localizedAskpassStrings(program, {"../planted", "/etc/planted", "de/../../planted"}, recording),
              AskpassStrings::english());
    EXPECT_TRUE(asked.empty());
}

TEST(MainProgramSettings, LanguageChoiceReadFromThePreferenceFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/ZelvaneMac.plist";
    const struct {
        const char* name;
        QByteArray value;
        QStringList expected;
    } cases[] = {
        {"JSON text of one code", "<string>[\"pt-BR\"]</string>", {"pt-BR"}},
        {"JSON text of two codes", "<string>[\"zh-Hant-TW\",\"en\"]</string>", {"zh-Hant-TW", "en"}},
        {"a property-list array", "<array><string>de-CH</string><string>de</string></array>", {"de-CH", "de"}},
        {"an array with a number", "<array><string>de</string><integer>3</integer></array>", {}},
        {"JSON with a number", "<string>[\"de\", 3]</string>", {}},
        {"JSON that is not a list", "<string>{\"a\":1}</string>", {}},
        {"text that is not JSON", "<string>pt-BR</string>", {}},
        {"a number", "<integer>7</integer>", {}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeSettings(path, "AppleLanguages", c.value));
        EXPECT_EQ(mainProgramLanguages(path), c.expected) << c.name;
    }
    ASSERT_TRUE(writeSettings(path, "selectedTab", "<string>treeView</string>"));
    EXPECT_TRUE(mainProgramLanguages(path).isEmpty()) << "key missing";
    ASSERT_TRUE(writeFile(path, "garbage"));
    EXPECT_TRUE(mainProgramLanguages(path).isEmpty()) << "not a property list";
    EXPECT_TRUE(mainProgramLanguages(dir.path() + "/missing.plist").isEmpty()) << "no file";
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/fifo.plist").constData(), 0600), 0);
    EXPECT_TRUE(mainProgramLanguages(dir.path() + "/fifo.plist").isEmpty()) << "a FIFO is not waited on";
}

TEST(DialogPlacement, WindowFrameFromTheEnvironment) {
    EXPECT_EQ(parseWindowFrame("10,-20,1000,800"), QRect(10, -20, 1000, 800));
    EXPECT_EQ(parseWindowFrame(" 10, 20 ,1000,800"), QRect(10, 20, 1000, 800));
    for (const char* bad : {"", "10,20,1000", "10,20,1000,800,5", "a,b,c,d", "10,20,0,800", "10,20,1000,-1",
                            "1.5,2,3,4", "10,20,99999999999,800"})
        EXPECT_FALSE(parseWindowFrame(bad)) << bad;
}

TEST(DialogPlacement, OnlyLargeWindowsDecideAndTheDialogIsCentredOnTheirDisplay) {
    EXPECT_FALSE(decidingWindowCenter(std::nullopt));
    EXPECT_FALSE(decidingWindowCenter(QRect(0, 0, 1000, 500))) << "exactly 500000 does not decide";
    EXPECT_EQ(decidingWindowCenter(QRect(0, 0, 1001, 500)), QPoint(500, 250));
    EXPECT_EQ(decidingWindowCenter(QRect(100, -1100, 1000, 800)), QPoint(600, -700));

    // The primary display with a top panel, a second display above it and a third to its right.
    const QList<ScreenArea> screens = {
        {QRect(0, 0, 1920, 1080), QRect(0, 32, 1920, 1048)},
        {QRect(0, -1200, 1920, 1200), QRect(0, -1200, 1920, 1200)},
        {QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 984)},
    };
    const QSize dialog(400, 200);
    EXPECT_EQ(dialogOrigin(QPoint(600, -700), screens, dialog), QPoint(960 - 200, -600 - 100));
    EXPECT_EQ(dialogOrigin(QPoint(10, 10), screens, dialog), QPoint(960 - 200, 556 - 100));
    EXPECT_EQ(dialogOrigin(QPoint(3000, 1000), screens, dialog), QPoint(2560 - 200, 492 - 100));
    EXPECT_FALSE(dialogOrigin(QPoint(5000, 5000), screens, dialog)) << "no display holds the point";
    EXPECT_FALSE(dialogOrigin(QPoint(10, 10), {}, dialog));
}
