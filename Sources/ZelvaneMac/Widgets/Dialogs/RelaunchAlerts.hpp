#pragma once

#include <QObject>
#include <QPointer>

class QMessageBox;
class QWidget;

namespace zelvane {

class Preferences;
class WindowPrompts;

// The window's alerts around restarts and resets, shown window-modally while their state fields
// ask for them: the two confirmations ("Reset All Settings?", "Reset All Permissions?") and the two
// failure alerts ("Couldn't Restart", "Couldn't Reset Permissions"). Answering a confirmation
// clears its flag before "Reset & Restart" runs the reset; dismissing a failure alert clears its
// text. Made by the main window; lives as its child.
class RelaunchAlerts final : public QObject {
    Q_OBJECT
public:
    RelaunchAlerts(WindowPrompts& prompts, Preferences& preferences, QWidget* window);

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
