#pragma once

#include <QByteArray>
#include <QHostAddress>
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

    explicit LocalHttpServer(QByteArray r) : reply(std::move(r)) {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* s = server.nextPendingConnection();
            held << s;
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                lastRequest += s->readAll();
                if (!lastRequest.contains("\r\n\r\n")) return;
                ++requests;
                if (silent) return;
                s->write(reply);
                s->disconnectFromHost();
            });
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

    static QByteArray httpReply(const QByteArray& status, const QByteArray& body) {
        return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    }
};

}  // namespace zelvane
