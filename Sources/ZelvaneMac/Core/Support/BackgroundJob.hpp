#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace zelvane {

// The generation of one kind of background work owned by a view or coordinator. Taking a new
// generation supersedes every job started before: their results are dropped on arrival.
// GUI thread only.
class JobGeneration final {
public:
    uint64_t next() { return ++current_; }
    uint64_t current() const { return current_; }
    bool isCurrent(uint64_t generation) const { return generation == current_; }
    // Drops whatever is under way without starting anything new.
    void supersede() { ++current_; }

private:
    uint64_t current_ = 0;
};

// Runs `work` on the shared thread pool and hands its result to `apply` on the GUI thread, where
// `receiver` lives (every widget, model and coordinator). The result is dropped when the receiver
// is gone by then, or when `generations` has moved past the generation the job was started with;
// `dropped` (if given) runs on the GUI thread in the second case, so that bookkeeping such as a
// busy-cursor count stays balanced. A receiver that goes away takes its bookkeeping with it.
//
// `work` must not touch widgets or models. It may read a tree that the GUI thread changes only
// through the tree's atomic accessors (see FileNode).
template <typename Work, typename Apply>
void runInBackground(QObject* receiver, JobGeneration& generations, Work work, Apply apply,
                     std::function<void()> dropped = {}) {
    using Result = std::invoke_result_t<Work>;
    const uint64_t generation = generations.next();
    QPointer<QObject> guard(receiver);
    // The generation object lives as long as its owner, which owns the receiver side as well;
    // it is only read on the receiver's thread, after the guard said the receiver still exists.
    JobGeneration* gens = &generations;
    QThreadPool::globalInstance()->start([guard, gens, generation, work = std::move(work),
                                          apply = std::move(apply), dropped = std::move(dropped)]() mutable {
        auto result = std::make_shared<Result>(work());
        // Posted to the application object, which outlives every receiver: the receiver may be
        // destroyed between any check made here and the call.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, gens, generation, result, apply = std::move(apply), dropped = std::move(dropped)]() mutable {
                if (!guard) return;
                if (!gens->isCurrent(generation)) {
                    if (dropped) dropped();
                    return;
                }
                apply(std::move(*result));
            },
            Qt::QueuedConnection);
    });
}

}  // namespace zelvane
