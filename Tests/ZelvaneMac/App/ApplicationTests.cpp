#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "QtWidgetTestApp.hpp"
#include "QtFileContents.hpp"
#include "ZelvaneMac/App/AppDelegate.hpp"
#include "ZelvaneMac/App/LanguageRelaunch.hpp"
#include "ZelvaneMac/App/TerminationSignals.hpp"
#include "ZelvaneMac/App/ZelvaneMacApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"

using namespace zelvane;

namespace {

using testsupport::readFile;
using testsupport::writeFile;

struct Launch {
    QString program;
    QStringList arguments;
    QStringList environment;
    QByteArray settingsOnDisk;
};

struct Fixture {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.plist")};
    QStringList calls;
    std::vector<Launch> launches;
    int quits = 0;

    ZelvaneMacApp::Environment environment() {
        ZelvaneMacApp::Environment env;
        env.startup.raiseFileDescriptorLimit = [this] { calls << "limit"; };
        env.startup.activatePortableModeIfPrepared = [this] { calls << "portable"; };
        env.startup.syncPreferencesFromPortableDriveIfActive = [this](Preferences& p) {
            calls << "fromPortable";
            p.set(PreferenceKeys::appLanguageOverride, QStringLiteral("de"));
        };
        env.startup.syncPreferencesFromRealUserIfElevated = [this](Preferences&) { calls << "fromRealUser"; };
        env.startup.applyAdminOverridesIfPresent = [this](Preferences& p) {
            calls << "overrides";
            EXPECT_EQ(p.value(PreferenceKeys::appLanguageOverride), "de") << "overrides run after the copies";
            p.set(PreferenceKeys::appLanguageOverride, QStringLiteral("fr"));
        };
        env.termination.syncPreferencesBackToRealUserIfElevated = [this](Preferences&) { calls << "backToRealUser"; };
        env.termination.syncPreferencesBackToPortableDriveIfActive = [this](Preferences&) { calls << "backToPortable"; };
        env.resourcesDir = dir.filePath("Resources");
        env.systemLanguages = {"en-US"};
        env.program = "/opt/Zelvane Mac \"$(x)\"/ZelvaneMac";
        env.launcher = [this](const QString& program, const QStringList& arguments, const QStringList& environment) {
            launches.push_back({program, arguments, environment, readFile(preferences.filePath())});
            return true;
        };
        env.quit = [this] { ++quits; };
        env.isElevated = [] { return false; };
        return env;
    }
};

struct EnglishAfterwards {
    ~EnglishAfterwards() { installStringsTable(nullptr); }
};

}  // namespace

TEST(ZelvaneMacApp, StartsUpInOrderAndAppliesTheLanguageTheStepsLeft) {
    qtWidgetApp();
    EnglishAfterwards english;
    Fixture f;
    writeFile(f.dir.filePath("Resources/fr.lproj/Localizable.strings"), "\"About\" = \"À propos\";\n");
    writeFile(f.dir.filePath("Resources/de.lproj/Localizable.strings"), "\"About\" = \"Über\";\n");
    ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac"}), f.environment());
    EXPECT_EQ(f.calls, (QStringList{"limit", "portable", "fromPortable", "fromRealUser", "overrides"}));
    EXPECT_EQ(f.preferences.stringList(PreferenceKeys::appleLanguages), QStringList{"fr"});
    EXPECT_EQ(localized("About"), QString::fromUtf8("À propos"));
    EXPECT_TRUE(f.launches.empty()) << "the start-up's own change of the language restarts nothing";

    // A hostile code left by an overrides file never reaches a path: the system's language applies.
    Fixture hostile;
    auto env = hostile.environment();
    env.startup.applyAdminOverridesIfPresent = [](Preferences& p) {
        p.set(PreferenceKeys::appLanguageOverride, QStringLiteral("../../../tmp/evil"));
    };
    env.systemLanguages = {"de-AT"};
    writeFile(hostile.dir.filePath("Resources/de.lproj/Localizable.strings"), "\"About\" = \"Über\";\n");
    ZelvaneMacApp other(hostile.preferences, CommandLine::read({"ZelvaneMac"}), std::move(env));
    EXPECT_FALSE(hostile.preferences.object("AppleLanguages").isValid());
    EXPECT_EQ(localized("About"), QString::fromUtf8("Über"));
}

