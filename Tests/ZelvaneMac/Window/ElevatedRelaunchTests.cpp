// The restart and reset commands against stand-in programs: a recording script takes the place of
// sudo (and of the program itself), so every argument, the environment and the moment of each start
// are checked as a real sudo would receive them.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include "QtWidgetTestApp.hpp"
#include "StandInProgram.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ElevatedRelaunch.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"

namespace zelvane {
namespace {

const char* const kNotGranted = "Administrator access wasn't granted, or the password prompt was cancelled.";

// One window's worth of relaunch: a temporary home, the stand-ins, a settings store, and a quit
// that only counts.
struct Rig {
    QTemporaryDir dir;
    StandIn sudo{dir.path(), "sudo"};
    StandIn program{dir.path(), "ZelvaneMac"};
    StandIn prompt{dir.path(), "Ostrane"};
    std::unique_ptr<Preferences> preferences = std::make_unique<Preferences>(dir.path() + "/own/ZelvaneMac.plist");
    int quits = 0;
    // The relaunch's phase at each quit, when `watched` is set: a quit belongs to waitingToQuit.
    ElevatedRelaunch* watched = nullptr;
    std::vector<ElevatedRelaunch::Phase> quitPhases;
    std::vector<std::function<void()>> atQuit;
    std::vector<QString> restartFailures;
    std::vector<QString> permissionFailures;

    RelaunchEnvironment environment() {
        RelaunchEnvironment env;
        env.sudoProgram = sudo.path();
        env.executablePath = program.path();
        env.askpassPath = prompt.path();
        env.environment = {"PATH=/usr/bin:/bin", "HOME=" + dir.path(), "DISPLAY=:7", "XAUTHORITY=/run/user/1000/xauth",
                           "SUDO_ASKPASS=/somewhere/else", "RECORD_FILE=" + preferences->filePath()};
        env.quitDelay = std::chrono::milliseconds(400);
        env.quit = [this] {
            ++quits;
            if (watched) quitPhases.push_back(watched->phase());
        };
        env.atQuit = [this](std::function<void()> work) { atQuit.push_back(std::move(work)); };
        return env;
    }

    std::unique_ptr<ElevatedRelaunch> make(RelaunchEnvironment env) {
        auto relaunch = std::make_unique<ElevatedRelaunch>(*preferences, std::move(env));
    watched = relaunch.get();
        QObject::connect(relaunch.get(), &ElevatedRelaunch::restartFailed,
                         [this](const QString& d) { restartFailures.push_back(d); });
        QObject::connect(relaunch.get(), &ElevatedRelaunch::permissionsResetFailed,
                         [this](const QString& d) { permissionFailures.push_back(d); });
        return relaunch;
    }

    // The real user of an elevated run: this process's own account with a home of its own, so the
    // settings are read and written in place.
    UserAccount realUser() {
        QDir().mkpath(dir.path() + "/anna");
        return UserAccount{"anna", ::geteuid(), ::getegid(), (dir.path() + "/anna").toStdString()};
    }
};

// Pumps until the relaunch starts waiting to quit; then the time since then is measured.
bool pumpUntilWaitingToQuit(const ElevatedRelaunch& relaunch, QElapsedTimer& since, int timeoutMs) {
    const bool reached = pumpWidgetsUntil([&] { return relaunch.phase() == ElevatedRelaunch::Phase::waitingToQuit; },
                                          timeoutMs);
    since.start();
    return reached;
}

void pumpFor(int ms) {
    QElapsedTimer t;
    t.start();
    pumpWidgetsUntil([&] { return t.elapsed() >= ms; }, ms + 1000);
}

QVariantMap settingsFileOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {{"<missing>", true}};
    return PropertyList::dictionaryFromData(f.readAll()).value_or(QVariantMap{{"<unreadable>", true}});
}

bool writeSettingsFile(const QString& path, const QVariantMap& values) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(PropertyList::xmlFromDictionary(values)) > 0;
}

