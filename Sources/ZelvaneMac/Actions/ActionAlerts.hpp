#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/ChangeRules.hpp"

namespace zelvane {

struct DiskTotals;
struct MadeItem;
struct RemovalResult;

// The words of the file actions: why an item was refused or failed, and the alerts that ask and
// tell. Every text goes through the strings look-up here, and nowhere else in the actions.
namespace alerts {

// "%d" filled with a count (the look-up happens before).
QString fillCount(const QString& format, long long count);
// Path bytes below an item as a message shows them.
QString shownPath(const std::string& bytes);

// Reasons, as the alerts' informative text says them.
QString errorText(int err);
QString topFolderReason();
QString linkAboveReason(const std::string& linkAt);
QString impliedFolderReason();
QString withoutFullPathReason();
QString mountPointReason();
QString mountBelowReason(const std::string& relativePath);
QString unreadableBelowReason(const std::string& failedPath, int err);
QString noTrashReason(const std::string& failedPath, int err);
QString trashInsideReason();
QString goneMissingReason();
QString cannotRenameRootReason();
QString nameTakenReason(const QString& name);
QString madeItemReason(const MadeItem& made, const std::string& itemName);
// Why a removal left the item (or part of a folder) where it was.
QString removalReason(const RemovalResult& removal);

// One failure's reason, or a line "name": reason for each of several (the first few named).
QString reasonsText(const std::vector<Failure>& failures);
// "On disk now: ..." over those of `items` whose contents were read; empty when none was.
QString onDiskText(const DiskTotals& disk, const std::vector<ActionTarget>& items);

// What `change` could not do to `failures`, with their reasons and "OK".
AlertRequest failureAlert(Change change, const std::vector<Failure>& failures);
AlertRequest trashQuestion(const std::vector<ActionTarget>& items, const DiskTotals& disk);
AlertRequest eraseQuestion(const std::vector<ActionTarget>& items, const DiskTotals& disk);
// The offer to erase what could not go to the Trash (`items` are the offered failures' targets).
AlertRequest eraseInsteadQuestion(const std::vector<Failure>& offered, const std::vector<ActionTarget>& items,
                                  const DiskTotals& disk);
AlertRequest manyWindowsQuestion(int count, const QString& windowKind);
// A copy refused because the clipboard carries no more than `limit` bytes.
AlertRequest clipboardLimitAlert(int64_t limit);
// Nothing showed the items: no file manager answered, and no program opened their folders.
AlertRequest noFileManagerAlert();
// No terminal program was found (empty `program`), or the one found could not be started.
AlertRequest noTerminalAlert(const std::string& program = {}, int err = 0);
// The desktop's opener did not open `count` items, the first of them named `name`.
AlertRequest cannotOpenAlert(const QString& name, size_t count, const OpenFailure& why);
// No new instance of this program could be started.
AlertRequest noNewInstanceAlert(const std::string& program, int err);

// The panels' texts.
QString readingPanelText();
QString deletingPanelText();
QString trashingPanelText();

}  // namespace alerts

// Tells the failures in one alert; nothing when there are none.
void tellFailures(ActionPrompter& prompter, Change change, const std::vector<Failure>& failures);

}  // namespace zelvane
