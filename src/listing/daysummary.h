// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace listing {

// What a column's header says of its day. An older service says nothing (Unknown).
enum class ColumnState { Unknown, Exact, Approximate, NoData, NoSource, Generated };

// What a day-summary page says: the date as the page prints it and the 35 counts, each
// exactly as written (never read as a number). A value the page lacks is nullopt.
struct DaySummary {
    std::optional<QString> printedDate;
    // counts[length - 3][suffixIndex - 1]
    std::array<std::array<std::optional<QString>, 7>, 5> counts;
    // By suffix index - 1: whether the column's counts are a registry's, estimates, or none.
    std::array<ColumnState, 7> columns{};
    // The real date the shown day stands for, YYYY-MM-DD; none from an older service.
    std::optional<QString> realDay;
    // The service serves generated names, not a registry's.
    bool generated = false;

    const std::optional<QString>& count(int length, int suffixIndex) const {
        return counts[std::size_t(length - 3)][std::size_t(suffixIndex - 1)];
    }
    ColumnState column(int suffixIndex) const { return columns[std::size_t(suffixIndex - 1)]; }
};

// The date follows "noWrap><font color=red>" up to the next "<". The count of length n and
// suffix index i follows the i-th occurrence of `length=n">` up to the next "<"; the text
// before the first occurrence and occurrences past the seventh are not counts. A column's
// state is the class of a `<th class="...">` whose text is the column's suffix; the real day
// and the generated flag are the data of the element with id "lumo-day".
DaySummary parseDaySummary(QStringView page);

} // namespace listing
