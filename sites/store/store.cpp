// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/store.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
    // What the pages need of a day, written with its names so that no page reads the whole day.
    "CREATE TABLE IF NOT EXISTS cells(day TEXT NOT NULL, suffix TEXT NOT NULL, "
    "length INTEGER NOT NULL, names INTEGER NOT NULL, approximate INTEGER NOT NULL, "
    "repeated INTEGER NOT NULL, PRIMARY KEY(day, suffix, length)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS names_estimated ON names(day, suffix, length) WHERE approximate = 1",
    // Moves with every write of names and nothing else (data_version moves with any commit).
    "CREATE TABLE IF NOT EXISTS generation(id INTEGER PRIMARY KEY CHECK(id = 0), "
    "names INTEGER NOT NULL)",
    "INSERT OR IGNORE INTO generation VALUES(0, 0)",
};

// Stores made before the cells table get theirs filled once.
constexpr int SchemaVersion = 1;

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

// The cells of `days` from their names, in the write transaction that changed them. Counted
// as counts() always counted them.
bool refreshCells(QSqlDatabase& db, const QSet<QString>& days, QString* error) {
    QSqlQuery drop(db), fill(db), mark(db);
    drop.prepare(QStringLiteral("DELETE FROM cells WHERE day = ?"));
    fill.prepare(QStringLiteral(
        "INSERT INTO cells(day, suffix, length, names, approximate, repeated) SELECT day, suffix, "
        "length, COUNT(DISTINCT name), 0, COUNT(*) > COUNT(DISTINCT name) FROM names WHERE day = ? "
        "GROUP BY suffix, length"));
    mark.prepare(QStringLiteral(
        "UPDATE cells SET approximate = 1 WHERE day = ? AND EXISTS(SELECT 1 FROM names "
        "WHERE names.day = cells.day AND names.suffix = cells.suffix AND names.length = cells.length "
        "AND names.approximate = 1)"));
    for (const QString& day : days)
        for (QSqlQuery* query : {&drop, &fill, &mark}) {
            query->bindValue(0, day);
            if (!query->exec()) {
                *error = query->lastError().text();
                return false;
            }
        }
    return true;
}

bool bumpGeneration(QSqlDatabase& db, QString* error) {
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("UPDATE generation SET names = names + 1")))
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

// Statements of the pages' path, prepared once.
struct Store::Prepared {
    explicit Prepared(const QSqlDatabase& db)
        : dataVersion(db), generation(db), cells(db), names{QSqlQuery(db), QSqlQuery(db),
                                                            QSqlQuery(db), QSqlQuery(db)} {
        for (QSqlQuery* query : {&dataVersion, &generation, &cells})
            query->setForwardOnly(true);
        dataVersion.prepare(QStringLiteral("PRAGMA data_version"));
        generation.prepare(QStringLiteral("SELECT names FROM generation"));
        cells.prepare(QStringLiteral(
            "SELECT suffix, length, names, approximate, repeated FROM cells WHERE day = ?"));
        // From a page's first name when it is known, else by its offset; DISTINCT only where
        // a name is listed twice, as it costs as much as the rows.
        for (int i = 0; i < 4; ++i) {
            const bool from = i & 1, distinct = i & 2;
            names[i].setForwardOnly(true);
            names[i].prepare(
                QStringLiteral("SELECT %1 name FROM names WHERE day = ? AND suffix = ? AND "
                               "length = ? AND name >= ? ORDER BY name LIMIT ? %2")
                    .arg(distinct ? QStringLiteral("DISTINCT") : QString(),
                         from ? QString() : QStringLiteral("OFFSET ?")));
        }
    }
    QSqlQuery dataVersion, generation, cells;
    QSqlQuery names[4];
};

Store::Store(QString connection, QString dir)
    : connection_(std::move(connection)), dir_(std::move(dir)) {}

Store::~Store() {
    prepared_.reset();
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<Store> Store::open(const QString& dir, QString* error, int busyTimeoutMs) {
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
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
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
    if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next() &&
        query.value(0).toInt() < SchemaVersion) {
        // Written first, so that the transaction holds the write lock from its start.
        QSet<QString> days;
        bool filled = db.transaction() &&
                      query.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)) &&
                      query.exec(QStringLiteral("SELECT DISTINCT day FROM names"));
        while (filled && query.next())
            days.insert(query.value(0).toString());
        filled = filled && refreshCells(db, days, error) && bumpGeneration(db, error) && db.commit();
        if (!filled) {
            if (error->isEmpty())
                *error = db.lastError().text();
            db.rollback();
            return nullptr;
        }
    }
    store->prepared_ = std::make_unique<Prepared>(db);
    return store;
}

