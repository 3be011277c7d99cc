// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace Module1 {
namespace {

FetchLimits g_limits;

// One manager for the whole program, so that connections to a service are reused; it
// keeps no cookies (each request says so) and has no cache.
QNetworkAccessManager* manager() {
    static QPointer<QNetworkAccessManager> nam;
    if (!nam)
        nam = new QNetworkAccessManager(QCoreApplication::instance());
    return nam;
}

// Errors below 200 are the network's (refused, reset, time-out, cancelled, redirects, proxy):
// there is no page. Content and server errors still carry a page, which the caller gets.
Failure failureOf(const QNetworkReply& reply) {
    switch (reply.error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::ConnectionRefusedError:
        return Failure::Refused;
    case QNetworkReply::HostNotFoundError:
        return Failure::HostNotFound;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the idle limit aborts this way
        return Failure::Silent;
    case QNetworkReply::ProtocolFailure: // a garbled answer: its body cannot be trusted
        return Failure::Broken;
    default:
        if (reply.error() < QNetworkReply::ContentAccessDenied)
            return Failure::Broken;
        break;
    }
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return Failure::Broken;
    return Failure::None;
}

} // namespace

QString describe(const Page& page) {
    const FetchLimits limits = g_limits;
    switch (page.failure) {
    case Failure::None:
        return {};
    case Failure::BadAddress:
        return QStringLiteral("地址无效");
    case Failure::Refused:
        return QStringLiteral("连接被拒绝");
    case Failure::HostNotFound:
        return QStringLiteral("找不到主机");
    case Failure::Silent:
        return QStringLiteral("%1 秒内没有回应").arg(limits.idleTimeoutMs / 1000.0);
    case Failure::TooSlow:
        return QStringLiteral("%1 秒内没有传完").arg(limits.totalTimeoutMs / 1000.0);
    case Failure::TooLarge:
        return QStringLiteral("页面超过 %1 字节").arg(limits.maxBodyBytes);
    case Failure::Broken:
        return page.detail.isEmpty() ? QStringLiteral("连接出错")
                                     : QStringLiteral("连接出错：") + page.detail;
    case Failure::Aborted:
        return QStringLiteral("已取消");
    }
    return {};
}

Request::Request(const QString& url, const QString& charset, QObject* parent)
    : QObject(parent), charset_(charset) {
    // A fragment never reaches the server: a "#" the caller put in (a name typed by the user,
    // say) is part of what it asks for, so it goes out escaped.
    const QUrl target(QString(url).replace(u'#', QStringLiteral("%23")), QUrl::TolerantMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        finished_ = true;
        page_.failure = Failure::BadAddress;
        QMetaObject::invokeMethod(this, &Request::finished, Qt::QueuedConnection);
        return;
    }

    const FetchLimits limits = g_limits;
    maxBody_ = limits.maxBodyBytes;
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits.maxRedirects);
    request.setTransferTimeout(limits.idleTimeoutMs);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);

    reply_ = manager()->get(request);
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] { fail(Failure::TooSlow); });
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        body_ += reply_->readAll();
        if (body_.size() > maxBody_)
            fail(Failure::TooLarge);
    });
    connect(reply_, &QNetworkReply::finished, this, &Request::complete);
    deadline_->start(limits.totalTimeoutMs);
}

Request::~Request() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void Request::abort() {
    fail(Failure::Aborted);
}

void Request::fail(Failure why) {
    if (finished_ || !reply_)
        return;
    pending_ = why;
    reply_->abort(); // finishes the reply, and so this request, from the event loop or at once
}

void Request::complete() {
    if (finished_)
        return;
    // From here on nothing may take the page away again: no limit runs past the answer.
    deadline_->stop();
    finished_ = true;
    page_.failure = pending_ != Failure::None ? pending_ : failureOf(*reply_);
    if (page_.failure == Failure::None) {
        body_ += reply_->readAll();
        if (body_.size() > maxBody_)
            page_.failure = Failure::TooLarge;
        else
            page_.text = BytesToText(body_, charset_);
    } else if (page_.failure == Failure::Broken) {
        page_.detail = reply_->errorString();
    }
    body_.clear();
    reply_->disconnect(this);
    reply_->deleteLater();
    reply_ = nullptr;
    emit finished();
}

void Lane::abort() {
    if (current_)
        current_->abort();
}

void Lane::take(Request* request) {
    abort();
    current_ = request;
}

const Page& waitFor(Request& request) {
    // The window keeps handling its events (and other handlers their own fetches) while this
    // loop sleeps until the answer is in.
    if (!request.isFinished()) {
        QEventLoop wait;
        QObject::connect(&request, &Request::finished, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return request.page();
}

Page Fetch(const QString& url, const QString& charset, Lane* lane) {
    Request request(url, charset);
    if (lane)
        lane->take(&request);
    return waitFor(request);
}

QString GetPageUtf8(const QString& url, Lane* lane) {
    return Fetch(url, QStringLiteral("UTF-8"), lane).text;
}

QString GetPageGb2312(const QString& url, Lane* lane) {
    return Fetch(url, QStringLiteral("gb2312"), lane).text;
}

QString BytesToText(const QByteArray& bytes, const QString& charset) {
    const QString name = charset.trimmed().toLower();
    if (name == u"utf-8" || name == u"utf8") {
        // Stateless: a sequence cut off at the end becomes U+FFFD, not nothing.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        return decoder.decode(bytes);
    }
    // The services write "gb2312" pages the way the other platform reads them: as code
    // page 936 (GBK), a superset that also has characters such as 堃.
    const QString icuName =
        (name == u"gb2312" || name == u"gbk") ? QStringLiteral("windows-936") : charset;
    QStringDecoder decoder(icuName.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return {};
    // A lead byte left alone at the very end would be dropped silently; an ASCII byte after
    // it makes the decoder report it as U+FFFD, and is then taken off again.
    QString text = decoder.decode(bytes + '\n');
    text.chop(1);
    return text;
}

void setFetchLimits(const FetchLimits& limits) {
    g_limits = limits;
}

FetchLimits fetchLimits() {
    return g_limits;
}

} // namespace Module1
