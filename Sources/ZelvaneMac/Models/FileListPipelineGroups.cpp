#include "ZelvaneMac/Models/FileListPipeline.hpp"

namespace zelvane {

bool DupAssignmentsLocked::replace(Assigned next, const CancelFlag& superseded) {
    std::lock_guard turn(turn_);
    if (superseded.isSet()) return false;
    Assigned previous;
    {
        std::lock_guard state(state_);
        previous = std::exchange(current_, Assigned{});
    }
    // The nodes change here, outside the state's lock: the GUI thread never waits for them.
    clearDupGroups(previous.groups, storesOf(previous.roots));
    assignDupGroups(next.groups, storesOf(next.roots));
    std::lock_guard state(state_);
    current_ = next.groups.empty() ? Assigned{} : std::move(next);
    if (!previous.groups.empty() || !previous.roots.empty()) retired_.push_back(std::move(previous));
    return true;
}

std::vector<DupAssignmentsLocked::Assigned> DupAssignmentsLocked::takeRetired() {
    std::lock_guard state(state_);
    return std::exchange(retired_, {});
}

}  // namespace zelvane
