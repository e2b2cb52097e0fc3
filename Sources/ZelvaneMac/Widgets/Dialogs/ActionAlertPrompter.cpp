#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AlertText.hpp"

namespace zelvane {

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

void ActionAlertPrompter::runWhileWaiting(const QString& text, const std::function<void(const std::atomic<bool>&)>& work) {
    constexpr int kShowAfterMs = 400;
    std::atomic<bool> cancelled{false};
    QProgressDialog dialog(text, localized("Cancel"), 0, 0, owner_ ? owner_->window() : nullptr);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(kShowAfterMs);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&cancelled] { cancelled.store(true); });
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work, &cancelled] { work(cancelled); }));
    // The work may already be done before the loop starts: the watcher reports it all the same.
    if (!watcher.isFinished()) loop.exec();
    watcher.waitForFinished();
}

}  // namespace zelvane
