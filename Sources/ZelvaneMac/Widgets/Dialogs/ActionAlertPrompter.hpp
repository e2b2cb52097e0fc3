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
    // A window-modal wait with a busy bar and "Cancel", shown only when the work takes a while;
    // the window is repainted meanwhile but takes no other input.
    void runWhileWaiting(const QString& text, const std::function<void(const std::atomic<bool>&)>& work) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace zelvane