void Store::declare(const QList<SourceState>& sources, bool record) {
    sources_ = sources;
    if (!record)
        return;
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
    if (!bumpGeneration(db, error)) {
        db.rollback();
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
    QSet<QString> touched;
    for (const QDate& day : days)
        touched.insert(dayText(day));
    if (!refreshCells(db, touched, error)) {
        db.rollback();
        return false;
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
    if (!bumpGeneration(db, error)) {
        db.rollback();
        return false;
    }
    // The days the list leaves, and those it comes to, have their cells counted again.
    QSet<QString> touched;
    QSqlQuery before(db);
    before.setForwardOnly(true);
    before.prepare(QStringLiteral("SELECT DISTINCT day FROM names WHERE source = ?"));
    before.addBindValue(list);
    if (!before.exec())
        return failed(before.lastError().text());
    while (before.next())
        touched.insert(before.value(0).toString());
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
    QDate lastDay;
    const bool fed = feed([&](const StoredName& row) {
        if (row.day != lastDay) {
            lastDay = row.day;
            touched.insert(dayText(row.day));
        }
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
    QString cellsError;
    if (!refreshCells(db, touched, &cellsError))
        return failed(cellsError);
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
    // data_version is cheap and moves with every other connection's commit; only then is the
    // names' own counter read again.
    QSqlQuery& version = prepared_->dataVersion;
    const qint64 seen = version.exec() && version.next() ? version.value(0).toLongLong() : -1;
    version.finish();
    if (seen != dataVersion_ || ownCommits_ != readAfterOwn_ || seen < 0) {
        QSqlQuery& counter = prepared_->generation;
        namesGeneration_ = counter.exec() && counter.next() ? counter.value(0).toLongLong() : -1;
        counter.finish();
        dataVersion_ = seen;
        readAfterOwn_ = ownCommits_;
    }
    return namesGeneration_;
}

bool Store::hasNames() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    return query.exec(QStringLiteral("SELECT EXISTS(SELECT 1 FROM names)")) && query.next() &&
           query.value(0).toBool();
}

Store::Day& Store::day(QDate day) const {
    if (const qint64 now = generation(); now != seenGeneration_) {
        days_.clear();
        seenGeneration_ = now;
    }
    if (const auto it = days_.find(day); it != days_.end())
        return *it;
    if (days_.size() > 64)
        days_.clear();
    Day& out = days_[day];
    QSqlQuery& query = prepared_->cells;
    query.bindValue(0, dayText(day));
    if (query.exec())
        while (query.next()) {
            const QString suffix = query.value(0).toString();
            out.counts[suffix].insert(query.value(1).toInt(), query.value(2).toLongLong());
            if (query.value(3).toInt() && !out.approximate.contains(suffix))
                out.approximate.append(suffix);
            if (query.value(4).toInt())
                out.repeated.insert({suffix, query.value(1).toInt()});
        }
    query.finish();
    out.approximate.sort();
    return out;
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
    return this->day(day).counts;
}

qint64 Store::count(QDate day, const QString& suffix, int length) const {
    return this->day(day).counts.value(suffix).value(length);
}

QStringList Store::names(QDate day, const QString& suffix, int length, qint64 offset,
                         int limit) const {
    Day& records = this->day(day);
    const std::pair<QString, int> cell{suffix, length};
    QHash<qint64, QString>& starts = records.starts[cell];
    const auto start = offset == 0 ? starts.end() : starts.find(offset);
    const bool from = offset == 0 || start != starts.end();
    QSqlQuery& query = prepared_->names[int(from) + 2 * int(records.repeated.contains(cell))];
    query.bindValue(0, dayText(day));
    query.bindValue(1, suffix);
    query.bindValue(2, length);
    query.bindValue(3, start != starts.end() ? *start : QStringLiteral(""));
    query.bindValue(4, limit + 1); // the next page's first name, for its own query
    if (!from)
        query.bindValue(5, offset);
    QStringList out;
    if (query.exec())
        while (query.next())
            out.append(query.value(0).toString());
    query.finish();
    if (out.size() > limit) {
        if (starts.size() < 100'000)
            starts.insert(offset + limit, out.takeLast());
        else
            out.removeLast();
    }
    return out;
}

QList<QDate> Store::findName(const QString& name) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        QStringLiteral("SELECT DISTINCT day FROM names WHERE name = ? ORDER BY day"));
    query.addBindValue(name.trimmed().toLower());
    QList<QDate> days;
    if (query.exec())
        while (query.next())
            days.append(QDate::fromString(query.value(0).toString(), Qt::ISODate));
    return days;
}

QStringList Store::approximateSuffixes(QDate day) const {
    return this->day(day).approximate;
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
