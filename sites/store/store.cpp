// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/store.h"

#include "sources/droplists.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>

namespace sites::store {
namespace {

const char* const Schema[] = {
    // One row per name, day and list; zone-derived names will come as rows marked approximate.
    "CREATE TABLE IF NOT EXISTS names(name TEXT NOT NULL, suffix TEXT NOT NULL, "
    "length INTEGER NOT NULL, day TEXT NOT NULL, source TEXT NOT NULL, "
    "first_seen TEXT NOT NULL, last_seen TEXT NOT NULL, approximate INTEGER NOT NULL DEFAULT 0, "
    "PRIMARY KEY(name, day, source)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS names_by_cell ON names(day, suffix, length, name)",
    "CREATE TABLE IF NOT EXISTS rdap_answers(name TEXT PRIMARY KEY, status INTEGER NOT NULL, "
    "body BLOB, fetched TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS fetches(source TEXT PRIMARY KEY, url TEXT, last_attempt TEXT, "
    "last_success TEXT, status TEXT NOT NULL DEFAULT 'never', names INTEGER NOT NULL DEFAULT 0, "
    "error TEXT, etag BLOB, last_modified BLOB)",
};

QString dayText(QDate day) {
    return day.toString(Qt::ISODate);
}

QString timeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime timeOf(const QVariant& value) {
    if (value.isNull())
        return {};
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs); // written with "Z"
}

} // namespace

Store::Store(QString connection, QString dir)
    : connection_(std::move(connection)), dir_(std::move(dir)) {}

Store::~Store() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<Store> Store::open(const QString& dir, QString* error) {
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot make %1").arg(dir);
        return nullptr;
    }
    const QString connection = QStringLiteral("lumo-store-") + QUuid::createUuid().toString();
    std::unique_ptr<Store> store(new Store(connection, dir));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQLite driver is missing (Debian: libqt6sql6-sqlite)");
        return nullptr;
    }
    db.setDatabaseName(QDir(dir).filePath(QStringLiteral("lumo.sqlite")));
    // A refresh in another process may hold the write lock for a moment.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        *error = db.lastError().text();
        return nullptr;
    }
    QSqlQuery query(db);
    // A big list is written in one transaction: room for it in memory, not page by page on disk.
    for (const char* statement :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA cache_size=-65536"})
        query.exec(QString::fromLatin1(statement));
    for (const char* statement : Schema)
        if (!query.exec(QString::fromLatin1(statement))) {
            *error = query.lastError().text();
            return nullptr;
        }
    return store;
}

void Store::declare(const QList<SourceState>& sources) {
    sources_ = sources;
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("INSERT INTO fetches(source, url) VALUES(?, ?) "
                                 "ON CONFLICT(source) DO UPDATE SET url = excluded.url"));
    for (const SourceState& source : sources) {
        query.addBindValue(source.id);
        query.addBindValue(source.url);
        query.exec();
    }
}

bool Store::replaceDays(const QString& list, const QList<StoredName>& names, QDate today,
                        const QDateTime& now, QString* error, bool approximate) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    auto failed = [&](const QSqlQuery& query) {
        *error = query.lastError().text();
        db.rollback();
        return false;
    };
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    const QString seen = timeText(now);
    QSqlQuery upsert(db);
    upsert.prepare(QStringLiteral(
        "INSERT INTO names(name, suffix, length, day, source, first_seen, last_seen, approximate) "
        "VALUES(?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(name, day, source) DO UPDATE SET "
        "last_seen = excluded.last_seen, approximate = excluded.approximate"));
    QSet<QDate> days;
    for (const StoredName& row : names) {
        if (row.day < today)
            continue; // past days stay as they were stored
        days.insert(row.day);
        upsert.bindValue(0, row.name);
        upsert.bindValue(1, row.suffix);
        upsert.bindValue(2, row.length);
        upsert.bindValue(3, dayText(row.day));
        upsert.bindValue(4, list);
        upsert.bindValue(5, seen);
        upsert.bindValue(6, seen);
        upsert.bindValue(7, int(approximate));
        if (!upsert.exec())
            return failed(upsert);
    }
    // What the list no longer names on its days goes.
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral(
        "DELETE FROM names WHERE source = ? AND day = ? AND last_seen <> ?"));
    for (const QDate& day : days) {
        drop.addBindValue(list);
        drop.addBindValue(dayText(day));
        drop.addBindValue(seen);
        if (!drop.exec())
            return failed(drop);
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    ++ownCommits_;
    return true;
}

