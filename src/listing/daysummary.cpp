// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"

#include "listing/urls.h"
#include "scrape/split.h"

#include <QDate>

namespace listing {

namespace {

// The text up to the next `end`; nothing when there is no text at all to cut from.
std::optional<QString> upTo(std::optional<QStringView> from, QStringView end = u"<") {
    if (!from)
        return std::nullopt;
    const auto value = scrape::piece(*from, end, 0);
    return value ? std::optional<QString>(value->toString()) : std::nullopt;
}

ColumnState stateNamed(QStringView name) {
    if (name == u"exact")
        return ColumnState::Exact;
    if (name == u"approximate")
        return ColumnState::Approximate;
    if (name == u"nodata")
        return ColumnState::NoData;
    if (name == u"nosource")
        return ColumnState::NoSource;
    if (name == u"generated")
        return ColumnState::Generated;
    return ColumnState::Unknown;
}

// The value of attribute `name` in a tag's text.
std::optional<QString> attribute(QStringView tag, QStringView name) {
    return upTo(scrape::piece(tag, QStringLiteral(" %1=\"").arg(name), 1), u"\"");
}

} // namespace

DaySummary parseDaySummary(QStringView page) {
    DaySummary summary;
    summary.printedDate = upTo(scrape::piece(page, u"noWrap><font color=red>", 1));
    for (int length = 3; length <= 7; ++length) {
        const QString marker = QStringLiteral("length=%1\">").arg(length);
        scrape::Pieces pieces(page, marker);
        pieces.next(); // what comes before the first count
        for (auto& cell : summary.counts[std::size_t(length - 3)])
            cell = upTo(pieces.next());
    }

    scrape::Pieces headers(page, u"<th class=\"");
    headers.next();
    while (const auto header = headers.next()) {
        const auto state = scrape::piece(*header, u"\"", 0);
        const auto text = upTo(scrape::piece(*header, u">", 1));
        if (!state || !text)
            continue;
        for (int i = 1; i <= 7; ++i)
            if (suffix(i) == *text)
                summary.columns[std::size_t(i - 1)] = stateNamed(*state);
    }

    if (const auto day = scrape::piece(page, u"id=\"lumo-day\"", 1)) {
        const QStringView tag = scrape::piece(*day, u">", 0).value_or(*day);
        const std::optional<QString> real = attribute(tag, u"data-day");
        if (real && real->size() == 10 && QDate::fromString(*real, Qt::ISODate).isValid())
            summary.realDay = real;
        summary.generated = attribute(tag, u"data-generated") == QStringLiteral("1");
    }
    return summary;
}

} // namespace listing
