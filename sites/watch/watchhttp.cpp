// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchhttp.h"

#include "watch/watchstore.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sites::watch {
namespace {

const QByteArray JsonType = "application/json; charset=utf-8";

Reply json(int status, const QJsonObject& object) {
    return {status, JsonType, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}
Reply refused(int status, const QString& why) {
    return json(status, {{"error", why}});
}

// Compared as hashes: the time taken says nothing of how much of the token was right.
bool sameToken(const QByteArray& given, const QByteArray& token) {
    auto hash = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    };
    return !token.isEmpty() && hash(given) == hash(token);
}

} // namespace

HttpIn httpIn(const QHttpServerRequest& request, quint16 port) {
    HttpIn in;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get: in.method = "GET"; break;
    case QHttpServerRequest::Method::Post: in.method = "POST"; break;
    default: in.method = "OTHER"; break;
    }
    in.path = request.url().path();
    in.query = request.query();
    for (const auto& [name, value] : request.headers()) {
        if (name.compare("host", Qt::CaseInsensitive) == 0)
            in.host = QString::fromLatin1(value);
        else if (name.compare("x-lumo-token", Qt::CaseInsensitive) == 0)
            in.token = value.trimmed();
    }
    in.body = request.body();
    in.port = port;
    return in;
}

bool ownHost(const QString& host, quint16 port) {
    const QString suffix = QStringLiteral(":%1").arg(port);
    if (!host.endsWith(suffix))
        return false;
    const QString name = host.chopped(suffix.size()).toLower();
    return name == u"127.0.0.1" || name == u"localhost" || name == u"[::1]";
}

Reply answer(const Site& site, const HttpIn& in, const QDateTime& now) {
    if (!ownHost(in.host, in.port))
        return refused(403, QStringLiteral("the watch list answers only its own loopback address"));
    if (in.method == "GET") {
        if (in.path == u"/lumo/watch.json")
            return {200, JsonType, watchJson(site.list->rows(), site.pending ? site.pending() : 0)};
        if (in.path == u"/lumo/watch.ics")
            return {200, "text/calendar; charset=utf-8", icsFeed(site.list->rows(), now)};
        if (in.path == u"/lumo/watch-events.json") {
            const QString since = in.query.queryItemValue(QStringLiteral("since"));
            const QDate day = QDate::fromString(since, Qt::ISODate);
            if (!since.isEmpty() && !day.isValid())
                return refused(400, QStringLiteral("since wants a date YYYY-MM-DD"));
            return {200, JsonType, eventsJson(site.list->events(day))};
        }
        return refused(404, QStringLiteral("no such page"));
    }
    const bool change = in.path == u"/lumo/watch/add" || in.path == u"/lumo/watch/remove" ||
                        in.path == u"/lumo/watch/check";
    if (!change)
        return refused(404, QStringLiteral("no such page"));
    if (in.method != "POST")
        return refused(405, QStringLiteral("changes are POSTed"));
    if (!sameToken(in.token, site.token))
        return refused(403, QStringLiteral("a missing or wrong X-Lumo-Token"));
    QStringList invalid;
    const std::optional<QStringList> names = namesOf(in.body, &invalid);
    if (!names)
        return refused(400, QStringLiteral("the body wants {\"names\":[...]}"));
    if (!invalid.isEmpty())
        return json(400, {{"error", QStringLiteral("not a domain name")},
                          {"invalid", QJsonArray::fromStringList(invalid)}});
    if (in.path == u"/lumo/watch/add") {
        QString error;
        const std::optional<WatchList::Added> added = site.list->add(*names, now, &error);
        if (!added)
            return refused(400, error);
        if (site.queue && !added->added.isEmpty())
            site.queue(added->added, true);
        return json(200, {{"added", QJsonArray::fromStringList(added->added)},
                          {"already", QJsonArray::fromStringList(added->already)}});
    }
    if (in.path == u"/lumo/watch/remove") {
        const auto [removed, unknown] = site.list->remove(*names);
        return json(200, {{"removed", QJsonArray::fromStringList(removed)},
                          {"unknown", QJsonArray::fromStringList(unknown)}});
    }
    QStringList watched;
    for (const QString& name : *names)
        if (site.list->contains(name))
            watched.append(name);
    if (!names->isEmpty() && watched.isEmpty())
        return json(400, {{"error", QStringLiteral("none of these names is watched")},
                          {"invalid", QJsonArray::fromStringList(*names)}});
    const QStringList queued = site.queue ? site.queue(watched, !names->isEmpty()) : QStringList();
    return json(202, {{"queued", QJsonArray::fromStringList(queued)}});
}

} // namespace sites::watch
