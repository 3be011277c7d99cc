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

// RFC 3339 as RDAP servers write it. A time written without a zone is taken as UTC, so the day
// shown does not move with where lumo-sites runs; the years bound what a registration can
// sensibly carry, so that a garbled date (or a registry's "end of time") is left out.
std::optional<QDateTime> eventDate(const QString& raw) {
    QString text = raw.trimmed();
    qsizetype separator = -1;
    for (qsizetype i = 0; i < text.size() && separator < 0; ++i)
        if (text[i] == u'T' || text[i] == u't' || text[i] == u' ')
            separator = i;
    if (separator < 0) {
        text += u"T00:00:00Z";
    } else {
        const QStringView time = QStringView(text).sliced(separator + 1);
        if (!time.contains(u'Z', Qt::CaseInsensitive) && !time.contains(u'+') && !time.contains(u'-'))
            text += u'Z';
    }
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid() || when.timeSpec() == Qt::LocalTime)
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
    // Read event by event: a date that does not read, or two that disagree, leave that one
    // field blank and the rest of the answer stands.
    QList<const std::optional<QDateTime>*> disputed;
    for (const QJsonValue& entry : object.value(u"events").toArray()) {
        const QJsonObject event = entry.toObject();
        std::optional<QDateTime>* slot = nullptr;
        const QString name = event.value(u"eventAction").toString().trimmed().toLower();
        if (name == u"registration")
            slot = &answer.registered;
        else if (name == u"expiration")
            slot = &answer.expires;
        else if (name == u"last changed")
            slot = &answer.lastChanged;
        if (!slot || disputed.contains(slot))
            continue;
        const std::optional<QDateTime> when = eventDate(event.value(u"eventDate").toString());
        if (!when)
            continue;
        if (*slot && **slot != *when) {
            slot->reset();
            disputed.append(slot);
            continue;
        }
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
