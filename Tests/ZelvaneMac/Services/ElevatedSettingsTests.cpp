#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Platform/UserAccounts.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Services/AdminOverrides.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"

namespace zelvane {
namespace {

// An unprivileged account with a home folder of its own inside a temp folder, for the syncs of an
// elevated run. Needs root (to hand the folder to the account); skipped otherwise.
struct RealUserHome {
    QTemporaryDir dir;
    UserAccount user;
    bool usable = false;
    RealUserHome() {
        if (::geteuid() != 0) return;
        auto nobody = lookUpUser("nobody");
        if (!nobody) return;
        user = *nobody;
        user.home = (dir.path() + "/home").toStdString();
        QDir().mkpath(QString::fromStdString(user.home));
        ::chmod(dir.path().toLocal8Bit().constData(), 0755);
        usable = ::chown(user.home.c_str(), user.uid, user.gid) == 0;
    }
    QString settings() const { return settingsPathOf(user); }
};

#define REQUIRE_ROOT_HOME(h)                                                                     \
    if (!(h).usable) GTEST_SKIP() << "needs root and a 'nobody' account to act as the real user"

uid_t ownerOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_uid;
}

TEST(ElevatedRun, SettingsComeInFromTheRealUserAndGoBackWrittenAsThatUser) {
    qtWidgetApp();
    RealUserHome home;
    REQUIRE_ROOT_HOME(home);
    // The user's own settings, written as the user.
    const QVariantMap userValues{{"tweakDecimalPlaces", qlonglong(3)}, {"onlyTheUserHasThis", "keep"},
                                 {"hasFullDiskAccessCached", false}};
    const QByteArray xml = PropertyList::xmlFromDictionary(userValues);
    ASSERT_EQ(replaceFileAsUser(home.user, home.settings().toStdString(), xml.toStdString()), 0);
    EXPECT_EQ(ownerOf(home.settings()), home.user.uid);

    QTemporaryDir rootDir;
    Preferences root(rootDir.filePath("root.plist"));
    root.set(PreferenceKeys::tweakAltRowColors, false);
    syncPreferencesFromRealUserIfElevated(root, home.user);
    EXPECT_EQ(root.value(PreferenceKeys::tweakDecimalPlaces), 3);
    EXPECT_FALSE(root.value(PreferenceKeys::hasFullDiskAccessCached));  // no key is left out
    EXPECT_FALSE(root.value(PreferenceKeys::tweakAltRowColors));        // root's own key stays

    root.set(PreferenceKeys::tweakDecimalPlaces, 2);
    ASSERT_EQ(syncPreferencesBackToRealUserIfElevated(root, home.user), 0);
    EXPECT_EQ(ownerOf(home.settings()), home.user.uid);
    const auto back = PropertyList::readFile(home.settings());
    ASSERT_TRUE(back.dictionary);
    EXPECT_EQ(back.dictionary->value("tweakDecimalPlaces").toLongLong(), 2);
    EXPECT_EQ(back.dictionary->value("onlyTheUserHasThis").toString(), "keep");
    EXPECT_EQ(back.dictionary->value("tweakAltRowColors").toBool(), false);
}

TEST(ElevatedRun, LinksTheUserPlantedAreNeitherReadThroughNorWrittenThrough) {
    qtWidgetApp();
    RealUserHome home;
    REQUIRE_ROOT_HOME(home);
    // A file only root may read, holding a valid settings list.
    QTemporaryDir secretDir;
    const QString secret = secretDir.filePath("secret.plist");
    ASSERT_TRUE(PropertyList::writeFile(secret, {{"stolen", "root only"}}).isEmpty());
    ::chmod(QFile::encodeName(secret).constData(), 0600);
    QDir().mkpath(QFileInfo(home.settings()).absolutePath());
    ::chown(QFile::encodeName(QFileInfo(home.settings()).absolutePath() + "/..").constData(), home.user.uid, home.user.gid);
    ::chown(QFile::encodeName(QFileInfo(home.settings()).absolutePath()).constData(), home.user.uid, home.user.gid);
    ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), QFile::encodeName(home.settings()).constData()), 0);

    QTemporaryDir rootDir;
    Preferences root(rootDir.filePath("root.plist"));
    syncPreferencesFromRealUserIfElevated(root, home.user);
    EXPECT_FALSE(root.object("stolen").isValid());

    root.set(PreferenceKeys::tweakDecimalPlaces, 5);
    ASSERT_EQ(syncPreferencesBackToRealUserIfElevated(root, home.user), 0);
    // The link was replaced by the user's own file; the file it pointed at is untouched.
    EXPECT_FALSE(QFileInfo(home.settings()).isSymLink());
    EXPECT_EQ(ownerOf(home.settings()), home.user.uid);
    EXPECT_EQ(PropertyList::readFile(secret).dictionary->value("stolen").toString(), "root only");
    EXPECT_FALSE(PropertyList::readFile(home.settings()).dictionary->contains("stolen"));
}

