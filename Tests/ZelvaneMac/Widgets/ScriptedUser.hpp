#pragma once

// A user in front of a real window: answers the alerts and context menus that open while an
// action runs (they run their own event loops, so the answers come from a timer), the way a
// person would, with keys sent where the keyboard focus is. Also the conditions a hostile user
// meets: a small file system mounted in a folder, and a process that is refused what its files'
// permissions refuse although it runs as the administrator.

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>

#include <deque>
#include <functional>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace zelvane::testing {

// One alert as the user saw it.
struct SeenAlert {
    QString text;
    QString informativeText;
    QString shownInformativeText;  // as drawn: a label takes text that looks like markup for it
    QStringList buttons;
    QString returnButton;  // the button that Return presses
    QString answer;        // what the user did
};

class ScriptedUser final {
public:
    // An answer to an alert: a key, or the title of the button to click.
    using Answer = std::variant<Qt::Key, QString>;

    ScriptedUser() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

    // Answers for the next alerts, in order; an alert beyond them is closed with Escape.
    void answer(std::initializer_list<Answer> answers) { answers_.insert(answers_.end(), answers); }
    // Runs while the next alert is up, before it is answered (its own event loop runs meanwhile).
    void whileNextAlertIsUp(std::function<void()> meanwhile) { meanwhile_ = std::move(meanwhile); }
    // Runs right after the next menu choice's action has returned, before anything else happens.
    void rightAfterNextChoice(std::function<void()> then) { afterChoice_ = std::move(then); }
    // Items to choose in the next context menus, in order.
    void choose(std::initializer_list<QString> items) { menuItems_.insert(menuItems_.end(), items); }

    std::vector<SeenAlert> alerts;
    QStringList menusSeen;  // the item chosen in each menu

    // Forgets what was seen, and the answers and choices not used: a new step begins.
    void clear() {
        alerts.clear();
        menusSeen.clear();
        answers_.clear();
        menuItems_.clear();
        meanwhile_ = nullptr;
        afterChoice_ = nullptr;
    }

private:
    void look() {
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

    QTimer timer_;
    std::deque<Answer> answers_;
    std::deque<QString> menuItems_;
    std::function<void()> meanwhile_;
    std::function<void()> afterChoice_;
    QList<QPointer<QObject>> handled_;
};

// Opens the context menu of a view's row as a right click does.
inline void rightClick(QWidget* viewport, const QPoint& at) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
}

// A small file system of its own in a folder, unmounted when the object goes.
class TmpfsMount final {
public:
    explicit TmpfsMount(const std::filesystem::path& at, const char* options = "size=16m,mode=0755") : at_(at) {
        std::filesystem::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

// While it lives, the calling thread is refused what file permissions refuse, as an ordinary
// user is, even when the process runs as root: the thread's own capabilities to override them
// are set aside (they stay permitted, so they come back at the end).
class FilePermissionsApply final {
public:
    FilePermissionsApply() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        active_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~FilePermissionsApply() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    FilePermissionsApply(const FilePermissionsApply&) = delete;
    FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// While it lives, every thread of the process acts as an ordinary user (65534) when the process
// runs as root: for work the program does on threads of its pool, where the capabilities of one
// thread do not reach. The files a test makes stay readable to that user unless it says otherwise.
class ActingAsAnotherUser final {
public:
    ActingAsAnotherUser() {
        if (::geteuid() == 0) active_ = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~ActingAsAnotherUser() {
        if (!active_) return;
        (void)!::seteuid(0);
        (void)!::setegid(0);
    }
    ActingAsAnotherUser(const ActingAsAnotherUser&) = delete;
    ActingAsAnotherUser& operator=(const ActingAsAnotherUser&) = delete;

private:
    bool active_ = false;
};

}  // namespace zelvane::testing
