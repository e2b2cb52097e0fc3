#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

#include "Platform/UserAccounts.hpp"

namespace zelvane {

class Preferences;

// Where the program runs from: the bundle folder (build/ZelvaneMac.app, or wherever it was moved)
// and the drive that holds it.
namespace PortableModeFacts {

// The bundle folder of the running program (the folder that holds the executable).
QString bundlePath();
// The data folder beside the bundle: its parent folder plus "ZelvaneMac Data".
QString dataFolderPath(const QString& bundle = bundlePath());

// Whether the drive that holds the bundle is not an internal one: not internal by its bus, else
// removable, else mounted as media.
bool isRunningFromNonInternalVolume(const QString& bundle = bundlePath());
// Whether the data folder exists and is a folder.
bool isPrepared(const QString& bundle = bundlePath());
// The name of the volume that holds the bundle (its label, else its mount point's name).
std::optional<QString> currentVolumeDisplayName(const QString& bundle = bundlePath());

}  // namespace PortableModeFacts

// The settings of a portable copy live in "Settings.plist" of the data folder beside the bundle
// while portable mode is active. One per program, made by the application; GUI thread only.
class PortableMode final : public QObject {
    Q_OBJECT
public:
    // `isNonInternal` answers PortableModeFacts::isRunningFromNonInternalVolume for the bundle
    // (replaced in tests, which cannot plug in a drive).
    explicit PortableMode(QString bundle = PortableModeFacts::bundlePath(),
                          std::function<bool(const QString& bundle)> isNonInternal = {}, QObject* parent = nullptr);

    bool isActive() const { return isActive_; }
    const std::optional<QString>& driveName() const { return driveName_; }
    // Set by a window when the user declines to prepare portable use; not stored.
    bool wasDeclinedThisLaunch() const { return wasDeclinedThisLaunch_; }
    void setWasDeclinedThisLaunch(bool declined) { wasDeclinedThisLaunch_ = declined; }

    // The data folder while active (it need not exist).
    std::optional<QString> dataFolderPath() const;

    // Start-up: active when the copy runs from a non-internal volume and was prepared.
    void activateIfPrepared();
    // Makes this copy portable: creates the data folder and switches portable mode on. False,
    // with nothing changed, on an internal volume or when the folder cannot be made.
    bool prepare();

    // The keys that never travel to or from "Settings.plist": they describe this machine.
    static const QSet<QString>& syncExcludedKeys();

    // "Settings.plist" applied to `preferences` (excluded keys skipped); silent on any failure.
    void syncPreferencesFromPortableDriveIfActive(Preferences& preferences) const;
    // `preferences` (less the excluded keys) written to "Settings.plist", replacing it only once
    // complete; in an elevated run the file is written as `realUser`. Returns 0 or an errno.
    int syncPreferencesBackToPortableDriveIfActive(Preferences& preferences,
                                                   std::optional<UserAccount> realUser = elevatedRealUser()) const;

signals:
    void changed();

private:
    void activate();

    QString bundle_;
    std::function<bool(const QString&)> isNonInternal_;
    bool isActive_ = false;
    std::optional<QString> driveName_;
    bool wasDeclinedThisLaunch_ = false;
};

}  // namespace zelvane