bool Store::replaceList(const QString& list, const RowFeed& feed, const QDateTime& now,
                        QString* error, bool approximate) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    auto failed = [&](const QString& why) {
        *error = why;
        db.rollback();
        return false;
    };
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral("DELETE FROM names WHERE source = ?"));
    drop.addBindValue(list);
    if (!drop.exec())
        return failed(drop.lastError().text());
    const QString seen = timeText(now);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT OR IGNORE INTO names(name, suffix, length, day, source, first_seen, last_seen, "
        "approximate) VALUES(?, ?, ?, ?, ?, ?, ?, ?)"));
    QString insertError;
    const bool fed = feed([&](const StoredName& row) {
        insert.bindValue(0, row.name);
        insert.bindValue(1, row.suffix);
        insert.bindValue(2, row.length);
        insert.bindValue(3, dayText(row.day));
        insert.bindValue(4, list);
        insert.bindValue(5, seen);
        insert.bindValue(6, seen);
        insert.bindValue(7, int(approximate));
        if (insert.exec())
            return true;
        insertError = insert.lastError().text();
        return false;
    });
    if (!insertError.isEmpty())
        return failed(insertError);
    if (!fed)
        return failed(QStringLiteral("the rows could not be read"));
    if (!db.commit())
        return failed(db.lastError().text());
    ++ownCommits_;
    return true;
}

bool Store::replaceZone(const QString& zone, const QString& pendingFile, QString* error) {
    const QString suffix = QLatin1Char('.') + zone;
    const RowFeed feed = [&](const std::function<bool(const StoredName&)>& add) {
        bool stored = true;
        const bool read = sites::zones::readPending(
            pendingFile, [&](std::string_view label, QDate day) {
                if (!stored)
                    return;
                const QString text = QString::fromLatin1(label.data(), qsizetype(label.size()));
                stored = add({text + suffix, suffix, int(label.size()), day});
            });
        return read && stored;
    };
    return replaceList(QStringLiteral("czds-") + zone, feed, QDateTime::currentDateTimeUtc(),
                       error, true);
}

QList<sites::zones::ZoneStatus> Store::zones() const {
    QList<sites::zones::ZoneStatus> out;
    const QStringList dirs = QDir(dir_ + QStringLiteral("/zones"))
                                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& zone : dirs)
        if (QFileInfo::exists(sites::zones::zoneDir(dir_, zone) + QStringLiteral("/status.json")))
            out.append(sites::zones::readZoneStatus(dir_, zone));
    return out;
}

void Store::recordFetch(const QString& id, const QDateTime& when, const QString& status,
                        qint64 names, const QString& error, const QByteArray& etag,
                        const QByteArray& lastModified) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    const bool good = status == u"ok" || status == u"unchanged";
    const bool fresh = status == u"ok";
    query.prepare(QStringLiteral(
        "UPDATE fetches SET last_attempt = ?, status = ?, error = ?, "
        "last_success = CASE WHEN ? THEN ? ELSE last_success END, "
        "names = CASE WHEN ? THEN ? ELSE names END, "
        "etag = CASE WHEN ? THEN ? ELSE etag END, "
        "last_modified = CASE WHEN ? THEN ? ELSE last_modified END WHERE source = ?"));
    query.addBindValue(timeText(when));
    query.addBindValue(status);
    query.addBindValue(error.isEmpty() ? QVariant() : QVariant(error));
    query.addBindValue(int(good));
    query.addBindValue(timeText(when));
    query.addBindValue(int(fresh));
    query.addBindValue(names);
    query.addBindValue(int(fresh));
    query.addBindValue(etag);
    query.addBindValue(int(fresh));
    query.addBindValue(lastModified);
    query.addBindValue(id);
    query.exec();
}

Store::Validators Store::validators(const QString& id) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT etag, last_modified FROM fetches WHERE source = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return {};
    return {query.value(0).toByteArray(), query.value(1).toByteArray()};
}

qint64 Store::lastNames(const QString& id) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT names FROM fetches WHERE source = ?"));
    query.addBindValue(id);
    return query.exec() && query.next() ? query.value(0).toLongLong() : 0;
}

qint64 Store::totalNames() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    return query.exec(QStringLiteral("SELECT COUNT(*) FROM names")) && query.next()
               ? query.value(0).toLongLong()
               : 0;
}

qint64 Store::generation() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    const qint64 version = query.exec(QStringLiteral("PRAGMA data_version")) && query.next()
                               ? query.value(0).toLongLong()
                               : 0;
    return (version << 32) + ownCommits_;
}

bool Store::serves(const QString& suffix) const {
    if (suffix == u".cn" || suffix.endsWith(u".cn") || suffix == u".se" || suffix == u".nu" ||
        suffix == u".top")
        return true;
    // A zone serves its suffix from its first accepted day on.
    const QString zone = suffix.mid(1);
    if (!suffix.startsWith(u'.') || zone.isEmpty() || zone.contains(u'.') || zone.contains(u'/'))
        return false;
    return QFileInfo::exists(sites::zones::zoneDir(dir_, zone) + QStringLiteral("/status.json")) &&
           sites::zones::readZoneStatus(dir_, zone).day.isValid();
}

