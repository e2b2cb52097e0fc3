#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

namespace zelvane {

// An HTTP server on 127.0.0.1 for the update check: it answers every request with `reply`, or,
// while `silent`, takes the connection and never answers (a server that hangs).
struct LocalHttpServer {
    QTcpServer server;
    QByteArray reply;
    bool silent = false;
    QByteArray lastRequest;
    int requests = 0;
    QList<QPointer<QTcpSocket>> held;

    explicit LocalHttpServer(QByteArray r);
    QString base() const;

    static QByteArray httpReply(const QByteArray& status, const QByteArray& body);
};

}  // namespace zelvane
