#pragma once

#include "Ostrane/AskpassStrings.hpp"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrane {

// The one dialog of the prompt: the title in bold, sudo's prompt below it, a masked field that has
// the focus from the start, and OK (the default button) and Cancel. Accepted means OK; every other
// way of closing it (Cancel, Escape, the window's close button) is a rejection.
class PasswordDialog final : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const AskpassStrings& strings, const QString& prompt, QWidget* parent = nullptr);

    QString password() const;
    // Overwrites what the field holds once the password has been handed on.
    void forgetPassword();

    QLineEdit* field() const { return field_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    // However and whenever the window is closed (a window manager's close may come while the dialog
    // is still being shown), it is a refusal that ends the dialog.
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* field_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace ostrane
