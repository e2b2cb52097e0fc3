#pragma once

#include <QObject>
#include <functional>
#include <signal.h>

class QSocketNotifier;

namespace zelvane {

// Turns SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl-C in a terminal, a closed terminal) into
// an orderly quit on the main thread, so that the settings are written and copied back as when the
// last window closes. A second signal while quitting ends the process at once, as it would have
// without this. One at a time per process; the previous handlers return when it is destroyed.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    static constexpr int signalNumbers[] = {SIGTERM, SIGINT, SIGHUP};

private:
    std::function<void()> quit_;
    int eventFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[3] = {};
};

}  // namespace zelvane
