// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

namespace listing {

// What a day-summary page says: the date as the page prints it and the 35 counts, each
// exactly as written (never read as a number). A value the page lacks is nullopt.
struct DaySummary {
    std::optional<QString> printedDate;
    // counts[length - 3][suffixIndex - 1]
    std::array<std::array<std::optional<QString>, 7>, 5> counts;

    const std::optional<QString>& count(int length, int suffixIndex) const {
        return counts[std::size_t(length - 3)][std::size_t(suffixIndex - 1)];
    }
};

// The date follows "noWrap><font color=red>" up to the next "<". The count of length n and
// suffix index i follows the i-th occurrence of `length=n">` up to the next "<"; the text
// before the first occurrence and occurrences past the seventh are not counts.
DaySummary parseDaySummary(QStringView page);

} // namespace listing
