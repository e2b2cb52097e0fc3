#include <gtest/gtest.h>

#include "QtTestApp.hpp"
#include "QtFileContents.hpp"
#include "TempFolder.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPoint>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <plist/plist.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <limits>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zelvane;

namespace {

QByteArray readAll(const QString& path) { return testsupport::readFile(path); }
void writeAll(const QString& path, const QByteArray& data) { testsupport::writeFile(path, data); }

QByteArray plistXML(const char* body) {
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n") + body +
           "</dict>\n</plist>\n";
}

// The temporary folder must be reachable by the unprivileged child of `runUnprivileged`.
void openToEveryone(const QTemporaryDir& dir) {
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
}

using zelvane::testsupport::runUnprivileged;

TEST(PropertyList, EveryTypeSurvivesAFileRoundTrip) {
    QTemporaryDir dir;
    const QString path = dir.filePath("round.plist");
    const QDateTime when(QDate(2026, 9, 16), QTime(12, 30, 5), QTimeZone::utc());
    QVariantMap nested{{"inner", QVariant(qlonglong(-7))}};
    const QVariantMap input{
        {"bool", true},
        {"false", false},
        {"int", qlonglong(1920)},
        {"negative", qlonglong(-5)},
        {"min", qlonglong(std::numeric_limits<qlonglong>::min())},
        {"max", qlonglong(std::numeric_limits<qlonglong>::max())},
        {"real", 0.1},
        {"string", QString::fromUtf8("a<b>&\"c\" \xc3\xa9 \xf0\x9f\x98\x80\nline")},
        {"empty", QString()},
        {"data", QByteArray("\x00\x01\xff", 3)},
        {"date", when},
        {"array", QVariantList{1, "two", false}},
        {"dict", nested},
        {"key with / and . and spaces", "x"},
    };
    ASSERT_EQ(PropertyList::writeFile(path, input), QString());
    const auto back = PropertyList::readFile(path);
    ASSERT_TRUE(back.dictionary) << back.error.toStdString();
    const QVariantMap& m = *back.dictionary;
    ASSERT_EQ(m.size(), input.size());
    EXPECT_EQ(m["bool"].typeId(), QMetaType::Bool);
    EXPECT_TRUE(m["bool"].toBool());
    EXPECT_FALSE(m["false"].toBool());
    EXPECT_EQ(m["int"].typeId(), QMetaType::LongLong);
    EXPECT_EQ(m["int"].toLongLong(), 1920);
    EXPECT_EQ(m["negative"].toLongLong(), -5);
    EXPECT_EQ(m["min"].toLongLong(), std::numeric_limits<qlonglong>::min());
    EXPECT_EQ(m["max"].toLongLong(), std::numeric_limits<qlonglong>::max());
    EXPECT_EQ(m["real"].typeId(), QMetaType::Double);
    EXPECT_EQ(m["real"].toDouble(), 0.1);
    EXPECT_EQ(m["string"].toString(), input["string"].toString());
    EXPECT_EQ(m["empty"].typeId(), QMetaType::QString);
    EXPECT_EQ(m["data"].toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(m["date"].toDateTime(), when);
    EXPECT_EQ(m["array"].toList(), (QVariantList{qlonglong(1), "two", false}));
    EXPECT_EQ(m["dict"].toMap(), nested);
    EXPECT_EQ(m["key with / and . and spaces"].toString(), "x");
    EXPECT_TRUE(readAll(path).startsWith("<?xml"));
}

TEST(PropertyList, ReadsBinaryListsAndRefusesWhatIsNoDictionary) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "checkForUpdatesEnabled", plist_new_bool(0));
    plist_dict_set_item(dict, "appLanguageOverride", plist_new_string("pt-BR"));
    char* bin = nullptr;
    uint32_t len = 0;
    plist_to_bin(dict, &bin, &len);
    plist_free(dict);
    const QByteArray binary(bin, static_cast<qsizetype>(len));
    std::free(bin);
    ASSERT_TRUE(binary.startsWith("bplist"));
    const auto fromBinary = PropertyList::dictionaryFromData(binary);
    ASSERT_TRUE(fromBinary);
    EXPECT_EQ((*fromBinary)["checkForUpdatesEnabled"], QVariant(false));
    EXPECT_EQ((*fromBinary)["appLanguageOverride"], QVariant("pt-BR"));

