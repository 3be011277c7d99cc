// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sitescore/namesource.h"

namespace sites {

// The listing's generated names on its 2011 days, for the demonstration and for while no
// list has been fetched. Made per request: it holds the request's day and nothing else.
class GeneratedNames : public NameSource {
public:
    // A `cellSize` of 0 or more puts that many names in every cell (for benchmarks); `lists`
    // is the store whose sources table still shows, if there is one.
    GeneratedNames(QDate realToday, int cellSize = -1, const NameSource* lists = nullptr)
        : realToday_(realToday), cellSize_(cellSize), lists_(lists) {}

    bool generated() const override { return true; }
    QDateTime clock(const QDateTime& now) const override;
    std::optional<QDate> dayOf(QStringView date, QDate realToday) const override;
    QDate realDay(QDate day, QDate realToday) const override;
    QDate dayOfReal(QDate realDay, QDate realToday) const override;
    int shortestLabel() const override;
    int longestLabel() const override;
    QStringList listSuffixes() const override { return {}; }

    // The grid's seven suffixes, lengths 3 to 7, and the names of each cell.
    bool serves(const QString& suffix) const override;
    qint64 count(QDate day, const QString& suffix, int length) const override;
    QMap<QString, QMap<int, qint64>> counts(QDate day) const override;
    QStringList names(QDate day, const QString& suffix, int length, qint64 offset,
                      int limit) const override;
    // A generated name's day, and the registration it was made with.
    QList<ListedDay> findName(const QString& name) const override;
    std::optional<NameRecord> record(const QString& name) const override;
    // A "generated" row first, then the store's.
    QList<SourceRow> sourceRows() const override;

private:
    QDate realToday_;
    int cellSize_;
    const NameSource* lists_;
};

} // namespace sites
