#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/ChangeRules.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Support/FreedHeap.hpp"

namespace zelvane {

// The file actions' background work under way: each job's busy indication, its panel (for work
// that shows one), the erasing claim it holds, and the flag that stops it, set by the panel's
// Cancel or when the jobs go (the window closes, the program quits). GUI thread only.
class ActionJobs final {
public:
    using BusyIndicator = std::function<std::shared_ptr<void>()>;
    using ErasingClaim = std::shared_ptr<void>;
    using Stop = std::shared_ptr<std::atomic<bool>>;

    // `busy` starts the busy indication, which lasts while its token lives.
    ActionJobs(ActionPrompter& prompter, BusyIndicator busy);
    // Stops every job before its next item without waiting; what they would report is dropped.
    ~ActionJobs();
    ActionJobs(const ActionJobs&) = delete;
    ActionJobs& operator=(const ActionJobs&) = delete;

    // A new job; an empty `panelText` shows no panel.
    uint64_t start(const QString& panelText, ErasingClaim claim = {});
    // Ends the job, handing back the erasing claim it held for the questions that follow.
    ErasingClaim end(uint64_t id);
    Stop stopFlag(uint64_t id) { return jobs_.at(id).stop; }
    // Set when the jobs go: nobody is left to show what the work would report.
    const Stop& ownerGone() const { return ownerGone_; }
    // Receives what the work reports, on the GUI thread; gone with the jobs.
    QObject* context() const { return context_.get(); }

    // Makes each item on the thread pool with `work`, one after the other, and tells what failed
    // as `change` when all have been tried.
    void runEach(Change change, std::vector<ActionTarget> items,
                 std::function<MadeItem(const ActionTarget&, const std::atomic<bool>&)> work);
    // Lets go of `held` on the thread pool, and gives the heap it freed back to the system: millions
    // of items, URLs or strings freed on the GUI thread would hold it for a second, and what they
    // took would stay resident in the allocator's arenas.
    template <typename Held>
    void letGo(Held held) {
        runInBackground(context(), [held = std::move(held)]() mutable {
            held = Held();
            trimFreedHeap();
            return true;
        }, [](bool) {});
    }
    // Runs the event loop until every job has reported (tests; the application lets them run).
    void waitForAll();

private:
    struct Job {
        std::shared_ptr<void> busy;
        std::shared_ptr<void> panel;
        Stop stop = std::make_shared<std::atomic<bool>>(false);
        ErasingClaim claim;
    };

    ActionPrompter& prompter_;
    BusyIndicator busy_;
    std::map<uint64_t, Job> jobs_;
    uint64_t lastJob_ = 0;
    Stop ownerGone_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
};

}  // namespace zelvane
