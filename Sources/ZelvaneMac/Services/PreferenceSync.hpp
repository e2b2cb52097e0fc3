#pragma once

#include <QString>

#include <optional>

#include "Platform/UserAccounts.hpp"

namespace zelvane {

class Preferences;

// An elevated run (effective user id 0, started through sudo) works with the real user's
// settings: they are copied in at start-up and written back at termination. The real user's
// store is the same property-list file under that user's home, read and written as that user.

// The real user's settings file: <home>/.config/ZelvaneMac/ZelvaneMac.plist.
QString settingsPathOf(const UserAccount& account);

// Every key of the real user's settings stored into `preferences` (keys only the process has keep
// their values). Nothing happens unless `realUser` is set (by default: elevatedRealUser()).
void syncPreferencesFromRealUserIfElevated(Preferences& preferences,
                                           std::optional<UserAccount> realUser = elevatedRealUser());

// Every key of `preferences` written into the real user's settings; keys only the user has stay.
// Written as the user, replacing the file only once complete. Returns 0 or an errno.
int syncPreferencesBackToRealUserIfElevated(Preferences& preferences,
                                            std::optional<UserAccount> realUser = elevatedRealUser());

// Where save dialogs start: the real user's documents folder in an elevated run, else the user's
// own (XDG_DOCUMENTS_DIR of <home>/.config/user-dirs.dirs, else <home>/Documents).
QString realUserDocumentsDirectory();
QString documentsDirectoryOf(const QString& home);

}  // namespace zelvane