TEST(ElevatedRelaunch, ValidatesFirstThenStartsTheProgramAndQuitsOnlyAfterTheDelay) {
    qtWidgetApp();
    Rig rig;
    // A slow typist: the prompt stays up three times as long as the quit delay.
    rig.sudo.onStart(1, 0, 1.2);
    rig.sudo.onStart(2, 0, 5);
    rig.preferences->set(PreferenceKeys::csvMaxDepth, 3);
    auto relaunch = rig.make(rig.environment());

    relaunch->restartAsAdministrator(QRect(10, 20, 1000, 800));
    EXPECT_EQ(relaunch->phase(), ElevatedRelaunch::Phase::validating);
    QElapsedTimer waiting;
    ASSERT_TRUE(pumpUntilWaitingToQuit(*relaunch, waiting, 10000));
    EXPECT_EQ(rig.quits, 0) << "the instance stays while the password is being typed";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.quits == 1; }));
    EXPECT_GE(waiting.elapsed(), 350) << "the quit comes the delay after the start, not before";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.sudo.starts() == 2; }, 10000));

    EXPECT_EQ(rig.sudo.arguments(1), (QStringList{"-A", "-v"}));
    EXPECT_EQ(rig.sudo.arguments(2),
              (QStringList{"-A", "DISPLAY=:7", "XAUTHORITY=/run/user/1000/xauth", rig.program.path()}));
    for (int n : {1, 2}) {
        EXPECT_EQ(rig.sudo.variable(n, "SUDO_ASKPASS"), rig.prompt.path()) << n;
        EXPECT_EQ(rig.sudo.variable(n, "ZELVANEMAC_WINDOW_FRAME"), "10,20,1000,800") << n;
        EXPECT_EQ(rig.sudo.variable(n, "DISPLAY"), ":7") << n;
    }
    EXPECT_EQ(PropertyList::dictionaryFromData(rig.sudo.recordedFile(2)).value_or(QVariantMap{}).value("csvMaxDepth"),
              QVariant(qlonglong(3)))
        << "the settings are on disk before the elevated instance reads them";

    EXPECT_FALSE(relaunch->failed());
    EXPECT_TRUE(rig.restartFailures.empty());
    pumpFor(600);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_EQ(rig.program.starts(), 0) << "the program is started by sudo, never directly";
}

TEST(ElevatedRelaunch, AFailureBeforeTheQuitKeepsTheInstanceAndSaysSo) {
    qtWidgetApp();
    const struct {
        const char* name;
        int validationStatus;
        int startStatus;
        int expectedStarts;
    } cases[] = {
        {"password refused or prompt cancelled", 1, 0, 1},
        {"the elevated start fails within the delay", 0, 1, 2},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.sudo.onStart(1, c.validationStatus);
        rig.sudo.onStart(2, c.startStatus, 0.1);
        // Long enough that the failure surely comes first, also on a loaded machine.
        auto env = rig.environment();
        env.quitDelay = std::chrono::milliseconds(2000);
        auto relaunch = rig.make(env);
        relaunch->restartAsAdministrator(std::nullopt);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !rig.restartFailures.empty(); })) << c.name;
        EXPECT_EQ(rig.restartFailures, std::vector<QString>{kNotGranted}) << c.name;
        EXPECT_TRUE(relaunch->failed()) << c.name;
        EXPECT_EQ(relaunch->phase(), ElevatedRelaunch::Phase::idle) << c.name;
        pumpFor(2300);
        EXPECT_EQ(rig.quits, 0) << c.name;
        EXPECT_EQ(rig.sudo.starts(), c.expectedStarts) << c.name;
        EXPECT_EQ(rig.sudo.variable(1, "ZELVANEMAC_WINDOW_FRAME"), "<unset>") << c.name;
    }
}

