#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"

#include <QAction>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <memory>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AlertText.hpp"

namespace zelvane {

namespace {

// The erasing claims of one window, a child of it.
class WindowErasingClaims final : public QObject {
public:
    static constexpr const char* kName = "zelvaneErasingClaims";
    explicit WindowErasingClaims(QObject* window) : QObject(window) { setObjectName(QLatin1String(kName)); }
    ErasingClaims claims;
};

}  // namespace

bool ActionAlertPrompter::ask(const AlertRequest& alert) {
    QMessageBox box(owner_ ? owner_->window() : nullptr);
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.message);
    setPlainInformativeText(box, alert.informativeText);
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* proceed = nullptr;
    for (int i = 0; i < alert.buttons.size(); ++i) {
        QPushButton* b = box.addButton(alert.buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        if (i == 0) proceed = b;
        if (i == alert.defaultButton) box.setDefaultButton(b);
        if (i == 1 || alert.buttons.size() == 1) box.setEscapeButton(b);
    }
    box.exec();
    return proceed && box.clickedButton() == proceed;
}

std::shared_ptr<void> ActionAlertPrompter::showProgress(const QString& text, std::function<void()> cancel) {
    constexpr int kShowAfterMs = 400;
    QWidget* window = owner_ ? owner_->window() : nullptr;
    auto* dialog = new QProgressDialog(text, localized("Cancel"), 0, 0, window);
    // A modal panel would keep the window from the window system's close, and its keys from the
    // window's menus: closing the window or quitting while the work goes on would be lost.
    dialog->setWindowModality(Qt::NonModal);
    if (window)
        for (QAction* action : window->findChildren<QAction*>())
            if (action->property(kReachableFromPanels).toBool()) dialog->addAction(action);
    dialog->setMinimumDuration(kShowAfterMs);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [cancel = std::move(cancel)] { cancel(); });
    // The panel's delay starts at its first value; without one it would never appear, and a long
    // wait could not be cancelled.
    dialog->setValue(0);
    // The owner's window takes the panel with it when it goes first.
    struct Panel {
        QPointer<QProgressDialog> dialog;
        ~Panel() { delete dialog.data(); }
    };
    auto panel = std::make_shared<Panel>();
    panel->dialog = dialog;
    return panel;
}

std::shared_ptr<void> ActionAlertPrompter::claimErasing() {
    QWidget* window = owner_ ? owner_->window() : nullptr;
    if (!window) return ActionPrompter::claimErasing();
    auto* claims = dynamic_cast<WindowErasingClaims*>(
        window->findChild<QObject*>(QLatin1String(WindowErasingClaims::kName), Qt::FindDirectChildrenOnly));
    if (!claims) claims = new WindowErasingClaims(window);
    return claims->claims.claim();
}

}  // namespace zelvane
