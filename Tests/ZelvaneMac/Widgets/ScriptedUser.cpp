#include "ScriptedUser.hpp"

#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>

namespace zelvane::testing {

ScriptedUser::ScriptedUser() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start();
}

void ScriptedUser::look() {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu && menu->isVisible() && !handled_.contains(menu)) {
        handled_ << menu;
        const QString wanted = menuItems_.empty() ? QString() : menuItems_.front();
        if (!menuItems_.empty()) menuItems_.pop_front();
        menusSeen << wanted;
        QAction* chosen = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == wanted && a->isEnabled()) chosen = a;
        // Acted on from a fresh call: what the choice runs may open an event loop of its own,
        // and this timer does not fire again inside its own call.
        QPointer<QMenu> guarded(menu);
        auto afterChoice = std::move(afterChoice_);
        afterChoice_ = nullptr;
        QTimer::singleShot(0, [guarded, chosen, afterChoice] {
            if (!guarded) return;
            if (chosen) guarded->setActiveAction(chosen);
            QTest::keyClick(guarded, chosen ? Qt::Key_Return : Qt::Key_Escape);
            if (afterChoice) afterChoice();
        });
        return;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || handled_.contains(box) || !box->isVisible()) return;
    handled_ << box;
    SeenAlert seen;
    seen.text = box->text();
    seen.informativeText = box->informativeText();
    if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        const Qt::TextFormat format = label->textFormat();
        const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(label->text()));
        seen.shownInformativeText = rich ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
    }
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    // Return goes to the focused button when it takes Return, else to the default one.
    auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (focused && box->isAncestorOf(focused) && focused->autoDefault()) seen.returnButton = focused->text();
    else if (QPushButton* d = box->defaultButton()) seen.returnButton = d->text();
    for (QPushButton* b : box->findChildren<QPushButton*>())
        if (seen.returnButton.isEmpty() && b->isDefault()) seen.returnButton = b->text();
    if (meanwhile_) {
        auto meanwhile = std::move(meanwhile_);
        meanwhile_ = nullptr;
        meanwhile();
    }
    const Answer answer = answers_.empty() ? Answer(Qt::Key_Escape) : answers_.front();
    if (!answers_.empty()) answers_.pop_front();
    QPointer<QMessageBox> guarded(box);
    if (const auto* title = std::get_if<QString>(&answer)) {
        seen.answer = *title;
        alerts.push_back(seen);
        QTimer::singleShot(0, [guarded, title = *title] {
            if (!guarded) return;
            for (QAbstractButton* b : guarded->buttons())
                if (b->text() == title) {
                    b->click();
                    return;
                }
        });
        return;
    }
    const Qt::Key key = std::get<Qt::Key>(answer);
    seen.answer = key == Qt::Key_Return ? QStringLiteral("Return") : QStringLiteral("Escape");
    alerts.push_back(seen);
    QPointer<QWidget> target = focused && box->isAncestorOf(focused) ? static_cast<QWidget*>(focused) : box;
    QTimer::singleShot(0, [target, key] {
        if (target) QTest::keyClick(target, key);
    });
}

void rightClick(QWidget* viewport, const QPoint& at) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
}

TmpfsMount::TmpfsMount(const std::filesystem::path& at, const char* options) : at_(at) {
    std::filesystem::create_directories(at);
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
}

FilePermissionsApply::FilePermissionsApply() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    active_ = ::syscall(SYS_capset, &header_, lowered) == 0;
}

FilePermissionsApply::~FilePermissionsApply() {
    if (active_) ::syscall(SYS_capset, &header_, saved_);
}

ActingAsAnotherUser::ActingAsAnotherUser() {
    if (::geteuid() == 0) active_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
}

ActingAsAnotherUser::~ActingAsAnotherUser() {
    if (!active_) return;
    (void)!::seteuid(0);
    (void)!::setegid(0);
}

}  // namespace zelvane::testing
