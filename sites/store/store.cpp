// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/store.h"

#include "names/domainname.h"
#include "sources/droplists.h"

#include <QDir>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <sqlite3.h>
#include <array>
#include <chrono>
#include <QUuid>
#include <QVariant>

#include <algorithm>

namespace sites::store {
namespace {

// The connection under Qt's, for what is asked of it too often to go through Qt.
sqlite3* sqliteOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3* const*>(handle.constData())
               : nullptr;
}


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
    // The days a list covers: a day without a row is "no data", one with 0 names is empty.
    "CREATE TABLE IF NOT EXISTS days(list TEXT NOT NULL, day TEXT NOT NULL, "
    "names INTEGER NOT NULL DEFAULT 0, approximate INTEGER NOT NULL DEFAULT 0, "
    "PRIMARY KEY(list, day)) WITHOUT ROWID",
    // Moves with every write of names and nothing else (data_version moves with any commit).
    "CREATE TABLE IF NOT EXISTS generation(id INTEGER PRIMARY KEY CHECK(id = 0), "
    "names INTEGER NOT NULL)",
    "INSERT OR IGNORE INTO generation VALUES(0, 0)",
    // A day's counts, written with its names so that no page reads the whole day.
    "CREATE TABLE IF NOT EXISTS cells(day TEXT NOT NULL, suffix TEXT NOT NULL, "
    "length INTEGER NOT NULL, names INTEGER NOT NULL, repeated INTEGER NOT NULL, "
    "PRIMARY KEY(day, suffix, length)) WITHOUT ROWID",
};

// Stores made before the days were recorded: every day they hold was filed from a whole list.
const char* const ToVersion1[] = {
    "ALTER TABLE fetches ADD COLUMN body_hash BLOB",
    "ALTER TABLE fetches ADD COLUMN body_day TEXT",
    "INSERT OR IGNORE INTO days(list, day, names, approximate) "
    "SELECT source, day, COUNT(*), MAX(approximate) FROM names GROUP BY source, day",
};

// The time of day a list gives its names' release ("14:30"), for the watch list.
const char* const ToVersion2[] = {
    "ALTER TABLE names ADD COLUMN release_time TEXT",
};

// A label's length as the lists count it: in Unicode characters.
int characters(QStringView label) {
    int n = 0;
    for (QChar c : label)
        n += !c.isLowSurrogate();
    return n;
}

// The list a suffix's names are filed under.
QString listOf(const QString& suffix) {
    if (suffix.endsWith(u".cn") || suffix == u".中国" || suffix == u".公司" || suffix == u".网络")
        return QStringLiteral("cnnic");
    if (suffix == u".se" || suffix == u".nu" || suffix == u".top")
        return suffix.mid(1);
    return QStringLiteral("czds-") + suffix.mid(1);
}

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

// `columns` of source `id`'s fetch record, `query` on its row; false when it has none.
bool readFetch(QSqlQuery& query, const QString& id, const char* columns) {
    query.prepare(QStringLiteral("SELECT %1 FROM fetches WHERE source = ?")
                      .arg(QLatin1StringView(columns)));
    query.addBindValue(id);
    return query.exec() && query.next();
}

