#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

#include "ZelvaneMac/Actions/ActionJobs.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

class QMimeData;

namespace zelvane {

// Copy and Copy Path. Up to `kItemsInPlace` items the clipboard's content is made at once; more are
// listed, resolved and made into it on the thread pool while the busy indication shows, and handed
// to the clipboard when ready, unless a later copy or `supersede` came first. What cannot be reached
// is told; content past the limit leaves the clipboard as it was and says so. GUI thread only.
class ClipboardCopies final {
public:
    static constexpr size_t kItemsInPlace = 1'000;

    ClipboardCopies(DesktopServices& desktop, ActionPrompter& prompter, ActionJobs& jobs);

    // The items' URLs, as a file manager's copy gives them.
    void copy(NodeListing listing);
    // The items' full paths, a line each.
    void copyPath(NodeListing listing);
    // A copy still being made no longer reaches the clipboard.
    void supersede() { generations_.supersede(); }
    // The most bytes a copy puts on the clipboard (`kClipboardBytesLimit` unless tests lower it).
    void setLimit(qsizetype bytes) { limit_ = bytes; }

private:
    // What a copy puts on the clipboard, made from the items on any thread.
    struct Content;
    using Maker = std::function<Content(std::vector<ActionTarget>&, const CancelFlag&)>;
    // The same for content made of the items' paths alone.
    using PathsMaker = std::function<Content(TargetPaths&, const CancelFlag&)>;
    void start(NodeListing listing, Maker make, PathsMaker makeFromPaths);

    DesktopServices& desktop_;
    ActionPrompter& prompter_;
    ActionJobs& jobs_;
    qsizetype limit_;
    // The copy whose content may still reach the clipboard.
    JobGeneration generations_;
};

}  // namespace zelvane
