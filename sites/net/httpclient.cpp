// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httpclient.h"

#include "net/httpreader.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

#ifndef LUMO_VERSION
#define LUMO_VERSION "0"
#endif

namespace sites::net {
namespace {

qint64 monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// Where a request goes, for people: no user info, no query (it may carry a key), no fragment.
QString shown(const QUrl& url) {
    return url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

int defaultPort(const QUrl& url) {
    return url.scheme() == u"https" ? 443 : 80;
}

QString origin(const QUrl& url) {
    return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() +
           QLatin1Char(':') + QString::number(url.port(defaultPort(url)));
}

// Seconds to wait from "120" or an HTTP date; -1 when there is nothing usable.
int retryAfter(const QByteArray& value, const QDateTime& now) {
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    bool number = false;
    const qint64 seconds = text.toLongLong(&number);
    if (number)
        return seconds < 0 ? -1 : int(qMin<qint64>(seconds, 1 << 30));
    const QDateTime when = httpDate(text);
    if (!when.isValid())
        return -1;
    return int(qBound<qint64>(0, now.secsTo(when), qint64(1) << 30));
}

// Why an answer whose connection has closed is not whole; empty when it is.
QString closed(Module1::HttpReader& answer) {
    switch (answer.close()) {
    case Module1::HttpReader::State::Complete:
        return {};
    case Module1::HttpReader::State::Malformed:
        return QStringLiteral("not an HTTP answer that can be read");
    default:
        return answer.headRead() ? QStringLiteral("cut short") : QStringLiteral("no answer");
    }
}

bool named(const std::pair<QByteArray, QByteArray>& header, const char* name) {
    return header.first.compare(name, Qt::CaseInsensitive) == 0;
}

// A redirect's target is followed only to the web, and never from https down to http.
bool followable(const QUrl& from, const QUrl& next) {
    const bool downgrade = from.scheme() == u"https" && next.scheme() != u"https";
    const bool web = next.scheme() == u"http" || next.scheme() == u"https";
    return next.isValid() && web && !next.host().isEmpty() && !downgrade;
}

// What a 429 adds to its error text: the wait asked for, or the default one.
QString tooMany(const Fetched& out) {
    if (out.status != 429)
        return {};
    return out.retryAfterGiven
               ? QStringLiteral(" (too many requests; asked to wait %1 s)")
                     .arg(out.retryAfterSeconds)
               : QStringLiteral(
                     " (too many requests, without Retry-After; the default wait is %1 s)")
                     .arg(out.retryAfterSeconds);
}

// Gives a whole download its name; the part file stays under its own until then.
bool commitPart(QFile& part, const QString& saveTo) {
    const bool written = part.flush();
    part.close();
    return written && std::rename(QFile::encodeName(part.fileName()).constData(),
                                  QFile::encodeName(saveTo).constData()) == 0;
}

QByteArray requestBytes(const Fetch& f, const QUrl& url) {
    QByteArray request =
        f.method + ' ' +
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (url.path().isEmpty())
        request.insert(f.method.size() + 1, '/');
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (url.port(defaultPort(url)) != defaultPort(url))
        host += ':' + QByteArray::number(url.port());
    request += " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + userAgent() +
               "\r\nAccept-Encoding: identity\r\nConnection: close\r\n";
    for (const auto& [name, value] : f.headers)
        request += name + ": " + value + "\r\n";
    if (!f.etag.isEmpty())
        request += "If-None-Match: " + f.etag + "\r\n";
    if (!f.lastModified.isEmpty())
        request += "If-Modified-Since: " + f.lastModified + "\r\n";
    if (f.method == "POST" || !f.body.isEmpty())
        request += "Content-Length: " + QByteArray::number(f.body.size()) + "\r\n";
    return request + "\r\n" + f.body;
}

} // namespace

QDateTime httpDate(const QByteArray& text) {
    // Qt's RFC 2822 reading wants a numeric zone; HTTP writes GMT.
    QString value = QString::fromLatin1(text.trimmed());
    if (value.endsWith(QStringLiteral(" GMT")))
        value = value.chopped(3) + QStringLiteral("+0000");
    return QDateTime::fromString(value, Qt::RFC2822Date).toUTC();
}

bool keepsSecrets(const QUrl& url) {
    if (url.scheme() == u"https")
        return !url.host().isEmpty();
    if (url.scheme() != u"http")
        return false;
    const QString host = url.host().toLower();
    return host == u"localhost" || QHostAddress(host).isLoopback();
}

QByteArray userAgent() {
    return QByteArrayLiteral("Lumo/" LUMO_VERSION " (lumo-sites)");
}

struct HttpClient::Job {
    Fetch fetch;
    std::function<void(const Fetched&)> done;
    QUrl url; // the hop under way
    QPointer<QTcpSocket> socket;
    Module1::HttpReader parser;
    QTimer* idle = new QTimer;
    QTimer* total = new QTimer;
    QFile file;
    QByteArray body;
    qint64 received = 0;
    int redirects = 0;
    bool retried = false;
    bool ended = false; // the exchange under way has been concluded

