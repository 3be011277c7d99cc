// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/answer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace sites::rdap {
namespace {

ParsedAnswer refused(const QString& why) {
    return {std::nullopt, why};
}

// RFC 3339 as RDAP servers write it; the years bound what a registration can sensibly carry,
// so that a garbled date is refused instead of shown.
std::optional<QDateTime> eventDate(const QString& text) {
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid())
        return std::nullopt;
    when = when.toUTC();
    if (when.date().year() < 1985 || when.date().year() > 2200)
        return std::nullopt;
    return when;
}

} // namespace

ParsedAnswer parseDomainAnswer(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(QStringLiteral("not JSON: %1 at byte %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    if (!document.isObject())
        return refused(QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    if (object.value(u"objectClassName").toString() != u"domain")
        return refused(QStringLiteral("not a domain object"));

    DomainAnswer answer;
    const QJsonValue status = object.value(u"status");
    if (!status.isUndefined()) {
        if (!status.isArray())
            return refused(QStringLiteral("status is not a list"));
        for (const QJsonValue& phrase : status.toArray()) {
            if (!phrase.isString())
                return refused(QStringLiteral("status holds something other than text"));
            answer.status << phrase.toString().trimmed().toLower();
        }
    }
    const QJsonValue events = object.value(u"events");
    if (!events.isUndefined() && !events.isArray())
        return refused(QStringLiteral("events is not a list"));
    for (const QJsonValue& entry : events.toArray()) {
        const QJsonObject event = entry.toObject();
        const QJsonValue action = event.value(u"eventAction");
        const QJsonValue date = event.value(u"eventDate");
        if (!entry.isObject() || !action.isString() || !date.isString())
            return refused(QStringLiteral("an event without action or date"));
        std::optional<QDateTime>* slot = nullptr;
        const QString name = action.toString().trimmed().toLower();
        if (name == u"registration")
            slot = &answer.registered;
        else if (name == u"expiration")
            slot = &answer.expires;
        else if (name == u"last changed")
            slot = &answer.lastChanged;
        else
            continue;
        const std::optional<QDateTime> when = eventDate(date.toString());
        if (!when)
            return refused(QStringLiteral("the %1 date does not read as a date").arg(name));
        if (*slot && **slot != *when)
            return refused(QStringLiteral("two different %1 dates").arg(name));
        *slot = when;
    }
    return {answer, QString()};
}

std::optional<QDate> estimatedDeletion(const DomainAnswer& answer) {
    if (!answer.lastChanged)
        return std::nullopt;
    const QDate changed = answer.lastChanged->date();
    if (answer.status.contains(u"redemption period"))
        return changed.addDays(35);
    if (answer.status.contains(u"pending delete"))
        return changed.addDays(5);
    return std::nullopt;
}

} // namespace sites::rdap
