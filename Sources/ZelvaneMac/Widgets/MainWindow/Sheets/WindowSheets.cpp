#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"

#include <QAbstractButton>

#include <algorithm>
#include <QPushButton>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AlertText.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ColorsSheet.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

WindowSheets::WindowSheets(WindowPrompts& prompts, QWidget* window) : QObject(window), prompts_(prompts), window_(window) {}

void WindowSheets::dismiss(Presented& presented) {
    if (!presented.dialog) return;
    // Closed because the state says so: no button was chosen, so no action runs.
    presented.closingFromState = true;
    QDialog* dialog = presented.dialog;
    presented.dialog = nullptr;
    dialog->disconnect(this);
    dialog->hide();
    dialog->deleteLater();
}

void WindowSheets::openSheet(QDialog* dialog, std::function<void()> clearState, std::function<void(QDialog&)> onAccepted,
                             std::function<void(QDialog&)> onRejected) {
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this,
            [dialog, clearState = std::move(clearState), onAccepted = std::move(onAccepted),
             onRejected = std::move(onRejected)](int result) {
                clearState();
                if (result == QDialog::Accepted) {
                    if (onAccepted) onAccepted(*dialog);
                } else if (onRejected) {
                    onRejected(*dialog);
                }
                dialog->deleteLater();
            });
    dialog->open();
}

void WindowSheets::bindSheet(BoolGetter get, BoolSetter set, BoolSignal changed,
                             std::function<QDialog*(QWidget*)> make, std::function<void(QDialog&)> onAccepted,
                             std::function<void(QDialog&)> onRejected) {
    // The setter is called through a function object made here: the closures below hold no
    // member-function pointers of their own.
    WindowPrompts* state = &prompts_;
    const std::function<void(bool)> setFlag = [state, set](bool v) { (state->*set)(v); };
    const auto present = [this, get, setFlag, make, onAccepted, onRejected](bool shown) {
        Presented& presented = sheetSlot(get);
        if (!shown) {
            dismiss(presented);
            return;
        }
        if (presented.dialog) return;
        QDialog* dialog = make(window_);
        if (!dialog) {
            setFlag(false);
            return;
        }
        presented.dialog = dialog;
        presented.closingFromState = false;
        openSheet(dialog, [this, get, setFlag] {
            sheetSlot(get).dialog = nullptr;
            setFlag(false);
        }, onAccepted, onRejected);
    };
    connect(&prompts_, changed, this, present);
    if ((prompts_.*get)()) present(true);
}

void WindowSheets::bindAsked(AskedSheet which, std::function<void()> present) { asked_[which] = std::move(present); }

void WindowSheets::bindAskedSheet(AskedSheet which, std::function<QDialog*(QWidget*)> make,
                                  std::function<void(QDialog&)> onAccepted, std::function<void(QDialog&)> onRejected) {
    bindAsked(which, [this, which, make = std::move(make), onAccepted = std::move(onAccepted),
                      onRejected = std::move(onRejected)] {
        if (askedSheets_[which]) return;
        QDialog* dialog = make(window_);
        if (!dialog) return;
        askedSheets_[which] = dialog;
        openSheet(dialog, [this, which] { askedSheets_[which] = nullptr; }, onAccepted, onRejected);
    });
}

void WindowSheets::present(AskedSheet which) {
    const auto it = asked_.find(which);
    if (it != asked_.end() && it->second) it->second();
}

QDialog* WindowSheets::sheet(AskedSheet which) const {
    const auto it = askedSheets_.find(which);
    return it == askedSheets_.end() ? nullptr : it->second.data();
}

QMessageBox* WindowSheets::makeAlert(const QString& title, const QString& message,
                                     const std::vector<AlertButton>& buttons) {
    auto* box = new QMessageBox(window_);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(title);
    box->setText(title);
    setPlainInformativeText(*box, message);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(QMessageBox::Warning);
    const bool anyDefault = std::any_of(buttons.begin(), buttons.end(), [](const AlertButton& b) { return b.isDefault; });
    for (size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* button = box->addButton(buttons[i].title, buttons[i].role);
        button->setProperty("alertButtonIndex", int(i));
        if (buttons[i].role == QMessageBox::RejectRole) box->setEscapeButton(button);
        if (anyDefault ? buttons[i].isDefault : (i == 0 && buttons[i].role != QMessageBox::RejectRole))
            box->setDefaultButton(button);
    }
    return box;
}

