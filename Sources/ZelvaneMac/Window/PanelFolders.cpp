#include "ZelvaneMac/Window/PanelFolders.hpp"

#include <QDir>
#include <QFileInfo>

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

QString existingFolderOrHome(const QString& folder) {
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
    return QDir::homePath();
}

QString openPanelStartFolder(const ContentViewState& state) { return existingFolderOrHome(state.lastOpenPanelFolder()); }

void rememberOpenPanelChoice(ContentViewState& state, const QString& chosenPath) {
    if (chosenPath.isEmpty()) return;
    const QFileInfo chosen(QDir::cleanPath(chosenPath));
    state.setLastOpenPanelFolder(chosen.absolutePath());
}

}  // namespace zelvane
