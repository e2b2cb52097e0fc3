#include "ZelvaneMac/Window/ChildProcess.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zelvane {

namespace {

// Polling interval where the kernel offers no process descriptor to wait on.
constexpr int kPollMs = 100;

std::vector<std::string> utf8(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(size_t(list.size()));
    for (const QString& s : list) out.push_back(s.toStdString());
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Owns what watching one child needs; deletes itself once the child has been reaped, or with
// `context`. Either way the child is left alone.
class ChildWatch final : public QObject {
public:
    ChildWatch(pid_t pid, QObject* context, std::function<void(ProcessEnd)> onEnd)
        : QObject(context), pid_(pid), onEnd_(std::move(onEnd)) {
        pidfd_ = int(::syscall(SYS_pidfd_open, pid, 0));
        if (pidfd_ >= 0) {
            auto* notifier = new QSocketNotifier(pidfd_, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this] { reapIfEnded(); });
        } else {
            auto* timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this] { reapIfEnded(); });
            timer->start(kPollMs);
        }
    }
    ~ChildWatch() override {
        if (pidfd_ >= 0) ::close(pidfd_);
    }

private:
    void reapIfEnded() {
        if (done_) return;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(pid_, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == 0) return;
        done_ = true;
        // Someone else reaped it (should not happen): the end is unknown, taken as a failure.
        const ProcessEnd end{r == pid_ ? status : (1 << 8)};
        auto onEnd = std::move(onEnd_);
        deleteLater();
        if (onEnd) onEnd(end);
    }

    pid_t pid_;
    int pidfd_ = -1;
    bool done_ = false;
    std::function<void(ProcessEnd)> onEnd_;
};

}  // namespace

bool ProcessEnd::succeeded() const { return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0; }

std::optional<QString> startWatchedProcess(const ProcessRequest& request, QObject* context,
                                           std::function<void(ProcessEnd)> onEnd) {
    std::vector<std::string> argvStrings = utf8(QStringList{request.program} + request.arguments);
    std::vector<std::string> envStrings = utf8(request.environment);
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);

    // The child starts with no blocked signals and default handlers: what this process ignores
    // (SIGPIPE, for one) must not be ignored by sudo and the programs it runs.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], nullptr, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return request.program + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(rc));
    // Without a context the watch hangs off the application, so it is reaped or freed with it.
    new ChildWatch(pid, context ? context : QCoreApplication::instance(), std::move(onEnd));
    return std::nullopt;
}

}  // namespace zelvane
