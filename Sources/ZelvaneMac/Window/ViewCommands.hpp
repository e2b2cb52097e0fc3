#pragma once

#include <QObject>

#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

// The commands that widget-free code (menu actions, the restore after a rescan, the tab change)
// gives the views of one window. Each is a signal carrying what the command needs; the view
// that carries it out connects it to a slot of its own, and no command is remembered here: a view
// made later never acts on an earlier command. Only whether a name is being edited in place is
// kept (the rename command sets it, the view clears it when its editor closes). Main thread only.
class ViewCommands final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isRenamingInline() const { return isRenamingInline_; }
    void setIsRenamingInline(bool value) {
        if (value == isRenamingInline_) return;
        isRenamingInline_ = value;
        emit isRenamingInlineChanged(value);
    }

signals:
    // The Tree View's outline: fold everything, open everything, open these rows (the folders,
    // then the group rows of `groupParents`), edit the name of `node` in place.
    void resetTreeExpansion();
    void expandAll();
    void expandTreeRows(const zelvane::NodeList& folders, const zelvane::NodeList& groupParents);
    void renameInTreeView(zelvane::FileNode* node);
    // The File View: edit the name of `node` in place; take the keyboard into the search field.
    void renameInFileView(zelvane::FileNode* node);
    void focusFileSearch();

    void isRenamingInlineChanged(bool value);

private:
    bool isRenamingInline_ = false;
};

}  // namespace zelvane
