#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"

#include <QMessageBox>
#include <QPushButton>

namespace zelvane {

bool ActionAlertPrompter::ask(const AlertRequest& alert) {
    QMessageBox box(owner_ ? owner_->window() : nullptr);
    box.setIcon(QMessageBox::Warning);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
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

}  // namespace zelvane
