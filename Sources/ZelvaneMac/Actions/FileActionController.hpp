#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "Platform/FreedesktopTrash.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Actions/ActionJobs.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/ClipboardCopies.hpp"
#include "ZelvaneMac/Actions/ErasingActions.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"

namespace zelvane {

class LiveMonitorController;

// What the context menu shows before it opens.
struct FileActionMenuState {
    bool enabled = false;  // every top-level item, appended ones included
    QString moveToTrashTitle;
};

// The file actions behind every context menu and the menu bar's file commands. Each action takes
// the nodes it applies to, as the owner chose them; it knows nothing of the view. What went is
// reported by `nodesDeleted`, what was renamed by `nodesRenamed`, and both reach the window's live
// monitor from here (no view forwards them), which marks them in every tree kept in step. Every action resolves its
// targets through resolveActionTargets, so group rows and deleted nodes never reach the file
// system, and keeps the rules of its kind of change (ChangeRules).
//
// What no action does: change anything on a file system the window did not show (a folder where
// another file system is mounted, or that holds one), change a folder that an import made up, or
// erase a folder whose contents the window may not have shown (a folder of an import, or a folder
// where the row shows a file) without first saying what it holds on disk now. What fails is said,
// with the system's reason, and only what really went is reported as deleted.
//
// GUI thread only; actions run to their end there, alerts included, except Move to Trash, Delete
// Immediately (see ErasingActions), Compress and Duplicate, which change the disk on the thread
// pool while the busy indication shows, and report what they did when they end. Copy of more than
// `kItemsCopiedInPlace` items makes the clipboard's content on the thread pool as well (the busy
// indication shows) and hands it to the clipboard when it is ready, unless a later copy or
// `dropUnfinishedCopy` came first. Cancel, or the
// controller going (its window closes, the program quits), stops such work before its next file.
class FileActionController final : public QObject {
    Q_OBJECT
public:
    using Nodes = std::vector<FileNode*>;

    // `busy` starts the busy indication of the background work (none when empty). What the actions
    // delete and rename is marked by `monitor`, a large removal planned the way a batch of events
    // is (none for actions standing alone).
    FileActionController(DesktopServices& desktop, ActionPrompter& prompter, ActionJobs::BusyIndicator busy = {},
                         LiveMonitorController* monitor = nullptr, QObject* parent = nullptr);
    // Stops the background work before its next file (its half-made items are removed) without
    // waiting for it; what it would report is dropped.
    ~FileActionController() override;

    static FileActionMenuState menuState(const Nodes& nodes);
    // The same for `count` targets, counted by the owner.
    static FileActionMenuState menuState(size_t count);

    void open(const Nodes& nodes);
    // Opens one item, as the preview's Open does; false when no opener could be started.
    bool openItem(const ActionTarget& item);
    void showInFileManager(const Nodes& nodes);
    void getInfo(const Nodes& nodes);
    void newTerminal(const Nodes& nodes);
    // Up to this many items a copy is made at once.
    static constexpr size_t kItemsCopiedInPlace = ClipboardCopies::kItemsInPlace;
    using Ordering = NodeListing::Ordering;
    using Gathering = NodeListing::Gathering;
    using Listing = NodeListing;
    // The actions the menu bar runs on a selection of any size.
    enum class ListedAction { showInFileManager, newTerminal, copy, copyPath, moveToTrash, deleteImmediately };
    // Runs `action` on the listed items. Up to `kItemsCopiedInPlace` items it is the action on
    // their nodes, at once. More are listed, ordered and resolved on the thread pool while the
    // busy indication shows; what asks (how many windows to open, whether to erase) asks when
    // they are ready, and the rest goes on as for a few items. A copy or Copy Path of many makes
    // the clipboard's content there too and hands it over when ready, unless a later copy or
    // `dropUnfinishedCopy` came first; a later listed Show in File Manager or New Terminal drops
    // an earlier one still being listed.
    void actOnListing(ListedAction action, Listing listing);
    void copy(const Nodes& nodes) { copySelection(Nodes(nodes), {}, {}); }
    void copySelection(Nodes nodes, Ordering order, std::shared_ptr<const void> trees);
    // A copy still being made no longer reaches the clipboard (the owner's selection changed).
    void dropUnfinishedCopy() { copies_.supersede(); }
    void copyPath(const Nodes& nodes);
    void moveToTrash(const Nodes& nodes) { erasing_.moveToTrash(nodes); }
    void deleteImmediately(const Nodes& nodes) { erasing_.deleteImmediately(nodes); }
    void compress(const Nodes& nodes);
    void duplicate(const Nodes& nodes);
    void makeLink(const Nodes& nodes);
    void launchNewInstance(const Nodes& nodes);
    // Tags each item with the colour of that name; an empty name clears the tags.
    void setTag(const Nodes& nodes, const QString& tagName);
    // The paths the preview window shows, in target order (what cannot be reached is told).
    std::vector<std::string> quickLook(const Nodes& nodes);

