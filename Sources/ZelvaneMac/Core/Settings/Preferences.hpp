#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace zelvane {

// A preference key with the value it reads as while absent or stored with the wrong type.
struct BoolKey {
    std::string_view name;
    bool defaultValue;
};
struct IntKey {
    std::string_view name;
    int64_t defaultValue;
};
struct StringKey {
    std::string_view name;
    std::string_view defaultValue;  // UTF-8
};

// Every preference key of the main window and of the application, with its default. Keys whose
// name ends in "JSON" hold a list as the JSON text of an array of strings.
namespace PreferenceKeys {
inline constexpr StringKey selectedTab{"selectedTab", "treeView"};
inline constexpr StringKey csvExportLastFolder{"csvExportLastFolder", ""};
inline constexpr StringKey csvExportLastExtension{"csvExportLastExtension", "csv"};
inline constexpr BoolKey csvExportFiles{"csvExportFiles", true};
inline constexpr BoolKey csvExportFolders{"csvExportFolders", true};
inline constexpr BoolKey csvExportFileID{"csvExportFileID", false};
inline constexpr BoolKey csvExportDates{"csvExportDates", false};
inline constexpr BoolKey csvExportFolderSizes{"csvExportFolderSizes", false};
inline constexpr BoolKey csvSplitFilename{"csvSplitFilename", false};
inline constexpr BoolKey csvExportDriveCapacity{"csvExportDriveCapacity", true};
inline constexpr BoolKey csvExportPercentOfParent{"csvExportPercentOfParent", false};
inline constexpr IntKey csvMaxDepth{"csvMaxDepth", 0};
inline constexpr IntKey treemapExportWidth{"treemapExportWidth", 1920};
inline constexpr IntKey treemapExportHeight{"treemapExportHeight", 1080};
inline constexpr BoolKey treemapExportShadesOfGray{"treemapExportShadesOfGray", false};
inline constexpr StringKey selectMultipleCustomFoldersJSON{"selectMultipleCustomFoldersJSON", "[]"};
inline constexpr StringKey fileSearchHistoryJSON{"fileSearchHistoryJSON", "[]"};
inline constexpr BoolKey fileMatchEntirePath{"fileMatchEntirePath", true};
inline constexpr BoolKey fileIncludeFolders{"fileIncludeFolders", false};
inline constexpr StringKey fileMaxFilesOption{"fileMaxFilesOption", "1,000"};
inline constexpr IntKey fileDupMethod{"fileDupMethod", 2};
inline constexpr BoolKey fileDupsOnly{"fileDupsOnly", false};
inline constexpr StringKey includeFilterText{"includeFilterText", ""};
inline constexpr StringKey excludeFilterText{"excludeFilterText", ""};
inline constexpr BoolKey filterMatchEntirePath{"filterMatchEntirePath", true};
inline constexpr StringKey includeFilterHistoryJSON{"includeFilterHistoryJSON", "[]"};
inline constexpr StringKey excludeFilterHistoryJSON{"excludeFilterHistoryJSON", "[]"};
inline constexpr BoolKey autoScanAfterSelection{"autoScanAfterSelection", true};
inline constexpr BoolKey monitorFileSystemForChanges{"monitorFileSystemForChanges", true};
inline constexpr BoolKey tweakEnableDragDrop{"tweakEnableDragDrop", true};
inline constexpr BoolKey tweakEnableRename{"tweakEnableRename", true};
inline constexpr BoolKey tweakEnableDoubleClickOpen{"tweakEnableDoubleClickOpen", true};
inline constexpr BoolKey tweakShowMaxModifiedDate{"tweakShowMaxModifiedDate", true};
inline constexpr BoolKey tweakShowHorizontalLines{"tweakShowHorizontalLines", false};
inline constexpr BoolKey tweakAltRowColors{"tweakAltRowColors", true};
inline constexpr BoolKey tweakGradientEnabled{"tweakGradientEnabled", true};
inline constexpr IntKey tweakDecimalPlaces{"tweakDecimalPlaces", 1};
inline constexpr IntKey tweakFileGroupMinSize{"tweakFileGroupMinSize", 4};
inline constexpr BoolKey hasFullDiskAccessCached{"hasFullDiskAccessCached", true};
inline constexpr BoolKey suppressFullDiskAccessPrompt{"suppressFullDiskAccessPrompt", false};
inline constexpr BoolKey suppressMoveToApplicationsPrompt{"suppressMoveToApplicationsPrompt", false};
inline constexpr IntKey byteUnitBase{"byteUnitBase", 1000};
inline constexpr IntKey byteSizeDisplayMode{"byteSizeDisplayMode", 0};
inline constexpr BoolKey treemapColorBySize{"treemapColorBySize", true};
// The empty text stands for the default palette and the default extension lists.
inline constexpr StringKey treemapPaletteColorsJSON{"treemapPaletteColorsJSON", ""};
inline constexpr StringKey treemapExtensionListsJSON{"treemapExtensionListsJSON", ""};

// View toggles that seed each new window (read once when the window is made).
inline constexpr BoolKey showFilterPanel{"showFilterPanel", false};
inline constexpr BoolKey showTreemapAllocatedSize{"showTreemapAllocatedSize", true};
inline constexpr BoolKey showTreemapFilenames{"showTreemapFilenames", true};
inline constexpr BoolKey showTreemapFreeSpace{"showTreemapFreeSpace", false};
inline constexpr BoolKey showFileTypes{"showFileTypes", true};
inline constexpr BoolKey showTreemap{"showTreemap", true};

// Application-level keys.
inline constexpr BoolKey checkForUpdatesEnabled{"checkForUpdatesEnabled", true};
inline constexpr BoolKey checkForUpdatesLockedByAdmin{"checkForUpdatesLockedByAdmin", false};
inline constexpr StringKey appLanguageOverride{"appLanguageOverride", "system"};
// Day ("yyyy-MM-dd", local time) of the last update check that went out; absent on a new install.
inline constexpr StringKey lastUpdateCheckDate{"lastUpdateCheckDate", ""};
// Where the update check asks; a neutral address of our own unless an administrator sets one.
inline constexpr StringKey updateServerBaseURL{"updateServerBaseURL", "https://updates.zelvanemac.example"};
// Written at start-up from the override: a JSON list of one language code, absent for "system".
inline constexpr StringKey appleLanguages{"AppleLanguages", ""};
}  // namespace PreferenceKeys

