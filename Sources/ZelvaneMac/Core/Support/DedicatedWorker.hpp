#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ZelvaneMac/Core/Support/QueueHandOff.hpp"

namespace zelvane {

// The background road for work that waits rather than computes: a scan or an import waits on the
// disk for minutes, or for good on a network mount that stopped answering. The shared pool of
// runInBackground is sized to the processors for the short jobs of the views, which would queue
// behind such work, and the application waits for that pool as it quits; so each job here gets a
// thread of its own, owned by this worker, which its owner (the receiver) holds as a member.
//
// One job is current at a time. Starting a job supersedes the one before: its cancel flag is set
// and whatever it still reports is dropped. What a job reports reaches the receiver's thread by a
// queued call, in the order it was sent, and only while the job is current and the worker exists.
// A job lets no exception out: one that throws ends with `failed(reason)`, delivered the same way.
//
// When the worker goes it cancels every job and waits up to `endWait` for them to end; a job
// still busy after that (stuck in the kernel) is left to end on its own, reporting to nobody.
// GUI thread only, but for `Reports`, which the job's threads use.
class DedicatedWorker final {
    class MailboxLocked;

public:
    // The job's way to its receiver; copied freely into the job's threads.
    class Reports final {
    public:
        // Runs `call` on the receiver's thread, unless the job was superseded by then or the
        // worker has gone.
        template <typename Call>
        void post(Call&& call) const;

    private:
        friend class DedicatedWorker;
        Reports(std::shared_ptr<MailboxLocked> mailbox, uint64_t job) : mailbox_(std::move(mailbox)), job_(job) {}
        std::shared_ptr<MailboxLocked> mailbox_;
        uint64_t job_;
    };
    using Job = std::function<void(const CancelFlag& cancel, const Reports& reports)>;

    DedicatedWorker(QObject* receiver, std::chrono::milliseconds endWait);
    ~DedicatedWorker();
    DedicatedWorker(const DedicatedWorker&) = delete;
    DedicatedWorker& operator=(const DedicatedWorker&) = delete;

    // Supersedes the current job and starts `job` on a thread of its own. False, with `failure`
    // set to the reason, when no thread could be started.
    bool start(Job job, std::function<void(const QString& reason)> failed, QString& failure);
    // Asks the current job to stop; what it reports still arrives.
    void cancel();
    // Drops the current job, if any, without starting another.
    void supersede();

private:
    // Whether a job's thread has finished its work, and a wait for that with a deadline.
    class EndLocked final {
    public:
        void markEnded();
        bool hasEnded();
        bool waitUntil(std::chrono::steady_clock::time_point deadline);

    private:
        std::mutex mutex_;
        std::condition_variable ended_;
        bool hasEnded_ = false;
    };
    struct Thread {
        std::thread thread;
        std::shared_ptr<CancelFlag> cancel;
        std::shared_ptr<EndLocked> end;
    };

    // What a job's thread hands to the receiver travels through Qt's event queue, whose locking
    // the thread checker cannot see (Qt is not built with it). The job posts while holding this
    // lock and the receiver takes it once before it reads what was posted: the order Qt already
    // guarantees, made visible to the checker (the call that carries it is read before this lock,
    // which `QueuePosting` covers). It also says which job is current, and forgets the
    // receiver when the worker goes, so that a job outliving it posts into nothing.
    class MailboxLocked final {
    public:
        explicit MailboxLocked(QObject* receiver) : receiver_(receiver) {}
        template <typename Call>
        void post(const std::shared_ptr<MailboxLocked>& self, uint64_t job, Call&& call) {
            std::lock_guard lock(mutex_);
            if (!receiver_) return;
            [[maybe_unused]] const QueuePosting posting;
            QMetaObject::invokeMethod(
                receiver_,
                [self, job, call = std::forward<Call>(call)]() mutable {
                    queuePostTaken();
                    if (self->isCurrent(job)) call();
                },
                Qt::QueuedConnection);
        }
        bool isCurrent(uint64_t job) {
            std::lock_guard lock(mutex_);
            return receiver_ && job == current_;
        }
        uint64_t next() {
            std::lock_guard lock(mutex_);
            return ++current_;
        }
        void forgetReceiver() {
            std::lock_guard lock(mutex_);
            receiver_ = nullptr;
        }

    private:
        std::mutex mutex_;
        QObject* receiver_;
        uint64_t current_ = 0;
    };

    void reapEnded();

    std::chrono::milliseconds endWait_;
    std::shared_ptr<MailboxLocked> mailbox_;
    std::vector<Thread> threads_;
};

template <typename Call>
void DedicatedWorker::Reports::post(Call&& call) const {
    mailbox_->post(mailbox_, job_, std::forward<Call>(call));
}

}  // namespace zelvane
