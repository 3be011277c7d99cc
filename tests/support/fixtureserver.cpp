// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <zlib.h>

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

FixtureServer::Reply FixtureServer::resetMidBody(const QByteArray& body, qsizetype sent) {
    Reply r;
    r.mode = Reply::Mode::Custom;
    r.custom = [body, sent](QTcpSocket* socket) {
        socket->write(response(200, body).left(response(200, body).size() - body.size() + sent));
        socket->flush();
        socket->abort(); // a reset, not an orderly close
    };
    return r;
}

FixtureServer::Reply FixtureServer::drip(const QByteArray& body, int intervalMs) {
    Reply r;
    r.mode = Reply::Mode::Custom;
    r.custom = [body, intervalMs](QTcpSocket* socket) {
        const QByteArray bytes = response(200, body);
        auto* timer = new QTimer(socket);
        auto next = std::make_shared<qsizetype>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, bytes, next] {
            if (*next >= bytes.size() || socket->state() != QAbstractSocket::ConnectedState) {
                timer->stop();
                return;
            }
            socket->write(bytes.mid((*next)++, 1));
        });
        timer->start(intervalMs);
    };
    return r;
}

FixtureServer::Reply FixtureServer::chunked(const QByteArray& body, int chunkSize) {
    QByteArray encoded;
    for (qsizetype at = 0; at < body.size(); at += chunkSize) {
        const QByteArray chunk = body.mid(at, chunkSize);
        encoded += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    encoded += "0\r\n\r\n";
    Reply r = answer(encoded);
    r.headers = {{"Transfer-Encoding", "chunked"}};
    return r;
}

FixtureServer::Reply FixtureServer::gzipped(const QByteArray& body) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16 /* gzip wrapper */, 8,
                 Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(body.size()))) + 32, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
    stream.avail_in = uInt(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    Reply r = answer(out);
    r.headers = {{"Content-Encoding", "gzip"}};
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

void FixtureServer::close() {
    server_->close();
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

int FixtureServer::heldOpen() const {
    return int(std::count_if(held_.begin(), held_.end(), [](const Held& h) {
        return h.socket && h.socket->state() == QAbstractSocket::ConnectedState;
    }));
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
