#include "ZelvaneMac/Actions/FileActionController.hpp"

#include <fcntl.h>

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <utility>

#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"
#include "ZelvaneMac/Actions/ItemArchive.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

namespace {

constexpr int kFirstCountThatAsks = 6;

QList<QUrl> urlsOf(const std::vector<ActionTarget>& items) {
    QList<QUrl> urls;
    for (const auto& t : items) urls << fileUrlFromPathBytes(t.path);
    return urls;
}

}  // namespace

// The items of Show in File Manager or New Terminal, and what they could not reach.
struct FileActionController::Reached {
    std::vector<ActionTarget> items;
    std::vector<Failure> refused;
    // The items' trees, whose names the alerts show.
    std::shared_ptr<const void> trees;
};

FileActionController::FileActionController(DesktopServices& desktop, ActionPrompter& prompter,
                                           ActionJobs::BusyIndicator busy, LiveMonitorController* monitor, QObject* parent)
    : QObject(parent), desktop_(desktop), prompter_(prompter), jobs_(prompter, std::move(busy)),
      erasing_(prompter, jobs_, [this](const NodesGone& gone) { emit nodesDeleted(gone); }),
      copies_(desktop, prompter, jobs_) {
    if (!monitor) return;
    // Before any other receiver: the views redraw what the monitor marked.
    connect(this, &FileActionController::nodesDeleted, monitor, [monitor](const NodesGone& gone) { monitor->markGoneLocally(gone); });
    connect(this, &FileActionController::nodesRenamed, monitor,
            [monitor](const std::vector<FileNode*>& nodes) { monitor->markRenamedLocally(nodes); });
}

FileActionController::~FileActionController() = default;

std::vector<ActionTarget> FileActionController::reachableTargets(const Nodes& nodes) {
    std::vector<Failure> refused;
    std::vector<ActionTarget> items = resolveTargets(nodes, Change::reach, refused);
    tellFailures(prompter_, Change::reach, refused);
    return items;
}

std::vector<ActionTarget> FileActionController::touchableTargets(const Nodes& nodes, Change change,
                                                                 std::vector<Failure>& refused) {
    return refuseUntouchable(resolveTargets(nodes, change, refused), change, refused);
}

FileActionMenuState FileActionController::menuState(const Nodes& nodes) { return menuState(countActionTargets(nodes)); }

FileActionMenuState FileActionController::menuState(size_t n) {
    FileActionMenuState state;
    state.enabled = n >= 1;
    state.moveToTrashTitle = n < 2 ? localized("Move to Trash") : alerts::fillCount(localized("Move %d Items to Trash"), (long long)n);
    return state;
}

bool FileActionController::confirmOpeningManyWindows(int count, const QString& windowKind) {
    return count < kFirstCountThatAsks || prompter_.ask(alerts::manyWindowsQuestion(count, windowKind));
}

void FileActionController::open(const Nodes& nodes) {
    // An opener that cannot be started would fail the same for every other item: it is told once.
    for (const auto& t : reachableTargets(nodes))
        if (!openItem(t)) return;
}

bool FileActionController::openItem(const ActionTarget& item) {
    OpenFailure failure;
    const QString name = item.displayName();
    const bool started = desktop_.openUrl(fileUrlFromPathBytes(item.path), failure,
                                          [self = QPointer<FileActionController>(this), name](const OpenFailure& why) {
                                              if (self) self->tellOpenFailure(name, why);
                                          });
    if (!started) tellOpenFailure(name, failure);
    return started;
}

void FileActionController::tellOpenFailure(const QString& name, const OpenFailure& why) {
    openFailures_.emplace_back(name, why);
    if (tellingOpenFailures_) return;
    tellingOpenFailures_ = true;
    while (!openFailures_.empty()) {
        const auto told = std::exchange(openFailures_, {});
        prompter_.ask(alerts::cannotOpenAlert(told.front().first, told.size(), told.front().second));
    }
    tellingOpenFailures_ = false;
}

void FileActionController::showInFileManager(const Nodes& nodes) {
    Reached reached;
    reached.items = reachableTargets(nodes);
    showReached(reached);
}

void FileActionController::showReached(Reached& reached) {
    const std::vector<ActionTarget>& items = reached.items;
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(std::min<size_t>(items.size(), INT_MAX)), localized("File Manager windows"))) return;
    if (items.size() <= kItemsCopiedInPlace) return showItems(urlsOf(items), items);
    // The URLs of millions take seconds and gigabytes: made on the thread pool once the user
    // said yes.
    const uint64_t job = jobs_.start({});
    runInBackground(
        jobs_.context(), listingJobs_,
        [items = std::make_shared<std::vector<ActionTarget>>(std::move(reached.items))](const CancelFlag& cancel) {
            auto urls = std::make_shared<QList<QUrl>>();
            urls->reserve(qsizetype(items->size()));
            for (size_t i = 0; i < items->size() && !(i % 65536 == 0 && cancel.isSet()); ++i)
                *urls << fileUrlFromPathBytes((*items)[i].path);
            return std::make_pair(urls, items);
        },
        [this, job](std::pair<std::shared_ptr<QList<QUrl>>, std::shared_ptr<std::vector<ActionTarget>>> made) {
            jobs_.end(job);
            showItems(*made.first, *made.second);
            jobs_.letGo(std::move(made));
        },
        [this, job] { jobs_.end(job); });
}

