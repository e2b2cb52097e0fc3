#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <sys/stat.h>

#include <QMimeData>
#include <QtConcurrent/QtConcurrentRun>

#include <cstring>
#include <map>
#include <optional>

#include "Platform/FileMoves.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

namespace {

constexpr int kFirstCountThatAsks = 6;

QList<QUrl> urlsOf(const std::vector<ActionTarget>& items) {
    QList<QUrl> urls;
    for (const auto& t : items) urls << fileUrlFromPathBytes(t.path);
    return urls;
}

QString errorText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

}  // namespace

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
    : desktop_(desktop), prompter_(prompter), trashEnvironment_(TrashEnvironment::current()) {}

std::vector<ActionTarget> FileActionController::targets(bool dropNestedItems) const {
    std::vector<FileNode*> nodes = targetNodesProvider();
    return resolveActionTargets(nodes, dropNestedItems);
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
    for (const auto& t : targets()) desktop_.openUrl(fileUrlFromPathBytes(t.path));
}

void FileActionController::showInFileManager() {
    auto items = targets();
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
    auto items = targets();
    if (items.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Get Info windows"))) return;
    for (const auto& t : items) {
        QUrl url = fileUrlFromPathBytes(t.path);
        if (!desktop_.showItemProperties({url})) desktop_.openUrl(fileUrlFromPathBytes(parentPath(t.path)));
    }
}

void FileActionController::newTerminal() {
    auto items = targets();
    if (items.empty()) return;
    std::string terminal = desktop_.terminalProgram();
    if (terminal.empty()) return;
    if (!confirmOpeningManyWindows(int(items.size()), localized("Terminal windows"))) return;
    for (const auto& t : items) desktop_.startDetached(terminal, {}, t.isDir ? t.path : parentPath(t.path));
}

void FileActionController::copy() {
    auto items = targets();
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
    auto items = targets();
    if (items.empty()) return;
    QStringList paths;
    for (const auto& t : items) paths << t.displayPath;
    auto* data = new QMimeData;
    data->setText(paths.join(QLatin1Char('\n')));
    desktop_.setClipboard(data);
}

void FileActionController::moveToTrash() {
    auto items = targets(true);
    if (items.empty()) return;
    // One look-up per volume and action: whether it has a usable trash, and where.
    std::map<std::string, std::optional<TrashLocation>> cache;
    std::vector<ActionTarget> trashable;
    std::vector<ActionTarget> others;
    std::vector<TrashLocation> locations;
    for (auto& t : items) {
        dev_t device = 0;
        std::string key = itemDevice(t.path, device) == 0 ? "dev:" + std::to_string(device) : "path:" + t.path;
        auto found = cache.find(key);
        if (found == cache.end()) {
            std::optional<TrashLocation> loc;
            if (key.starts_with("dev:")) {
                TrashLookup lookup = locateTrash(t.path, device, trashEnvironment_);
                if (!lookup.error) loc = lookup.location;
            }
            found = cache.emplace(key, loc).first;
        }
        if (found->second) {
            trashable.push_back(std::move(t));
            locations.push_back(*found->second);
        } else {
            others.push_back(std::move(t));
        }
    }

    if (!trashable.empty()) {
        AlertRequest alert;
        alert.message = trashable.size() == 1
            ? fillPlaceholders(localized("Move \"%@\" to the Trash?"), {trashable.front().displayName})
            : fillCount(localized("Move %d items to the Trash?"), (long long)trashable.size());
        alert.informativeText = localized("You can recover this from the Trash until it's emptied.");
        alert.buttons = {localized("Move to Trash"), localized("Cancel")};
        if (prompter_.ask(alert)) {
            std::vector<ActionTarget> trashed;
            std::vector<ActionTarget> failed;
            std::time_t now = std::time(nullptr);
            for (size_t i = 0; i < trashable.size(); ++i) {
                if (zelvane::moveToTrash(trashable[i].path, locations[i], now) == 0) trashed.push_back(trashable[i]);
                else failed.push_back(trashable[i]);
            }
            report(trashed);
            offerImmediateDelete(failed);
        }
    }
    offerImmediateDelete(others);
}

void FileActionController::offerImmediateDelete(const std::vector<ActionTarget>& items) {
    if (items.empty()) return;
    AlertRequest alert;
    alert.message = items.size() == 1
        ? fillPlaceholders(localized("\"%@\" can't be moved to the Trash."), {items.front().displayName})
        : fillCount(localized("%d items can't be moved to the Trash."), (long long)items.size());
    alert.informativeText = localized(
        "This can happen on a network volume that doesn't support the Trash. Do you want to delete the item "
        "immediately instead? You can't undo this action.");
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    if (prompter_.ask(alert)) removeImmediately(items);
}

void FileActionController::deleteImmediately() {
    auto items = targets(true);
    if (items.empty()) return;
    AlertRequest alert;
    alert.message = items.size() == 1
        ? fillPlaceholders(localized("Permanently erase \"%@\"?"), {items.front().displayName})
        : fillCount(localized("Permanently erase %d items?"), (long long)items.size());
    alert.informativeText = localized("You can't undo this action.");
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    if (prompter_.ask(alert)) removeImmediately(items);
}

void FileActionController::removeImmediately(const std::vector<ActionTarget>& items) {
    std::vector<ActionTarget> removed;
    for (const auto& t : items)
        if (removeItem(t.path) == 0) removed.push_back(t);
    report(removed);
}

void FileActionController::report(const std::vector<ActionTarget>& removed) {
    if (removed.empty()) return;
    std::vector<FileNode*> nodes;
    nodes.reserve(removed.size());
    for (const auto& t : removed) nodes.push_back(t.node);
    onNodesDeleted(nodes);
}

void FileActionController::compress() {
    auto items = targets();
    // Names handed out in this action, per folder: two items with one stem get two archives.
    std::map<std::string, std::set<std::string>> reserved;
    for (const auto& t : items) {
        std::string folder = parentPath(t.path);
        std::string name = lastComponent(t.path);
        std::string stem = splitExtension(name).stem;
        std::string archive = firstFreeName(folder, [&](int n) { return archiveName(stem, n); }, reserved[folder]);
        if (archive.empty()) continue;
        reserved[folder].insert(archive);
        pendingArchives_.push_back(QtConcurrent::run([path = t.path, folder, stem, archive] {
            compressToZip(path, folder, stem, archive);
        }));
    }
    std::erase_if(pendingArchives_, [](const QFuture<void>& f) { return f.isFinished(); });
}

void FileActionController::waitForBackgroundWork() {
    for (auto& f : pendingArchives_) f.waitForFinished();
    pendingArchives_.clear();
}

void FileActionController::duplicate() {
    for (const auto& t : targets()) {
        std::string folder = parentPath(t.path);
        NameParts parts = splitExtension(lastComponent(t.path));
        std::string name = firstFreeName(folder, [&](int n) { return siblingName(parts, " copy", n); });
        if (!name.empty()) duplicateItem(t.path, joinPath(folder, name));
    }
}

void FileActionController::makeLink() {
    for (const auto& t : targets()) {
        std::string folder = parentPath(t.path);
        std::string itemName = lastComponent(t.path);
        NameParts parts = splitExtension(itemName);
        std::string name = firstFreeName(folder, [&](int n) { return siblingName(parts, " alias", n); });
        // The link sits beside the item, so its own name keeps it working when the folder moves.
        if (!name.empty()) makeSymbolicLink(itemName, joinPath(folder, name));
    }
}

void FileActionController::quickLook() {
    previewPaths_.clear();
    for (const auto& t : targets()) previewPaths_.push_back(t.path);
    if (previewPaths_.empty()) return;
    onShowPreview();
}

void FileActionController::setTag(const QString& tagName) {
    auto items = targets();
    std::vector<std::string> tags;
    if (!tagName.isEmpty()) tags.push_back(tagName.toStdString());
    for (const auto& t : items) setTags(t.path, tags);
}

void FileActionController::launchNewInstance() {
    auto items = targets();
    if (items.empty()) return;
    std::string program = desktop_.ownProgram();
    if (program.empty()) return;
    for (const auto& t : items) desktop_.startDetached(program, {t.path}, {});
}

bool FileActionController::performRename(FileNode* node, const QString& newName) {
    if (!node) return false;
    QString trimmed = trimmedNewName(newName);
    QString current = QString::fromStdString(node->name());
    std::u16string units = node->name16();
    QString currentUnits(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
    // An editor shows bytes that are not UTF-8 as U+FFFD: committing that text unchanged is no
    // rename, or the file would lose its original bytes.
    auto same = [&](const QString& name) {
        return trimmed.normalized(QString::NormalizationForm_D) == name.normalized(QString::NormalizationForm_D);
    };
    if (same(currentUnits) || same(current)) return false;

    auto fail = [&](const QString& reason) {
        AlertRequest alert;
        alert.message = fillPlaceholders(localized("Couldn't rename \"%@\""), {withVisibleControlCharacters(current)});
        alert.informativeText = reason;
        alert.buttons = {localized("OK")};
        prompter_.ask(alert);
        return false;
    };
    // A root's name is its whole path: renaming it would turn every path below it relative.
    if (node->isRoot()) return fail(localized("A scanned folder itself can't be renamed here."));
    if (node->isSyntheticGroup() || node->isDeleted())
        return fail(localized("The item is no longer there."));
    if (const char* reason = invalidNameReason(trimmed)) return fail(localized(reason));

    std::vector<FileNode*> one{node};
    auto resolved = resolveActionTargets(one);
    if (resolved.empty()) return fail(localized("The item is no longer there."));
    std::string newBytes = pathBytesFromQString(trimmed);
    int err = renameItem(resolved.front().path, newBytes);
    if (err == EEXIST || err == ENOTEMPTY)
        return fail(fillPlaceholders(localized("An item named \"%@\" already exists in this location."), {withVisibleControlCharacters(trimmed)}));
    if (err) return fail(errorText(err));
    node->rename(std::u16string_view(reinterpret_cast<const char16_t*>(trimmed.utf16()), size_t(trimmed.size())));
    return true;
}

}  // namespace zelvane
