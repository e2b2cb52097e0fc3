#pragma once

#include <QString>
#include <QStringList>

namespace ostrane {

// Where the main program keeps its preferences: $XDG_CONFIG_HOME/ZelvaneMac/ZelvaneMac.plist
// (~/.config when unset). sudo runs the prompt as the user who asked, with that user's environment,
// so this is the user's own file.
QString mainProgramSettingsPath();

// The main program's language choice: "AppleLanguages" of its preference file, stored as the JSON
// text of an array of strings (a property-list array of strings is taken as well). Anything else, a
// missing or unreadable file included, gives no languages.
QStringList mainProgramLanguages(const QString& settingsPath);

}  // namespace ostrane
