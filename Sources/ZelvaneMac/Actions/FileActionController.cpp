#include "ZelvaneMac/Actions/FileActionController.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLocale>
#include <QMimeData>
#include <QObject>
#include <QEventLoop>

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_set>

#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

namespace {

constexpr int kFirstCountThatAsks = 6;
// An alert names this many items with their reasons, and counts the rest.
constexpr size_t kNamedFailures = 8;

QList<QUrl> urlsOf(const std::vector<ActionTarget>& items) {
    QList<QUrl> urls;
    for (const auto& t : items) urls << fileUrlFromPathBytes(t.path);
    return urls;
}

QString errorText(int err) {
    if (err == kSourceChangedError) return localized("It changed while it was being copied, so the unfinished copy was removed.");
    return QString::fromLocal8Bit(std::strerror(err));
}

QString withoutFullPathReason() {
    return localized("The imported file gives only a relative path for it, so where it is on disk is unknown.");
}

// Path bytes below an item as a message shows them.
QString shownPath(const std::string& bytes) { return withVisibleControlCharacters(QString::fromStdString(bytes)); }

QString sizeText(int64_t bytes) {
    return QString::fromStdString(humanBytes(bytes, ByteUnitBase::decimal, ByteSizeDisplayMode::dynamic, 1));
}

QString mountPointReason() {
    return localized("Another file system is mounted at this folder, and the window shows it empty. Unmount it first.");
}

QString mountBelowReason(const std::string& relativePath) {
    return fillPlaceholders(localized("Another file system is mounted inside it, at \"%@\", and the window shows that "
                                      "folder empty. Unmount it first."),
                            {shownPath(relativePath)});
}

QString madeItemReason(const MadeItem& made, const std::string& itemName) {
    if (made.failedPath.empty() || made.failedPath == itemName) return errorText(made.error);
    return fillPlaceholders(localized("\"%@\": %@"), {shownPath(made.failedPath), errorText(made.error)});
}

// Whether erasing the item could work where moving it to the trash did not: its folder must let
// the user remove entries, and nothing may lock the item in place.
bool deletionCouldSucceed(const std::string& path) {
    ItemInFolder item;
    ItemFacts facts;
    ItemFacts folder;
    if (openItemFolder(path, item) != 0 || readItemFacts(item.folder.get(), item.name, facts) != 0 ||
        readItemFacts(item.folder.get(), "", folder) != 0)
        return false;
    if (::faccessat(item.folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
    if (facts.immutable || facts.appendOnly || folder.immutable || folder.appendOnly) return false;
    const uid_t me = ::geteuid();
    if ((folder.mode & S_ISVTX) && me != 0 && facts.uid != me && folder.uid != me) return false;
    return true;
}

// What the window shows of the target's contents: a scanned folder shows its own file system, any
// other row only what lies on the file system of the folder around it.
ShownFileSystem shownFileSystem(const ActionTarget& t) {
    return t.node && t.node->isRoot() ? ShownFileSystem::item : ShownFileSystem::containingFolder;
}

// The items below `folder` that are no longer on disk (the topmost of each gone branch); given up
// when `stop` is set. Reads the tree only through what background work may read.
void nodesGoneBelow(FileNode* folder, std::vector<FileNode*>& gone, const std::atomic<bool>& stop) {
    std::vector<FileNode*> stack{folder};
    while (!stack.empty() && !stop.load(std::memory_order_relaxed)) {
        FileNode* current = stack.back();
        stack.pop_back();
        for (FileNode* child : current->children()) {
            if (child->isSyntheticGroup() || child->isDeleted()) continue;
            ItemFacts facts;
            const int err = readItemFacts(child->pathBytes(), facts);
            if (err == ENOENT) gone.push_back(child);
            else if (err == 0 && child->isDir()) stack.push_back(child);
        }
    }
}

}  // namespace

QString FileActionController::DiskTotals::textFor(const std::vector<ActionTarget>& targets) const {
    bool any = false;
    Counts sum;
    for (const ActionTarget& t : targets) {
        auto found = surveyed.find(t.node);
        if (found == surveyed.end()) continue;
        any = true;
        sum.items += found->second.items;
        sum.bytes += found->second.bytes;
    }
    if (!any) return {};
    if (sum.items == 1) return fillFormat(localized("On disk now: 1 item, %@"), {sizeText(sum.bytes)});
    return fillFormat(localized("On disk now: %@ items, %@"), {QLocale().toString(qlonglong(sum.items)), sizeText(sum.bytes)});
}

QString fillCount(const QString& format, long long count) { return fillFormat(format, {int64_t(count)}); }

const std::vector<TagColor>& tagColors() {
    static const std::vector<TagColor> colors = [] {
        struct Entry { const char* name; QRgb rgb; };
        static constexpr Entry entries[] = {
            {textKey("Red"), qRgb(0xe0, 0x1b, 0x24)},    {textKey("Orange"), qRgb(0xff, 0x78, 0x00)},
            {textKey("Yellow"), qRgb(0xf6, 0xd3, 0x2d)}, {textKey("Green"), qRgb(0x33, 0xd1, 0x7a)},
            {textKey("Blue"), qRgb(0x35, 0x84, 0xe4)},   {textKey("Purple"), qRgb(0x91, 0x41, 0xac)},
            {textKey("Gray"), qRgb(0x9a, 0x99, 0x96)},
        };
        std::vector<TagColor> out;
        for (const auto& e : entries) out.push_back({e.name, localized(e.name), QColor(e.rgb)});
        return out;
    }();
    return colors;
}

FileActionController::FileActionController(DesktopServices& desktop, ActionPrompter& prompter)
    : desktop_(desktop), prompter_(prompter), trashEnvironment_(TrashEnvironment::current()),
      context_(std::make_unique<QObject>()) {}

FileActionController::~FileActionController() {
    ownerGone_->store(true);
    for (auto& [id, job] : jobs_) job.cancelled->store(true);
}

std::vector<ActionTarget> FileActionController::targets(std::vector<Failure>& refused, bool dropNestedItems) const {
    std::vector<FileNode*> nodes = targetNodesProvider();
    std::vector<ActionTarget> withoutFullPath;
    std::vector<ActionTarget> items = resolveActionTargets(nodes, dropNestedItems, &withoutFullPath);
    for (ActionTarget& t : withoutFullPath) refused.push_back({std::move(t), withoutFullPathReason()});
    return items;
}

std::vector<ActionTarget> FileActionController::reachableTargets(Change change) {
    std::vector<Failure> refused;
    std::vector<ActionTarget> items = targets(refused);
    tellFailures(change, refused);
    return items;
}

FileActionMenuState FileActionController::menuState() const {
    size_t n = countActionTargets(targetNodesProvider());
    FileActionMenuState state;
    state.enabled = n >= 1;
    state.moveToTrashTitle = n < 2 ? localized("Move to Trash") : fillCount(localized("Move %d Items to Trash"), (long long)n);
    return state;
}

bool FileActionController::confirmOpeningManyWindows(int count, const QString& windowKind) {
    if (count < kFirstCountThatAsks) return true;
    AlertRequest alert;
    alert.message = fillFormat(localized("You are about to open %d %@ - are you sure?"), {int64_t(count), windowKind});
    alert.buttons = {localized("Open"), localized("Cancel")};
    return prompter_.ask(alert);
}

void FileActionController::open() {
    for (const auto& t : reachableTargets(Change::reach)) desktop_.openUrl(fileUrlFromPathBytes(t.path));
}

void FileActionController::showInFileManager() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("File Manager windows"))) return;
    if (desktop_.showItems(urlsOf(items))) return;
    // Without a file manager on the bus, each containing folder is opened once.
    std::set<std::string> opened;
    for (const auto& t : items) {
        std::string folder = parentPath(t.path);
        if (opened.insert(folder).second) desktop_.openUrl(fileUrlFromPathBytes(folder));
    }
}

