// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/startup.h"

#include "scrape/split.h"

namespace listing {

namespace {

constexpr QStringView TodayMarker = u"</a> &nbsp;&nbsp; ";

// Piece 0 of piece 1 of the page split at TodayMarker, split at " ". Piece 1 ends at the
// next marker, and the marker holds a blank of its own, so nothing past the first blank and
// one marker's length is ever looked at: a page full of these markers is not read to its end.
std::optional<QStringView> todayDate(QStringView page) {
    const qsizetype marker = page.indexOf(TodayMarker);
    if (marker < 0)
        return std::nullopt;
    const qsizetype from = marker + TodayMarker.size();
    const QStringView rest = page.sliced(from);
    const qsizetype blank = rest.indexOf(u' ');
    const QStringView near =
        blank < 0 ? rest : rest.first(qMin(rest.size(), blank + TodayMarker.size()));
    const qsizetype next = near.indexOf(TodayMarker);
    if (next == 0 || rest.isEmpty())
        return std::nullopt; // piece 1 is empty: it has no pieces
    qsizetype end = blank < 0 ? rest.size() : blank;
    if (next > 0)
        end = qMin(end, next);
    return rest.first(end);
}

} // namespace

StartupDates parseStartupDates(QStringView page) {
    StartupDates dates;
    const auto section = scrape::piece(page, u"四天后的删除域名查询", 1);
    const auto table = section ? scrape::piece(*section, u"</table", 0) : std::nullopt;
    if (!table)
        return dates;
    scrape::Pieces links(*table, u">2011");
    links.next(); // the table before its first link
    for (int k = 1; k <= 5; ++k) {
        const auto link = links.next();
        const auto date = link ? scrape::piece(*link, u"</a>", 0) : std::nullopt;
        if (!date)
            return dates;
        dates.slotTexts.append(QStringLiteral("2011") +
                               date->toString()); // the marker took the year
    }
    if (const auto today = todayDate(page))
        dates.slotTexts.append(today->toString());
    return dates;
}

} // namespace listing
