// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/answercache.h"
#include "sitescore/namesource.h"
#include "store/listedname.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

class QSqlDatabase;

// The names the registries listed, kept in SQLite (WAL, so pages are served while a list is
// written), with the days each list covers. A list replaces the days it covers, never a day
// before its registry's today that is stored already: those stay as they were stored.
namespace sites::store {

// One list file the service fetches, and what became of its last fetch.
struct SourceState {
    QString id;   // "cnnic-today"
    QString list; // the registry list its names are filed under: "cnnic"
    QString url;
};

// The lists filed here that no fetch of the store's own gives (the zones' estimates), as
// whoever files them tells: their rows of the sources table, after the fetched lists', and
// whether one serves a suffix the registries' lists do not.
struct FiledElsewhere {
    std::function<QList<SourceRow>()> rows;
    std::function<bool(const QString& suffix)> serves;
};

// Also the lookup service's cache of RDAP answers, so a restart asks the registries nothing
// they answered within the hour.
class Store : public NameSource, public sites::rdap::AnswerCache {
public:
    // Opens or creates lumo.sqlite in `dir` (made when missing); null with `error` set. A
    // write waits up to `busyTimeoutMs` for another connection's transaction.
    static std::unique_ptr<Store> open(const QString& dir, QString* error,
                                       int busyTimeoutMs = 10'000);
    ~Store() override;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // The lists read, in the order the sources table shows them; `record` also files their
    // addresses (left to the writing connection when another one writes).
    void declare(const QList<SourceState>& sources, bool record = true);
    void setFiledElsewhere(FiledElsewhere lists) { elsewhere_ = std::move(lists); }

    // In one transaction: `list`'s names of every day that `names` covers (its earliest to its
    // latest day) become `names`, except days before `today` the store holds already; a name
    // listed again keeps its first sighting. `approximate` marks names not taken from a
    // registry's own list. The days are recorded as covered.
    bool replaceDays(const QString& list, const QList<ListedName>& names, QDate today,
                     const QDateTime& now, QString* error, bool approximate = false);
    // Hands each row to `add`, which answers false when the store failed; false when reading
    // the rows failed.
    using RowFeed = std::function<bool(const std::function<bool(const ListedName&)>& add)>;
    // In one transaction: every name of `list` becomes the rows `feed` gives, row by row, so
    // a list of millions is never held in memory. The days fed are covered, and `covered`
    // too even without rows; covered days before `coverFrom` are no longer held.
    bool replaceList(const QString& list, const RowFeed& feed, const QDateTime& now,
                     QString* error, bool approximate, QDate covered = {}, QDate coverFrom = {});
    // A zone's label as the store keeps its names: lower case, IDNs as U-labels, the length
    // in characters; `suffix` is the zone's, with its dot.
    static ListedName zoneName(std::string_view label, const QString& suffix, QDate day);

    // How a fetch of source `id` ended. Validators are kept only when given.
    void recordFetch(const QString& id, const QDateTime& when, const QString& status,
                     qint64 names, const QString& error, const QByteArray& etag = {},
                     const QByteArray& lastModified = {});
    struct Validators {
        QByteArray etag;
        QByteArray lastModified;
    };
    Validators validators(const QString& id) const;
    // The bytes of the list last filed from `id` (a hash of them) and the day it was filed
    // for, so that a file the registry has not replaced yet is not filed under a new day.
    struct Filed {
        QByteArray hash;
        QDate day;
    };
    Filed filed(const QString& id) const;
    void recordFiled(const QString& id, const QByteArray& hash, QDate day);
    // The names the last successful fetch of `id` gave; 0 before the first.
    qint64 lastNames(const QString& id) const;
    qint64 totalNames() const;
    bool hasNames() const;
    // Where lumo.sqlite is.
    const QString& directory() const { return dir_; }

    // Changes whenever the stored names change, by this process or another, and with
    // nothing else (an RDAP answer or a fetch record kept leaves it).
    qint64 generation() const;

    // NameSource
    bool serves(const QString& suffix) const override;
    QMap<QString, QMap<int, qint64>> counts(QDate day) const override;
    qint64 count(QDate day, const QString& suffix, int length) const override;
    QStringList names(QDate day, const QString& suffix, int length, qint64 offset,
                      int limit) const override;
    QList<ListedDay> findName(const QString& name) const override;
    QList<SourceRow> sourceRows() const override;
    QStringList approximateSuffixes(QDate day) const override;
    bool covers(QDate day, const QString& suffix) const override;
    bool holdsAnything() const override;
    QList<StoredDay> storedDays() const override;
    void beginRequest() const override;
    void endRequest() const override { inRequest_ = false; }

    // AnswerCache
    std::optional<sites::rdap::StoredAnswer> find(const QString& aceName,
                                                  const QDateTime& notBefore) override;
    void keep(const QString& aceName, const sites::rdap::StoredAnswer& answer) override;

private:
    Store(QString connection, QString dir);
    // One transaction of names: the generation moved first, so that it holds the write lock
    // from its start; `write` files the names, tells the days whose names it changed in
    // `touched` and why it failed; their cells are counted again; any failure rolls it all
    // back, with its reason in `error`.
    using NamesWrite = std::function<bool(QSqlDatabase& db, QSet<QString>& touched, QString& why)>;
    bool writeNames(const NamesWrite& write, QString* error);
    QString connection_;
    QString dir_;
    QList<SourceState> sources_;
    FiledElsewhere elsewhere_;
    // Drops what is kept below once the names have changed; within a request, once.
    void sync() const;
    mutable bool inRequest_ = false;
    // Counts asked for again and again by the day summary, until the names change.
    mutable QHash<QDate, QMap<QString, QMap<int, qint64>>> counts_;
    // The days each list covers, and the lists of estimates; loaded once per generation.
    mutable std::optional<QHash<QString, QSet<QDate>>> covered_;
    mutable QSet<QString> approximateLists_;
    mutable bool holds_ = false;
    mutable qint64 seenGeneration_ = -1;
    // Where a cell's pages start, by offset, as the pages before them found; so a page reads
    // its own names, not all those before it.
    mutable QHash<std::pair<QDate, std::pair<QString, int>>, QHash<qint64, QString>> starts_;
    // The cells of a day with a name listed twice (by two lists).
    mutable QHash<QDate, QSet<std::pair<QString, int>>> repeated_;
    // Whether a suffix is served by a list filed elsewhere, as last asked.
    mutable QHash<QString, bool> servedElsewhere_;
    mutable std::chrono::steady_clock::time_point servedElsewhereAt_;
    // Runs of a cell's names in name order, as the list pages read them; at most
    // MaxKeptNames names in all, dropped with the generation.
    static constexpr int NamesPerRun = 1000;
    static constexpr qsizetype MaxKeptNames = 2'000'000;
    struct ChunkKey {
        QDate day;
        QString suffix;
        int length = 0;
        qint64 run = 0;
        bool operator==(const ChunkKey&) const = default;
        friend size_t qHash(const ChunkKey& key, size_t seed = 0) {
            return qHashMulti(seed, key.day, key.suffix, key.length, key.run);
        }
    };
    mutable QHash<ChunkKey, QStringList> runs_;
    mutable qsizetype keptNames_ = 0;
    // `limit` names of a cell from `offset` on, from the store itself.
    QStringList readNames(QDate day, const QString& suffix, int length, qint64 offset,
                          int limit) const;
    struct Prepared;
    std::unique_ptr<Prepared> prepared_;
    mutable qint64 namesGeneration_ = -1;
    mutable qint64 dataVersion_ = -1;
    mutable qint64 readAfterOwn_ = -1;
    qint64 ownCommits_ = 0;
    int keptAnswers_ = 0;
};

} // namespace sites::store
