#include "ZelvaneMac/Core/Scanning/ScanState.hpp"

namespace zelvane {

const std::vector<RootRef>& ScanState::roots() const {
    static const std::vector<RootRef> none;
    if (auto* c = std::get_if<Completed>(&value)) return c->roots;
    if (auto* c = std::get_if<Cancelled>(&value)) return c->roots;
    return none;
}

}  // namespace zelvane
