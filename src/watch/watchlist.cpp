// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchlist.h"

#include "listing/export.h"
#include "listing/jsonfields.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>

namespace watch {
namespace {


// A value that may be null (or left out): `valid` says whether a text is one.
std::optional<QString> orNull(const QJsonValue& value, bool& ok, bool (*valid)(const QString&)) {
    if (value.isNull() || value.isUndefined())
        return std::nullopt;
    ok = ok && value.isString() && valid(value.toString());
    return value.toString();
}

using listing::json::document;
using listing::json::isDay;
using listing::json::texts;
using listing::json::wholeNumber;

bool isTime(const QString& text) {
    return QDateTime::fromString(text, Qt::ISODate).isValid();
}

bool anyText(const QString&) {
    return true;
}

std::optional<Event> readEvent(const QJsonValue& value, bool withName) {
    static const QStringList kinds = {QStringLiteral("first"),  QStringLiteral("status"),
                                      QStringLiteral("taken"),  QStringLiteral("day"),
                                      QStringLiteral("listed"), QStringLiteral("failing")};
    const QJsonObject o = value.toObject();
    if (!value.isObject() || !kinds.contains(o.value(u"kind").toString()) ||
        !o.value(u"text").isString() || !isTime(o.value(u"at").toString()) ||
        (withName && !o.value(u"name").isString()))
        return std::nullopt;
    return Event{o.value(u"name").toString(), o.value(u"kind").toString(),
                 o.value(u"text").toString(), o.value(u"at").toString()};
}



} // namespace

std::optional<WatchList> parseWatchList(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isObject() || !doc->object().value(u"names").isArray())
        return std::nullopt;
    WatchList list;
    const std::optional<qint64> pending = wholeNumber(doc->object().value(u"pending"));
    if (!pending)
        return std::nullopt;
    list.pending = *pending;
    for (const QJsonValue& entry : doc->object().value(u"names").toArray()) {
        const QJsonObject o = entry.toObject();
        Watched w;
        bool ok = entry.isObject() && o.value(u"name").isString() &&
                  o.value(u"status").isString() && o.value(u"approximate").isBool();
        w.name = o.value(u"name").toString();
        w.added = o.value(u"added").toString();
        w.status = o.value(u"status").toString();
        ok = ok && isTime(w.added);
        w.registered = orNull(o.value(u"registered"), ok, isDay);
        w.expires = orNull(o.value(u"expires"), ok, isDay);
        w.deleted = orNull(o.value(u"deleted"), ok, isDay);
        w.approximate = o.value(u"approximate").toBool();
        w.releaseTime = orNull(o.value(u"releaseTime"), ok, anyText);
        w.checked = orNull(o.value(u"checked"), ok, isTime);
        const std::optional<qint64> failures = wholeNumber(o.value(u"failures"));
        ok = ok && failures;
        w.failures = failures.value_or(0);
        if (!o.value(u"event").isNull() && !o.value(u"event").isUndefined()) {
            w.event = readEvent(o.value(u"event"), false);
            ok = ok && w.event;
            if (w.event)
                w.event->name = w.name;
        }
        if (!ok)
            return std::nullopt;
        list.names.append(w);
    }
    return list;
}

std::optional<QList<Event>> parseEvents(QByteArrayView json) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isArray())
        return std::nullopt;
    QList<Event> events;
    for (const QJsonValue& entry : doc->array()) {
        std::optional<Event> event = readEvent(entry, true);
        if (!event)
            return std::nullopt;
        events.append(*event);
    }
    return events;
}

