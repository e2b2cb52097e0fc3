#include "ZelvaneMac/Window/PanelFolders.hpp"

#include <QDir>
#include <QFileInfo>

#include "ZelvaneMac/Window/VolumeChoice.hpp"

namespace zelvane {

QString existingFolderOrHome(const QString& folder) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return QDir::homePath();
}

QString openPanelStartFolder(const VolumeChoice& choice) { return existingFolderOrHome(choice.lastOpenPanelFolder()); }

void rememberOpenPanelChoice(VolumeChoice& choice, const QString& chosenPath) {
    if (chosenPath.isEmpty()) return;
    const QFileInfo chosen(QDir::cleanPath(chosenPath));
    choice.setLastOpenPanelFolder(chosen.absolutePath());
}

}  // namespace zelvane
