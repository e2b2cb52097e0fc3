#pragma once

#include <QString>

#include <cstddef>

#include "ZelvaneMac/Actions/ActionTargets.hpp"

namespace zelvane {

// What an action does to its items, for the rules it keeps and the words of what it could not do;
// `reach` is every action that only names, shows or opens its items.
enum class Change { trash, erase, rename, duplicate, compress, link, tags, reach };
// How many kinds of change there are (`reach` stays the last): `rulesOf`'s table has as many rows.
inline constexpr size_t kChangeKinds = size_t(Change::reach) + 1;

// The rules one kind of change keeps: one row of `rulesOf`'s table each.
struct ChangeRules {
    Change change;
    // Refuses the system's top folder, an item below a folder a link replaced since the scan, and
    // a folder an import made up: what they hold, or where they lead, the window never showed.
    bool keepsToWhatWasShown;
    // Takes the item off the disk: refuses a folder where another file system is mounted or that
    // holds one, takes an item already gone for gone, and says what the disk holds now below a
    // row that may not show it all.
    bool erases;
    // An item inside another item of the action goes with it, and is no item of its own.
    bool dropsNestedItems;
    // Copies a folder without following a file system mounted inside it, as the window shows it
    // (a scanned folder shows its own file system).
    bool copiesAsShown;
};

const ChangeRules& rulesOf(Change change);

// An item an action did not act on, and why.
struct Failure {
    ActionTarget target;
    QString reason;
};

}  // namespace zelvane
