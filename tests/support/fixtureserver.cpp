#include "fixtureserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

FixtureServer::Reply FixtureServer::answer(const QByteArray& body, int status) {
    Reply r;
    r.body = body;
    r.status = status;
    return r;
}

FixtureServer::Reply FixtureServer::held(const QByteArray& body, int status) {
    Reply r = answer(body, status);
    r.mode = Reply::Mode::Hold;
    return r;
}

FixtureServer::Reply FixtureServer::closing() {
    Reply r;
    r.mode = Reply::Mode::Close;
    return r;
}

FixtureServer::Reply FixtureServer::silent() {
    Reply r;
    r.mode = Reply::Mode::Silent;
    return r;
}

FixtureServer::Reply FixtureServer::raw(const QByteArray& bytes) {
    Reply r;
    r.mode = Reply::Mode::Raw;
    r.raw = bytes;
    return r;
}

FixtureServer::FixtureServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    fallback_ = answer("<html><body>not found</body></html>", 404);
    connect(server_, &QTcpServer::newConnection, this, &FixtureServer::onNewConnection);
}

FixtureServer::~FixtureServer() = default;

bool FixtureServer::listen() {
    return server_->listen(QHostAddress::LocalHost, 0);
}

quint16 FixtureServer::port() const {
    return server_->serverPort();
}

QString FixtureServer::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void FixtureServer::setReply(const QString& target, const Reply& reply) {
    replies_[target] = reply;
}

void FixtureServer::setFallback(const Reply& reply) {
    fallback_ = reply;
}

QByteArray FixtureServer::response(int status, const QByteArray& body,
                                   const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
        hasLength = hasLength || name.compare("content-length", Qt::CaseInsensitive) == 0 ||
                    name.compare("transfer-encoding", Qt::CaseInsensitive) == 0;
    }
    if (!hasLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "\r\n" + body;
    return out;
}

void FixtureServer::release(const QString& target) {
    const QList<Held> all = held_;
    held_.clear();
    for (const Held& h : all) {
        if (!target.isEmpty() && h.target != target) {
            held_.append(h);
            continue;
        }
        if (h.socket) {
            Reply r = h.reply;
            r.mode = Reply::Mode::Answer;
            send(h.socket, r);
        }
    }
}

void FixtureServer::onNewConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            buffers_.remove(socket);
            socket->deleteLater();
        });
    }
}

void FixtureServer::onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    // Requests carry no body here, so each one ends at its blank line.
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QString target =
            requestLine.size() >= 2 ? QString::fromLatin1(requestLine.at(1)) : QString();
        handle(socket, target);
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void FixtureServer::handle(QTcpSocket* socket, const QString& target) {
    targets_.append(target);
    if (onRequest)
        onRequest(target);
    const Reply reply = replies_.value(target, fallback_);
    if (reply.mode == Reply::Mode::Hold)
        held_.append({socket, target, reply});
    else
        send(socket, reply);
}

void FixtureServer::send(QTcpSocket* socket, const Reply& reply) {
    switch (reply.mode) {
    case Reply::Mode::Answer:
        socket->write(response(reply.status, reply.body, reply.headers));
        break;
    case Reply::Mode::Close:
        socket->disconnectFromHost();
        break;
    case Reply::Mode::Raw:
        socket->write(reply.raw);
        socket->disconnectFromHost();
        break;
    case Reply::Mode::Custom:
        reply.custom(socket);
        break;
    case Reply::Mode::Hold:
    case Reply::Mode::Silent:
        break;
    }
}
