#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QUrlQuery>

#include <memory>

#include "LocalHttpServer.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Services/MarsholtSoftwareAPI.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"

namespace zelvane {
namespace {

namespace api = MarsholtSoftwareAPI;

api::UpdateCheckResult parse(const char* body, const char* current = "1.00") {
    return api::parseReply(QByteArray(body), QString::fromLatin1(current));
}

TEST(UpdateReply, ParsesTheServersLinesAndComparesVersionsAsDecimals) {
    const auto update = [](const char* v, const char* url) { return api::UpdateCheckResult(api::UpdateAvailable{v, QUrl(url)}); };
    const api::UpdateCheckResult none = api::NoUpdate{};
    struct Case {
        const char* body;
        api::UpdateCheckResult expected;
    } cases[] = {
        {"VERSION=1.5\nINFOURL=https://example.org/new\njunk line", update("1.5", "https://example.org/new")},
        {"VERSION=1.00\nINFOURL=https://example.org/new", none},
        {"VERSION=0.99\nINFOURL=https://example.org/new", none},
        {"VERSION=2", none},                                         // no information address
        {"version=2\nINFOURL=https://example.org/", none},           // keys are exact
        {"VERSION = 2\nINFOURL=https://example.org/", none},         // "VERSION " is another key
        {"VERSION=1.1\nVERSION=1.9\nINFOURL=https://e.org/x=y", update("1.9", "https://e.org/x=y")},
        {"VERSION=1.10\r\nINFOURL=https://e.org/\r\n", update("1.10", "https://e.org/")},
        {"VERSION=2\xE2\x80\xA8INFOURL=http://e.org/", update("2", "http://e.org/")},  // U+2028 ends a line
        // Hostile or broken replies never become an update.
        {"VERSION=nan\nINFOURL=https://e.org/", none},
        {"VERSION=inf\nINFOURL=https://e.org/", none},
        {"VERSION=1e9\nINFOURL=https://e.org/", none},
        {"VERSION=0x10\nINFOURL=https://e.org/", none},
        {"VERSION= 2\nINFOURL=https://e.org/", none},
        {"VERSION=2,5\nINFOURL=https://e.org/", none},
        {"VERSION=1.5x\nINFOURL=https://e.org/", none},
        {"VERSION=2\nINFOURL=javascript:alert(1)", none},
        {"VERSION=2\nINFOURL=file:///etc/passwd", none},
        {"VERSION=2\nINFOURL=/relative/page", none},
        {"VERSION=2\nINFOURL=https://", none},
        {"<html>404 Not Found</html>", none},
        {"", none},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.body), c.expected) << c.body;
    EXPECT_EQ(parse("VERSION=2\n\xFF\xFE"), api::UpdateCheckResult(api::UpdateFailed{"Malformed response"}));
}

TEST(UpdateReply, RequestCarriesVersionPlatformAndNewInstallOnlyWhenNew) {
    const QUrl first = api::requestURL("https://updates.example/base/", "1.00", true);
    EXPECT_EQ(first.path(), "/base/files/zelvanemacversion.php");
    const QUrlQuery q(first);
    EXPECT_EQ(q.queryItemValue("ver"), "1.00");
    EXPECT_EQ(q.queryItemValue("platform"), "linux");
    EXPECT_EQ(q.queryItemValue("newinstall"), "1");
    EXPECT_FALSE(QUrlQuery(api::requestURL("https://updates.example", "1.00", false)).hasQueryItem("newinstall"));
    for (const char* bad : {"", "not a url", "ftp://host/", "file:///tmp", "https://"}) {
        EXPECT_FALSE(api::requestURL(bad, "1.00", false).isValid()) << bad;
    }
}

// A checker on a temp preference file with a loader that records what was asked and answers
// with a canned reply.
struct CheckerRig {
    QTemporaryDir dir;
    std::unique_ptr<Preferences> prefs;
    QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 0));
    QList<QUrl> requests;
    QString error;
    QByteArray body = "VERSION=2.0\nINFOURL=https://example.org/update";
    std::unique_ptr<UpdateChecker> checker;
    QList<QPair<bool, QString>> shown;

    CheckerRig() {
        qtWidgetApp();
        prefs = std::make_unique<Preferences>(dir.filePath("p.plist"));
        checker = std::make_unique<UpdateChecker>(
            *prefs,
            [this](const QUrl& url, std::function<void(QString, QByteArray)> done) {
                requests << url;
                done(error, body);
            },
            [this] { return now; });
        QObject::connect(checker.get(), &UpdateChecker::outcomeToShow,
                         [this](bool warn, const QString& m) { shown << qMakePair(warn, m); });
    }
};

