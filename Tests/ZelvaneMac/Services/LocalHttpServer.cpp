#include "LocalHttpServer.hpp"

#include <QHostAddress>

namespace zelvane {

LocalHttpServer::LocalHttpServer(QByteArray r) : reply(std::move(r)) {
    server.listen(QHostAddress::LocalHost, 0);
    // Both connections end with `server`, a member: neither outlives this object.
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
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

QString LocalHttpServer::base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

QByteArray LocalHttpServer::httpReply(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace zelvane
