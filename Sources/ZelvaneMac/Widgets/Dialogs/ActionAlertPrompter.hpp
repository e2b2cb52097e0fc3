#pragma once

#include <QPointer>
#include <QWidget>

#include "ZelvaneMac/Actions/ActionServices.hpp"

namespace zelvane {

// The file actions' alerts as modal message boxes of warning style over the owner's window; the
// alert's default button takes Return, and every answer but the first button (Escape, closing)
// cancels.
class ActionAlertPrompter final : public ActionPrompter {
public:
    explicit ActionAlertPrompter(QWidget* owner) : owner_(owner) {}
    bool ask(const AlertRequest& alert) override;
    // A panel with a busy bar and "Cancel" above the owner's window, shown once the work has lasted
    // 0.4 s. It blocks nothing: closing the window (its title bar's close too) or quitting stops
    // the work, and the window's actions marked `kReachableFromPanels` (closing it, quitting) take
    // their keys on the panel as well.
    std::shared_ptr<void> showProgress(const QString& text, std::function<void()> cancel) override;
    // The property that marks such an action of a window.
    static constexpr const char* kReachableFromPanels = "zelvaneReachableFromPanels";
    // The claims of the owner's window, shared by every prompter over it (its menus and views).
    std::shared_ptr<void> claimErasing() override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace zelvane
