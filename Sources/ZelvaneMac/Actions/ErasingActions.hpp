#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "Platform/FreedesktopTrash.hpp"
#include "ZelvaneMac/Actions/ActionJobs.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "ZelvaneMac/Core/Scanning/NodesGone.hpp"

namespace zelvane {

// Move to Trash and Delete Immediately. Each checks its items on the thread pool (what the rules
// of its change refuse, what the disk holds now, where each item's trash is), asks, and then moves
// or erases on the thread pool behind the "Deleting…" panel, so that a selection of any size costs
// the window no more than marking what went. From its first check to its last report it holds the
// window's erasing claim: while one runs, the window starts no other. What went is reported,
// what failed is told, and what cannot go to the Trash is offered Delete Immediately where that
// could work.
class ErasingActions final {
public:
    using Report = std::function<void(const NodesGone& gone)>;
    // Watches the work, on its thread, before each chosen item goes (tests hold it there).
    using Watch = std::function<void(const std::string& path)>;

    ErasingActions(ActionPrompter& prompter, ActionJobs& jobs, Report report);

    void moveToTrash(std::vector<FileNode*> nodes);
    void deleteImmediately(std::vector<FileNode*> nodes);
    // The same for items listed on the thread pool, with the checks.
    void moveToTrash(NodeListing listing) { start(std::move(listing), Change::trash); }
    void deleteImmediately(NodeListing listing) { start(std::move(listing), Change::erase); }

    void setTrashEnvironment(TrashEnvironment env) { trashEnvironment_ = std::move(env); }
    void setWatch(Watch watch) { watch_ = std::move(watch); }

private:
    using ErasingClaim = ActionJobs::ErasingClaim;
    // The failures of moving to the Trash, split by whether erasing the item could work instead:
    // only those are offered Delete Immediately, the others are told.
    struct EraseOffer {
        std::vector<Failure> told;
        std::vector<Failure> offered;
        void add(Failure failure);
    };
    // What the checks found, handed from the thread pool to the question; `locations` is each
    // item's trash (Move to Trash only).
    struct Plan {
        std::vector<ActionTarget> items;
        std::vector<TrashLocation> locations;
        std::vector<Failure> refused;
        DiskTotals disk;
        std::vector<FileNode*> goneBeforeAsking;
        EraseOffer withoutTrash;
        size_t checked = 0;  // the items listed, whatever became of them
    };
    // What the moves or erases did, with the trees it names nodes of: a scan that replaced them
    // meanwhile cannot free those nodes before the report.
    struct Outcome {
        std::vector<FileNode*> gone;
        std::vector<Failure> failures;
        EraseOffer offer;  // failed at the trash
        bool cancelled = false;
        HeldTrees held;
    };

    // The plan with the trees of the nodes it names.
    struct Checked {
        Plan plan;
        HeldTrees held;
    };

    static Plan check(const std::vector<FileNode*>& nodes, Change change, const TrashEnvironment* trash,
                      const std::atomic<bool>& stop);
    void start(NodeListing listing, Change change);
    void askToTrash(Plan plan, const HeldTrees& held, const ErasingClaim& claim);
    void askToErase(Plan plan, const HeldTrees& held, const ErasingClaim& claim);
    // What a plan holds of millions of items is let go on the thread pool.
    void letGo(Plan plan);
    void moveItemsToTrash(Plan plan, HeldTrees held, ErasingClaim claim);
    void offerImmediateDelete(const EraseOffer& offer, const DiskTotals& disk, const HeldTrees& held,
                              const ErasingClaim& claim);
    void removeImmediately(std::vector<ActionTarget> items, HeldTrees held, ErasingClaim claim);
    // The list is handed on, not copied, with the trees that hold its nodes.
    void report(std::vector<FileNode*>& gone, const HeldTrees& held) {
        if (!gone.empty()) report_(NodesGone::of(std::exchange(gone, {}), held));
    }

    ActionPrompter& prompter_;
    ActionJobs& jobs_;
    Report report_;
    TrashEnvironment trashEnvironment_;
    Watch watch_;
};

}  // namespace zelvane
