// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchstore.h"

#include "sitescore/namesource.h"

#include <QDir>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace sites::watch {
namespace {

const char* const Schema[] = {
    "CREATE TABLE IF NOT EXISTS watched(name TEXT PRIMARY KEY, added TEXT NOT NULL, "
    "status TEXT, known TEXT, registered TEXT, expires TEXT, deleted TEXT, "
    "approximate INTEGER NOT NULL DEFAULT 0, release_time TEXT, listed TEXT, checked TEXT, "
    "failures INTEGER NOT NULL DEFAULT 0, failing_since TEXT, lists_seen TEXT) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS watch_events(id INTEGER PRIMARY KEY, name TEXT NOT NULL, "
    "kind TEXT NOT NULL, text TEXT NOT NULL, at TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS watch_events_by_name ON watch_events(name, id)",
    "CREATE TABLE IF NOT EXISTS rdap_pace(server TEXT PRIMARY KEY, last_ms INTEGER NOT NULL)",
};

// The result's columns, in the order readResult() takes them.
const QString ResultColumns = QStringLiteral(
    "w.status, w.known, w.registered, w.expires, w.deleted, w.approximate, w.release_time, "
    "w.listed, w.checked, w.failures, w.failing_since");

QVariant dayValue(const std::optional<QDate>& day) {
    return day ? QVariant(day->toString(Qt::ISODate)) : QVariant(QMetaType(QMetaType::QString));
}
QVariant timeValue(const QDateTime& time) {
    return time.isValid() ? QVariant(time.toUTC().toString(Qt::ISODateWithMs))
                          : QVariant(QMetaType(QMetaType::QString));
}
std::optional<QDate> dayOf(const QVariant& value) {
    const QDate day = QDate::fromString(value.toString(), Qt::ISODate);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}
QDateTime timeOf(const QVariant& value) {
    return value.isNull() ? QDateTime() : QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

WatchResult readResult(const QSqlQuery& query, int at) {
    WatchResult r;
    r.status = query.value(at).toString();
    r.known = query.value(at + 1).toString();
    r.registered = dayOf(query.value(at + 2));
    r.expires = dayOf(query.value(at + 3));
    r.deleted = dayOf(query.value(at + 4));
    r.approximate = query.value(at + 5).toBool();
    r.releaseTime = query.value(at + 6).toString();
    r.listed = dayOf(query.value(at + 7));
    r.checked = timeOf(query.value(at + 8));
    r.failures = query.value(at + 9).toInt();
    r.failingSince = timeOf(query.value(at + 10));
    return r;
}

// One immediate transaction: another process waits (the busy timeout) rather than interleaves.
class Immediate {
public:
    explicit Immediate(QSqlDatabase db) : query_(db) { begun_ = query_.exec(QStringLiteral("BEGIN IMMEDIATE")); }
    ~Immediate() {
        if (begun_)
            query_.exec(QStringLiteral("ROLLBACK"));
    }
    bool begun() const { return begun_; }
    bool commit() {
        begun_ = !query_.exec(QStringLiteral("COMMIT"));
        return !begun_;
    }

private:
    QSqlQuery query_;
    bool begun_ = false;
};

bool store(QSqlDatabase db, const QString& name, const WatchResult& r,
           const QList<WatchEvent>& events, const QDateTime& now) {
    QSqlQuery update(db);
    update.prepare(QStringLiteral(
        "UPDATE watched SET status = ?, known = ?, registered = ?, expires = ?, deleted = ?, "
        "approximate = ?, release_time = ?, listed = ?, checked = ?, failures = ?, "
        "failing_since = ? WHERE name = ?"));
    for (const QVariant& value :
         {QVariant(r.status), QVariant(r.known), dayValue(r.registered), dayValue(r.expires),
          dayValue(r.deleted), QVariant(int(r.approximate)), QVariant(r.releaseTime),
          dayValue(r.listed), timeValue(r.checked), QVariant(r.failures),
          timeValue(r.failingSince), QVariant(name)})
        update.addBindValue(value);
    if (!update.exec())
        return false;
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO watch_events(name, kind, text, at) VALUES(?, ?, ?, ?)"));
    for (const WatchEvent& event : events) {
        insert.addBindValue(name);
        insert.addBindValue(event.kind);
        insert.addBindValue(event.text);
        insert.addBindValue(timeValue(now));
        if (!insert.exec())
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<WatchList> WatchList::open(const QString& dir, QString* error) {
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot make %1").arg(dir);
        return nullptr;
    }
    const QString connection = QStringLiteral("lumo-watch-") + QUuid::createUuid().toString();
    std::unique_ptr<WatchList> list(new WatchList(connection));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(QDir(dir).filePath(QStringLiteral("lumo.sqlite")));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return nullptr;
    }
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    for (const char* statement : Schema)
        if (!query.exec(QString::fromLatin1(statement))) {
            *error = query.lastError().text();
            return nullptr;
        }
    return list;
}

WatchList::~WatchList() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

std::optional<WatchList::Added> WatchList::add(const QStringList& names, const QDateTime& now,
                                               QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    Immediate transaction(db);
    QSqlQuery query(db);
    if (!transaction.begun() || !query.exec(QStringLiteral("SELECT COUNT(*) FROM watched")) ||
        !query.next()) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    const qint64 held = query.value(0).toLongLong();
    Added out;
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO watched(name, added) VALUES(?, ?)"));
    for (const QString& name : names) {
        query.addBindValue(name);
        query.addBindValue(timeValue(now));
        if (!query.exec()) {
            *error = query.lastError().text();
            return std::nullopt;
        }
        (query.numRowsAffected() > 0 ? out.added : out.already).append(name);
    }
    if (held + out.added.size() > MaxWatched) {
        *error = QStringLiteral("最多关注 %1 个域名").arg(MaxWatched);
        return std::nullopt;
    }
    if (!transaction.commit()) {
        *error = db.lastError().text();
        return std::nullopt;
    }
    return out;
}

std::pair<QStringList, QStringList> WatchList::remove(const QStringList& names) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("DELETE FROM watched WHERE name = ?"));
    std::pair<QStringList, QStringList> out;
    for (const QString& name : names) {
        query.addBindValue(name);
        const bool gone = query.exec() && query.numRowsAffected() > 0;
        (gone ? out.first : out.second).append(name);
    }
    return out;
}