TEST(ElevatedRun, DocumentsFolderFollowsTheUsersDirectoriesFile) {
    QTemporaryDir home;
    EXPECT_EQ(documentsDirectoryOf(home.path()), home.path() + "/Documents");
    QDir().mkpath(home.filePath(".config"));
    QFile f(home.filePath(".config/user-dirs.dirs"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
    f.close();
    EXPECT_EQ(documentsDirectoryOf(home.path()), home.path() + "/Papiere");
}

// A portable copy whose drive counts as removable.
struct PortableRig {
    QTemporaryDir drive;
    QString bundle;
    std::unique_ptr<PortableMode> mode;
    std::unique_ptr<Preferences> prefs;
    explicit PortableRig(bool removable = true) {
        qtWidgetApp();
        bundle = drive.filePath("ZelvaneMac.app");
        QDir().mkpath(bundle);
        mode = std::make_unique<PortableMode>(bundle, [removable](const QString&) { return removable; });
        prefs = std::make_unique<Preferences>(drive.filePath("home.plist"));
    }
    QString settingsFile() const { return drive.filePath("ZelvaneMac Data/Settings.plist"); }
};

TEST(PortableMode, PreparesOnlyOnARemovableDriveAndActivatesAtStartUpOnlyWhenPrepared) {
    PortableRig internal(false);
    EXPECT_FALSE(internal.mode->prepare());
    EXPECT_FALSE(QFileInfo::exists(internal.drive.filePath("ZelvaneMac Data")));
    QDir().mkpath(internal.drive.filePath("ZelvaneMac Data"));
    internal.mode->activateIfPrepared();
    EXPECT_FALSE(internal.mode->isActive());  // a data folder on an internal disk means nothing

    PortableRig removable;
    removable.mode->activateIfPrepared();
    EXPECT_FALSE(removable.mode->isActive());
    EXPECT_TRUE(removable.mode->prepare());
    EXPECT_TRUE(removable.mode->isActive());
    EXPECT_TRUE(QFileInfo(removable.drive.filePath("ZelvaneMac Data")).isDir());

    PortableRig blocked;
    QFile plain(blocked.drive.filePath("ZelvaneMac Data"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(PortableModeFacts::isPrepared(blocked.bundle));
    EXPECT_FALSE(blocked.mode->prepare());
    EXPECT_FALSE(blocked.mode->isActive());
}

TEST(PortableMode, SettingsTravelWithoutTheMachineKeysAndAreReplacedWhole) {
    PortableRig rig;
    ASSERT_TRUE(rig.mode->prepare());
    rig.prefs->set(PreferenceKeys::tweakDecimalPlaces, 4);
    rig.prefs->set(PreferenceKeys::hasFullDiskAccessCached, false);
    rig.prefs->set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
    ASSERT_EQ(rig.mode->syncPreferencesBackToPortableDriveIfActive(*rig.prefs, std::nullopt), 0);
    const auto written = PropertyList::readFile(rig.settingsFile());
    ASSERT_TRUE(written.dictionary);
    EXPECT_EQ(written.dictionary->value("tweakDecimalPlaces").toLongLong(), 4);
    EXPECT_FALSE(written.dictionary->contains("hasFullDiskAccessCached"));
    EXPECT_FALSE(written.dictionary->contains("suppressFullDiskAccessPrompt"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(rig.drive.filePath("ZelvaneMac Data")).entryList(QDir::Files), QStringList{"Settings.plist"});

    // Reading back skips the machine keys even when the file holds them.
    ASSERT_TRUE(PropertyList::writeFile(rig.settingsFile(), {{"tweakDecimalPlaces", qlonglong(6)},
                                                             {"hasFullDiskAccessCached", true}})
                    .isEmpty());
    QTemporaryDir other;
    Preferences fresh(other.filePath("p.plist"));
    fresh.set(PreferenceKeys::hasFullDiskAccessCached, false);
    rig.mode->syncPreferencesFromPortableDriveIfActive(fresh);
    EXPECT_EQ(fresh.value(PreferenceKeys::tweakDecimalPlaces), 6);
    EXPECT_FALSE(fresh.value(PreferenceKeys::hasFullDiskAccessCached));

    // A broken file or an array at the top applies nothing and says nothing.
    for (const QByteArray& bad : {QByteArray("not a list"),
                                  QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>")}) {
        QFile f(rig.settingsFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bad);
        f.close();
        rig.mode->syncPreferencesFromPortableDriveIfActive(fresh);
        EXPECT_EQ(fresh.value(PreferenceKeys::tweakDecimalPlaces), 6);
    }
}

// An overrides file with the owner and mode given.
QString writeOverrides(const QTemporaryDir& dir, const QVariantMap& values, uid_t owner, mode_t mode) {
    const QString path = dir.filePath("Overrides.plist");
    PropertyList::writeFile(path, values);
    ::chown(QFile::encodeName(path).constData(), owner, 0);
    ::chmod(QFile::encodeName(path).constData(), mode);
    return path;
}

TEST(AdminOverrides, AppliesAllButProtectedKeysAndLocksUpdatesWhenTheFileSetsThem) {
    qtWidgetApp();
    if (::geteuid() != 0) GTEST_SKIP() << "the overrides file must be owned by root";
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    prefs.set(PreferenceKeys::hasFullDiskAccessCached, true);
    const QString path = writeOverrides(dir,
                                        {{"checkForUpdatesEnabled", false},
                                         {"tweakShowHorizontalLines", true},
                                         {"hasFullDiskAccessCached", false},
                                         {"HasFullDiskAccessCached", "applied: case differs"},
                                         {"ZelvaneMac.MainWindowFrame.1920x1080@1.0", "0 0 10 10"},
                                         {"tweakDecimalPlaces", "three"}},
                                        0, 0644);
    const auto outcome = AdminOverrides::applyAdminOverridesIfPresent(prefs, false, path);
    EXPECT_TRUE(outcome.lockedByAdmin);
    EXPECT_FALSE(prefs.value(PreferenceKeys::checkForUpdatesEnabled));
    EXPECT_TRUE(prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin));
    EXPECT_TRUE(prefs.value(PreferenceKeys::tweakShowHorizontalLines));
    EXPECT_TRUE(prefs.value(PreferenceKeys::hasFullDiskAccessCached));
    EXPECT_EQ(prefs.stringValue("HasFullDiskAccessCached"), std::optional<QString>("applied: case differs"));
    EXPECT_FALSE(prefs.object("ZelvaneMac.MainWindowFrame.1920x1080@1.0").isValid());
    // A value of the wrong type is stored as it is and reads as the default.
    EXPECT_EQ(prefs.value(PreferenceKeys::tweakDecimalPlaces), 1);

    // Portable mode: the file is not read and the lock goes.
    const auto portable = AdminOverrides::applyAdminOverridesIfPresent(prefs, true, path);
    EXPECT_FALSE(portable.lockedByAdmin);
    EXPECT_FALSE(prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin));
}

TEST(AdminOverrides, AFileOtherAccountsCouldHaveWrittenIsIgnored) {
    qtWidgetApp();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
    const auto nobody = lookUpUser("nobody");
    ASSERT_TRUE(nobody);
    struct Case {
        uid_t owner;
        mode_t mode;
        bool used;
    } cases[] = {{0, 0644, true}, {0, 0600, true}, {0, 0664, false}, {0, 0646, false}, {nobody->uid, 0644, false}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        Preferences prefs(dir.filePath("p.plist"));
        const QString path = writeOverrides(dir, {{"checkForUpdatesEnabled", false}}, c.owner, c.mode);
        const auto outcome = AdminOverrides::applyAdminOverridesIfPresent(prefs, false, path);
        EXPECT_EQ(outcome.lockedByAdmin, c.used) << std::oct << c.mode << " owner " << c.owner;
        EXPECT_EQ(prefs.value(PreferenceKeys::checkForUpdatesEnabled), !c.used);
    }
    // A link to a good file is not followed; an empty dictionary and a missing file lock nothing.
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    const QString real = writeOverrides(dir, {{"checkForUpdatesEnabled", false}}, 0, 0644);
    const QString link = dir.filePath("link.plist");
    ASSERT_EQ(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_FALSE(AdminOverrides::applyAdminOverridesIfPresent(prefs, false, link).lockedByAdmin);
    EXPECT_FALSE(AdminOverrides::applyAdminOverridesIfPresent(prefs, false, writeOverrides(dir, {}, 0, 0644)).lockedByAdmin);
    EXPECT_FALSE(AdminOverrides::applyAdminOverridesIfPresent(prefs, false, dir.filePath("absent.plist")).lockedByAdmin);
}

}  // namespace
}  // namespace zelvane
