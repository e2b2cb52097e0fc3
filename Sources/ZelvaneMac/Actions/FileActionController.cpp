#include "ZelvaneMac/Actions/FileActionController.hpp"

#include <fcntl.h>

#include <QCoreApplication>
#include <QMimeData>
#include <QThread>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <utility>

#include "Platform/FileMoves.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"
#include "ZelvaneMac/Actions/ItemArchive.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "ZelvaneMac/Core/Support/FreedHeap.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

namespace {

constexpr int kFirstCountThatAsks = 6;

// Millions of items, URLs or strings freed on the GUI thread would hold it for a second: what
// holds them is let go on the thread pool.
template <typename Held>
void letGoOnPool(QObject* context, Held held) {
    runInBackground(context, [held = std::move(held)]() mutable {
        held = Held();
        // What the listing and its items took stays resident in the allocator's arenas otherwise.
        trimFreedHeap();
        return true;
    }, [](bool) {});
}

// The full paths of the items, a line each (the last without its line end), as UTF-8 text: bytes
// that are not UTF-8 show as replacement characters. Most paths are their text already; the others
// take the road of a QString (which would also drop a byte-order mark at the start). Made a
// stretch at a time on every processor straight into the one buffer.
QByteArray pathLines(const TargetPaths& items, const CancelFlag& cancel) {
    constexpr size_t kStretch = size_t(1) << 14;
    const size_t count = items.nodes.size();
    const size_t stretches = (count + kStretch - 1) / kStretch;
    const auto plain = [&items](size_t i) { return items.paths.isText(i) && !items.paths[i].starts_with("\xEF\xBB\xBF"); };
    // First the length of each stretch, with the lines of the paths that are not their text.
    std::vector<size_t> lengths(stretches, 0);
    std::vector<std::vector<QByteArray>> shown(stretches);
    parallelFor(stretches, parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const size_t end = std::min(count, (s + 1) * kStretch);
        for (size_t i = s * kStretch; i < end; ++i) {
            const std::string_view path = items.paths[i];
            if (plain(i)) {
                lengths[s] += path.size() + 1;
            } else {
                shown[s].push_back(QString::fromStdString(items.nodes[i]->fullPath()).toUtf8());
                lengths[s] += size_t(shown[s].back().size()) + 1;
            }
        }
    }, &cancel);
    if (cancel.isSet() || count == 0) return {};
    std::vector<size_t> starts(stretches, 0);
    for (size_t s = 1; s < stretches; ++s) starts[s] = starts[s - 1] + lengths[s - 1];
    QByteArray text(qsizetype(starts.back() + lengths.back() - 1), Qt::Uninitialized);
    parallelFor(stretches, parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        char* out = text.data() + starts[s];
        size_t nextShown = 0;
        const size_t end = std::min(count, (s + 1) * kStretch);
        for (size_t i = s * kStretch; i < end; ++i) {
            const std::string_view path = items.paths[i];
            if (plain(i)) {
                out = std::copy(path.begin(), path.end(), out);
            } else {
                const QByteArray& line = shown[s][nextShown++];
                out = std::copy(line.begin(), line.end(), out);
            }
            if (i + 1 < count) *out++ = '\n';
        }
        std::vector<QByteArray>().swap(shown[s]);
    }, &cancel);
    if (cancel.isSet()) return {};
    return text;
}

QList<QUrl> urlsOf(const std::vector<ActionTarget>& items) {
    QList<QUrl> urls;
    for (const auto& t : items) urls << fileUrlFromPathBytes(t.path);
    return urls;
}

}  // namespace

// What a copy puts on the clipboard, and what it could not reach.
struct FileActionController::ClipboardContent {
    std::unique_ptr<QMimeData> data;
    // The content grew past the clipboard's limit and was dropped.
    bool tooLarge = false;
    std::vector<Failure> refused;
    // The trees of the refused items, whose names the alert shows.
    std::shared_ptr<const void> trees;
};

// The items of Show in File Manager or New Terminal, and what they could not reach.
struct FileActionController::Reached {
    std::vector<ActionTarget> items;
    std::vector<Failure> refused;
    // The items' trees, whose names the alerts show.
    std::shared_ptr<const void> trees;
};

FileActionController::FileActionController(DesktopServices& desktop, ActionPrompter& prompter,
                                           ActionJobs::BusyIndicator busy, QObject* parent)
    : QObject(parent), desktop_(desktop), prompter_(prompter), jobs_(prompter, std::move(busy)),
      erasing_(prompter, jobs_, [this](const NodesGone& gone) { emit nodesDeleted(gone); }),
      clipboardLimit_(kClipboardBytesLimit) {}

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
    for (const auto& t : reachableTargets(nodes)) desktop_.openUrl(fileUrlFromPathBytes(t.path));
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
            letGoOnPool(jobs_.context(), std::move(made));
        },
        [this, job] { jobs_.end(job); });
}

void FileActionController::showItems(const QList<QUrl>& urls, const std::vector<ActionTarget>& items) {
    if (desktop_.showItems(urls)) return;
    // Without a file manager on the bus, each containing folder is opened once.
    std::set<std::string> opened;
    for (const auto& t : items) {
        std::string folder = parentPath(t.path);
        if (opened.insert(folder).second) desktop_.openUrl(fileUrlFromPathBytes(folder));
    }
}

void FileActionController::getInfo(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Get Info windows"))) return;
    for (const auto& t : items) {
        QUrl url = fileUrlFromPathBytes(t.path);
        if (!desktop_.showItemProperties({url})) desktop_.openUrl(fileUrlFromPathBytes(parentPath(t.path)));
    }
}

