#pragma once

#include <QString>

class QWidget;

namespace zelvane {

// Modal open panels for one folder or one existing file, starting in `startFolder`; an empty
// answer is a cancelled panel. They are made here rather than through QFileDialog's static
// functions, which put the folder Qt remembers in its own settings over the one asked for.
QString chooseFolderIn(QWidget* owner, const QString& title, const QString& startFolder);
QString chooseFileIn(QWidget* owner, const QString& title, const QString& startFolder, const QString& nameFilter);

}  // namespace zelvane
