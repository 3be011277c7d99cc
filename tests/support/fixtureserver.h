// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QTcpServer;
class QTcpSocket;

// A loopback HTTP server for tests: 127.0.0.1, a port of the system's choosing. It answers
// each request target (path and query, exactly as sent) with a canned reply and records
// every target in the order received. It runs on the test's own thread, so it answers
// while a handler waits for its page.
class FixtureServer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        enum class Mode {
            Answer, // status, headers and body
            Hold,   // answer only when the test calls release()
            Close,  // close the connection without answering
            Silent, // keep the connection open and never answer
            Raw,    // send `raw` as it stands, then close
            Custom, // hand the socket to `custom`
        };
        Mode mode = Mode::Answer;
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray raw;
        std::function<void(QTcpSocket*)> custom;
    };

    static Reply answer(const QByteArray& body, int status = 200);
    static Reply held(const QByteArray& body, int status = 200);
    static Reply closing();
    static Reply silent();
    static Reply raw(const QByteArray& bytes);
    // Faults of a real network, for the robustness tests.
    // Sends the head and the first `sent` bytes of `body`, then resets the connection.
    static Reply resetMidBody(const QByteArray& body, qsizetype sent);
    // Sends a 200 answer one byte every `intervalMs`, for as long as the client listens.
    static Reply drip(const QByteArray& body, int intervalMs);
    // A 200 answer in chunked transfer encoding, in chunks of `chunkSize` bytes.
    static Reply chunked(const QByteArray& body, int chunkSize = 7);
    // A 200 answer compressed with gzip (Content-Encoding: gzip).
    static Reply gzipped(const QByteArray& body);

    explicit FixtureServer(QObject* parent = nullptr);
    ~FixtureServer() override;

    bool listen();
    // Stops listening: connections to the port are refused from now on.
    void close();
    quint16 port() const;
    // "http://127.0.0.1:PORT", with no slash after it.
    QString origin() const;

    void setReply(const QString& target, const Reply& reply);
    // What a target without its own reply gets; a 404 page unless set.
    void setFallback(const Reply& reply);

    // Every request target received so far, in order.
    QStringList targets() const { return targets_; }
    // Called as each request arrives, before it is answered.
    std::function<void(const QString& target)> onRequest;

    // Sends the answers held for `target` (all of them when it is empty).
    void release(const QString& target = QString());
    // Held requests whose client still keeps its connection open.
    int heldOpen() const;

    static QByteArray response(int status, const QByteArray& body,
                               const QList<QPair<QByteArray, QByteArray>>& headers = {});

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handle(QTcpSocket* socket, const QString& target);
    void send(QTcpSocket* socket, const Reply& reply);

    QTcpServer* server_;
    QHash<QString, Reply> replies_;
    Reply fallback_;
    QStringList targets_;
    struct Held {
        QPointer<QTcpSocket> socket;
        QString target;
        Reply reply;
    };
    QList<Held> held_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

Q_DECLARE_METATYPE(FixtureServer::Reply)
