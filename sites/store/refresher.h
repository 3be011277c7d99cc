// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/config.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>

namespace sites::net {
class HttpClient;
}

namespace sites::store {

class Store;

struct RefreshResult {
    QString source;
    QString status; // "ok", "unchanged" or "failed"
    qint64 names = 0;
    QString error;
    QString note; // for people, after the line: why a fetched list was not filed
};

// Fetches every list (conditional GET with the validators of the last good copy), parses it
// whole and, when it passes the sanity gate, files it in the store. A failed or refused
// fetch leaves the stored names as they are.
class Refresher : public QObject {
    Q_OBJECT
public:
    // Each list is filed under its registry's day (registryToday); a valid `fixedToday` is
    // every registry's today instead.
    Refresher(Store& store, QList<ListSource> sources, QDate fixedToday,
              QObject* parent = nullptr);
    ~Refresher() override;

    // The least time between two requests to one host; 1 s unless the INI says otherwise.
    void setFetchInterval(int milliseconds);
    // Starts a fetch of every list, unless one runs.
    void start();
    bool running() const { return pending_ > 0; }
    // The lines `lumo-sites --refresh` prints: "cnnic-today: ok, 1234 names".
    static QString line(const RefreshResult& result);

signals:
    void finished(const QList<sites::store::RefreshResult>& results);

private:
    void file(const ListSource& source, const QByteArray& body, const QByteArray& etag,
              const QByteArray& lastModified);
    void done(RefreshResult result);
    void finishOne(const RefreshResult& result);
    QDate today(const ListSource& source) const;

    Store& store_;
    QList<ListSource> sources_;
    QDate fixedToday_;
    net::HttpClient* client_;
    int pending_ = 0;
    QList<RefreshResult> results_;
};

} // namespace sites::store