// The cells of `days` from their names, in the write transaction that changed them; counted
// as a day's counts always were.
bool refreshCells(QSqlDatabase& db, const QSet<QString>& days, QString* error) {
    QSqlQuery drop(db), fill(db);
    drop.prepare(QStringLiteral("DELETE FROM cells WHERE day = ?"));
    fill.prepare(QStringLiteral(
        "INSERT INTO cells(day, suffix, length, names, repeated) SELECT day, suffix, length, "
        "COUNT(DISTINCT name), COUNT(*) > COUNT(DISTINCT name) FROM names WHERE day = ? "
        "GROUP BY suffix, length"));
    for (const QString& day : days)
        for (QSqlQuery* query : {&drop, &fill}) {
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

// Brings a store of an older schema up to date, inside the caller's write transaction, which it
// commits.
bool upgrade(QSqlDatabase& db, QSqlQuery& query, QString* error) {
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return false;
    const int version = query.value(0).toInt();
    if (version < 1) {
        for (const char* statement : ToVersion1)
            if (!query.exec(QString::fromLatin1(statement)))
                return false;
        query.exec(QStringLiteral("PRAGMA user_version = 1"));
    }
    if (version < 2) {
        for (const char* statement : ToVersion2)
            if (!query.exec(QString::fromLatin1(statement)))
                return false;
        query.exec(QStringLiteral("PRAGMA user_version = 2"));
    }
    // A store from before the cells gets them once.
    if (query.exec(QStringLiteral("SELECT NOT EXISTS(SELECT 1 FROM cells) AND "
                                  "EXISTS(SELECT 1 FROM names)")) &&
        query.next() && query.value(0).toBool()) {
        QSet<QString> days;
        if (query.exec(QStringLiteral("SELECT DISTINCT day FROM names")))
            while (query.next())
                days.insert(query.value(0).toString());
        if (!refreshCells(db, days, error))
            return false;
    }
    return query.exec(QStringLiteral("COMMIT"));
}

} // namespace

// Statements of the pages' path, prepared once.
struct Store::Prepared {
    explicit Prepared(const QSqlDatabase& db)
        : generation(db), cells(db),
          names{QSqlQuery(db), QSqlQuery(db), QSqlQuery(db), QSqlQuery(db)} {
        for (QSqlQuery* query : {&generation, &cells})
            query->setForwardOnly(true);
        // Asked on every request: straight from SQLite, as Qt's wrapping cost more than the
        // question.
        sqlite = sqliteOf(db);
        if (sqlite && sqlite3_prepare_v3(sqlite, "PRAGMA data_version", -1,
                                         SQLITE_PREPARE_PERSISTENT, &dataVersion, nullptr) != SQLITE_OK)
            dataVersion = nullptr;
        generation.prepare(QStringLiteral("SELECT names FROM generation"));
        cells.prepare(QStringLiteral("SELECT suffix, length, names, repeated FROM cells WHERE day = ?"));
        // By the page's offset, or from its first name once the page before found it; DISTINCT
        // only where a name is listed twice, as it costs as much as the rows.
        for (int i = 0; i < 4; ++i) {
            names[i].setForwardOnly(true);
            names[i].prepare(
                QStringLiteral("SELECT %1 name FROM names WHERE day = ? AND suffix = ? AND "
                               "length = ? AND name >= ? ORDER BY name LIMIT ? %2")
                    .arg(i & 2 ? QStringLiteral("DISTINCT") : QString(),
                         i & 1 ? QString() : QStringLiteral("OFFSET ?")));
        }
    }
    ~Prepared() { sqlite3_finalize(dataVersion); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    // The version, or -1 when it cannot be read.
    qint64 readDataVersion() {
        if (!dataVersion)
            return -1;
        const qint64 version =
            sqlite3_step(dataVersion) == SQLITE_ROW ? sqlite3_column_int64(dataVersion, 0) : -1;
        sqlite3_reset(dataVersion);
        return version;
    }
    sqlite3* sqlite = nullptr;
    sqlite3_stmt* dataVersion = nullptr;
    QSqlQuery generation, cells;
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
    // An upgraded store is opened without the write lock, so that a start never waits behind
    // another process's import; another process may be opening an old store too: one of them
    // upgrades it, and the other finds it done.
    const auto needsUpgrade = [&query] {
        return !query.exec(QStringLiteral(
                   "SELECT (SELECT user_version FROM pragma_user_version) < 2 OR "
                   "(NOT EXISTS(SELECT 1 FROM cells) AND EXISTS(SELECT 1 FROM names))")) ||
               !query.next() || query.value(0).toBool();
    };
    if (needsUpgrade() && (!query.exec(QStringLiteral("BEGIN IMMEDIATE")) || !upgrade(db, query, error))) {
        if (error->isEmpty())
            *error = query.lastError().text();
        query.exec(QStringLiteral("ROLLBACK"));
        return nullptr;
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

namespace {

bool run(QSqlQuery& query, QString& why) {
    if (query.exec())
        return true;
    why = query.lastError().text();
    return false;
}

// A statement run straight on SQLite inside the connection's transaction, for the loops that
// file a row a name: Qt's binding of a value cost more than SQLite's insert of the row.
class RowStatement {
public:
    RowStatement(const QSqlDatabase& db, const char* sql) : db_(sqliteOf(db)) {
        if (db_ && sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr) != SQLITE_OK)
            statement_ = nullptr;
    }
    ~RowStatement() { sqlite3_finalize(statement_); }
    RowStatement(const RowStatement&) = delete;
    RowStatement& operator=(const RowStatement&) = delete;

    // Why it could not be made, or empty.
    QString problem() const {
        return statement_ ? QString()
                          : db_ ? QString::fromUtf8(sqlite3_errmsg(db_))
                                : QStringLiteral("the database is not SQLite");
    }
    // Columns count from 1. A value is kept until the statement has run.
    void text(int column, QStringView value) {
        QByteArray& out = kept_[column];
        out.resize(value.size());
        char* at = out.data();
        for (const QChar c : value) {
            if (c.unicode() >= 0x80) {
                out = value.toUtf8();
                break;
            }
            *at++ = char(c.unicode());
        }
        sqlite3_bind_text(statement_, column, out.constData(), int(out.size()), SQLITE_STATIC);
    }
    // "2026-12-07", as dayText() writes it.
    void day(int column, QDate day) {
        char digits[10];
        const auto put = [&digits](int from, int value, int width) {
            for (int i = from + width - 1; i >= from; --i, value /= 10)
                digits[i] = char('0' + value % 10);
        };
        put(0, day.year(), 4);
        digits[4] = digits[7] = '-';
        put(5, day.month(), 2);
        put(8, day.day(), 2);
        sqlite3_bind_text(statement_, column, digits, 10, SQLITE_TRANSIENT);
    }
    void number(int column, qint64 value) { sqlite3_bind_int64(statement_, column, value); }
    void null(int column) { sqlite3_bind_null(statement_, column); }
    // False with `why` when SQLite refused the row.
    bool run(QString& why) {
        const int result = sqlite3_step(statement_);
        if (result != SQLITE_DONE && result != SQLITE_ROW)
            why = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_reset(statement_);
        return result == SQLITE_DONE || result == SQLITE_ROW;
    }
    int changes() const { return sqlite3_changes(db_); }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
    std::array<QByteArray, 10> kept_;
};

// The columns a listed name shares between both ways of filing it.
void bindName(RowStatement& query, const ListedName& row, const QString& list, const QString& seen,
              bool approximate) {
    query.text(1, row.name);
    query.text(2, row.suffix);
    query.number(3, row.length);
    query.day(4, row.day);
    query.text(5, list);
    query.text(6, seen);
    query.text(7, seen);
    query.number(8, int(approximate));
}

// The days a list naming `named` writes: every day from its earliest to its latest named day
// (a list spanning years is taken to cover only the days it names), but a day gone by that
// the store holds already, which stays as it was stored.
bool daysWritten(QSqlDatabase& db, const QString& list, const QSet<QDate>& named, QDate today,
                 QList<QDate>& written, QString& why) {
    QSqlQuery held(db);
    held.prepare(QStringLiteral("SELECT day FROM days WHERE list = ? AND day < ?"));
    held.addBindValue(list);
    held.addBindValue(dayText(today));
    if (!run(held, why))
        return false;
    QSet<QDate> kept;
    while (held.next())
        kept.insert(QDate::fromString(held.value(0).toString(), Qt::ISODate));
    const auto [first, last] = std::minmax_element(named.cbegin(), named.cend());
    if (first->daysTo(*last) <= 366) {
        for (QDate day = *first; day <= *last; day = day.addDays(1))
            written.append(day);
    } else {
        written = named.values();
    }
    written.removeIf([&](QDate day) { return kept.contains(day); });
    return true;
}

// A name listed again keeps its first sighting.
bool upsertNames(QSqlDatabase& db, const QString& list, const QList<ListedName>& names,
                 const QSet<QDate>& writing, const QString& seen, bool approximate, QString& why) {
    RowStatement upsert(
        db, "INSERT INTO names(name, suffix, length, day, source, first_seen, last_seen, "
            "approximate, release_time) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(name, day, "
            "source) DO UPDATE SET last_seen = excluded.last_seen, approximate = "
            "excluded.approximate, release_time = excluded.release_time");
    why = upsert.problem();
    if (!why.isEmpty())
        return false;
    for (const ListedName& row : names) {
        if (!writing.contains(row.day))
            continue;
        bindName(upsert, row, list, seen, approximate);
        if (row.time.isValid())
            upsert.text(9, row.time.toString(u"HH:mm"));
        else
            upsert.null(9);
        if (!upsert.run(why))
            return false;
    }
    return true;
}

// What the list no longer names on its days goes; each day is recorded as covered.
bool coverWritten(QSqlDatabase& db, const QString& list, const QList<QDate>& written,
                  const QString& seen, bool approximate, QString& why) {
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral(
        "DELETE FROM names WHERE source = ? AND day = ? AND last_seen <> ?"));
    QSqlQuery cover(db);
    cover.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO days(list, day, names, approximate) "
        "SELECT ?, ?, COUNT(*), ? FROM names WHERE source = ? AND day = ?"));
    for (const QDate& day : written) {
        drop.addBindValue(list);
        drop.addBindValue(dayText(day));
        drop.addBindValue(seen);
        cover.addBindValue(list);
        cover.addBindValue(dayText(day));
        cover.addBindValue(int(approximate));
        cover.addBindValue(list);
        cover.addBindValue(dayText(day));
        if (!run(drop, why) || !run(cover, why))
            return false;
    }
    return true;
}

// Takes every name of `list` away; the days it covered go to `touched`.
bool dropList(QSqlDatabase& db, const QString& list, QSet<QString>& touched, QString& why) {
    QSqlQuery before(db);
    before.prepare(QStringLiteral("SELECT day FROM days WHERE list = ?"));
    before.addBindValue(list);
    if (!run(before, why))
        return false;
    while (before.next())
        touched.insert(before.value(0).toString());
    QSqlQuery drop(db);
    drop.prepare(QStringLiteral("DELETE FROM names WHERE source = ?"));
    drop.addBindValue(list);
    return run(drop, why);
}

// Every row `feed` gives, filed under `list`; the names each day gained go to `perDay`.
bool insertFed(QSqlDatabase& db, const QString& list, const Store::RowFeed& feed,
               const QString& seen, bool approximate, QMap<QDate, qint64>& perDay, QString& why) {
    RowStatement insert(
        db, "INSERT OR IGNORE INTO names(name, suffix, length, day, source, first_seen, "
            "last_seen, approximate) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    why = insert.problem();
    if (!why.isEmpty())
        return false;
    QString insertError;
    const bool fed = feed([&](const ListedName& row) {
        bindName(insert, row, list, seen, approximate);
        if (insert.run(insertError)) {
            perDay[row.day] += insert.changes() > 0;
            return true;
        }
        return false;
    });
    why = !insertError.isEmpty() ? insertError
          : fed                  ? QString()
                                 : QStringLiteral("the rows could not be read");
    return why.isEmpty();
}

// The days covered before: those still kept take their new counts (0 when every name came
// back), those before `coverFrom` are no longer held.
bool recountDays(QSqlDatabase& db, const QString& list, const QMap<QDate, qint64>& perDay,
                 QDate coverFrom, bool approximate, QString& why) {
    QSqlQuery days(db);
    days.prepare(QStringLiteral("DELETE FROM days WHERE list = ? AND day < ?"));
    days.addBindValue(list);
    days.addBindValue(coverFrom.isValid() ? dayText(coverFrom) : QString());
    if (!run(days, why))
        return false;
    days.prepare(QStringLiteral("UPDATE days SET names = 0 WHERE list = ?"));
    days.addBindValue(list);
    if (!run(days, why))
        return false;
    days.prepare(QStringLiteral("INSERT OR REPLACE INTO days(list, day, names, approximate) "
                                "VALUES(?, ?, ?, ?)"));
    for (auto it = perDay.cbegin(); it != perDay.cend(); ++it) {
        days.addBindValue(list);
        days.addBindValue(dayText(it.key()));
        days.addBindValue(it.value());
        days.addBindValue(int(approximate));
        if (!run(days, why))
            return false;
    }
    return true;
}

} // namespace

bool Store::writeNames(const NamesWrite& write, QString* error) {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSet<QString> touched;
    QString why;
    if (bumpGeneration(db, &why) && write(db, touched, why) && refreshCells(db, touched, &why)) {
        if (db.commit()) {
            ++ownCommits_;
            return true;
        }
        why = db.lastError().text();
    }
    *error = why;
    db.rollback();
    return false;
}

bool Store::replaceDays(const QString& list, const QList<ListedName>& names, QDate today,
                        const QDateTime& now, QString* error, bool approximate) {
    QSet<QDate> named;
    for (const ListedName& row : names)
        if (row.day.isValid())
            named.insert(row.day);
    if (named.isEmpty())
        return true; // covers nothing
    return writeNames(
        [&](QSqlDatabase& db, QSet<QString>& touched, QString& why) {
            QList<QDate> written;
            if (!daysWritten(db, list, named, today, written, why))
                return false;
            const QSet<QDate> writing(written.cbegin(), written.cend());
            const QString seen = timeText(now);
            if (!upsertNames(db, list, names, writing, seen, approximate, why) ||
                !coverWritten(db, list, written, seen, approximate, why))
                return false;
            for (const QDate& day : written)
                touched.insert(dayText(day));
            return true;
        },
        error);
}

bool Store::replaceList(const QString& list, const RowFeed& feed, const QDateTime& now,
                        QString* error, bool approximate, QDate covered, QDate coverFrom) {
    return writeNames(
        [&](QSqlDatabase& db, QSet<QString>& touched, QString& why) {
            // The days the list leaves, and those it comes to, have their cells counted again.
            QMap<QDate, qint64> perDay;
            if (!dropList(db, list, touched, why) ||
                !insertFed(db, list, feed, timeText(now), approximate, perDay, why))
                return false;
            if (covered.isValid())
                perDay[covered] += 0;
            if (!recountDays(db, list, perDay, coverFrom, approximate, why))
                return false;
            for (auto it = perDay.cbegin(); it != perDay.cend(); ++it)
                touched.insert(dayText(it.key()));
            return true;
        },
        error);
}

ListedName Store::zoneName(std::string_view label, const QString& suffix, QDate day) {
    // One form for every name: IDNs as U-labels, their length in characters. Only the rare
    // label that is not lower-case LDH needs more than a copy.
    const bool plain = !label.starts_with("xn--") &&
                       std::none_of(label.begin(), label.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || uchar(c) >= 0x80;
                       });
    const QString text = QString::fromUtf8(label.data(), qsizetype(label.size()));
    ListedName row{text + suffix, suffix, int(label.size()), day};
    if (!plain) {
        if (QString unicode = sites::names::unicodeName(row.name); !unicode.isEmpty()) {
            row.length = characters(QStringView(unicode).chopped(suffix.size()));
            row.name = std::move(unicode);
        } else {
            row.name = row.name.toLower();
            row.length = characters(QStringView(row.name).chopped(suffix.size()));
        }
    }
    return row;
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
    if (!readFetch(query, id, "etag, last_modified"))
        return {};
    return {query.value(0).toByteArray(), query.value(1).toByteArray()};
}

