// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The listing service's addresses. Nothing in them is escaped: the date goes in as the
// service printed it.
namespace listing {

// Suffix index 1 to 7, as the grid's columns run: ".com", ".net", ".org", ".info", ".biz",
// ".cn", ".com.cn". Outside that range the empty text.
QString suffix(int suffixIndex);
// "&t=inter&page=" for the international suffixes (1 to 5), "&t=cn&page=" for the
// Chinese ones (6 and 7).
QString kindSegment(int suffixIndex);
// The same for any suffix the service stores: "cn" for ".cn" and every suffix under it.
QString kindSegment(const QString& suffix);

// The day summary for a date slot's text.
QString daySummaryUrl(const QString& base, const QString& slotDate);
// One page of a cell's names.
QString listPageUrl(const QString& base, const QString& date, int suffixIndex, int length,
                    int page);
// One page of the names of any suffix the service stores (".se", ".net.cn" ...).
QString listPageUrl(const QString& base, const QString& date, const QString& suffix, int length,
                    int page);
// What stands before each name on a list page.
QString linkMarker(const QString& base);

} // namespace listing