TEST(ElevatedRelaunch, ARetryAfterAFailureQuitsOnlyForItsOwnSuccess) {
    qtWidgetApp();
    Rig rig;
    rig.sudo.onStart(1, 0);
    rig.sudo.onStart(2, 1);
    // The second prompt outlasts the first attempt's quit timer. The timer is long enough for the
    // first attempt's failure to be seen before it even on a loaded machine.
    rig.sudo.onStart(3, 0, 2.5);
    rig.sudo.onStart(4, 0, 8);
    RelaunchEnvironment env = rig.environment();
    env.quitDelay = std::chrono::milliseconds(2000);
    auto relaunch = rig.make(std::move(env));
    relaunch->restartAsAdministrator(std::nullopt);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !rig.restartFailures.empty(); }));

    QElapsedTimer sinceRetry;
    sinceRetry.start();
    relaunch->restartAsAdministrator(std::nullopt);
    EXPECT_FALSE(relaunch->failed()) << "a new attempt clears the flag";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.quits == 1; }, 20000));
    // The second prompt takes 2.5 s and its own quit timer 2 s more: a quit sooner came from the
    // first attempt's timer. A slow machine only makes the quit later.
    EXPECT_GE(sinceRetry.elapsed(), 4400) << "only the second attempt's own timer ends the instance";
    EXPECT_EQ(rig.quitPhases, std::vector<ElevatedRelaunch::Phase>{ElevatedRelaunch::Phase::waitingToQuit});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.sudo.starts() == 4; }, 10000));

    // While a restart is under way a second request changes nothing.
    relaunch->restartAsAdministrator(std::nullopt);
    pumpFor(200);
    EXPECT_EQ(rig.sudo.starts(), 4);
}

TEST(ElevatedRelaunch, NothingStartsWithoutTheHelperOrWhenSudoCannotRun) {
    qtWidgetApp();
    {
        Rig rig;
        auto env = rig.environment();
        env.askpassPath = rig.dir.path() + "/missing/Ostrane";
        auto relaunch = rig.make(env);
        relaunch->restartAsAdministrator(std::nullopt);
        EXPECT_EQ(rig.restartFailures, std::vector<QString>{"Couldn't find the Ostrane helper inside this app bundle."});
        EXPECT_EQ(rig.sudo.starts(), 0);
    }
    {
        Rig rig;
        auto env = rig.environment();
        env.sudoProgram = rig.dir.path() + "/no-sudo-here";
        auto relaunch = rig.make(env);
        relaunch->restartAsAdministrator(std::nullopt);
        EXPECT_EQ(rig.restartFailures, std::vector<QString>{"Couldn't start the elevated relaunch: " + env.sudoProgram +
                                                            ": No such file or directory"});
        EXPECT_FALSE(relaunch->failed());
        EXPECT_EQ(relaunch->phase(), ElevatedRelaunch::Phase::idle);
        pumpFor(600);
        EXPECT_EQ(rig.quits, 0);
    }
}

TEST(ElevatedRelaunch, BackToTheRealUserWritesTheSettingsBackFirstAndStartsNoShell) {
    qtWidgetApp();
    {
        Rig rig;
        auto relaunch = rig.make(rig.environment());
        relaunch->restartWithoutAdministrator();
        EXPECT_EQ(rig.restartFailures,
                  std::vector<QString>{"Couldn't determine which user to restart as (SUDO_USER isn't set)."});
        pumpFor(200);
        EXPECT_EQ(rig.sudo.starts(), 0);
        EXPECT_EQ(rig.quits, 0);
    }
    {
        Rig rig;
        auto env = rig.environment();
        env.elevated = true;
        env.realUser = rig.realUser();
        const QString userSettings = settingsPathOf(*env.realUser);
        env.environment << "SUDO_USER=anna";
        env.environment.removeIf([](const QString& e) { return e.startsWith("RECORD_FILE="); });
        env.environment << "RECORD_FILE=" + userSettings;
        rig.preferences->set(PreferenceKeys::csvMaxDepth, 5);
        auto relaunch = rig.make(env);
        relaunch->restartWithoutAdministrator();
        EXPECT_EQ(rig.quits, 1) << "the elevated instance ends at once";
        ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.sudo.starts() == 1; }));
        EXPECT_EQ(rig.sudo.arguments(1), (QStringList{"-u", "anna", "DISPLAY=:7", "XAUTHORITY=/run/user/1000/xauth",
                                                      rig.program.path()}));
        EXPECT_EQ(PropertyList::dictionaryFromData(rig.sudo.recordedFile(1)).value_or(QVariantMap{}).value("csvMaxDepth"),
                  QVariant(qlonglong(5)))
            << "the user's settings were written back before the new instance started";
        EXPECT_TRUE(rig.restartFailures.empty());
    }
    {
        Rig rig;
        auto env = rig.environment();
        env.environment << "SUDO_USER=anna";
        env.sudoProgram = rig.dir.path() + "/no-sudo-here";
        auto relaunch = rig.make(env);
        relaunch->restartWithoutAdministrator();
        EXPECT_EQ(rig.restartFailures, std::vector<QString>{"Couldn't restart without administrator: " +
                                                            env.sudoProgram + ": No such file or directory"});
        EXPECT_EQ(rig.quits, 0);
    }
}