Store::Filed Store::filed(const QString& id) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    if (!readFetch(query, id, "body_hash, body_day"))
        return {};
    return {query.value(0).toByteArray(),
            QDate::fromString(query.value(1).toString(), Qt::ISODate)};
}

void Store::recordFiled(const QString& id, const QByteArray& hash, QDate day) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(QStringLiteral("UPDATE fetches SET body_hash = ?, body_day = ? WHERE source = ?"));
    query.addBindValue(hash);
    query.addBindValue(dayText(day));
    query.addBindValue(id);
    query.exec();
}

qint64 Store::lastNames(const QString& id) const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    return readFetch(query, id, "names") ? query.value(0).toLongLong() : 0;
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
    const qint64 seen = prepared_->readDataVersion();
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

bool Store::serves(const QString& suffix) const {
    if (suffix == u".cn" || suffix.endsWith(u".cn") || suffix == u".se" || suffix == u".nu" ||
        suffix == u".top")
        return true;
    if (!elsewhere_.serves)
        return false;
    // Asked for seven suffixes on every day summary; a zone's status file is written apart
    // from its names, so what it said is kept for a second at most, and never past a change.
    sync();
    const auto now = std::chrono::steady_clock::now();
    if (now - servedElsewhereAt_ > std::chrono::seconds(1)) {
        servedElsewhere_.clear();
        servedElsewhereAt_ = now;
    }
    const auto known = servedElsewhere_.constFind(suffix);
    if (known != servedElsewhere_.constEnd())
        return *known;
    const bool served = elsewhere_.serves(suffix);
    servedElsewhere_.insert(suffix, served);
    return served;
}

