#pragma once

#include <QObject>
#include <QString>

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

// The window's own reactions to its state, without widgets: the tab-change handler, the selection
// handler behind "Reselect Child" and the title with the marker of what kind of roots were chosen. Handlers are attached in the constructor in the
// order the window runs them; later handlers of the same signal run after earlier ones.
class MainWindowController final : public QObject {
    Q_OBJECT
public:
    explicit MainWindowController(ContentViewState& state, QObject* parent = nullptr);

    ContentViewState& state() const { return state_; }

    QString windowTitle() const;

    // Shows the stored tab without taking the File View's search focus: the flag is set, the tab
    // restored, and the flag cleared on the next turn of the event loop.
    void restoreStoredTab();

    // The palette slot of each extension: the twelve largest by allocated size when colouring by
    // size, else the slots the extension lists give.
    void recomputeColorRank();

signals:
    void windowTitleChanged(const QString& title);

private:
    void handleSelectedTabChange(ContentTab tab);
    void handleSelectedNodesChange();
    void refreshTitle();

    ContentViewState& state_;
    QString title_;
};

}  // namespace zelvane