TEST(ElevatedRelaunch, DisplayVariablesPassedOnAsSudoAssignments) {
    QTemporaryDir home;
    QFile(home.path() + "/.Xauthority").open(QIODevice::WriteOnly);
    const struct {
        const char* name;
        QStringList environment;
        QStringList expected;
    } cases[] = {
        {"X11 with its authority", {"DISPLAY=:0", "XAUTHORITY=/tmp/a b"}, {"DISPLAY=:0", "XAUTHORITY=/tmp/a b"}},
        {"X11, authority in the home",
         {"DISPLAY=:1", "HOME=" + home.path()},
         {"DISPLAY=:1", "XAUTHORITY=" + home.path() + "/.Xauthority"}},
        {"X11, no authority file", {"DISPLAY=:1", "HOME=/nonexistent"}, {"DISPLAY=:1"}},
        {"Wayland socket name", {"WAYLAND_DISPLAY=wayland-0", "XDG_RUNTIME_DIR=/run/user/1000"},
         {"WAYLAND_DISPLAY=/run/user/1000/wayland-0"}},
        {"Wayland socket path", {"WAYLAND_DISPLAY=/run/w", "XDG_RUNTIME_DIR=/run/user/1000"}, {"WAYLAND_DISPLAY=/run/w"}},
        {"no display", {"HOME=" + home.path(), "DISPLAY="}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(displayAssignments(c.environment), c.expected) << c.name;
}

TEST(ElevatedRelaunch, ResetConfigurationClearsBothStoresAndRestartsAfterTheLastWrites) {
    qtWidgetApp();
    Rig rig;
    auto env = rig.environment();
    env.elevated = true;
    env.realUser = rig.realUser();
    const QString userSettings = settingsPathOf(*env.realUser);
    ASSERT_TRUE(writeSettingsFile(userSettings, {{"csvMaxDepth", 4}, {"showTreemap", false}}));
    rig.preferences->set(PreferenceKeys::csvMaxDepth, 4);
    rig.preferences->set(PreferenceKeys::tweakDecimalPlaces, 2);
    ASSERT_TRUE(rig.preferences->synchronize().isEmpty());
    auto relaunch = rig.make(env);

    relaunch->resetConfigurationAndRestart();
    EXPECT_EQ(rig.quits, 1);
    EXPECT_TRUE(rig.preferences->allKeys().isEmpty());
    EXPECT_TRUE(settingsFileOf(rig.preferences->filePath()).isEmpty());
    EXPECT_TRUE(settingsFileOf(userSettings).isEmpty()) << "the real user's settings are cleared too";
    EXPECT_EQ(rig.program.starts(), 0) << "the new instance waits for this one to finish";

    // A closing window stores its frame again; the relaunch at the very end clears it once more.
    rig.preferences->setObject("ZelvaneMac.MainWindowFrame.1920x1080@1.0", QStringLiteral("0 0 800 600"));
    ASSERT_EQ(rig.atQuit.size(), 1u);
    rig.atQuit.front()();
    EXPECT_TRUE(rig.preferences->allKeys().isEmpty());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.program.starts() == 1; }));
    EXPECT_EQ(rig.program.arguments(1), QStringList{});
    EXPECT_EQ(rig.sudo.starts(), 0);
}