TEST(UpdateChecker, AsksOnceADayRecordsTheDayFirstAndSendsNewInstallOnlyOnce) {
    CheckerRig rig;
    rig.checker->checkForUpdates(false, false);
    ASSERT_EQ(rig.requests.size(), 1);
    EXPECT_TRUE(QUrlQuery(rig.requests[0]).hasQueryItem("newinstall"));
    ASSERT_TRUE(rig.checker->availableUpdate());
    EXPECT_EQ(rig.checker->availableUpdate()->version, "2.0");
    EXPECT_EQ(rig.prefs->stringValue("lastUpdateCheckDate"), std::optional<QString>("2026-12-08"));

    rig.checker->checkForUpdates(false, false);  // same day: nothing
    EXPECT_EQ(rig.requests.size(), 1);
    rig.checker->checkForUpdates(true, false);   // forced: asks, no longer a new install
    ASSERT_EQ(rig.requests.size(), 2);
    EXPECT_FALSE(QUrlQuery(rig.requests[1]).hasQueryItem("newinstall"));

    rig.now = rig.now.addSecs(120);  // past midnight: a new day
    rig.checker->checkForUpdates(false, false);
    EXPECT_EQ(rig.requests.size(), 3);
    EXPECT_TRUE(rig.shown.isEmpty());  // a found update is a banner, never an alert
}

TEST(UpdateChecker, SwitchedOffSendsNothingButTheMenuCommandStillChecksAndReports) {
    CheckerRig rig;
    rig.prefs->set(PreferenceKeys::checkForUpdatesEnabled, false);
    rig.checker->checkForUpdates(false, true);
    EXPECT_TRUE(rig.requests.isEmpty());
    EXPECT_FALSE(rig.prefs->stringValue("lastUpdateCheckDate"));

    rig.body = "VERSION=1.00\nINFOURL=https://example.org/";
    rig.checker->checkForUpdates(true, true);
    EXPECT_EQ(rig.requests.size(), 1);
    ASSERT_EQ(rig.shown.size(), 1);
    EXPECT_EQ(rig.shown[0], qMakePair(false, QString("No update found.")));

    rig.error = "Connection refused";
    rig.checker->checkForUpdates(true, true);
    ASSERT_EQ(rig.shown.size(), 2);
    EXPECT_EQ(rig.shown[1], qMakePair(true, QString("Error checking for updates: Connection refused")));
}

TEST(UpdateChecker, AFailureKeepsAPublishedUpdateAndNoUpdateClearsIt) {
    CheckerRig rig;
    rig.checker->checkForUpdates(true, false);
    ASSERT_TRUE(rig.checker->availableUpdate());
    rig.error = "timed out";
    rig.checker->checkForUpdates(true, false);
    EXPECT_TRUE(rig.checker->availableUpdate());
    rig.error.clear();
    rig.body = "nothing here";
    rig.checker->checkForUpdates(true, false);
    EXPECT_FALSE(rig.checker->availableUpdate());
}

using LocalServer = LocalHttpServer;

QByteArray httpReply(const QByteArray& status, const QByteArray& body) { return LocalHttpServer::httpReply(status, body); }

TEST(UpdateChecker, TalksToARealServerAndCapsTheReply) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    UpdateChecker checker(prefs);
    QList<QPair<bool, QString>> shown;
    QObject::connect(&checker, &UpdateChecker::outcomeToShow, [&](bool w, const QString& m) { shown << qMakePair(w, m); });

    LocalServer ok(httpReply("200 OK", "VERSION=3.1\nINFOURL=https://example.org/3.1\n"));
    prefs.set(PreferenceKeys::updateServerBaseURL, ok.base());
    checker.checkForUpdates(true, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return checker.availableUpdate().has_value(); }, 15000));
    EXPECT_TRUE(ok.lastRequest.startsWith("GET /files/zelvanemacversion.php?ver=1.00&platform=linux"));

    // An error page is parsed like any reply: without the keys it is "no update".
    LocalServer missing(httpReply("404 Not Found", "<html>gone</html>"));
    prefs.set(PreferenceKeys::updateServerBaseURL, missing.base());
    checker.checkForUpdates(true, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !shown.isEmpty(); }, 15000));
    EXPECT_EQ(shown.takeFirst(), qMakePair(false, QString("No update found.")));
    EXPECT_FALSE(checker.availableUpdate());

    LocalServer huge(httpReply("200 OK", "VERSION=9\nINFOURL=https://e.org/\n" + QByteArray(200 * 1024, 'x')));
    prefs.set(PreferenceKeys::updateServerBaseURL, huge.base());
    checker.checkForUpdates(true, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !shown.isEmpty(); }, 15000));
    EXPECT_EQ(shown.takeFirst(), qMakePair(true, QString("Error checking for updates: Malformed response")));
    EXPECT_FALSE(checker.availableUpdate());
}

}  // namespace
}  // namespace zelvane
