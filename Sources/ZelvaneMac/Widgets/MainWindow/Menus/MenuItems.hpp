#pragma once

#include <QAction>
#include <QKeySequence>
#include <QObject>

#include <functional>
#include <utility>
#include <vector>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"

class QMenu;

namespace zelvane {

// The items of one window's menus: commands known by their identifier, and checkable items
// whose marks are brought up to date by `refresh()`, each from the state it shows. Shortcuts are
// the window's, so a focused text field keeps its own keys.
class MenuItems final : public QObject {
    Q_OBJECT
public:
    explicit MenuItems(QObject* parent) : QObject(parent) {}

    // An item that runs `a` through `commandTriggered`.
    QAction* command(QMenu* menu, const char* title, ZelvaneMenuAction a, const QKeySequence& key = {});
    // A checkable item checked as `checked` says; the caller connects what it does.
    QAction* checkable(QMenu* menu, const QString& title, std::function<bool()> checked, const QKeySequence& key = {});
    // A checkable item that shows and sets one flag of `owner` (the window's state or a part of it).
    template <class Owner>
    QAction* toggle(QMenu* menu, const char* title, const QKeySequence& key, Owner& owner, bool (Owner::*get)() const,
                    void (Owner::*set)(bool));
    // Runs with every `refresh()`, for items whose enabling or visibility follows the state.
    void addRefresher(std::function<void()> refresher) { refreshers_.push_back(std::move(refresher)); }

    QAction* action(ZelvaneMenuAction a) const;
    void refresh();

signals:
    void commandTriggered(ZelvaneMenuAction a);

private:
    std::vector<std::pair<ZelvaneMenuAction, QAction*>> commands_;
    std::vector<std::function<void()>> refreshers_;
};

template <class Owner>
QAction* MenuItems::toggle(QMenu* menu, const char* title, const QKeySequence& key, Owner& owner, bool (Owner::*get)() const,
                           void (Owner::*set)(bool)) {
    QAction* act = checkable(menu, localized(title), [&owner, get] { return (owner.*get)(); }, key);
    connect(act, &QAction::triggered, this, [&owner, set](bool on) { (owner.*set)(on); });
    return act;
}

}  // namespace zelvane
