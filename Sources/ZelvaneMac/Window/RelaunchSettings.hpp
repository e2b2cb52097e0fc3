#pragma once

#include <QString>
#include <QStringList>

namespace zelvane {

class Preferences;
struct RelaunchEnvironment;

// The settings around a restart: written out where the next instance reads them, or cleared
// before it starts. In an elevated run that includes the real user's own file, which the next
// instance, started as that user, reads. Each returns an empty text on success, else the reason.

// The store's file and, in an elevated run, the real user's file.
QString flushSettings(Preferences& preferences, const RelaunchEnvironment& env);
// Removes `keys` (all keys when empty) from both. A user's file that is missing or is not a
// settings file is left alone.
QString removeSettings(Preferences& preferences, const RelaunchEnvironment& env, const QStringList& keys);
// What this program stored itself about file-system access: Linux keeps no access decisions for
// programs, so these are what there is to forget.
QStringList accessDecisionKeys();

}  // namespace zelvane