void FileActionController::getInfo() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Get Info windows"))) return;
    for (const auto& t : items) {
        QUrl url = fileUrlFromPathBytes(t.path);
        if (!desktop_.showItemProperties({url})) desktop_.openUrl(fileUrlFromPathBytes(parentPath(t.path)));
    }
}

void FileActionController::newTerminal() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    std::string terminal = desktop_.terminalProgram();
    if (terminal.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Terminal windows"))) return;
    for (const auto& t : items) desktop_.startDetached(terminal, {}, t.isDir ? t.path : parentPath(t.path));
}

void FileActionController::copy() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    auto* data = new QMimeData;
    QList<QUrl> urls = urlsOf(items);
    data->setUrls(urls);
    // File managers of the desktop take copied files from this type; "copy" (not "cut") keeps the
    // originals where they are.
    QByteArray gnome = "copy";
    for (const QUrl& u : urls) gnome += "\n" + u.toEncoded();
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    desktop_.setClipboard(data);
}

void FileActionController::copyPath() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    QStringList paths;
    for (const auto& t : items) paths << t.displayPath;
    auto* data = new QMimeData;
    data->setText(paths.join(QLatin1Char('\n')));
    desktop_.setClipboard(data);
}

FileActionController::Checked FileActionController::checkTargets(std::vector<ActionTarget> items, Change change,
                                                                 std::vector<Failure>& refused, DiskTotals* disk) {
    const bool erases = change == Change::trash || change == Change::erase;
    Checked checked;
    std::vector<ActionTarget>& kept = checked.kept;
    kept.reserve(items.size());
    std::vector<std::pair<size_t, bool>>& unseen = checked.unseen;
    // The folders of the targets found to be real folders (no link on the way from the root).
    std::unordered_set<const FileNode*> realFolders;
    for (auto& t : items) {
        if (t.path == "/") {
            refused.push_back({std::move(t), localized("\"/\" is the top folder of the system: no file action changes or copies it.")});
            continue;
        }
        if (t.node && t.node->parent() && !t.fromImport && !realFolders.count(t.node->parent())) {
            const FileNode* root = t.node;
            while (root->parent()) root = root->parent();
            std::string linkAt;
            const int err = checkNoLinkOnTheWay(root->pathBytes(), t.path, linkAt);
            if (err == ELOOP) {
                refused.push_back({std::move(t), fillPlaceholders(localized("The folder \"%@\" above it has been replaced by a "
                                                                            "link since the scan; the window never showed where it leads."),
                                                                  {shownPath(linkAt)})});
                continue;
            }
            // Other failures are the action's own to meet and report.
            if (err == 0) realFolders.insert(t.node->parent());
        }
        if (t.isImpliedFolder) {
            refused.push_back({std::move(t), localized("The imported file has no row of its own for this folder, so "
                                                       "what it holds on disk was never shown.")});
            continue;
        }
        if (erases) {
            ItemInFolder item;
            MountCheck mounts;
            if (int err = openItemFolder(t.path, item)) mounts.error = err;
            else mounts = checkMounts(item, t.path);
            if (mounts.error == ENOENT) {
                // Already gone: nothing is left to erase, and nothing failed.
                if (disk) disk->vanished.push_back(t.node);
                continue;
            }
            if (mounts.error) {
                refused.push_back({std::move(t), errorText(mounts.error)});
                continue;
            }
            if (mounts.isMountPoint) {
                refused.push_back({std::move(t), mountPointReason()});
                continue;
            }
            if (!mounts.mountBelow.empty()) {
                refused.push_back({std::move(t), mountBelowReason(joinPath(item.name, mounts.mountBelow))});
                continue;
            }
            ItemFacts onDisk;
            const bool isFolderNow = readItemFacts(item.folder.get(), item.name, onDisk) == 0 && onDisk.isDir();
            // What the window shows of this item may not be what the disk holds: the rows of an
            // import may be old, a filter hides some of a folder's items, and a row may name a
            // folder where a file is now or the other way round. The question says what the disk
            // holds now.
            const bool showsAll = !t.fromImport && !t.fromFilteredTree;
            if (disk && (isFolderNow != t.isDir || (isFolderNow && !showsAll))) unseen.emplace_back(kept.size(), isFolderNow);
        }
        kept.push_back(std::move(t));
    }
    return checked;
}

