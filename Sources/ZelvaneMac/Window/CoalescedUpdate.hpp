#pragma once

#include <QObject>

#include <functional>

namespace zelvane {

// Gathers the parts of a view that changes made out of date during one turn of the event loop
// and brings them up to date once, at the start of the next turn: a burst of changes (new roots,
// their statistics, a selection) costs one update of each part it touched, and a part no change
// touched is left alone. The update function belongs to the owner, which is also this object's
// parent, so it never outlives what it calls. Main thread only.
class CoalescedUpdate final : public QObject {
    Q_OBJECT
public:
    using Parts = unsigned;
    static constexpr Parts everything = ~Parts(0);

    CoalescedUpdate(std::function<void(Parts)> update, QObject* owner);

    void schedule(Parts parts);
    // Runs what is scheduled (and `extra`) now; nothing stays pending.
    void runNow(Parts extra = 0);
    Parts pending() const { return pending_; }

private:
    std::function<void(Parts)> update_;
    Parts pending_ = 0;
    bool queued_ = false;
};

}  // namespace zelvane