// The key's name, as `Preferences::changed` reports it and the untyped accessors take it.
template <typename Key>
QString preferenceKeyName(const Key& key) {
    return QString::fromUtf8(key.name.data(), qsizetype(key.name.size()));
}

// The application's preference store: one property-list file, one typed value per key. The
// program makes one and hands it to every window, menu and service; `changed(key)` tells them all at
// once when a value is stored or removed (not when the same value is stored again). GUI thread only.
//
// The file is read when the store is made. Changes are kept in memory and written a moment later
// (once control returns to the event loop), by `synchronize()`, or when the store is destroyed,
// whichever comes first; the file is replaced by a complete new one, never rewritten in place.
// `synchronize()` also re-reads the file, so a change made elsewhere (another process, or another
// store on the same file) is picked up; this store's unwritten changes are applied on top of it, so
// none writes another's changes to other keys away.
//
// A file that cannot be read is never written over. A file that is no property list (or nests
// deeper than any settings do) reads as empty when the store is made, and a file that becomes one
// later leaves the store's settings as they were; either is replaced, by every setting the store
// holds, only once something is changed, after its bytes were kept beside it as
// "<name>.malformed", then "<name>.malformed.2", ...: no copy replaces another, and nothing is
// replaced when the copy fails. A symbolic link to a file
// of settings is written through; a link to anything else is replaced itself, so the file it names
// is never overwritten. A value stored with another type than the one asked for reads as absent,
// and so as the key's default.
class Preferences final : public QObject {
    Q_OBJECT
public:
    // The user's store, $XDG_CONFIG_HOME/ZelvaneMac/ZelvaneMac.plist (~/.config when unset),
    // resolved when the object is made.
    Preferences();
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    ~Preferences();
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    static QString standardFilePath();

    QString filePath() const;

    // The stored value as it is, invalid when absent.
    QVariant object(const QString& key) const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<int64_t> integerValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;

    bool value(const BoolKey& key) const;
    int64_t value(const IntKey& key) const;
    QString value(const StringKey& key) const;
    // The key's text decoded as a JSON array of strings; none when it does not decode as one
    // (the absent default included, unless the default itself is such a list).
    std::optional<QStringList> jsonStringList(const StringKey& key) const;
    // The same with every failure read as an empty list.
    QStringList stringList(const StringKey& key) const { return jsonStringList(key).value_or(QStringList{}); }

    void set(const BoolKey& key, bool value);
    void set(const IntKey& key, int64_t value);
    void set(const StringKey& key, const QString& value);
    // Stored as compact JSON text.
    void setStringList(const StringKey& key, const QStringList& list);
    // False (and nothing stored) for a value that a property list cannot hold.
    bool setObject(const QString& key, const QVariant& value);
    void remove(const QString& key);

    QStringList allKeys() const;
    QVariantMap dictionaryRepresentation() const;

    // Re-reads the file and writes pending changes; empty on success, else the reason (the file
    // cannot be read, is no property list, or cannot be replaced).
    QString synchronize();

signals:
    void changed(const QString& key);
    // Changes could not be written to `path` (a file there that cannot be read, such as a FIFO or
    // a device, is never written over; the folder may be full, read-only or not a folder): why, in
    // the system's words. Sent once in the life of the store, at the first failure; the program
    // tells the user once. A failure of the last write, made as the store goes, goes to standard
    // error instead.
    void saveFailed(const QString& path, const QString& reason);

private:
    struct File;
    struct SaveOutcome {
        QString problem;  // what synchronize() returns
        QString failure;  // why pending changes were not written; empty when they were, or none were pending
    };
    SaveOutcome save();

    void store(const QString& key, const QVariant& value);
    void recordChange(const QString& key, std::optional<QVariant> value);

    std::unique_ptr<File> file_;
    bool flushQueued_ = false;
    bool saveFailureReported_ = false;
};

}  // namespace zelvane
