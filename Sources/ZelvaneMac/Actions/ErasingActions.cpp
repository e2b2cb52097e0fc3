#include "ZelvaneMac/Actions/ErasingActions.hpp"

#include <ctime>
#include <map>

#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Support/FreedHeap.hpp"

namespace zelvane {

void ErasingActions::EraseOffer::add(Failure failure) {
    // Erasing is offered only where it could work: where the item itself refuses to move, it
    // would refuse to go as well, and the offer would only hide the real cause.
    (deletionCouldSucceed(failure.target.path) ? offered : told).push_back(std::move(failure));
}

ErasingActions::ErasingActions(ActionPrompter& prompter, ActionJobs& jobs, Report report)
    : prompter_(prompter), jobs_(jobs), report_(std::move(report)), trashEnvironment_(TrashEnvironment::current()) {}

void ErasingActions::moveToTrash(std::vector<FileNode*> nodes) {
    if (!nodes.empty()) start(NodeListing::of(std::move(nodes)), Change::trash);
}

void ErasingActions::deleteImmediately(std::vector<FileNode*> nodes) {
    if (!nodes.empty()) start(NodeListing::of(std::move(nodes)), Change::erase);
}

void ErasingActions::start(NodeListing listing, Change change) {
    if (listing.count == 0) return;
    ErasingClaim claim = prompter_.claimErasing();
    if (!claim) return;
    // The checks read the disk for every item: on the thread pool, with the trees held, so that a
    // scan that ends meanwhile cannot free the nodes they read. A selection of millions is listed
    // and put in order there as well.
    const uint64_t job = jobs_.start(alerts::readingPanelText(), std::move(claim));
    runInBackground(
        jobs_.context(),
        [listing = std::move(listing), change, stop = jobs_.stopFlag(job), trash = trashEnvironment_] {
            Checked checked;
            CancelFlag stopListing;
            const std::vector<FileNode*> nodes = listing.list(stopListing);
            checked.held = holdTrees(nodes);
            checked.plan = check(nodes, change, change == Change::trash ? &trash : nullptr, *stop);
            return checked;
        },
        [this, job, change](Checked checked) {
            const ErasingClaim stillClaimed = jobs_.end(job);
            if (change == Change::trash) askToTrash(std::move(checked.plan), checked.held, stillClaimed);
            else askToErase(std::move(checked.plan), checked.held, stillClaimed);
        });
}

void ErasingActions::letGo(Plan plan) {
    // What went before asking was handed on with the report: the count of what was checked says
    // how much the checks took.
    if (plan.checked < 10'000) return;
    runInBackground(jobs_.context(), [gone = std::make_shared<Plan>(std::move(plan))]() mutable {
        gone.reset();
        // What the listing and the checks took stays resident in the allocator's arenas otherwise.
        trimFreedHeap();
        return true;
    }, [](bool) {});
}

ErasingActions::Plan ErasingActions::check(const std::vector<FileNode*>& nodes, Change change, const TrashEnvironment* trash,
                                           const std::atomic<bool>& stop) {
    Plan plan;
    plan.checked = nodes.size();
    CheckedTargets checked = checkTargets(resolveTargets(nodes, change, plan.refused), change, plan.refused, &plan.disk);
    const std::vector<DiskSurvey> surveys = surveyUnseen(checked, stop);
    if (stop.load()) {
        plan.disk.cancelled = true;
        return plan;
    }
    std::vector<ActionTarget> items = applySurveys(std::move(checked), surveys, plan.refused, plan.disk);
    if (!trash) {
        plan.items = std::move(items);
        return plan;
    }
    // One look-up per file system and action: whether it has a usable trash, and where.
    std::map<std::string, TrashLookup> cache;
    for (auto& t : items) {
        if (stop.load()) {
            plan.disk.cancelled = true;
            return plan;
        }
        ItemFacts facts;
        if (int err = readItemFacts(t.path, facts)) {
            if (err != ENOENT) plan.withoutTrash.add({std::move(t), alerts::errorText(err)});
            else plan.goneBeforeAsking.push_back(t.node);
            continue;
        }
        const std::string key = trashKey(facts);
        auto found = cache.find(key);
        if (found == cache.end()) found = cache.emplace(key, locateTrash(t.path, facts, *trash)).first;
        const TrashLookup& lookup = found->second;
        if (lookup.error) {
            plan.withoutTrash.add({std::move(t), alerts::noTrashReason(lookup.failedPath, lookup.error)});
            continue;
        }
        plan.items.push_back(std::move(t));
        plan.locations.push_back(lookup.location);
    }
    return plan;
}

void ErasingActions::askToTrash(Plan plan, const HeldTrees& held, const ErasingClaim& claim) {
    report(plan.disk.vanished, held);
    if (plan.disk.cancelled) return letGo(std::move(plan));
    tellFailures(prompter_, Change::trash, plan.refused);
    report(plan.goneBeforeAsking, held);
    // What cannot go to the Trash is offered once the rest has gone.
    if (!plan.items.empty() && prompter_.ask(alerts::trashQuestion(plan.items, plan.disk)))
        return moveItemsToTrash(std::move(plan), held, claim);
    offerImmediateDelete(plan.withoutTrash, plan.disk, held, claim);
    letGo(std::move(plan));
}

void ErasingActions::askToErase(Plan plan, const HeldTrees& held, const ErasingClaim& claim) {
    report(plan.disk.vanished, held);
    if (plan.disk.cancelled) return letGo(std::move(plan));
    tellFailures(prompter_, Change::erase, plan.refused);
    if (!plan.items.empty() && prompter_.ask(alerts::eraseQuestion(plan.items, plan.disk)))
        return removeImmediately(std::move(plan.items), held, claim);
    letGo(std::move(plan));
}

void ErasingActions::moveItemsToTrash(Plan plan, HeldTrees held, ErasingClaim claim) {
    const uint64_t job = jobs_.start(alerts::trashingPanelText(), std::move(claim));
    runInBackground(
        jobs_.context(),
        [items = std::move(plan.items), locations = std::move(plan.locations), held = std::move(held),
         stop = jobs_.stopFlag(job), watch = watch_]() mutable {
            Outcome out;
            const std::time_t now = std::time(nullptr);
            for (size_t i = 0; i < items.size(); ++i) {
                const ActionTarget& t = items[i];
                if (watch) watch(t.path);
                if (stop->load()) {
                    out.cancelled = true;
                    break;
                }
                ItemInFolder item;
                TrashMoveResult moved;
                if (int err = openItemFolder(t.path, item)) moved.error = err;
                else moved = zelvane::moveToTrash(item, t.path, locations[i], now);
                // Gone meanwhile is gone all the same.
                if (moved.error == 0 || (moved.error == ENOENT && !moved.atTrash)) out.gone.push_back(t.node);
                else if (moved.error == EINVAL && !moved.atTrash) out.failures.push_back({t, alerts::trashInsideReason()});
                else if (moved.atTrash) out.offer.add({t, alerts::errorText(moved.error)});
                else out.failures.push_back({t, alerts::errorText(moved.error)});
            }
            out.held = std::move(held);
            return out;
        },
        [this, job, withoutTrash = std::move(plan.withoutTrash), disk = std::move(plan.disk)](Outcome result) {
            const ErasingClaim stillClaimed = jobs_.end(job);
            report(result.gone, result.held);
            const Outcome& out = result;
            tellFailures(prompter_, Change::trash, out.failures);
            if (out.cancelled) {
                // The user said stop: what failed is told, nothing more is asked.
                for (const auto* failures : {&out.offer.told, &out.offer.offered, &withoutTrash.told, &withoutTrash.offered})
                    tellFailures(prompter_, Change::trash, *failures);
                return;
            }
            offerImmediateDelete(out.offer, disk, out.held, stillClaimed);
            offerImmediateDelete(withoutTrash, disk, out.held, stillClaimed);
        });
}

void ErasingActions::offerImmediateDelete(const EraseOffer& offer, const DiskTotals& disk, const HeldTrees& held,
                                          const ErasingClaim& claim) {
    tellFailures(prompter_, Change::trash, offer.told);
    if (offer.offered.empty()) return;
    std::vector<ActionTarget> items;
    for (const Failure& f : offer.offered) items.push_back(f.target);
    if (prompter_.ask(alerts::eraseInsteadQuestion(offer.offered, items, disk))) removeImmediately(std::move(items), held, claim);
}

void ErasingActions::removeImmediately(std::vector<ActionTarget> items, HeldTrees held, ErasingClaim claim) {
    if (items.empty()) return;
    const uint64_t job = jobs_.start(alerts::deletingPanelText(), std::move(claim));
    runInBackground(
        jobs_.context(),
        [items = std::move(items), held = std::move(held), stop = jobs_.stopFlag(job), ownerGone = jobs_.ownerGone(),
         watch = watch_]() mutable {
            Outcome out;
            for (const auto& t : items) {
                if (watch) watch(t.path);
                if (stop->load()) break;
                const RemovalResult removal = removeItem(t.path, stop.get());
                // Gone meanwhile is gone all the same: nothing failed.
                if (removal.error == 0 || (removal.error == ENOENT && removal.remaining == 0)) {
                    out.gone.push_back(t.node);
                    continue;
                }
                // What went of a folder that stayed is shown gone, unless nobody is left to show it.
                if (removal.removedSome) nodesGoneBelow(t.node, out.gone, *ownerGone);
                // Stopped on purpose: what is left was not tried.
                if (removal.error == ECANCELED) continue;
                out.failures.push_back({t, alerts::removalReason(removal)});
            }
            out.held = std::move(held);
            return out;
        },
        [this, job](Outcome out) {
            jobs_.end(job);
            report(out.gone, out.held);
            tellFailures(prompter_, Change::erase, out.failures);
        });
}

}  // namespace zelvane
