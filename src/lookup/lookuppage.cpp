// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookup/lookuppage.h"

#include "scrape/split.h"

namespace lookup {

namespace {

constexpr QStringView CellMarker = u"deltd1\">";
constexpr QStringView CellEnd = u"</td";
constexpr QStringView CountdownMarker = u">还剩：";

} // namespace

LookupPage parseLookupPage(QStringView page) {
    LookupPage out;
    scrape::Pieces cells(page, CellMarker);
    cells.next(); // what stands before the first cell
    for (std::size_t i = 0; i < out.fields.size(); ++i) {
        QString& field = out.fields[i];
        const auto cell = cells.next();
        if (!cell)
            break; // fewer cells than fields: the rest stay blank
        const auto text = scrape::piece(*cell, CellEnd, 0);
        if (!text)
            continue;
        if (i == 4)
            out.deletionApproximate = text->contains(u"(近似值)");
        field = scrape::removeAll(scrape::removeAll(scrape::removeAll(*text, u"<b>"), u"</b>"),
                                  u"(近似值)");
    }
    const auto afterMarker = scrape::piece(page, CountdownMarker, 1);
    const auto countdown = afterMarker ? scrape::piece(*afterMarker, u"<", 0) : std::nullopt;
    if (countdown)
        out.countdown = scrape::removeAll(*countdown, u" ");
    return out;
}

} // namespace lookup
