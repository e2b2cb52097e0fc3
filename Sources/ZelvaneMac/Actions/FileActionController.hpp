#pragma once

#include <QColor>
#include <QString>
#include <QUrl>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/FreedesktopTrash.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"

class QObject;

namespace zelvane {

struct DiskSurvey;

// One colour of the Tags submenu. `name` (English) is what a file's tags receive.
struct TagColor {
    const char* name;
    QString title;
    QColor color;
};
const std::vector<TagColor>& tagColors();

// What the context menu shows before it opens.
struct FileActionMenuState {
    bool enabled = false;  // every top-level item, appended ones included
    QString moveToTrashTitle;
};

// The file actions behind every context menu and the menu bar's file commands. It knows nothing of
// the view that owns it: the owner's provider says, at the moment an action runs, which nodes it
// applies to, and deletions go back through `onNodesDeleted`. Every action resolves its targets
// through resolveActionTargets, so group rows and deleted nodes never reach the file system.
//
// What no action does: change anything on a file system the window did not show (a folder where
// another file system is mounted, or that holds one), change a folder that an import made up, or
// erase a folder whose contents the window may not have shown (a folder of an import, or a folder
// where the row shows a file) without first saying what it holds on disk now. What fails is said,
// with the system's reason, and only what really went is reported as deleted.
//
// GUI thread only; actions run to their end there, alerts included, except Move to Trash, Delete
// Immediately, Compress and Duplicate, which change the disk on the thread pool while the busy
// indication shows (and, for a deletion that lasts, a panel with Cancel), and report what they did
// when they end. Move to Trash and Delete Immediately also check their items on the thread pool
// before they ask, so that a selection of any size costs the window no more than marking what
// went; while one runs, the window refuses another (see ActionPrompter::claimErasing).
// Cancel, or the controller going (its window closes, the program quits), stops such work before
// its next file.
class FileActionController final {
public:
    using NodesProvider = std::function<std::vector<FileNode*>()>;
    using NodesHandler = std::function<void(const std::vector<FileNode*>&)>;

    FileActionController(DesktopServices& desktop, ActionPrompter& prompter);
    // Stops the background work before its next file (its half-made items are removed) without
    // waiting for it; what it would report is dropped.
    ~FileActionController();
    FileActionController(const FileActionController&) = delete;
    FileActionController& operator=(const FileActionController&) = delete;

    NodesProvider targetNodesProvider = [] { return std::vector<FileNode*>{}; };
    std::function<void()> onExportToCSV = [] {};
    std::function<void()> onZoomTreemap = [] {};
    std::function<void()> onUnzoomTreemap = [] {};
    NodesHandler onNodesDeleted = [](const std::vector<FileNode*>&) {};
    // An item was renamed in place: every view that shows its name draws it again.
    NodesHandler onNodesRenamed = [](const std::vector<FileNode*>&) {};
    // Runs after Quick Look has collected its items, to show the preview window.
    std::function<void()> onShowPreview = [] {};
    // Starts the busy indication; it lasts while the returned token lives.
    std::function<std::shared_ptr<void>()> busyIndicator = [] { return std::shared_ptr<void>(); };

    FileActionMenuState menuState() const;

    void open();
    void showInFileManager();
    void getInfo();
    void newTerminal();
    void copy();
    void copyPath();
    void moveToTrash();
    void deleteImmediately();
    void compress();
    void duplicate();
    void makeLink();
    void quickLook();
    void setTag(const QString& tagName);
    void launchNewInstance();
    void exportToCSV() { onExportToCSV(); }
    void zoomTreemap() { onZoomTreemap(); }
    void unzoomTreemap() { onUnzoomTreemap(); }

    // The in-place rename of the tree and the file list; true when the item was renamed (the
    // caller then redisplays the row). `newName` is the edited text of the shown name: bytes of the
    // old name that are not UTF-8 (shown as U+FFFD) stay as they were where they were not edited.
    // Refuses a root, a group row, a deleted node, a folder an import made up, and names that are
    // empty, "." or "..", or hold "/" or NUL; never replaces an existing item.
    bool performRename(FileNode* node, const QString& newName);

    // The preview window's items: the paths Quick Look collected, in target order.
    int previewItemCount() const { return int(previewPaths_.size()); }
    const std::string& previewPathAt(int index) const { return previewPaths_.at(size_t(index)); }

    // Where items go to the trash; tests point it at a folder of their own.
    void setTrashEnvironment(TrashEnvironment env) { trashEnvironment_ = std::move(env); }
    // Runs the event loop until the background work has reported (tests; the application lets it
    // run).
    void waitForBackgroundWork();
    // Watches the copies Duplicate makes, on the copying thread (tests change a source there).
    void setCopyWatch(CopyWatch watch) { copyWatch_ = std::move(watch); }
    // Watches Delete Immediately and Move to Trash, on the working thread, before each chosen item
    // goes (tests hold it there to act while it runs).
    void setEraseWatch(std::function<void(const std::string& path)> watch) { eraseWatch_ = std::move(watch); }

    // Asks before opening `count` windows of the given kind; true below six without asking.
    bool confirmOpeningManyWindows(int count, const QString& windowKind);

private:
    struct Failure {
        ActionTarget target;
        QString reason;
    };
    // What an action does, for the wording of what it could not do; `reach` is every action that
    // only names, shows or opens its items.
    enum class Change { trash, erase, rename, duplicate, compress, link, tags, reach };
    // What the disk holds now below the folders an action is about to erase unseen.
    struct DiskTotals {
        bool cancelled = false;  // the user gave up waiting: the action ends
        // Targets no longer at their paths: nothing is left to erase, and their rows are shown
        // gone (whatever the answer to the question about the rest).
        std::vector<FileNode*> vanished;
        struct Counts {
            int64_t items = 0;
            int64_t bytes = 0;
        };
        std::map<const FileNode*, Counts> surveyed;  // by target
        // "On disk now: ..." over those of `items` that were read; empty when none was. Each
        // question that erases says it for exactly the items it asks about.
        QString textFor(const std::vector<ActionTarget>& items) const;
    };
    // The trees of the targets, kept while an action waits for the user: a scan that ends
    // meanwhile replaces the window's trees, and the action must still reach the nodes it holds.
    using HeldTrees = std::vector<std::shared_ptr<NodeStore>>;
    static HeldTrees holdTrees(const std::vector<FileNode*>& nodes);

