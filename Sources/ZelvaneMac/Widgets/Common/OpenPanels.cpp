#include "ZelvaneMac/Widgets/Common/OpenPanels.hpp"

#include <QFileDialog>

#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

namespace {

QString runPanel(QFileDialog& panel, const QString& startFolder) {
    // Set after the panel is made: making it restores Qt's remembered folder.
    panel.setDirectory(startFolder);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return {};
    return panel.selectedFiles().first();
}

}  // namespace

QString chooseFolderIn(QWidget* owner, const QString& title, const QString& startFolder) {
    QFileDialog panel(owner, title);
    panel.setFileMode(QFileDialog::Directory);
    panel.setOption(QFileDialog::ShowDirsOnly);
    return runPanel(panel, startFolder);
}

QString chooseFileIn(QWidget* owner, const QString& title, const QString& startFolder, const QString& nameFilter) {
    QFileDialog panel(owner, title);
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setNameFilter(shownNameFilters(nameFilter));
    return runPanel(panel, startFolder);
}

}  // namespace zelvane