    EXPECT_FALSE(PropertyList::dictionaryFromData("not a plist"));
    EXPECT_FALSE(PropertyList::dictionaryFromData(binary.left(binary.size() / 2)));
    EXPECT_FALSE(PropertyList::dictionaryFromData(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>"));
    EXPECT_TRUE(PropertyList::dictionaryFromData(QByteArray())->isEmpty());

    QTemporaryDir dir;
    const auto missing = PropertyList::readFile(dir.filePath("missing.plist"));
    EXPECT_FALSE(missing.dictionary);
    EXPECT_FALSE(missing.error.isEmpty());
}

QByteArray nestedArraysXML(int depth) {
    QByteArray body = "<key>deep</key>";
    for (int i = 0; i < depth; ++i) body += "<array>";
    body += "<string>bottom</string><!-- <array> in a comment --><string><![CDATA[<array>]]></string><array/>";
    for (int i = 0; i < depth; ++i) body += "</array>";
    body += "<key>flat</key><integer>3</integer>";
    return plistXML(body.constData());
}

// A binary list whose top dictionary holds a chain of arrays `depth` deep (each holds the next).
// With `entries`, the dictionary holds an array that refers to those links of the chain (counted
// from 0 at the chain's top) instead: the chain is then met first in short pieces.
QByteArray nestedArraysBinary(uint32_t depth, const std::vector<uint32_t>& entries = {}) {
    QByteArray out("bplist00");
    std::vector<uint32_t> offsets;
    auto be = [&](uint64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) out.append(char((v >> (8 * i)) & 0xff));
    };
    const uint32_t chainStart = entries.empty() ? 2 : 3;
    offsets.push_back(uint32_t(out.size()));  // 0: {"deep": 2}
    out.append(char(0xD1));
    be(1, 4);
    be(2, 4);
    offsets.push_back(uint32_t(out.size()));  // 1: "deep"
    out.append(char(0x54));
    out.append("deep");
    if (!entries.empty()) {  // 2: the array of entry points
        offsets.push_back(uint32_t(out.size()));
        out.append(char(0xAF));
        out.append(char(0x12));
        be(entries.size(), 4);
        for (uint32_t e : entries) be(chainStart + e, 4);
    }
    for (uint32_t i = 0; i < depth; ++i) {
        offsets.push_back(uint32_t(out.size()));
        if (i + 1 == depth) {
            out.append(char(0xA0));
        } else {
            out.append(char(0xA1));
            be(chainStart + i + 1, 4);
        }
    }
    const uint64_t table = uint64_t(out.size());
    for (uint32_t o : offsets) be(o, 4);
    out.append(QByteArray(6, '\0'));
    out.append(char(4));
    out.append(char(4));
    be(offsets.size(), 8);
    be(0, 8);
    be(table, 8);
    return out;
}

TEST(PropertyList, NestingDeeperThanAnySettingsIsRefusedBeforeTheParserSeesIt) {
    // As deep as settings may go (the top dictionary is the first level): read whole.
    auto fits = PropertyList::dictionaryFromData(nestedArraysXML(PropertyList::kMaxNesting - 1));
    ASSERT_TRUE(fits);
    EXPECT_EQ((*fits)["flat"].toLongLong(), 3);
    int depth = 0;
    for (QVariant v = (*fits)["deep"]; v.typeId() == QMetaType::QVariantList && !v.toList().isEmpty(); v = v.toList().first())
        ++depth;
    EXPECT_EQ(depth, PropertyList::kMaxNesting - 1);
    EXPECT_TRUE(PropertyList::dictionaryFromData(nestedArraysBinary(PropertyList::kMaxNesting - 1)));
    // One level more is no settings file, whichever form it takes.
    EXPECT_FALSE(PropertyList::dictionaryFromData(nestedArraysXML(PropertyList::kMaxNesting)));
    EXPECT_FALSE(PropertyList::dictionaryFromData(nestedArraysBinary(PropertyList::kMaxNesting)));
    // Far deeper: the parser, which descends by recursion, ran out of stack on these.
    EXPECT_FALSE(PropertyList::dictionaryFromData(nestedArraysXML(200000)));
    EXPECT_FALSE(PropertyList::dictionaryFromData(nestedArraysBinary(200000)));
    // A deep chain whose short lower pieces are met first is as deep as the chain.
    std::vector<uint32_t> pieces;
    for (uint32_t at = 200000 - 40; at >= 40; at -= 40) pieces.push_back(at);
    pieces.push_back(0);
    EXPECT_FALSE(PropertyList::dictionaryFromData(nestedArraysBinary(200000, pieces)));
    EXPECT_TRUE(PropertyList::dictionaryFromData(nestedArraysBinary(40, {20, 0})));
}

TEST(PropertyList, FailedWriteLeavesTheEarlierFile) {
    QTemporaryDir dir;
    openToEveryone(dir);
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/Settings.plist";
    ASSERT_EQ(PropertyList::writeFile(path, {{"good", true}}), QString());
    const QByteArray before = readAll(path);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0555), 0);
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0666), 0);

    const int status = runUnprivileged([&] {
        // The file itself is writable; only a rename into the folder is refused.
        return PropertyList::writeFile(path, {{"good", false}, {"more", 1}}).isEmpty() ? 1 : 0;
    });
    chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(status, 0) << "the write was reported as a success";
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1) << "a temporary file was left behind";

    // A path whose folder is a file fails for root too.
    writeAll(dir.filePath("plainfile"), "x");
    EXPECT_FALSE(PropertyList::writeFile(dir.filePath("plainfile/inner.plist"), {{"a", 1}}).isEmpty());
}

