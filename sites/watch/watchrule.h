// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Following names: what a check found, what changed since the last one, and the feeds built
// from it. Pure: values in, values out, for the checker, the tests and the fuzzer.
namespace sites::watch {

inline constexpr int MaxWatched = 10'000;

// What the last check of a watched name found.
struct WatchResult {
    QString status; // as the lookup page shows it, "无法查询：…" when the check failed
    QString known;  // the last status a check could tell; empty before any
    std::optional<QDate> registered, expires, deleted;
    bool approximate = false; // the deletion day is an estimate
    QString releaseTime;      // when in the deletion day the source releases it: "04:00 UTC"
    std::optional<QDate> listed; // the day a registry's own list names
    QDateTime checked;           // UTC; invalid: never checked
    int failures = 0;            // checks failed in a row
    QDateTime failingSince;      // the first of them
    bool operator==(const WatchResult&) const = default;
};

struct WatchEvent {
    QString kind; // first, status, taken, day, listed, failing
    QString text; // for people
    bool operator==(const WatchEvent&) const = default;
};

// The events from `before` (checked invalid: never checked) to `after`.
QList<WatchEvent> eventsOf(const WatchResult& before, const WatchResult& after);

// What a lookup gives, as the result after `before`: on success the lookup's values; on a
// failure (`failed`, the reason in `status`) the last known values stay, counted as failing
// when `transient` (the registry may answer another time).
struct Looked {
    QString status;
    std::optional<QDate> registered, expires, deleted;
    bool approximate = false;
    std::optional<QDate> listed; // a registry's own list's day
    QString releaseTime;
    bool failed = false;
    bool transient = false;
};
WatchResult afterLookup(const WatchResult& before, const Looked& looked, const QDateTime& now);

// A registry's list or a zone's estimate stored since the last check: `day` the day it names,
// `approximate` for an estimate. The status follows the lookup page's rule for a listed day.
WatchResult afterListed(const WatchResult& before, QDate day, bool approximate,
                        const QString& releaseTime, QDate today);

// Whether a name is due for its check at `now`: daily, weekly when far from its end (more
// than 45 days before expiry and in no grace, redemption or pending-delete state).
bool due(const WatchResult& result, const QDateTime& now);

// When in its deletion day a listed name is released, as its registry's list says: .se and
// .nu at 04:00 UTC, .top at the list's `listTime` ("14:30") on China's clock; empty where the
// list does not say.
QString releaseTimeOf(const QString& name, const QString& listTime = {});

// The names of a request body {"names":[...]}, normalised; `invalid` those that are not
// domain names of two labels or more. None when the body is not such an object.
std::optional<QStringList> namesOf(const QByteArray& body, QStringList* invalid);

struct WatchedRow {
    QString name;
    QDateTime added;
    WatchResult result;
    std::optional<WatchEvent> event; // the latest
    QDateTime eventAt;
};
struct EventRow {
    QString name;
    WatchEvent event;
    QDateTime at;
};
QByteArray watchJson(const QList<WatchedRow>& rows, int pending);
QByteArray eventsJson(const QList<EventRow>& events);
// RFC 5545: one all-day event per name with a deletion day.
QByteArray icsFeed(const QList<WatchedRow>& rows, const QDateTime& now);

} // namespace sites::watch
