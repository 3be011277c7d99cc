// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "watch/watchrule.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

// The watch list in the store's SQLite file, beside the names it is checked against: the
// watched names with their last result, the history of events, and each RDAP server's last
// request, shared by every process that opens the store. Changes are read and written in one
// immediate transaction, so a change is recorded once, whichever process finds it.
namespace sites::watch {

class WatchList {
public:
    // Opens lumo.sqlite in `dir` (the store's) on a connection of its own.
    static std::unique_ptr<WatchList> open(const QString& dir, QString* error);
    ~WatchList();
    WatchList(const WatchList&) = delete;
    WatchList& operator=(const WatchList&) = delete;

    struct Added {
        QStringList added, already;
    };
    // Normalised names; none, with `error`, when the list would pass MaxWatched.
    std::optional<Added> add(const QStringList& names, const QDateTime& now, QString* error);
    std::pair<QStringList, QStringList> remove(const QStringList& names); // removed, unknown
    bool contains(const QString& name) const;

    QList<WatchedRow> rows() const; // in name order
    QList<EventRow> events(QDate since = {}) const; // oldest first
    QStringList due(const QDateTime& now) const;
    // When in `day` the registry's list releases `name` (releaseTimeOf), empty when unknown.
    QString releaseTime(const QString& name, QDate day) const;

    // Records a check of `name`: `next` turns its stored result into the new one; the events
    // between them are stored and returned. Nothing when the name is no longer watched.
    QList<WatchEvent> record(const QString& name,
                             const std::function<WatchResult(const WatchResult&)>& next,
                             const QDateTime& now);
    // Every checked name against the stored lists and zone estimates (one join, no RDAP):
    // the events of those whose listed day is new.
    QList<EventRow> checkLists(const QDateTime& now);

    // Reserves the next request to RDAP server `server`, `interval` after the last one any
    // process made: the milliseconds to wait before sending it.
    qint64 reserve(const QString& server, qint64 intervalMs, qint64 nowMs);

private:
    explicit WatchList(QString connection) : connection_(std::move(connection)) {}
    QString connection_;
};

} // namespace sites::watch
