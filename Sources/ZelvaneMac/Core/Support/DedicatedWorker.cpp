#include "ZelvaneMac/Core/Support/DedicatedWorker.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

namespace zelvane {

void DedicatedWorker::EndLocked::markEnded() {
    {
        std::lock_guard lock(mutex_);
        hasEnded_ = true;
    }
    ended_.notify_all();
}

bool DedicatedWorker::EndLocked::hasEnded() {
    std::lock_guard lock(mutex_);
    return hasEnded_;
}

bool DedicatedWorker::EndLocked::waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return ended_.wait_until(lock, deadline, [&] { return hasEnded_; });
}

DedicatedWorker::DedicatedWorker(QObject* receiver, std::chrono::milliseconds endWait)
    : endWait_(endWait), mailbox_(std::make_shared<MailboxLocked>(receiver)) {}

DedicatedWorker::~DedicatedWorker() {
    // Nothing a job posts from now on reaches the receiver; what it posted already dies with it.
    mailbox_->forgetReceiver();
    for (Thread& t : threads_) t.cancel->set();
    // A cancelled job ends within moments. One that does not is stuck where no cancel reaches (in
    // the kernel, on a mount that no longer answers): its owner must not wait for it, and it
    // holds nothing of the owner.
    const auto deadline = std::chrono::steady_clock::now() + endWait_;
    for (Thread& t : threads_) {
        if (t.end->waitUntil(deadline))
            t.thread.join();
        else
            t.thread.detach();
    }
}

void DedicatedWorker::reapEnded() {
    for (auto it = threads_.begin(); it != threads_.end();) {
        if (it->end->hasEnded()) {
            it->thread.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

void DedicatedWorker::cancel() {
    if (!threads_.empty()) threads_.back().cancel->set();
}

void DedicatedWorker::supersede() {
    cancel();
    mailbox_->next();
}

bool DedicatedWorker::start(Job job, std::function<void(const QString& reason)> failed, QString& failure) {
    supersede();
    reapEnded();
    const Reports reports(mailbox_, mailbox_->next());
    auto cancel = std::make_shared<CancelFlag>();
    auto end = std::make_shared<EndLocked>();
    try {
        std::thread thread([job = std::move(job), failed = std::move(failed), reports, cancel, end] {
            std::optional<QString> reason;
            try {
                job(*cancel, reports);
            } catch (const std::bad_alloc&) {
                reason = QString::fromLocal8Bit(std::strerror(ENOMEM));
            } catch (const std::exception& e) {
                reason = QString::fromLocal8Bit(e.what());
            } catch (...) {
                reason = QString::fromLocal8Bit(std::strerror(EIO));
            }
            if (reason && failed) reports.post([failed, reason = *reason] { failed(reason); });
            end->markEnded();
        });
        threads_.push_back(Thread{std::move(thread), std::move(cancel), std::move(end)});
        return true;
    } catch (const std::system_error& e) {
        failure = QString::fromLocal8Bit(e.code().message());
        return false;
    }
}

}  // namespace zelvane
