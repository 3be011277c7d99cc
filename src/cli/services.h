// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/daysummary.h"
#include "listing/servicejson.h"
#include "lookup/lookuppage.h"
#include "net/module1.h"
#include "watch/watchlist.h"

#include <QList>
#include <QString>
#include <optional>

namespace cli {

// One of the six days, as its date button in the window has it.
struct Day {
    QString key;     // what --day takes for it: "-2", "-1", "today", "+1", "+2", "+3"
    QString caption; // the button's caption
    QString date;    // the date slot's text, as the home page gave it
    QString charset; // how the button decodes the day's summary
    QString real = {}; // the real date the day stands for; empty from an older service
};

// A day's counts: from the service's counts.json, every suffix it stores; from an older
// service, the grid of its day summary.
struct DayCounts {
    QString date; // the day for the list pages and the output, as the service gave it
    std::optional<listing::ServiceCounts> stored;
    listing::DaySummary summary; // when there is nothing stored

    // The suffixes the service has (".se", ".net.cn" ...): the grid's seven first.
    QStringList suffixes() const;
    int shortest() const { return stored ? 1 : 3; }
    int longest() const { return stored ? 63 : 7; }
    // A cell's count as the grid shows it; nothing where no source serves the suffix.
    std::optional<QString> caption(const QString& suffix, int length) const;
    // Whether the suffix's days are estimates rather than a registry's word.
    bool approximate(const QString& suffix) const {
        return stored && stored->approximate.contains(suffix);
    }
    // Whether the suffix is served, but not on this day: its "-" means "no data yet".
    bool noData(const QString& suffix) const { return stored && stored->nodata.contains(suffix); }
};

// The services as one command run talks to them. Every fetch that brings no page, or a page
// without what it should hold, is reported on stderr with its address, and the call gives
// nothing; exitCode() then says how the program ends.
class Services {
public:
    Services(QString listingUrl, QString lookupUrl);

    const QString& listingUrl() const { return listing_; }
    int exitCode() const { return exitCode_; }

    // The six days in the order of the window's buttons; `withReal` also asks for the real
    // dates they stand for, which an older service does not know.
    std::optional<QList<Day>> days(bool withReal = false);
    // Every real day of every list the service has stored.
    std::optional<QList<listing::StoredDay>> stored();
    // `choice` is a day's key, one of the six dates or a real day (YYYY-MM-DD, not in 2011,
    // the year of the six); anything else is a usage error.
    std::optional<Day> day(const QString& choice);
    // The counts of the day `choice` names (see day()): counts.json, or where the service
    // has none, the day's summary with its printed date and all 35 counts.
    std::optional<DayCounts> counts(const QString& choice);
    // Where the service's names come from.
    std::optional<QList<listing::SourceState>> sources();
    // What the lookup service reports for `name`: the five fields and the countdown.
    std::optional<lookup::LookupPage> lookup(const QString& name);

    // The followed names, and what happened to them since `since` (YYYY-MM-DD, or all).
    std::optional<watch::WatchList> watchList();
    std::optional<QList<watch::Event>> watchEvents(const QString& since);
    // A change to the followed names (path "add", "remove" or "check"); the answer's lists
    // under `doneField` and `leftField`. Names the service refuses as no domain names are a
    // usage error.
    std::optional<watch::ChangeAnswer> watchChange(const QString& path, const QByteArray& token,
                                                   const QStringList& names, QStringView doneField,
                                                   QStringView leftField);

    // Reports `url` and what went wrong with it.
    void fail(const QString& url, const QString& what);

private:
    // With `absentIsEmpty`, a 404 is the empty text: a page an older service does not have.
    std::optional<QString> fetch(const QString& url, const QString& charset,
                                 bool absentIsEmpty = false);
    std::optional<listing::DaySummary> summary(const Day& day);

    QString listing_;
    QString lookup_;
    int exitCode_ = 0;
};

// The day keys, in button order, for messages that list the choices.
QString dayKeys();

} // namespace cli
