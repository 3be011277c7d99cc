// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

// The sites live in 2011: every date they print is a day of that year, or of its neighbours
// at the turn of the year.
namespace sites {

inline constexpr int SiteYear = 2011;

// `real` carried into 2011: same month and day; 29 February becomes 28 February.
QDate siteToday(QDate real);
// The six days the home page offers, in page order of time: today - 2 ... today + 3.
QList<QDate> siteDays(QDate today);

// "2011-03-05".
QString formatDate(QDate day);
// Only the exact form "yyyy-MM-dd" of a real day; anything else gives nullopt.
std::optional<QDate> parseDate(QStringView text);
// The real day a page's date stands for: a date from 2010 to 2012 is a site date, counted
// from the site's today as from `realToday`; any later or earlier one is taken as it is.
std::optional<QDate> realDayOf(QStringView text, QDate realToday);

} // namespace sites