TEST(PropertyList, RealsReadTheSameUnderADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    bool switched = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QTemporaryDir locales;
    if (!switched && std::system("command -v localedef >/dev/null 2>&1") == 0) {
        const std::string target = locales.filePath("de_DE.UTF-8").toStdString();
        const std::string cmd = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) {
            setenv("LOCPATH", locales.path().toLocal8Bit().constData(), 1);
            switched = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        }
    }
    if (!switched) GTEST_SKIP() << "no locale with a decimal comma on this machine";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");

    const auto dict = PropertyList::dictionaryFromData(plistXML("<key>r</key><real>1.5</real>\n"));
    const QByteArray xml = PropertyList::xmlFromDictionary({{"w", 2.25}});
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");
    ASSERT_TRUE(dict);
    EXPECT_EQ((*dict)["r"].toDouble(), 1.5);
    EXPECT_TRUE(xml.contains("<real>2.25")) << xml.constData();
}

TEST(Preferences, TypedKeysReadDefaultsUntilSetAndPersist) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ZelvaneMac/ZelvaneMac.plist");  // the folder does not exist yet
    {
        Preferences prefs(path);
        EXPECT_TRUE(prefs.value(PreferenceKeys::csvExportFiles));
        EXPECT_EQ(prefs.value(PreferenceKeys::treemapExportWidth), 1920);
        EXPECT_EQ(prefs.value(PreferenceKeys::fileMaxFilesOption), "1,000");
        EXPECT_EQ(prefs.value(PreferenceKeys::appLanguageOverride), "system");
        EXPECT_TRUE(prefs.allKeys().isEmpty());

        prefs.set(PreferenceKeys::csvExportFiles, false);
        prefs.set(PreferenceKeys::treemapExportWidth, int64_t{-3});
        prefs.set(PreferenceKeys::csvMaxDepth, int64_t{1} << 40);
        prefs.set(PreferenceKeys::selectedTab, QString::fromUtf8("fileView \xe2\x9c\x93"));
        prefs.setStringList(PreferenceKeys::includeFilterHistoryJSON, {"*.mp4", "\"a b\"|c", QString::fromUtf8("\xc3\xa9")});
        ASSERT_EQ(prefs.synchronize(), QString());
    }
    // A second store on the file, as the next run would open it.
    Preferences again(path);
    EXPECT_FALSE(again.value(PreferenceKeys::csvExportFiles));
    EXPECT_EQ(again.value(PreferenceKeys::treemapExportWidth), -3);
    EXPECT_EQ(again.value(PreferenceKeys::csvMaxDepth), int64_t{1} << 40);
    EXPECT_EQ(again.value(PreferenceKeys::selectedTab), QString::fromUtf8("fileView \xe2\x9c\x93"));
    EXPECT_EQ(again.stringList(PreferenceKeys::includeFilterHistoryJSON),
              (QStringList{"*.mp4", "\"a b\"|c", QString::fromUtf8("\xc3\xa9")}));
    // The list is stored as JSON text in one string value.
    EXPECT_EQ(again.object("includeFilterHistoryJSON").typeId(), QMetaType::QString);

    // The file is a property list that the plain reader takes too.
    const auto raw = PropertyList::readFile(path);
    ASSERT_TRUE(raw.dictionary);
    EXPECT_EQ((*raw.dictionary)["csvExportFiles"], QVariant(false));
    EXPECT_EQ((*raw.dictionary)["treemapExportWidth"].toLongLong(), -3);
}

