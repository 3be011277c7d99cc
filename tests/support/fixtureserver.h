// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <optional>

// A loopback HTTP server for tests: 127.0.0.1, a port of the system's choosing. It answers
// each request target (path and query, exactly as sent) with a canned reply and records
// every target in the order received. It runs on the test's own thread, so it answers
// while a handler waits for its page.
class FixtureServer : public QObject {
    Q_OBJECT
public:
    // What a request gets: an answer (status, headers and body) now or, held, when the test
    // calls release(); or whatever `custom` does with the socket.
    struct Reply {
        enum class Mode { Answer, Hold, Custom };
        Reply(Mode mode = Mode::Answer, int status = 200, QByteArray body = {})
            : mode(mode), status(status), body(std::move(body)) {}
        // The same reply with one more header field.
        Reply with(const QByteArray& name, const QByteArray& value) const {
            Reply r = *this;
            r.headers.append({name, value});
            return r;
        }
        Mode mode;
        int status;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        std::function<void(QTcpSocket*)> custom;
    };

    static Reply answer(const QByteArray& body, int status = 200) {
        return Reply(Reply::Mode::Answer, status, body);
    }
    static Reply held(const QByteArray& body, int status = 200) {
        return Reply(Reply::Mode::Hold, status, body);
    }
    static Reply custom(std::function<void(QTcpSocket*)> act) {
        Reply r(Reply::Mode::Custom);
        r.custom = std::move(act);
        return r;
    }
    // Closes the connection without answering.
    static Reply closing() {
        return custom([](QTcpSocket* s) { s->disconnectFromHost(); });
    }
    // Keeps the connection open and never answers.
    static Reply silent() {
        return custom([](QTcpSocket*) {});
    }
    // Sends `bytes` as they stand, then closes.
    static Reply raw(const QByteArray& bytes) {
        return custom([bytes](QTcpSocket* s) { s->write(bytes), s->disconnectFromHost(); });
    }
    // Sends a 200 answer one byte every `intervalMs`, for as long as the client listens.
    static Reply drip(const QByteArray& body, int intervalMs);
    // Answers a CONNECT as a proxy does: the connection becomes a tunnel to 127.0.0.1:port.
    static Reply tunnel(quint16 port);

    explicit FixtureServer(QObject* parent = nullptr);

    bool listen() { return server_->listen(QHostAddress::LocalHost, 0); }
    // Stops listening: connections to the port are refused from now on.
    void close() { server_->close(); }
    quint16 port() const { return server_->serverPort(); }
    // "http://127.0.0.1:PORT", with no slash after it.
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

    void setReply(const QString& target, const Reply& reply) { replies_[target] = reply; }
    // What a target without its own reply gets; a 404 page unless set.
    void setFallback(const Reply& reply) { fallback_ = reply; }

    // Every request target received so far, in order.
    QStringList targets() const { return targets_; }
    // A request as it came: header names in lower case, the body a Content-Length brought.
    struct Request {
        QByteArray method;
        QString target;
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
    };
    QList<Request> requests() const { return requests_; }
    // Answers a request before the canned replies are looked at, when it gives a reply.
    std::function<std::optional<Reply>(const Request&)> respond;
    // The head (request line and header fields) of each of them.
    QList<QByteArray> heads() const { return heads_; }
    // Connections accepted so far.
    int connections() const { return connections_; }
    // Called as each request arrives, before it is answered.
    std::function<void(const QString& target)> onRequest;

    // Sends the answers held for `target` (all of them when it is empty).
    void release(const QString& target = QString());
    // Held requests whose client still keeps its connection open.
    int heldOpen() const;

    static QByteArray response(int status, const QByteArray& body,
                               const QList<QPair<QByteArray, QByteArray>>& headers = {});

private:
    void onReadyRead(QTcpSocket* socket);

    QTcpServer* server_ = new QTcpServer(this);
    QHash<QString, Reply> replies_;
    Reply fallback_;
    QStringList targets_;
    QList<Request> requests_;
    QList<QByteArray> heads_;
    int connections_ = 0;
    struct Held {
        QPointer<QTcpSocket> socket;
        QString target;
        Reply reply;
    };
    QList<Held> held_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

Q_DECLARE_METATYPE(FixtureServer::Reply)