void Store::beginRequest() const {
    inRequest_ = false;
    sync();
    inRequest_ = true;
}

void Store::sync() const {
    if (inRequest_)
        return;
    const qint64 now = generation();
    if (now == seenGeneration_)
        return;
    counts_.clear();
    covered_.reset();
    starts_.clear();
    repeated_.clear();
    runs_.clear();
    servedElsewhere_.clear();
    keptNames_ = 0;
    seenGeneration_ = now;
}

bool Store::holdsAnything() const {
    covers({}, {});
    return holds_;
}

bool Store::covers(QDate day, const QString& suffix) const {
    sync();
    if (!covered_) {
        covered_.emplace();
        approximateLists_.clear();
        QSqlQuery query(QSqlDatabase::database(connection_));
        query.setForwardOnly(true);
        if (query.exec(QStringLiteral("SELECT list, day, approximate FROM days")))
            while (query.next()) {
                const QString list = query.value(0).toString();
                (*covered_)[list].insert(QDate::fromString(query.value(1).toString(), Qt::ISODate));
                if (query.value(2).toBool())
                    approximateLists_.insert(list);
            }
        holds_ = !covered_->isEmpty() ||
                 (query.exec(QStringLiteral("SELECT EXISTS(SELECT 1 FROM names)")) && query.next() &&
                  query.value(0).toBool());
    }
    return !suffix.isEmpty() && covered_->value(listOf(suffix)).contains(day);
}

