// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QCache>
#include <QDate>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpSocket>
#include <functional>

#include "sitescore/pages.h"

// Answers every request with the page that sites::respond builds for it.
class SitesServer : public QAbstractHttpServer {
public:
    SitesServer(QString versionLine, QDate fixedToday, QObject* parent = nullptr);

    // For benchmarks only. Every cell holds `names` names (see sites::Request::cellSize).
    void setCellSize(int names) { cellSize_ = names; }
    // Serves a fixed page of exactly `bytes` bytes at /static.html, built once here.
    void setStaticPage(int bytes);
    // For benchmarks: every answer leaves `ms` milliseconds after its request came in, as
    // over a slower network; other connections are served meanwhile.
    void setDelay(int ms) { delayMs_ = ms; }
    // Lookups of a name answered when `lookup` hands over the page, while other requests go
    // on being served; unset, the lookup page is built at once like every other.
    using Lookup = std::function<void(const QString& name, const QDateTime& now,
                                      std::function<void(const sites::Reply&)> reply)>;
    void setLookup(Lookup lookup) { lookup_ = std::move(lookup); }
    // The watch list's pages, /lumo/watch*: `watch` answers with the port served on.
    using Watch = std::function<sites::Reply(const QHttpServerRequest&, quint16 port)>;
    void setWatch(Watch watch) { watch_ = std::move(watch); }
    // The stored lists, or null for the generated names (also served, marked, while the store
    // holds nothing).
    void setSource(const sites::NameSource* source);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    sites::Request requestOf(const QHttpServerRequest& request, QTcpSocket* socket) const;
    sites::Reply replyTo(const sites::Request& in);
    static void writeLate(QTcpSocket* socket, const sites::Reply& out);

    const sites::NameSource* source_ = nullptr;

    // The generated names' list pages depend on nothing but the request and are asked for
    // thousands of times over, so the latest ones are kept ready. Stored lists' pages are
    // built each time.
    QCache<QString, QByteArray> generatedPages_{8 << 20};
    QString versionLine_;
    QDate fixedToday_; // invalid: the clock's date
    int cellSize_ = -1;
    QByteArray staticPage_; // empty: no /static.html
    int delayMs_ = 0;
    Lookup lookup_;
    Watch watch_;
};
