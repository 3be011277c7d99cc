// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"

#include <QTimer>

FixtureServer::Reply FixtureServer::drip(const QByteArray& body, int intervalMs) {
    return custom([body, intervalMs](QTcpSocket* socket) {
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket,
                         [socket, bytes = response(200, body), next = qsizetype(0)]() mutable {
                             if (next < bytes.size())
                                 socket->write(bytes.mid(next++, 1));
                         });
        timer->start(intervalMs);
    });
}

FixtureServer::Reply FixtureServer::tunnel(quint16 port) {
    return custom([port](QTcpSocket* socket) {
        // From here the connection's bytes are the tunnel's, not requests to this server.
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        auto* up = new QTcpSocket(socket);
        QObject::connect(up, &QTcpSocket::connected, socket, [socket] {
            socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
        });
        QObject::connect(up, &QTcpSocket::readyRead, socket,
                         [socket, up] { socket->write(up->readAll()); });
        QObject::connect(socket, &QTcpSocket::readyRead, up,
                         [socket, up] { up->write(socket->readAll()); });
        QObject::connect(up, &QTcpSocket::disconnected, socket,
                         [socket] { socket->disconnectFromHost(); });
        up->connectToHost(QHostAddress::LocalHost, port);
    });
}

FixtureServer::FixtureServer(QObject* parent) : QObject(parent) {
    fallback_ = answer("<html><body>not found</body></html>", 404);
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            ++connections_;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                buffers_.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

QByteArray FixtureServer::response(int status, const QByteArray& body,
                                   const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    return out + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

void FixtureServer::release(const QString& target) {
    const QList<Held> all = std::exchange(held_, {});
    for (const Held& h : all) {
        if (!target.isEmpty() && h.target != target)
            held_.append(h);
        else if (h.socket)
            h.socket->write(response(h.reply.status, h.reply.body, h.reply.headers));
    }
}

int FixtureServer::heldOpen() const {
    return int(std::count_if(held_.begin(), held_.end(), [](const Held& h) {
        return h.socket && h.socket->state() == QAbstractSocket::ConnectedState;
    }));
}

void FixtureServer::onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        Request request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                       lines.at(i).mid(colon + 1).trimmed());
        }
        // A body waits until all of it is in.
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        request.method = requestLine.value(0);
        request.body = buffer.mid(end + 4, length);
        heads_.append(buffer.left(end));
        buffer.remove(0, end + 4 + length);
        const QString target = QString::fromLatin1(requestLine.value(1));
        request.target = target;
        targets_.append(target);
        requests_.append(request);
        if (onRequest)
            onRequest(target);
        const std::optional<Reply> own = respond ? respond(request) : std::nullopt;
        const Reply reply = own ? *own : replies_.value(target, fallback_);
        if (reply.mode == Reply::Mode::Hold)
            held_.append({socket, target, reply});
        else if (reply.mode == Reply::Mode::Custom)
            reply.custom(socket);
        else
            socket->write(response(reply.status, reply.body, reply.headers));
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}
