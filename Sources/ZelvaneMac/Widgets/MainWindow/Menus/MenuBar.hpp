#pragma once

#include <QObject>

#include <memory>

#include "ZelvaneMac/Window/MenuAction.hpp"

class QAction;
class QMenu;

namespace zelvane {

class FileActionMenu;
class JobGeneration;
class MainWindow;
class MenuItems;

// The menu bar of one main window: File and Options. Every command acts on this window only, and
// its shortcuts are this window's (a focused text field keeps its own Ctrl+C and Delete). Items
// that depend on state are brought up to date whenever a menu opens and when the state changes.
class MenuBar final : public QObject {
    Q_OBJECT
public:
    explicit MenuBar(MainWindow& window);
    ~MenuBar() override;

    // Runs a command on this window, as its menu item would.
    void handleMenuAction(ZelvaneMenuAction action);

    QMenu* fileMenu() const { return file_; }
    QMenu* optionsMenu() const { return options_; }
    QAction* action(ZelvaneMenuAction a) const;
    // Brings enabling, check marks and the conditional items up to date.
    void refresh();

private:
    void buildFile();
    void addApplyFiltersKey();

    MainWindow& window_;
    MenuItems* items_;
    FileActionMenu* fileActions_;
    // The size listing still being made for the clipboard.
    std::unique_ptr<JobGeneration> summaryCopies_;
    QMenu* file_ = nullptr;
    QMenu* options_ = nullptr;
};

}  // namespace zelvane