// Hebrew and Arabic lay every window out right to left, and Qt's own dialogs (the file dialog's
// buttons) speak the interface language; English afterwards turns both back.
TEST(ZelvaneMacApp, TheInterfaceLanguageSetsTheLayoutDirectionAndQtsOwnTexts) {
    qtWidgetApp();
    EnglishAfterwards english;
    for (const char* code : {"he", "de", "en"}) {
        SCOPED_TRACE(code);
        Fixture f;
        auto env = f.environment();
        env.startup.syncPreferencesFromPortableDriveIfActive = [](Preferences&) {};
        env.startup.applyAdminOverridesIfPresent = [code](Preferences& p) {
            p.set(PreferenceKeys::appLanguageOverride, QString::fromLatin1(code));
        };
        writeFile(f.dir.filePath("Resources/he.lproj/Localizable.strings"), "\"About\" = \"\u05D0\u05D5\u05D3\u05D5\u05EA\";\n");
        writeFile(f.dir.filePath("Resources/de.lproj/Localizable.strings"), "\"About\" = \"\u00DCber\";\n");
        ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac"}), std::move(env));
        const bool hebrew = QLatin1String(code) == QLatin1String("he");
        EXPECT_EQ(QGuiApplication::layoutDirection(), hebrew ? Qt::RightToLeft : Qt::LeftToRight);
        QMainWindow window;
        EXPECT_EQ(window.layoutDirection(), QGuiApplication::layoutDirection());
        const QString save = QCoreApplication::translate("QFileDialog", "&Save");
        if (QLatin1String(code) == QLatin1String("de")) {
            EXPECT_EQ(save, "S&peichern");
        }
        if (QLatin1String(code) == QLatin1String("en")) {
            EXPECT_EQ(save, "&Save");
        }
    }
}

// A chosen language whose table is of no use (saved in another encoding, cut off before its first
// entry) is no choice: the next preferred language decides the texts, the layout direction and Qt's
// own texts together, instead of English words laid out right to left.
TEST(ZelvaneMacApp, AChosenTableThatCannotBeUsedGivesWayToTheNextLanguage) {
    qtWidgetApp();
    EnglishAfterwards english;
    for (const QByteArray& broken : {QByteArray("\"About\" = \"\xE0\xE5\xE3\xE5\xFA\";\n"), QByteArray("\"About\" = \"\xD7")}) {
        Fixture f;
        auto env = f.environment();
        env.startup.syncPreferencesFromPortableDriveIfActive = [](Preferences&) {};
        env.startup.applyAdminOverridesIfPresent = [](Preferences& p) {
            p.set(PreferenceKeys::appLanguageOverride, QStringLiteral("he"));
        };
        env.systemLanguages = {"de-DE"};
        writeFile(f.dir.filePath("Resources/he.lproj/Localizable.strings"), broken);
        writeFile(f.dir.filePath("Resources/de.lproj/Localizable.strings"), "\"About\" = \"\u00DCber\";\n");
        ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac"}), std::move(env));
        EXPECT_EQ(localized("About"), QString::fromUtf8("Über"));
        EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Save"), "S&peichern");
        EXPECT_FALSE(app.stringsProblems().isEmpty());
    }
}

TEST(ZelvaneMacApp, ALanguageChangeRestartsOnceWithTheSettingsOnDisk) {
    qtWidgetApp();
    EnglishAfterwards english;
    Fixture f;
    auto env = f.environment();
    env.startup = {};
    ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac", "/some/folder"}), std::move(env));
    MainWindow* first = app.openWindow();
    MainWindow* second = app.openWindow();
    ASSERT_EQ(app.windows().size(), 2u);

    f.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("system"));
    EXPECT_TRUE(f.launches.empty()) << "the value in force again is no change";

    f.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("ja"));
    f.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("ko"));
    ASSERT_EQ(f.launches.size(), 1u) << "one restart for the application, not one per window";
    EXPECT_EQ(f.quits, 1);
    const Launch& launch = f.launches.front();
    EXPECT_EQ(launch.program, "/opt/Zelvane Mac \"$(x)\"/ZelvaneMac") << "the path is passed as it is, no shell";
    EXPECT_TRUE(launch.arguments.isEmpty());
    EXPECT_EQ(launch.environment, QStringList{QStringLiteral("ZELVANE_RELAUNCH_AFTER_PID=%1").arg(::getpid())});
    EXPECT_TRUE(launch.settingsOnDisk.contains("<string>ja</string>")) << "written before the new copy starts: " << launch.settingsOnDisk.toStdString();
    delete first;
    delete second;
}

