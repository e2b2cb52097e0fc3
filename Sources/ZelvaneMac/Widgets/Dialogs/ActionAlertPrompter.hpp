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
    // A window-modal panel with a busy bar and "Cancel", shown once the work has lasted 0.4 s; the
    // window is repainted meanwhile but takes no other input while it shows.
    std::shared_ptr<void> showProgress(const QString& text, std::function<void()> cancel) override;
    // The claims of the owner's window, shared by every prompter over it (its menus and views).
    std::shared_ptr<void> claimErasing() override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace zelvane