std::vector<DiskSurvey> FileActionController::surveyUnseen(const Checked& checked, const std::atomic<bool>& cancelled) {
    std::vector<DiskSurvey> surveys(checked.unseen.size());
    for (size_t i = 0; i < checked.unseen.size() && !cancelled.load(); ++i)
        surveys[i] = surveyItem(checked.kept[checked.unseen[i].first].path, &cancelled);
    return surveys;
}

std::vector<ActionTarget> FileActionController::applySurveys(Checked checked, const std::vector<DiskSurvey>& surveys,
                                                             std::vector<Failure>& refused, DiskTotals& disk) {
    std::vector<ActionTarget>& kept = checked.kept;
    const std::vector<std::pair<size_t, bool>>& unseen = checked.unseen;
    std::vector<bool> drop(kept.size(), false);
    for (size_t i = 0; i < unseen.size(); ++i) {
        const DiskSurvey& survey = surveys[i];
        const auto [index, isFolder] = unseen[i];
        ActionTarget& t = kept[index];
        if (survey.error) {
            refused.push_back({t, fillPlaceholders(localized("What it holds on disk now can't be read: \"%@\": %@."),
                                                   {shownPath(survey.failedPath), errorText(survey.error)})});
            drop[index] = true;
        } else if (!survey.mountBelow.empty()) {
            refused.push_back({t, mountBelowReason(survey.mountBelow)});
            drop[index] = true;
        } else {
            // A folder counts what it holds; what is no folder is one item itself.
            disk.surveyed[t.node] = {isFolder ? survey.items : 1, survey.bytes};
        }
    }
    std::vector<ActionTarget> surveyed;
    for (size_t i = 0; i < kept.size(); ++i)
        if (!drop[i]) surveyed.push_back(std::move(kept[i]));
    return surveyed;
}

