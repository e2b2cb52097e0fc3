#include "ZelvaneMac/Services/UpdateChecker.hpp"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

#include "ZelvaneMac/Core/Diagnostics/AppVersion.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace api = MarsholtSoftwareAPI;

namespace {
QString currentVersion() { return QString::fromLatin1(AppVersion::version.data(), qsizetype(AppVersion::version.size())); }
}  // namespace

UpdateChecker::UpdateChecker(Preferences& preferences, Loader loader, std::function<QDateTime()> clock,
                             QObject* parent)
    : QObject(parent), preferences_(preferences), loader_(std::move(loader)), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return QDateTime::currentDateTime(); };
    if (!loader_) {
        loader_ = [this](const QUrl& url, std::function<void(QString, QByteArray)> done) {
            loadFromNetwork(url, std::move(done));
        };
    }
}

UpdateChecker::~UpdateChecker() = default;

QString UpdateChecker::dayString(const QDateTime& when) {
    return QLocale::c().toString(when.toLocalTime().date(), QStringLiteral("yyyy-MM-dd"));
}

void UpdateChecker::clearAvailableUpdate() {
    if (!availableUpdate_) return;
    availableUpdate_.reset();
    emit availableUpdateChanged();
}

void UpdateChecker::checkForUpdates(bool force, bool displayIfNotFound) {
    // A stored value that is not a Boolean reads as the default: on.
    if (!force && !preferences_.value(PreferenceKeys::checkForUpdatesEnabled)) return;
    const QString today = dayString(clock_());
    const std::optional<QString> last = preferences_.stringValue(preferenceKeyName(PreferenceKeys::lastUpdateCheckDate));
    const bool isNewInstall = !last.has_value();
    if (!force && last == today) return;
    // Recorded before the request goes out: a failed check counts for the day too.
    preferences_.set(PreferenceKeys::lastUpdateCheckDate, today);

    const QString base = preferences_.value(PreferenceKeys::updateServerBaseURL);
    const QUrl url = api::requestURL(base, currentVersion(), isNewInstall);
    if (!url.isValid()) {
        finish(api::UpdateFailed{localized("Invalid URL")}, displayIfNotFound);
        return;
    }
    QPointer<UpdateChecker> self(this);
    loader_(url, [self, displayIfNotFound](QString error, QByteArray body) {
        if (!self) return;
        if (error.isEmpty() && body.size() > api::maxReplyBytes) {
            self->finish(api::UpdateFailed{localized("Malformed response")}, displayIfNotFound);
            return;
        }
        self->finish(api::resultOfLoad(error, body, currentVersion()), displayIfNotFound);
    });
}

void UpdateChecker::finish(const api::UpdateCheckResult& result, bool displayIfNotFound) {
    if (const auto* found = std::get_if<api::UpdateAvailable>(&result)) {
        const AvailableUpdate update{found->version, found->infoURL};
        if (availableUpdate_ != update) {
            availableUpdate_ = update;
            emit availableUpdateChanged();
        }
        return;
    }
    if (const auto* failed = std::get_if<api::UpdateFailed>(&result)) {
        if (displayIfNotFound) {
            emit outcomeToShow(true, fillPlaceholders(localized("Error checking for updates: %@"), {failed->message}));
        }
        return;
    }
    clearAvailableUpdate();
    if (displayIfNotFound) emit outcomeToShow(false, localized("No update found."));
}

void UpdateChecker::loadFromNetwork(const QUrl& url, std::function<void(QString, QByteArray)> done) {
    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(requestTimeout_.count()));
    // The reply is a few lines: an address that redirects elsewhere is not followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network_->get(request);
    auto body = std::make_shared<QByteArray>();
    auto tooLong = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLong] {
        body->append(reply->read(api::maxReplyBytes + 1 - body->size()));
        if (body->size() > api::maxReplyBytes && !*tooLong) {
            *tooLong = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, reply, [reply, body, tooLong, done = std::move(done)] {
        reply->deleteLater();
        if (*tooLong) {
            done({}, *body);
            return;
        }
        if (reply->isReadable()) body->append(reply->read(api::maxReplyBytes + 1 - body->size()));
        // An HTTP error status still carries a body that is parsed like any other reply.
        const bool loaded = reply->error() == QNetworkReply::NoError ||
                            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (loaded) {
            done({}, *body);
            return;
        }
        // Nothing here aborts a request but the transfer timeout (a reply that grew too long is
        // handled above), and Qt reports that as a cancellation: say what happened.
        done(reply->error() == QNetworkReply::OperationCanceledError ? localized("The request timed out.")
                                                                     : reply->errorString(),
             *body);
    });
}

}  // namespace zelvane
