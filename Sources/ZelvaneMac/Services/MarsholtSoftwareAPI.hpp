#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <variant>

namespace zelvane {

// The requests that go to the maker's web service: today only the update check.
namespace MarsholtSoftwareAPI {

struct UpdateAvailable {
    QString version;  // exactly as the server wrote it
    QUrl infoURL;     // the page that describes the update: always an absolute http(s) address
    bool operator==(const UpdateAvailable&) const = default;
};
struct UpdateFailed {
    QString message;  // ready to show
    bool operator==(const UpdateFailed&) const = default;
};
struct NoUpdate {
    bool operator==(const NoUpdate&) const = default;
};
using UpdateCheckResult = std::variant<UpdateAvailable, UpdateFailed, NoUpdate>;

// Replies longer than this are not read further: a version line fits in a few bytes, and nothing
// the server sends is worth holding megabytes for.
inline constexpr qsizetype maxReplyBytes = 64 * 1024;

// The request address for a server base ("https://host[:port][/prefix]"); invalid when the base
// is no absolute http(s) address.
QUrl requestURL(const QString& serverBase, const QString& currentVersion, bool isNewInstall);

// The reply's body turned into a result, as the update server's protocol reads: lines of
// KEY=value, "VERSION" and "INFOURL" used, versions compared as decimal numbers.
UpdateCheckResult parseReply(const QByteArray& body, const QString& currentVersion);

// A number in the C locale's notation that covers the whole text; none for anything else (a
// leading space, a comma, "nan", "inf", hexadecimal).
std::optional<double> strictDecimal(const QString& text);

// The result of a request that went out, given how the loading ended: `error` is empty when a
// reply arrived (whatever its HTTP status), else the loader's description of the failure.
UpdateCheckResult resultOfLoad(const QString& error, const QByteArray& body, const QString& currentVersion);

}  // namespace MarsholtSoftwareAPI
}  // namespace zelvane
