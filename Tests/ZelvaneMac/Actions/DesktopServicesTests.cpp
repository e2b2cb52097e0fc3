#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cstdlib>

#include "ActionTestSupport.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Actions/SystemDesktopServices.hpp"

namespace zelvane {

// A file manager on the bus that only writes down what it was asked. It lives on a thread of its
// own, because the program's call blocks its caller until the answer comes.
class FakeFileManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList calls() {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) { record("ShowItems", uris, startupId); }
    void ShowItemProperties(const QStringList& uris, const QString& startupId) {
        record("ShowItemProperties", uris, startupId);
    }

private:
    void record(const char* method, const QStringList& uris, const QString& startupId) {
        QMutexLocker lock(&mutex_);
        calls_ << QString::fromLatin1(method) + "|" + uris.join('|') + "|" + startupId;
    }
    QMutex mutex_;
    QStringList calls_;
};

namespace {

using namespace zelvane::testing;

TEST(SystemDesktopServices, TheFileManagerIsAskedOverThePrivateBusWithExactUrls) {
    qtWidgetApp();
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon on this machine";
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(5000));
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());

    SystemDesktopServices desktop;
    QList<QUrl> urls{fileUrlFromPathBytes("/tmp/bad\xff name \"q\""), fileUrlFromPathBytes("/tmp/-rf")};
    EXPECT_EQ(urls[0].toEncoded(), QByteArray("file:///tmp/bad%FF%20name%20%22q%22"));

    // Before any file manager is on the bus, the calls say so (the caller then opens folders).
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    EXPECT_FALSE(desktop.showItems(urls));
    EXPECT_FALSE(desktop.showItemProperties(urls));

    QThread serviceThread;
    serviceThread.start();
    FakeFileManager manager;
    manager.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(address, "fake-file-manager");
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));

    EXPECT_TRUE(desktop.showItems(urls));
    EXPECT_TRUE(desktop.showItemProperties({urls[1]}));
    EXPECT_EQ(manager.calls(), (QStringList{"ShowItems|file:///tmp/bad%FF%20name%20%22q%22|file:///tmp/-rf|",
                                            "ShowItemProperties|file:///tmp/-rf|"}));

    service.unregisterObject("/org/freedesktop/FileManager1");
    QDBusConnection::disconnectFromBus("fake-file-manager");
    serviceThread.quit();
    serviceThread.wait();
    daemon.kill();
    daemon.waitForFinished(5000);
}

}  // namespace
}  // namespace zelvane

#include "DesktopServicesTests.moc"