    ~Job() {
        // Deleted later: a job may end inside one of its own timers' signals.
        idle->deleteLater();
        total->deleteLater();
        if (socket) {
            socket->disconnect();
            socket->abort();
            socket->deleteLater();
        }
    }
};

HttpClient::HttpClient(QObject* parent) : QObject(parent) {}

HttpClient::~HttpClient() {
    for (Job* job : std::as_const(jobs_))
        delete job;
}

void HttpClient::start(Fetch fetch, std::function<void(const Fetched&)> done) {
    auto* job = new Job;
    jobs_.insert(job);
    job->url = fetch.url;
    job->fetch = std::move(fetch);
    job->done = std::move(done);
    job->idle->setSingleShot(true);
    job->total->setSingleShot(true);
    const QString scheme = job->url.scheme();
    if ((scheme != u"http" && scheme != u"https") || job->url.host().isEmpty()) {
        Fetched out;
        out.error = QStringLiteral("not an http or https address: %1").arg(shown(job->url));
        QTimer::singleShot(0, this, [this, job, out] { finish(job, out); });
        return;
    }
    schedule(job);
}

Fetched HttpClient::run(Fetch fetch) {
    Fetched result;
    QEventLoop loop;
    bool over = false;
    start(std::move(fetch), [&](const Fetched& r) {
        result = r;
        over = true;
        loop.quit();
    });
    if (!over)
        loop.exec();
    return result;
}

void HttpClient::schedule(Job* job) {
    const QString host = job->url.host().toLower();
    const qint64 now = monotonicMs();
    const qint64 at = qMax(now, nextStartMs_.value(host, 0));
    nextStartMs_[host] = at + minInterval_.count();
    QTimer::singleShot(int(at - now), this, [this, job] {
        if (jobs_.contains(job))
            send(job);
    });
}

// Readies the job for a new exchange: an empty answer and, when saving, a fresh part file.
bool HttpClient::begin(Job* job) {
    job->parser = Module1::HttpReader();
    job->received = 0;
    job->body.clear();
    job->ended = false;
    if (job->fetch.saveTo.isEmpty())
        return true;
    job->file.close();
    job->file.setFileName(job->fetch.saveTo + QStringLiteral(".part"));
    if (job->file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    Fetched out;
    out.error =
        QStringLiteral("cannot write %1: %2").arg(job->file.fileName(), job->file.errorString());
    finish(job, out);
    return false;
}

void HttpClient::send(Job* job) {
    if (!begin(job))
        return;
    const QUrl& url = job->url;
    const bool tls = url.scheme() == u"https";
    if (tls && !QSslSocket::supportsSsl()) {
        Fetched out;
        out.error = shown(url) + QStringLiteral(": TLS is not available on this system");
        finish(job, out);
        return;
    }
    QTcpSocket* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    job->socket = socket;
    armTimers(job);
    watch(job, socket, requestBytes(job->fetch, url));
    const quint16 port = quint16(url.port(defaultPort(url)));
    if (tls)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(url.host(), port);
    else
        socket->connectToHost(url.host(), port);
}

void HttpClient::armTimers(Job* job) {
    job->idle->disconnect();
    job->total->disconnect();
    connect(job->idle, &QTimer::timeout, this, [this, job] {
        conclude(job, QStringLiteral("no data for %1 s").arg(job->fetch.idleTimeoutMs / 1000));
    });
    connect(job->total, &QTimer::timeout, this, [this, job] {
        conclude(job,
                 QStringLiteral("not complete after %1 s").arg(job->fetch.totalTimeoutMs / 1000));
    });
    job->idle->start(job->fetch.idleTimeoutMs);
    if (job->fetch.totalTimeoutMs > 0)
        job->total->start(job->fetch.totalTimeoutMs);
}

// Sends `request` once the connection (and its TLS) is up, then reads the answer. A socket's
// signals count only while it is the job's own and the exchange has not ended.
void HttpClient::watch(Job* job, QTcpSocket* socket, const QByteArray& request) {
    auto sendRequest = [socket, request] { socket->write(request); };
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        connect(tls, &QSslSocket::encrypted, socket, sendRequest);
    else
        connect(socket, &QTcpSocket::connected, socket, sendRequest);
    auto current = [job, socket] { return job->socket == socket && !job->ended; };
    connect(socket, &QTcpSocket::readyRead, this, [this, job, socket, current] {
        if (current())
            read(job, socket->readAll());
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, job, current] {
        if (current())
            conclude(job, closed(job->parser));
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, job, socket, current](QAbstractSocket::SocketError error) {
                if (!current())
                    return;
                conclude(job, error == QAbstractSocket::RemoteHostClosedError
                                  ? closed(job->parser)
                                  : socket->errorString());
            });
}

void HttpClient::read(Job* job, const QByteArray& bytesIn) {
    job->idle->start();
    const Module1::HttpReader::State state = job->parser.feed(bytesIn);
    if (state == Module1::HttpReader::State::Malformed) {
        conclude(job, QStringLiteral("not an HTTP answer that can be read"));
        return;
    }
    const QByteArray bytes = job->parser.takeBody();
    job->received += bytes.size();
    if (const QString failure = keep(job, bytes); !failure.isEmpty()) {
        conclude(job, failure);
        return;
    }
    if (job->fetch.progress && !bytes.isEmpty()) {
        bool known = false;
        const qint64 total = job->parser.header("Content-Length").toLongLong(&known);
        job->fetch.progress(job->received, known ? total : -1);
    }
    if (state == Module1::HttpReader::State::Complete)
        conclude(job, QString());
}

// A success's body goes to the part file when saving, any other body to memory (bounded).
QString HttpClient::keep(Job* job, const QByteArray& bytes) {
    const int status = job->parser.status();
    if (!job->fetch.saveTo.isEmpty() && status >= 200 && status < 300) {
        if (job->file.write(bytes) != bytes.size())
            return QStringLiteral("cannot write %1: %2")
                .arg(job->file.fileName(), job->file.errorString());
        return {};
    }
    job->body += bytes;
    if (job->body.size() > job->fetch.maxBodyBytes)
        return QStringLiteral("the body passed %1 bytes").arg(job->fetch.maxBodyBytes);
    return {};
}

void HttpClient::conclude(Job* job, const QString& failure) {
    if (job->ended)
        return;
    job->ended = true;
    job->idle->stop();
    job->total->stop();
    if (QTcpSocket* socket = job->socket) {
        job->socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    const Module1::HttpReader& answer = job->parser;
    Fetched out;
    out.finalUrl = job->url;
    out.status = answer.status();
    out.etag = answer.header("ETag");
    out.lastModified = answer.header("Last-Modified");
    out.contentType = answer.header("Content-Type");
    if (!failure.isEmpty() || answer.state() != Module1::HttpReader::State::Complete) {
        out.error = shown(job->url) + QStringLiteral(": ") +
                    (failure.isEmpty() ? QStringLiteral("cut short") : failure);
        finish(job, out);
    } else if (!redirect(job, out) && !retryLater(job, out)) {
        deliver(job, out);
    }
}

// False when the answer is no redirect. Otherwise the job goes on to the next address or
// fails: a body and a credential stay with the origin they were given for.
bool HttpClient::redirect(Job* job, Fetched& out) {
    if (out.status < 300 || out.status >= 400 || out.status == 304)
        return false;
    const QUrl next = job->url.resolved(QUrl::fromEncoded(job->parser.header("Location")));
    Fetch& f = job->fetch;
    if (!followable(job->url, next) || ++job->redirects > f.maxRedirects) {
        out.error = shown(job->url) + QStringLiteral(": a redirect that is not followed");
        finish(job, out);
        return true;
    }
    if (out.status == 303 || ((out.status == 301 || out.status == 302) && f.method == "POST")) {
        f.method = "GET";
        f.body.clear();
        f.headers.removeIf([](const auto& h) { return named(h, "Content-Type"); });
    }
    if (origin(next) != origin(job->url)) {
        if (f.method != "GET" || !f.body.isEmpty()) {
            out.error =
                shown(job->url) + QStringLiteral(": a redirect to another address that "
                                                 "would carry the request's body; not followed");
            finish(job, out);
            return true;
        }
        f.headers.removeIf(
            [](const auto& h) { return named(h, "Authorization") || named(h, "Cookie"); });
    }
    job->url = next;
    schedule(job);
    return true;
}

// A 429 is tried once more after its wait when that is within the cap; true when it will be.
// Otherwise the wait is told in `out`.
bool HttpClient::retryLater(Job* job, Fetched& out) {
    if (out.status != 429)
        return false;
    const int asked =
        retryAfter(job->parser.header("Retry-After"), QDateTime::currentDateTimeUtc());
    const int wait = asked >= 0 ? asked : int(defaultRetryWait_.count());
    if (!job->retried && wait <= retryAfterCap_.count()) {
        job->retried = true;
        const QString host = job->url.host().toLower();
        nextStartMs_[host] = qMax(nextStartMs_.value(host), monotonicMs() + wait * 1000ll);
        schedule(job);
        return true;
    }
    out.retryAfterSeconds = wait;
    out.retryAfterGiven = asked >= 0;
    return false;
}

// The final answer: not modified, an error status, or a whole body in memory or in its file.
void HttpClient::deliver(Job* job, Fetched out) {
    const QString where = shown(job->url);
    const QByteArray encoding = job->parser.header("Content-Encoding").toLower();
    if (out.status == 304) {
        out.outcome = Fetched::Outcome::NotModified;
    } else if (out.status < 200 || out.status >= 300) {
        out.outcome = Fetched::Outcome::HttpError;
        out.body = job->body;
        out.error = where + QStringLiteral(": HTTP %1").arg(out.status) + tooMany(out);
    } else if (!encoding.isEmpty() && encoding != "identity") {
        out.error = where + QStringLiteral(": an encoding that was not asked for");
    } else if (!job->fetch.saveTo.isEmpty() && !commitPart(job->file, job->fetch.saveTo)) {
        out.error = QStringLiteral("cannot write %1").arg(job->fetch.saveTo);
    } else {
        if (job->fetch.saveTo.isEmpty())
            out.body = job->body;
        out.outcome = Fetched::Outcome::Ok;
    }
    finish(job, out);
}

void HttpClient::finish(Job* job, Fetched result) {
    job->file.close();
    if (!job->fetch.saveTo.isEmpty() && !result.ok())
        QFile::remove(job->fetch.saveTo + QStringLiteral(".part"));
    auto done = std::move(job->done);
    jobs_.remove(job);
    delete job;
    if (done)
        done(result);
}

} // namespace sites::net