std::vector<ActionTarget> FileActionController::refuseUntouchable(std::vector<ActionTarget> items, Change change,
                                                                  std::vector<Failure>& refused) {
    return checkTargets(std::move(items), change, refused, nullptr).kept;
}

FileActionController::HeldTrees FileActionController::holdTrees(const std::vector<FileNode*>& nodes) {
    HeldTrees held;
    // Items of one folder come together in a selection: their tree is looked up once.
    const FileNode* lastParent = nullptr;
    NodeStore* lastStore = nullptr;
    for (FileNode* node : nodes) {
        if (!node) continue;
        NodeStore* store = node->parent() && node->parent() == lastParent ? lastStore : node->store();
        lastParent = node->parent();
        lastStore = store;
        if (!store || std::any_of(held.begin(), held.end(), [store](const auto& h) { return h.get() == store; })) continue;
        std::shared_ptr<NodeStore> shared = store->weak_from_this().lock();
        if (shared) held.push_back(std::move(shared));
    }
    return held;
}

QString FileActionController::reasonsText(const std::vector<Failure>& failures) {
    if (failures.size() == 1) return failures.front().reason;
    QStringList lines;
    for (size_t i = 0; i < failures.size() && i < kNamedFailures; ++i)
        lines << fillPlaceholders(localized("\"%@\": %@"), {failures[i].target.displayName, failures[i].reason});
    if (failures.size() > kNamedFailures)
        lines << fillCount(localized("and %d more."), (long long)(failures.size() - kNamedFailures));
    return lines.join(QLatin1Char('\n'));
}

void FileActionController::tellFailures(Change change, const std::vector<Failure>& failures) {
    if (failures.empty()) return;
    const bool one = failures.size() == 1;
    const QString name = failures.front().target.displayName;
    const auto n = (long long)failures.size();
    AlertRequest alert;
    switch (change) {
    case Change::trash:
        alert.message = one ? fillPlaceholders(localized("\"%@\" can't be moved to the Trash."), {name})
                            : fillCount(localized("%d items can't be moved to the Trash."), n);
        break;
    case Change::erase:
        alert.message = one ? fillPlaceholders(localized("\"%@\" can't be deleted."), {name})
                            : fillCount(localized("%d items can't be deleted."), n);
        break;
    case Change::rename:
        alert.message = fillPlaceholders(localized("Couldn't rename \"%@\""), {name});
        break;
    case Change::duplicate:
        alert.message = one ? fillPlaceholders(localized("Couldn't duplicate \"%@\""), {name})
                            : fillCount(localized("%d items couldn't be duplicated."), n);
        break;
    case Change::compress:
        alert.message = one ? fillPlaceholders(localized("Couldn't compress \"%@\""), {name})
                            : fillCount(localized("%d items couldn't be compressed."), n);
        break;
    case Change::link:
        alert.message = one ? fillPlaceholders(localized("Couldn't make a link to \"%@\""), {name})
                            : fillCount(localized("Links to %d items couldn't be made."), n);
        break;
    case Change::tags:
        alert.message = one ? fillPlaceholders(localized("Couldn't change the tags of \"%@\""), {name})
                            : fillCount(localized("The tags of %d items couldn't be changed."), n);
        break;
    case Change::reach:
        alert.message = one ? fillPlaceholders(localized("\"%@\" can't be found on disk."), {name})
                            : fillCount(localized("%d items can't be found on disk."), n);
        break;
    }
    alert.informativeText = reasonsText(failures);
    alert.buttons = {localized("OK")};
    prompter_.ask(alert);
}

void FileActionController::EraseOffer::add(Failure failure) {
    // Erasing is offered only where it could work: where the item itself refuses to move, it
    // would refuse to go as well, and the offer would only hide the real cause.
    (deletionCouldSucceed(failure.target.path) ? offered : told).push_back(std::move(failure));
}