TEST(Preferences, ValuesOfTheWrongTypeReadAsAbsent) {
    QTemporaryDir dir;
    const QString path = dir.filePath("prefs.plist");
    writeAll(path, plistXML("<key>showFilterPanel</key><string>true</string>\n"
                            "<key>showTreemap</key><integer>0</integer>\n"
                            "<key>byteUnitBase</key><real>1024</real>\n"
                            "<key>tweakDecimalPlaces</key><true/>\n"
                            "<key>selectedTab</key><integer>1</integer>\n"
                            "<key>fileMaxFilesOption</key><array><string>10</string></array>\n"
                            "<key>csvExportFolders</key><false/>\n"));
    Preferences prefs(path);
    EXPECT_FALSE(prefs.value(PreferenceKeys::showFilterPanel));
    EXPECT_TRUE(prefs.value(PreferenceKeys::showTreemap));
    EXPECT_EQ(prefs.value(PreferenceKeys::byteUnitBase), 1000);
    EXPECT_EQ(prefs.value(PreferenceKeys::tweakDecimalPlaces), 1);
    EXPECT_EQ(prefs.value(PreferenceKeys::selectedTab), "treeView");
    EXPECT_EQ(prefs.value(PreferenceKeys::fileMaxFilesOption), "1,000");
    EXPECT_FALSE(prefs.value(PreferenceKeys::csvExportFolders));  // the one well-typed value
    EXPECT_FALSE(prefs.boolValue("showTreemap"));
    EXPECT_EQ(prefs.doubleValue("byteUnitBase"), 1024.0);
    EXPECT_FALSE(prefs.integerValue("byteUnitBase"));
}

TEST(Preferences, JSONListsDecodeOnlyAsArraysOfStrings) {
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    const StringKey key = PreferenceKeys::selectMultipleCustomFoldersJSON;
    EXPECT_EQ(prefs.jsonStringList(key), QStringList{});  // the default "[]"
    EXPECT_FALSE(prefs.jsonStringList(PreferenceKeys::treemapPaletteColorsJSON));  // the default ""
    struct Case { const char* text; std::optional<QStringList> list; };
    const Case cases[] = {
        {"[\"/a\",\"/b c\"]", QStringList{"/a", "/b c"}},
        {"[]", QStringList{}},
        {"[\"a\", 1]", std::nullopt},
        {"{\"a\":\"b\"}", std::nullopt},
        {"\"a\"", std::nullopt},
        {"[\"a\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        prefs.set(key, QString::fromUtf8(c.text));
        EXPECT_EQ(prefs.jsonStringList(key), c.list) << c.text;
        EXPECT_EQ(prefs.stringList(key), c.list.value_or(QStringList{})) << c.text;
    }
}

TEST(Preferences, ForeignWritesArePickedUpAndNoneWritesAnothersKeysAway) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shared.plist");
    Preferences a(path);
    Preferences b(path);
    a.set(PreferenceKeys::byteUnitBase, 1024);
    b.set(PreferenceKeys::showFileTypes, false);
    ASSERT_EQ(a.synchronize(), QString());
    ASSERT_EQ(b.synchronize(), QString());
    EXPECT_EQ(b.value(PreferenceKeys::byteUnitBase), 1024);
    ASSERT_EQ(a.synchronize(), QString());
    EXPECT_FALSE(a.value(PreferenceKeys::showFileTypes)) << "b's change survived a's write";

    // Another process replaces the file.
    ASSERT_EQ(PropertyList::writeFile(path, {{"byteUnitBase", qlonglong(1000)}, {"tweakDecimalPlaces", qlonglong(3)}}),
              QString());
    ASSERT_EQ(b.synchronize(), QString());
    EXPECT_EQ(b.value(PreferenceKeys::tweakDecimalPlaces), 3);
    EXPECT_EQ(b.value(PreferenceKeys::byteUnitBase), 1000);

    b.remove("tweakDecimalPlaces");
    ASSERT_EQ(b.synchronize(), QString());
    ASSERT_EQ(a.synchronize(), QString());
    EXPECT_FALSE(a.object("tweakDecimalPlaces").isValid());
}

