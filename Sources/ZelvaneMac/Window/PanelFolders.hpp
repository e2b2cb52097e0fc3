#pragma once

#include <QString>

namespace zelvane {

class VolumeChoice;

// Where the window's open panels (a folder or a CSV/TSV file to scan, a folder for the multi-root
// sheet) start: the folder the last one ended in while it still exists, else the home folder;
// never the working folder the program happened to be started from.
QString openPanelStartFolder(const VolumeChoice& choice);
// Remembers the folder that holds what an open panel returned (for a chosen folder, its parent, so
// that the next panel shows it beside its siblings). An empty choice changes nothing.
void rememberOpenPanelChoice(VolumeChoice& choice, const QString& chosenPath);

// `folder` when it names an existing folder, else the home folder.
QString existingFolderOrHome(const QString& folder);

}  // namespace zelvane