FileActionController::ErasePlan FileActionController::checkErase(const std::vector<FileNode*>& nodes, Change change,
                                                                 const TrashEnvironment* trash, const std::atomic<bool>& stop) {
    ErasePlan plan;
    std::vector<ActionTarget> withoutFullPath;
    std::vector<ActionTarget> items = resolveActionTargets(nodes, true, &withoutFullPath);
    for (ActionTarget& t : withoutFullPath) plan.refused.push_back({std::move(t), withoutFullPathReason()});
    Checked checked = checkTargets(std::move(items), change, plan.refused, &plan.disk);
    const std::vector<DiskSurvey> surveys = surveyUnseen(checked, stop);
    if (stop.load()) {
        plan.disk.cancelled = true;
        return plan;
    }
    items = applySurveys(std::move(checked), surveys, plan.refused, plan.disk);
    if (!trash) {
        plan.items = std::move(items);
        return plan;
    }
    // One look-up per file system and action: whether it has a usable trash, and where.
    std::map<std::string, TrashLookup> cache;
    for (auto& t : items) {
        if (stop.load()) {
            plan.disk.cancelled = true;
            return plan;
        }
        ItemFacts facts;
        if (int err = readItemFacts(t.path, facts)) {
            if (err != ENOENT) plan.withoutTrash.add({std::move(t), errorText(err)});
            else plan.goneBeforeAsking.push_back(t.node);
            continue;
        }
        const std::string key = trashKey(facts);
        auto found = cache.find(key);
        if (found == cache.end()) found = cache.emplace(key, locateTrash(t.path, facts, *trash)).first;
        const TrashLookup& lookup = found->second;
        if (!lookup.error) {
            plan.items.push_back(std::move(t));
            plan.locations.push_back(lookup.location);
            continue;
        }
        QString reason = lookup.failedPath.empty()
            ? errorText(lookup.error)
            : fillPlaceholders(localized("Its volume has no Trash, and none can be made at \"%@\": %@."),
                               {shownPath(lookup.failedPath), errorText(lookup.error)});
        plan.withoutTrash.add({std::move(t), std::move(reason)});
    }
    return plan;
}

void FileActionController::moveToTrash() {
    std::vector<FileNode*> nodes = targetNodesProvider();
    if (nodes.empty()) return;
    ErasingClaim claim = prompter_.claimErasing();
    if (!claim) return;
    // The checks read the disk for every item: on the thread pool, with the trees held, so that a
    // scan that ends meanwhile cannot free the nodes they read.
    HeldTrees held = holdTrees(nodes);
    const uint64_t job = startJob(localized("Reading what is on disk now\u2026"), std::move(claim));
    zelvane::runInBackground(
        context_.get(),
        [nodes = std::move(nodes), held, stop = jobs_[job].cancelled, trash = trashEnvironment_] {
            return checkErase(nodes, Change::trash, &trash, *stop);
        },
        [this, job, held](const ErasePlan& plan) { askToTrash(plan, held, endJob(job)); });
}

void FileActionController::askToTrash(const ErasePlan& plan, const HeldTrees& held, const ErasingClaim& claim) {
    report(plan.disk.vanished);
    if (plan.disk.cancelled) return;
    tellFailures(Change::trash, plan.refused);
    report(plan.goneBeforeAsking);
    if (!plan.items.empty()) {
        AlertRequest alert;
        alert.message = plan.items.size() == 1
            ? fillPlaceholders(localized("Move \"%@\" to the Trash?"), {plan.items.front().displayName})
            : fillCount(localized("Move %d items to the Trash?"), (long long)plan.items.size());
        alert.informativeText = localized("You can recover this from the Trash until it's emptied.");
        if (const QString onDisk = plan.disk.textFor(plan.items); !onDisk.isEmpty())
            alert.informativeText += QStringLiteral("\n\n") + onDisk;
        alert.buttons = {localized("Move to Trash"), localized("Cancel")};
        // What cannot go to the Trash is offered once the rest has gone.
        if (prompter_.ask(alert)) return moveItemsToTrash(plan, held, claim);
    }
    offerImmediateDelete(plan.withoutTrash, plan.disk, held, claim);
}

