#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

#include "ZelvaneMac/Services/MarsholtSoftwareAPI.hpp"

class QNetworkAccessManager;

namespace zelvane {

class Preferences;

// Decides when to ask the update server, remembers the day of the last check and publishes an
// update that was found. One per program, made by the application and shared by its windows;
// GUI thread only. It shows nothing itself: a check asked to display its outcome emits
// `outcomeToShow`, and the window turns that into an alert.
class UpdateChecker final : public QObject {
    Q_OBJECT
public:
    struct AvailableUpdate {
        QString version;
        QUrl infoURL;
        bool operator==(const AvailableUpdate&) const = default;
    };
    // Loads `url` and calls `done(error, body)` on the GUI thread: `error` empty when a reply
    // arrived (body cut at MarsholtSoftwareAPI::maxReplyBytes + 1 bytes), else the reason.
    using Loader = std::function<void(const QUrl& url, std::function<void(QString error, QByteArray body)> done)>;

    // The network loader when `loader` is empty; the clock is the system's unless given.
    explicit UpdateChecker(Preferences& preferences, Loader loader = {},
                           std::function<QDateTime()> clock = {}, QObject* parent = nullptr);
    ~UpdateChecker() override;

    const std::optional<AvailableUpdate>& availableUpdate() const { return availableUpdate_; }
    // Forgets the published update (the banner's close button, in every window at once).
    void clearAvailableUpdate();

    // `force` skips the enabled switch and the once-a-day rule; `displayIfNotFound` reports a
    // check that found nothing or failed through `outcomeToShow`.
    void checkForUpdates(bool force, bool displayIfNotFound);

    // How long the network loader waits for the server: 10 seconds unless changed (tests).
    void setRequestTimeout(std::chrono::milliseconds timeout) { requestTimeout_ = timeout; }

    // "yyyy-MM-dd" of the day `when` falls on in the local time zone.
    static QString dayString(const QDateTime& when);

signals:
    void availableUpdateChanged();
    // `isWarning` for a failed check ("Error checking for updates: %@"), else "No update found.".
    void outcomeToShow(bool isWarning, const QString& message);

private:
    void finish(const MarsholtSoftwareAPI::UpdateCheckResult& result, bool displayIfNotFound);
    void loadFromNetwork(const QUrl& url, std::function<void(QString, QByteArray)> done);

    Preferences& preferences_;
    Loader loader_;
    std::function<QDateTime()> clock_;
    QNetworkAccessManager* network_ = nullptr;
    std::chrono::milliseconds requestTimeout_{10'000};
    std::optional<AvailableUpdate> availableUpdate_;
};

}  // namespace zelvane
