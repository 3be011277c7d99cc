// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httpclient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
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

QString origin(const QUrl& url) {
    return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + QLatin1Char(':') +
           QString::number(url.port(url.scheme() == u"https" ? 443 : 80));
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
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), Qt::RFC2822Date);
    if (!when.isValid())
        return -1;
    return int(qBound<qint64>(0, now.secsTo(when), qint64(1) << 30));
}

} // namespace

QByteArray userAgent() {
    return QByteArrayLiteral("Lumo/" LUMO_VERSION " (lumo-sites)");
}

struct HttpClient::Job {
    Fetch fetch;
    std::function<void(const Fetched&)> done;
    QUrl url; // the hop under way
    QPointer<QNetworkReply> reply;
    QTimer idle;
    QTimer total;
    QFile file;
    QByteArray body;
    qint64 received = 0;
    int redirects = 0;
    bool retried = false;
    QString failure; // why we end the reply ourselves
};

namespace {

// Moves what has come in to the file or the body; an error text when that cannot go on.
QString take(HttpClient::Job& job, QNetworkReply& reply) {
    const QByteArray chunk = reply.readAll();
    job.received += chunk.size();
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!job.fetch.saveTo.isEmpty() && status >= 200 && status < 300) {
        if (job.file.write(chunk) != chunk.size())
            return QStringLiteral("cannot write %1: %2")
                .arg(job.file.fileName(), job.file.errorString());
        return {};
    }
    job.body += chunk;
    if (job.body.size() > job.fetch.maxBodyBytes)
        return QStringLiteral("the body passed %1 bytes").arg(job.fetch.maxBodyBytes);
    return {};
}

} // namespace

