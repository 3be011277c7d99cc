// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/servicejson.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace listing {
namespace {

std::optional<QJsonDocument> document(QByteArrayView json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return doc;
}

// A count or a number of names: whole, not negative, and exact in a double.
std::optional<qint64> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double n = value.toDouble();
    if (!(n >= 0 && n <= 9007199254740992.0) || std::floor(n) != n)
        return std::nullopt;
    return qint64(n);
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
        bool ok = entry.isObject() && o.value(u"source").isString() && o.value(u"url").isString() &&
                  statuses.contains(o.value(u"status").toString()) &&
                  (o.value(u"error").isNull() || o.value(u"error").isString());
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
    for (const QJsonValue& suffix : top.value(u"approximate").toArray())
        if (suffix.isString())
            counts.approximate.append(suffix.toString());
    return counts;
}

bool looksLikeJson(QByteArrayView body) {
    const QByteArrayView rest = body.trimmed();
    return rest.startsWith('{') || rest.startsWith('[');
}

} // namespace listing
