// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <utility>

class QTcpSocket;

// How lumo-sites talks to the public services it reads: one place that paces requests per
// host, sends the validators of the copy it holds, honours 429 and Retry-After, follows
// redirects itself (neither a credential nor a request body follows one to another origin;
// such a redirect of a body fails) and tells a cut or undecodable body from a whole one. It
// speaks HTTP/1.1 over its own sockets (one connection per request), reading the framing with
// the window's HttpReader: Qt's client takes a chunked body cut between two chunks for a whole
// one. The sockets take http_proxy/https_proxy as Qt does (a CONNECT tunnel; loopback direct).
namespace sites::net {

// "Lumo/8.0.0 (lumo-sites)": every request names the program.
QByteArray userAgent();

// An HTTP date ("Mon, 07 Dec 2026 06:00:00 GMT") in UTC; invalid when it is none.
QDateTime httpDate(const QByteArray& text);

// An address a password or token may be sent to: https, or plain http to this machine.
bool keepsSecrets(const QUrl& url);

struct Fetch {
    QUrl url;
    QByteArray method = "GET"; // GET or POST
    // Extra headers (Authorization, Content-Type, Accept ...). Their values never appear in an
    // error text.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body; // sent with POST
    // Validators of the copy held (from an earlier Fetched): sent as If-None-Match and
    // If-Modified-Since, so an unchanged file comes back as NotModified without its body.
    QByteArray etag;
    QByteArray lastModified;
    // When set, the body streams into this file instead of memory: it is written to
    // saveTo + ".part" from the start each time and renamed to saveTo only when complete.
    QString saveTo;
    qint64 maxBodyBytes = 32ll << 20; // in memory; no limit when saving to a file
    int idleTimeoutMs = 30'000;       // no byte for this long fails the request
    int totalTimeoutMs = 120'000;     // 0: no total limit (large downloads)
    int maxRedirects = 10;
    // Called as bytes come in; total is -1 when the server gave no length.
    std::function<void(qint64 received, qint64 total)> progress;
};

struct Fetched {
    enum class Outcome {
        Ok,          // 2xx and the whole body
        NotModified, // 304 to a conditional GET: the copy held is current
        HttpError,   // any other status: `status` and `body` say which
        Failed,      // no answer, a cut or undecodable body, a limit reached
    };
    Outcome outcome = Outcome::Failed;
    int status = 0;
    QByteArray body; // empty when saved to a file
    QByteArray etag;
    QByteArray lastModified;
    QByteArray contentType;
    QUrl finalUrl;  // after redirects
    QString error;  // one line for people; never a header value, query string or body
    // A 429's wait still pending after the one retry: the server's Retry-After, or the
    // client's default when it gave none (retryAfterGiven false). -1 for any other answer.
    int retryAfterSeconds = -1;
    bool retryAfterGiven = false;

    bool ok() const { return outcome == Outcome::Ok; }
};

class HttpClient : public QObject {
    Q_OBJECT
public:
    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    // The least time between the starts of two requests to one host (default 1 s).
    void setMinInterval(std::chrono::milliseconds interval) { minInterval_ = interval; }
    // A 429's Retry-After (seconds or an HTTP date) is waited for up to this long, then the
    // request is tried once more (default 120 s). A longer wait is not made: the 429 stands.
    void setRetryAfterCap(std::chrono::seconds cap) { retryAfterCap_ = cap; }
    // The wait after a 429 that gives no Retry-After (default 60 s).
    void setDefaultRetryWait(std::chrono::seconds wait) { defaultRetryWait_ = wait; }

    // Queues `fetch`; `done` is called once, from the event loop.
    void start(Fetch fetch, std::function<void(const Fetched&)> done);
    // The same, waiting in a local event loop: for command-line runs and tests.
    Fetched run(Fetch fetch);

    struct Job;

private:
    void schedule(Job* job);
    bool begin(Job* job);
    void send(Job* job);
    void armTimers(Job* job);
    void watch(Job* job, QTcpSocket* socket, const QByteArray& request);
    void read(Job* job, const QByteArray& bytes);
    QString keep(Job* job, const QByteArray& bytes);
    // The exchange under way has ended, whole or with `failure`: decides what comes next.
    void conclude(Job* job, const QString& failure);
    bool redirect(Job* job, Fetched& out);
    bool retryLater(Job* job, Fetched& out);
    void deliver(Job* job, Fetched out);
    void finish(Job* job, Fetched result);

    std::chrono::milliseconds minInterval_{1000};
    std::chrono::seconds retryAfterCap_{120};
    std::chrono::seconds defaultRetryWait_{60};
    QHash<QString, qint64> nextStartMs_; // per host, on a monotonic clock
    QSet<Job*> jobs_;
};

} // namespace sites::net
