#include "ZelvaneMac/Actions/ChangeRules.hpp"

#include <iterator>

namespace zelvane {

namespace {

// One row per kind of change, in the order of `Change`.
constexpr ChangeRules kRules[] = {
    // change            shown  erases nested asShown
    {Change::trash,      true,  true,  true,  false},
    {Change::erase,      true,  true,  true,  false},
    {Change::rename,     true,  false, false, false},
    {Change::duplicate,  true,  false, false, true},
    {Change::compress,   true,  false, false, true},
    {Change::link,       true,  false, false, false},
    {Change::tags,       true,  false, false, false},
    {Change::reach,      false, false, false, false},
};

// Every kind of change has its row, at its own place: a row missing or out of place fails the
// build instead of being read past or taken for another kind's.
constexpr bool everyChangeHasItsRow() {
    if (std::size(kRules) != kChangeKinds) return false;
    for (size_t i = 0; i < std::size(kRules); ++i)
        if (kRules[i].change != Change(i)) return false;
    return true;
}
static_assert(everyChangeHasItsRow(), "kRules needs one row per kind of change, in the order of Change");

}  // namespace

const ChangeRules& rulesOf(Change change) { return kRules[size_t(change)]; }

}  // namespace zelvane