TEST(ZelvaneMacApp, ClosingTheLastWindowQuitsAfterTheWriteBacks) {
    qtWidgetApp();
    EnglishAfterwards english;
    Fixture f;
    auto env = f.environment();
    env.startup = {};
    env.quit = [] { QCoreApplication::quit(); };
    ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac"}), std::move(env));
    MainWindow* a = app.openWindow();
    MainWindow* b = app.openWindow();
    bool quitWhileOneOpen = false;
    QTimer::singleShot(0, [&] { a->close(); });
    QTimer::singleShot(50, [&] {
        quitWhileOneOpen = f.calls.contains("backToRealUser");
        b->close();
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(quitWhileOneOpen);
    EXPECT_EQ(f.calls, (QStringList{"backToRealUser", "backToPortable"}));
    EXPECT_TRUE(app.windows().empty()) << "closed windows are gone with their state";

    EXPECT_TRUE(app.delegate().applicationShouldTerminateAfterLastWindowClosed());
    Fixture exporting;
    ZelvaneMacApp unattended(exporting.preferences, CommandLine::read({"ZelvaneMac", "--export=/tmp/x.csv", "/tmp"}), exporting.environment());
    EXPECT_FALSE(unattended.delegate().applicationShouldTerminateAfterLastWindowClosed());
}

// Settings that cannot be saved (a file where the settings folder should be, which stops root as
// well) were dropped at the end without a word: the first failed save tells the user over the
// window, with the file and the reason, once in the run however often the saving fails again.
TEST(ZelvaneMacApp, SettingsThatCannotBeSavedAreToldOnceOverTheWindow) {
    qtWidgetApp();
    EnglishAfterwards english;
    Fixture f;
    writeFile(f.dir.filePath("cfg"), "a file where the settings folder should be");
    const QString path = f.dir.filePath("cfg/ZelvaneMac.plist");
    Preferences unsaved(path);
    auto env = f.environment();
    env.startup = {};
    ZelvaneMacApp app(unsaved, CommandLine::read({"ZelvaneMac"}), std::move(env));
    MainWindow* window = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const auto shownBoxes = [] {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) boxes.push_back(box);
        return boxes;
    };
    // The user picks another tab, which is kept in the settings.
    window->controller().setSelectedTab(ContentTab::fileView);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !shownBoxes().empty(); }, 10000)) << "nothing was said";
    QMessageBox* box = shownBoxes().front();
    EXPECT_TRUE(box->text().startsWith("Settings could not be saved.")) << box->text().toStdString();
    EXPECT_EQ(box->informativeText(), "\"" + path + "\": " + QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    EXPECT_EQ(box->parentWidget(), window) << "over the window in front";
    box->accept();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownBoxes().empty(); }));

    window->controller().setSelectedTab(ContentTab::treeView);
    window->controller().setSelectedTab(ContentTab::fileView);
    pumpWidgetsUntil([] { return false; }, 300);
    EXPECT_TRUE(shownBoxes().empty()) << "told twice in one run";
    EXPECT_EQ(readFile(f.dir.filePath("cfg")), QByteArray("a file where the settings folder should be"));
}

TEST(AppDelegate, OpensAWindowWhenNoneIsVisibleShortlyAfterLaunch) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    for (const bool exportMode : {false, true}) {
        int opened = 0;
        bool visible = false;
        QImage icon;
        AppDelegate::Hooks hooks;
        hooks.hasVisibleWindow = [&] { return visible; };
        hooks.openWindow = [&] { ++opened; };
        hooks.applicationIcon = [] { return QImage(64, 64, QImage::Format_ARGB32); };
        hooks.setApplicationIcon = [&](const QImage& image) { icon = image; };
        hooks.isElevated = [] { return true; };
        AppDelegate delegate(preferences, exportMode, hooks, {});
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(icon.size(), QSize(64, 64)) << "running as root shows the badged icon";
        pumpWidgetsUntil([] { return false; }, AppDelegate::windowCheckDelayMillis + 200);
        EXPECT_EQ(opened, exportMode ? 0 : 1);
    }
}