void WindowSheets::openAlert(const QString& title, const QString& message, const std::vector<AlertButton>& buttons,
                             std::function<void()> clearState) {
    QMessageBox* box = makeAlert(title, message, buttons);
    alerts_[title].dialog = box;
    connect(box, &QDialog::finished, this, [this, box, clearState = std::move(clearState), title, buttons](int) {
        alerts_[title].dialog = nullptr;
        const QAbstractButton* clicked = box->clickedButton();
        clearState();
        if (clicked) {
            const int index = clicked->property("alertButtonIndex").toInt();
            if (index >= 0 && size_t(index) < buttons.size() && buttons[size_t(index)].action)
                buttons[size_t(index)].action();
        }
        box->deleteLater();
    });
    box->open();
}

void WindowSheets::bindFlagAlert(BoolGetter get, BoolSetter set, BoolSignal changed, QString title,
                                 std::function<QString()> message, std::vector<AlertButton> buttons) {
    WindowPrompts* state = &prompts_;
    const std::function<void(bool)> setFlag = [state, set](bool v) { (state->*set)(v); };
    const auto present = [this, setFlag, title, message, buttons](bool shown) {
        Presented& presented = alerts_[title];
        if (!shown) {
            dismiss(presented);
            return;
        }
        if (presented.dialog) return;
        openAlert(title, message ? message() : QString(), buttons, [setFlag] { setFlag(false); });
    };
    connect(&prompts_, changed, this, present);
    if ((prompts_.*get)()) present(true);
}

void WindowSheets::bindMessageAlert(TextGetter get, TextSetter set, TextSignal changed, QString title,
                                    std::vector<AlertButton> buttons) {
    WindowPrompts* state = &prompts_;
    const std::function<void()> clearMessage = [state, set] { (state->*set)(std::nullopt); };
    const auto present = [this, clearMessage, title, buttons](const std::optional<QString>& message) {
        Presented& presented = alerts_[title];
        if (!message) {
            dismiss(presented);
            return;
        }
        if (presented.dialog) {
            // A newer failure replaces the text of the alert that is up.
            if (auto* box = qobject_cast<QMessageBox*>(presented.dialog.data())) setPlainInformativeText(*box, *message);
            return;
        }
        openAlert(title, *message, buttons, clearMessage);
    };
    connect(&prompts_, changed, this, present);
    if ((prompts_.*get)()) present((prompts_.*get)());
}

QMessageBox* WindowSheets::alert(const QString& title) const {
    const auto it = alerts_.find(title);
    return it == alerts_.end() ? nullptr : qobject_cast<QMessageBox*>(it->second.dialog.data());
}

WindowSheets::Presented& WindowSheets::sheetSlot(BoolGetter get) {
    for (auto& [key, presented] : sheets_)
        if (key == get) return presented;
    return sheets_.emplace_back(get, Presented{}).second;
}

QDialog* WindowSheets::sheet(BoolGetter get) const {
    for (const auto& [key, presented] : sheets_)
        if (key == get) return presented.dialog.data();
    return nullptr;
}

void bindStandardSheets(WindowSheets& sheets, Preferences& preferences, std::function<void()> recomputeColorRank) {
    Preferences* s = &preferences;
    sheets.bindAskedSheet(
        AskedSheet::colors,
        [s](QWidget* window) {
            auto* sheet = new ColorsSheet(ColorSettingsDraft::fromPreferences(*s), window);
            return static_cast<QDialog*>(sheet);
        },
        [s, recomputeColorRank](QDialog& dialog) {
            storeColorSettings(*s, static_cast<ColorsSheet&>(dialog).draft().choice());
            if (recomputeColorRank) recomputeColorRank();
        });
    sheets.bindMessageAlert(&WindowPrompts::csvExportErrorDetail, &WindowPrompts::setCsvExportErrorDetail,
                            &WindowPrompts::csvExportErrorDetailChanged, localized("Couldn't Export"),
                            {{localized("OK"), QMessageBox::RejectRole, {}}});
    sheets.bindMessageAlert(&WindowPrompts::importShortfallDetail, &WindowPrompts::setImportShortfallDetail,
                            &WindowPrompts::importShortfallDetailChanged, localized("Some Rows Were Left Out"),
                            {{localized("OK"), QMessageBox::RejectRole, {}}});
}

}  // namespace zelvane
