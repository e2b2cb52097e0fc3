#include "ZelvaneMac/Actions/ChangeRules.hpp"

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

}  // namespace

const ChangeRules& rulesOf(Change change) {
    const ChangeRules& rules = kRules[static_cast<int>(change)];
    Q_ASSERT(rules.change == change);
    return rules;
}

}  // namespace zelvane
