// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

// What the listing service tells about its own data, in JSON: where its names come from
// (lumo/sources.json) and a day's counts for every suffix it stores (lumo/counts.json).
namespace listing {

// One source of names and how its last fetches went.
struct SourceState {
    QString source;
    QString url; // empty for the generated names, which come from no address
    std::optional<QString> lastAttempt; // ISO 8601 in UTC; none when never tried
    std::optional<QString> lastSuccess;
    QString status; // "ok", "unchanged", "failed" or "never"
    qint64 names = 0;
    std::optional<QString> error;
    bool generated = false; // the row of the generated names, not a registry's list
};

// The array of sources; nothing unless every entry has every field with a value of its kind
// (fields besides those are left alone).
std::optional<QList<SourceState>> parseSources(QByteArrayView json);

// A day's counts by suffix and label length.
struct ServiceCounts {
    QString date; // the real day, YYYY-MM-DD
    // By suffix (".se", ".com.cn" ...): the counts by length, or nothing where no source
    // serves the suffix.
    QMap<QString, std::optional<QMap<int, qint64>>> bySuffix;
    // The suffixes whose days are estimates; an older service names none.
    QStringList approximate;
    // The suffixes served but not covered on this day: their nothing means "no data yet",
    // where every other nothing means "no source".
    QStringList nodata;
    // The names are generated, not a registry's.
    bool generated = false;
};

// Nothing unless the date is a real day and every count is a whole number, not negative, of
// a length from 1 to 63, under a suffix starting with ".".
std::optional<ServiceCounts> parseCounts(QByteArrayView json);

// One of the six days: its key (-2, -1, today, +1, +2, +3), the date the service's pages
// print for it and the real date it stands for (lumo/days.json).
struct DayDates {
    QString key;
    QString site;
    QString date;
};
// Nothing unless every entry has the three as texts, and both dates are real days.
std::optional<QList<DayDates>> parseDays(QByteArrayView json);

// One real day of one list the service has stored or covers (lumo/stored.json).
struct StoredDay {
    QString list;
    QString day;                 // YYYY-MM-DD
    std::optional<qint64> names; // none when the service does not know
    bool approximate = false;
};
// Nothing unless every entry has a list, a real day, a whole number of names (or null, or -1
// for unknown) and, when given, a true or false approximate.
std::optional<QList<StoredDay>> parseStored(QByteArrayView json);

// Whether an answer is meant as JSON at all: its first character past blanks opens an
// object or an array. An older service answers the JSON addresses with an HTML page.
bool looksLikeJson(QByteArrayView body);

} // namespace listing