TEST(ElevatedRelaunch, ResetPermissionsForgetsOnlyTheStoredAccessDecisions) {
    qtWidgetApp();
    Rig rig;
    auto env = rig.environment();
    env.elevated = true;
    env.realUser = rig.realUser();
    const QString userSettings = settingsPathOf(*env.realUser);
    ASSERT_TRUE(writeSettingsFile(userSettings, {{"hasFullDiskAccessCached", false},
                                                 {"suppressFullDiskAccessPrompt", true},
                                                 {"csvMaxDepth", 4}}));
    rig.preferences->set(PreferenceKeys::hasFullDiskAccessCached, false);
    rig.preferences->set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
    rig.preferences->set(PreferenceKeys::tweakDecimalPlaces, 2);
    auto relaunch = rig.make(env);

    relaunch->resetPermissionsAndRestart();
    EXPECT_EQ(rig.quits, 1);
    EXPECT_TRUE(rig.permissionFailures.empty());
    EXPECT_EQ(rig.preferences->allKeys(), QStringList{"tweakDecimalPlaces"});
    EXPECT_EQ(settingsFileOf(userSettings), (QVariantMap{{"csvMaxDepth", qlonglong(4)}}));
    ASSERT_EQ(rig.atQuit.size(), 1u);
    rig.atQuit.front()();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.program.starts() == 1; }));
}

TEST(ElevatedRelaunch, AResetThatCannotBeWrittenIsReportedAndNothingRestarts) {
    qtWidgetApp();
    {
        Rig rig;
        // The store's folder cannot be made: a file stands where it should be.
        QFile(rig.dir.path() + "/blocked").open(QIODevice::WriteOnly);
        rig.preferences = std::make_unique<Preferences>(rig.dir.path() + "/blocked/ZelvaneMac.plist");
        rig.preferences->set(PreferenceKeys::hasFullDiskAccessCached, false);
        rig.preferences->set(PreferenceKeys::tweakDecimalPlaces, 2);
        auto relaunch = rig.make(rig.environment());
        relaunch->resetPermissionsAndRestart();
        ASSERT_EQ(rig.permissionFailures.size(), 1u);
        EXPECT_FALSE(rig.permissionFailures.front().isEmpty());
        EXPECT_EQ(rig.quits, 0);
        EXPECT_TRUE(rig.atQuit.empty());
    }
    {
        // The real user's settings folder cannot be made either.
        Rig rig;
        auto env = rig.environment();
        env.elevated = true;
        env.realUser = rig.realUser();
        QFile(QString::fromStdString(env.realUser->home) + "/.config").open(QIODevice::WriteOnly);
        rig.preferences->set(PreferenceKeys::tweakDecimalPlaces, 2);
        auto relaunch = rig.make(env);
        relaunch->resetConfigurationAndRestart();
        ASSERT_EQ(rig.restartFailures.size(), 1u);
        EXPECT_EQ(rig.restartFailures.front(), settingsPathOf(*env.realUser) + ": Not a directory");
        EXPECT_EQ(rig.quits, 0);
        EXPECT_TRUE(rig.atQuit.empty());
    }
}

TEST(RelaunchCommands, OutcomesLandInTheWindowState) {
    qtWidgetApp();
    Rig rig;
    WindowPrompts prompts;
    Preferences& prefs = *rig.preferences;
    rig.sudo.onStart(1, 1);
    installElevatedRelaunch(prompts, prefs, rig.environment());
    performRestartAsAdministrator(prompts, prefs, QRect(0, 0, 1200, 800));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return prompts.adminRelaunchErrorDetail().has_value(); }));
    EXPECT_EQ(*prompts.adminRelaunchErrorDetail(), kNotGranted);
    EXPECT_EQ(&elevatedRelaunchOf(prompts, prefs).environment().sudoProgram,
              &elevatedRelaunchOf(prompts, prefs).environment().sudoProgram);
    EXPECT_EQ(elevatedRelaunchOf(prompts, prefs).environment().sudoProgram, rig.sudo.path());
}

}  // namespace
}  // namespace zelvane
