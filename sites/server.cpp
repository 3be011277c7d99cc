// SPDX-License-Identifier: GPL-3.0-or-later
#include "server.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QTimer>

SitesServer::SitesServer(QString versionLine, QDate fixedToday, QObject* parent)
    : QAbstractHttpServer(parent), versionLine_(std::move(versionLine)), fixedToday_(fixedToday) {}

void SitesServer::setStaticPage(int bytes) {
    const QByteArray head = "<!DOCTYPE html>\n<html><head><title>static</title></head><body>\n";
    const QByteArray tail = "</body></html>\n";
    const QByteArray line = "<p>Lumo lumo-sites static page, the same bytes every time.</p>\n";
    QByteArray page = head;
    while (page.size() + tail.size() < bytes)
        page += line;
    page.truncate(qMax<qsizetype>(0, bytes - tail.size()));
    page += tail;
    staticPage_ = page.right(bytes);
}

void SitesServer::setSource(const sites::NameSource* source) {
    source_ = source;
    generatedPages_.clear();
}

void SitesServer::writeLate(QTcpSocket* socket, const sites::Reply& out) {
    const QByteArray reason = out.status == 200 ? " OK" : out.status == 400 ? " Bad Request"
                                                                            : " Not Found";
    socket->write("HTTP/1.1 " + QByteArray::number(out.status) + reason +
                  "\r\nContent-Type: " + out.contentType +
                  "\r\nContent-Length: " + QByteArray::number(out.body.size()) +
                  "\r\nServer: lumo-sites\r\n\r\n" + out.body);
}

bool SitesServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const sites::Request in = requestOf(request, socket);
    if (lookup_ && (in.path == u"/DomainDel/" || in.path == u"/DomainDel")) {
        const QString name = in.query.value(QLatin1StringView("wd"));
        if (!name.isEmpty()) {
            // The answer goes out later; a connection closed meanwhile gets nothing.
            lookup_(name, in.now, [socket = QPointer<QTcpSocket>(socket)](const sites::Reply& out) {
                if (socket)
                    writeLate(socket, out);
            });
            return true;
        }
    }
    const bool watchPage = watch_ && in.path.startsWith(u"/lumo/watch");
    const sites::Reply out = watchPage ? watch_(request, socket->localPort())
                                       : replyTo(in);
    if (delayMs_ <= 0) {
        makeResponder(request, socket)
            .write(out.body, {{"Content-Type", out.contentType}, {"Server", "lumo-sites"}},
                   QHttpServerResponder::StatusCode(out.status));
        return true;
    }
    // The request and its responder live no longer than this call, so the late answer is
    // written as it stands; a connection closed meanwhile gets nothing.
    QTimer::singleShot(delayMs_, socket, [socket, out] { writeLate(socket, out); });
    return true;
}

sites::Request SitesServer::requestOf(const QHttpServerRequest& request,
                                      QTcpSocket* socket) const {
    sites::Request in;
    in.path = request.url().path();
    in.query = sites::Query(request.url().query(QUrl::FullyEncoded));
    for (const auto& [name, value] : request.headers()) {
        if (name.compare("host", Qt::CaseInsensitive) == 0) {
            in.host = QString::fromLatin1(value);
            break;
        }
    }
    if (in.host.isEmpty()) // an HTTP/1.0 client may leave it out: name ourselves
        in.host = QStringLiteral("127.0.0.1:%1").arg(socket->localPort());
    in.now = QDateTime::currentDateTime();
    if (fixedToday_.isValid())
        in.now.setDate(fixedToday_);
    in.versionLine = versionLine_;
    in.cellSize = cellSize_;
    in.source = source_;
    return in;
}

sites::Reply SitesServer::replyTo(const sites::Request& in) {
    const QByteArray htmlType = "text/html; charset=utf-8";
    if (!staticPage_.isEmpty() && in.path == u"/static.html")
        return {200, htmlType, staticPage_};
    const bool cached = !source_ && in.path == u"/deleteddomain.php";
    const QString key = cached ? in.host + u' ' + in.query.encoded() : QString();
    if (const QByteArray* page = cached ? generatedPages_.object(key) : nullptr)
        return {200, htmlType, *page};
    sites::Reply out = sites::respond(in);
    if (cached && out.status == 200)
        generatedPages_.insert(key, new QByteArray(out.body), qMax<qsizetype>(1, out.body.size()));
    return out;
}

void SitesServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