void FileActionController::showItems(const QList<QUrl>& urls, const std::vector<ActionTarget>& items) {
    if (desktop_.showItems(urls)) return;
    // Without a file manager on the bus, each containing folder is opened once.
    std::set<std::string> opened;
    bool shown = false;
    for (const auto& t : items) {
        std::string folder = parentPath(t.path);
        if (opened.insert(folder).second) shown |= desktop_.openUrl(fileUrlFromPathBytes(folder));
    }
    if (!shown) prompter_.ask(alerts::noFileManagerAlert());
}

void FileActionController::getInfo(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Get Info windows"))) return;
    bool shown = false;
    for (const auto& t : items) {
        QUrl url = fileUrlFromPathBytes(t.path);
        shown |= desktop_.showItemProperties({url}) || desktop_.openUrl(fileUrlFromPathBytes(parentPath(t.path)));
    }
    if (!shown) prompter_.ask(alerts::noFileManagerAlert());
}

void FileActionController::newTerminal(const Nodes& nodes) { openTerminals(reachableTargets(nodes)); }

void FileActionController::openTerminals(const std::vector<ActionTarget>& items) {
    if (items.empty()) return;
    std::string terminal = desktop_.terminalProgram();
    if (terminal.empty()) return (void)prompter_.ask(alerts::noTerminalAlert());
    if (!confirmOpeningManyWindows(int(std::min<size_t>(items.size(), INT_MAX)), localized("Terminal windows"))) return;
    // One that cannot be started would fail the same for every other folder: it is told once.
    for (const auto& t : items)
        if (int err = desktop_.startDetached(terminal, {}, t.isDir ? t.path : parentPath(t.path)))
            return (void)prompter_.ask(alerts::noTerminalAlert(terminal, err));
}

void FileActionController::copySelection(Nodes nodes, Ordering order, std::shared_ptr<const void> trees) {
    if (nodes.empty()) return;
    if (!trees && nodes.size() > kItemsCopiedInPlace) trees = std::make_shared<HeldTrees>(holdTrees(nodes));
    Listing listing;
    listing.count = nodes.size();
    listing.gather = [listed = std::make_shared<Nodes>(std::move(nodes))](const CancelFlag&) { return std::move(*listed); };
    listing.order = std::move(order);
    listing.trees = std::move(trees);
    actOnListing(ListedAction::copy, std::move(listing));
}

void FileActionController::copyPath(const Nodes& nodes) { actOnListing(ListedAction::copyPath, NodeListing::of(nodes)); }

void FileActionController::actOnListing(ListedAction action, Listing listing) {
    if (listing.count == 0) return;
    // A few items are listed at once and take the road of the nodes.
    if (listing.count <= kItemsCopiedInPlace && action != ListedAction::copy && action != ListedAction::copyPath) {
        const Nodes nodes = listing.list(CancelFlag());
        switch (action) {
        case ListedAction::showInFileManager: return showInFileManager(nodes);
        case ListedAction::newTerminal: return newTerminal(nodes);
        case ListedAction::moveToTrash: return moveToTrash(nodes);
        case ListedAction::deleteImmediately: return deleteImmediately(nodes);
        case ListedAction::copy:
        case ListedAction::copyPath: break;
        }
    }
    switch (action) {
    case ListedAction::showInFileManager:
        return reachListing(std::move(listing), [this](Reached& reached) { showReached(reached); });
    case ListedAction::newTerminal:
        return reachListing(std::move(listing), [this](Reached& reached) { openTerminals(reached.items); });
    case ListedAction::copy: return copies_.copy(std::move(listing));
    case ListedAction::copyPath: return copies_.copyPath(std::move(listing));
    case ListedAction::moveToTrash: return erasing_.moveToTrash(std::move(listing));
    case ListedAction::deleteImmediately: return erasing_.deleteImmediately(std::move(listing));
    }
}

void FileActionController::reachListing(Listing listing, std::function<void(Reached&)> act) {
    const uint64_t job = jobs_.start({});
    runInBackground(
        jobs_.context(), listingJobs_,
        [listing = std::move(listing)](const CancelFlag& cancel) {
            auto reached = std::make_shared<Reached>();
            reached->trees = listing.trees;
            const Listing::Listed nodes = listing.listWithPaths(cancel);
            if (cancel.isSet()) return reached;
            reached->items = resolveTargets(nodes.nodes, Change::reach, reached->refused, &cancel, &nodes.paths);
            return reached;
        },
        [this, job, act = std::move(act)](std::shared_ptr<Reached> reached) {
            jobs_.end(job);
            tellFailures(prompter_, Change::reach, reached->refused);
            act(*reached);
            // Whatever still holds the trees (a scan may have replaced them) goes on the pool too.
            jobs_.letGo(std::move(reached));
        },
        [this, job] { jobs_.end(job); });
}