bool WatchList::contains(const QString& name) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT 1 FROM watched WHERE name = ?"));
    query.addBindValue(name);
    return query.exec() && query.next();
}

QList<WatchedRow> WatchList::rows() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    QList<WatchedRow> out;
    if (!query.exec(QStringLiteral(
            "SELECT w.name, w.added, %1, e.kind, e.text, e.at FROM watched w LEFT JOIN "
            "watch_events e ON e.id = (SELECT MAX(id) FROM watch_events WHERE name = w.name) "
            "ORDER BY w.name").arg(ResultColumns)))
        return out;
    while (query.next()) {
        WatchedRow row{query.value(0).toString(), timeOf(query.value(1)), readResult(query, 2), {}, {}};
        if (!query.value(13).isNull()) {
            row.event = WatchEvent{query.value(13).toString(), query.value(14).toString()};
            row.eventAt = timeOf(query.value(15));
        }
        out.append(row);
    }
    return out;
}

QList<EventRow> WatchList::events(QDate since) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT name, kind, text, at FROM watch_events WHERE at >= ? "
                                 "ORDER BY id"));
    query.addBindValue(since.isValid() ? since.toString(Qt::ISODate) : QStringLiteral("0"));
    QList<EventRow> out;
    if (query.exec())
        while (query.next())
            out.append({query.value(0).toString(),
                        {query.value(1).toString(), query.value(2).toString()},
                        timeOf(query.value(3))});
    return out;
}

QStringList WatchList::due(const QDateTime& now) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    QStringList out;
    if (query.exec(QStringLiteral("SELECT w.name, %1 FROM watched w ORDER BY w.checked, w.name")
                       .arg(ResultColumns)))
        while (query.next())
            if (sites::watch::due(readResult(query, 1), now))
                out.append(query.value(0).toString());
    return out;
}

QString WatchList::releaseTime(const QString& name, QDate day) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT MAX(release_time) FROM names WHERE name = ? AND day = ? "
                                 "AND approximate = 0"));
    query.addBindValue(name);
    query.addBindValue(day.toString(Qt::ISODate));
    return releaseTimeOf(name, query.exec() && query.next() ? query.value(0).toString() : QString());
}