TEST(AppDelegate, BadgeSitsBottomRightAtThePartsProportions) {
    const BadgeGeometry g = badgeGeometry(QSizeF(128, 128));
    const qreal d = 128 * 0.52;
    EXPECT_DOUBLE_EQ(g.outer.width(), d);
    EXPECT_DOUBLE_EQ(g.outer.right(), 128);
    EXPECT_DOUBLE_EQ(g.outer.bottom(), 128);
    EXPECT_DOUBLE_EQ(g.inner.left(), 128 - d + d * 0.07);
    EXPECT_DOUBLE_EQ(g.inner.width(), d * 0.86);
    EXPECT_DOUBLE_EQ(g.symbol.width(), d * 0.86 * 0.6);
    EXPECT_EQ(g.symbol.center(), g.inner.center());

    QImage base(128, 128, QImage::Format_ARGB32_Premultiplied);
    base.fill(QColor(0, 0, 255));
    const QImage badged = badgedApplicationIcon(base);
    EXPECT_EQ(badged.pixelColor(5, 123), QColor(0, 0, 255)) << "the bottom left stays the icon";
    EXPECT_EQ(badged.pixelColor(122, 5), QColor(0, 0, 255)) << "the top right stays the icon";
    EXPECT_EQ(badged.pixelColor(int(g.outer.center().x()), 126), QColor(Qt::white)) << "white ring at the bottom";
    const QColor inner = badged.pixelColor(int(g.inner.left() + 3), int(g.inner.center().y()));
    EXPECT_EQ(inner, QColor(0xFF, 0x95, 0x00));
    EXPECT_EQ(base.pixelColor(120, 5), QColor(0, 0, 255)) << "the base image is left alone";
    EXPECT_EQ(badgedApplicationIcon(QImage()).size(), QSize(128, 128));

    // A picture of the real icon with its badge, for a person to look at.
    qtWidgetApp();
    const QString grabs = QDir::temp().filePath("zelvane-grabs");
    QDir().mkpath(grabs);
    EXPECT_TRUE(badgedApplicationIcon(zelvaneIconImage(256)).save(QDir(grabs).filePath("badged-icon.png")));
}

TEST(LanguageRelaunch, TheNewCopyWaitsForTheOldOneToEnd) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        usleep(300 * 1000);
        _exit(0);
    }
    // The test reaps the child as soon as it ends, as the old copy's parent would.
    std::thread reaper([child] { waitpid(child, nullptr, 0); });
    setenv(LanguageRelaunch::waitVariable, std::to_string(child).c_str(), 1);
    waitForRelaunchingProcess();
    reaper.join();
    EXPECT_NE(kill(child, 0), 0);
    EXPECT_EQ(std::getenv(LanguageRelaunch::waitVariable), nullptr);

    // A variable that names no process, or this one, costs no wait beyond the half second.
    for (const char* value : {"", "abc", "1", "-5"}) {
        setenv(LanguageRelaunch::waitVariable, value, 1);
        waitForRelaunchingProcess(100000);
        EXPECT_EQ(std::getenv(LanguageRelaunch::waitVariable), nullptr);
    }
    setenv(LanguageRelaunch::waitVariable, std::to_string(getpid()).c_str(), 1);
    waitForRelaunchingProcess(100000);
}

TEST(TerminationSignals, ASessionEndingQuitsInOrderAndTheOldHandlersReturn) {
    qtWidgetApp();
    Fixture f;
    auto env = f.environment();
    env.startup = {};
    ZelvaneMacApp app(f.preferences, CommandLine::read({"ZelvaneMac"}), std::move(env));
    app.openWindow();
    {
        TerminationSignals handler([] { QCoreApplication::quit(); });
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(f.calls, (QStringList{"backToRealUser", "backToPortable"})) << "the write-backs ran";
    }
    struct sigaction now = {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}
