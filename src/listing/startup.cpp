// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/startup.h"

#include "scrape/split.h"

namespace listing {

namespace {

constexpr QStringView TodayMarker = u"</a> &nbsp;&nbsp; ";
constexpr QStringView Heading = u"四天后的删除域名查询";
constexpr QStringView TableEnd = u"</table";

// Piece 0 at TableEnd of piece 1 at Heading: what follows the first heading, up to the
// table's end or a second heading, whichever comes first. The second heading is looked for
// by its first character, which markup never holds, so the page is read about once.
std::optional<QStringView> dateTable(QStringView page) {
    const qsizetype heading = page.indexOf(Heading);
    if (heading < 0)
        return std::nullopt;
    const QStringView rest = page.sliced(heading + Heading.size());
    const qsizetype tableEnd = rest.indexOf(TableEnd);
    const QStringView section = tableEnd < 0 ? rest : rest.first(tableEnd);
    for (qsizetype at = 0; (at = section.indexOf(Heading.front(), at)) >= 0; ++at)
        if (rest.sliced(at).startsWith(Heading))
            return rest.first(at);
    return section;
}

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
    const auto table = dateTable(page);
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
