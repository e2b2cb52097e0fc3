#pragma once

#include <QString>
#include <QStringList>

namespace zelvane {

class Preferences;

// An administrator imposes settings on every user by placing a property list at a fixed path.
namespace AdminOverrides {

inline constexpr const char* defaultFilePath = "/etc/ZelvaneMac/Overrides.plist";

// Keys that contain one of these (same case) describe this user's machine or window layout and
// are never overridden.
const QStringList& protectedSubstrings();

struct Outcome {
    int applied = 0;           // keys stored
    bool lockedByAdmin = false;
    QString ignoredBecause;    // why the file was not used, when it exists but was refused
};

// Applies the file's values to `preferences` (outside portable mode) and stores
// "checkForUpdatesLockedByAdmin": true exactly when the file was used and holds
// "checkForUpdatesEnabled". The file is used only when it is a regular file owned by root that
// neither its group nor others may write; anything else is ignored as if it were absent.
Outcome applyAdminOverridesIfPresent(Preferences& preferences, bool portableModeActive,
                                     const QString& filePath = QString::fromLatin1(defaultFilePath));

}  // namespace AdminOverrides
}  // namespace zelvane
