#pragma once

#include <QAbstractHttpServer>
#include <QDate>
#include <QString>

// Answers every request with the page that sites::respond builds for it.
class SitesServer : public QAbstractHttpServer {
public:
    SitesServer(QString versionLine, QDate fixedToday, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    QString versionLine_;
    QDate fixedToday_; // invalid: the clock's date
};