QList<WatchEvent> WatchList::record(const QString& name,
                                    const std::function<WatchResult(const WatchResult&)>& next,
                                    const QDateTime& now) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    Immediate transaction(db);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM watched w WHERE w.name = ?").arg(ResultColumns));
    query.addBindValue(name);
    if (!transaction.begun() || !query.exec() || !query.next())
        return {};
    const WatchResult before = readResult(query, 0);
    query.finish();
    const WatchResult after = next(before);
    const QList<WatchEvent> events = eventsOf(before, after);
    if (!store(db, name, after, events, now) || !transaction.commit())
        return {};
    return events;
}

QList<EventRow> WatchList::checkLists(const QDateTime& now) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // Watched names are few, the stored ones many: each watched name is looked up by key. What
    // the lists say of a name is summed up in one text, kept with the name: only the names
    // whose text differs from the one seen last come back, so an unchanged store costs the
    // join alone.
    if (!query.exec(QStringLiteral(
            "SELECT w.name, group_concat(n.day || ' ' || n.approximate || ' ' || "
            "ifnull(n.release_time, ''), ',') AS seen FROM watched w CROSS JOIN names n "
            "ON n.name = w.name WHERE w.checked IS NOT NULL GROUP BY w.name "
            "HAVING seen IS NOT w.lists_seen")))
        return {};
    QList<std::pair<QString, QString>> changed;
    while (query.next())
        changed.append({query.value(0).toString(), query.value(1).toString()});
    query.finish();
    if (changed.isEmpty())
        return {};
    // Read again, whole, in one immediate transaction: a change is recorded once across processes.
    Immediate transaction(db);
    if (!transaction.begun())
        return {};
    const QDate today = now.toUTC().date();
    QList<EventRow> out;
    QSqlQuery seen(db);
    seen.prepare(QStringLiteral("UPDATE watched SET lists_seen = ? WHERE name = ?"));
    query.prepare(QStringLiteral("SELECT %1 FROM watched w WHERE w.name = ?").arg(ResultColumns));
    for (const auto& [name, text] : std::as_const(changed)) {
        QList<ListedDay> days;
        QHash<QDate, QString> times;
        for (QStringView row : QStringView(text).split(u',')) {
            const QList<QStringView> fields = row.split(u' ');
            const QDate day = QDate::fromString(fields.value(0).toString(), Qt::ISODate);
            days.append({day, fields.value(1) == u"1"});
            if (!fields.value(2).isEmpty())
                times.insert(day, fields.value(2).toString());
        }
        const std::optional<ListedDay> shown = shownDay(days, today);
        query.addBindValue(name);
        if (!shown || !query.exec() || !query.next())
            continue; // removed meanwhile
        const WatchResult before = readResult(query, 0);
        query.finish();
        const WatchResult after = afterListed(before, shown->day, shown->approximate,
                                              releaseTimeOf(name, times.value(shown->day)), today);
        seen.addBindValue(text);
        seen.addBindValue(name);
        if (!seen.exec())
            return {};
        if (after == before)
            continue; // nothing new, or another process recorded it first
        const QList<WatchEvent> events = eventsOf(before, after);
        if (!store(db, name, after, events, now))
            return {};
        for (const WatchEvent& event : events)
            out.append({name, event, now});
    }
    if (!transaction.commit())
        return {};
    return out;
}

qint64 WatchList::reserve(const QString& server, qint64 intervalMs, qint64 nowMs) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    Immediate transaction(db);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT last_ms FROM rdap_pace WHERE server = ?"));
    query.addBindValue(server);
    if (!transaction.begun() || !query.exec())
        return 0; // the store is busy beyond its timeout: the process's own pace still holds
    qint64 last = query.next() ? query.value(0).toLongLong() : 0;
    if (last > nowMs + intervalMs) // the clock was put back: the pace starts again from now
        last = 0;
    const qint64 slot = qMax(nowMs, last + intervalMs);
    query.finish();
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO rdap_pace(server, last_ms) VALUES(?, ?)"));
    query.addBindValue(server);
    query.addBindValue(slot);
    if (!query.exec() || !transaction.commit())
        return 0;
    return slot - nowMs;
}

} // namespace sites::watch
