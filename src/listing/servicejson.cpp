// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/servicejson.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "listing/jsonfields.h"

#include <cmath>

namespace listing {
namespace {



using json::document;
using json::texts;
using json::wholeNumber;

bool isDay(const QJsonValue& value) {
    return value.isString() && json::isDay(value.toString());
}


// A time or null; `ok` turns false for anything else.
std::optional<QString> timeOrNull(const QJsonValue& value, bool& ok) {
    if (value.isNull())
        return std::nullopt;
    ok = ok && value.isString() && QDateTime::fromString(value.toString(), Qt::ISODate).isValid();
    return value.toString();
}

} // namespace

std::optional<QList<SourceState>> parseSources(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isArray())
        return std::nullopt;
    static const QStringList statuses = {QStringLiteral("ok"), QStringLiteral("unchanged"),
                                         QStringLiteral("failed"), QStringLiteral("never")};
    QList<SourceState> sources;
    for (const QJsonValue& entry : doc->array()) {
        const QJsonObject o = entry.toObject();
        bool ok = entry.isObject() && o.value(u"source").isString() &&
                  (o.value(u"url").isString() || o.value(u"url").isNull()) &&
                  statuses.contains(o.value(u"status").toString()) &&
                  (o.value(u"error").isNull() || o.value(u"error").isString()) &&
                  (o.value(u"generated").isUndefined() || o.value(u"generated").isBool());
        SourceState s;
        s.source = o.value(u"source").toString();
        s.url = o.value(u"url").toString();
        s.lastAttempt = timeOrNull(o.value(u"lastAttempt"), ok);
        s.lastSuccess = timeOrNull(o.value(u"lastSuccess"), ok);
        s.status = o.value(u"status").toString();
        const std::optional<qint64> names = wholeNumber(o.value(u"names"));
        if (!ok || !names)
            return std::nullopt;
        s.names = *names;
        if (o.value(u"error").isString())
            s.error = o.value(u"error").toString();
        s.generated = o.value(u"generated").toBool();
        sources.append(s);
    }
    return sources;
}

std::optional<ServiceCounts> parseCounts(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isObject())
        return std::nullopt;
    const QJsonObject top = doc->object();
    ServiceCounts counts;
    counts.date = top.value(u"date").toString();
    if (counts.date.size() != 10 || !QDate::fromString(counts.date, Qt::ISODate).isValid() ||
        !top.value(u"counts").isObject())
        return std::nullopt;
    const QJsonObject bySuffix = top.value(u"counts").toObject();
    for (auto s = bySuffix.begin(); s != bySuffix.end(); ++s) {
        if (!s.key().startsWith(u'.') || s.key().size() < 2)
            return std::nullopt;
        if (s.value().isNull()) {
            counts.bySuffix.insert(s.key(), std::nullopt);
            continue;
        }
        if (!s.value().isObject())
            return std::nullopt;
        QMap<int, qint64> byLength;
        const QJsonObject lengths = s.value().toObject();
        for (auto l = lengths.begin(); l != lengths.end(); ++l) {
            bool isNumber = false;
            const int length = l.key().toInt(&isNumber);
            const std::optional<qint64> n = wholeNumber(l.value());
            if (!isNumber || length < 1 || length > 63 || l.key() != QString::number(length) || !n)
                return std::nullopt;
            byLength.insert(length, *n);
        }
        counts.bySuffix.insert(s.key(), byLength);
    }
    const std::optional<QStringList> approximate = texts(top.value(u"approximate"));
    const std::optional<QStringList> nodata = texts(top.value(u"nodata"));
    const QJsonValue generated = top.value(u"generated");
    if (!approximate || !nodata || !(generated.isUndefined() || generated.isBool()))
        return std::nullopt;
    counts.approximate = *approximate;
    counts.nodata = *nodata;
    counts.generated = generated.toBool();
    return counts;
}

std::optional<QList<DayDates>> parseDays(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isArray())
        return std::nullopt;
    QList<DayDates> days;
    for (const QJsonValue& entry : doc->array()) {
        const QJsonObject o = entry.toObject();
        if (!o.value(u"key").isString() || !isDay(o.value(u"site")) || !isDay(o.value(u"date")))
            return std::nullopt;
        days.append({o.value(u"key").toString(), o.value(u"site").toString(),
                     o.value(u"date").toString()});
    }
    return days;
}

std::optional<QList<StoredDay>> parseStored(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isArray())
        return std::nullopt;
    QList<StoredDay> stored;
    for (const QJsonValue& entry : doc->array()) {
        const QJsonObject o = entry.toObject();
        const QJsonValue names = o.value(u"names");
        const QJsonValue approximate = o.value(u"approximate");
        const std::optional<qint64> n = wholeNumber(names);
        const bool unknown = names.isNull() || (names.isDouble() && names.toDouble() == -1);
        if (!o.value(u"list").isString() || !isDay(o.value(u"day")) || (!n && !unknown) ||
            !(approximate.isUndefined() || approximate.isBool()))
            return std::nullopt;
        stored.append({o.value(u"list").toString(), o.value(u"day").toString(), n,
                       approximate.toBool()});
    }
    return stored;
}

bool looksLikeJson(QByteArrayView body) {
    const QByteArrayView rest = body.trimmed();
    return rest.startsWith('{') || rest.startsWith('[');
}

} // namespace listing
