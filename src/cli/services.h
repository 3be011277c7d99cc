// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/daysummary.h"
#include "lookup/lookuppage.h"
#include "net/module1.h"

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
};

// The services as one command run talks to them. Every fetch that brings no page, or a page
// without what it should hold, is reported on stderr with its address, and the call gives
// nothing; exitCode() then says how the program ends.
class Services {
public:
    Services(QString listingUrl, QString lookupUrl);

    const QString& listingUrl() const { return listing_; }
    int exitCode() const { return exitCode_; }

    // The six days in the order of the window's buttons.
    std::optional<QList<Day>> days();
    // `choice` is a day's key or one of the six dates; anything else is a usage error.
    std::optional<Day> day(const QString& choice);
    // The summary of the day `choice` names (see day()), with its printed date and all 35
    // counts.
    std::optional<listing::DaySummary> summary(const QString& choice);
    // What the lookup service reports for `name`: the five fields and the countdown.
    std::optional<lookup::LookupPage> lookup(const QString& name);

    // Reports `url` and what went wrong with it.
    void fail(const QString& url, const QString& what);

private:
    std::optional<QString> fetch(const QString& url, const QString& charset);

    QString listing_;
    QString lookup_;
    int exitCode_ = 0;
};

// The day keys, in button order, for messages that list the choices.
QString dayKeys();

} // namespace cli
