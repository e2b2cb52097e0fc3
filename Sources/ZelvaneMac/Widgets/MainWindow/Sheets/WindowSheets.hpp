#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <list>
#include <map>
#include <optional>
#include <vector>

#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

class Preferences;

// One button of a window's alert: its text, its role (which decides its place and whether Escape
// picks it) and what it does. The alert's flag or message is cleared before the action runs.
// Return presses the button marked default; without one, the first button unless it cancels.
struct AlertButton {
    QString title;
    QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
    std::function<void()> action;
    bool isDefault = false;
};

// The sheets and alerts the window's own widgets ask for (a menu item, a button): nothing of the
// window's state records them; they are up from the ask until they are answered.
enum class AskedSheet { colors, tweaks, accessDeniedFolders, resetSettings, resetPermissions };

// Presents a window's sheets and alerts. Those that widget-free code raises follow its state: a
// sheet or alert is up exactly while its flag is set (or, for an alert about a failure, while its
// message is set). Those the widgets ask for are presented when asked (`present`). They are window-modal
// and never block the event loop. However they close (a button, Escape, the window manager), the
// flag is cleared first, and only then does the chosen action run, so an action that raises
// another sheet does so after the first has gone. Clearing the flag from elsewhere closes the
// sheet without running any action.
class WindowSheets final : public QObject {
    Q_OBJECT
public:
    using BoolGetter = bool (WindowPrompts::*)() const;
    using BoolSetter = void (WindowPrompts::*)(bool);
    using BoolSignal = void (WindowPrompts::*)(bool);
    using TextGetter = const std::optional<QString>& (WindowPrompts::*)() const;
    using TextSetter = void (WindowPrompts::*)(const std::optional<QString>&);
    using TextSignal = void (WindowPrompts::*)(const std::optional<QString>&);

    WindowSheets(WindowPrompts& prompts, QWidget* window);

    // A sheet made by `make` while the flag is set. `onAccepted` and `onRejected` run after the
    // flag has been cleared, with the dialog still alive.
    void bindSheet(BoolGetter get, BoolSetter set, BoolSignal changed, std::function<QDialog*(QWidget* window)> make,
                   std::function<void(QDialog&)> onAccepted = {}, std::function<void(QDialog&)> onRejected = {});

    // An alert with a fixed message while the flag is set.
    void bindFlagAlert(BoolGetter get, BoolSetter set, BoolSignal changed, QString title,
                       std::function<QString()> message, std::vector<AlertButton> buttons);

    // An alert that shows the message while it is set; dismissing it sets the message to none.
    void bindMessageAlert(TextGetter get, TextSetter set, TextSignal changed, QString title,
                          std::vector<AlertButton> buttons);

    // How an asked-for sheet or alert is brought up, when it is not one this class makes.
    void bindAsked(AskedSheet which, std::function<void()> present);
    // A sheet made by `make` when asked for, up until it is answered; `onAccepted` and
    // `onRejected` run after it has closed, with the dialog still alive.
    void bindAskedSheet(AskedSheet which, std::function<QDialog*(QWidget* window)> make,
                        std::function<void(QDialog&)> onAccepted = {}, std::function<void(QDialog&)> onRejected = {});
    // Brings the sheet or alert up; asking while it is up changes nothing.
    void present(AskedSheet which);

    // The alert or sheet that is up for a title, flag or ask, if any (for tests and for the window).
    QMessageBox* alert(const QString& title) const;
    QDialog* sheet(BoolGetter get) const;
    QDialog* sheet(AskedSheet which) const;

private:
    struct Presented {
        QPointer<QDialog> dialog;
        bool closingFromState = false;
    };

    QMessageBox* makeAlert(const QString& title, const QString& message, const std::vector<AlertButton>& buttons);
    void dismiss(Presented& presented);
    // Opens `dialog` as a sheet of the window; when it closes, `clearState` runs first and then the
    // answer's action, with the dialog still alive.
    void openSheet(QDialog* dialog, std::function<void()> clearState, std::function<void(QDialog&)> onAccepted,
                   std::function<void(QDialog&)> onRejected);
    // Opens the alert for `title`; when a button or Escape closes it, `clearState` runs first and
    // then the chosen button's action.
    void openAlert(const QString& title, const QString& message, const std::vector<AlertButton>& buttons,
                   std::function<void()> clearState);

    WindowPrompts& prompts_;
    QWidget* window_;
    Presented& sheetSlot(BoolGetter get);

    // Member pointers have no order, so the sheets are found by comparison; there are few.
    std::list<std::pair<BoolGetter, Presented>> sheets_;
    std::map<QString, Presented> alerts_;
    std::map<AskedSheet, std::function<void()>> asked_;
    std::map<AskedSheet, QPointer<QDialog>> askedSheets_;
};

// The sheets and alerts of the window's own making: the colour settings and "Couldn't Export".
void bindStandardSheets(WindowSheets& sheets, Preferences& preferences, std::function<void()> recomputeColorRank);

}  // namespace zelvane
