#include "ZelvaneMac/Services/MoveToApplications.hpp"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <filesystem>

#include "Platform/FileReplacement.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

namespace fs = std::filesystem;

namespace {

QString realPath(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(path).absolutePath()) : canonical;
}

fs::path nativePath(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

// A desktop entry's Exec value: the path quoted as the entry format asks.
QString quotedExec(const QString& path) {
    QString out = QStringLiteral("\"");
    for (QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
        if (c == u'%') out += u'%';
        out += c;
    }
    return out + u'"';
}

// Copies `source` to a new folder in `folder` and puts it at `destination`, swapping with an older
// copy there (which is then removed). False, with nothing left behind, on any failure.
bool installCopy(const QString& source, const QString& folder, const QString& destination) {
    QTemporaryDir staging(folder + QStringLiteral("/.ZelvaneMac-install-XXXXXX"));
    if (!staging.isValid()) return false;
    const fs::path copy = nativePath(staging.path()) / "bundle";
    std::error_code ec;
    fs::copy(nativePath(source), copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) return false;
    const QByteArray from = QFile::encodeName(QString::fromStdString(copy.string()));
    const QByteArray to = QFile::encodeName(destination);
    if (fs::exists(fs::symlink_status(nativePath(destination)))) {
        // Swapped in one step: there is never a moment without an installed copy.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) != 0) return false;
    } else if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0) {
        return false;
    }
    // The staging folder now holds the older copy (or nothing) and goes with it.
    return true;
}

}  // namespace

namespace MoveToApplicationsFacts {

QStringList applicationsDirectories() {
    QStringList out;
    if (::geteuid() == 0) out << QStringLiteral("/opt");
    out << QDir::homePath() + QStringLiteral("/Applications");
    return out;
}

bool isAlreadyInApplications(const QString& bundlePath, const QStringList& directories) {
    const QString parent = realPath(QFileInfo(realPath(bundlePath)).absolutePath());
    if (parent == u"/usr" || parent.startsWith(QStringLiteral("/usr/"))) return true;
    for (const QString& d : directories) {
        if (realPath(d) == parent) return true;
    }
    return false;
}

}  // namespace MoveToApplicationsFacts

namespace MoveToApplicationsMover {

Environment currentEnvironment(Preferences& preferences) {
    Environment e;
    e.bundlePath = QCoreApplication::applicationDirPath();
    e.executableName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    e.flushPreferences = [&preferences] { preferences.synchronize(); };
    e.applicationsDirectories = MoveToApplicationsFacts::applicationsDirectories();
    e.desktopEntriesFolder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    e.startProgram = [](const QString& program) { return QProcess::startDetached(program, {}); };
    e.terminate = [] { QCoreApplication::quit(); };
    return e;
}

QByteArray desktopEntry(const QString& executable) {
    const QString exec = quotedExec(executable);
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=ZelvaneMac\n"
                                  "Comment=Disk-space analyser\nExec=%1 %U\nIcon=%2\nTerminal=false\n"
                                  "Categories=System;Utility;Filesystem;\nActions=new-window;\n\n"
                                  "[Desktop Action new-window]\nName=New Window\nExec=%1\n")
                       .arg(exec, QFileInfo(executable).absolutePath() + QStringLiteral("/Resources/ZelvaneMac.png"));
    return text.toUtf8();
}

Outcome moveAndRelaunch(const Environment& env) {
    const QString source = QDir::cleanPath(env.bundlePath);
    const QString name = QFileInfo(source).fileName();
    if (name.isEmpty()) return {};
    const QString sourceReal = realPath(source);
    QString destination;
    for (const QString& folder : env.applicationsDirectories) {
        const QString target = QDir::cleanPath(folder) + u'/' + name;
        // Moving a bundle onto itself would remove the only copy.
        if (realPath(target) == sourceReal || realPath(folder) == realPath(QFileInfo(source).absolutePath())) return {};
        if (!QDir().mkpath(folder)) continue;
        if (installCopy(source, folder, target)) {
            destination = target;
            break;
        }
    }
    if (destination.isEmpty()) return {};

    std::error_code ec;
    fs::remove_all(nativePath(source), ec);  // on failure both copies stay

    const QString executable = destination + u'/' + env.executableName;
    if (!env.desktopEntriesFolder.isEmpty() && QDir().mkpath(env.desktopEntriesFolder)) {
        const QByteArray entry = desktopEntry(executable);
        replaceFileContents(QFile::encodeName(env.desktopEntriesFolder + QStringLiteral("/ZelvaneMac.desktop")).toStdString(),
                            std::string_view(entry.constData(), size_t(entry.size())));
    }
    if (env.flushPreferences) env.flushPreferences();
    if (env.startProgram) env.startProgram(executable);
    if (env.terminate) env.terminate();
    return {true, destination};
}

}  // namespace MoveToApplicationsMover
}  // namespace zelvane