void FileActionController::compress(const Nodes& nodes) {
    std::vector<Failure> refused;
    auto items = touchableTargets(nodes, Change::compress, refused);
    tellFailures(prompter_, Change::compress, refused);
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
    jobs_.runEach(Change::compress, std::move(items), [archives, watch = copyWatch_](const ActionTarget& t, const auto& cancelled) {
        const std::string stem = splitExtension(lastComponent(t.path)).stem;
        auto chosen = archives->find(t.path);
        return compressToZip(t.path, stem, chosen != archives->end() ? chosen->second : archiveName(stem, 1), &cancelled,
                             shownFileSystem(t), &watch);
    });
}

void FileActionController::duplicate(const Nodes& nodes) {
    std::vector<Failure> refused;
    auto items = touchableTargets(nodes, Change::duplicate, refused);
    tellFailures(prompter_, Change::duplicate, refused);
    jobs_.runEach(Change::duplicate, std::move(items), [watch = copyWatch_](const ActionTarget& t, const std::atomic<bool>& cancelled) {
        const NameParts parts = splitExtension(lastComponent(t.path));
        return duplicateItem(t.path, [&](int n) { return siblingName(parts, " copy", n); }, &cancelled, shownFileSystem(t),
                             &watch);
    });
}

void FileActionController::makeLink(const Nodes& nodes) {
    std::vector<Failure> failures;
    auto items = touchableTargets(nodes, Change::link, failures);
    for (const auto& t : items) {
        const NameParts parts = splitExtension(lastComponent(t.path));
        if (int err = makeLinkBeside(t.path, [&](int n) { return siblingName(parts, " alias", n); }))
            failures.push_back({t, alerts::errorText(err)});
    }
    tellFailures(prompter_, Change::link, failures);
}

std::vector<std::string> FileActionController::quickLook(const Nodes& nodes) {
    std::vector<std::string> paths;
    for (const auto& t : reachableTargets(nodes)) paths.push_back(t.path);
    return paths;
}

void FileActionController::setTag(const Nodes& nodes, const QString& tagName) {
    std::vector<Failure> failures;
    auto items = touchableTargets(nodes, Change::tags, failures);
    std::vector<std::string> tags;
    if (!tagName.isEmpty()) tags.push_back(tagName.toStdString());
    for (const auto& t : items)
        if (int err = setTags(t.path, tags)) failures.push_back({t, alerts::errorText(err)});
    tellFailures(prompter_, Change::tags, failures);
}

void FileActionController::launchNewInstance(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    std::string program = desktop_.ownProgram();
    if (program.empty()) return (void)prompter_.ask(alerts::noNewInstanceAlert({}, 0));
    for (const auto& t : items)
        if (int err = desktop_.startDetached(program, {t.path}, {}))
            return (void)prompter_.ask(alerts::noNewInstanceAlert(program, err));
}

bool FileActionController::refuseRename(const QString& shownName, const QString& reason) {
    ActionTarget shown;
    shown.givenName = shownName;
    tellFailures(prompter_, Change::rename, {{shown, reason}});
    return false;
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
    // A root's name is its whole path: renaming it would turn every path below it relative.
    if (node->isRoot()) return refuseRename(current, alerts::cannotRenameRootReason());
    if (node->isSyntheticGroup() || node->isDeleted()) return refuseRename(current, alerts::goneMissingReason());
    if (const char* reason = invalidNameReason(trimmed)) return refuseRename(current, localized(reason));

    std::vector<Failure> refused;
    const std::vector<ActionTarget> resolved = touchableTargets({node}, Change::rename, refused);
    if (!refused.empty()) return refuseRename(current, refused.front().reason);
    if (resolved.empty()) return refuseRename(current, alerts::goneMissingReason());
    const std::string newBytes = pathBytesFromQString(trimmed);
    const int err = renameItem(resolved.front().path, newBytes);
    if (err == EEXIST || err == ENOTEMPTY) return refuseRename(current, alerts::nameTakenReason(trimmed));
    if (err == EBUSY) {
        ItemInFolder item;
        if (openItemFolder(resolved.front().path, item) == 0 && checkMounts(item, resolved.front().path).isMountPoint)
            return refuseRename(current, alerts::mountPointReason());
    }
    if (err) return refuseRename(current, alerts::errorText(err));
    node->rename(std::u16string_view(reinterpret_cast<const char16_t*>(trimmed.utf16()), size_t(trimmed.size())));
    emit nodesRenamed({node});
    return true;
}

}  // namespace zelvane
