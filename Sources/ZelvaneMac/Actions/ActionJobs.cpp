#include "ZelvaneMac/Actions/ActionJobs.hpp"

#include <QCoreApplication>
#include <QEventLoop>

#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "Platform/FileMoves.hpp"

namespace zelvane {

ActionJobs::ActionJobs(ActionPrompter& prompter, BusyIndicator busy) : prompter_(prompter), busy_(std::move(busy)) {}

ActionJobs::~ActionJobs() {
    ownerGone_->store(true);
    for (auto& [id, job] : jobs_) job.stop->store(true);
}

uint64_t ActionJobs::start(const QString& panelText, ErasingClaim claim) {
    const uint64_t id = ++lastJob_;
    Job& job = jobs_[id];
    job.claim = std::move(claim);
    if (busy_) job.busy = busy_();
    if (!panelText.isEmpty()) job.panel = prompter_.showProgress(panelText, [stop = job.stop] { stop->store(true); });
    return id;
}

ActionJobs::ErasingClaim ActionJobs::end(uint64_t id) {
    auto found = jobs_.find(id);
    if (found == jobs_.end()) return {};
    ErasingClaim claim = std::move(found->second.claim);
    jobs_.erase(found);
    return claim;
}

void ActionJobs::runEach(Change change, std::vector<ActionTarget> items,
                         std::function<MadeItem(const ActionTarget&, const std::atomic<bool>&)> work) {
    if (items.empty()) return;
    const uint64_t job = start({});
    // What the job reports is delivered on the GUI thread, or dropped with the jobs, which also
    // stops the job at its next item.
    runInBackground(
        context(),
        [stop = stopFlag(job), items = std::move(items), work = std::move(work)] {
            std::vector<Failure> failures;
            for (const ActionTarget& t : items) {
                if (stop->load()) break;
                const MadeItem made = work(t, *stop);
                if (made.error && made.error != ECANCELED)
                    failures.push_back({t, alerts::madeItemReason(made, lastComponent(t.path))});
            }
            return failures;
        },
        [this, job, change](const std::vector<Failure>& failures) {
            end(job);
            tellFailures(prompter_, change, failures);
        });
}

void ActionJobs::waitForAll() {
    // Each job ends when its report is delivered.
    while (!jobs_.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace zelvane
