#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuItems.hpp"

#include <QMenu>

namespace zelvane {

namespace {

void setWindowShortcut(QAction* act, const QKeySequence& key) {
    if (key.isEmpty()) return;
    act->setShortcut(key);
    act->setShortcutContext(Qt::WindowShortcut);
}

}  // namespace

QAction* MenuItems::command(QMenu* menu, const char* title, ZelvaneMenuAction a, const QKeySequence& key) {
    QAction* act = menu->addAction(localized(title));
    setWindowShortcut(act, key);
    connect(act, &QAction::triggered, this, [this, a] { emit commandTriggered(a); });
    commands_.emplace_back(a, act);
    return act;
}

QAction* MenuItems::checkable(QMenu* menu, const QString& title, std::function<bool()> checked, const QKeySequence& key) {
    QAction* act = menu->addAction(title);
    act->setCheckable(true);
    setWindowShortcut(act, key);
    refreshers_.push_back([act, checked = std::move(checked)] { act->setChecked(checked()); });
    return act;
}

QAction* MenuItems::action(ZelvaneMenuAction a) const {
    for (const auto& [key, act] : commands_)
        if (key == a) return act;
    return nullptr;
}

void MenuItems::refresh() {
    for (const auto& f : refreshers_) f();
}

}  // namespace zelvane
