// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sitescore/pages.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrlQuery>
#include <functional>

class QHttpServerRequest;

namespace sites::watch {

class WatchList;

// A request to /lumo/watch*, as the server got it.
struct HttpIn {
    QByteArray method;
    QString path;
    QUrlQuery query;
    QString host;    // the Host header as sent
    QByteArray token; // X-Lumo-Token
    QByteArray body;
    quint16 port = 0; // the sites' own
};
HttpIn httpIn(const QHttpServerRequest& request, quint16 port);

struct Site {
    WatchList* list = nullptr;
    QByteArray token;
    // Queues names for a check, `now` past the daily rule and the hour's cache; no names: the
    // names due. Answers the names queued.
    std::function<QStringList(const QStringList& names, bool now)> queue;
    std::function<int()> pending;
};

// Whether `host` names the sites' own loopback address: 127.0.0.1, localhost or [::1] at `port`.
bool ownHost(const QString& host, quint16 port);

// The answer to any /lumo/watch* request.
Reply answer(const Site& site, const HttpIn& in, const QDateTime& now);

} // namespace sites::watch
