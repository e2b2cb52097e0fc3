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

private:
    QPointer<QWidget> owner_;
};

}  // namespace zelvane
