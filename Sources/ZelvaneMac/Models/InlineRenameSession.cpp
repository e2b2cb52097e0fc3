#include "ZelvaneMac/Models/InlineRenameSession.hpp"

namespace zelvane {

void InlineRenameSession::begin(const QString& original, Commit commit, Ended ended) {
    editing_ = true;
    original_ = original;
    commit_ = std::move(commit);
    ended_ = std::move(ended);
}

bool InlineRenameSession::end(bool commit, const QString& newText, const std::function<void(const QString&)>& show) {
    if (!editing_) return false;
    // Idle before calling out: whatever the callbacks cause finds nothing left to end.
    editing_ = false;
    Commit commitFn = std::move(commit_);
    Ended endedFn = std::move(ended_);
    commit_ = nullptr;
    ended_ = nullptr;
    const bool accepted = commit && newText != original_ && commitFn && commitFn(newText);
    if (show) show(accepted ? newText : original_);
    if (endedFn) endedFn();
    return true;
}

}  // namespace zelvane