TEST(Preferences, OnlyStorableObjectsAreAccepted) {
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    EXPECT_TRUE(prefs.setObject("AppleLanguages", QStringList{"pt-BR"}));
    EXPECT_TRUE(prefs.setObject("frame", QByteArray("\x01\x02", 2)));
    EXPECT_FALSE(prefs.setObject("point", QPoint(1, 2)));
    EXPECT_FALSE(prefs.setObject("list", QVariantList{1, QPoint(1, 2)}));
    EXPECT_FALSE(prefs.object("point").isValid());
    ASSERT_EQ(prefs.synchronize(), QString());
    Preferences again(dir.filePath("p.plist"));
    EXPECT_EQ(again.object("AppleLanguages").toStringList(), QStringList{"pt-BR"});
    EXPECT_EQ(again.dictionaryRepresentation().keys(), (QStringList{"AppleLanguages", "frame"}));
}

TEST(Preferences, AFileThatIsNoPropertyListReadsEmptyAndIsReported) {
    QTemporaryDir dir;
    const QString path = dir.filePath("broken.plist");
    writeAll(path, "this is not a property list");
    Preferences prefs(path);
    EXPECT_TRUE(prefs.value(PreferenceKeys::showTreemap));
    EXPECT_TRUE(prefs.allKeys().isEmpty());
    EXPECT_FALSE(prefs.synchronize().isEmpty());
}

TEST(Preferences, ChangesReachTheDiskOnceTheEventLoopRunsOrTheStoreEndsAndASymlinkStaysOne) {
    qtTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("real")));
    const QString target = dir.filePath("real/ZelvaneMac.plist");
    const QString link = dir.filePath("ZelvaneMac.plist");
    ASSERT_EQ(PropertyList::writeFile(target, {{"csvMaxDepth", qlonglong(2)}}), QString());
    ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(target, link));
    const auto onDisk = [&] { return PropertyList::readFile(link).dictionary.value_or(QVariantMap{}); };
    {
        Preferences prefs(link);
        EXPECT_EQ(prefs.value(PreferenceKeys::csvMaxDepth), 2);
        prefs.set(PreferenceKeys::tweakDecimalPlaces, 3);
        prefs.remove("csvMaxDepth");
        EXPECT_EQ(onDisk(), (QVariantMap{{"csvMaxDepth", qlonglong(2)}})) << "written while the change was being made";
        ASSERT_TRUE(processEventsUntil([&] { return onDisk().contains("tweakDecimalPlaces"); }, 30000));
        EXPECT_EQ(onDisk(), (QVariantMap{{"tweakDecimalPlaces", qlonglong(3)}}));

        prefs.set(PreferenceKeys::showTreemap, false);
    }
    EXPECT_EQ(onDisk().value("showTreemap"), QVariant(false)) << "the last change was lost when the store ended";
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the replaced file lost its permission bits";
    EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"ZelvaneMac.plist"});

    // Changes made in this process since the last write win over a file another process replaced;
    // its other keys are kept.
    Preferences prefs(link);
    prefs.set(PreferenceKeys::tweakDecimalPlaces, 5);
    ASSERT_EQ(PropertyList::writeFile(target, {{"tweakDecimalPlaces", qlonglong(1)}, {"byteUnitBase", qlonglong(1024)}}),
              QString());
    ASSERT_EQ(prefs.synchronize(), QString());
    EXPECT_EQ(onDisk(), (QVariantMap{{"tweakDecimalPlaces", qlonglong(5)}, {"byteUnitBase", qlonglong(1024)}}));
    EXPECT_EQ(prefs.value(PreferenceKeys::byteUnitBase), 1024);
}

