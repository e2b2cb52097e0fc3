#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "QtWidgetTestApp.hpp"
#include "QtFileContents.hpp"
#include "ZelvaneMac/Services/MoveToApplications.hpp"

namespace zelvane {
namespace {

using testsupport::readFile;
using testsupport::writeFile;

// A bundle folder in "Downloads" and an environment that records instead of starting and quitting.
struct MoveRig {
    QTemporaryDir root;
    QString bundle;
    QStringList started;
    int terminated = 0, flushed = 0;
    MoveToApplicationsMover::Environment env;
    MoveRig() {
        qtWidgetApp();
        bundle = root.filePath("Down loads/ZelvaneMac.app");
        writeFile(bundle + "/ZelvaneMac", "#!/bin/true\n");
        QFile::setPermissions(bundle + "/ZelvaneMac", QFile::permissions(bundle + "/ZelvaneMac") | QFile::ExeOwner);
        writeFile(bundle + "/Resources/Ostrane", "helper");
        QFile::link("Ostrane", bundle + "/Resources/link-to-helper");
        env.bundlePath = bundle;
        env.executableName = "ZelvaneMac";
        env.desktopEntriesFolder = root.filePath("share/applications");
        env.flushPreferences = [this] { ++flushed; };
        env.startProgram = [this](const QString& p) {
            started << p;
            return true;
        };
        env.terminate = [this] { ++terminated; };
    }
};

TEST(MoveToApplications, KnowsWhenTheBundleAlreadyStandsInAnApplicationsFolder) {
    QTemporaryDir root;
    const QString apps = root.filePath("Applications");
    QDir().mkpath(apps + "/ZelvaneMac.app");
    QDir().mkpath(apps + "/Utilities/ZelvaneMac.app");
    QDir().mkpath(root.filePath("Downloads/ZelvaneMac.app"));
    EXPECT_TRUE(MoveToApplicationsFacts::isAlreadyInApplications(apps + "/ZelvaneMac.app", {apps}));
    EXPECT_TRUE(MoveToApplicationsFacts::isAlreadyInApplications(apps + "/./ZelvaneMac.app", {apps + "/"}));
    EXPECT_FALSE(MoveToApplicationsFacts::isAlreadyInApplications(apps + "/Utilities/ZelvaneMac.app", {apps}));
    EXPECT_FALSE(MoveToApplicationsFacts::isAlreadyInApplications(root.filePath("Downloads/ZelvaneMac.app"), {apps}));
    // Reached through a link, it is still the same folder.
    QFile::link(apps, root.filePath("apps-link"));
    EXPECT_TRUE(MoveToApplicationsFacts::isAlreadyInApplications(root.filePath("apps-link/ZelvaneMac.app"), {apps}));
    // A packaged install counts as installed.
    EXPECT_TRUE(MoveToApplicationsFacts::isAlreadyInApplications("/usr/lib/zelvanemac/ZelvaneMac.app", {apps}));
}

TEST(MoveToApplications, MovesTheWholeBundleReplacingAnOlderCopyThenRelaunchesAfterFlushing) {
    MoveRig rig;
    const QString apps = rig.root.filePath("Apps \"quoted\" $HOME");
    writeFile(apps + "/ZelvaneMac.app/ZelvaneMac", "old copy");
    writeFile(apps + "/ZelvaneMac.app/stale-file", "old");
    rig.env.applicationsDirectories = {rig.root.filePath("not-a-folder"), apps};
    writeFile(rig.root.filePath("not-a-folder"), "a file where a folder would go");

    const auto outcome = MoveToApplicationsMover::moveAndRelaunch(rig.env);
    ASSERT_TRUE(outcome.moved);
    EXPECT_EQ(outcome.destination, apps + "/ZelvaneMac.app");
    EXPECT_EQ(readFile(apps + "/ZelvaneMac.app/ZelvaneMac"), "#!/bin/true\n");
    EXPECT_TRUE(QFileInfo(apps + "/ZelvaneMac.app/ZelvaneMac").isExecutable());
    EXPECT_TRUE(QFileInfo(apps + "/ZelvaneMac.app/Resources/link-to-helper").isSymLink());
    EXPECT_FALSE(QFileInfo::exists(apps + "/ZelvaneMac.app/stale-file"));
    EXPECT_FALSE(QFileInfo::exists(rig.bundle));
    // Nothing of the staging is left in the folder.
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"ZelvaneMac.app"});
    EXPECT_EQ(rig.started, QStringList{apps + "/ZelvaneMac.app/ZelvaneMac"});
    EXPECT_EQ(rig.flushed, 1);
    EXPECT_EQ(rig.terminated, 1);
    const QByteArray entry = readFile(rig.root.filePath("share/applications/ZelvaneMac.desktop"));
    EXPECT_TRUE(entry.contains("Exec=\"" + QFile::encodeName(rig.root.path()) + "/Apps \\\"quoted\\\" \\$HOME/ZelvaneMac.app/ZelvaneMac\" %U"))
        << entry.constData();
}

TEST(MoveToApplications, NeverRemovesTheOnlyCopy) {
    MoveRig rig;
    // The destination is the bundle's own folder, reached directly or through a link.
    QFile::link(rig.root.filePath("Down loads"), rig.root.filePath("same-place"));
    for (const QString& folder : {rig.root.filePath("Down loads"), rig.root.filePath("same-place")}) {
        rig.env.applicationsDirectories = {folder};
        EXPECT_FALSE(MoveToApplicationsMover::moveAndRelaunch(rig.env).moved);
        EXPECT_EQ(readFile(rig.bundle + "/ZelvaneMac"), "#!/bin/true\n");
    }
    // No folder takes it: everything stays, nothing starts, nothing quits.
    rig.env.applicationsDirectories = {};
    EXPECT_FALSE(MoveToApplicationsMover::moveAndRelaunch(rig.env).moved);
    EXPECT_TRUE(QFileInfo::exists(rig.bundle + "/ZelvaneMac"));
    EXPECT_TRUE(rig.started.isEmpty());
    EXPECT_EQ(rig.terminated, 0);
}

}  // namespace
}  // namespace zelvane