QList<StoredDay> Store::storedDays() const {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.setForwardOnly(true);
    QList<StoredDay> out;
    if (query.exec(QStringLiteral("SELECT list, day, names, approximate FROM days "
                                  "ORDER BY day, list")))
        while (query.next())
            out.append({query.value(0).toString(),
                        QDate::fromString(query.value(1).toString(), Qt::ISODate),
                        query.value(2).toLongLong(), query.value(3).toBool()});
    return out;
}

QMap<QString, QMap<int, qint64>> Store::counts(QDate day) const {
    sync();
    if (const auto it = counts_.constFind(day); it != counts_.cend())
        return *it;
    if (counts_.size() > 64) {
        counts_.clear();
        repeated_.clear();
    }
    QSqlQuery& query = prepared_->cells;
    query.bindValue(0, dayText(day));
    QMap<QString, QMap<int, qint64>> out;
    QSet<std::pair<QString, int>>& repeated = repeated_[day];
    if (query.exec())
        while (query.next()) {
            const QString suffix = query.value(0).toString();
            out[suffix].insert(query.value(1).toInt(), query.value(2).toLongLong());
            if (query.value(3).toBool())
                repeated.insert({suffix, query.value(1).toInt()});
        }
    query.finish();
    counts_.insert(day, out);
    return out;
}

