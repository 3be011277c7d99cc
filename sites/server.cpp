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

bool SitesServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    const QString name = request.query().queryItemValue(QStringLiteral("wd"), QUrl::FullyDecoded);
    if (lookup_ && (path == u"/DomainDel/" || path == u"/DomainDel") && !name.isEmpty()) {
        QDateTime now = QDateTime::currentDateTime();
        if (fixedToday_.isValid())
            now.setDate(fixedToday_);
        // The answer goes out as it stands, later; a connection closed meanwhile gets nothing.
        lookup_(name, now, [socket = QPointer<QTcpSocket>(socket)](const sites::Reply& out) {
            if (socket)
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + out.contentType +
                              "\r\nContent-Length: " + QByteArray::number(out.body.size()) +
                              "\r\nServer: lumo-sites\r\n\r\n" + out.body);
        });
        return true;
    }
    const sites::Reply out = replyTo(request, socket);
    if (delayMs_ <= 0) {
        makeResponder(request, socket)
            .write(out.body, {{"Content-Type", out.contentType}, {"Server", "lumo-sites"}},
                   QHttpServerResponder::StatusCode(out.status));
        return true;
    }
    // The request and its responder live no longer than this call, so the late answer is
    // written as it stands; a connection closed meanwhile gets nothing.
    const QByteArray bytes = "HTTP/1.1 " + QByteArray::number(out.status) +
                             (out.status == 200 ? " OK" : " Not Found") +
                             "\r\nContent-Type: " + out.contentType +
                             "\r\nContent-Length: " + QByteArray::number(out.body.size()) +
                             "\r\nServer: lumo-sites\r\n\r\n" + out.body;
    QTimer::singleShot(delayMs_, socket, [socket, bytes] { socket->write(bytes); });
    return true;
}

sites::Reply SitesServer::replyTo(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QByteArray htmlType = "text/html; charset=utf-8";
    if (!staticPage_.isEmpty() && request.url().path() == u"/static.html")
        return {200, htmlType, staticPage_};
    sites::Request in;
    in.path = request.url().path();
    in.query = request.query();
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

    const bool listPage = in.path == u"/deleteddomain.php";
    const QString key =
        listPage ? in.host + u' ' + request.url().query(QUrl::FullyEncoded) : QString();
    if (const QByteArray* page = listPage ? listPages_.object(key) : nullptr)
        return {200, htmlType, *page};
    sites::Reply out = sites::respond(in);
    if (listPage && out.status == 200)
        listPages_.insert(key, new QByteArray(out.body), qMax<qsizetype>(1, out.body.size()));
    return out;
}

void SitesServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
