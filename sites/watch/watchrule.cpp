// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchrule.h"

#include "names/domainname.h"
#include "sources/droplists.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

namespace sites::watch {
namespace {

const QString Registered = QStringLiteral("已注册");
const QString Free = QStringLiteral("未注册");
const QString Deleted = QStringLiteral("已删除");
const QString Pending = QStringLiteral("待删除");

QString dayText(const std::optional<QDate>& day) {
    return day ? day->toString(Qt::ISODate) : QString();
}

QString dayWithMark(QDate day, bool approximate) {
    return day.toString(Qt::ISODate) + (approximate ? QStringLiteral("（估计）") : QString());
}

QString summaryOf(const WatchResult& result) {
    QString text = result.status;
    if (result.expires && result.known == Registered)
        text += QStringLiteral("，到期 ") + dayText(result.expires);
    if (result.deleted)
        text += QStringLiteral("，删除日期 ") + dayWithMark(*result.deleted, result.approximate);
    return text;
}

// Failing for three days running: the first failure two calendar days or more before the last.
bool longFailing(const WatchResult& result) {
    return result.failures > 0 && result.failingSince.isValid() && result.checked.isValid() &&
           result.failingSince.date().daysTo(result.checked.date()) >= 2;
}

QJsonValue jsonDay(const std::optional<QDate>& day) {
    return day ? QJsonValue(day->toString(Qt::ISODate)) : QJsonValue();
}

QJsonValue jsonTime(const QDateTime& time) {
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QByteArray icsText(const QString& text) {
    QString out;
    for (QChar c : text) {
        if (c == u'\\' || c == u';' || c == u',')
            out += u'\\';
        if (c == u'\n') {
            out += QStringLiteral("\\n");
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

// Content lines are folded at 75 octets, never inside a UTF-8 sequence.
QByteArray icsLine(const QByteArray& line) {
    QByteArray out;
    int width = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uchar c = uchar(line[i]);
        if ((c & 0xC0) != 0x80) { // a character starts: does it fit?
            int length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            if (width + length > 75) {
                out += "\r\n ";
                width = 1;
            }
        }
        out += char(c);
        ++width;
    }
    return out + "\r\n";
}

} // namespace

QList<WatchEvent> eventsOf(const WatchResult& before, const WatchResult& after) {
    if (!before.checked.isValid())
        return {{QStringLiteral("first"), QStringLiteral("首次查询：") + summaryOf(after)}};
    QList<WatchEvent> events;
    if (after.known != before.known && !after.known.isEmpty()) {
        const bool wasFree = before.known == Free || before.known == Deleted;
        if (wasFree && after.known == Registered && after.registered &&
            after.registered != before.registered)
            events.append({QStringLiteral("taken"),
                           QStringLiteral("已被他人注册（注册日期 %1），等待结束")
                               .arg(dayText(after.registered))});
        else
            events.append({QStringLiteral("status"),
                           QStringLiteral("%1 → %2")
                               .arg(before.known.isEmpty() ? QStringLiteral("未知") : before.known,
                                    after.known)});
    }
    const QString at = after.releaseTime.isEmpty() ? QString() : u' ' + after.releaseTime;
    if (after.listed && after.listed != before.listed) {
        events.append({QStringLiteral("listed"),
                       QStringLiteral("出现在注册局的删除名单上，删除日期 %1%2")
                           .arg(dayText(after.listed), at)});
    } else if (after.deleted && (after.deleted != before.deleted ||
                                 (before.approximate && !after.approximate))) {
        const QString day = dayWithMark(*after.deleted, after.approximate) + at;
        events.append({QStringLiteral("day"),
                       before.deleted ? QStringLiteral("删除日期由 %1 改为 %2")
                                            .arg(dayWithMark(*before.deleted, before.approximate), day)
                                      : QStringLiteral("删除日期 %1").arg(day)});
    }
    if (longFailing(after) && !longFailing(before))
        events.append({QStringLiteral("failing"),
                       QStringLiteral("连续三天查询失败：") + after.status});
    return events;
}

WatchResult afterLookup(const WatchResult& before, const Looked& looked, const QDateTime& now) {
    WatchResult after = before;
    after.checked = now;
    after.status = looked.status;
    if (looked.failed) {
        if (looked.transient) {
            after.failures = before.failures + 1;
            if (before.failures == 0 || !before.failingSince.isValid())
                after.failingSince = now;
        }
        return after;
    }
    after.known = looked.status;
    after.registered = looked.registered;
    after.expires = looked.expires;
    after.deleted = looked.deleted;
    after.approximate = looked.approximate;
    after.listed = looked.listed;
    after.releaseTime = looked.deleted ? looked.releaseTime : QString();
    after.failures = 0;
    after.failingSince = {};
    return after;
}

WatchResult afterListed(const WatchResult& before, QDate day, bool approximate,
                        const QString& releaseTime, QDate today) {
    WatchResult after = before;
    if (!approximate) {
        after.listed = after.deleted = day;
        after.approximate = false;
        after.releaseTime = releaseTime;
        // A name registered again after its day has gone by stays registered.
        if (day >= today)
            after.status = after.known = Pending;
        else if (before.known != Registered)
            after.status = after.known = Deleted;
        return after;
    }
    // An estimate gives way to a registry's day, to RDAP's own estimate and to a registry
    // that says the name is registered or free.
    if (before.listed || before.deleted || before.known == Registered || before.known == Free)
        return before;
    after.deleted = day;
    after.approximate = true;
    after.releaseTime.clear();
    if (before.known.isEmpty())
        after.status = day < today ? Deleted : Pending;
    return after;
}

bool due(const WatchResult& result, const QDateTime& now) {
    if (!result.checked.isValid())
        return true;
    const bool far = result.known == Registered && result.expires && !result.deleted &&
                     now.toUTC().date().daysTo(*result.expires) > 45;
    // An hour's slack, so that a timer a minute early still finds the name due.
    return result.checked.secsTo(now) >= (far ? 7 * 24 - 1 : 23) * 3600;
}

QString releaseTimeOf(const QString& name, const QString& listTime) {
    if (name.endsWith(u".se") || name.endsWith(u".nu"))
        return QStringLiteral("04:00 UTC");
    if (name.endsWith(u".top") && !listTime.isEmpty())
        return listTime + QStringLiteral(" 北京时间");
    return {};
}

std::optional<QStringList> namesOf(const QByteArray& body, QStringList* invalid) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue names = document.object().value(u"names");
    if (!names.isArray())
        return std::nullopt;
    QStringList out;
    QSet<QString> seen;
    for (const QJsonValue& value : names.toArray()) {
        const QString raw = value.toString();
        const QString name = sources::normalizedName(raw);
        // Two labels or more, the last no number: a name, not a suffix or an address.
        if (!value.isString() || name.isEmpty() || names::endsInNumber(name)) {
            invalid->append(value.isString() ? raw : QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
            continue;
        }
        if (!seen.contains(name)) {
            seen.insert(name);
            out.append(name);
        }
    }
    return out;
}

QByteArray watchJson(const QList<WatchedRow>& rows, int pending) {
    QJsonArray names;
    for (const WatchedRow& row : rows) {
        const WatchResult& r = row.result;
        QJsonObject item{{"name", row.name},
                         {"added", jsonTime(row.added)},
                         {"status", r.status}, // empty until the first check
                         {"registered", jsonDay(r.registered)},
                         {"expires", jsonDay(r.expires)},
                         {"deleted", jsonDay(r.deleted)},
                         {"approximate", r.deleted && r.approximate},
                         {"releaseTime", r.releaseTime.isEmpty() ? QJsonValue() : QJsonValue(r.releaseTime)},
                         {"checked", jsonTime(r.checked)},
                         {"failures", r.failures}};
        item.insert(u"event", row.event ? QJsonValue(QJsonObject{{"kind", row.event->kind},
                                                                 {"text", row.event->text},
                                                                 {"at", jsonTime(row.eventAt)}})
                                        : QJsonValue());
        names.append(item);
    }
    return QJsonDocument(QJsonObject{{"names", names}, {"pending", pending}})
        .toJson(QJsonDocument::Compact);
}

QByteArray eventsJson(const QList<EventRow>& events) {
    QJsonArray out;
    for (const EventRow& row : events)
        out.append(QJsonObject{{"name", row.name},
                               {"kind", row.event.kind},
                               {"text", row.event.text},
                               {"at", jsonTime(row.at)}});
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QByteArray icsFeed(const QList<WatchedRow>& rows, const QDateTime& now) {
    QByteArray out = icsLine("BEGIN:VCALENDAR") + icsLine("VERSION:2.0") +
                     icsLine("PRODID:-//Lumo//lumo-sites//ZH") + icsLine("CALSCALE:GREGORIAN") +
                     icsLine("X-WR-CALNAME:" + icsText(QStringLiteral("Lumo 关注的域名")));
    const QByteArray stamp = now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
    for (const WatchedRow& row : rows) {
        const WatchResult& r = row.result;
        if (!r.deleted)
            continue;
        QString summary = row.name + QStringLiteral(" 删除");
        if (r.approximate)
            summary += QStringLiteral("（估计）");
        QString description = QStringLiteral("%1 的删除日期 %2")
                                  .arg(row.name, dayWithMark(*r.deleted, r.approximate));
        if (!r.releaseTime.isEmpty())
            description += QStringLiteral("，释放时间 ") + r.releaseTime;
        if (!r.status.isEmpty())
            description += QStringLiteral("；状态：") + r.status;
        out += icsLine("BEGIN:VEVENT");
        out += icsLine("UID:" + QUrl::toAce(row.name) + "@lumo");
        out += icsLine("DTSTAMP:" + stamp);
        out += icsLine("DTSTART;VALUE=DATE:" + r.deleted->toString(u"yyyyMMdd").toLatin1());
        out += icsLine("DTEND;VALUE=DATE:" + r.deleted->addDays(1).toString(u"yyyyMMdd").toLatin1());
        out += icsLine("SUMMARY:" + icsText(summary));
        out += icsLine("DESCRIPTION:" + icsText(description));
        out += icsLine("TRANSP:TRANSPARENT");
        out += icsLine("END:VEVENT");
    }
    return out + icsLine("END:VCALENDAR");
}

} // namespace sites::watch
