#pragma once

#include <QKeySequence>
#include <QObject>

#include <functional>
#include <vector>

#include "ZelvaneMac/Window/MenuAction.hpp"

class QAction;
class QMenu;
class QMenu;

namespace zelvane {

class ContentViewState;
class FileActionMenu;
class MainWindow;

// The menu bar of one main window: File and Options. Every command acts on this window only, and
// its shortcuts are this window's (a focused text field keeps its own Ctrl+C and Delete). Items
// that depend on state are brought up to date whenever a menu opens and when the state changes.
class MenuBar final : public QObject {
    Q_OBJECT
public:
    explicit MenuBar(MainWindow& window);

    // Runs a command on this window, as its menu item would.
    void handleMenuAction(ZelvaneMenuAction action);

    QMenu* fileMenu() const { return file_; }
    QMenu* optionsMenu() const { return options_; }
    QAction* action(ZelvaneMenuAction a) const;
    // Brings enabling, check marks and the conditional items up to date.
    void refresh();

private:
    QAction* add(QMenu* menu, const char* title, ZelvaneMenuAction a, const QKeySequence& key = {});
    // A checkable action that shows and sets one flag of `owner` (the window's state or a part of it).
    template <class Owner>
    QAction* addToggle(QMenu* menu, const char* title, const QKeySequence& key, Owner& owner, bool (Owner::*get)() const,
                       void (Owner::*set)(bool));
    void buildOptions();

    MainWindow& window_;
    FileActionMenu* fileActions_;
    QMenu* file_;
    QMenu* options_;
    std::vector<std::pair<ZelvaneMenuAction, QAction*>> actions_;
    std::vector<std::function<void()>> refreshers_;
};

}  // namespace zelvane
