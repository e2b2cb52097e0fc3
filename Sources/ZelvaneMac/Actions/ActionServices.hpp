#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace zelvane {

// One modal alert of warning style. Only the first button proceeds; `defaultButton` is the one
// Return presses (an offer that cannot be undone makes "Cancel" the default).
struct AlertRequest {
    QString message;
    QString informativeText;
    QStringList buttons;
    int defaultButton = 0;
};

// One window's erasing action (to the Trash or for good) from its first check to its last report:
// while a claim lives, no other is given.
class ErasingClaims final {
public:
    // The claim, held while the returned token lives; empty while another is held.
    std::shared_ptr<void> claim() {
        if (!held_.expired()) return {};
        auto token = std::make_shared<int>(0);
        held_ = token;
        return token;
    }

private:
    std::weak_ptr<void> held_;
};

// Shows the file actions' alerts. The application shows message boxes; tests answer from a script.
class ActionPrompter {
public:
    virtual ~ActionPrompter() = default;
    // True exactly when the first button was chosen.
    virtual bool ask(const AlertRequest& alert) = 0;
    // Says that work started in the background is under way, `text` saying what, with a way to
    // give up that calls `cancel` (on this thread); shown only once the work takes a while, and
    // gone with the returned token. Without a window nothing is shown.
    virtual std::shared_ptr<void> showProgress(const QString& /*text*/, std::function<void()> /*cancel*/) { return {}; }
    // Claims the window for one erasing action until the returned token goes; empty while another
    // erasing action of the window is under way, so that the same items are never asked to go
    // twice at once. Without a window the claims are this prompter's own.
    virtual std::shared_ptr<void> claimErasing() { return ownClaims_.claim(); }

private:
    ErasingClaims ownClaims_;
};

// Why the desktop's opener did not open an item.
struct OpenFailure {
    std::string program;  // the opener; empty when none was found
    int err = 0;          // why it could not be started
    int exitStatus = 0;   // what it ended with once started
};

// What the file actions ask of the desktop, behind one interface so that tests record the calls
// instead of opening windows and programs.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens the item with its default application through the desktop's opener, which is not
    // waited for; false when it could not be started, `failure` saying why. `ended`, when given,
    // hears (on this thread) of an opener that started and then ended with a failure status.
    virtual bool openUrl(const QUrl& url, OpenFailure& failure, std::function<void(const OpenFailure&)> ended) = 0;
    bool openUrl(const QUrl& url) {
        OpenFailure ignored;
        return openUrl(url, ignored, {});
    }
    // The file manager's window with the items selected, or their properties windows; false when
    // no file manager answers (no session bus, no such service, a failed call).
    virtual bool showItems(const QList<QUrl>& urls) = 0;
    virtual bool showItemProperties(const QList<QUrl>& urls) = 0;
    // The terminal program to start at a folder (an absolute path); empty when there is none.
    virtual std::string terminalProgram() = 0;
    // This program, for a new instance.
    virtual std::string ownProgram() = 0;
    // Starts a program detached, with exact-byte arguments and working folder; returns 0 or errno.
    virtual int startDetached(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& workingDirectory) = 0;
    // Takes ownership of the data.
    virtual void setClipboard(QMimeData* data) = 0;
};

// The file URL of exact path bytes: bytes that are not UTF-8 stay as their percent-encoded selves.
QUrl fileUrlFromPathBytes(const std::string& path);

}  // namespace zelvane
