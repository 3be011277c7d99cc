// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"

#include "scrape/split.h"

namespace listing {

namespace {

// The text up to the next "<"; nothing when there is no text at all to cut from.
std::optional<QString> upToTag(std::optional<QStringView> from) {
    if (!from)
        return std::nullopt;
    const auto value = scrape::piece(*from, u"<", 0);
    return value ? std::optional<QString>(value->toString()) : std::nullopt;
}

} // namespace

DaySummary parseDaySummary(QStringView page) {
    DaySummary summary;
    summary.printedDate = upToTag(scrape::piece(page, u"noWrap><font color=red>", 1));
    for (int length = 3; length <= 7; ++length) {
        const QString marker = QStringLiteral("length=%1\">").arg(length);
        scrape::Pieces pieces(page, marker);
        pieces.next(); // what comes before the first count
        for (auto& cell : summary.counts[std::size_t(length - 3)])
            cell = upToTag(pieces.next());
    }
    return summary;
}

} // namespace listing
