#include "ZelvaneMac/Widgets/Dialogs/RelaunchAlerts.hpp"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AlertText.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"

namespace zelvane {

namespace {

constexpr int kMinimumTextWidth = 420;

QMessageBox* makeBox(QWidget* window, const QString& title, const QString& message, QMessageBox::Icon icon) {
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(icon);
    // Details carry paths and system messages: shown as they are, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setWindowTitle(title);
    box->setText(title);
    setPlainInformativeText(*box, message);
    // The title reads as a heading, as an alert's message does.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"));
    // Long messages wrap at a readable width instead of a narrow column.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(kMinimumTextWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

// A button title as it is, an ampersand included (Qt would take it for a mnemonic marker).
QString literalButtonTitle(const QString& title) {
    QString out = title;
    return out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

RelaunchAlerts::RelaunchAlerts(WindowPrompts& prompts, Preferences& preferences, QWidget* window)
    : QObject(window), prompts_(prompts), preferences_(preferences), window_(window) {
    connect(&prompts_, &WindowPrompts::adminRelaunchErrorDetailChanged, this, [this](const std::optional<QString>& d) {
        if (d) showFailure(Kind::restartFailed, *d);
    });
    connect(&prompts_, &WindowPrompts::permissionsResetErrorDetailChanged, this,
            [this](const std::optional<QString>& d) {
                if (d) showFailure(Kind::permissionsResetFailed, *d);
            });
}

void RelaunchAlerts::showConfirmation(Kind kind) {
    QPointer<QMessageBox>& slot = boxes_[int(kind)];
    if (slot) return;
    const bool settings = kind == Kind::resetSettings;
    QMessageBox* box = settings
        ? makeBox(window_, localized("Reset All Settings?"),
                  localized("This clears every saved setting - window size and position, column widths and order, "
                            "split view sizes, filter and view options - back to defaults, and restarts ZelvaneMac. "
                            "This cannot be undone."),
                  QMessageBox::Warning)
        : makeBox(window_, localized("Reset All Permissions?"),
                  // Linux keeps no per-program privacy decisions: what resets is what the program stored.
                  localized("This makes ZelvaneMac forget what it has stored about its access - the remembered Full "
                            "Disk Access check and \"Don't Ask Again\" for its prompt - and restarts ZelvaneMac. "
                            "Linux keeps no privacy permissions for apps, so nothing else changes: folders that "
                            "couldn't be read need \"Restart as Administrator\u2026\" instead."),
                  QMessageBox::Warning);
    QPushButton* cancel = box->addButton(literalButtonTitle(localized("Cancel")), QMessageBox::RejectRole);
    QPushButton* reset = box->addButton(literalButtonTitle(localized("Reset & Restart")), QMessageBox::DestructiveRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    slot = box;
    connect(box, &QMessageBox::finished, this, [this, box, reset, settings, kind] {
        boxes_[int(kind)] = nullptr;
        const bool confirmed = box->clickedButton() == reset;
        if (!confirmed) return;
        if (settings)
            performFullResetAndRestart(prompts_, preferences_);
        else
            performPermissionsResetAndRestart(prompts_, preferences_);
    });
    box->open();
}

void RelaunchAlerts::showFailure(Kind kind, const QString& detail) {
    QPointer<QMessageBox>& slot = boxes_[int(kind)];
    // A newer failure while the alert is up replaces its text.
    if (slot) {
        setPlainInformativeText(*slot, detail);
        return;
    }
    const bool restart = kind == Kind::restartFailed;
    QMessageBox* box = makeBox(window_, restart ? localized("Couldn't Restart") : localized("Couldn't Reset Permissions"),
                               detail, QMessageBox::Warning);
    QPushButton* ok = box->addButton(literalButtonTitle(localized("OK")), QMessageBox::RejectRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    slot = box;
    connect(box, &QMessageBox::finished, this, [this, restart, kind] {
        boxes_[int(kind)] = nullptr;
        if (restart)
            prompts_.setAdminRelaunchErrorDetail(std::nullopt);
        else
            prompts_.setPermissionsResetErrorDetail(std::nullopt);
    });
    box->open();
}

}  // namespace zelvane