void FileActionController::moveItemsToTrash(ErasePlan plan, HeldTrees held, ErasingClaim claim) {
    const uint64_t job = startJob(localized("Deleting\u2026"), std::move(claim));
    EraseOffer withoutTrash = std::move(plan.withoutTrash);
    DiskTotals disk = std::move(plan.disk);
    zelvane::runInBackground(
        context_.get(),
        [items = std::move(plan.items), locations = std::move(plan.locations), held = std::move(held),
         stop = jobs_[job].cancelled, watch = eraseWatch_]() mutable {
            Removal out;
            const std::time_t now = std::time(nullptr);
            for (size_t i = 0; i < items.size(); ++i) {
                const ActionTarget& t = items[i];
                if (watch) watch(t.path);
                if (stop->load()) {
                    out.cancelled = true;
                    break;
                }
                ItemInFolder item;
                TrashMoveResult moved;
                if (int err = openItemFolder(t.path, item)) moved.error = err;
                else moved = zelvane::moveToTrash(item, t.path, locations[i], now);
                // Gone meanwhile is gone all the same.
                if (moved.error == 0 || (moved.error == ENOENT && !moved.atTrash)) out.gone.push_back(t.node);
                else if (moved.error == EINVAL && !moved.atTrash)
                    out.failures.push_back({t, localized("The Trash is inside it, and a folder can't be moved into itself.")});
                else if (moved.atTrash) out.offer.add({t, errorText(moved.error)});
                else out.failures.push_back({t, errorText(moved.error)});
            }
            out.held = std::move(held);
            return out;
        },
        [this, job, withoutTrash = std::move(withoutTrash), disk = std::move(disk)](const Removal& out) {
            const ErasingClaim stillClaimed = endJob(job);
            report(out.gone);
            tellFailures(Change::trash, out.failures);
            if (out.cancelled) {
                // The user said stop: what failed is told, nothing more is asked.
                tellFailures(Change::trash, out.offer.told);
                tellFailures(Change::trash, out.offer.offered);
                tellFailures(Change::trash, withoutTrash.told);
                tellFailures(Change::trash, withoutTrash.offered);
                return;
            }
            offerImmediateDelete(out.offer, disk, out.held, stillClaimed);
            offerImmediateDelete(withoutTrash, disk, out.held, stillClaimed);
        });
}

void FileActionController::offerImmediateDelete(const EraseOffer& offer, const DiskTotals& disk, const HeldTrees& held,
                                                const ErasingClaim& claim) {
    tellFailures(Change::trash, offer.told);
    const std::vector<Failure>& offered = offer.offered;
    if (offered.empty()) return;
    AlertRequest alert;
    alert.message = offered.size() == 1
        ? fillPlaceholders(localized("\"%@\" can't be moved to the Trash."), {offered.front().target.displayName})
        : fillCount(localized("%d items can't be moved to the Trash."), (long long)offered.size());
    std::vector<ActionTarget> items;
    for (const Failure& f : offered) items.push_back(f.target);
    alert.informativeText = reasonsText(offered) + QStringLiteral("\n\n") +
                            localized("Do you want to delete the item immediately instead? You can't undo this action.");
    if (const QString onDisk = disk.textFor(items); !onDisk.isEmpty()) alert.informativeText += QStringLiteral("\n\n") + onDisk;
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    alert.defaultButton = 1;
    if (!prompter_.ask(alert)) return;
    removeImmediately(std::move(items), held, claim);
}

void FileActionController::deleteImmediately() {
    std::vector<FileNode*> nodes = targetNodesProvider();
    if (nodes.empty()) return;
    ErasingClaim claim = prompter_.claimErasing();
    if (!claim) return;
    // The checks read the disk for every item: on the thread pool, with the trees held, so that a
    // scan that ends meanwhile cannot free the nodes they read.
    HeldTrees held = holdTrees(nodes);
    const uint64_t job = startJob(localized("Reading what is on disk now\u2026"), std::move(claim));
    zelvane::runInBackground(
        context_.get(),
        [nodes = std::move(nodes), held, stop = jobs_[job].cancelled] {
            return checkErase(nodes, Change::erase, nullptr, *stop);
        },
        [this, job, held](const ErasePlan& plan) { askToErase(plan, held, endJob(job)); });
}

void FileActionController::askToErase(const ErasePlan& plan, const HeldTrees& held, const ErasingClaim& claim) {
    report(plan.disk.vanished);
    if (plan.disk.cancelled) return;
    tellFailures(Change::erase, plan.refused);
    const std::vector<ActionTarget>& items = plan.items;
    if (items.empty()) return;
    AlertRequest alert;
    alert.message = items.size() == 1
        ? fillPlaceholders(localized("Permanently erase \"%@\"?"), {items.front().displayName})
        : fillCount(localized("Permanently erase %d items?"), (long long)items.size());
    alert.informativeText = localized("You can't undo this action.");
    if (const QString onDisk = plan.disk.textFor(items); !onDisk.isEmpty()) alert.informativeText += QStringLiteral("\n\n") + onDisk;
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    alert.defaultButton = 1;  // what cannot be undone is never one key press away
    if (prompter_.ask(alert)) removeImmediately(items, held, claim);
}