    // The items the action works on; the nodes it cannot reach on disk join `refused`, with why.
    std::vector<ActionTarget> targets(std::vector<Failure>& refused, bool dropNestedItems = false) const;
    // The same for an action that has nothing else to refuse: what it cannot reach is told at once.
    std::vector<ActionTarget> reachableTargets(Change change);
    // Splits off the targets that `change` may not touch, with why.
    static std::vector<ActionTarget> refuseUntouchable(std::vector<ActionTarget> items, Change change,
                                                       std::vector<Failure>& refused);
    // The steps of refuseUntouchable, each safe on any thread: the checks of each item, the reading
    // of what the disk holds now below those whose rows may not show it, and the refusals that
    // reading leads to.
    struct Checked {
        std::vector<ActionTarget> kept;
        // The items of `kept` read before asking (their index), and whether each is a folder now.
        std::vector<std::pair<size_t, bool>> unseen;
    };
    static Checked checkTargets(std::vector<ActionTarget> items, Change change, std::vector<Failure>& refused,
                                DiskTotals* disk);
    static std::vector<DiskSurvey> surveyUnseen(const Checked& checked, const std::atomic<bool>& cancelled);
    static std::vector<ActionTarget> applySurveys(Checked checked, const std::vector<DiskSurvey>& surveys,
                                                  std::vector<Failure>& refused, DiskTotals& disk);
    // The failures of moving to the Trash, split by whether erasing the item could work instead:
    // only those are offered Delete Immediately, the others are told.
    struct EraseOffer {
        std::vector<Failure> told;
        std::vector<Failure> offered;
        void add(Failure failure);
    };
    // What the checks of Delete Immediately and Move to Trash found, handed from the thread pool to
    // the question; `locations` is each item's trash (Move to Trash only).
    struct ErasePlan {
        std::vector<ActionTarget> items;
        std::vector<TrashLocation> locations;
        std::vector<Failure> refused;
        DiskTotals disk;
        std::vector<FileNode*> goneBeforeAsking;
        EraseOffer withoutTrash;
    };
    // Held from an erasing action's first check to its last report (see ActionPrompter).
    using ErasingClaim = std::shared_ptr<void>;
    static ErasePlan checkErase(const std::vector<FileNode*>& nodes, Change change, const TrashEnvironment* trash,
                                const std::atomic<bool>& stop);
    void askToErase(const ErasePlan& plan, const HeldTrees& held, const ErasingClaim& claim);
    void askToTrash(const ErasePlan& plan, const HeldTrees& held, const ErasingClaim& claim);
    // One failure's reason, or a line "name": reason for each of several (the first few named).
    static QString reasonsText(const std::vector<Failure>& failures);
    void tellFailures(Change change, const std::vector<Failure>& failures);
    void offerImmediateDelete(const EraseOffer& offer, const DiskTotals& disk, const HeldTrees& held,
                              const ErasingClaim& claim);
    void moveItemsToTrash(ErasePlan plan, HeldTrees held, ErasingClaim claim);
    void removeImmediately(std::vector<ActionTarget> items, HeldTrees held, ErasingClaim claim);
    // What a deletion did, handed from the thread pool to the GUI thread with the trees it names
    // nodes of: a scan that replaced them meanwhile cannot free those nodes before the report.
    // `untouched` and `offer` are Move to Trash's: what it left where it was, and what failed at
    // the trash.
    struct Removal {
        std::vector<FileNode*> gone;
        std::vector<Failure> failures;
        EraseOffer offer;
        bool cancelled = false;
        HeldTrees held;
    };
    void report(const std::vector<FileNode*>& removed);
    void runInBackground(Change change, std::vector<ActionTarget> items,
                         std::function<MadeItem(const ActionTarget&, const std::atomic<bool>&)> work);

    // Background work under way: its busy indication, its panel (for work that shows one) and the
    // flag that stops it, set by the panel's Cancel or when the controller goes.
    struct Job {
        std::shared_ptr<void> busy;
        std::shared_ptr<void> panel;
        std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
        ErasingClaim claim;
    };
    // An empty `panelText` shows no panel.
    uint64_t startJob(const QString& panelText, ErasingClaim claim = {});
    // Ends the job; what it returns is the erasing claim the job held, for the questions that
    // follow to pass on or let go.
    ErasingClaim endJob(uint64_t id);

    DesktopServices& desktop_;
    ActionPrompter& prompter_;
    TrashEnvironment trashEnvironment_;
    std::vector<std::string> previewPaths_;
    std::map<uint64_t, Job> jobs_;
    uint64_t lastJob_ = 0;
    // Set when the controller goes: nobody is left to show what the work would report.
    std::shared_ptr<std::atomic<bool>> ownerGone_ = std::make_shared<std::atomic<bool>>(false);
    CopyWatch copyWatch_;
    std::function<void(const std::string& path)> eraseWatch_;
    // Receives what the background work reports, on the GUI thread; gone with the controller.
    std::unique_ptr<QObject> context_;
};

// "%d" filled with a count (the look-up happens before).
QString fillCount(const QString& format, long long count);

}  // namespace zelvane
