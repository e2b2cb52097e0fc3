#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QRunnable>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ZelvaneMac/Core/Support/QueueHandOff.hpp"

namespace zelvane {

// The generation of one kind of background work owned by a view or coordinator. Taking a new
// generation supersedes every job started before: their results are dropped on arrival, and
// their cancel flag is set, so that work that checks it stops early and lets its threads go
// (a burst of requests leaves one job running, not one per request). GUI thread only; the flags
// themselves are shared with the jobs.
class JobGeneration final {
public:
    JobGeneration() = default;
    JobGeneration(const JobGeneration&) = delete;
    JobGeneration& operator=(const JobGeneration&) = delete;
    // Whatever is still running has no one left to hand its result to.
    ~JobGeneration() { cancel_->set(); }

    uint64_t next() {
        supersede();
        return current_;
    }
    uint64_t current() const { return current_; }
    bool isCurrent(uint64_t generation) const { return generation == current_; }
    // Drops whatever is under way without starting anything new.
    void supersede() {
        ++current_;
        cancel_->set();
        cancel_ = std::make_shared<CancelFlag>();
    }
    // The flag set once the current generation is superseded.
    std::shared_ptr<const CancelFlag> cancelFlag() const { return cancel_; }

private:
    uint64_t current_ = 0;
    std::shared_ptr<CancelFlag> cancel_ = std::make_shared<CancelFlag>();
};

namespace detail {

template <typename Work>
decltype(auto) runWork(Work& work, const CancelFlag& cancel) {
    if constexpr (std::is_invocable_v<Work&, const CancelFlag&>)
        return work(cancel);
    else
        return work();
}

// One job on the pool. The pool thread has the task's address before it reads anything the GUI
// thread wrote into it, which makes the task the key of its own start.
template <typename Run>
class PoolTask final : public QRunnable {
public:
    explicit PoolTask(Run run) : run_(std::move(run)) {}
    void run() override {
        handOffTaken(this);
        run_();
    }

private:
    Run run_;
};

// Starts `work` on the shared thread pool and posts `deliver(result)` to the GUI thread, where it
// runs only while `guard` still points at the receiver. Posted to the application object, which
// outlives every receiver: the receiver may be destroyed between any check made here and the call.
template <typename Work, typename Deliver>
void startOnPool(QPointer<QObject> guard, std::shared_ptr<const CancelFlag> cancel, Work work, Deliver deliver) {
    using Result = std::decay_t<decltype(runWork(work, std::declval<const CancelFlag&>()))>;
    auto run = [guard, cancel = std::move(cancel), work = std::move(work), deliver = std::move(deliver)]() mutable {
        auto result = std::make_shared<Result>(runWork(work, *cancel));
        [[maybe_unused]] const QueuePosting posting;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, result, deliver = std::move(deliver)]() mutable {
                queuePostTaken();
                if (guard) deliver(std::move(*result));
            },
            Qt::QueuedConnection);
    };
    auto* task = new PoolTask<decltype(run)>(std::move(run));
    handOffSent(task);
    QThreadPool::globalInstance()->start(task);
}

}  // namespace detail

// Runs `work` on the shared thread pool and hands its result to `apply` on the GUI thread, where
// `receiver` lives (every widget, model and coordinator). The result is dropped when the receiver
// is gone by then, or when `generations` has moved past the generation the job was started with;
// `dropped` (if given) runs on the GUI thread in the second case, so that bookkeeping such as a
// busy-cursor count stays balanced. A receiver that goes away takes its bookkeeping with it.
//
// `work` may take the job's cancel flag (`const CancelFlag&`), set once the job is superseded: a
// long computation that checks it stops early, and whatever it returns then is dropped. `work`
// must not touch widgets or models. It may read a tree that the GUI thread changes only through
// the tree's atomic accessors (see FileNode). `work` and `apply` are copied: they hold nothing
// that cannot be copied.
template <typename Work, typename Apply>
void runInBackground(QObject* receiver, JobGeneration& generations, Work work, Apply apply,
                     std::function<void()> dropped = {}) {
    const uint64_t generation = generations.next();
    // The generation object lives as long as its owner, which owns the receiver side as well;
    // it is only read on the receiver's thread, after the guard said the receiver still exists.
    JobGeneration* gens = &generations;
    detail::startOnPool(QPointer<QObject>(receiver), generations.cancelFlag(), std::move(work),
                        [gens, generation, apply = std::move(apply), dropped = std::move(dropped)](auto result) mutable {
                            if (!gens->isCurrent(generation)) {
                                if (dropped) dropped();
                                return;
                            }
                            apply(std::move(result));
                        });
}

// A job that stands alone: none supersedes another, and every result reaches `apply` on the GUI
// thread while `receiver` exists. `work` gets a flag that is never set (it may hold a cancel flag
// of its own); the rest is as above.
template <typename Work, typename Apply>
void runInBackground(QObject* receiver, Work work, Apply apply) {
    detail::startOnPool(QPointer<QObject>(receiver), std::make_shared<const CancelFlag>(), std::move(work),
                        std::move(apply));
}

}  // namespace zelvane