HttpClient::HttpClient(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)) {
    manager_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

HttpClient::~HttpClient() {
    for (Job* job : std::as_const(jobs_)) {
        if (job->reply)
            job->reply->disconnect(this);
        delete job;
    }
}

void HttpClient::start(Fetch fetch, std::function<void(const Fetched&)> done) {
    auto* job = new Job;
    jobs_.insert(job);
    job->url = fetch.url;
    job->fetch = std::move(fetch);
    job->done = std::move(done);
    job->idle.setSingleShot(true);
    job->total.setSingleShot(true);
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
    QTimer::singleShot(int(at - now), this, [this, job] { send(job); });
}

void HttpClient::send(Job* job) {
    const Fetch& f = job->fetch;
    QNetworkRequest request(job->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // Asking for the body as it is keeps its length checkable against Content-Length.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setRawHeader("User-Agent", userAgent());
    for (const auto& [name, value] : f.headers)
        request.setRawHeader(name, value);
    if (!f.etag.isEmpty())
        request.setRawHeader("If-None-Match", f.etag);
    if (!f.lastModified.isEmpty())
        request.setRawHeader("If-Modified-Since", f.lastModified);

    job->received = 0;
    job->body.clear();
    job->failure.clear();
    if (!f.saveTo.isEmpty()) {
        job->file.close();
        job->file.setFileName(f.saveTo + QStringLiteral(".part"));
        if (!job->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            Fetched out;
            out.error = QStringLiteral("cannot write %1: %2")
                            .arg(job->file.fileName(), job->file.errorString());
            finish(job, out);
            return;
        }
    }

    QNetworkReply* reply = f.method == "POST" ? manager_->post(request, f.body)
                                              : manager_->get(request);
    job->reply = reply;

    // Aborted from the event loop, so that no caller below is left holding a finished job.
    auto stop = [job](const QString& why) {
        if (job->failure.isEmpty())
            job->failure = why;
        if (job->reply)
            QMetaObject::invokeMethod(job->reply.data(), &QNetworkReply::abort,
                                      Qt::QueuedConnection);
    };
    job->idle.disconnect();
    job->total.disconnect();
    connect(&job->idle, &QTimer::timeout, reply, [stop, f] {
        stop(QStringLiteral("no data for %1 s").arg(f.idleTimeoutMs / 1000));
    });
    connect(&job->total, &QTimer::timeout, reply, [stop, f] {
        stop(QStringLiteral("not complete after %1 s").arg(f.totalTimeoutMs / 1000));
    });
    job->idle.start(f.idleTimeoutMs);
    if (f.totalTimeoutMs > 0)
        job->total.start(f.totalTimeoutMs);

    connect(reply, &QNetworkReply::readyRead, this, [job, reply, stop] {
        job->idle.start();
        if (const QString why = take(*job, *reply); !why.isEmpty())
            stop(why);
        else if (job->fetch.progress)
            job->fetch.progress(job->received, reply->header(QNetworkRequest::ContentLengthHeader)
                                                   .toLongLong(nullptr));
    });
    connect(reply, &QNetworkReply::finished, this, [this, job, reply] {
        job->idle.stop();
        job->total.stop();
        reply->deleteLater();
        if (job->reply != reply)
            return;
        job->reply = nullptr;
        if (const QString why = take(*job, *reply); !why.isEmpty() && job->failure.isEmpty())
            job->failure = why;

        Fetched out;
        out.finalUrl = job->url;
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.etag = reply->rawHeader("ETag");
        out.lastModified = reply->rawHeader("Last-Modified");
        out.contentType = reply->rawHeader("Content-Type");
        const QString where = shown(job->url);

        if (!job->failure.isEmpty()) {
            out.error = where + QStringLiteral(": ") + job->failure;
            finish(job, out);
            return;
        }
        if (out.status == 0) {
            out.error = where + QStringLiteral(": ") + reply->errorString().replace(job->url.toString(), where);
            finish(job, out);
            return;
        }
        if (out.status >= 300 && out.status < 400 && out.status != 304) {
            const QUrl next = job->url.resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
            const bool downgrade = job->url.scheme() == u"https" && next.scheme() != u"https";
            if (!next.isValid() || next.host().isEmpty() || downgrade ||
                ++job->redirects > job->fetch.maxRedirects) {
                out.error = where + QStringLiteral(": a redirect that is not followed");
                finish(job, out);
                return;
            }
            if (origin(next) != origin(job->url)) {
                // A credential stays with the origin it was given for.
                job->fetch.headers.removeIf([](const auto& h) {
                    return h.first.compare("Authorization", Qt::CaseInsensitive) == 0 ||
                           h.first.compare("Cookie", Qt::CaseInsensitive) == 0;
                });
            }
            if (out.status == 303 || ((out.status == 301 || out.status == 302) &&
                                      job->fetch.method == "POST")) {
                job->fetch.method = "GET";
                job->fetch.body.clear();
            }
            job->url = next;
            schedule(job);
            return;
        }
        if (out.status == 429 && !job->retried) {
            const int wait = retryAfter(reply->rawHeader("Retry-After"),
                                        QDateTime::currentDateTimeUtc());
            if (wait >= 0 && wait <= retryAfterCap_.count()) {
                job->retried = true;
                const QString host = job->url.host().toLower();
                nextStartMs_[host] = qMax(nextStartMs_.value(host), monotonicMs() + wait * 1000ll);
                schedule(job);
                return;
            }
        }
        if (out.status == 429)
            out.retryAfterSeconds =
                retryAfter(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        if (out.status == 304) {
            out.outcome = Fetched::Outcome::NotModified;
            finish(job, out);
            return;
        }
        if (out.status < 200 || out.status >= 300) {
            out.outcome = Fetched::Outcome::HttpError;
            out.body = job->body;
            out.error = where + QStringLiteral(": HTTP %1").arg(out.status);
            finish(job, out);
            return;
        }
        // A reply ended by the peer mid-body carries a network error even with a 2xx status.
        if (reply->error() != QNetworkReply::NoError) {
            out.error = where + QStringLiteral(": cut short (%1)").arg(reply->errorString());
            finish(job, out);
            return;
        }
        const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        if (!encoding.isEmpty() && encoding != "identity") {
            out.error = where + QStringLiteral(": an encoding that was not asked for");
            finish(job, out);
            return;
        }
        bool hasLength = false;
        const qint64 length = reply->rawHeader("Content-Length").trimmed().toLongLong(&hasLength);
        if (hasLength && length != job->received) {
            out.error = where + QStringLiteral(": cut short (%1 of %2 bytes)")
                                    .arg(job->received)
                                    .arg(length);
            finish(job, out);
            return;
        }
        if (!job->fetch.saveTo.isEmpty()) {
            if (!job->file.flush() || !(job->file.close(), true) ||
                job->file.error() != QFileDevice::NoError) {
                out.error = QStringLiteral("cannot write %1").arg(job->file.fileName());
                finish(job, out);
                return;
            }
            if (std::rename(QFile::encodeName(job->file.fileName()).constData(),
                            QFile::encodeName(job->fetch.saveTo).constData()) != 0) {
                out.error = QStringLiteral("cannot rename %1").arg(job->file.fileName());
                finish(job, out);
                return;
            }
        } else {
            out.body = job->body;
        }
        out.outcome = Fetched::Outcome::Ok;
        finish(job, out);
    });
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
