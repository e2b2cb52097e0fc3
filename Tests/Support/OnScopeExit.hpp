#pragma once

#include <utility>

namespace zelvane::testsupport {

// Runs its action when the scope ends, however it ends: a failed assertion returns from the test
// at once, and work a test holds up on other threads (a task waiting to be let go, a handler
// blocked on a condition) must be let go on that way out too, or it waits on a frame that is gone.
template <typename Action>
class OnScopeExit final {
public:
    explicit OnScopeExit(Action action) : action_(std::move(action)) {}
    ~OnScopeExit() { action_(); }
    OnScopeExit(const OnScopeExit&) = delete;
    OnScopeExit& operator=(const OnScopeExit&) = delete;

private:
    Action action_;
};

}  // namespace zelvane::testsupport
