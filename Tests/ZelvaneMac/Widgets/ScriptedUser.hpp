#pragma once

// A user in front of a real window: answers the alerts and context menus that open while an
// action runs (they run their own event loops, so the answers come from a timer), the way a
// person would, with keys sent where the keyboard focus is. Also the conditions a hostile user
// meets: a small file system mounted in a folder, and a process that is refused what its files'
// permissions refuse although it runs as the administrator.

#include <linux/capability.h>

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <variant>
#include <vector>

class QWidget;

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

    ScriptedUser();

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
    void look();

    QTimer timer_;
    std::deque<Answer> answers_;
    std::deque<QString> menuItems_;
    std::function<void()> meanwhile_;
    std::function<void()> afterChoice_;
    QList<QPointer<QObject>> handled_;
};

// Opens the context menu of a view's row as a right click does.
void rightClick(QWidget* viewport, const QPoint& at);

// A small file system of its own in a folder, unmounted when the object goes.
class TmpfsMount final {
public:
    explicit TmpfsMount(const std::filesystem::path& at, const char* options = "size=16m,mode=0755");
    ~TmpfsMount();
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
    FilePermissionsApply();
    ~FilePermissionsApply();
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
    ActingAsAnotherUser();
    ~ActingAsAnotherUser();
    ActingAsAnotherUser(const ActingAsAnotherUser&) = delete;
    ActingAsAnotherUser& operator=(const ActingAsAnotherUser&) = delete;

private:
    bool active_ = false;
};

}  // namespace zelvane::testing
