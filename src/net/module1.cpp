// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
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
bool carriesPage(const QNetworkReply& reply) {
    const int error = reply.error();
    if (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
        return false;
    if (error == QNetworkReply::ProtocolFailure) // a garbled answer: its body cannot be trusted
        return false;
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

QString fetch(const QString& url, const QString& charset) {
    // A fragment never reaches the server: a "#" the caller put in (a name typed by the user,
    // say) is part of what it asks for, so it goes out escaped.
    const QUrl target(QString(url).replace(u'#', QStringLiteral("%23")), QUrl::TolerantMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return {};

    const FetchLimits limits = g_limits;
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

    QNetworkReply* reply = manager()->get(request);
    QByteArray body;
    bool abandoned = false;

    QEventLoop wait;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&] {
        abandoned = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->readAll();
        if (body.size() > limits.maxBodyBytes) {
            abandoned = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    deadline.start(limits.totalTimeoutMs);
    // The window keeps handling its events (and other handlers their own fetches) while
    // this loop sleeps until the answer is in.
    if (!reply->isFinished())
        wait.exec();
    deadline.stop();
    reply->disconnect();

    QString text;
    if (!abandoned && carriesPage(*reply)) {
        body += reply->readAll();
        if (body.size() <= limits.maxBodyBytes)
            text = BytesToText(body, charset);
    }
    reply->deleteLater();
    return text;
}

} // namespace

QString GetPageUtf8(const QString& url) {
    return fetch(url, QStringLiteral("UTF-8"));
}

QString GetPageGb2312(const QString& url) {
    return fetch(url, QStringLiteral("gb2312"));
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

} // namespace Module1
