// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

#include "sitescore/calendar.h"

namespace sites {

// One list the service reads, as the sources table shows it.
struct SourceRow {
    QString source; // "cnnic-today"
    QString url;
    QDateTime lastAttempt; // invalid: never
    QDateTime lastSuccess;
    QString status = QStringLiteral("never"); // "ok", "unchanged", "failed" or "never"
    qint64 names = 0;
    QString error; // empty: none
    bool generated = false; // the generated names' own row
};

// A day a name is listed for: approximate when only zone estimates name it, exact when a
// registry's own list does.
struct ListedDay {
    QDate day;
    bool approximate = false;
    bool operator==(const ListedDay&) const = default;
};

// Of the days a name is listed for, the one a lookup shows: a registry's own list before any
// estimate, and of those the next day to come, else the latest gone by.
inline std::optional<ListedDay> shownDay(const QList<ListedDay>& days, QDate today) {
    std::optional<ListedDay> shown;
    auto better = [today](const ListedDay& a, const ListedDay& b) {
        if (a.approximate != b.approximate)
            return !a.approximate;
        if ((a.day >= today) != (b.day >= today))
            return a.day >= today;
        return a.day >= today ? a.day < b.day : a.day > b.day;
    };
    for (const ListedDay& day : days)
        if (!shown || better(day, *shown))
            shown = day;
    return shown;
}

// One (list, day) the store holds or covers, as /lumo/stored.json shows it.
struct StoredDay {
    QString list; // "cnnic", "se", "czds-com"
    QDate day;
    qint64 names = 0;
    bool approximate = false;
};

// What a listing knows of a name besides its day.
struct NameRecord {
    QDate registered;
    QDate expires;
};

// Where the pages take their names from: the registries' lists, or the generated names.
// Its days are on its own calendar: real days for the lists, the 2011 listing's for the
// generated names.
class NameSource {
public:
    virtual ~NameSource() = default;
    // Made up, not a registry's: every page that shows them says so.
    virtual bool generated() const { return false; }
    // The clock the pages show these names by.
    virtual QDateTime clock(const QDateTime& now) const { return now; }
    // The day a page's date stands for (a 2011 date of the window's is moved to its real day);
    // none for a date that is not one, or one these names do not reach.
    virtual std::optional<QDate> dayOf(QStringView date, QDate realToday) const {
        return realDayOf(date, realToday);
    }
    // The real day a day of this source is, and back.
    virtual QDate realDay(QDate day, QDate /*realToday*/) const { return day; }
    virtual QDate dayOfReal(QDate realDay, QDate /*realToday*/) const { return realDay; }
    // The label lengths a cell may have.
    virtual int shortestLabel() const { return 1; }
    virtual int longestLabel() const { return 63; }
    // The suffixes the counts name besides the grid's and those with names: the registries'
    // own lists', so that a list not fetched yet shows as no data.
    virtual QStringList listSuffixes() const {
        return {QStringLiteral(".se"), QStringLiteral(".nu"), QStringLiteral(".top")};
    }
    // The registration and expiry of a listed name, where these names tell them.
    virtual std::optional<NameRecord> record(const QString& /*name*/) const { return std::nullopt; }
    // One request's pages see the names as they were when it began, so a source may look for
    // changes once per request rather than at every call.
    virtual void beginRequest() const {}
    virtual void endRequest() const {}
    // Whether any list names deletions under `suffix` (".cn"); the others print "-".
    virtual bool serves(const QString& suffix) const = 0;
    // For every stored suffix of `day`: label length -> names.
    virtual QMap<QString, QMap<int, qint64>> counts(QDate day) const = 0;
    virtual qint64 count(QDate day, const QString& suffix, int length) const = 0;
    // Names with their suffix, in name order.
    virtual QStringList names(QDate day, const QString& suffix, int length, qint64 offset,
                              int limit) const = 0;
    // The days `name` (Unicode or xn-- form, any case) is listed for, earliest first, one
    // entry a day: exact when any registry's own list names that day.
    virtual QList<ListedDay> findName(const QString& name) const = 0;
    virtual QList<SourceRow> sourceRows() const = 0;
    // The suffixes whose names of `day` are estimates (taken from zone files), not a
    // registry's own list.
    virtual QStringList approximateSuffixes(QDate) const { return {}; }
    // Whether a fetched list covers `day` for `suffix`, so that a count of 0 means no names;
    // a day no fetch covers is "no data".
    virtual bool covers(QDate, const QString& suffix) const { return serves(suffix); }
    // False while nothing at all is stored: the pages serve generated names, marked so. Asked
    // on every request, so it is cheap.
    virtual bool holdsAnything() const { return true; }
    // Every (list, day) held or covered, earliest day first.
    virtual QList<StoredDay> storedDays() const { return {}; }
};

} // namespace sites