std::optional<ChangeAnswer> parseChangeAnswer(QByteArrayView json, QStringView doneField,
                                              QStringView leftField) {
    const std::optional<QJsonDocument> doc = document(json);
    if (!doc || !doc->isObject())
        return std::nullopt;
    const QJsonObject o = doc->object();
    const std::optional<QStringList> done = texts(o.value(doneField));
    const std::optional<QStringList> left =
        leftField.isEmpty() ? QStringList() : texts(o.value(leftField));
    const std::optional<QStringList> invalid = texts(o.value(u"invalid"));
    const QJsonValue error = o.value(u"error");
    if (!done || !left || !invalid || !(error.isUndefined() || error.isString()))
        return std::nullopt;
    return ChangeAnswer{*done, *left, error.toString(), *invalid};
}

QByteArray namesBody(const QStringList& names) {
    return QJsonDocument(QJsonObject{{QStringLiteral("names"), QJsonArray::fromStringList(names)}})
        .toJson(QJsonDocument::Compact);
}

bool isDomainName(const QString& name) {
    if (name.isEmpty() || name.endsWith(u'.'))
        return false;
    for (const QChar c : name)
        if (c.isSpace() || c == u'/' || c == u':' || c == u'@' || c == u'?' || c == u'#' ||
            c == u'%' || c == u'\\')
            return false;
    // The ASCII form says what a registry would take: IDN labels that do not convert are out.
    const QString ace = QString::fromLatin1(QUrl::toAce(name, QUrl::AceTransitionalProcessing));
    if (ace.isEmpty() || ace.size() > 253)
        return false;
    const QStringList labels = ace.split(u'.');
    if (labels.size() < 2)
        return false;
    for (const QString& label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (const QChar c : label)
            if (!(c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'-'))
                return false;
    }
    // A suffix is letters, never all digits (so no address like 1.2.3.4).
    return !labels.constLast().front().isDigit();
}

QString normalized(const QString& name) {
    return QUrl::fromAce(QUrl::toAce(name.toLower())).normalized(QString::NormalizationForm_C);
}

QString deletedText(const Watched& w) {
    if (!w.deleted)
        return QString();
    QString text = (w.approximate ? QStringLiteral("≈") : QString()) + *w.deleted;
    if (w.releaseTime)
        text += u' ' + *w.releaseTime;
    return text;
}

QString localTime(const std::optional<QString>& iso) {
    if (!iso)
        return QStringLiteral("-");
    return QDateTime::fromString(*iso, Qt::ISODate)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

bool checkedSince(const Watched& w, const QDateTime& since) {
    return w.checked && QDateTime::fromString(*w.checked, Qt::ISODate) >= since;
}

QString csv(const QList<Watched>& names) {
    QString out = listing::csvRow({QStringLiteral("name"), QStringLiteral("status"),
                                   QStringLiteral("deleted"), QStringLiteral("approximate"),
                                   QStringLiteral("checked"), QStringLiteral("event"),
                                   QStringLiteral("releaseTime")});
    for (const Watched& w : names)
        out += listing::csvRow({w.name, w.status, w.deleted.value_or(QString()),
                                w.approximate ? QStringLiteral("true") : QStringLiteral("false"),
                                w.checked.value_or(QString()),
                                w.event ? w.event->text : QString(),
                                w.releaseTime.value_or(QString())});
    return out;
}

QString defaultTokenPath() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/lumo/watch-token");
}

Token readToken(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return {{},
                QStringLiteral("没有关注令牌文件 %1（lumo-sites 第一次运行时生成它）")
                    .arg(QDir::toNativeSeparators(path))};
    if (!file.open(QIODevice::ReadOnly))
        return {{},
                QStringLiteral("无法读取关注令牌文件 %1：%2")
                    .arg(QDir::toNativeSeparators(path), file.errorString())};
    const QByteArray token = file.read(1024).trimmed();
    // Only hex goes into a header line: nothing the file holds can add a line of its own.
    const bool hex = !token.isEmpty() && std::all_of(token.begin(), token.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    if (!hex)
        return {{},
                QStringLiteral("关注令牌文件 %1 里没有令牌").arg(QDir::toNativeSeparators(path))};
    return {token, QString()};
}

} // namespace watch