QMap<QString, QMap<int, qint64>> Store::counts(QDate day) const {
    if (const qint64 now = generation(); now != seenGeneration_) {
        counts_.clear();
        seenGeneration_ = now;
    }
    if (const auto it = counts_.constFind(day); it != counts_.cend())
        return *it;
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT suffix, length, COUNT(DISTINCT name) FROM names "
                                 "WHERE day = ? GROUP BY suffix, length"));
    query.addBindValue(dayText(day));
    QMap<QString, QMap<int, qint64>> out;
    if (query.exec())
        while (query.next())
            out[query.value(0).toString()].insert(query.value(1).toInt(),
                                                  query.value(2).toLongLong());
    if (counts_.size() > 64)
        counts_.clear();
    counts_.insert(day, out);
    return out;
}

qint64 Store::count(QDate day, const QString& suffix, int length) const {
    return counts(day).value(suffix).value(length);
}

QStringList Store::names(QDate day, const QString& suffix, int length, qint64 offset,
                         int limit) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT DISTINCT name FROM names WHERE day = ? AND suffix = ? "
                                 "AND length = ? ORDER BY name LIMIT ? OFFSET ?"));
    query.addBindValue(dayText(day));
    query.addBindValue(suffix);
    query.addBindValue(length);
    query.addBindValue(limit);
    query.addBindValue(offset);
    QStringList out;
    if (query.exec())
        while (query.next())
            out.append(query.value(0).toString());
    return out;
}

QList<ListedDay> Store::findName(const QString& name) const {
    // Names are kept as lower-case U-labels; the xn-- form is asked too for rows stored before.
    const QString unicode = sites::sources::normalizedName(name);
    if (unicode.isEmpty())
        return {};
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT day, MIN(approximate) FROM names WHERE name IN (?, ?) "
                                 "GROUP BY day ORDER BY day"));
    query.addBindValue(unicode);
    query.addBindValue(QString::fromLatin1(QUrl::toAce(unicode)));
    QList<ListedDay> days;
    if (query.exec())
        while (query.next())
            days.append({QDate::fromString(query.value(0).toString(), Qt::ISODate),
                         query.value(1).toInt() != 0});
    return days;
}

QStringList Store::approximateSuffixes(QDate day) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT DISTINCT suffix FROM names WHERE day = ? AND "
                                 "approximate = 1 ORDER BY suffix"));
    query.addBindValue(dayText(day));
    QStringList out;
    if (query.exec())
        while (query.next())
            out.append(query.value(0).toString());
    return out;
}

std::optional<sites::rdap::StoredAnswer> Store::find(const QString& aceName,
                                                    const QDateTime& notBefore) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral(
        "SELECT status, body, fetched FROM rdap_answers WHERE name = ? AND fetched >= ?"));
    query.addBindValue(aceName);
    query.addBindValue(timeText(notBefore));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return sites::rdap::StoredAnswer{query.value(0).toInt(), query.value(1).toByteArray(),
                                     timeOf(query.value(2))};
}

void Store::keep(const QString& aceName, const sites::rdap::StoredAnswer& answer) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO rdap_answers(name, status, body, fetched) VALUES(?, ?, ?, ?)"));
    query.addBindValue(aceName);
    query.addBindValue(answer.status);
    query.addBindValue(answer.body);
    query.addBindValue(timeText(answer.fetched));
    query.exec();
    // Answers older than a day are of no use to anyone: cleared now and then.
    if (++keptAnswers_ % 200 == 1) {
        query.prepare(QStringLiteral("DELETE FROM rdap_answers WHERE fetched < ?"));
        query.addBindValue(timeText(answer.fetched.addDays(-1)));
        query.exec();
    }
}

QList<SourceRow> Store::sourceRows() const {
    QList<SourceRow> rows;
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("SELECT url, last_attempt, last_success, status, names, error "
                                 "FROM fetches WHERE source = ?"));
    for (const SourceState& source : sources_) {
        SourceRow row;
        row.source = source.id;
        row.url = source.url;
        query.addBindValue(source.id);
        if (query.exec() && query.next()) {
            row.lastAttempt = timeOf(query.value(1));
            row.lastSuccess = timeOf(query.value(2));
            row.status = query.value(3).toString();
            row.names = query.value(4).toLongLong();
            row.error = query.value(5).toString();
        }
        rows.append(row);
    }
    for (const sites::zones::ZoneStatus& zone : zones()) {
        SourceRow row;
        row.source = QStringLiteral("czds-") + zone.zone;
        row.url = zone.day.isValid()
                      ? QStringLiteral("zone %1 of %2").arg(zone.zone, zone.day.toString(Qt::ISODate))
                      : QStringLiteral("zone %1").arg(zone.zone);
        row.lastAttempt = zone.lastAttempt;
        row.lastSuccess = zone.lastSuccess;
        row.status = !zone.error.isEmpty()        ? QStringLiteral("failed")
                     : zone.lastSuccess.isValid() ? QStringLiteral("ok")
                                                  : QStringLiteral("never");
        row.names = qMax<qint64>(0, zone.names);
        row.error = zone.error;
        rows.append(row);
    }
    return rows;
}

} // namespace sites::store
