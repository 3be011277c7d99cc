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
    QString url;
    std::optional<QString> lastAttempt; // ISO 8601 in UTC; none when never tried
    std::optional<QString> lastSuccess;
    QString status; // "ok", "unchanged", "failed" or "never"
    qint64 names = 0;
    std::optional<QString> error;
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
};

// Nothing unless the date is a real day and every count is a whole number, not negative, of
// a length from 1 to 63, under a suffix starting with ".".
std::optional<ServiceCounts> parseCounts(QByteArrayView json);

// Whether an answer is meant as JSON at all: its first character past blanks opens an
// object or an array. An older service answers the JSON addresses with an HTML page.
bool looksLikeJson(QByteArrayView body);

} // namespace listing