void FileActionController::removeImmediately(std::vector<ActionTarget> items, HeldTrees held, ErasingClaim claim) {
    if (items.empty()) return;
    const uint64_t job = startJob(localized("Deleting\u2026"), std::move(claim));
    zelvane::runInBackground(
        context_.get(),
        [items = std::move(items), held = std::move(held), stop = jobs_[job].cancelled, ownerGone = ownerGone_,
         watch = eraseWatch_]() mutable {
            Removal out;
            for (const auto& t : items) {
                if (watch) watch(t.path);
                if (stop->load()) break;
                const RemovalResult removal = removeItem(t.path, stop.get());
                // Gone meanwhile is gone all the same: nothing failed.
                if (removal.error == 0 || (removal.error == ENOENT && removal.remaining == 0)) {
                    out.gone.push_back(t.node);
                    continue;
                }
                // What went of a folder that stayed is shown gone, unless nobody is left to show it.
                if (removal.removedSome) nodesGoneBelow(t.node, out.gone, *ownerGone);
                // Stopped on purpose: what is left was not tried.
                if (removal.error == ECANCELED) continue;
                QString reason;
                if (removal.error == EBUSY && removal.remaining == 0)
                    reason = mountPointReason();
                else if (removal.remaining <= 1 || removal.firstRemaining.empty())
                    reason = errorText(removal.firstError ? removal.firstError : removal.error);
                else
                    reason = fillFormat(localized("%d items remain, among them \"%@\": %@."),
                                        {int64_t(removal.remaining), shownPath(removal.firstRemaining), errorText(removal.firstError)});
                out.failures.push_back({t, reason});
            }
            out.held = std::move(held);
            return out;
        },
        [this, job](const Removal& out) {
            endJob(job);
            report(out.gone);
            tellFailures(Change::erase, out.failures);
        });
}

void FileActionController::report(const std::vector<FileNode*>& removed) {
    if (!removed.empty()) onNodesDeleted(removed);
}

uint64_t FileActionController::startJob(const QString& panelText, ErasingClaim claim) {
    const uint64_t id = ++lastJob_;
    Job& job = jobs_[id];
    job.claim = std::move(claim);
    job.busy = busyIndicator();
    if (!panelText.isEmpty()) job.panel = prompter_.showProgress(panelText, [stop = job.cancelled] { stop->store(true); });
    return id;
}

FileActionController::ErasingClaim FileActionController::endJob(uint64_t id) {
    auto found = jobs_.find(id);
    if (found == jobs_.end()) return {};
    ErasingClaim claim = std::move(found->second.claim);
    jobs_.erase(found);
    return claim;
}

void FileActionController::runInBackground(Change change, std::vector<ActionTarget> items,
                                           std::function<MadeItem(const ActionTarget&, const std::atomic<bool>&)> work) {
    if (items.empty()) return;
    const uint64_t job = startJob({});
    // What the job reports is delivered on the GUI thread, or dropped with the controller, which
    // also stops the job at its next item.
    zelvane::runInBackground(
        context_.get(),
        [cancelled = jobs_[job].cancelled, items = std::move(items), work = std::move(work)] {
            std::vector<Failure> failures;
            for (const ActionTarget& t : items) {
                if (cancelled->load()) break;
                const MadeItem made = work(t, *cancelled);
                if (made.error && made.error != ECANCELED) failures.push_back({t, madeItemReason(made, lastComponent(t.path))});
            }
            return failures;
        },
        [this, job, change](const std::vector<Failure>& failures) {
            endJob(job);
            tellFailures(change, failures);
        });
}

