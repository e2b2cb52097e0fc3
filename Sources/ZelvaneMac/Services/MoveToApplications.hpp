#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace zelvane {

class Preferences;

namespace MoveToApplicationsFacts {

// Where applications are kept, machine-wide first: "/opt" when the process runs as root, then the
// user's "~/Applications".
QStringList applicationsDirectories();

// True when the bundle folder's parent is one of `directories` (compared as real paths), or when
// the program is a packaged install under /usr. Only the direct parent counts.
bool isAlreadyInApplications(const QString& bundlePath, const QStringList& directories = applicationsDirectories());

}  // namespace MoveToApplicationsFacts

namespace MoveToApplicationsMover {

struct Environment {
    QString bundlePath;                      // the running bundle folder
    QString executableName;                  // the program's file name inside the bundle
    QStringList applicationsDirectories;     // tried in order
    QString desktopEntriesFolder;            // where the launcher entry goes (~/.local/share/applications)
    std::function<void()> flushPreferences;  // before the new copy starts reading them
    std::function<bool(const QString& program)> startProgram;  // starts the moved copy, no shell
    std::function<void()> terminate;         // the application's orderly quit (it writes preferences back)
};

struct Outcome {
    bool moved = false;
    QString destination;  // the bundle's new place when moved
};

// The environment of the running program.
Environment currentEnvironment(Preferences& preferences);

// Copies the bundle into the first Applications folder that takes it (a temporary sibling renamed
// over any older copy, so a failed copy never costs the installed one), removes the source only
// after that succeeded, writes the launcher entry, starts the new copy and asks to terminate.
// A destination that is the running bundle itself is left alone. Nothing is reported: the program
// simply keeps running from where it was when no folder took it.
Outcome moveAndRelaunch(const Environment& environment);

// The launcher (.desktop) entry for a program at `executable`.
QByteArray desktopEntry(const QString& executable);

}  // namespace MoveToApplicationsMover
}  // namespace zelvane
