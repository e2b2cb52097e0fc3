#include "ZelvaneMac/Actions/FileActionController.hpp"

#include <fcntl.h>

#include <QCoreApplication>
#include <QMimeData>
#include <QThread>

#include <map>
#include <set>

#include "Platform/FileMoves.hpp"
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

// What a copy puts on the clipboard, and what it could not reach.
struct ClipboardContent {
    std::unique_ptr<QMimeData> data;
    std::vector<Failure> refused;
};

QList<QUrl> urlsOf(const std::vector<ActionTarget>& items) {
    QList<QUrl> urls;
    for (const auto& t : items) urls << fileUrlFromPathBytes(t.path);
    return urls;
}

}  // namespace

FileActionController::FileActionController(DesktopServices& desktop, ActionPrompter& prompter,
                                           ActionJobs::BusyIndicator busy, QObject* parent)
    : QObject(parent), desktop_(desktop), prompter_(prompter), jobs_(prompter, std::move(busy)),
      erasing_(prompter, jobs_, [this](const std::vector<FileNode*>& gone) { emit nodesDeleted(gone); }) {}

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

FileActionMenuState FileActionController::menuState(const Nodes& nodes) {
    const size_t n = countActionTargets(nodes);
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
    auto items = reachableTargets(nodes);
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

void FileActionController::getInfo(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Get Info windows"))) return;
    for (const auto& t : items) {
        QUrl url = fileUrlFromPathBytes(t.path);
        if (!desktop_.showItemProperties({url})) desktop_.openUrl(fileUrlFromPathBytes(parentPath(t.path)));
    }
}

void FileActionController::newTerminal(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    std::string terminal = desktop_.terminalProgram();
    if (terminal.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Terminal windows"))) return;
    for (const auto& t : items) desktop_.startDetached(terminal, {}, t.isDir ? t.path : parentPath(t.path));
}

void FileActionController::copySelection(Nodes nodes, Ordering order, std::shared_ptr<const void> trees) {
    if (nodes.empty()) return;
    if (!trees && nodes.size() > kItemsCopiedInPlace) trees = std::make_shared<HeldTrees>(holdTrees(nodes));
    const size_t count = nodes.size();
    copyGathered(
        count, [listed = std::make_shared<Nodes>(std::move(nodes))] { return std::move(*listed); }, std::move(order),
        std::move(trees));
}

void FileActionController::copyGathered(size_t count, Gathering gather, Ordering order,
                                        std::shared_ptr<const void> trees) {
    if (count == 0) return;
    // Whatever an earlier copy still makes is older than this one.
    clipboardJobs_.supersede();
    const auto make = [](Nodes& chosen, const Ordering& ordering, const CancelFlag& cancel) {
        ClipboardContent made;
        if (ordering) ordering(chosen);
        std::vector<ActionTarget> items = resolveTargets(chosen, Change::reach, made.refused);
        if (items.empty() || cancel.isSet()) return made;
        auto data = std::make_unique<CopiedFilesMimeData>();
        for (const ActionTarget& t : items) {
            if (cancel.isSet()) return made;
            data->append(fileUrlFromPathBytes(t.path).toEncoded());
        }
        data->finish();
        made.data = std::move(data);
        return made;
    };
    const auto hand = [this](ClipboardContent made) {
        tellFailures(prompter_, Change::reach, made.refused);
        if (made.data) desktop_.setClipboard(made.data.release());
    };
    if (count <= kItemsCopiedInPlace) {
        Nodes nodes = gather();
        hand(make(nodes, order, CancelFlag()));
        return;
    }
    // The nodes' trees stay whole until the content is made, whatever scan ends meanwhile.
    const uint64_t job = jobs_.start({});
    runInBackground(
        jobs_.context(), clipboardJobs_,
        [gather = std::move(gather), order = std::move(order), trees = std::move(trees), make](const CancelFlag& cancel) {
            Nodes nodes = gather();
            if (cancel.isSet()) return ClipboardContent();
            ClipboardContent made = make(nodes, order, cancel);
            // Handed to the GUI thread, where the clipboard takes it.
            if (made.data) made.data->moveToThread(QCoreApplication::instance()->thread());
            return made;
        },
        [this, job, hand](ClipboardContent made) {
            jobs_.end(job);
            hand(std::move(made));
            // The job's buffers and the clipboard's content before were freed in arenas the
            // allocator keeps: a copy of hundreds of thousands of files left gigabytes resident.
            trimFreedHeapInBackground();
        },
        [this, job] { jobs_.end(job); });
}

void FileActionController::copyPath(const Nodes& nodes) {
    auto items = reachableTargets(nodes);
    if (items.empty()) return;
    QStringList paths;
    for (const auto& t : items) paths << t.displayPath;
    auto* data = new QMimeData;
    data->setText(paths.join(QLatin1Char('\n')));
    desktop_.setClipboard(data);
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
    shown.displayName = shownName;
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