    // The in-place rename of the tree and the file list; true when the item was renamed (the
    // caller then redisplays the row). `newName` is the edited text of the shown name: bytes of the
    // old name that are not UTF-8 (shown as U+FFFD) stay as they were where they were not edited.
    // Refuses a root, a group row, a deleted node, a folder an import made up, and names that are
    // empty, "." or "..", or hold "/" or NUL; never replaces an existing item.
    bool performRename(FileNode* node, const QString& newName);

    // Asks before opening `count` windows of the given kind; true below six without asking.
    bool confirmOpeningManyWindows(int count, const QString& windowKind);

    // Where items go to the trash; tests point it at a folder of their own.
    void setTrashEnvironment(TrashEnvironment env) { erasing_.setTrashEnvironment(std::move(env)); }
    // Runs the event loop until the background work has reported (tests; the application lets it
    // run).
    void waitForBackgroundWork() { jobs_.waitForAll(); }
    // Watches the copies Duplicate and the archives Compress make, on the working thread (tests
    // change a source there).
    void setCopyWatch(CopyWatch watch) { copyWatch_ = std::move(watch); }
    // The most bytes a Copy or Copy Path puts on the clipboard (`kClipboardBytesLimit`); a larger one
    // leaves the clipboard as it was and says so. Tests lower it.
    void setClipboardLimit(qsizetype bytes) { copies_.setLimit(bytes); }
    // Watches Move to Trash and Delete Immediately, on the working thread, before each chosen item
    // goes (tests hold it there to act while it runs).
    void setEraseWatch(ErasingActions::Watch watch) { erasing_.setWatch(std::move(watch)); }

signals:
    void nodesDeleted(const zelvane::NodesGone& gone);
    // Every view that shows their names draws them again.
    void nodesRenamed(const std::vector<FileNode*>& nodes);

private:
    // The items of an action that has nothing else to refuse: what it cannot reach is told at once.
    std::vector<ActionTarget> reachableTargets(const Nodes& nodes);
    // Show in File Manager and New Terminal of many items: the items are resolved on the thread
    // pool, and `act` runs on the GUI thread with them.
    struct Reached;
    void reachListing(Listing listing, std::function<void(Reached&)> act);
    void showReached(Reached& reached);
    void showItems(const QList<QUrl>& urls, const std::vector<ActionTarget>& items);
    void openTerminals(const std::vector<ActionTarget>& items);
    // The items a change that erases nothing may touch; the refusals are told at once unless
    // `refused` takes them.
    std::vector<ActionTarget> touchableTargets(const Nodes& nodes, Change change, std::vector<Failure>& refused);
    bool refuseRename(const QString& shownName, const QString& reason);
    // An item the opener did not open, told with those that fail while it is up.
    void tellOpenFailure(const QString& name, const OpenFailure& why);

    DesktopServices& desktop_;
    ActionPrompter& prompter_;
    ActionJobs jobs_;
    ErasingActions erasing_;
    CopyWatch copyWatch_;
    ClipboardCopies copies_;
    // The Show in File Manager or New Terminal whose items are still being listed.
    JobGeneration listingJobs_;
    // Items whose opener failed while the alert about earlier ones was up.
    std::vector<std::pair<QString, OpenFailure>> openFailures_;
    bool tellingOpenFailures_ = false;
};

}  // namespace zelvane
