#include "ZelvaneMac/Actions/ActionAlerts.hpp"

#include <QLocale>
#include <QStringList>

#include <cstring>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Actions/ItemArchive.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

namespace alerts {

namespace {

// An alert names this many items with their reasons, and counts the rest.
constexpr size_t kNamedFailures = 8;

QString sizeText(int64_t bytes) {
    return QString::fromStdString(humanBytes(bytes, ByteUnitBase::decimal, ByteSizeDisplayMode::dynamic, 1));
}

// "\n\nOn disk now: ..." when something was read.
QString onDiskSuffix(const DiskTotals& disk, const std::vector<ActionTarget>& items) {
    const QString onDisk = onDiskText(disk, items);
    return onDisk.isEmpty() ? QString() : QStringLiteral("\n\n") + onDisk;
}

}  // namespace

QString fillCount(const QString& format, long long count) { return fillFormat(format, {int64_t(count)}); }

QString shownPath(const std::string& bytes) { return withVisibleControlCharacters(QString::fromStdString(bytes)); }

QString errorText(int err) {
    if (err == kSourceChangedError) return localized("It changed while it was being copied, so the unfinished copy was removed.");
    if (err == kArchiveSourceChangedError)
        return localized("It changed while it was being compressed, so the unfinished archive was removed.");
    return QString::fromLocal8Bit(std::strerror(err));
}

QString topFolderReason() { return localized("\"/\" is the top folder of the system: no file action changes or copies it."); }

QString linkAboveReason(const std::string& linkAt) {
    return fillPlaceholders(localized("The folder \"%@\" above it has been replaced by a "
                                      "link since the scan; the window never showed where it leads."),
                            {shownPath(linkAt)});
}

QString impliedFolderReason() {
    return localized("The imported file has no row of its own for this folder, so "
                     "what it holds on disk was never shown.");
}

QString withoutFullPathReason() {
    return localized("The imported file gives only a relative path for it, so where it is on disk is unknown.");
}

QString mountPointReason() {
    return localized("Another file system is mounted at this folder, and the window shows it empty. Unmount it first.");
}

QString mountBelowReason(const std::string& relativePath) {
    return fillPlaceholders(localized("Another file system is mounted inside it, at \"%@\", and the window shows that "
                                      "folder empty. Unmount it first."),
                            {shownPath(relativePath)});
}

QString unreadableBelowReason(const std::string& failedPath, int err) {
    return fillPlaceholders(localized("What it holds on disk now can't be read: \"%@\": %@."), {shownPath(failedPath), errorText(err)});
}

QString noTrashReason(const std::string& failedPath, int err) {
    if (failedPath.empty()) return errorText(err);
    return fillPlaceholders(localized("Its volume has no Trash, and none can be made at \"%@\": %@."),
                            {shownPath(failedPath), errorText(err)});
}

QString trashInsideReason() { return localized("The Trash is inside it, and a folder can't be moved into itself."); }

QString goneMissingReason() { return localized("The item is no longer there."); }

QString cannotRenameRootReason() { return localized("A scanned folder itself can't be renamed here."); }

QString nameTakenReason(const QString& name) {
    return fillPlaceholders(localized("An item named \"%@\" already exists in this location."), {withVisibleControlCharacters(name)});
}

QString madeItemReason(const MadeItem& made, const std::string& itemName) {
    if (made.failedPath.empty() || made.failedPath == itemName) return errorText(made.error);
    return fillPlaceholders(localized("\"%@\": %@"), {shownPath(made.failedPath), errorText(made.error)});
}

QString removalReason(const RemovalResult& removal) {
    if (removal.error == EBUSY && removal.remaining == 0) return mountPointReason();
    if (removal.remaining <= 1 || removal.firstRemaining.empty())
        return errorText(removal.firstError ? removal.firstError : removal.error);
    return fillFormat(localized("%d items remain, among them \"%@\": %@."),
                      {int64_t(removal.remaining), shownPath(removal.firstRemaining), errorText(removal.firstError)});
}

QString reasonsText(const std::vector<Failure>& failures) {
    if (failures.size() == 1) return failures.front().reason;
    QStringList lines;
    for (size_t i = 0; i < failures.size() && i < kNamedFailures; ++i)
        lines << fillPlaceholders(localized("\"%@\": %@"), {failures[i].target.displayName(), failures[i].reason});
    if (failures.size() > kNamedFailures)
        lines << fillCount(localized("and %d more."), (long long)(failures.size() - kNamedFailures));
    return lines.join(QLatin1Char('\n'));
}

QString onDiskText(const DiskTotals& disk, const std::vector<ActionTarget>& items) {
    if (disk.surveyed.empty()) return {};
    bool any = false;
    DiskTotals::Counts sum;
    for (const ActionTarget& t : items) {
        auto found = disk.surveyed.find(t.node);
        if (found == disk.surveyed.end()) continue;
        any = true;
        sum.items += found->second.items;
        sum.bytes += found->second.bytes;
    }
    if (!any) return {};
    if (sum.items == 1) return fillFormat(localized("On disk now: 1 item, %@"), {sizeText(sum.bytes)});
    return fillFormat(localized("On disk now: %@ items, %@"), {QLocale().toString(qlonglong(sum.items)), sizeText(sum.bytes)});
}

AlertRequest failureAlert(Change change, const std::vector<Failure>& failures) {
    const bool one = failures.size() == 1;
    const QString name = failures.empty() ? QString() : failures.front().target.displayName();
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
    return alert;
}

AlertRequest trashQuestion(const std::vector<ActionTarget>& items, const DiskTotals& disk) {
    AlertRequest alert;
    alert.message = items.size() == 1 ? fillPlaceholders(localized("Move \"%@\" to the Trash?"), {items.front().displayName()})
                                      : fillCount(localized("Move %d items to the Trash?"), (long long)items.size());
    alert.informativeText = localized("You can recover this from the Trash until it's emptied.") + onDiskSuffix(disk, items);
    alert.buttons = {localized("Move to Trash"), localized("Cancel")};
    return alert;
}

AlertRequest eraseQuestion(const std::vector<ActionTarget>& items, const DiskTotals& disk) {
    AlertRequest alert;
    alert.message = items.size() == 1 ? fillPlaceholders(localized("Permanently erase \"%@\"?"), {items.front().displayName()})
                                      : fillCount(localized("Permanently erase %d items?"), (long long)items.size());
    alert.informativeText = localized("You can't undo this action.") + onDiskSuffix(disk, items);
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    alert.defaultButton = 1;  // what cannot be undone is never one key press away
    return alert;
}

AlertRequest eraseInsteadQuestion(const std::vector<Failure>& offered, const std::vector<ActionTarget>& items,
                                  const DiskTotals& disk) {
    AlertRequest alert;
    alert.message = offered.size() == 1
        ? fillPlaceholders(localized("\"%@\" can't be moved to the Trash."), {offered.front().target.displayName()})
        : fillCount(localized("%d items can't be moved to the Trash."), (long long)offered.size());
    alert.informativeText = reasonsText(offered) + QStringLiteral("\n\n") +
                            localized("Do you want to delete the item immediately instead? You can't undo this action.") +
                            onDiskSuffix(disk, items);
    alert.buttons = {localized("Delete Immediately"), localized("Cancel")};
    alert.defaultButton = 1;
    return alert;
}

AlertRequest manyWindowsQuestion(int count, const QString& windowKind) {
    AlertRequest alert;
    alert.message = fillFormat(localized("You are about to open %d %@ - are you sure?"), {int64_t(count), windowKind});
    alert.buttons = {localized("Open"), localized("Cancel")};
    return alert;
}

AlertRequest clipboardLimitAlert(int64_t limit) {
    AlertRequest alert;
    alert.message = fillPlaceholders(localized("The clipboard carries at most %@. Select fewer items and copy again."),
                                     {sizeText(limit)});
    alert.buttons = {localized("OK")};
    return alert;
}

AlertRequest noFileManagerAlert() {
    AlertRequest alert;
    alert.message = localized("No file manager could be started.");
    alert.informativeText = localized("None answers on the session bus, and no program that opens folders (xdg-open) was found.");
    alert.buttons = {localized("OK")};
    return alert;
}

AlertRequest noTerminalAlert(const std::string& program, int err) {
    AlertRequest alert;
    alert.message = localized("No terminal program could be started.");
    alert.informativeText = program.empty()
        ? localized("Neither x-terminal-emulator nor the program that TERMINAL names was found.")
        : fillPlaceholders(localized("\"%@\": %@"), {shownPath(program), errorText(err)});
    alert.buttons = {localized("OK")};
    return alert;
}

AlertRequest cannotOpenAlert(const QString& name, size_t count, const OpenFailure& why) {
    AlertRequest alert;
    alert.message = count == 1 ? fillPlaceholders(localized("\"%@\" could not be opened."), {name})
                               : fillCount(localized("%d items could not be opened."), (long long)count);
    if (why.program.empty()) alert.informativeText = localized("No program that opens files (xdg-open) was found.");
    else if (why.err) alert.informativeText = fillPlaceholders(localized("\"%@\": %@"), {shownPath(why.program), errorText(why.err)});
    else
        alert.informativeText = fillPlaceholders(localized("\"%@\" ended with exit status %@."),
                                                 {shownPath(why.program), QString::number(why.exitStatus)});
    alert.buttons = {localized("OK")};
    return alert;
}

AlertRequest noNewInstanceAlert(const std::string& program, int err) {
    AlertRequest alert;
    alert.message = localized("No new instance of ZelvaneMac could be started.");
    if (!program.empty()) alert.informativeText = fillPlaceholders(localized("\"%@\": %@"), {shownPath(program), errorText(err)});
    alert.buttons = {localized("OK")};
    return alert;
}

QString readingPanelText() { return localized("Reading what is on disk now\u2026"); }
QString deletingPanelText() { return localized("Deleting\u2026"); }
QString trashingPanelText() { return localized("Moving to the Trash\u2026"); }

}  // namespace alerts

void tellFailures(ActionPrompter& prompter, Change change, const std::vector<Failure>& failures) {
    if (!failures.empty()) prompter.ask(alerts::failureAlert(change, failures));
}

}  // namespace zelvane