TEST(Preferences, AnUnreadableOrBrokenFileIsKeptUntilTheUserChangesSomething) {
    qtTestApp();
    QTemporaryDir dir;
    openToEveryone(dir);
    const QString broken = dir.filePath("broken.plist");
    writeAll(broken, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>cut");
    {
        Preferences prefs(broken);
        QCoreApplication::processEvents();
        EXPECT_FALSE(prefs.synchronize().isEmpty());
    }
    const QByteArray brokenBytes = readAll(broken);
    EXPECT_TRUE(brokenBytes.endsWith("<key>cut")) << "a broken file was written over without a change";
    // A change replaces it only once its bytes are kept beside it: not while the copy cannot be
    // made (a folder the user may not write to), then as soon as it can.
    const QString folderOfBroken = dir.filePath("ro");
    ASSERT_TRUE(QDir().mkpath(folderOfBroken));
    const QString stuck = folderOfBroken + "/broken.plist";
    writeAll(stuck, brokenBytes);
    ASSERT_EQ(chmod(QFile::encodeName(folderOfBroken).constData(), 0555), 0);
    const int copyStatus = runUnprivileged([&] {
        Preferences prefs(stuck);
        prefs.set(PreferenceKeys::csvMaxDepth, 1);
        return prefs.synchronize().contains("could not be kept") ? 0 : 1;
    });
    EXPECT_EQ(copyStatus, 0) << "the failed copy was not reported";
    EXPECT_EQ(readAll(stuck), brokenBytes);
    EXPECT_FALSE(QFileInfo::exists(stuck + ".malformed"));
    {
        Preferences prefs(broken);
        prefs.set(PreferenceKeys::csvMaxDepth, 1);
        EXPECT_TRUE(prefs.synchronize().contains("not a property list"));
        EXPECT_EQ(prefs.synchronize(), QString()) << "the file is whole again";
    }
    EXPECT_EQ(PropertyList::readFile(broken).dictionary, (QVariantMap{{"csvMaxDepth", qlonglong(1)}}));
    EXPECT_EQ(readAll(broken + ".malformed"), brokenBytes);

    // A file the user cannot read is never replaced, even after a change, though its folder
    // would allow it.
    const QString folder = dir.filePath("open");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0777), 0);
    const QString locked = folder + "/locked.plist";
    ASSERT_EQ(PropertyList::writeFile(locked, {{"csvMaxDepth", qlonglong(7)}}), QString());
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0200), 0);
    const QByteArray before = readAll(locked);
    const int status = runUnprivileged([&] {
        Preferences prefs(locked);
        if (prefs.value(PreferenceKeys::csvMaxDepth) != 0) return 2;
        prefs.set(PreferenceKeys::showTreemap, false);
        return prefs.synchronize().contains("cannot read") ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << "the unreadable file was not reported (1) or was read (2)";
    EXPECT_EQ(readAll(locked), before);
}

// A settings file that is no list of settings loses nothing: a link to some other file never
// gets that file overwritten, every broken file replaced keeps a copy of its own, and a file
// nested deeper than settings ever are is one more broken file rather than a crash at start-up.
TEST(Preferences, WhatIsNoSettingsFileIsNeverOverwrittenAndEveryBrokenFileIsKept) {
    qtTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config")));
    const QString path = dir.filePath("config/ZelvaneMac.plist");

    // A link to a file outside the settings folder that holds something else.
    const QString elsewhere = dir.filePath("notes.txt");
    const QByteArray notes = "my notes, not settings\n";
    writeAll(elsewhere, notes);
    ASSERT_TRUE(QFile::link(elsewhere, path));
    {
        Preferences prefs(path);
        EXPECT_TRUE(prefs.allKeys().isEmpty());
        prefs.set(PreferenceKeys::csvMaxDepth, 4);
        EXPECT_TRUE(prefs.synchronize().contains("kept as"));
    }
    EXPECT_EQ(readAll(elsewhere), notes) << "the file the link named was overwritten";
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(PropertyList::readFile(path).dictionary, (QVariantMap{{"csvMaxDepth", qlonglong(4)}}));
    EXPECT_EQ(readAll(path + ".malformed"), notes);

    // A second broken file, then one nested far too deep: each keeps a copy of its own.
    writeAll(path, "second broken file");
    {
        Preferences prefs(path);
        prefs.set(PreferenceKeys::csvMaxDepth, 5);
        EXPECT_TRUE(prefs.synchronize().contains(path + ".malformed.2"));
    }
    QByteArray deep = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    writeAll(path, deep);
    {
        Preferences prefs(path);
        EXPECT_EQ(prefs.value(PreferenceKeys::csvMaxDepth), 0);
        prefs.set(PreferenceKeys::csvMaxDepth, 6);
        ASSERT_FALSE(prefs.synchronize().isEmpty());
    }
    EXPECT_EQ(readAll(path + ".malformed"), notes);
    EXPECT_EQ(readAll(path + ".malformed.2"), QByteArray("second broken file"));
    EXPECT_EQ(readAll(path + ".malformed.3"), deep);
    EXPECT_EQ(PropertyList::readFile(path).dictionary, (QVariantMap{{"csvMaxDepth", qlonglong(6)}}));

    // A link to a file of settings is still written through.
    const QString kept = dir.filePath("kept.plist");
    ASSERT_EQ(PropertyList::writeFile(kept, {{"csvMaxDepth", qlonglong(1)}}), QString());
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(kept, path));
    {
        Preferences prefs(path);
        prefs.set(PreferenceKeys::csvMaxDepth, 7);
        EXPECT_EQ(prefs.synchronize(), QString());
    }
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(PropertyList::readFile(kept).dictionary, (QVariantMap{{"csvMaxDepth", qlonglong(7)}}));
}