void FileActionController::waitForBackgroundWork() {
    // Each job ends when its report is delivered.
    while (!jobs_.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void FileActionController::compress() {
    std::vector<Failure> refused;
    auto items = refuseUntouchable(targets(refused), Change::compress, refused);
    tellFailures(Change::compress, refused);
    // Names handed out in this action, per folder: two items with one stem get two archives.
    std::map<std::string, std::set<std::string>> reserved;
    auto archives = std::make_shared<std::map<std::string, std::string>>();
    for (const auto& t : items) {
        std::string folderPath = parentPath(t.path);
        std::string stem = splitExtension(lastComponent(t.path)).stem;
        FileDescriptor folder;
        if (openFolderAt(AT_FDCWD, folderPath, folder) != 0) continue;
        std::string archive = firstFreeName(folder.get(), [&](int n) { return archiveName(stem, n); }, reserved[folderPath]);
        if (archive.empty()) continue;
        reserved[folderPath].insert(archive);
        (*archives)[t.path] = archive;
    }
    runInBackground(Change::compress, std::move(items), [archives](const ActionTarget& t, const std::atomic<bool>& cancelled) {
        const std::string stem = splitExtension(lastComponent(t.path)).stem;
        auto chosen = archives->find(t.path);
        return compressToZip(t.path, stem, chosen != archives->end() ? chosen->second : archiveName(stem, 1), &cancelled,
                             shownFileSystem(t));
    });
}

void FileActionController::duplicate() {
    std::vector<Failure> refused;
    auto items = refuseUntouchable(targets(refused), Change::duplicate, refused);
    tellFailures(Change::duplicate, refused);
    runInBackground(Change::duplicate, std::move(items), [watch = copyWatch_](const ActionTarget& t, const std::atomic<bool>& cancelled) {
        const NameParts parts = splitExtension(lastComponent(t.path));
        return duplicateItem(t.path, [&](int n) { return siblingName(parts, " copy", n); }, &cancelled, shownFileSystem(t),
                             &watch);
    });
}

void FileActionController::makeLink() {
    std::vector<Failure> failures;
    auto items = refuseUntouchable(targets(failures), Change::link, failures);
    for (const auto& t : items) {
        const NameParts parts = splitExtension(lastComponent(t.path));
        if (int err = makeLinkBeside(t.path, [&](int n) { return siblingName(parts, " alias", n); }))
            failures.push_back({t, errorText(err)});
    }
    tellFailures(Change::link, failures);
}

void FileActionController::quickLook() {
    previewPaths_.clear();
    for (const auto& t : reachableTargets(Change::reach)) previewPaths_.push_back(t.path);
    if (previewPaths_.empty()) return;
    onShowPreview();
}

void FileActionController::setTag(const QString& tagName) {
    std::vector<Failure> failures;
    auto items = refuseUntouchable(targets(failures), Change::tags, failures);
    std::vector<std::string> tags;
    if (!tagName.isEmpty()) tags.push_back(tagName.toStdString());
    for (const auto& t : items)
        if (int err = setTags(t.path, tags)) failures.push_back({t, errorText(err)});
    tellFailures(Change::tags, failures);
}

void FileActionController::launchNewInstance() {
    auto items = reachableTargets(Change::reach);
    if (items.empty()) return;
    std::string program = desktop_.ownProgram();
    if (program.empty()) return;
    for (const auto& t : items) desktop_.startDetached(program, {t.path}, {});
}

bool FileActionController::performRename(FileNode* node, const QString& newName) {
    if (!node) return false;
    const std::u16string units = node->name16();
    const std::u16string edited = editedName(units, newName);
    const QString trimmed = trimmedNewName(QString(reinterpret_cast<const QChar*>(edited.data()), qsizetype(edited.size())));
    const QString currentUnits(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
    if (trimmed.normalized(QString::NormalizationForm_D) == currentUnits.normalized(QString::NormalizationForm_D))
        return false;

    const QString current = withVisibleControlCharacters(QString::fromStdString(node->name()));
    auto fail = [&](const QString& reason) {
        ActionTarget shown;
        shown.displayName = current;
        tellFailures(Change::rename, {{shown, reason}});
        return false;
    };
    // A root's name is its whole path: renaming it would turn every path below it relative.
    if (node->isRoot()) return fail(localized("A scanned folder itself can't be renamed here."));
    if (node->isSyntheticGroup() || node->isDeleted())
        return fail(localized("The item is no longer there."));
    if (const char* reason = invalidNameReason(trimmed)) return fail(localized(reason));

    std::vector<FileNode*> one{node};
    std::vector<ActionTarget> withoutFullPath;
    auto resolved = resolveActionTargets(one, false, &withoutFullPath);
    if (!withoutFullPath.empty()) return fail(withoutFullPathReason());
    if (resolved.empty()) return fail(localized("The item is no longer there."));
    std::vector<Failure> refused;
    refuseUntouchable(resolved, Change::rename, refused);
    if (!refused.empty()) return fail(refused.front().reason);
    const std::string newBytes = pathBytesFromQString(trimmed);
    const int err = renameItem(resolved.front().path, newBytes);
    if (err == EEXIST || err == ENOTEMPTY)
        return fail(fillPlaceholders(localized("An item named \"%@\" already exists in this location."), {withVisibleControlCharacters(trimmed)}));
    if (err == EBUSY) {
        ItemInFolder item;
        if (openItemFolder(resolved.front().path, item) == 0 && checkMounts(item, resolved.front().path).isMountPoint)
            return fail(mountPointReason());
    }
    if (err) return fail(errorText(err));
    node->rename(std::u16string_view(reinterpret_cast<const char16_t*>(trimmed.utf16()), size_t(trimmed.size())));
    onNodesRenamed({node});
    return true;
}

}  // namespace zelvane
