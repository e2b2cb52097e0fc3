#pragma once

#include <QObject>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace zelvane {

class Preferences;
class WindowPrompts;

// The window's alerts around restarts and resets, shown window-modally: the two confirmations
// ("Reset All Settings?", "Reset All Permissions?") when asked for, and the two failure alerts
// ("Couldn't Restart", "Couldn't Reset Permissions") while their state fields hold a detail.
// "Reset & Restart" runs the reset once the confirmation has closed; dismissing a failure alert
// clears its text. Made by the main window; lives as its child.
class RelaunchAlerts final : public QObject {
    Q_OBJECT
public:
    RelaunchAlerts(WindowPrompts& prompts, Preferences& preferences, QWidget* window);

    // Asking while the confirmation is up changes nothing.
    void confirmResetSettings() { showConfirmation(Kind::resetSettings); }
    void confirmResetPermissions() { showConfirmation(Kind::resetPermissions); }

private:
    enum class Kind { resetSettings, resetPermissions, restartFailed, permissionsResetFailed };

    void showConfirmation(Kind kind);
    void showFailure(Kind kind, const QString& detail);

    WindowPrompts& prompts_;
    Preferences& preferences_;
    QWidget* window_;
    QPointer<QMessageBox> boxes_[4];
};

}  // namespace zelvane
