#include "server.h"

#include "sitescore/pages.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>

SitesServer::SitesServer(QString versionLine, QDate fixedToday, QObject* parent)
    : QAbstractHttpServer(parent), versionLine_(std::move(versionLine)), fixedToday_(fixedToday) {}

bool SitesServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
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

    const sites::Reply out = sites::respond(in);
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(out.body, {{"Content-Type", out.contentType}, {"Server", "lumo-sites"}},
                    QHttpServerResponder::StatusCode(out.status));
    return true;
}

void SitesServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