qint64 Store::count(QDate day, const QString& suffix, int length) const {
    return counts(day).value(suffix).value(length);
}

QStringList Store::names(QDate day, const QString& suffix, int length, qint64 offset,
                         int limit) const {
    sync();
    // A page takes its names from the run of its cell that holds them, read once per
    // generation of the names: the pages that follow cost no query.
    QStringList out;
    while (out.size() < limit) {
        const qint64 at = offset + out.size();
        const qint64 run = at / NamesPerRun;
        const ChunkKey key{day, suffix, length, run};
        auto it = runs_.constFind(key);
        if (it == runs_.cend()) {
            const QStringList read = readNames(day, suffix, length, run * NamesPerRun, NamesPerRun);
            if (keptNames_ + read.size() > MaxKeptNames) {
                runs_.clear();
                keptNames_ = 0;
            }
            keptNames_ += read.size();
            it = runs_.insert(key, read);
        }
        const qsizetype from = at - run * NamesPerRun;
        if (from >= it->size())
            break;
        const qsizetype take = qMin<qsizetype>(limit - out.size(), it->size() - from);
        out += it->mid(from, take);
        if (it->size() < NamesPerRun && from + take >= it->size())
            break; // the cell's last run
    }
    return out;
}

QStringList Store::readNames(QDate day, const QString& suffix, int length, qint64 offset,
                             int limit) const {
    counts(day); // also tells the cells with a name listed twice
    QHash<qint64, QString>& starts = starts_[{day, {suffix, length}}];
    const auto start = offset == 0 ? starts.end() : starts.find(offset);
    const bool from = offset == 0 || start != starts.end();
    const bool repeated = repeated_.value(day).contains({suffix, length});
    QSqlQuery& query = prepared_->names[int(from) + 2 * int(repeated)];
    query.bindValue(0, dayText(day));
    query.bindValue(1, suffix);
    query.bindValue(2, length);
    query.bindValue(3, start != starts.end() ? *start : QStringLiteral("")); // not null
    query.bindValue(4, limit + 1); // the next page's first name, for its own query
    if (!from)
        query.bindValue(5, offset);
    QStringList out;
    if (query.exec())
        while (query.next())
            out.append(query.value(0).toString());
    query.finish();
    if (out.size() > limit) {
        const QString next = out.takeLast();
        if (starts_.size() < 10'000 && starts.size() < 100'000)
            starts.insert(offset + limit, next);
    }
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
    query.addBindValue(sites::names::aceName(unicode));
    QList<ListedDay> days;
    if (query.exec())
        while (query.next())
            days.append({QDate::fromString(query.value(0).toString(), Qt::ISODate),
                         query.value(1).toInt() != 0});
    return days;
}

QStringList Store::approximateSuffixes(QDate day) const {
    covers({}, {});
    QStringList out;
    for (const QString& list : std::as_const(approximateLists_))
        if (list.startsWith(u"czds-") && covered_->value(list).contains(day))
            out.append(QLatin1Char('.') + list.mid(5));
    out.sort();
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
    if (elsewhere_.rows)
        rows += elsewhere_.rows();
    return rows;
}

} // namespace sites::store