TEST(Preferences, AnUnwritableStoreReportsTheFailureAndKeepsTheFile) {
    QTemporaryDir dir;
    openToEveryone(dir);
    const QString folder = dir.filePath("cfg");
    const QString path = folder + "/ZelvaneMac.plist";
    {
        Preferences prefs(path);
        prefs.set(PreferenceKeys::showTreemap, false);
        ASSERT_EQ(prefs.synchronize(), QString());
    }
    const QByteArray before = readAll(path);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const int status = runUnprivileged([&] {
        Preferences prefs(path);
        prefs.set(PreferenceKeys::showTreemap, true);
        return prefs.synchronize().isEmpty() ? 1 : 0;
    });
    chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(status, 0) << "the failed write was reported as a success";
    EXPECT_EQ(readAll(path), before);
}

// A FIFO at the settings path held the start-up (and the export mode) in the open for good, and
// /dev/zero there read as a broken file that a change would "keep a copy of" without end: what is
// no regular file cannot be read, the store starts from the defaults, never writes over it, and
// says once why the settings cannot be saved.
TEST(Preferences, ASettingsPathThatIsNoRegularFileIsNeitherWaitedForNorWrittenOver) {
    qtTestApp();
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.plist");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.plist");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));

    // Should an open block after all, a writer ends the wait after a while: a failure, not a hang.
    std::atomic<bool> done{false};
    std::thread unblocker([&] {
        for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    for (const QString& path : {fifo, zero}) {
        Preferences prefs(path);
        QSignalSpy failures(&prefs, &Preferences::saveFailed);
        EXPECT_EQ(prefs.value(PreferenceKeys::csvMaxDepth), 0) << path.toStdString();
        prefs.set(PreferenceKeys::csvMaxDepth, 3);
        prefs.set(PreferenceKeys::selectedTab, QStringLiteral("fileView"));
        QCoreApplication::processEvents();
        EXPECT_TRUE(prefs.synchronize().contains("cannot read")) << path.toStdString();
        ASSERT_EQ(failures.count(), 1) << "told once: " << path.toStdString();
        EXPECT_EQ(failures[0][0].toString(), path);
        EXPECT_EQ(failures[0][1].toString(), "Not a regular file (a device, pipe or socket)");
        EXPECT_EQ(prefs.value(PreferenceKeys::csvMaxDepth), 3) << "the change holds for the run";
    }
    done = true;
    unblocker.join();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
    EXPECT_TRUE(QFileInfo(zero).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(zero + ".malformed"));
    EXPECT_FALSE(QFileInfo::exists(fifo + ".malformed"));
}

// Settings that cannot be saved (here a file where the settings folder should be, which stops
// root as well as anyone) are reported once in the life of the store, with the system's reason;
// the failing writes keep being tried, and the next one that succeeds writes every change.
TEST(Preferences, AFailedSaveIsToldOnceWithTheReason) {
    qtTestApp();
    QTemporaryDir dir;
    const QString folder = dir.filePath("ZelvaneMac");
    writeAll(folder, "a file where the folder should be");
    const QString path = folder + "/ZelvaneMac.plist";
    Preferences prefs(path);
    QSignalSpy failures(&prefs, &Preferences::saveFailed);
    prefs.set(PreferenceKeys::selectedTab, QStringLiteral("fileView"));
    ASSERT_TRUE(pumpUntil([&] { return failures.count() > 0; })) << "the queued save said nothing";
    EXPECT_EQ(failures[0][0].toString(), path);
    EXPECT_EQ(failures[0][1].toString(), QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    prefs.set(PreferenceKeys::csvMaxDepth, 2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(prefs.synchronize().isEmpty());
    EXPECT_EQ(failures.count(), 1) << "told once per run";
    EXPECT_EQ(readAll(folder), QByteArray("a file where the folder should be"));

    ASSERT_TRUE(QFile::remove(folder));
    EXPECT_EQ(prefs.synchronize(), QString());
    EXPECT_EQ(PropertyList::readFile(path).dictionary,
              (QVariantMap{{"selectedTab", QStringLiteral("fileView")}, {"csvMaxDepth", qlonglong(2)}}));
}

TEST(Preferences, StandardFileFollowsXDGConfigHome) {
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    EXPECT_EQ(Preferences::standardFilePath(), dir.path() + "/ZelvaneMac/ZelvaneMac.plist");
    {
        Preferences prefs;
        prefs.set(PreferenceKeys::autoScanAfterSelection, false);
        ASSERT_EQ(prefs.synchronize(), QString());
    }
    EXPECT_TRUE(QFile::exists(dir.path() + "/ZelvaneMac/ZelvaneMac.plist"));
    if (old.isNull()) qunsetenv("XDG_CONFIG_HOME");
    else qputenv("XDG_CONFIG_HOME", old);
}

// A watcher tells its consumer once for each change of what it reads, and never for a key it does
// not read, a value stored again, or a stored value that reads as the one before.
TEST(SettingsWatcher, SendsOnlyWhenTheSnapshotDiffers) {
    qtTestApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("prefs.plist"));
    SettingsWatcher<SizeTextFormat> watcher(prefs);
    QSignalSpy sent(&watcher, &SettingsWatch::changed);
    EXPECT_EQ(watcher.current(), SizeTextFormat{}) << "a fresh store reads as the type's own defaults";

    const struct {
        const char* what;
        std::function<void()> change;
        int sends;
    } cases[] = {
        {"a key it does not read", [&] { prefs.set(PreferenceKeys::fileDupsOnly, true); }, 0},
        {"the default stored for the first time", [&] { prefs.set(PreferenceKeys::byteUnitBase, int64_t(1000)); }, 0},
        {"a real change", [&] { prefs.set(PreferenceKeys::byteUnitBase, int64_t(1024)); }, 1},
        {"the same value again", [&] { prefs.set(PreferenceKeys::byteUnitBase, int64_t(1024)); }, 0},
        {"a value of the wrong type, read as the default", [&] { prefs.setObject("byteSizeDisplayMode", QStringLiteral("3")); }, 0},
        {"a mode that names none, read as dynamic", [&] { prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(99)); }, 0},
        {"a removal back to the default", [&] { prefs.remove("byteUnitBase"); }, 1},
        {"a mode that names one", [&] { prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(3)); }, 1},
    };
    for (const auto& c : cases) {
        const SizeTextFormat before = watcher.current();
        sent.clear();
        c.change();
        EXPECT_EQ(sent.count(), c.sends) << c.what;
        EXPECT_EQ(watcher.current(), SizeTextFormat::of(prefs)) << c.what;
        if (c.sends) {
            EXPECT_EQ(watcher.previous(), before) << c.what;
        }
    }
    EXPECT_EQ(watcher.current().base, ByteUnitBase::decimal);
    EXPECT_NE(watcher.current().mode, ByteSizeDisplayMode::dynamic);
}

}  // namespace
