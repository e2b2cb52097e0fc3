#include "ZelvaneMac/Actions/SystemDesktopServices.hpp"

#include <unistd.h>

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cstdlib>

#include "Platform/FileMoves.hpp"

namespace zelvane {

namespace {

constexpr int kFileManagerTimeoutMillis = 3000;

bool callFileManager(const QString& method, const QList<QUrl>& urls) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnectionInterface* registry = bus.interface();
    if (!registry) return false;
    // A service that is not running but can be started on demand also answers.
    auto registered = registry->isServiceRegistered(service);
    if (!registered.isValid()) return false;
    if (!registered.value()) {
        auto activatable = registry->activatableServiceNames();
        if (!activatable.isValid() || !activatable.value().contains(service)) return false;
    }
    QStringList uris;
    for (const QUrl& u : urls) uris << QString::fromLatin1(u.toEncoded());
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                                      service, method);
    call << uris << QString();
    QDBusMessage reply = bus.call(call, QDBus::Block, kFileManagerTimeoutMillis);
    return reply.type() == QDBusMessage::ReplyMessage;
}

// An opener that was started, until it ends; then what it ended with is heard, and the watch goes.
class OpenerWatch final : public QObject {
public:
    OpenerWatch(WatchedProcess process, std::string program, std::function<void(const OpenFailure&)> ended)
        : process_(std::move(process)), program_(std::move(program)), ended_(std::move(ended)),
          notifier_(process_.ended.get(), QSocketNotifier::Read, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            notifier_.setEnabled(false);
            const int status = reapWatchedProcess(process_);
            if (status > 0 && ended_) ended_(OpenFailure{program_, 0, status});
            deleteLater();
        });
    }

private:
    WatchedProcess process_;
    std::string program_;
    std::function<void(const OpenFailure&)> ended_;
    QSocketNotifier notifier_;
};

}  // namespace

QUrl fileUrlFromPathBytes(const std::string& path) {
    QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
    return QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode);
}

bool SystemDesktopServices::openUrl(const QUrl& url, OpenFailure& failure,
                                    std::function<void(const OpenFailure&)> ended) {
    // Looked up each time: the PATH that counts is the one of this moment.
    failure.program = QStandardPaths::findExecutable(QStringLiteral("xdg-open")).toStdString();
    if (failure.program.empty()) return false;
    WatchedProcess opener;
    failure.err = startWatchedProcess(failure.program, {url.toEncoded().toStdString()}, opener);
    if (failure.err) return false;
    if (opener.ended) (new OpenerWatch(std::move(opener), failure.program, std::move(ended)))->setParent(qApp);
    return true;
}

bool SystemDesktopServices::showItems(const QList<QUrl>& urls) {
    return callFileManager(QStringLiteral("ShowItems"), urls);
}

bool SystemDesktopServices::showItemProperties(const QList<QUrl>& urls) {
    return callFileManager(QStringLiteral("ShowItemProperties"), urls);
}

std::string SystemDesktopServices::terminalProgram() {
    QString found = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (found.isEmpty()) {
        const char* preferred = std::getenv("TERMINAL");
        if (preferred && *preferred) {
            std::string p = preferred;
            if (p[0] == '/') return access(p.c_str(), X_OK) == 0 ? p : std::string();
            found = QStandardPaths::findExecutable(QString::fromLocal8Bit(preferred));
        }
    }
    return found.toStdString();
}

std::string SystemDesktopServices::ownProgram() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

int SystemDesktopServices::startDetached(const std::string& program, const std::vector<std::string>& arguments,
                                         const std::string& workingDirectory) {
    return startDetachedProcess(program, arguments, workingDirectory);
}

void SystemDesktopServices::setClipboard(QMimeData* data) {
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

}  // namespace zelvane
