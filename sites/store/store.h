// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sitescore/namesource.h"
#include "rdap/lookupservice.h"
#include "zones/zoneimport.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

// The names the registries listed, kept in SQLite (WAL, so pages are served while a list is
// written). A list replaces the days it names, never a day before today: those stay as they
// were stored on their day.
namespace sites::store {

struct StoredName {
    QString name; // lower case, suffix included: "abc.com.cn"
    QString suffix; // the registry's: ".com.cn"
    int length = 0; // of the label before the suffix
    QDate day;      // of deletion
};

// One list file the service fetches, and what became of its last fetch.
struct SourceState {
    QString id;   // "cnnic-today"
    QString list; // the registry list its names are filed under: "cnnic"
    QString url;
};

// Also the zones' sink for their estimated rows and the lookup service's cache of RDAP
// answers, so a restart asks the registries nothing they answered within the hour.
class Store : public NameSource,
              public sites::zones::DeletionSink,
              public sites::rdap::AnswerCache {
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

    // In one transaction: `list`'s names of every day that `names` covers (from `today` on)
    // become `names`; a name listed again keeps its first sighting. `approximate` marks
    // names not taken from a registry's own list.
    bool replaceDays(const QString& list, const QList<StoredName>& names, QDate today,
                     const QDateTime& now, QString* error, bool approximate = false);
    // Hands each row to `add`, which answers false when the store failed; false when reading
    // the rows failed.
    using RowFeed = std::function<bool(const std::function<bool(const StoredName&)>& add)>;
    // In one transaction: every name of `list` becomes the rows `feed` gives, row by row, so
    // a list of millions is never held in memory.
    bool replaceList(const QString& list, const RowFeed& feed, const QDateTime& now,
                     QString* error, bool approximate);
    // DeletionSink: a zone's estimated rows, filed under "czds-ZONE" and marked approximate.
    bool replaceZone(const QString& zone, const QString& pendingFile, QString* error) override;

    // How a fetch of source `id` ended. Validators are kept only when given.
    void recordFetch(const QString& id, const QDateTime& when, const QString& status,
                     qint64 names, const QString& error, const QByteArray& etag = {},
                     const QByteArray& lastModified = {});
    struct Validators {
        QByteArray etag;
        QByteArray lastModified;
    };
    Validators validators(const QString& id) const;
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
    QList<QDate> findName(const QString& name) const override;
    QList<SourceRow> sourceRows() const override;
    QStringList approximateSuffixes(QDate day) const override;

    // AnswerCache
    std::optional<sites::rdap::StoredAnswer> find(const QString& aceName,
                                                  const QDateTime& notBefore) override;
    void keep(const QString& aceName, const sites::rdap::StoredAnswer& answer) override;

private:
    Store(QString connection, QString dir);
    // The zones imported into `dir_`, as their status files tell.
    QList<sites::zones::ZoneStatus> zones() const;
    struct Prepared;
    // What the pages ask of a day again and again, until the names change.
    struct Day {
        QMap<QString, QMap<int, qint64>> counts;
        QStringList approximate;
        QSet<std::pair<QString, int>> repeated; // cells with a name listed twice
        // Where a cell's pages start, by offset, as the pages before them found.
        QHash<std::pair<QString, int>, QHash<qint64, QString>> starts;
    };
    Day& day(QDate day) const;

    QString connection_;
    QString dir_;
    QList<SourceState> sources_;
    std::unique_ptr<Prepared> prepared_;
    mutable QHash<QDate, Day> days_;
    mutable qint64 seenGeneration_ = -1;
    mutable qint64 namesGeneration_ = -1;
    mutable qint64 dataVersion_ = -1;
    mutable qint64 readAfterOwn_ = -1;
    qint64 ownCommits_ = 0;
    int keptAnswers_ = 0;
};

} // namespace sites::store