void FileActionController::newTerminal(const Nodes& nodes) { openTerminals(reachableTargets(nodes)); }

void FileActionController::openTerminals(const std::vector<ActionTarget>& items) {
    if (items.empty()) return;
    std::string terminal = desktop_.terminalProgram();
    if (terminal.empty()) return;
    if (!confirmOpeningManyWindows(int(std::min<size_t>(items.size(), INT_MAX)), localized("Terminal windows"))) return;
    for (const auto& t : items) desktop_.startDetached(terminal, {}, t.isDir ? t.path : parentPath(t.path));
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
    case ListedAction::copy:
        return copyListing(std::move(listing), [limit = clipboardLimit_](std::vector<ActionTarget>& items, const CancelFlag& cancel) {
            ClipboardContent made;
            auto data = std::make_unique<CopiedFilesMimeData>();
            for (size_t i = 0; i < items.size(); ++i) {
                if (i % 4096 == 0 && cancel.isSet()) return made;
                data->append(fileUrlFromPathBytes(items[i].path).toEncoded());
                if (data->size() > limit) {
                    made.tooLarge = true;
                    return made;
                }
                // Each path goes once it is in: millions of them take as much again as the list.
                std::string().swap(items[i].path);
            }
            data->finish();
            made.data = std::move(data);
            return made;
        });
    case ListedAction::copyPath:
        return copyListing(std::move(listing), {}, [limit = clipboardLimit_](TargetPaths& items, const CancelFlag& cancel) {
            ClipboardContent made;
            QByteArray text = pathLines(items, cancel);
            made.tooLarge = text.size() > limit;
            if (!cancel.isSet() && !made.tooLarge) made.data = plainTextMimeData(text);
            return made;
        });
    case ListedAction::moveToTrash: return erasing_.moveToTrash(std::move(listing));
    case ListedAction::deleteImmediately: return erasing_.deleteImmediately(std::move(listing));
    }
}

void FileActionController::copyListing(Listing listing, ClipboardMaker make, PathsClipboardMaker makeFromPaths) {
    // Whatever an earlier copy still makes is older than this one.
    clipboardJobs_.supersede();
    const auto made = [make, makeFromPaths](const Listing& listed, const CancelFlag& cancel) {
        if (makeFromPaths) {
            Listing::Listed nodes = listed.listWithPaths(cancel);
            ClipboardContent content;
            content.trees = listed.trees;
            if (cancel.isSet()) return content;
            TargetPaths items = resolvePathsToReach(nodes.nodes, std::move(nodes.paths), content.refused, &cancel);
            Nodes().swap(nodes.nodes);
            if (items.nodes.empty() || cancel.isSet()) return content;
            ClipboardContent data = makeFromPaths(items, cancel);
            content.tooLarge = data.tooLarge && !cancel.isSet();
            if (!content.tooLarge) content.data = std::move(data.data);
            return content;
        }
        Listing::Listed nodes = listed.listWithPaths(cancel);
        ClipboardContent content;
        content.trees = listed.trees;
        if (cancel.isSet()) return content;
        std::vector<ActionTarget> items = resolveTargets(nodes.nodes, Change::reach, content.refused, &cancel, &nodes.paths);
        // The items hold their paths now: the list goes before the content is made.
        nodes = Listing::Listed();
        if (items.empty() || cancel.isSet()) return content;
        ClipboardContent data = make(items, cancel);
        content.tooLarge = data.tooLarge && !cancel.isSet();
        if (!content.tooLarge) content.data = std::move(data.data);
        return content;
    };
    const auto hand = [this, limit = clipboardLimit_](ClipboardContent content) {
        tellFailures(prompter_, Change::reach, content.refused);
        if (content.tooLarge) prompter_.ask(alerts::clipboardLimitAlert(limit));
        if (content.data) desktop_.setClipboard(content.data.release());
    };
    if (listing.count <= kItemsCopiedInPlace) {
        hand(made(listing, CancelFlag()));
        return;
    }
    // The nodes' trees stay whole until the content is made, whatever scan ends meanwhile.
    const uint64_t job = jobs_.start({});
    runInBackground(
        jobs_.context(), clipboardJobs_,
        [listing = std::move(listing), made](const CancelFlag& cancel) {
            ClipboardContent content = made(listing, cancel);
            // Handed to the GUI thread, where the clipboard takes it.
            if (content.data) content.data->moveToThread(QCoreApplication::instance()->thread());
            return content;
        },
        [this, job, hand](ClipboardContent content) {
            jobs_.end(job);
            // The last hold on trees a scan replaced meanwhile would free them here. The job's
            // buffers and the clipboard's content before were freed in arenas the allocator
            // keeps (a copy of hundreds of thousands of files left gigabytes resident): the pool
            // gives them back once it let go of the trees.
            std::shared_ptr<const void> trees = std::move(content.trees);
            hand(std::move(content));
            letGoOnPool(jobs_.context(), std::move(trees));
        },
        [this, job] { jobs_.end(job); });
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
            letGoOnPool(jobs_.context(), std::move(reached));
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
    jobs_.runEach(Change::compress, std::move(items), [archives](const ActionTarget& t, const std::atomic<bool>& cancelled) {
        const std::string stem = splitExtension(lastComponent(t.path)).stem;
        auto chosen = archives->find(t.path);
        return compressToZip(t.path, stem, chosen != archives->end() ? chosen->second : archiveName(stem, 1), &cancelled,
                             shownFileSystem(t));
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
    if (program.empty()) return;
    for (const auto& t : items) desktop_.startDetached(program, {t.path}, {});
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
